// Saves pictures of the windows into the folder given as the argument, to be
// looked at after a change: the main window as it starts, a small window
// scrolled to the middle and to the far corner, the About window, the
// dialogs of the listing before a run that deletes, the run window (running,
// paused, finished with errors); the far corner (the version key), the About
// window and the run window under a dark theme.
#include "main_window/frmCorvane.h"
#include "run/ListingRun.h"
#include "run/frmHelp.h"
#include "run/frmPreview.h"
#include "run/frmRun.h"

#include "MessageBoxes.h"
#include "RecordingRobocopy.h"
#include "ScopedHook.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <functional>

using namespace Qt::Literals::StringLiterals;

namespace {

bool save(QWidget *w, const QDir &folder, const char *name)
{
    QCoreApplication::processEvents();
    const QString path = folder.filePath(QString::fromLatin1(name));
    if (!w->grab().save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(QDir::toNativeSeparators(path)));
    return true;
}

QByteArray recorded(const char *name)
{
    QFile f(QStringLiteral(CORVANE_TEST_DATA "/") + QLatin1StringView(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Serves events until done() or the time is up.
bool waitFor(const std::function<bool()> &done, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms)
        QTest::qWait(20);
    return done();
}

// A run of the recording Robocopy in the run window: its command as the
// window shows it, what runs, and what it prints (name set beside it).
frmRun *startRun(const QString &shown, const QString &switches)
{
    auto *run = new frmRun(shown, u"cmd.exe /c "_s + shown + switches, std::nullopt);
    run->start();
    return run;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: corvane_screenshots FOLDER\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(folder.path()))
        return 1;
    const MessageBoxCatcher noBoxes; // nothing modal may stop the step
    QTemporaryDir settings;
    frmCorvane window(SettingsLocation{settings.filePath(QStringLiteral("Settings.ini")),
                                       settings.filePath(QStringLiteral("user.ini"))});
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;
    bool ok = save(&window, folder, "main_window.png");

    // The client area of a small window, scrolled to the middle and to the far corner.
    window.resize(window.size() - window.centralWidget()->size() + QSize(520, 380));
    QCoreApplication::processEvents();
    window.hScroll()->setValue(4000);
    window.vScroll()->setValue(2000);
    ok = save(&window, folder, "layout_small_scrolled.png") && ok;
    window.hScroll()->setValue(window.hScroll()->maximum());
    window.vScroll()->setValue(window.vScroll()->maximum());
    ok = save(&window, folder, "layout_small_far_corner.png") && ok;

    window.menuItem("mnuHelpAbout")->trigger();
    frmHelp *help = frmHelp::Current();
    ok = help && QTest::qWaitForWindowExposed(help) && save(help, folder, "frmHelp.png") && ok;
    if (help)
        help->close();

    // The listing's dialogs, with a listing of a mirror as Robocopy prints it.
    frmListing listing(&window);
    listing.show();
    ok = QTest::qWaitForWindowExposed(&listing) && save(&listing, folder, "frmListing.png") && ok;
    listing.hide();
    const QString dashes(78, u'-');
    QString output = dashes + u"\n   ROBOCOPY     ::     Robust File Copy for Windows\n"_s + dashes
        + u"\n  Options : *.* /FP /L /S /E /DCOPY:DA /COPY:DAT /PURGE /MIR /NP /R:0 /W:0\n"_s + dashes + u'\n';
    for (int i = 1; i <= 14; ++i)
        output += u"\t*EXTRA File\t\t  %1.2 k\tD:\\Backup\\Projects\\2019\\Old reports\\report %2.docx\n"_s.arg(i).arg(i);
    output += u"\t*EXTRA Dir\t  -1\tD:\\Backup\\Projects\\2018\\\n"_s + dashes
        + u"\n               Total    Copied   Skipped  Mismatch    FAILED    Extras\n"
          u"    Dirs :        12         0        12         0         0         1\n"
          u"   Files :       240         0       240         0         0        14\n"
          u"   Bytes :   1.204 g         0   1.204 g         0         0   112.7 k\n"_s;
    frmPreview asking(PreviewTextOf(PreviewOf(ReadRunEffects(u"ROBOCOPY.EXE C:\\Projects D:\\Backup /MIR"_s),
                                              ReadListing(output), 2)),
                      &window);
    asking.show();
    ok = QTest::qWaitForWindowExposed(&asking) && save(&asking, folder, "frmPreview.png") && ok;
    asking.cmdDetails()->click();
    ok = save(&asking, folder, "frmPreview_details.png") && ok;
    asking.hide();
    frmPreview failed(FailureTextOf(ListingFailure::SeriousError, 16,
                                    u"ERROR : Invalid Parameter #3 : \"/BOGUS\"\n\n       Simple Usage :: ROBOCOPY source "
                                    "destination /MIR\n"_s),
                      &window);
    failed.show();
    ok = QTest::qWaitForWindowExposed(&failed) && save(&failed, folder, "frmPreview_failed.png") && ok;
    failed.hide();

    // The run window following a recorded run: a big file under way, the
    // listing beside it giving the totals; paused; then a run with errors.
    QTemporaryDir robocopyFolder;
    const RecordingRobocopy robocopy(robocopyFolder.filePath(u"robocopy"_s));
    const ScopedEnvironmentVariable path("PATH", robocopy.folder());
    const QByteArray copy = recorded("windows-copy.txt");
    const QByteArray header = copy.left(copy.indexOf("\t                   4\t"));
    QByteArray running = header + "\t                   6\tC:\\Users\\J\xc3\xbcrgen\\Documents\\\r\n";
    for (int i = 1; i <= 5; ++i)
        running += "\t    New File  \t\t   " + QByteArray::number(1000 * i + 345) + "\tLetter " + QByteArray::number(i)
            + ".docx\r100%\r\n";
    running += "\t    New File  \t\t   4.2 g\tDisk image.vhdx\r\n";
    for (int permille = 0; permille <= 1000; permille += 5)
        running += QByteArray::number(permille / 10).rightJustified(3) + '.' + QByteArray::number(permille % 10) + "%\r\n";
    robocopy.setOutput(u"running.txt"_s, running);
    robocopy.setListing(QString::fromUtf8(
        running.left(running.indexOf("  0.0%")) + dashes.toUtf8()
        + "\r\n               Total    Copied   Skipped  Mismatch    FAILED    Extras\r\n"
          "    Dirs :         1         0         1         0         0         0\r\n"
          "   Files :         8         6         2         0         0         0\r\n"
          "   Bytes :    4.21 g    4.21 g     3.1 k         0         0         0\r\n"));
    robocopy.setOutput(u"errors.txt"_s, recorded("windows-mt-errors.txt"));
    const QString documents = u"ROBOCOPY.EXE \"C:\\Users\\J\u00fcrgen\\Documents\" D:\\Backup\\Documents /E"_s;
    QPointer<frmRun> run = startRun(documents, u" /TESTOUTPUT:running.txt /TESTDELAY:30"_s);
    auto *current = run->findChild<QProgressBar *>(u"barCurrentFile"_s);
    ok = waitFor([&] { return current->isVisible() && current->value() >= 35; }, 20000)
        && save(run, folder, "frmRun_running.png") && ok;
    run->findChild<QPushButton *>(u"cmdPause"_s)->click();
    QTest::qWait(300);
    ok = run->isPaused() && save(run, folder, "frmRun_paused.png") && ok;
    run->close(); // ends the run
    robocopy.setListing(QString::fromUtf8(recorded("windows-mt-errors.txt")));
    run = startRun(u"ROBOCOPY.EXE C:\\Data D:\\Data /E /MT:8 /R:1 /W:1"_s, u" /TESTOUTPUT:errors.txt /TESTCODE:9"_s);
    ok = waitFor([&] { return !run->isRunning(); }, 20000) && save(run, folder, "frmRun_errors.png") && ok;

    // Under a dark high-contrast theme (white on black, as High Contrast
    // Black), chosen while the program runs.
    const QColor black(0, 0, 0), white(255, 255, 255), grey(128, 128, 128);
    QPalette dark(white, black, white, grey, grey, white, white, black, black);
    dark.setColor(QPalette::Disabled, QPalette::WindowText, QColor(63, 240, 63));
    dark.setColor(QPalette::Disabled, QPalette::Text, QColor(63, 240, 63));
    dark.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(63, 240, 63));
    QApplication::setPalette(dark);
    QCoreApplication::sendPostedEvents();
    window.hScroll()->setValue(window.hScroll()->maximum());
    window.vScroll()->setValue(window.vScroll()->maximum());
    ok = save(&window, folder, "dark_theme_far_corner.png") && ok;
    window.menuItem("mnuHelpAbout")->trigger();
    help = frmHelp::Current();
    ok = help && QTest::qWaitForWindowExposed(help) && save(help, folder, "frmHelp_dark_theme.png") && ok;
    ok = run && save(run, folder, "frmRun_dark_theme.png") && ok;
    return ok && noBoxes.boxes.isEmpty() ? 0 : 1;
}
