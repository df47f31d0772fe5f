// The main window as built from the catalogue: controls, texts, colours,
// access keys, menus, geometry, and the rebuild of the command on every change.
#include "command/CommandBuilder.h"
#include "main_window/AppIcon.h"
#include "main_window/CaptionColours.h"
#include "main_window/Catalogue.h"
#include "main_window/Controls.h"
#include "main_window/frmCorvane.h"
#include "run/frmHelp.h"
#include "tools/basTools.h"

#include "Themes.h"
#include "WindowTest.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QFile>
#include <QMap>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSet>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace {

QSet<QString> namesWhere(const frmCorvane &w, const std::function<bool(QWidget *)> &pred)
{
    QSet<QString> names;
    for (QWidget *c : w.controls())
        if (pred(c))
            names.insert(c->objectName());
    return names;
}

bool holdsFocus(QWidget *w)
{
    QWidget *f = QApplication::focusWidget();
    return f && (f == w || w->isAncestorOf(f));
}

QColor textColour(QWidget *w) { return w->palette().color(QPalette::Active, QPalette::WindowText); }

// A theme's palette: window and text colours, the rest derived by Qt.
QPalette themePalette(const QColor &window, const QColor &text)
{
    QPalette palette(text, window);
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, text);
    return palette;
}

// Small tables that keep or break the catalogue's own rules.
namespace rules {
using namespace catalogue_table;
constexpr Twips g{0, 0, 10, 10};
constexpr ControlSpec sound[] = {frame("Frame1", nullptr, "A", g), check("chkA", "Frame1", "a", C::XP010, g),
                                 frame("Frame2", "Frame1", "B", g), check("chkB", "Frame2", "b", C::XP010, g),
                                 check("chkC", nullptr, "c", C::XP010, g)};
constexpr ControlSpec nameTwice[] = {frame("Frame1", nullptr, "A", g), check("chkA", "Frame1", "a", C::XP010, g),
                                     check("chkA", nullptr, "a", C::XP010, g)};
constexpr ControlSpec noSuchParent[] = {frame("Frame1", nullptr, "A", g), check("chkA", "Frame2", "a", C::XP010, g)};
constexpr ControlSpec parentShorter[] = {frame("Frame1", nullptr, "A", g), check("chkA", "Frame", "a", C::XP010, g)};
constexpr ControlSpec parentLonger[] = {frame("Frame", nullptr, "A", g), check("chkA", "Frame1", "a", C::XP010, g)};
constexpr ControlSpec parentNotFrame[] = {check("chkA", nullptr, "a", C::XP010, g), check("chkB", "chkA", "b", C::XP010, g)};
constexpr ControlSpec parentAfter[] = {check("chkA", "Frame1", "a", C::XP010, g), frame("Frame1", nullptr, "A", g)};
constexpr ControlSpec parentItself[] = {frame("Frame1", "Frame1", "A", g)};

constexpr MenuSpec menus[] = {{"mnuFile", nullptr, "&File", nullptr, false},
                              {"mnuFileExit", "mnuFile", "E&xit", nullptr, false}};
constexpr MenuSpec menuTwice[] = {{"mnuFile", nullptr, "&File", nullptr, false},
                                  {"mnuFile", "mnuFile", "E&xit", nullptr, false}};
constexpr MenuSpec menuNamedAsControl[] = {{"mnuFile", nullptr, "&File", nullptr, false},
                                           {"chkA", "mnuFile", "E&xit", nullptr, false}};
constexpr MenuSpec menuUnderItem[] = {{"mnuFile", nullptr, "&File", nullptr, false},
                                      {"mnuFileExit", "mnuFile", "E&xit", nullptr, false},
                                      {"mnuFileExitNow", "mnuFileExit", "&Now", nullptr, false}};
constexpr MenuSpec menuParentAfter[] = {{"mnuFileExit", "mnuFile", "E&xit", nullptr, false},
                                        {"mnuFile", nullptr, "&File", nullptr, false}};
constexpr MenuSpec menuNoSuchParent[] = {{"mnuFile", nullptr, "&File", nullptr, false},
                                         {"mnuFileExit", "mnuFil", "E&xit", nullptr, false}};
} // namespace rules

// Both ways decided when compiled, as the program's own check is.
static_assert(catalogueIsSound(rules::sound, rules::menus));
static_assert(!catalogueIsSound(rules::nameTwice, rules::menus));
static_assert(!findControlSpec("chkMirro") && !findControlSpec("chkMirrorX") && findControlSpec("chkMirror"));

} // namespace

using ControlTable = std::span<const ControlSpec>;
using MenuTable = std::span<const MenuSpec>;
Q_DECLARE_METATYPE(ControlTable)
Q_DECLARE_METATYPE(MenuTable)

class TestMainWindow : public WindowTest
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void controlCounts();
    void everyCatalogueControlIsNamed();
    void catalogueRules_data();
    void catalogueRules();
    void initialState();
    void initialCommandIsBare();
    void captionsAndTooltips_data();
    void captionsAndTooltips();
    void versionColours();
    void contrast_data();
    void contrast();
    void darkTheme();
    void menus_data();
    void menus();
    void canvasGeometry_data();
    void canvasGeometry();
    void clientAreaIsCanvas();
    void captionsFit();
    void noOverlapInsideFrames();
    void tabOrderFollowsCatalogue();
    void accessKeys_data();
    void accessKeys();
    void sharedAccessKeyTakesTurns();
    void shortcutsFromEveryField_data();
    void shortcutsFromEveryField();

    void userChangesRebuild();
    void programChangesRebuild();
    void unchangedAssignmentRebuildsNothing();
    void typedCommandSurvivesUntilNextChange();
    void folderBoxesKeepTypedText_data();
    void folderBoxesKeepTypedText();
    void multiLineBoxesGiveBackTheirText_data();
    void multiLineBoxesGiveBackTheirText();
    void textsOfAnyLength_data();
    void textsOfAnyLength();
    void grayedValue();
    void interlocks_data();
    void interlocks();

    void programFileIcon();

private:
    std::unique_ptr<frmCorvane> m_window;
    frmCorvane *w = nullptr;
};

void TestMainWindow::init()
{
    WindowTest::init();
    m_window = newWindow();
    w = m_window.get();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
}

void TestMainWindow::cleanup()
{
    m_window.reset();
    w = nullptr;
    WindowTest::cleanup();
}

void TestMainWindow::controlCounts()
{
    // One widget of its kind for each row of the catalogue, in its order.
    QCOMPARE(w->controls().size(), qsizetype(controlCatalogue().size()));
    for (size_t i = 0; i < controlCatalogue().size(); ++i)
        QVERIFY2(controlKind(w->controls().at(qsizetype(i))) == controlCatalogue()[i].kind, controlCatalogue()[i].name);

    const QSet<QString> multi = namesWhere(*w, [](QWidget *c) { return qobject_cast<QPlainTextEdit *>(c); });
    QCOMPARE(multi, (QSet<QString>{u"txtExcludeFiles"_s, u"txtExcludeFolders"_s, u"txtCommandLine"_s}));
}

void TestMainWindow::everyCatalogueControlIsNamed()
{
    QSet<QString> seen;
    for (const ControlSpec &entry : controlCatalogue()) {
        const QString name = QString::fromLatin1(entry.name);
        QVERIFY2(!seen.contains(name), qPrintable(name));
        seen.insert(name);
        QWidget *c = w->control(QLatin1StringView(entry.name));
        QVERIFY2(c, entry.name);
        QCOMPARE(c->objectName(), name);
        QCOMPARE(w->findChild<QWidget *>(name), c);
    }
    // Names that differ only in one letter's case are both used exactly.
    QVERIFY(w->control("chkDestReadOnlyAdd"));
    QVERIFY(w->control("chkDestReadonlyDel"));
    QVERIFY(!w->control(QLatin1StringView("chkDestReadOnlyDel"))); // asked at run time: none
    static_assert(findControlSpec("chkDestReadonlyDel") && !findControlSpec("chkDestReadOnlyDel"));
}

