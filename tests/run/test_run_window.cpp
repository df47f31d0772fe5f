// The run window: reading Robocopy's output (recorded outputs of
// corvane-copy, and Robocopy's written from its documented format), the
// arithmetic of progress, and the window following a run of the recording
// Robocopy and of corvane-copy through Execute.

#include "main_window/Controls.h"
#include "main_window/frmCorvane.h"
#include "run/ExitReport.h"
#include "run/OutputReader.h"
#include "run/OutputView.h"
#include "run/RunProgress.h"
#include "run/basShell.h"
#include "run/frmPreview.h"
#include "run/frmRun.h"

#include "FileDialogs.h"
#include "RecordingRobocopy.h"
#include "ScopedHook.h"
#include "WindowTest.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <functional>
#include <optional>

#ifdef Q_OS_LINUX
#include <unistd.h>
#endif

using namespace Qt::Literals::StringLiterals;

namespace {

QByteArray dataFile(const QString &name)
{
    QFile f(QStringLiteral(CORVANE_TEST_DATA "/") + name);
    if (!f.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(f.fileName()));
    return f.readAll();
}

// What a console shows of the text, less the percentages: each line up to
// its first carriage return, read line by line rather than as a stream.
QStringList consoleLines(const QString &text)
{
    QStringList lines;
    QString all = text;
    all.replace(u"\r\n"_s, u"\n"_s);
    if (all.endsWith(u'\n'))
        all.chop(1);
    for (const QString &line : all.split(u'\n')) {
        const QString shown = line.section(u'\r', 0, 0);
        static const QRegularExpression percent(u"^ *\\d{1,3}([.,]\\d)?% *$"_s);
        if (shown.isEmpty() && line.contains(u'\r'))
            continue;
        if (!percent.match(shown).hasMatch())
            lines << shown;
    }
    return lines;
}

OutputReader readInPieces(const QString &text, int largest, quint32 seed)
{
    OutputReader reader;
    QRandomGenerator random(seed);
    for (qsizetype at = 0; at < text.size();) {
        const qsizetype n = std::min<qsizetype>(text.size() - at, 1 + random.bounded(largest));
        reader.add(QStringView(text).sliced(at, n));
        at += n;
    }
    reader.finish();
    return reader;
}

RunCounts countsOf(qint64 copied, qint64 extras, qint64 bytes, qint64 sizedLines)
{
    RunCounts c;
    c.copied = copied;
    c.extras = extras;
    c.bytesDone = bytes;
    c.copyLines = copied;
    c.sizedLines = sizedLines;
    return c;
}

constexpr qint64 MiB = 1024 * 1024;

frmRun *shownRunWindow()
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget *w : windows)
        if (auto *run = qobject_cast<frmRun *>(w); run && run->isVisible())
            return run;
    return nullptr;
}

template <class T>
T *part(frmRun *run, const char *name)
{
    return run ? run->findChild<T *>(QLatin1StringView(name)) : nullptr;
}

#ifdef Q_OS_LINUX
// Running (not zombie) children of the parent with the name, and their state letters.
QList<QPair<int, char>> processesOf(const QByteArray &name, int parent)
{
    QList<QPair<int, char>> found;
    for (const QString &entry : QDir(u"/proc"_s).entryList(QDir::Dirs)) {
        QFile stat(u"/proc/%1/stat"_s.arg(entry));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        const qsizetype open = line.indexOf('('), close = line.lastIndexOf(')');
        const QList<QByteArray> rest = line.mid(close + 2).split(' ');
        if (open >= 0 && close > open && rest.size() > 1 && line.mid(open + 1, close - open - 1) == name
            && rest.at(0) != "Z" && rest.at(1).toInt() == parent)
            found.append({entry.toInt(), rest.at(0).at(0)});
    }
    return found;
}
#endif

} // namespace

Q_DECLARE_METATYPE(RunCounts)

class TestRunWindow : public WindowTest
{
    Q_OBJECT

public slots:
    void captureUrl(const QUrl &url) { m_urls << url; }

private slots:
    void init();
    void cleanup();

    void readRecorded_data();
    void readRecorded();
    void standing_data();
    void standing();
    void rateMeter_data();
    void rateMeter();
    void reportSwitches_data();
    void reportSwitches();

    void followsRun_data();
    void followsRun();
    void listingReused_data();
    void listingReused();
    void pauseResumeCancel();
    void cancelLeavesNoPartialFile();
    void logOpenCopySave();
    void closingCorvaneEndsTheRun();

private:
    // Show Progress checked, the folders set and the switches typed after the command.
    static void setRun(frmCorvane &w, const QString &source, const QString &destination, const QString &extra);
    // Execute with Show Progress checked; during() is called every 20 ms
    // while the run goes on. Returns the run window (null when it closed).
    frmRun *execute(frmCorvane &w, const QString &extra, const std::function<void(frmRun *)> &during = {});
    int listingRuns() const;

