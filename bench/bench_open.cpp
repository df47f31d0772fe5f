// Times opening a command file of 2,000 characters through the real window:
// reading the file, reading the command, setting every option control (with
// the interlocks and the rebuild of the command box). Two commands that set
// different options are opened in turn, so every open changes many controls.
#include "main_window/frmCorvane.h"
#include "tools/basTools.h"

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

// The command, its list of excluded names grown until it is 2,000 characters long.
QString commandOf(const QString &head, const QString &listSwitch, const QString &tail)
{
    QString list;
    for (int i = 0;; ++i) {
        const QString name = QStringLiteral(" \"old file %1.tmp\"").arg(i);
        const qsizetype room = 2000 - head.size() - listSwitch.size() - list.size() - tail.size();
        if (name.size() + 2 > room) {
            list += u' ' + QString(room - 1, u'x');
            break;
        }
        list += name;
    }
    return head + listSwitch + list + tail;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;

    int messages = 0;
    SetMsgBoxExec([&messages](QMessageBox &) {
        ++messages;
        return int(QMessageBox::Ok);
    });

    QTemporaryDir dir;
    const QStringList commands = {
        commandOf(QStringLiteral("ROBOCOPY.EXE \"C:\\Users\\Administrator\\Documents\\Source Folder\" "
                                 "\"\\\\server\\share\\Backup Folder\\\\\" *.doc *.xls /E /LEV:5 /ZB /COPYALL /DCOPY:DAT "
                                 "/MIR /A+:RA /IA:RHS /XA:T"),
                  QStringLiteral(" /XF"),
                  QStringLiteral(" /XD temp cache /R:3 /W:10 /TEE /LOG+:\"C:\\Logs\\copy log.txt\" /MT:16")),
        commandOf(QStringLiteral("ROBOCOPY.EXE D:\\Data E:\\Mirror /S /Z /SEC /NODCOPY /MOV /A-:H /XA:RS"),
                  QStringLiteral(" /XD"),
                  QStringLiteral(" /MAX:100000 /MIN:10 /R:1 /W:1 /NJH /NP /LOG:x.log /JOB:job.rcj /SAVE:out.rcj")),
    };
    QStringList files;
    for (const QString &command : commands) {
        files << dir.filePath(QStringLiteral("job%1.cmd").arg(files.size()));
        QFile f(files.last());
        if (!f.open(QIODevice::WriteOnly) || f.write((command + QStringLiteral("\r\n")).toLocal8Bit()) < 0)
            return 1;
    }

    frmCorvane window(SettingsLocation{dir.filePath(QStringLiteral("Settings.ini")),
                                       dir.filePath(QStringLiteral("user.conf"))});
    window.show();
    QApplication::processEvents();

    // Processor time too: on a busy machine the wall time also counts the
    // waits for a processor.
    std::vector<double> millis, cpuMillis;
    millis.reserve(size_t(rounds));
    cpuMillis.reserve(size_t(rounds));
    for (int i = 0; i < rounds; ++i) {
        // The window shows the previous open first, as it would for a user.
        QApplication::processEvents();
        const std::clock_t cpuStart = std::clock();
        const auto start = std::chrono::steady_clock::now();
        window.OpenCommandFile(files.at(i % 2));
        const auto end = std::chrono::steady_clock::now();
        cpuMillis.push_back(double(std::clock() - cpuStart) * 1000.0 / CLOCKS_PER_SEC);
        millis.push_back(std::chrono::duration<double, std::milli>(end - start).count());
    }
    const QString shown = window.text("txtCommandLine");
    if (messages || shown != commands.at((rounds - 1) % 2)) {
        std::fprintf(stderr, "the window did not compose the command opened (%d messages)\n", messages);
        return 1;
    }
    std::sort(millis.begin(), millis.end());
    std::sort(cpuMillis.begin(), cpuMillis.end());
    std::printf("opens: %d (commands of %lld and %lld characters)\nmedian: %.3f ms\np90: %.3f ms\n"
                "median processor time: %.3f ms\ntarget: median under 2 ms\n",
                rounds, qint64(commands.at(0).size()), qint64(commands.at(1).size()), millis[millis.size() / 2],
                millis[millis.size() * 9 / 10], cpuMillis[cpuMillis.size() / 2]);
    return 0;
}