void TestMainWindow::catalogueRules_data()
{
    QTest::addColumn<ControlTable>("controls");
    QTest::addColumn<MenuTable>("menus");
    QTest::addColumn<bool>("sound");
    QTest::newRow("sound") << ControlTable(rules::sound) << MenuTable(rules::menus) << true;
    QTest::newRow("no menus") << ControlTable(rules::sound) << MenuTable() << true;
    QTest::newRow("control name twice") << ControlTable(rules::nameTwice) << MenuTable(rules::menus) << false;
    QTest::newRow("no such frame") << ControlTable(rules::noSuchParent) << MenuTable(rules::menus) << false;
    QTest::newRow("frame name cut short") << ControlTable(rules::parentShorter) << MenuTable(rules::menus) << false;
    QTest::newRow("frame name too long") << ControlTable(rules::parentLonger) << MenuTable(rules::menus) << false;
    QTest::newRow("parent no frame") << ControlTable(rules::parentNotFrame) << MenuTable(rules::menus) << false;
    QTest::newRow("frame after its control") << ControlTable(rules::parentAfter) << MenuTable(rules::menus) << false;
    QTest::newRow("frame in itself") << ControlTable(rules::parentItself) << MenuTable() << false;
    QTest::newRow("menu name twice") << ControlTable(rules::sound) << MenuTable(rules::menuTwice) << false;
    QTest::newRow("menu named as a control")
        << ControlTable(rules::sound) << MenuTable(rules::menuNamedAsControl) << false;
    QTest::newRow("menu under an item") << ControlTable(rules::sound) << MenuTable(rules::menuUnderItem) << false;
    QTest::newRow("menu after its item") << ControlTable(rules::sound) << MenuTable(rules::menuParentAfter) << false;
    QTest::newRow("no such menu") << ControlTable(rules::sound) << MenuTable(rules::menuNoSuchParent) << false;
}

void TestMainWindow::catalogueRules()
{
    QFETCH(ControlTable, controls);
    QFETCH(MenuTable, menus);
    QFETCH(bool, sound);
    QCOMPARE(catalogueIsSound(controls, menus), sound);
}

void TestMainWindow::initialState()
{
    const QSet<QString> checked = namesWhere(*w, [](QWidget *c) { return checkValueOf(c) != 0; });
    QCOMPARE(checked, (QSet<QString>{u"chkData"_s, u"chkAttributes"_s, u"chkTimestamps"_s, u"chkFolderData"_s,
                                     u"chkFolderAttributes"_s}));

    const QSet<QString> disabled = namesWhere(*w, [](QWidget *c) { return !c->isEnabled(); });
    QCOMPARE(disabled, (QSet<QString>{u"chkEmpty"_s, u"txtLevels"_s, u"lblLevels"_s, u"chkMoveFolders"_s,
                                      u"chkSourceArchiveReset"_s, u"chkLogAppend"_s, u"chkLogUnicode"_s,
                                      u"chkLogShowInConsole"_s, u"txtThreadsCount"_s, u"lblThreadsCount"_s}));

    const QSet<QString> withText = namesWhere(*w, [](QWidget *c) {
        return c->objectName() != u"txtCommandLine" && !textOf(c).isEmpty();
    });
    QCOMPARE(withText, QSet<QString>{u"txtThreadsCount"_s});
    QCOMPARE(textOf(w->control("txtThreadsCount")), u"1"_s);
    QCOMPARE(checkValueOf(w->control("chkFolderTimestamps")), qint16(0));
    QCOMPARE(w->control<QComboBox>("cboSource")->count(), 0);
    QCOMPARE(w->control<QComboBox>("cboDestination")->count(), 0);
}

void TestMainWindow::initialCommandIsBare()
{
    QCOMPARE(commandOf(*w), u"ROBOCOPY.EXE"_s);
    QCOMPARE(BuildCommandLine(*w), u"ROBOCOPY.EXE"_s);
}

void TestMainWindow::captionsAndTooltips_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("tooltip");
    auto row = [](const char *name, const char *caption, const char *tooltip) {
        QTest::newRow(name) << QString::fromLatin1(name) << QString::fromUtf8(caption) << QString::fromUtf8(tooltip);
    };
    row("Label1", "&Source", "");
    row("Label2", "&Destination", "");
    row("Label33", "File&name(s)",
        "Names of files to act upon. You can use wildcard characters (? and *). If no files are listed, Robocopy "
        "defaults to all files (*.*).");
    row("txtFilenames", "",
        "You can use wildcard characters (? and *). If no files are listed, Robocopy defaults to all files (*.*).");
    row("Label11", "Comm&and Line", "");
    row("cmdBrowseSource", "&Browse...", "");
    row("cmdBrowseDestination", "B&rowse...", "");
    row("cmdExecute", "&Execute", "");
    row("cmdCopy", "Copy to Clipboard", "");
    row("Frame2", "Fo&lders", "");
    row("Frame4", "&Copy Type", "");
    row("Frame9", "E&xcludes", "");
    row("Frame15", "RoboCo&py File Classes", "");
    row("Frame11", "Re&tries", "");
    row("Frame3", "File Access", "");
    row("Frame1", "Copy File&/Folder Information", "Copy file data (enabled by default)");
    row("Frame16", "&Multithreading", "");
    row("Frame14", "&Jobs", "");
    row("Frame12", "Output Displa&y", "");
    row("Frame10", "Limits", "");
    row("Frame7", "Attributes", "");
    row("Frame5", "Dest&ination", "Add or remove the specified attributes from the destination files.");
    row("Frame8", "So&urce", "Only copy files with the specified Include or without the specified Exclude attributes.");
    row("Frame6", "Mo&nitoring", "");
    row("Frame13", "Lo&gging", "");
    row("chkSubdirectories", "Subdirectories", "Copy subdirectories");
    row("lblLevels", "Levels", "Copies only the top n levels of the source directory tree.");
    row("chkUnbuffered", "Unbuffered I/O", "Copy using unbuffered I/O (recommended for large files)");
    row("chkNoCopy", "No Copy", "Copies Nothing. Can be useful with Purge Destination option.");
    row("chkExcludeJunctionPointsDir", "Exclude Junction Points for Folders",
        "Don't copy Volume Mount Points and Directory Links");
    row("Label17", "Exclude Files", "Excludes files with the specified names, paths, or wildcard characters.");
    row("chkIncludeTweaked", "Include Tweaked",
        "File is in Source and Destination with Same Time and Size but Different Attributes");
    row("chkWaitForShare", "Wait For Share",
        "Waits for share names to be defined on a \"Network Name Not Found\" error. ");
    row("Label25", "Count", "Specifies the number of retries on failed copies. (The default is 1 million.)");
    row("chkFATFiletimes", "FAT Filetime Compare",
        "Assume FAT File Times (2-second granularity). Useful for copying to third-party systems that declare a "
        "volume to be NTFS but only implement file times with a 2-second granularity.");
    row("Label12", "Delay per 64k (MS)",
        "Inserts a delay of n milliseconds after each 64k chunk of file data is copied. Useful for freeing up "
        "bandwidth on slow lines.");
    row("chkData", "", "Copy file data (enabled by default)");
    row("chkFolderTimestamps", "", "Copy folder timestamps");
    row("Label45", "T/S Fix", "Fixes file times on all files, even skipped ones.");
    row("Label46", "Sec Fix", "Fixes file security on all files, even skipped ones.");
    row("Label41", "Timestamps", "Copy file/folder timestamps (enabled by default for files)");
    row("chkNoOffload", "No Offload", "Copy files without using the Windows Copy Offload mechanism");
    row("lblThreadsCount", "Threads", "Number of simultaneous threads (1 to 128, default 8)");
    row("chkJobQuit", "Read/Write and Quit",
        "Quits after processing the command line. No files will be copied. Use /QUIT with /JOB to view job file "
        "contents.");
    row("txtJobIncludeFiles", "",
        "Includes files with the specified names, paths, or wildcard characters. Intended for use in Job files "
        "only.");
    row("Label31", "Explicit Destination",
        "Explicitly specifies the destination directory for the copy. Intended for use in Job files only.");
    row("chkDspExtra", "Extra", "Reports all files tagged as \"Extra\"(including files not selected).");
    row("chkLogNoProgress", "No Progress (%)", "Turns off copy progress indicator (% copied).");
    row("chkLogSizeBytes", "Size in Bytes", "Print sizes as bytes.");
    row("Label24", "Last Accessed Date (# days or YYYYMMDD)",
        "Excludes files with a Last Accessed Date outside of the specified range (in days or a date as "
        "YYYYMMDD).");
    row("Label20", "Bytes", "Excludes files outside of the specified minimum and / or maximum size");
    row("chkDestReadOnlyAdd", "", "");
    row("chkDestReadonlyDel", "Read Only", "");
    row("chkDestIndexDel", "Not Indexed", "");
    row("chkSourceOfflineExcl", "Offline", "");
    row("chkSourceArchiveReset", "Reset",
        "Copies only files with the archive attribute set and then resets (turns off) the archive attribute in "
        "the source files.");
    row("txtAllowedStart", "", "HHMM");
    row("txtAllowedEnd", "", "HHMM");
    row("Label23", "(HHMM)",
        "Defines the time slot during which starting new copies is allowed. Useful for restricting copies to "
        "certain times of the day. Both values must be 24-hour times in the range 0000 to 2359.");
    row("Label10", "to", "");
    row("txtLogFile", "", "Redirects output to the specified file, overwriting the file if it already exists.");
    row("chkLogShowInConsole", "Show In Console", "Show logging on screen also");
    row("Label36", "RoboCopy Version Requirements Key:", "");
    row("Label34", "XP010",
        "All options in black work in RoboCopy version XP010 (comes with Windows Server 2003 Resource Kit)");
    row("Label35", "XP026", "All options in red work in RoboCopy version XP026 and above (installed with Corvane)");
    row("Label3", "XP027",
        "All options in blue work in RoboCopy version XP027 (comes with Windows Vista, v7, and Server 2008)");
    row("Label47", "10.0", "All options in green work in RoboCopy version 10.0 (comes with Windows 10)");
}