    QTemporaryDir m_scratch;
    RecordingRobocopy m_robocopy{m_scratch.filePath(u"robocopy"_s)};
    std::optional<ScopedEnvironmentVariable> m_path;
    std::optional<ScopedCurrentFolder> m_current;
    QList<QUrl> m_urls;
    const ScopedUrlHandler m_fileUrls{u"file"_s, this, "captureUrl"};
#ifndef Q_OS_WIN
    // Where Qt's file dialog keeps its state: the scratch folder, not the user's.
    const ScopedSettingsPath m_qtSettings{m_scratch.filePath(u"qt-settings"_s)};
    const ScopedHook<QString> m_console{SetConsoleProgram, QStringLiteral(CORVANE_BINARY_DIR "/corvane-cmd")};
#endif
};

void TestRunWindow::init()
{
    WindowTest::init();
    m_robocopy.clear();
    m_path.emplace("PATH", m_robocopy.folder());
    const QString empty = m_scratch.filePath(u"empty"_s);
    QDir().mkpath(empty);
    m_current.emplace(empty); // the console searches the current folder first
}

void TestRunWindow::cleanup()
{
    while (frmRun *run = shownRunWindow())
        run->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    m_current.reset();
    m_path.reset();
    WindowTest::cleanup();
}

// ------------------------------------------------------------ reading output

void TestRunWindow::readRecorded_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QList<qint64>>("counts"); // copied, skipped, extras, mismatched, failed
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<qint64>("errorLines");
    QTest::addColumn<QString>("firstError"); // its message, or its line when it has none
    QTest::addColumn<qint64>("summaryCopied"); // -1: no summary table
    QTest::addColumn<QString>("lastFile");     // how it ends
    const qint64 tree = 100 + 2000 + 5 + 3 * MiB + 10; // the files record.sh copies
    using L = QList<qint64>;
    // corvane-copy's, made by record.sh.
    QTest::newRow("copy with percentages") << "corvane-copy.txt" << L{5, 1, 2, 1, 0} << tree << 0LL << QString() << 5LL
                                           << "d.txt";
    QTest::newRow("/MT: lines after each copy, no folders")
        << "corvane-mt.txt" << L{5, 0, 2, 1, 0} << tree << 0LL << QString() << 5LL << "/src/f.txt";
    QTest::newRow("/NP /BYTES") << "corvane-np-bytes.txt" << L{5, 1, 2, 1, 0} << tree << 0LL << QString() << 5LL
                                << "d.txt";
    QTest::newRow("/NFL /NDL: the summary alone")
        << "corvane-nfl-ndl.txt" << L{0, 0, 0, 0, 0} << 0LL << 0LL << QString() << 5LL << QString();
    QTest::newRow("/L /V /TS /FP: skipped files named") << "corvane-list-v-ts-fp.txt" << L{5, 1, 2, 1, 0} << tree
                                                         << 0LL << QString() << 5LL << "/src/sub/deep/d.txt";
    // Without tags an extra file or a mismatch reads as a copy; without
    // sizes there are no bytes. The summary sets it right at the end.
    QTest::newRow("/NS /NC /ETA") << "corvane-ns-nc-eta.txt" << L{7, 0, 1, 0, 0} << 0LL << 0LL << QString() << 5LL
                                  << "d.txt";
    QTest::newRow("/MIR that mostly deletes")
        << "corvane-mirror-deletes.txt" << L{1, 6, 2, 0, 0} << 4LL << 0LL << QString() << 1LL << "m.dat";
    QTest::newRow("errors: a retry, then the limit")
        << "corvane-errors.txt" << L{4, 1, 2, 1, 1} << tree << 2LL << "Permission denied" << 4LL << "d.txt";
    // Robocopy's, written from its documented format: CR LF, "45.2%".
    QTest::newRow("Robocopy: copy") << "windows-copy.txt" << L{4, 2, 1, 0, 0}
                                    << 12345 + qint64(1.5 * MiB) + 4404019 + 4089446 << 0LL << QString() << 4LL
                                    << "IMG_0002.jpg";
    QTest::newRow("Robocopy: /MT with errors and a retry")
        << "windows-mt-errors.txt" << L{3, 0, 1, 1, 2} << 206 + 4096 + 2 * MiB << 3LL
        << "The process cannot access the file because it is being used by another process." << 3LL
        << "C:\\Data\\big\\video.mp4";
    QTest::newRow("Robocopy: a bad parameter") << "windows-bad-parameter.txt" << L{0, 0, 0, 0, 0} << 0LL << 1LL
                                               << "ERROR : Invalid Parameter #3 : \"/BOGUS\"" << -1LL << QString();
}

