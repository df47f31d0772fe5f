// Saves pictures of the windows into the folder given as the argument, to be
// looked at after a change: the main window as it starts, a small window
// scrolled to the middle and to the far corner, the About window, the
// dialogs of the listing before a run that deletes, the run window (running,
// paused, finished with errors); then every window again under each theme of
// Themes(), chosen while the program runs.
//
//   corvane_screenshots FOLDER
//   corvane_screenshots --system-theme NAME FOLDER
//
// The second form saves only the windows of the theme list, as the system's
// own theme draws them, into NAME_*.png: the screenshot step runs it under
// a dark desktop scheme and, for Windows, under a dark colour scheme of Wine.
#include "main_window/ReadableTheme.h"
#include "main_window/frmCorvane.h"
#include "run/ListingRun.h"
#include "run/frmHelp.h"
#include "run/frmPreview.h"
#include "run/frmRun.h"

#include "MessageBoxes.h"
#include "RecordingRobocopy.h"
#include "ScopedHook.h"
#include "Themes.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <functional>
#include <memory>

using namespace Qt::Literals::StringLiterals;

namespace {

bool save(QWidget *w, const QDir &folder, const QString &name)
{
    QCoreApplication::processEvents();
    const QString path = folder.filePath(name);
    if (!w->grab().save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(QDir::toNativeSeparators(path)));
    return true;
}

bool shown(QWidget *w)
{
    w->show();
    return QTest::qWaitForWindowExposed(w);
}

// The whole canvas, or a small client area scrolled to its far corner. The
// menu bar of another style may be a pixel taller, which the window learns
// only once it is laid out anew.
void showWhole(frmCorvane &window)
{
    for (int i = 0; i < 3 && window.centralWidget()->size() != window.canvas()->size(); ++i) {
        QTest::qWait(50);
        window.resize(window.size() - window.centralWidget()->size() + window.canvas()->size());
        QTest::qWait(50);
    }
}

void showSmall(frmCorvane &window, int h, int v)
{
    window.resize(window.size() - window.centralWidget()->size() + QSize(520, 380));
    QCoreApplication::processEvents();
    window.hScroll()->setValue(h < 0 ? window.hScroll()->maximum() : h);
    window.vScroll()->setValue(v < 0 ? window.vScroll()->maximum() : v);
}

// A listing of a mirror as Robocopy prints it, and what the preview makes of it.
PreviewText mirrorPreview()
{
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
    return PreviewTextOf(
        PreviewOf(ReadRunEffects(u"ROBOCOPY.EXE C:\\Projects D:\\Backup /MIR"_s), ReadListing(output), 2));
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

// The recording Robocopy, first along PATH for the program's life.
const RecordingRobocopy &robocopy()
{
    static const QTemporaryDir folder;
    static const RecordingRobocopy recording(folder.filePath(u"robocopy"_s));
    static const ScopedEnvironmentVariable path("PATH", recording.folder());
    return recording;
}

// A run of the recording Robocopy in the run window: its command as the
// window shows it, what the recording prints (more: its switches, as a
// delay), and the listing the run is measured by.
frmRun *startRun(const QString &shown, const QByteArray &output, const QByteArray &listing, const QString &more)
{
    robocopy().setOutput(u"output.txt"_s, output);
    robocopy().setListing(QString::fromUtf8(listing));
    auto *run = new frmRun(shown, u"cmd.exe /c "_s + shown + u" /TESTOUTPUT:output.txt"_s + more, std::nullopt);
    run->start();
    return run;
}

// A run with errors, followed to its end.
frmRun *errorsRun()
{
    const QByteArray output = recorded("windows-mt-errors.txt");
    frmRun *run = startRun(u"ROBOCOPY.EXE C:\\Data D:\\Data /E /MT:8 /R:1 /W:1"_s, output, output, u" /TESTCODE:9"_s);
    waitFor([run] { return !run->isRunning(); }, 30000);
    return run;
}

// A big file under way, and the listing that gives the run's totals.
QPointer<frmRun> bigFileRun()
{
    const QByteArray copy = recorded("windows-copy.txt");
    QByteArray running = copy.left(copy.indexOf("\t                   4\t"))
        + "\t                   6\tC:\\Users\\J\xc3\xbcrgen\\Documents\\\r\n";
    for (int i = 1; i <= 5; ++i)
        running += "\t    New File  \t\t   " + QByteArray::number(1000 * i + 345) + "\tLetter " + QByteArray::number(i)
            + ".docx\r100%\r\n";
    running += "\t    New File  \t\t   4.2 g\tDisk image.vhdx\r\n";
    const QByteArray listing = running + QByteArray(78, '-')
        + "\r\n               Total    Copied   Skipped  Mismatch    FAILED    Extras\r\n"
          "    Dirs :         1         0         1         0         0         0\r\n"
          "   Files :         8         6         2         0         0         0\r\n"
          "   Bytes :    4.21 g    4.21 g     3.1 k         0         0         0\r\n";
    for (int permille = 0; permille <= 1000; permille += 5)
        running += QByteArray::number(permille / 10).rightJustified(3) + '.' + QByteArray::number(permille % 10) + "%\r\n";
    return startRun(u"ROBOCOPY.EXE \"C:\\Users\\J\u00fcrgen\\Documents\" D:\\Backup\\Documents /E"_s, running, listing,
                    u" /TESTDELAY:30"_s);
}

// The windows saved under every theme, each as NAME_<name>.png. A new
// window joins the themed pictures with one row here.
struct Shot
{
    const char *name;
    std::function<bool(const QDir &, const QString &)> take; // folder, file name
};

QList<Shot> themedShots(frmCorvane &window)
{
    return {
        {"main_window",
         [&window](const QDir &folder, const QString &file) {
             showWhole(window);
             return save(&window, folder, file);
         }},
        {"far_corner",
         [&window](const QDir &folder, const QString &file) {
             showSmall(window, -1, -1);
             return save(&window, folder, file);
         }},
        {"frmHelp",
         [&window](const QDir &folder, const QString &file) {
             window.menuItem("mnuHelpAbout")->trigger();
             frmHelp *help = frmHelp::Current();
             const bool ok = help && QTest::qWaitForWindowExposed(help) && save(help, folder, file);
             if (help)
                 help->close();
             return ok;
         }},
        {"frmListing",
         [&window](const QDir &folder, const QString &file) {
             frmListing listing(&window);
             return shown(&listing) && save(&listing, folder, file);
         }},
        {"frmPreview_details",
         [&window](const QDir &folder, const QString &file) {
             frmPreview asking(mirrorPreview(), &window);
             if (!shown(&asking))
                 return false;
             asking.cmdDetails()->click();
             return save(&asking, folder, file);
         }},
        {"frmRun_errors",
         [](const QDir &folder, const QString &file) {
             QPointer<frmRun> run = errorsRun();
             const bool ok = run && !run->isRunning() && save(run, folder, file);
             if (run)
                 run->close();
             return ok;
         }},
    };
}

bool takeThemed(frmCorvane &window, const QDir &folder, const QString &theme)
{
    bool ok = true;
    for (const Shot &shot : themedShots(window))
        ok = shot.take(folder, theme + u'_' + QLatin1StringView(shot.name) + u".png"_s) && ok;
    return ok;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    FollowThemeReadably();
    const QStringList args = QApplication::arguments();
    const bool systemTheme = args.size() == 4 && args.at(1) == u"--system-theme";
    if (args.size() != 2 && !systemTheme) {
        std::fprintf(stderr, "usage: corvane_screenshots [--system-theme NAME] FOLDER\n");
        return 2;
    }
    const QDir folder(args.last());
    if (!QDir().mkpath(folder.path()))
        return 1;
    const MessageBoxCatcher noBoxes; // nothing modal may stop the step
    QTemporaryDir settings;
    frmCorvane window(SettingsLocation{settings.filePath(QStringLiteral("Settings.ini")),
                                       settings.filePath(QStringLiteral("user.ini"))});
    if (!shown(&window))
        return 1;
    if (systemTheme) {
        const bool ok = takeThemed(window, folder, args.at(2));
        return ok && noBoxes.boxes.isEmpty() ? 0 : 1;
    }
    bool ok = save(&window, folder, u"main_window.png"_s);

    // The client area of a small window, scrolled to the middle and to the far corner.
    showSmall(window, 4000, 2000);
    ok = save(&window, folder, u"layout_small_scrolled.png"_s) && ok;
    showSmall(window, -1, -1);
    ok = save(&window, folder, u"layout_small_far_corner.png"_s) && ok;

    window.menuItem("mnuHelpAbout")->trigger();
    frmHelp *help = frmHelp::Current();
    ok = help && QTest::qWaitForWindowExposed(help) && save(help, folder, u"frmHelp.png"_s) && ok;
    if (help)
        help->close();

    // The listing's dialogs.
    frmListing listing(&window);
    ok = shown(&listing) && save(&listing, folder, u"frmListing.png"_s) && ok;
    listing.hide();
    frmPreview asking(mirrorPreview(), &window);
    ok = shown(&asking) && save(&asking, folder, u"frmPreview.png"_s) && ok;
    asking.cmdDetails()->click();
    ok = save(&asking, folder, u"frmPreview_details.png"_s) && ok;
    asking.hide();
    frmPreview failed(FailureTextOf(ListingFailure::SeriousError, 16,
                                    u"ERROR : Invalid Parameter #3 : \"/BOGUS\"\n\n       Simple Usage :: ROBOCOPY source "
                                    "destination /MIR\n"_s),
                      &window);
    ok = shown(&failed) && save(&failed, folder, u"frmPreview_failed.png"_s) && ok;
    failed.hide();

    // The run window: a big file under way, the listing beside the run
    // giving the totals; paused; a run finished with errors.
    QPointer<frmRun> run = bigFileRun();
    auto *current = run->findChild<QProgressBar *>(u"barCurrentFile"_s);
    ok = waitFor([&] { return current->isVisible() && current->value() >= 35; }, 30000)
        && save(run, folder, u"frmRun_running.png"_s) && ok;
    run->findChild<QPushButton *>(u"cmdPause"_s)->click();
    QTest::qWait(300);
    ok = run->isPaused() && save(run, folder, u"frmRun_paused.png"_s) && ok;
    run->close(); // ends the run
    run = errorsRun();
    ok = run && !run->isRunning() && save(run, folder, u"frmRun_errors.png"_s) && ok;
    if (run)
        run->close();

    for (const Theme &theme : Themes()) {
        const ScopedAppPalette palette(theme.palette);
        ok = takeThemed(window, folder, theme.name) && ok;
    }
    return ok && noBoxes.boxes.isEmpty() ? 0 : 1;
}