void TestMainWindow::captionsAndTooltips()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(QString, tooltip);
    QWidget *c = w->findChild<QWidget *>(name);
    QVERIFY(c);
    QString actual;
    if (auto *label = qobject_cast<QLabel *>(c))
        actual = label->text();
    else if (auto *button = qobject_cast<QAbstractButton *>(c))
        actual = button->text();
    else if (auto *frame = qobject_cast<QGroupBox *>(c))
        actual = frame->title();
    QCOMPARE(actual, caption);
    QCOMPARE(c->toolTip(), tooltip);
}

void TestMainWindow::contrast_data()
{
    QTest::addColumn<QColor>("window");
    QTest::addColumn<QColor>("text");
    QTest::addColumn<bool>("dark");
    QTest::newRow("light: Windows' default") << QColor(240, 240, 240) << QColor(0, 0, 0) << false;
    QTest::newRow("light: white") << QColor(255, 255, 255) << QColor(0, 0, 0) << false;
    QTest::newRow("light: High Contrast White") << QColor(255, 255, 255) << QColor(0, 0, 0) << false;
    QTest::newRow("dark: High Contrast Black") << QColor(0, 0, 0) << QColor(255, 255, 255) << true;
    QTest::newRow("dark: High Contrast #1") << QColor(0, 0, 0) << QColor(255, 255, 0) << true;
    QTest::newRow("dark: Night sky") << QColor(0, 0, 0) << QColor(255, 255, 255) << true;
    QTest::newRow("dark: a dark grey theme") << QColor(32, 32, 32) << QColor(230, 230, 230) << true;
    QTest::newRow("dark: navy") << QColor(0, 0, 96) << QColor(255, 255, 255) << true;
    QTest::newRow("dark: deep purple") << QColor(48, 0, 64) << QColor(255, 255, 255) << true;
}

// Every version colour reads at 4.5 to 1 on a dark window, lightened no more
// than that needs; on a light one it is exactly the version's colour.
void TestMainWindow::contrast()
{
    QFETCH(QColor, window);
    QFETCH(QColor, text);
    QFETCH(bool, dark);
    const QPalette palette = themePalette(window, text);
    QCOMPARE(IsDarkWindow(palette), dark);
    const QList<std::pair<VersionColour, QColor>> versions = {{VersionColour::XP026, QColor(255, 0, 0)},
                                                              {VersionColour::XP027, QColor(0, 0, 255)},
                                                              {VersionColour::V10, QColor(0, 128, 0)}};
    for (const auto &[version, colour] : versions) {
        const QColor drawn = VersionCaptionColour(version, false, palette);
        if (!dark) {
            QCOMPARE(drawn, colour);
            continue;
        }
        QVERIFY2(ContrastRatio(drawn, window) >= 4.5, qPrintable(drawn.name()));
        // The same hue, only nearer white: each channel between the colour's and 255.
        for (const auto &[got, was] : {std::pair{drawn.red(), colour.red()}, std::pair{drawn.green(), colour.green()},
                                       std::pair{drawn.blue(), colour.blue()}})
            QVERIFY2(got >= was && got <= 255, qPrintable(drawn.name()));
        // No lighter than needed: one step less would not do.
        if (drawn != colour) {
            auto back = [](int c, int orig) { return std::max(orig, c - (255 - orig) / 100 - 1); };
            const QColor less(back(drawn.red(), colour.red()), back(drawn.green(), colour.green()),
                              back(drawn.blue(), colour.blue()));
            QVERIFY2(ContrastRatio(less, window) < 4.5, qPrintable(drawn.name()));
        }
    }
    QCOMPARE(VersionCaptionColour(VersionColour::XP010, true, palette), dark ? text : QColor(0, 0, 0));
    QCOMPARE(LinkColour(palette).name(), dark ? LightenedToContrast(QColor(0, 0, 255), window).name() : u"#0000ff"_s);
}

