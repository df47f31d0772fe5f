// corvane-cmd: the stand-in for cmd.exe and its console window where there is
// none. Corvane starts it with the whole process command ("cmd.exe /c ...")
// as its single argument. It runs the steps of the command one after the
// other in a window of its own, shows their output as it arrives, and ends
// with the exit code of the last step. "--batch FILE" runs a saved command
// file without a window, for a scheduler (console/BatchRun.h). Called any
// other way it prints how to call it and ends.

#include "console/BatchRun.h"
#include "console/ConsoleWindow.h"

#include <QApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onTerminationSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto n = ::write(signalPipe[1], &byte, 1);
}

} // namespace

int main(int argc, char *argv[])
{
    // A scheduled run has no display: it needs no more than Qt Core.
    QStringList words;
    for (int i = 1; i < argc; ++i)
        words << QString::fromLocal8Bit(argv[i]);
    if (const std::optional<console::BatchArguments> batch = console::ReadBatchArguments(words)) {
        QCoreApplication app(argc, argv);
        return console::RunBatch(*batch, QCoreApplication::applicationDirPath());
    }
    // Before the application: the usage needs no display.
    if (argc != 2) {
        std::fputs(qPrintable(console::UsageText()), stderr);
        return console::UsageStatus;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("corvane-cmd"));
    QApplication::setQuitOnLastWindowClosed(false); // the exit code is set by the window

    const QString processCommand = QString::fromLocal8Bit(argv[1]);
    console::ConsoleWindow window(processCommand);
    QObject::connect(&window, &console::ConsoleWindow::finished, &app, &QCoreApplication::exit);

    // A request to end (logout, kill) acts like closing the window.
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) == 0) {
        auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window] {
            char byte;
            [[maybe_unused]] const auto n = ::read(signalPipe[0], &byte, 1);
            window.close();
        });
        struct sigaction sa = {};
        sa.sa_handler = onTerminationSignal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        sigaction(SIGTERM, &sa, nullptr);
        sigaction(SIGHUP, &sa, nullptr);
        sigaction(SIGINT, &sa, nullptr);
    }

    window.show();
    window.start();
    return app.exec();
}
