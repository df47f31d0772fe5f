// Saves pictures of the windows into the folder given as the argument, to be
// looked at after a change: the main window as it starts, a small window
// scrolled to the middle and to the far corner, the About window, the
// dialogs of the listing before a run that deletes; then every window again
// under each theme of Themes(), chosen while the program runs.
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

#include "MessageBoxes.h"
#include "Themes.h"

#include <QAction>
#include <QApplication>
#include <QDir>
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

    for (const Theme &theme : Themes()) {
        const ScopedAppPalette palette(theme.palette);
        ok = takeThemed(window, folder, theme.name) && ok;
    }
    return ok && noBoxes.boxes.isEmpty() ? 0 : 1;
}