// Under a dark theme the window draws the key label in the theme's text
// colour and every version colour readably; back on the light theme every
// colour is exactly as before, without a restart.
void TestMainWindow::darkTheme()
{
    const QPalette light = QApplication::palette();
    const QHash<QString, QColor> before = [&] {
        auto lightWindow = newWindow();
        QHash<QString, QColor> colours;
        for (QWidget *c : lightWindow->controls())
            colours.insert(c->objectName(), textColour(c));
        colours.insert(u"box"_s, lightWindow->control("chkFolderData")->palette().color(QPalette::Window));
        return colours;
    }();
    const QColor black(0, 0, 0), white(255, 255, 255);
    std::unique_ptr<frmCorvane> window;
    {
        const ScopedAppPalette dark(themePalette(black, white));
        window = newWindow();
        auto check = [&](const char *when) {
            QCOMPARE(textColour(window->control("Label34")), white);
            for (QWidget *c : window->controls()) {
                const std::optional<ControlKind> kind = controlKind(c);
                if (kind != ControlKind::CheckBox && kind != ControlKind::Label)
                    continue;
                QVERIFY2(ContrastRatio(textColour(c), black) >= 4.5,
                         qPrintable(u"%1 %2: %3"_s.arg(QString::fromLatin1(when), c->objectName(), textColour(c).name())));
            }
            const QColor box = window->control("chkFolderData")->palette().color(QPalette::Window);
            QVERIFY2(ContrastRatio(box, black) >= 4.5, qPrintable(box.name()));
        };
        check("made dark");
        // The About window's link too.
        window->menuItem("mnuHelpAbout")->trigger();
        QVERIFY(frmHelp::Current());
        QVERIFY(ContrastRatio(frmHelp::Current()->lblWebsite()->palette().color(QPalette::WindowText), black) >= 4.5);
        frmHelp::Current()->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    // The theme changed back while the window stayed open.
    QCOMPARE(QApplication::palette(), light);
    for (QWidget *c : window->controls())
        QVERIFY2(textColour(c) == before.value(c->objectName()), qPrintable(c->objectName() + u" "_s + textColour(c).name() + u" "_s + before.value(c->objectName()).name()));
    QCOMPARE(window->control("chkFolderData")->palette().color(QPalette::Window), before.value(u"box"_s));
    QCOMPARE(textColour(window->control("Label3")), QColor(0, 0, 255));

    // And a window open while the theme turns dark follows at once.
    const ScopedAppPalette dark(themePalette(QColor(32, 32, 32), QColor(230, 230, 230)));
    QCOMPARE(textColour(window->control("Label34")), QColor(230, 230, 230));
    QVERIFY(ContrastRatio(textColour(window->control("Label3")), QColor(32, 32, 32)) >= 4.5);
}

void TestMainWindow::versionColours()
{
    const QColor red(255, 0, 0), blue(0, 0, 255), green(0, 128, 0);
    const QHash<QString, QColor> coloured = {
        {u"chkNoOffload"_s, green}, {u"chkFolderData"_s, green}, {u"chkUnbuffered"_s, green},
        {u"Label47"_s, green}, {u"chkEfsRaw"_s, blue}, {u"chkSymbolicLink"_s, blue},
        {u"chkThreadsEnable"_s, blue}, {u"lblThreadsCount"_s, blue}, {u"Label3"_s, blue},
        {u"chkTimeFix"_s, red}, {u"chkSecFix"_s, red}, {u"Label45"_s, red}, {u"Label46"_s, red},
        {u"chkDstAdjust"_s, red}, {u"chkExcludeJunctionPointsDir"_s, red},
        {u"chkExcludeJunctionPointsFile"_s, red}, {u"chkDestCompressedDel"_s, red},
        {u"chkDestEncryptedDel"_s, red}, {u"chkLogSizeBytes"_s, red}, {u"chkLogUnicode"_s, red},
        {u"Label35"_s, red}, {u"Label34"_s, QColor(0, 0, 0)},
    };
    const QColor windowText = QApplication::palette().color(QPalette::Active, QPalette::WindowText);
    for (QWidget *c : w->controls()) {
        const std::optional<ControlKind> kind = controlKind(c);
        if (kind != ControlKind::CheckBox && kind != ControlKind::Label)
            continue;
        const QColor expected = coloured.value(c->objectName(), windowText);
        QVERIFY2(textColour(c) == expected, qPrintable(c->objectName()));
        QCOMPARE(c->palette().color(QPalette::Inactive, QPalette::WindowText), expected);
    }

    // The two caption-less folder boxes show green behind the box.
    for (const ControlName name : {ControlName("chkFolderData"), ControlName("chkFolderAttributes")}) {
        QWidget *c = w->control(name);
        QVERIFY(c->autoFillBackground());
        QCOMPARE(c->palette().color(c->backgroundRole()), green);
    }
    QCOMPARE(textColour(w->control("chkFolderAttributes")), windowText);

    // Disabled controls are drawn disabled, whatever their version colour.
    const QColor disabledText = QApplication::palette().color(QPalette::Disabled, QPalette::WindowText);
    QCOMPARE(w->control("lblThreadsCount")->palette().color(QPalette::Disabled, QPalette::WindowText),
             disabledText);
    QCOMPARE(w->control("chkLogUnicode")->palette().color(QPalette::Disabled, QPalette::WindowText),
             disabledText);

    // The colour is fixed: toggling enabled state does not change it.
    setTextOf(w->control("txtLogFile"), u"x.log"_s);
    setTextOf(w->control("txtLogFile"), QString());
    QCOMPARE(textColour(w->control("chkLogUnicode")), red);
}

void TestMainWindow::menus_data()
{
    QTest::addColumn<QString>("menu");
    QTest::addColumn<QStringList>("items"); // name|caption|shortcut|checked, unchecked or empty (no check mark)
    QTest::newRow("File") << u"&File"_s
                          << QStringList{u"mnuFileSaveAs|Save Command Line &As...||"_s,
                                         u"mnuFileOpen|&Open Command File...||"_s,
                                         u"mnuFileApplyCommand|Set Options from Command &Text||"_s,
                                         u"mnuFileSep4|||"_s, u"mnuFileSchedule|Sc&hedule Command...||"_s,
                                         u"mnuFileSchedules|Sche&duled Commands...||"_s, u"mnuFileSep3|||"_s,
                                         u"mnuFileClear|&Clear Settings|Ctrl+L|"_s,
                                         u"mnuFileLoad|&Load Settings|Ctrl+O|"_s,
                                         u"mnuFileSave|&Save Settings|Ctrl+S|"_s, u"mnuFileSep1|||"_s,
                                         u"mnuFileExecute|&Execute|Ctrl+E|"_s, u"mnuFileSep2|||"_s,
                                         u"mnuFileExit|E&xit||"_s};
    QTest::newRow("Options") << u"&Options"_s
                             << QStringList{u"mnuOptionsAutoClose|&Auto-Close Command Window||checked"_s,
                                            u"mnuOptionsSaveOnExit|&Save Settings On Exit||checked"_s,
                                            u"mnuOptionsUseIni|&Use INI File for Settings||checked"_s,
                                            u"mnuOptionsPreview|&Preview Runs That Delete||checked"_s,
                                            u"mnuOptionsShowProgress|S&how Progress in Corvane||unchecked"_s};
    QTest::newRow("Help") << u"&Help"_s
                          << QStringList{u"mnuHelpRoboCopy|&RoboCopy Manual||"_s, u"mnuHelpAbout|&About||"_s};
}

void TestMainWindow::menus()
{
    QFETCH(QString, menu);
    QFETCH(QStringList, items);
    QMenu *found = nullptr;
    for (QAction *a : w->menuBar()->actions())
        if (a->text() == menu)
            found = a->menu();
    QVERIFY(found);
    const QList<QAction *> actions = found->actions();
    QCOMPARE(actions.size(), items.size());
    // Within a menu each access key leads to one item.
    QSet<QChar> keys;
    for (QAction *a : actions) {
        const qsizetype amp = a->text().indexOf(u'&');
        if (amp < 0)
            continue;
        const QChar key = a->text().at(amp + 1).toUpper();
        QVERIFY2(!keys.contains(key), qPrintable(a->text()));
        keys.insert(key);
    }
    for (qsizetype i = 0; i < items.size(); ++i) {
        const QStringList parts = items[i].split(u'|');
        QAction *a = actions[i];
        QCOMPARE(a->objectName(), parts[0]);
        QCOMPARE(w->menuItem(QLatin1StringView(parts[0].toLatin1())), a);
        if (parts[1].isEmpty()) {
            QVERIFY(a->isSeparator());
            continue;
        }
        QCOMPARE(a->text(), parts[1]);
        QCOMPARE(a->shortcut(), QKeySequence(parts[2]));
        QCOMPARE(a->isCheckable(), parts[3] == u"checked" || parts[3] == u"unchecked");
        QCOMPARE(a->isChecked(), parts[3] == u"checked");
    }
}

void TestMainWindow::canvasGeometry_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("twips");
    auto row = [](const char *name, int l, int t, int wd, int h) {
        QTest::newRow(name) << QString::fromLatin1(name) << QRect(l, t, wd, h);
    };
    row("Label1", 120, 120, 510, 195);
    row("cboSource", 120, 360, 6375, 315);
    row("cmdBrowseSource", 6600, 360, 975, 330);
    row("Label2", 7680, 120, 795, 195);
    row("cboDestination", 7680, 360, 6375, 315);
    row("cmdBrowseDestination", 14160, 360, 975, 330);
    row("Label33", 120, 720, 795, 195);
    row("txtFilenames", 120, 960, 15015, 285);
    row("Frame2", 120, 1440, 3615, 1095);
    row("Frame4", 120, 2640, 3615, 1815);
    row("Frame9", 120, 4560, 3615, 3015);
    row("Frame15", 120, 7680, 3615, 1455);
    row("Frame11", 3840, 1440, 2655, 1575);
    row("Frame3", 3840, 3120, 2655, 2655);
    row("Frame1", 3840, 5880, 2655, 2535);
    row("Frame16", 3840, 8520, 2655, 615);
    row("Frame14", 6600, 1440, 4335, 4335);
    row("Frame12", 6600, 5880, 5655, 1575);
    row("Frame10", 6600, 7560, 5655, 1575);
    row("Frame7", 11040, 1440, 4095, 4335);
    row("Frame5", 120, 240, 3855, 1575);
    row("Frame8", 120, 1920, 3855, 2295);
    row("Frame6", 12360, 5880, 2775, 1575);
    row("Frame13", 12360, 7560, 2775, 1575);
    row("Label36", 9960, 9210, 2700, 195);
    row("Label34", 12840, 9210, 480, 195);
    row("Label35", 13440, 9210, 480, 195);
    row("Label3", 14040, 9210, 480, 195);
    row("Label47", 14640, 9210, 315, 195);
    row("Label11", 120, 9240, 1050, 195);
    row("txtCommandLine", 120, 9480, 11320, 645);
    row("cmdCopy", 11616, 9480, 1695, 615);
    row("cmdExecute", 13440, 9480, 1695, 615);
}