void TestRunWindow::readRecorded()
{
    QFETCH(QString, file);
    QFETCH(QList<qint64>, counts);
    QFETCH(qint64, bytes);
    QFETCH(qint64, errorLines);
    QFETCH(QString, firstError);
    QFETCH(qint64, summaryCopied);
    QFETCH(QString, lastFile);
    const QString text = QString::fromUtf8(dataFile(file));
    OutputReader whole;
    whole.add(text);
    whole.finish();
    const RunCounts &c = whole.counts();
    QCOMPARE((QList<qint64>{c.copied, c.skipped, c.extras, c.mismatched, c.failed}), counts);
    QCOMPARE(c.bytesDone, bytes);
    QCOMPARE(whole.errorLines(), errorLines);
    if (!firstError.isEmpty()) {
        const RunError &e = whole.errors().first();
        QCOMPARE(e.message.isEmpty() ? e.line : e.message, firstError);
    }
    QCOMPARE(whole.summary().found ? whole.summary().files[Copied] : -1, summaryCopied);
    QVERIFY2(whole.lastFile().endsWith(lastFile), qPrintable(whole.lastFile()));
    QVERIFY(whole.current().name.isEmpty()); // nothing left open at the end
    const QStringList lines = whole.takeLines();
    QCOMPARE(lines, consoleLines(text));

    // The same text cut anywhere, down to one character at a time, reads the same.
    for (const int largest : {1, 3, 64, 4096}) {
        OutputReader cut = readInPieces(text, largest, quint32(largest));
        QCOMPARE(cut.counts(), c);
        QCOMPARE(cut.errors(), whole.errors());
        QCOMPARE(cut.summary().lines, whole.summary().lines);
        QCOMPARE(cut.takeLines(), lines);
    }
}

// ---------------------------------------------------------------- progress

void TestRunWindow::standing_data()
{
    QTest::addColumn<QList<qint64>>("totals"); // files, bytes, other; none while counting
    QTest::addColumn<RunCounts>("counts");
    QTest::addColumn<QList<qint64>>("current"); // size, percent
    QTest::addColumn<QString>("command");
    QTest::addColumn<qint64>("written");
    QTest::addColumn<int>("permille");
    QTest::addColumn<QString>("text");
    using L = QList<qint64>;
    const QString plain = u"ROBOCOPY.EXE a b /E"_s;
    QTest::newRow("counting") << L{} << countsOf(3, 0, 3 * MiB, 3) << L{-1, -1} << plain << -1LL << -1
                              << u"Counting\u2026 3 files, 3.0 MB so far"_s;
    QTest::newRow("half the files and bytes") << L{4, 4 * MiB, 0} << countsOf(2, 0, 2 * MiB, 2) << L{-1, -1} << plain
                                              << -1LL << 500 << u"2 of 4 files, 2.0 of 4.0 MB"_s;
    // 1 MiB done, half of 2 MiB under way, one file of four: (2 MiB + 64 KiB) of 4 (1 MiB + 64 KiB).
    QTest::newRow("a copy under way counts its part") << L{4, 4 * MiB, 0} << countsOf(1, 0, MiB, 2) << L{2 * MiB, 50}
                                                      << plain << -1LL << 485 << u"1 of 4 files, 2.0 of 4.0 MB"_s;
    QTest::newRow("only deleting still moves") << L{0, 0, 10} << countsOf(0, 5, 0, 0) << L{-1, -1} << u"R a b /MIR"_s
                                               << -1LL << 500 << u"5 of 10 other entries"_s;
    QTest::newRow("/NFL: the bytes written") << L{3, 4 * MiB, 0} << countsOf(0, 0, 0, 0) << L{-1, -1}
                                             << u"R a b /NFL /NDL"_s << 3 * MiB << 750 << u"3.0 of 4.0 MB"_s;
    QTest::newRow("/NFL where nothing counts the bytes") << L{3, 4 * MiB, 0} << countsOf(0, 0, 0, 0) << L{-1, -1}
                                                         << u"R a b /NFL"_s << -1LL << -1 << QString();
    QTest::newRow("/NS: the files alone") << L{6, 4 * MiB, 0} << countsOf(3, 0, 0, 0) << L{-1, -1} << u"R a b /NS"_s
                                          << -1LL << 500 << u"3 of 6 files"_s;
    // A listing beside the run missed files it copied meanwhile: never a
    // whole before the end, never "5 of 2".
    QTest::newRow("more than the listing saw") << L{2, 0, 0} << countsOf(5, 0, 0, 5) << L{-1, -1} << plain << -1LL
                                               << 999 << u"5 of 5 files, 0.0 of 0.0 MB"_s;
    QTest::newRow("nothing to do") << L{0, 0, 0} << countsOf(0, 0, 0, 0) << L{-1, -1} << plain << -1LL << -1
                                   << u"0 of 0 files, 0.0 of 0.0 MB"_s;
    QTest::newRow("gigabytes") << L{2, 3 * 1024 * MiB, 0} << countsOf(1, 0, 1024 * MiB, 1) << L{-1, -1} << plain
                               << -1LL << 333 << u"1 of 2 files, 1.00 of 3.00 GB"_s;
}

