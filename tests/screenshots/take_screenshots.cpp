// Saves pictures of the windows into the folder given as the argument, to be
// looked at after a change: the main window as it starts, a small window
// scrolled to the middle and to the far corner, and the About window; the
// far corner (the version key) and the About window under a dark theme.
#include "main_window/frmCorvane.h"
#include "run/frmHelp.h"

#include "MessageBoxes.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

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
    return ok && noBoxes.boxes.isEmpty() ? 0 : 1;
}