void TestMainWindow::canvasGeometry()
{
    QFETCH(QString, name);
    QFETCH(QRect, twips);
    QWidget *c = w->findChild<QWidget *>(name);
    QVERIFY(c);
    // Within one pixel of the twips position: edges are rounded to pixels.
    const QRect g = c->geometry();
    QVERIFY2(qAbs(g.left() * 15 - twips.left()) <= 8, qPrintable(name));
    QVERIFY2(qAbs(g.top() * 15 - twips.top()) <= 8, qPrintable(name));
    QVERIFY2(qAbs((g.left() + g.width()) * 15 - (twips.left() + twips.width())) <= 8, qPrintable(name));
    QVERIFY2(qAbs((g.top() + g.height()) * 15 - (twips.top() + twips.height())) <= 8, qPrintable(name));
    const bool nested = name == u"Frame5" || name == u"Frame8";
    QCOMPARE(c->parentWidget(), nested ? w->control("Frame7") : w->canvas());
}

void TestMainWindow::clientAreaIsCanvas()
{
    QCOMPARE(w->canvas()->size(), QSize(1009, 676)); // 15132 by 10135 twips
    QCOMPARE(w->centralWidget()->size(), w->canvas()->size());
}

// Every caption is shown whole: its text fits the room its control gives it,
// and one line of text fits the control's height.
void TestMainWindow::captionsFit()
{
    const QFontMetrics fm(w->font());
    for (QWidget *c : w->controls()) {
        const QString name = c->objectName();
        if (auto *box = qobject_cast<QCheckBox *>(c)) {
            if (box->text().isEmpty())
                continue;
            QStyleOptionButton opt;
            opt.initFrom(box);
            opt.text = box->text();
            const QRect contents = box->style()->subElementRect(QStyle::SE_CheckBoxContents, &opt, box);
            QVERIFY2(box->fontMetrics().horizontalAdvance(box->text()) <= contents.width(), qPrintable(name));
            QVERIFY2(box->fontMetrics().height() <= box->height(), qPrintable(name));
        } else if (auto *label = qobject_cast<QLabel *>(c)) {
            QVERIFY2(label->sizeHint().width() <= label->width(), qPrintable(name));
            QVERIFY2(label->fontMetrics().height() <= label->height(), qPrintable(name));
        } else if (auto *frame = qobject_cast<QGroupBox *>(c)) {
            QVERIFY2(frame->minimumSizeHint().width() <= frame->width(), qPrintable(name));
        } else if (auto *button = qobject_cast<QPushButton *>(c)) {
            QString text = button->text();
            text.remove(u'&');
            const int margin = button->style()->pixelMetric(QStyle::PM_ButtonMargin);
            QVERIFY2(button->fontMetrics().horizontalAdvance(text) + 2 * margin <= button->width(),
                     qPrintable(name));
        }
    }
    // The font is the platform's family, never larger than the classic 8 points.
    QCOMPARE(w->font().family(), QApplication::font().family());
    QVERIFY(w->font().pointSizeF() <= 8.0);
    QCOMPARE(w->control("chkMirror")->font(), w->font());
}

void TestMainWindow::noOverlapInsideFrames()
{
    QList<QWidget *> parents{w->canvas()};
    for (QWidget *c : w->controls())
        if (qobject_cast<QGroupBox *>(c))
            parents.append(c);
    for (QWidget *parent : parents) {
        QList<QWidget *> children;
        for (QWidget *c : w->controls())
            if (c->parentWidget() == parent)
                children.append(c);
        for (qsizetype i = 0; i < children.size(); ++i) {
            QVERIFY2(parent->rect().contains(children[i]->geometry()), qPrintable(children[i]->objectName()));
            for (qsizetype j = i + 1; j < children.size(); ++j)
                QVERIFY2(!children[i]->geometry().intersects(children[j]->geometry()),
                         qPrintable(children[i]->objectName() + u" overlaps "_s + children[j]->objectName()));
        }
    }
}

void TestMainWindow::tabOrderFollowsCatalogue()
{
    QList<QWidget *> focusable;
    for (QWidget *c : w->controls())
        if (c->focusPolicy() & Qt::TabFocus)
            focusable.append(c);
    QCOMPARE(focusable.first()->objectName(), u"cboSource"_s);
    QCOMPARE(focusable.last()->objectName(), u"cmdCopy"_s);

    // Walk the focus chain from the first field and keep the catalogue's controls.
    QList<QWidget *> chain;
    QWidget *at = focusable.first();
    for (int guard = 0; guard < 2000 && chain.size() < focusable.size(); ++guard, at = at->nextInFocusChain())
        if (focusable.contains(at) && !chain.contains(at))
            chain.append(at);
    QCOMPARE(chain, focusable);

    const auto index = [&](ControlName name) { return chain.indexOf(w->control(name)); };
    QVERIFY(index("txtFilenames") < index("chkSubdirectories"));
    QVERIFY(index("chkExcludeLonely") < index("txtRetryCount"));
    QVERIFY(index("chkNoOffload") < index("chkThreadsEnable"));
    QVERIFY(index("chkDestEncryptedDel") < index("chkSourceReadOnlyIncl"));
    QVERIFY(index("chkLogShowInConsole") < index("txtCommandLine"));
    QVERIFY(index("txtCommandLine") < index("cmdExecute"));
    QVERIFY(index("cmdExecute") < index("cmdCopy"));
}

void TestMainWindow::accessKeys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("target");
    QTest::newRow("Alt+S source") << int(Qt::Key_S) << u"cboSource"_s;
    QTest::newRow("Alt+D destination") << int(Qt::Key_D) << u"cboDestination"_s;
    QTest::newRow("Alt+N file names") << int(Qt::Key_N) << u"txtFilenames"_s;
    QTest::newRow("Alt+A command line") << int(Qt::Key_A) << u"txtCommandLine"_s;
    QTest::newRow("Alt+L folders") << int(Qt::Key_L) << u"chkSubdirectories"_s;
    QTest::newRow("Alt+C copy type") << int(Qt::Key_C) << u"chkMoveFiles"_s;
    QTest::newRow("Alt+X excludes") << int(Qt::Key_X) << u"txtExcludeFiles"_s;
    QTest::newRow("Alt+P file classes") << int(Qt::Key_P) << u"chkExcludeNewer"_s;
    QTest::newRow("Alt+T retries") << int(Qt::Key_T) << u"txtRetryCount"_s;
    QTest::newRow("Alt+/ copy information") << int(Qt::Key_Slash) << u"chkData"_s;
    QTest::newRow("Alt+M multithreading") << int(Qt::Key_M) << u"chkThreadsEnable"_s;
    QTest::newRow("Alt+J jobs") << int(Qt::Key_J) << u"txtJobRead"_s;
    QTest::newRow("Alt+Y output display") << int(Qt::Key_Y) << u"chkDspVerbose"_s;
    QTest::newRow("Alt+I destination attributes") << int(Qt::Key_I) << u"chkDestReadOnlyAdd"_s;
    QTest::newRow("Alt+U source attributes") << int(Qt::Key_U) << u"chkSourceReadOnlyIncl"_s;
    QTest::newRow("Alt+G logging") << int(Qt::Key_G) << u"txtLogFile"_s;
}