void TestRunWindow::standing()
{
    QFETCH(QList<qint64>, totals);
    QFETCH(RunCounts, counts);
    QFETCH(QList<qint64>, current);
    QFETCH(QString, command);
    QFETCH(qint64, written);
    QFETCH(int, permille);
    QFETCH(QString, text);
    const ScopedCLocale c;
    RunStanding s;
    if (!totals.isEmpty())
        s.totals = RunTotals{totals[0], totals[1], totals[2]};
    s.counts = counts;
    s.current = CurrentCopy{u"x"_s, current[0], int(current[1])};
    s.shows = ReportSwitchesOf(command);
    s.writtenBytes = written;
    QCOMPARE(PermilleOf(s), permille);
    QCOMPARE(StandingText(s, totals.isEmpty()), text);
}

void TestRunWindow::rateMeter_data()
{
    QTest::addColumn<QList<QList<qint64>>>("samples"); // ms, bytes, units
    QTest::addColumn<qint64>("unitsLeft");
    QTest::addColumn<QString>("speed");
    QTest::addColumn<QString>("left");
    using S = QList<QList<qint64>>;
    auto steady = [](qint64 from, qint64 to, qint64 step, const std::function<qint64(qint64)> &bytes) {
        S samples;
        for (qint64 ms = from; ms <= to; ms += step)
            samples.append({ms, bytes(ms), bytes(ms)});
        return samples;
    };
    QTest::newRow("steady 1 MB/s") << steady(0, 10000, 1000, [](qint64 ms) { return ms / 1000 * MiB; }) << 10 * MiB
                                   << u"1.0 MB/s"_s << u"10 s left"_s;
    // Speed over the last 5 s (2 MB/s), time left over all 10 (1 MB/s).
    QTest::newRow("speed of five seconds, time left of the minute")
        << steady(0, 10000, 1000, [](qint64 ms) { return ms <= 5000 ? 0 : (ms - 5000) / 1000 * 2 * MiB; })
        << 30 * MiB << u"2.0 MB/s"_s << u"30 s left"_s;
    QTest::newRow("too early for time left") << steady(0, 2000, 500, [](qint64 ms) { return ms * 1024; }) << MiB
                                             << u"1000 KB/s"_s << QString();
    QTest::newRow("standing still") << steady(0, 10000, 1000, [](qint64) { return 5 * MiB; }) << MiB << u"0 KB/s"_s
                                    << QString();
    // 1 MB/s for a minute, then 3 MB/s: the minute before the last sample counts.
    QTest::newRow("older than a minute is forgotten")
        << steady(0, 120000, 10000, [](qint64 ms) { return ms < 60000 ? ms / 1000 * MiB : 60 * MiB + (ms - 60000) / 1000 * 3 * MiB; })
        << 90 * MiB << u"3.0 MB/s"_s << u"30 s left"_s;
    QTest::newRow("hours") << steady(0, 10000, 1000, [](qint64 ms) { return ms / 1000 * MiB; }) << 7500 * MiB
                           << u"1.0 MB/s"_s << u"2 h 05 min left"_s;
}

void TestRunWindow::rateMeter()
{
    QFETCH(QList<QList<qint64>>, samples);
    QFETCH(qint64, unitsLeft);
    QFETCH(QString, speed);
    QFETCH(QString, left);
    const ScopedCLocale c;
    RateMeter meter;
    for (const QList<qint64> &s : samples)
        meter.add(s[0], s[1], s[2]);
    QVERIFY(meter.bytesPerSecond().has_value());
    QCOMPARE(SpeedText(*meter.bytesPerSecond()), speed);
    const std::optional<qint64> seconds = meter.secondsLeft(unitsLeft);
    QCOMPARE(seconds ? TimeLeftText(*seconds) : QString(), left);
}

void TestRunWindow::reportSwitches_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("files");
    QTest::addColumn<bool>("sizes");
    QTest::addColumn<QString>("log");
    QTest::addColumn<bool>("unicode");
    QTest::addColumn<bool>("append");
    QTest::addColumn<bool>("onConsole");
    QTest::newRow("plain") << u"ROBOCOPY.EXE a b /E"_s << true << true << QString() << false << false << true;
    QTest::newRow("/NFL: no files, no sizes") << u"ROBOCOPY.EXE a b /NFL"_s << false << false << QString() << false
                                              << false << true;
    QTest::newRow("/ns in small letters") << u"ROBOCOPY.EXE a b /ns"_s << true << false << QString() << false << false
                                          << true;
    QTest::newRow("a log: nothing on the console") << u"ROBOCOPY.EXE a b /LOG:C:\\logs\\run.log"_s << true << true
                                                   << u"C:\\logs\\run.log"_s << false << false << false;
    QTest::newRow("a quoted Unicode log added to, with /TEE")
        << u"ROBOCOPY.EXE a b \"/UNILOG+:x y.log\" /TEE"_s << true << true << u"x y.log"_s << true << true << true;
    QTest::newRow("the last log counts") << u"ROBOCOPY.EXE a b /LOG:a.log /log+:b.log"_s << true << true << u"b.log"_s
                                         << false << true << false;
    QTest::newRow("a log without a name is none") << u"ROBOCOPY.EXE a b /LOG:"_s << true << true << QString() << false
                                                  << false << true;
}

