// One run in Corvane's run window, for bench/run-window-bench.sh: runs the
// process command given as the argument in the window (the listing beside
// it, the output read and shown as a user sees it) and ends with the run's
// exit code once the run has ended. Prints the run window's peak memory.
// Off Windows the copy engine is found beside corvane-cmd, in the build's
// top folder. Needs a display, or QT_QPA_PLATFORM=offscreen.
#include "command/CommandWords.h"
#include "run/basShell.h"
#include "run/frmRun.h"

#include <QApplication>
#include <QDir>

#include <cstdio>

#ifndef Q_OS_WIN
#include <sys/resource.h>
#endif

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_run_window \"cmd.exe /c ROBOCOPY.EXE SOURCE DESTINATION /E\"\n");
        return 2;
    }
    SetConsoleProgram(QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../corvane-cmd")));
    const QString command = QString::fromLocal8Bit(argv[1]);
    const int result = frmRun::Run(StripInterpreter(command), command, std::nullopt, {});
#ifndef Q_OS_WIN
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::fprintf(stderr, "peak memory of the run window: %ld KiB\n", usage.ru_maxrss);
#endif
    return result;
}