void TestMainWindow::accessKeys()
{
    QFETCH(int, key);
    QFETCH(QString, target);
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w));
    // Start from a control that none of the keys leads to.
    w->control("cmdCopy")->setFocus();
    QTest::keyClick(w->control("cmdCopy"), Qt::Key(key), Qt::AltModifier);
    QVERIFY2(holdsFocus(w->findChild<QWidget *>(target)),
             qPrintable(QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : u"none"_s));
}

// "File&name(s)" and "Mo&nitoring" share Alt+N: the key takes turns, field first.
void TestMainWindow::sharedAccessKeyTakesTurns()
{
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w));
    w->control("cmdCopy")->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_N, Qt::AltModifier);
    QVERIFY(holdsFocus(w->control("txtFilenames")));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_N, Qt::AltModifier);
    QVERIFY(holdsFocus(w->control("txtChangeCount")));
}

// Every menu shortcut acts whichever control has the focus, also a field that
// would take the key for itself (under X11 a line edit takes Ctrl+E as end of
// line); the fields keep their own editing keys.
void TestMainWindow::shortcutsFromEveryField_data()
{
    QTest::addColumn<QString>("field");
    for (const ControlSpec &entry : controlCatalogue()) {
        if (entry.kind == ControlKind::Frame || entry.kind == ControlKind::Label || (entry.flags & Disabled))
            continue;
        QTest::newRow(entry.name) << QString::fromLatin1(entry.name);
    }
}

void TestMainWindow::shortcutsFromEveryField()
{
    QFETCH(QString, field);
    // Execute refuses these options before it starts anything.
    setCheckValueOf(w->control("chkThreadsEnable"), 1);
    setCheckValueOf(w->control("chkEfsRaw"), 1);
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w));
    QWidget *control = w->control(QLatin1StringView(field.toLatin1()));
    control->setFocus();
    QWidget *focus = QApplication::focusWidget();
    QVERIFY(holdsFocus(control));
    auto ctrl = [&](Qt::Key key) { QTest::keyClick(focus, key, Qt::ControlModifier); };

    if (controlKind(control) == ControlKind::TextBox || controlKind(control) == ControlKind::ComboBox) {
        auto *combo = qobject_cast<QComboBox *>(control);
        auto *line = combo ? combo->lineEdit() : qobject_cast<QLineEdit *>(control);
        auto *multi = qobject_cast<QPlainTextEdit *>(control);
        setTextOf(control, u"abc"_s);
        ctrl(Qt::Key_A);
        QCOMPARE(line ? line->selectedText() : multi->textCursor().selectedText(), u"abc"_s);
        ctrl(Qt::Key_C);
        QCOMPARE(QGuiApplication::clipboard()->text(), u"abc"_s);
        ctrl(Qt::Key_X);
        QCOMPARE(textOf(control), QString());
        ctrl(Qt::Key_Z);
        QCOMPARE(textOf(control), u"abc"_s);
        QTest::keyClick(focus, Qt::Key_End);
        ctrl(Qt::Key_V);
        QCOMPARE(textOf(control), u"abcabc"_s);
    }

    // Last first, so that Execute comes before Clear Settings undoes the conflict.
    const auto items = menuCatalogue();
    for (auto it = items.rbegin(); it != items.rend(); ++it) {
        const MenuSpec &item = *it;
        if (!item.shortcut)
            continue;
        QSignalSpy triggered(w->menuItem(QLatin1StringView(item.name)), &QAction::triggered);
        const QKeyCombination key = QKeySequence(QString::fromLatin1(item.shortcut))[0];
        QTest::keyClick(focus, key.key(), key.keyboardModifiers());
        QVERIFY2(triggered.size() == 1, item.shortcut);
    }
    QCOMPARE(shown().size(), 1);
    QCOMPARE(shown().first().prompt, u"Multithreading cannot be used with EFS Raw or Delay Per 64 K options."_s);
}

void TestMainWindow::userChangesRebuild()
{
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w));

    auto *mirror = w->control<QCheckBox>("chkMirror");
    QTest::mouseClick(mirror, Qt::LeftButton, {}, QPoint(6, mirror->height() / 2));
    QCOMPARE(commandOf(*w), u"ROBOCOPY.EXE /MIR"_s);

    auto *retries = w->control<QLineEdit>("txtRetryCount");
    retries->setFocus();
    QTest::keyClicks(retries, u"12"_s);
    QCOMPARE(commandOf(*w), u"ROBOCOPY.EXE /MIR /R:12"_s);

    // A no-break space is part of a name, not a blank between two.
    auto *excludes = w->control<QPlainTextEdit>("txtExcludeFiles");
    excludes->setFocus();
    QTest::keyClicks(excludes, u"*.tmp My\u00a0File.txt"_s);
    QCOMPARE(commandOf(*w), u"ROBOCOPY.EXE /MIR /XF *.tmp My\u00a0File.txt /R:12"_s);

    auto *source = w->control<QComboBox>("cboSource");
    source->setFocus();
    QTest::keyClicks(source, u"C:\\A"_s);
    QCOMPARE(commandOf(*w), u"ROBOCOPY.EXE C:\\A /MIR /XF *.tmp My\u00a0File.txt /R:12"_s);

    // Picking an entry of the drop-down list.
    addListItem(source, u"C:\\Old Data"_s);
    addListItem(source, u"C:\\Other"_s);
    QCOMPARE(source->currentText(), u"C:\\A"_s);
    QSignalSpy picked(source, &QComboBox::activated);
    source->setCurrentIndex(-1);
    QTest::keyClick(source, Qt::Key_Down);
    QCOMPARE(picked.count(), 1);
    QCOMPARE(commandOf(*w), u"ROBOCOPY.EXE \""_s + source->currentText() + u"\" /MIR /XF *.tmp My\u00a0File.txt /R:12"_s);
}

void TestMainWindow::programChangesRebuild()
{
    QVERIFY(setCheckValueOf(w->control("chkSubdirectories"), 1));
    QVERIFY(w->control("chkEmpty")->isEnabled());
    QCOMPARE(commandOf(*w), u"ROBOCOPY.EXE /S"_s);
    QVERIFY(setTextOf(w->control("cboDestination"), u"D:\\B"_s));
    QCOMPARE(commandOf(*w), u"ROBOCOPY.EXE D:\\B /S"_s);
    QVERIFY(setTextOf(w->control("txtLogFile"), u"l.txt"_s));
    QVERIFY(w->control("chkLogAppend")->isEnabled());
    QCOMPARE(commandOf(*w), u"ROBOCOPY.EXE D:\\B /S /LOG:l.txt"_s);
    QVERIFY(setTextOf(w->control("txtExcludeFolders"), u"x"_s));
    QCOMPARE(commandOf(*w), u"ROBOCOPY.EXE D:\\B /S /XD x /LOG:l.txt"_s);

    // Values outside the three check-box states are refused and change nothing.
    QVERIFY(!setCheckValueOf(w->control("chkMirror"), 3));
    QVERIFY(!setCheckValueOf(w->control("chkMirror"), -1));
    QCOMPARE(checkValueOf(w->control("chkMirror")), qint16(0));
    QVERIFY(!setTextOf(w->control("chkMirror"), u"x"_s));
}