void TestRunWindow::reportSwitches()
{
    QFETCH(QString, command);
    QFETCH(bool, files);
    QFETCH(bool, sizes);
    QFETCH(QString, log);
    QFETCH(bool, unicode);
    QFETCH(bool, append);
    QFETCH(bool, onConsole);
    const ReportSwitches s = ReportSwitchesOf(command);
    QCOMPARE(s.files, files);
    QCOMPARE(s.sizes, sizes);
    QCOMPARE(s.logFile, log);
    QCOMPARE(s.unicodeLog, unicode);
    QCOMPARE(s.appendLog, append);
    QCOMPARE(s.onConsole(), onConsole);
}

// ------------------------------------------------------- the window, running

void TestRunWindow::setRun(frmCorvane &w, const QString &source, const QString &destination, const QString &extra)
{
    w.menuItem("mnuOptionsShowProgress")->setChecked(true);
    setTextOf(w.control("cboSource"), source);
    setTextOf(w.control("cboDestination"), destination);
    QWidget *box = w.control("txtCommandLine");
    setTextOf(box, textOf(box) + extra);
}

frmRun *TestRunWindow::execute(frmCorvane &w, const QString &extra, const std::function<void(frmRun *)> &during)
{
    setRun(w, u"C:\\Src"_s, u"D:\\Dst"_s, extra);
    QTimer poll;
    poll.setInterval(20);
    connect(&poll, &QTimer::timeout, this, [&] {
        if (frmRun *run = shownRunWindow(); run && run->isRunning() && during)
            during(run);
    });
    poll.start();
    click(w, "cmdExecute");
    return shownRunWindow();
}

int TestRunWindow::listingRuns() const
{
    const QList<RecordedRun> runs = m_robocopy.runs();
    return int(std::count_if(runs.begin(), runs.end(), [](const RecordedRun &r) { return r.args.contains(u"/L"_s); }));
}

void TestRunWindow::followsRun_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("autoClose");
    QTest::addColumn<bool>("windowStays");
    QTest::addColumn<QString>("copied");  // the count shown at the end
    QTest::addColumn<QString>("aLine");   // one line the output view shows
    QTest::newRow("copied, Auto-Close: the usual report instead") << "windows-copy.txt" << 1 << true << false << "4"
                                                                  << QString();
    // The letters of the code page test the pipe's decoding on Windows.
    QTest::newRow("copied, no Auto-Close: the window stays") << "windows-copy.txt" << 1 << false << true << "4"
                                                             << "\t    New File  \t\t   12345\tBriefe an Müller.docx";
    QTest::newRow("failures stay, Auto-Close or not") << "windows-mt-errors.txt" << 9 << true << true << "3"
                                                      << "Access is denied.";
    QTest::newRow("a serious error") << "windows-bad-parameter.txt" << 16 << true << true << "0"
                                     << "****  /MIR can DELETE files as well as copy them !";
}

void TestRunWindow::followsRun()
{
    QFETCH(QString, file);
    QFETCH(int, code);
    QFETCH(bool, autoClose);
    QFETCH(bool, windowStays);
    QFETCH(QString, copied);
    QFETCH(QString, aLine);
    const QByteArray output = dataFile(file);
    m_robocopy.setOutput(u"output.txt"_s, output);
    m_robocopy.setListing(QString::fromUtf8(output)); // the listing beside the run reads the same
    auto w = newWindow();
    w->menuItem("mnuOptionsAutoClose")->setChecked(autoClose);
    QSet<int> bar;
    QSet<QString> copiedSeen;
    frmRun *run = execute(*w, u" /TESTOUTPUT:output.txt /TESTDELAY:40 /TESTCODE:%1"_s.arg(code), [&](frmRun *r) {
        bar.insert(part<QProgressBar>(r, "barOverall")->value());
        copiedSeen.insert(part<QLabel>(r, "lblCopied")->text());
    });
    const OutputReader expected = [&] {
        OutputReader r;
        r.add(QString::fromUtf8(output));
        r.finish();
        return r;
    }();

    QCOMPARE(m_robocopy.runs().size(), 2); // the run and the listing beside it
    QCOMPARE(listingRuns(), 1);
    QCOMPARE(listOf(w->control<QComboBox>("cboSource")), QStringList{"C:\\Src"});
    if (file == u"windows-copy.txt") {
        // It moved while it ran: the bar between its ends, the count up.
        QVERIFY2(std::any_of(bar.begin(), bar.end(), [](int v) { return v > 0 && v < 1000; }),
                 qPrintable(QString::number(bar.size())));
        QVERIFY(copiedSeen.size() >= 2);
    }
    if (!windowStays) {
        QVERIFY(!run);
        QCOMPARE(shown().size(), 1);
        QCOMPARE(shown().first().prompt, ExitReport(code));
        return;
    }
    QVERIFY(run);
    QVERIFY2(shown().isEmpty(), qPrintable(describeShown()));
    QCOMPARE(run->result(), code);
    QCOMPARE(run->windowTitle(), u"Finished - Corvane"_s);
    QCOMPARE(part<QLabel>(run, "lblReport")->text(), ExitReport(code).trimmed());
    QCOMPARE(part<QLabel>(run, "lblCopied")->text(), copied);
    QCOMPARE(part<QPlainTextEdit>(run, "txtSummary")->isVisibleTo(run), expected.summary().found);
    auto *tabs = part<QTabWidget>(run, "tabOutput");
    QCOMPARE(tabs->currentIndex() == 1, expected.errorLines() > 0);
    QCOMPARE(tabs->tabText(1), u"Errors (%1)"_s.arg(expected.errorLines()));
    QVERIFY2(part<OutputView>(run, "txtOutput")->lines().contains(aLine),
             qPrintable(part<OutputView>(run, "txtOutput")->lines().join(u'\n').left(2000)));
    QVERIFY(part<QPushButton>(run, "cmdClose")->isVisibleTo(run));
    QVERIFY(!part<QPushButton>(run, "cmdPause")->isVisibleTo(run));
    QVERIFY(!part<QPushButton>(run, "cmdOpenLog")->isVisibleTo(run)); // no /LOG
}

