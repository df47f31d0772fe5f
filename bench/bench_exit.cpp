// Times File > Exit of the real program: from the moment the item is chosen
// until the window is gone, and until the process has ended. Each run is a
// process of its own that starts as the program does (RunProgram: settings
// loaded, window shown; on Windows the end at close), keeps its settings in
// a scratch folder, waits until the window shows and then chooses File >
// Exit; this process watches it end. Prints the median and the slowest of
// each time. Needs a display (xvfb-run -a on a machine without one; under
// Wine, see scripts/bench-windows.sh).
#include "main_window/frmCorvane.h"
#include "settings/Program.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// Milliseconds on the system's monotonic clock, the same in every process.
double now()
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void say(const char *what)
{
    std::printf("%s %.3f\n", what, now());
    std::fflush(stdout);
}

// Tells when the window hides.
class HideWatch : public QObject
{
protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Hide)
            say("hidden");
        return QObject::eventFilter(watched, event);
    }
};

int child(int argc, char *argv[], const QString &folder)
{
    QApplication app(argc, argv);
    const SettingsLocation location{folder + QStringLiteral("/Settings.ini"), folder + QStringLiteral("/user.ini")};
    HideWatch watch;
    const int code = RunProgram({}, location, [&watch](frmCorvane &window) {
        // Once it has been shown and drawn, as a user would find it.
        QTimer::singleShot(300, &window, [&window, &watch] {
            window.installEventFilter(&watch);
            say("exit");
            window.menuItem("mnuFileExit")->trigger();
        });
    });
    say("returned");
    return code;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc == 3 && std::strcmp(argv[1], "--child") == 0)
        return child(argc, argv, QString::fromLocal8Bit(argv[2]));

    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    QTemporaryDir settings;
    std::vector<double> gone, ended;
    for (int round = 0; round < rounds; ++round) {
        QProcess run;
        run.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        run.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--child"), settings.path()});
        if (!run.waitForFinished(120000)) {
            std::fprintf(stderr, "run %d did not end within 120 s\n", round + 1);
            run.kill();
            return 1;
        }
        const double end = now();
        double exit = -1, hidden = -1;
        for (const QByteArray &line : run.readAllStandardOutput().split('\n')) {
            const QList<QByteArray> words = line.trimmed().split(' ');
            if (words.size() != 2)
                continue;
            if (words[0] == "exit")
                exit = words[1].toDouble();
            else if (words[0] == "hidden")
                hidden = words[1].toDouble();
        }
        if (exit < 0 || run.exitStatus() != QProcess::NormalExit || run.exitCode() != 0) {
            std::fprintf(stderr, "run %d failed (exit code %d)\n", round + 1, run.exitCode());
            return 1;
        }
        // A process that ends without hiding its window takes it away as it ends.
        gone.push_back((hidden >= 0 ? hidden : end) - exit);
        ended.push_back(end - exit);
    }
    std::printf("File > Exit, %d runs: window gone after %.0f ms (slowest %.0f), process ended after %.0f ms (slowest %.0f)\n",
                rounds, median(gone), *std::max_element(gone.begin(), gone.end()), median(ended),
                *std::max_element(ended.begin(), ended.end()));
    return 0;
}
