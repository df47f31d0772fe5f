#include "run/basShell.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <QUrl>

#include <utility>

#ifdef Q_OS_WIN
#include "run/basShell_win.h"
#else
#include <cerrno>
#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
extern char **environ;
#endif

namespace {
QString &consoleProgramOverride()
{
    static QString path;
    return path;
}

// One pass of event processing; false when the caller gives up the wait.
bool pumpEvents(void *context)
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    const auto *keepWaiting = static_cast<const KeepWaiting *>(context);
    return !*keepWaiting || (*keepWaiting)();
}
} // namespace

QString SetConsoleProgram(QString path) { return std::exchange(consoleProgramOverride(), std::move(path)); }

QString ConsoleProgram()
{
    if (!consoleProgramOverride().isEmpty())
        return consoleProgramOverride();
    return QCoreApplication::applicationDirPath() + QStringLiteral("/corvane-cmd");
}

#ifdef Q_OS_WIN

int RunAndWait(const QString &command, const KeepWaiting &keepWaiting)
{
    return win32::RunAndWait(command.toStdWString(), &pumpEvents, const_cast<KeepWaiting *>(&keepWaiting));
}

int ShellOpen(const QString &file, const QString &parameters, const QString &verb,
              const QString &folder, int showState)
{
    return win32::ShellOpen(file.toStdWString(), parameters.toStdWString(), verb.toStdWString(),
                            folder.toStdWString(), showState);
}

#else

namespace {
int exitCodeOf(int status)
{
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    // A shell would report 128 + the signal, which the exit report reads as
    // Robocopy's bits (137 as files not copied); a console that never
    // finished must read as the serious error it is.
    if (WIFSIGNALED(status))
        return RunEndedAbnormally;
    return RunStatusUnreadable;
}
} // namespace

int RunAndWait(const QString &command, const KeepWaiting &keepWaiting)
{
    const QByteArray program = QFile::encodeName(ConsoleProgram());
    const QByteArray argument = command.toLocal8Bit();
    char *argv[] = {const_cast<char *>(program.constData()), const_cast<char *>(argument.constData()), nullptr};

    pid_t pid = 0;
    if (posix_spawn(&pid, program.constData(), nullptr, nullptr, argv, environ) != 0)
        return RunCannotStart;

    for (;;) {
        int status = 0;
        const pid_t r = waitpid(pid, &status, WNOHANG);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0)
            return RunStatusUnreadable;
        if (!pumpEvents(const_cast<KeepWaiting *>(&keepWaiting))) {
            if (r == 0) {
                // The console goes on by itself; a detached waiter collects
                // its exit so that it leaves no zombie behind.
                std::thread([pid] {
                    int ignored = 0;
                    while (waitpid(pid, &ignored, 0) < 0 && errno == EINTR) {
                    }
                }).detach();
            }
            return RunAbandoned;
        }
        QThread::msleep(55);
        if (r == pid)
            return exitCodeOf(status);
    }
}

int ShellOpen(const QString &file, const QString &parameters, const QString &verb,
              const QString &folder, int showState)
{
    Q_UNUSED(parameters);
    Q_UNUSED(verb);
    Q_UNUSED(showState);
    // A text with a scheme (or a bare web name) is an address; anything else
    // is a file, taken relative to the given folder.
    const bool isAddress = file.contains(QStringLiteral("://")) || file.startsWith(QStringLiteral("www."), Qt::CaseInsensitive)
        || file.startsWith(QStringLiteral("mailto:"), Qt::CaseInsensitive);
    // A missing file is the handler's to report, as the Windows shell does.
    const QUrl url = isAddress
        ? QUrl::fromUserInput(file)
        : QUrl::fromLocalFile(QDir(folder.isEmpty() ? QDir::currentPath() : folder).absoluteFilePath(file));
    return QDesktopServices::openUrl(url) ? 0 : 31; // 31: no program for this kind of item
}

#endif
