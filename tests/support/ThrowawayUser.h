#pragma once

#include <QCoreApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QString>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

// A user made for one test and removed with its crontab when the object
// goes, so that the real crontab program can be tried without touching
// anybody's own. Needs root and useradd (CI runs as root); name() is empty
// where it could not be made.
class ThrowawayUser
{
public:
    ThrowawayUser()
    {
#ifndef Q_OS_WIN
        const QString name = QStringLiteral("corvane-test-%1").arg(QCoreApplication::applicationPid());
        if (::geteuid() == 0 && !QStandardPaths::findExecutable(QStringLiteral("crontab")).isEmpty()
            && run(QStringLiteral("useradd"), {QStringLiteral("--no-create-home"), QStringLiteral("--shell"),
                                               QStringLiteral("/usr/sbin/nologin"), name}))
            m_name = name;
#endif
    }
    ~ThrowawayUser()
    {
        if (m_name.isEmpty())
            return;
        run(QStringLiteral("crontab"), {QStringLiteral("-r"), QStringLiteral("-u"), m_name});
        run(QStringLiteral("userdel"), {m_name});
    }
    ThrowawayUser(const ThrowawayUser &) = delete;
    ThrowawayUser &operator=(const ThrowawayUser &) = delete;

    const QString &name() const { return m_name; }
    // The user's crontab as crontab lists it.
    QString crontab() const
    {
        QProcess p;
        p.start(QStringLiteral("crontab"), {QStringLiteral("-l"), QStringLiteral("-u"), m_name});
        p.waitForFinished(60000);
        return QString::fromLocal8Bit(p.readAllStandardOutput());
    }

private:
    static bool run(const QString &program, const QStringList &arguments)
    {
        QProcess p;
        p.setStandardInputFile(QProcess::nullDevice());
        p.start(program, arguments);
        return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }

    QString m_name;
};
