#pragma once

#include "settings/SettingsLocation.h"

#include <QDir>
#include <QFile>
#include <QList>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

// A scratch folder that stands in for the program folder and the user's
// per-user store, so no test touches the real ones. On Windows the per-user
// store is a registry key of its own, read and written from outside the
// program through reg.exe, and deleted with the scratch folder.
struct Scratch
{
    QTemporaryDir dir;

    QString iniPath() const { return dir.filePath(QStringLiteral("Settings.ini")); }
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

#ifdef Q_OS_WIN
    ~Scratch() { reg({QStringLiteral("delete"), userKey(), QStringLiteral("/f")}); }

    QString userKey() const
    {
        return QStringLiteral("HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\Corvane Test ")
            + QFileInfo(dir.path()).fileName();
    }
    QString userPath() const { return userKey(); }

    bool userHas(const QString &key) const { return userValues().contains(key); }
    QString userValue(const QString &key) const { return userValues().value(key); }
    void setUserValue(const QString &key, const QString &value) const
    {
        QCOMPARE(reg({QStringLiteral("add"), userKey() + QStringLiteral("\\Settings"), QStringLiteral("/v"), key,
                      QStringLiteral("/d"), value, QStringLiteral("/f")}),
                 0);
    }

    // The string values of the section as reg.exe exports them (UTF-16).
    QMap<QString, QString> userValues() const
    {
        QMap<QString, QString> values;
        const QString file = dir.filePath(QStringLiteral("export.reg"));
        QFile::remove(file);
        if (reg({QStringLiteral("export"), userKey() + QStringLiteral("\\Settings"), QDir::toNativeSeparators(file),
                 QStringLiteral("/y")}) != 0)
            return values; // no such key
        QFile f(file);
        if (!f.open(QIODevice::ReadOnly))
            return values;
        const QByteArray raw = f.readAll();
        const QString text = QString::fromUtf16(reinterpret_cast<const char16_t *>(raw.constData()), raw.size() / 2);
        static const QRegularExpression line(QStringLiteral(R"re(^"((?:[^"\\]|\\.)*)"="((?:[^"\\]|\\.)*)"\r?$)re"),
                                             QRegularExpression::MultilineOption);
        auto unescape = [](const QString &t) {
            QString out;
            for (qsizetype i = 0; i < t.size(); ++i)
                out += (t.at(i) == u'\\' && i + 1 < t.size()) ? t.at(++i) : t.at(i);
            return out;
        };
        for (auto it = line.globalMatch(text); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            values.insert(unescape(m.captured(1)), unescape(m.captured(2)));
        }
        return values;
    }

    static int reg(const QStringList &arguments)
    {
        QProcess p;
        p.start(QStringLiteral("reg.exe"), arguments);
        // Wine starts reg.exe slowly on a busy machine: half a minute was once too short.
        if (!p.waitForFinished(120000))
            return -1;
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }
#else
    QString userPath() const { return dir.filePath(QStringLiteral("user/Corvane.conf")); }

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
#endif

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