void TestRunWindow::listingReused_data()
{
    QTest::addColumn<QString>("extra");
    QTest::addColumn<bool>("preview");
    QTest::addColumn<int>("listings");
    QTest::addColumn<bool>("totals");
    QTest::newRow("/MIR after the preview: its listing serves") << " /MIR" << true << 1 << true;
    QTest::newRow("/MIR without the preview: a listing beside") << " /MIR" << false << 1 << true;
    QTest::newRow("two steps: nothing to measure them by") << " & ROBOCOPY.EXE x y" << true << 0 << false;
}

void TestRunWindow::listingReused()
{
    QFETCH(QString, extra);
    QFETCH(bool, preview);
    QFETCH(int, listings);
    QFETCH(bool, totals);
    m_robocopy.setOutput(u"output.txt"_s, dataFile(u"windows-copy.txt"_s));
    m_robocopy.setListing(QString::fromUtf8(dataFile(u"windows-copy.txt"_s)));
    const ScopedHook<PreviewDialogExec> run(SetPreviewDialogExec, [](frmPreview &) { return int(QDialog::Accepted); });
    auto w = newWindow();
    w->menuItem("mnuOptionsAutoClose")->setChecked(false);
    w->menuItem("mnuOptionsPreview")->setChecked(preview);
    QStringList standings;
    frmRun *window = execute(*w, u" /TESTOUTPUT:output.txt /TESTDELAY:20"_s + extra,
                             [&](frmRun *r) { standings << part<QLabel>(r, "lblStanding")->text(); });
    QVERIFY(window);
    QVERIFY(!standings.isEmpty());
    QStringList runs;
    for (const RecordedRun &r : m_robocopy.runs())
        runs << r.args.join(u' ');
    QVERIFY2(listingRuns() == listings, qPrintable(runs.join(u'\n')));
    // The preview's listing is there from the start.
    if (preview && totals)
        QVERIFY2(standings.first().contains(u" of "_s), qPrintable(standings.first()));
    QCOMPARE(standings.last().contains(u" of "_s), totals);
}

