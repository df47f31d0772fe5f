#pragma once

#include "settings/SettingsLocation.h"
#include "tools/basTools.h"

#include <QDir>
#include <QFile>
#include <QList>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

// A scratch folder that stands in for the program folder and the user's
// per-user store, so no test touches the real ones.
struct Scratch
{
    QTemporaryDir dir;

    QString iniPath() const { return dir.filePath(QStringLiteral("Settings.ini")); }
    QString userPath() const { return dir.filePath(QStringLiteral("user/Corvane.conf")); }
    SettingsLocation location() const { return SettingsLocation{iniPath(), userPath()}; }

    QByteArray ini() const
    {
        QFile f(iniPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    bool iniExists() const { return QFileInfo(iniPath()).isFile(); }
    void writeIni(const QByteArray &bytes) const
    {
        QFile f(iniPath());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(f.write(bytes), bytes.size());
    }
    // A folder where the file should be: no write can ever succeed, even as root.
    void blockIni() const { QVERIFY(QDir().mkpath(iniPath())); }

    // The per-user store read as the store itself would read it.
    bool userHas(const QString &key) const
    {
        QSettings s(userPath(), QSettings::IniFormat);
        return s.contains(QStringLiteral("Settings/") + key);
    }
    QString userValue(const QString &key) const
    {
        QSettings s(userPath(), QSettings::IniFormat);
        return s.value(QStringLiteral("Settings/") + key).toString();
    }
    void setUserValue(const QString &key, const QString &value) const
    {
        QSettings s(userPath(), QSettings::IniFormat);
        s.setValue(QStringLiteral("Settings/") + key, value);
        s.sync();
    }

    // The "key=value" line of a key in the INI file, or empty.
    QByteArray iniLine(const QByteArray &key) const
    {
        const QList<QByteArray> lines = ini().split('\n');
        for (QByteArray line : lines) {
            if (line.endsWith('\r'))
                line.chop(1);
            if (line.startsWith(key + '='))
                return line;
        }
        return QByteArray();
    }
};

// The exit code of a child process that was to write as another user and
// found none to change to.
inline constexpr int kNoOtherUser = 77;

// The line end that lines added to a file take: the one its first line
// ends with, CR LF when it has none.
inline QByteArray lineEndOf(const QByteArray &file)
{
    const qsizetype newline = file.indexOf('\n');
    return newline < 0 || (newline > 0 && file[newline - 1] == '\r') ? QByteArray("\r\n") : QByteArray("\n");
}

struct ShownBox
{
    QString prompt;
    int style;
    QString title;
};

// Collects message boxes instead of showing them.
class MsgBoxCatcher
{
public:
    MsgBoxCatcher()
    {
        SetMsgBoxHook([this](const QString &prompt, int style, const QString &title) {
            boxes.append(ShownBox{prompt, style, title});
        });
    }
    ~MsgBoxCatcher() { SetMsgBoxHook(nullptr); }
    MsgBoxCatcher(const MsgBoxCatcher &) = delete;
    MsgBoxCatcher &operator=(const MsgBoxCatcher &) = delete;

    QString describe() const
    {
        QStringList out;
        for (const ShownBox &b : boxes)
            out << QStringLiteral("[%1|%2] %3").arg(b.title).arg(b.style).arg(b.prompt.left(200));
        return out.join(u'\n');
    }

    QList<ShownBox> boxes;
};