void TestMainWindow::unchangedAssignmentRebuildsNothing()
{
    auto *box = w->control<QPlainTextEdit>("txtCommandLine");
    box->setPlainText(u"typed by hand"_s);
    setCheckValueOf(w->control("chkData"), 1);
    setCheckValueOf(w->control("chkMirror"), 0);
    setTextOf(w->control("txtThreadsCount"), u"1"_s);
    setTextOf(w->control("txtRetryCount"), QString());
    setTextOf(w->control("txtExcludeFiles"), QString());
    setTextOf(w->control("cboSource"), QString());
    addListItem(w->control<QComboBox>("cboSource"), u"C:\\x"_s);
    QCOMPARE(box->toPlainText(), u"typed by hand"_s);
    QCOMPARE(textOf(w->control("cboSource")), QString());
}

void TestMainWindow::typedCommandSurvivesUntilNextChange()
{
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w));
    auto *box = w->control<QPlainTextEdit>("txtCommandLine");
    box->setFocus();
    QTest::keyClick(box, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(box, u" /X"_s);
    QCOMPARE(box->toPlainText(), u"ROBOCOPY.EXE /X"_s);
    w->control("chkMirror")->setEnabled(false); // an enabled-state change is no option change
    w->control("chkMirror")->setEnabled(true);
    QCOMPARE(box->toPlainText(), u"ROBOCOPY.EXE /X"_s);
    setCheckValueOf(w->control("chkPurge"), 1);
    QCOMPARE(box->toPlainText(), u"ROBOCOPY.EXE /PURGE"_s);
    // A rebuild leaves no undo step behind that would bring the old text back.
    QVERIFY(!box->document()->isUndoAvailable());
}

// A folder box holds exactly what was typed, whatever its list holds: Qt's
// completion would otherwise run Robocopy on another folder.
void TestMainWindow::folderBoxesKeepTypedText_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("finish"); // the key that ends the typing; 0: none

    QTest::newRow("start of an entry") << u"cboSource"_s << u"/tmp/src"_s << 0;
    QTest::newRow("start of an entry, Tab") << u"cboSource"_s << u"/tmp/src"_s << int(Qt::Key_Tab);
    QTest::newRow("start of an entry, Enter") << u"cboDestination"_s << u"/tmp/src"_s << int(Qt::Key_Return);
    QTest::newRow("other letter case") << u"cboDestination"_s << u"/s/a"_s << 0;
    QTest::newRow("other letter case, Tab") << u"cboSource"_s << u"/s/a"_s << int(Qt::Key_Tab);
    QTest::newRow("other letter case, Enter") << u"cboSource"_s << u"/s/a"_s << int(Qt::Key_Return);
    QTest::newRow("a whole entry, Enter") << u"cboDestination"_s << u"/s/A"_s << int(Qt::Key_Return);
}

void TestMainWindow::folderBoxesKeepTypedText()
{
    QFETCH(QString, box);
    QFETCH(QString, typed);
    QFETCH(int, finish);
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w));
    auto *combo = w->control<QComboBox>(QLatin1StringView(box.toLatin1()));
    const QStringList recent{u"/tmp/src dir"_s, u"/s/A"_s};
    for (const QString &entry : recent)
        addListItem(combo, entry);

    combo->setFocus();
    QTest::keyClicks(QApplication::focusWidget(), typed);
    if (finish)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(finish));
    QCOMPARE(holdsFocus(combo), finish != Qt::Key_Tab);
    QCOMPARE(textOf(combo), typed);
    QCOMPARE(commandOf(*w), u"ROBOCOPY.EXE "_s + typed);
    QCOMPARE(listOf(combo), recent); // only a run adds to the list
}

// What goes into a multi-line box comes back out: the box reads its
// document's own text, not Qt's plain-text rendering of it.
void TestMainWindow::multiLineBoxesGiveBackTheirText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    QTest::newRow("no-break space") << u"My\u00a0File.txt"_s << u"My\u00a0File.txt"_s;
    QTest::newRow("line separator") << u"a\u2028b"_s << u"a\u2028b"_s;
    QTest::newRow("tab") << u"a\tb"_s << u"a\tb"_s;
    QTest::newRow("line feeds") << u"a\nb\n"_s << u"a\nb\n"_s;
    // The box holds any line break as a new line, which reads as a line feed.
    QTest::newRow("CR LF") << u"a\r\nb\r\n"_s << u"a\nb\n"_s;
    QTest::newRow("CR") << u"a\rb"_s << u"a\nb"_s;
    QTest::newRow("paragraph separator") << u"a\u2029b"_s << u"a\nb"_s;
}

void TestMainWindow::multiLineBoxesGiveBackTheirText()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    for (const ControlName name :
         {ControlName("txtExcludeFiles"), ControlName("txtExcludeFolders"), ControlName("txtCommandLine")}) {
        auto *box = w->control<QPlainTextEdit>(name);
        QVERIFY(setTextOf(box, text));
        QCOMPARE(textOf(box), expected);
        // The same text again is no change, and rebuilds nothing.
        QSignalSpy changes(box, &QPlainTextEdit::textChanged);
        QVERIFY(setTextOf(box, text));
        QCOMPARE(changes.count(), 0);
    }
}

// Neither typing nor assigning cuts a text short (a line edit's default
// stops at 32,767 characters).
void TestMainWindow::textsOfAnyLength_data()
{
    QTest::addColumn<QString>("field");
    QTest::newRow("single-line box") << u"txtFilenames"_s;
    QTest::newRow("folder box") << u"cboSource"_s;
}

void TestMainWindow::textsOfAnyLength()
{
    QFETCH(QString, field);
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w));
    QWidget *c = w->control(QLatin1StringView(field.toLatin1()));
    const QString assigned = QString(40000, u'a') + u'z';
    QVERIFY(setTextOf(c, assigned));
    QCOMPARE(textOf(c), assigned);

    c->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_End);
    QTest::keyClicks(QApplication::focusWidget(), u"xy"_s);
    QCOMPARE(textOf(c), assigned + u"xy"_s);
    QCOMPARE(commandOf(*w), u"ROBOCOPY.EXE "_s + assigned + u"xy"_s);
}

void TestMainWindow::grayedValue()
{
    QWidget *box = w->control("chkMoveFiles");
    QVERIFY(setCheckValueOf(box, 2));
    QCOMPARE(checkValueOf(box), qint16(2));
    QVERIFY(w->control("chkMoveFolders")->isEnabled()); // grayed masters enable
    QCOMPARE(commandOf(*w), u"ROBOCOPY.EXE"_s);                 // and MOV wants exactly 1
    QVERIFY(setCheckValueOf(box, 1));
    QCOMPARE(commandOf(*w), u"ROBOCOPY.EXE /MOV"_s);
}