void TestRunWindow::pauseResumeCancel()
{
    const QString recorded = QString::fromUtf8(dataFile(u"windows-copy.txt"_s));
    QString output = recorded.left(recorded.indexOf(u"\t                   4\t"_s)); // the header
    for (int i = 0; i < 300; ++i)
        output += u"\t    New File  \t\t     100\tfile %1.txt\r\n"_s.arg(i);
    m_robocopy.setOutput(u"output.txt"_s, output.toUtf8());
    boxes().yesNoReply = vbNo;
    auto w = newWindow();
    w->menuItem("mnuOptionsAutoClose")->setChecked(true);
    enum class Step { Start, Paused, Resumed, Refused, Done } step = Step::Start;
    QString copiedAtPause;
    QElapsedTimer clock;
    bool stoppedWhilePaused = true, movedAfterResume = false, ranOnAfterNo = false;
    auto copiedOf = [](frmRun *r) { return part<QLabel>(r, "lblCopied")->text().toInt(); };
    frmRun *run = execute(*w, u" /TESTOUTPUT:output.txt /TESTDELAY:10 /TESTCODE:1"_s, [&](frmRun *r) {
        switch (step) {
        case Step::Start:
            if (copiedOf(r) < 20)
                return;
            part<QPushButton>(r, "cmdPause")->click();
            QVERIFY(r->isPaused());
            QVERIFY(r->windowTitle().startsWith(u"Paused "_s));
            clock.start();
            step = Step::Paused;
            return;
        case Step::Paused:
            if (clock.elapsed() < 300)
                return;
            if (copiedAtPause.isEmpty()) {
                copiedAtPause = part<QLabel>(r, "lblCopied")->text();
                return;
            }
            if (part<QLabel>(r, "lblCopied")->text() != copiedAtPause)
                stoppedWhilePaused = false;
            if (clock.elapsed() < 900)
                return;
#ifdef Q_OS_LINUX
            // The program and any sleep it waits in: all stopped.
            for (const auto &[pid, state] : processesOf("ROBOCOPY.EXE", int(getpid()))) {
                stoppedWhilePaused = stoppedWhilePaused && state == 'T';
                for (const auto &[sleeper, sleeping] : processesOf("sleep", pid))
                    stoppedWhilePaused = stoppedWhilePaused && sleeping == 'T';
            }
#endif
            part<QPushButton>(r, "cmdPause")->click();
            QCOMPARE(part<QPushButton>(r, "cmdPause")->text(), u"&Pause"_s);
            step = Step::Resumed;
            return;
        case Step::Resumed:
            if (copiedOf(r) < copiedAtPause.toInt() + 20)
                return;
            movedAfterResume = true;
            part<QPushButton>(r, "cmdCancel")->click(); // answered No
            step = Step::Refused;
            clock.restart();
            return;
        case Step::Refused:
            if (clock.elapsed() < 300)
                return;
            ranOnAfterNo = r->isRunning();
            boxes().yesNoReply = vbYes;
            part<QPushButton>(r, "cmdCancel")->click();
            step = Step::Done;
            return;
        case Step::Done:
            return;
        }
    });
    QCOMPARE(int(step), int(Step::Done));
    QVERIFY(stoppedWhilePaused);
    QVERIFY(movedAfterResume);
    QVERIFY(ranOnAfterNo);
    // Cancelled stays, Auto-Close or not, and tells how far the run came.
    QVERIFY(run);
    QCOMPARE(run->result(), int(RunCancelled));
    QCOMPARE(run->windowTitle(), u"Cancelled - Corvane"_s);
    QVERIFY2(part<QLabel>(run, "lblReport")->text().startsWith(u"Cancelled: "_s + part<QLabel>(run, "lblCopied")->text()
                                                                 + u" files"_s),
             qPrintable(part<QLabel>(run, "lblReport")->text()));
    QCOMPARE(shown().size(), 2);
    QVERIFY(shown().first().prompt.startsWith(u"Cancel this run?"_s));
    QVERIFY(part<QLabel>(run, "lblCopied")->text().toInt() < 300); // ended before its end
    QCOMPARE(listOf(w->control<QComboBox>("cboSource")), QStringList{"C:\\Src"});
#ifdef Q_OS_LINUX
    QTRY_VERIFY(processesOf("ROBOCOPY.EXE", int(getpid())).isEmpty()); // the whole group went
#endif
}

// Cancelled halfway through a big file, corvane-copy leaves no part of it
// under its name: what it wrote had none yet.
void TestRunWindow::cancelLeavesNoPartialFile()
{
#ifdef Q_OS_WIN
    QSKIP("corvane-copy is built off Windows only");
#else
    const ScopedEnvironmentVariable noRobocopy("PATH", m_scratch.filePath(u"empty"_s));
    const QString source = m_scratch.filePath(u"src"_s), target = m_scratch.filePath(u"dst"_s);
    QVERIFY(QDir().mkpath(source));
    QFile small(source + u"/a.txt"_s), big(source + u"/big.bin"_s);
    QVERIFY(small.open(QIODevice::WriteOnly) && small.write("whole") == 5);
    small.close();
    QVERIFY(big.open(QIODevice::WriteOnly));
    const QByteArray block(1024 * 1024, 'x');
    for (int i = 0; i < 24; ++i)
        QCOMPARE(big.write(block), block.size());
    big.close();
    boxes().yesNoReply = vbYes;
    auto w = newWindow();
    w->menuItem("mnuOptionsAutoClose")->setChecked(true);
    setRun(*w, source, target, u" /IPG:15"_s); // 384 packets of 64 KiB, 15 ms apart
    int percentAtCancel = -1;
    QTimer poll;
    poll.setInterval(20);
    connect(&poll, &QTimer::timeout, this, [&] {
        frmRun *r = shownRunWindow();
        auto *current = part<QProgressBar>(r, "barCurrentFile");
        if (!r || !r->isRunning() || !current->isVisibleTo(r) || current->value() < 20 || percentAtCancel >= 0)
            return;
        percentAtCancel = current->value();
        part<QPushButton>(r, "cmdCancel")->click();
    });
    poll.start();
    click(*w, "cmdExecute");
    QVERIFY2(percentAtCancel >= 20 && percentAtCancel < 100, qPrintable(QString::number(percentAtCancel)));
    frmRun *run = shownRunWindow();
    QVERIFY(run);
    QCOMPARE(run->result(), int(RunCancelled));
    // a.txt whole; big.bin nowhere under its name, at most under a temporary one.
    const QStringList names = QDir(target).entryList(QDir::Files | QDir::Hidden);
    for (const QString &name : names)
        QVERIFY2(name == u"a.txt"_s || (name.startsWith(u".corvane-"_s) && name.endsWith(u".tmp"_s)), qPrintable(name));
    QFile copied(target + u"/a.txt"_s);
    QVERIFY(copied.open(QIODevice::ReadOnly));
    QCOMPARE(copied.readAll(), QByteArray("whole"));
#ifdef Q_OS_LINUX
    QVERIFY(processesOf("corvane-copy", int(getpid())).isEmpty());
#endif
#endif
}

