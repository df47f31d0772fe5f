#include "run/basShell.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <utility>

#ifdef Q_OS_WIN
#include "run/basShell_win.h"
#else
#include "run/basShell_posix.h"
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

bool IsWebAddress(const QString &text)
{
    return text.contains(QStringLiteral("://")) || text.startsWith(QStringLiteral("www."), Qt::CaseInsensitive)
        || text.startsWith(QStringLiteral("mailto:"), Qt::CaseInsensitive);
}

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

int RunAndWait(const QString &command, const KeepWaiting &keepWaiting)
{
    return posix::RunAndWait(QFile::encodeName(ConsoleProgram()).toStdString(), command.toLocal8Bit().toStdString(),
                             &pumpEvents, const_cast<KeepWaiting *>(&keepWaiting));
}

int ShellOpen(const QString &file, const QString &parameters, const QString &verb,
              const QString &folder, int showState)
{
    Q_UNUSED(parameters);
    Q_UNUSED(verb);
    Q_UNUSED(showState);
    // An address, or a file taken relative to the given folder. A missing
    // file is the handler's to report, as the Windows shell does.
    const QUrl url = IsWebAddress(file)
        ? QUrl::fromUserInput(file)
        : QUrl::fromLocalFile(QDir(folder.isEmpty() ? QDir::currentPath() : folder).absoluteFilePath(file));
    return QDesktopServices::openUrl(url) ? 0 : 31; // 31: no program for this kind of item
}

#endif