void TestMainWindow::interlocks_data()
{
    QTest::addColumn<QString>("master");
    QTest::addColumn<QString>("on");       // value that sets the master
    QTest::addColumn<QStringList>("dependents");
    QTest::addColumn<QStringList>("kept");  // dependent values set while on, kept while off
    QTest::addColumn<QString>("commandOn");
    QTest::addColumn<QString>("commandOff");

    QTest::newRow("subdirectories")
        << u"chkSubdirectories"_s << u"1"_s << QStringList{u"chkEmpty"_s, u"txtLevels"_s, u"lblLevels"_s}
        << QStringList{u"chkEmpty=1"_s, u"txtLevels=2"_s} << u"ROBOCOPY.EXE /E /LEV:2"_s
        << u"ROBOCOPY.EXE /LEV:2"_s;
    QTest::newRow("move files") << u"chkMoveFiles"_s << u"1"_s << QStringList{u"chkMoveFolders"_s}
                                << QStringList{u"chkMoveFolders=1"_s} << u"ROBOCOPY.EXE /MOVE"_s
                                << u"ROBOCOPY.EXE"_s;
    QTest::newRow("archive only") << u"chkSourceArchiveOnly"_s << u"1"_s << QStringList{u"chkSourceArchiveReset"_s}
                                  << QStringList{u"chkSourceArchiveReset=1"_s} << u"ROBOCOPY.EXE /M"_s
                                  << u"ROBOCOPY.EXE"_s;
    QTest::newRow("threads") << u"chkThreadsEnable"_s << u"1"_s
                             << QStringList{u"txtThreadsCount"_s, u"lblThreadsCount"_s}
                             << QStringList{u"txtThreadsCount=16"_s} << u"ROBOCOPY.EXE /MT:16"_s
                             << u"ROBOCOPY.EXE"_s;
    QTest::newRow("log file") << u"txtLogFile"_s << u"a b.log"_s
                              << QStringList{u"chkLogAppend"_s, u"chkLogShowInConsole"_s, u"chkLogUnicode"_s}
                              << QStringList{u"chkLogAppend=1"_s, u"chkLogShowInConsole=1"_s, u"chkLogUnicode=1"_s}
                              << u"ROBOCOPY.EXE /TEE /UNILOG+:\"a b.log\""_s << u"ROBOCOPY.EXE"_s;
    QTest::newRow("log file of one blank") << u"txtLogFile"_s << u" "_s << QStringList{u"chkLogAppend"_s}
                                           << QStringList{u"chkLogAppend=1"_s} << u"ROBOCOPY.EXE /LOG+:\" \""_s
                                           << u"ROBOCOPY.EXE"_s;
}

void TestMainWindow::interlocks()
{
    QFETCH(QString, master);
    QFETCH(QString, on);
    QFETCH(QStringList, dependents);
    QFETCH(QStringList, kept);
    QFETCH(QString, commandOn);
    QFETCH(QString, commandOff);

    QWidget *m = w->findChild<QWidget *>(master);
    const bool isCheck = controlKind(m) == ControlKind::CheckBox;
    auto setMaster = [&](bool set) {
        if (isCheck)
            setCheckValueOf(m, set ? qint16(on.toInt()) : qint16(0));
        else
            setTextOf(m, set ? on : QString());
    };
    auto enabledStates = [&] {
        QList<bool> states;
        for (const QString &d : dependents)
            states.append(w->findChild<QWidget *>(d)->isEnabled());
        return states;
    };
    const QList<bool> allOn(dependents.size(), true), allOff(dependents.size(), false);

    QCOMPARE(enabledStates(), allOff);
    setMaster(true);
    QCOMPARE(enabledStates(), allOn);
    for (const QString &k : kept) {
        const QStringList parts = k.split(u'=');
        QWidget *d = w->findChild<QWidget *>(parts[0]);
        if (controlKind(d) == ControlKind::CheckBox)
            setCheckValueOf(d, qint16(parts[1].toInt()));
        else
            setTextOf(d, parts[1]);
    }
    QCOMPARE(commandOf(*w), commandOn);

    setMaster(false);
    QCOMPARE(enabledStates(), allOff);
    QCOMPARE(commandOf(*w), commandOff);
    for (const QString &k : kept) { // values survive while disabled
        const QStringList parts = k.split(u'=');
        QWidget *d = w->findChild<QWidget *>(parts[0]);
        const QString value = controlKind(d) == ControlKind::CheckBox ? QString::number(checkValueOf(d)) : textOf(d);
        QCOMPARE(value, parts[1]);
    }

    setMaster(true); // the kept values come back into the command at once
    QCOMPARE(commandOf(*w), commandOn);

    if (isCheck) { // a grayed master enables its dependents too
        setMaster(false);
        setCheckValueOf(m, 2);
        QCOMPARE(enabledStates(), allOn);
    }
}

namespace {

quint32 littleEndian(const QByteArray &bytes, qsizetype at, int count)
{
    quint32 value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = (value << 8) | quint8(bytes.at(at + i));
    return value;
}

// The images of an icon file by their size, read as Windows reads them: a
// directory of entries, each a PNG or a 32-bit bitmap (rows from the bottom
// up) followed by its transparency mask. Empty when the file is no icon.
QMap<int, QImage> iconImages(const QByteArray &ico)
{
    QMap<int, QImage> images;
    if (ico.size() < 6 || littleEndian(ico, 0, 2) != 0 || littleEndian(ico, 2, 2) != 1)
        return {};
    const auto count = qsizetype(littleEndian(ico, 4, 2));
    for (qsizetype i = 0; i < count; ++i) {
        const qsizetype entry = 6 + 16 * i;
        if (entry + 16 > ico.size())
            return {};
        const int size = ico.at(entry) == 0 ? 256 : quint8(ico.at(entry));
        const auto length = qsizetype(littleEndian(ico, entry + 8, 4));
        const auto offset = qsizetype(littleEndian(ico, entry + 12, 4));
        if (offset + length > ico.size() || littleEndian(ico, entry + 6, 2) != 32)
            return {};
        const QByteArray data = ico.mid(offset, length);
        QImage image;
        if (data.startsWith("\x89PNG")) {
            image = QImage::fromData(data, "PNG");
        } else if (littleEndian(data, 0, 4) == 40 && qsizetype(littleEndian(data, 4, 4)) == size
                   && qsizetype(littleEndian(data, 8, 4)) == 2 * size && littleEndian(data, 14, 2) == 32) {
            const qsizetype maskRow = ((size + 31) / 32) * 4;
            if (data.size() != 40 + qsizetype(size) * size * 4 + maskRow * size)
                return {};
            image = QImage(size, size, QImage::Format_ARGB32);
            for (int y = 0; y < size; ++y)
                for (int x = 0; x < size; ++x)
                    image.setPixel(x, size - 1 - y, littleEndian(data, 40 + (qsizetype(y) * size + x) * 4, 4));
            // The mask marks exactly the transparent pixels.
            for (int y = 0; y < size; ++y)
                for (int x = 0; x < size; ++x) {
                    const char byte = data.at(40 + qsizetype(size) * size * 4 + y * maskRow + x / 8);
                    if (bool(byte & (0x80 >> (x % 8))) != (qAlpha(image.pixel(x, size - 1 - y)) == 0))
                        return {};
                }
        }
        images.insert(size, image.convertToFormat(QImage::Format_ARGB32));
    }
    return images;
}

} // namespace

// corvane.exe carries the window's icon as a file, for Explorer: at every
// usual size, from the list's 16 pixels to the large views' 256, it must be
// what the window draws.
void TestMainWindow::programFileIcon()
{
    QFile file(QStringLiteral(CORVANE_ICON_FILE));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QMap<int, QImage> stored = iconImages(file.readAll());
    QStringList wrong;
    for (int size : kWindowsIconSizes) {
        const QImage drawn = corvaneIconImage(size).convertToFormat(QImage::Format_ARGB32);
        if (stored.value(size) != drawn)
            wrong << QString::number(size);
    }
    if (stored.size() != qsizetype(std::size(kWindowsIconSizes)))
        wrong << QStringLiteral("%1 images").arg(stored.size());
    if (!wrong.isEmpty()) {
        const QString fresh = QStringLiteral(CORVANE_BINARY_DIR "/corvane.ico");
        QFile out(fresh);
        QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate) && out.write(corvaneIconIco()) > 0);
        QFAIL(qPrintable(QStringLiteral("src/main_window/corvane.ico is not the drawn icon (%1); it is in %2")
                             .arg(wrong.join(u", "), fresh)));
    }
    // The window offers the same sizes, 32 pixels among them as drawn.
    QCOMPARE(corvaneIcon().pixmap(QSize(32, 32)).toImage().convertToFormat(QImage::Format_ARGB32),
             corvaneIconImage(32).convertToFormat(QImage::Format_ARGB32));
    QCOMPARE(corvaneIcon().availableSizes().size(), qsizetype(std::size(kWindowsIconSizes)));
}

QTEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