// With /LOG and no /TEE the report goes to the log alone: the window reads
// the log (not what it held before), offers it, and copies and saves the
// whole output.
void TestRunWindow::logOpenCopySave()
{
#ifdef Q_OS_WIN
    QSKIP("corvane-copy is built off Windows only");
#else
    const ScopedEnvironmentVariable noRobocopy("PATH", m_scratch.filePath(u"empty"_s));
    const QString source = m_scratch.filePath(u"logged/src"_s), log = m_scratch.filePath(u"logged/run.log"_s);
    QVERIFY(QDir().mkpath(source + u"/sub"_s));
    for (const QString &name : {u"a.txt"_s, u"b.txt"_s, u"sub/c.txt"_s}) {
        QFile f(source + u'/' + name);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write("12345") == 5);
    }
    QFile old(log);
    QVERIFY(old.open(QIODevice::WriteOnly) && old.write("\t    New File\t\t       9\tstale.txt\n") > 0);
    old.close();
    auto w = newWindow();
    w->menuItem("mnuOptionsAutoClose")->setChecked(true);
    setRun(*w, source, m_scratch.filePath(u"logged/dst"_s), u" /E /LOG:"_s + log);
    click(*w, "cmdExecute");
    frmRun *run = shownRunWindow();
    QVERIFY(!run); // copied without failures: closed, the usual report shown
    QCOMPARE(shown().size(), 1);
    QCOMPARE(shown().first().prompt, ExitReport(1));

    // Once more, the window kept open.
    QDir(m_scratch.filePath(u"logged/dst"_s)).removeRecursively();
    w->menuItem("mnuOptionsAutoClose")->setChecked(false);
    click(*w, "cmdExecute");
    run = shownRunWindow();
    QVERIFY(run);
    QCOMPARE(run->result(), 1);
    QCOMPARE(part<QLabel>(run, "lblCopied")->text(), u"3"_s);
    const QStringList lines = part<OutputView>(run, "txtOutput")->lines();
    QVERIFY(lines.contains(u" Log File : "_s + log));
    QVERIFY(std::any_of(lines.begin(), lines.end(), [](const QString &l) { return l.endsWith(u"\tc.txt"_s); }));
    QVERIFY(!lines.join(u'\n').contains(u"stale.txt"_s));

    auto *openLog = part<QPushButton>(run, "cmdOpenLog");
    QVERIFY(openLog->isVisibleTo(run));
    openLog->click();
    QCOMPARE(m_urls, QList<QUrl>{QUrl::fromLocalFile(log)});
    part<QPushButton>(run, "cmdCopyOutput")->click();
    const QString copied = QGuiApplication::clipboard()->text();
    QCOMPARE(copied.split(u'\n').mid(0, lines.size()), lines);
    QList<ShownDialog> dialogs;
    {
        SaveDialogAnswer answer(dialogs, m_scratch.filePath(u"logged"_s), u"output"_s, 1);
        part<QPushButton>(run, "cmdSaveOutput")->click();
    }
    QFile saved(m_scratch.filePath(u"logged/output.TXT"_s));
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(saved.readAll()), copied);
#endif
}

// Corvane closed during a run in its window: the run ends with it, as
// Cancel would end it, without asking and without touching the window again.
void TestRunWindow::closingCorvaneEndsTheRun()
{
    QString output;
    for (int i = 0; i < 200; ++i)
        output += u"\t    New File  \t\t     100\tfile %1.txt\r\n"_s.arg(i);
    m_robocopy.setOutput(u"output.txt"_s, output.toUtf8());
    auto w = newWindow();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    bool closed = false;
    frmRun *run = execute(*w, u" /TESTOUTPUT:output.txt /TESTDELAY:20 /TESTCODE:1"_s, [&](frmRun *r) {
        if (!closed && part<QLabel>(r, "lblCopied")->text().toInt() >= 5) {
            closed = true;
            w->close();
        }
    });
    QVERIFY(closed);
    QVERIFY(!run);
    QVERIFY2(shown().isEmpty(), qPrintable(describeShown()));
    QCOMPARE(w->control<QComboBox>("cboSource")->count(), 0);
#ifdef Q_OS_LINUX
    QTRY_VERIFY(processesOf("ROBOCOPY.EXE", int(getpid())).isEmpty());
#endif
}

QTEST_MAIN(TestRunWindow)
#include "test_run_window.moc"
