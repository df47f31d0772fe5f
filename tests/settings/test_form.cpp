// The store working for the real window: the form-state walk, start-up,
// shut-down, the Options menu and damaged settings files.
#include "command/CommandBuilder.h"
#include "main_window/Controls.h"
#include "main_window/frmCorvane.h"
#include "settings/CSettings.h"
#include "settings/IniFile.h"

#include "MessageBoxes.h"
#include "Scratch.h"
#include "ScopedHook.h"
#include "SettingsTestSupport.h"
#include "WindowTest.h"

#include <QAction>
#include <QComboBox>
#include <QPlainTextEdit>

#include <functional>
#include <memory>
#include <random>

using namespace Qt::StringLiterals;

namespace {

std::unique_ptr<frmCorvane> start(const Scratch &s)
{
    auto w = std::make_unique<frmCorvane>(s.location());
    w->Form_Load();
    return w;
}

// Closing the window runs Form_Unload; then the program ends and the store is released.
void finish(std::unique_ptr<frmCorvane> &w)
{
    w->close();
    w.reset();
}

bool isChecked(const frmCorvane &w, MenuName item) { return w.menuItem(item)->isChecked(); }

QComboBox *combo(const frmCorvane &w, ControlName name) { return w.control<QComboBox>(name); }

// "name=value" of one persisted control; empty for any other control.
QString stateOf(const QWidget *c)
{
    const std::optional<ControlKind> kind = controlKind(c);
    if (kind == ControlKind::CheckBox)
        return c->objectName() + u'=' + QString::number(checkValueOf(c));
    if (kind == ControlKind::TextBox)
        return c->objectName() + u'=' + textOf(c);
    if (kind == ControlKind::ComboBox)
        return c->objectName() + u'=' + textOf(c) + u" | list: "_s
            + WindowTest::listOf(qobject_cast<const QComboBox *>(c)).join(u" | "_s);
    return QString();
}

QStringList snapshot(const frmCorvane &w)
{
    QStringList out;
    for (const QWidget *c : w.controls())
        if (const QString state = stateOf(c); !state.isEmpty())
            out << state;
    return out;
}

QString valueOf(const frmCorvane &w, const QString &name)
{
    const QWidget *c = w.control(QLatin1StringView(name.toLatin1()));
    if (!c)
        return u"<no control %1>"_s.arg(name);
    return controlKind(c) == ControlKind::CheckBox ? QString::number(checkValueOf(c)) : textOf(c);
}

// Every persisted control away from its initial state, with awkward texts
// and both recent-folder lists full.
void setEveryControl(frmCorvane &w)
{
    int i = 0;
    for (QWidget *c : w.controls()) {
        const QString name = c->objectName();
        const std::optional<ControlKind> kind = controlKind(c);
        if (kind == ControlKind::CheckBox) {
            setCheckValueOf(c, i % 5 == 0 ? 2 : checkValueOf(c) ? 0 : 1);
        } else if (kind == ControlKind::TextBox && name != u"txtCommandLine") {
            if (qobject_cast<QPlainTextEdit *>(c))
                setTextOf(c, u"  %1 one\n\"two\" ; = [x] # \\\n  three ü  "_s.arg(name));
            else
                setTextOf(c, u" %1 \"v\" =;[#] Grüße \\ "_s.arg(name));
        } else if (kind == ControlKind::ComboBox) {
            auto *box = qobject_cast<QComboBox *>(c);
            for (int k = 0; k < 10; ++k)
                box->addItem(u"C:\\%1 folder %2\\ \"q\" ;"_s.arg(name).arg(k));
            setTextOf(c, u"  D:\\%1 edit\\ "_s.arg(name));
        }
        ++i;
    }
}

// The command box shows the command of the options as they are.
bool commandIsCurrent(const frmCorvane &w) { return w.text("txtCommandLine") == BuildCommandLine(w); }

QByteArray settingsFile(const QByteArray &body) { return "[Settings]\r\n" + body; }


} // namespace

class TestForm : public WindowTest
{
    Q_OBJECT

private slots:
    void wholeStateRoundTrip_data();
    void wholeStateRoundTrip();
    void loadRaisesChangeHandling();
    void checkBoxValues_data();
    void checkBoxValues();
    void listEntries_data();
    void listEntries();
    void loadNeverDuplicatesLists();
    void saveWritesListKeys();
    void loadAndClearRebuildCommand();
    void clearResetsControlsOnly();

    void firstStart();
    void firstStartUnwritableFolder();
    void saveOnExitUnchecked();
    void autoCloseStoredAtExit();
    void previewStoredAtExit();
    void switchToUserStoreAndBack();
    void switchWithoutSaveOnExit();
    void unwritableIniLocation();
    void loadShowsStoreMode();
    void saveFallsBackWhenIniRefuses_data();
    void saveFallsBackWhenIniRefuses();
    void exitClosesAboutWindow();
    void saveFailureIsReported();
    void damagedIniFileIsReported();

    void badInput_data();
    void badInput();
};

// ---- The form-state walk

void TestForm::wholeStateRoundTrip_data()
{
    QTest::addColumn<bool>("perUser");
    QTest::addColumn<bool>("longTexts");
    QTest::newRow("INI file") << false << false;
    QTest::newRow("per-user store") << true << false;
    QTest::newRow("INI file, 100,000-character texts") << false << true;
    QTest::newRow("per-user store, 100,000-character texts") << true << true;
}

void TestForm::wholeStateRoundTrip()
{
    QFETCH(bool, perUser);
    QFETCH(bool, longTexts);
    Scratch s;
    MessageBoxCatcher boxes;
    const QStringList defaults = snapshot(frmCorvane(s.location()));

    auto first = start(s);
    if (perUser) {
        trigger(*first, "mnuOptionsUseIni");
        QVERIFY(!isChecked(*first, "mnuOptionsUseIni"));
    }
    setEveryControl(*first);
    if (longTexts) {
        // Far beyond a line edit's default limit, in a field of each kind and a list entry.
        QString lines;
        for (int i = 0; lines.size() < 100000; ++i)
            lines += u"\"scan\u00a0%1.pdf\"\n"_s.arg(i);
        setTextOf(first->control("txtExcludeFiles"), lines.left(100000));
        setTextOf(first->control("txtLogFile"), QString(100000, u'L'));
        QComboBox *source = combo(*first, "cboSource");
        setTextOf(source, QString(99999, u'S') + u'\\');
        removeListItem(source, 0);
        addListItem(source, QString(100000, u'E'));
    }
    const QStringList saved = snapshot(*first);
    QCOMPARE(saved.size(), persistedControlCount());
    for (qsizetype i = 0; i < saved.size(); ++i)
        if (!saved[i].startsWith(u"txtCommandLine="))
            QVERIFY2(saved[i] != defaults[i], qPrintable(saved[i]));
    trigger(*first, "mnuFileSave");
    first.reset(); // not closed: only the explicit save counts

    auto next = start(s);
    QCOMPARE(isChecked(*next, "mnuOptionsUseIni"), !perUser);
    const QStringList loaded = snapshot(*next);
    QCOMPARE(loaded.size(), saved.size());
    for (qsizetype i = 0; i < saved.size(); ++i)
        QCOMPARE(loaded[i], saved[i]);

    // The back end not in use never saw the state.
    if (perUser)
        QVERIFY(s.iniLine("txtLogFile").isEmpty());
    else
        QVERIFY(!s.userHas(u"txtLogFile"_s));
    QVERIFY2(boxes.boxes.isEmpty(), qPrintable(boxes.describe()));
}

void TestForm::loadRaisesChangeHandling()
{
    Scratch s;
    s.writeIni(settingsFile("chkSubdirectories=1\r\ntxtLogFile=run.log\r\nchkMirror=1\r\n"));
    auto w = start(s);
    QVERIFY(w->control("chkEmpty")->isEnabled());
    QVERIFY(w->control("chkLogAppend")->isEnabled());
    QVERIFY(w->text("txtCommandLine").contains(u"MIR"));
    QVERIFY(w->text("txtCommandLine").contains(u"run.log"));
}

void TestForm::checkBoxValues_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("line"); // empty: key absent
    QTest::addColumn<int>("expect");

    // chkMirror starts unchecked, chkData checked.
    QTest::newRow("2 loads grayed") << u"chkMirror"_s << QByteArray("chkMirror=2") << 2;
    QTest::newRow("2 on a checked box") << u"chkData"_s << QByteArray("chkData=2") << 2;
    QTest::newRow("1 checks") << u"chkMirror"_s << QByteArray("chkMirror=1") << 1;
    QTest::newRow("0 unchecks") << u"chkData"_s << QByteArray("chkData=0") << 0;
    QTest::newRow("blanks around") << u"chkMirror"_s << QByteArray("chkMirror=  1 ") << 1;
    QTest::newRow("absent keeps checked") << u"chkData"_s << QByteArray() << 1;
    QTest::newRow("absent keeps unchecked") << u"chkMirror"_s << QByteArray() << 0;
    QTest::newRow("empty keeps") << u"chkData"_s << QByteArray("chkData=") << 1;
    QTest::newRow("text keeps") << u"chkData"_s << QByteArray("chkData=yes") << 1;
    QTest::newRow("text keeps unchecked") << u"chkMirror"_s << QByteArray("chkMirror=True") << 0;
    QTest::newRow("3 keeps") << u"chkMirror"_s << QByteArray("chkMirror=3") << 0;
    QTest::newRow("-1 keeps") << u"chkData"_s << QByteArray("chkData=-1") << 1;
    QTest::newRow("huge number keeps") << u"chkData"_s << QByteArray("chkData=99999999999999999999") << 1;
    QTest::newRow("fraction keeps") << u"chkData"_s << QByteArray("chkData=0.5") << 1;
}

void TestForm::checkBoxValues()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, line);
    QFETCH(int, expect);
    Scratch s;
    s.writeIni(settingsFile(line.isEmpty() ? QByteArray() : line + "\r\n"));
    auto w = start(s);
    QCOMPARE(valueOf(*w, name), QString::number(expect));
}

void TestForm::listEntries_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QStringList>("expect");

    QTest::newRow("none") << QByteArray("cboSource=C:\\x\r\n") << QStringList();
    QTest::newRow("gap ends the list") << QByteArray("cboSource_0=a\r\ncboSource_2=c\r\n") << QStringList{u"a"_s};
    QTest::newRow("empty entry ends the list")
        << QByteArray("cboSource_0=a\r\ncboSource_1=\r\ncboSource_2=c\r\n") << QStringList{u"a"_s};
    QTest::newRow("quoted empty entry") << QByteArray("cboSource_0=\"\"\r\ncboSource_1=b\r\n") << QStringList();
    QTest::newRow("order kept") << QByteArray("cboSource_1=second\r\ncboSource_0=first\r\n")
                                << QStringList{u"first"_s, u"second"_s};
    QByteArray twelve;
    QStringList newestTen;
    for (int i = 0; i < 12; ++i) {
        twelve += "cboSource_" + QByteArray::number(i) + "=e" + QByteArray::number(i) + "\r\n";
        if (i >= 2)
            newestTen << u"e%1"_s.arg(i);
    }
    QTest::newRow("more than ten: the newest ten") << twelve << newestTen;
}

void TestForm::listEntries()
{
    QFETCH(QByteArray, body);
    QFETCH(QStringList, expect);
    Scratch s;
    s.writeIni(settingsFile(body));
    auto w = start(s);
    QCOMPARE(listOf(combo(*w, "cboSource")), expect);
    QCOMPARE(combo(*w, "cboDestination")->count(), 0);
}

void TestForm::loadNeverDuplicatesLists()
{
    Scratch s;
    QByteArray body;
    QStringList entries;
    for (int i = 0; i < 10; ++i) {
        body += "cboSource_" + QByteArray::number(i) + "=C:\\f" + QByteArray::number(i) + "\r\n";
        entries << u"C:\\f%1"_s.arg(i);
    }
    s.writeIni(settingsFile(body + "cboSource=C:\\typed\r\n"));
    auto w = start(s);
    QCOMPARE(listOf(combo(*w, "cboSource")), entries);
    trigger(*w, "mnuFileLoad");
    trigger(*w, "mnuFileLoad");
    QCOMPARE(listOf(combo(*w, "cboSource")), entries);
    QCOMPARE(w->text("cboSource"), u"C:\\typed"_s);
}

void TestForm::saveWritesListKeys()
{
    Scratch s;
    s.writeIni(settingsFile("cboSource_5=stale\r\n"));
    auto w = start(s);
    QCOMPARE(combo(*w, "cboSource")->count(), 0);
    combo(*w, "cboSource")->addItems({u"a"_s, u"b"_s, u"c"_s});
    setTextOf(combo(*w, "cboSource"), u"typed"_s);
    trigger(*w, "mnuFileSave");
    QCOMPARE(s.iniLine("cboSource"), QByteArray("cboSource=typed"));
    QCOMPARE(s.iniLine("cboSource_0"), QByteArray("cboSource_0=a"));
    QCOMPARE(s.iniLine("cboSource_1"), QByteArray("cboSource_1=b"));
    QCOMPARE(s.iniLine("cboSource_2"), QByteArray("cboSource_2=c"));
    QVERIFY(s.iniLine("cboSource_3").isEmpty());
    QCOMPARE(s.iniLine("cboSource_5"), QByteArray("cboSource_5=stale")); // nothing is deleted
    QVERIFY(s.iniLine("cboDestination_0").isEmpty());
    QCOMPARE(s.iniLine("cboDestination"), QByteArray("cboDestination="));
}

void TestForm::loadAndClearRebuildCommand()
{
    Scratch s;
    auto w = start(s);
    // The command box is the last control of the walk: what the walk leaves
    // in it would stay there.
    s.writeIni(settingsFile("SaveToINI=-1\r\nchkMirror=1\r\ntxtCommandLine=stale command\r\n"));
    trigger(*w, "mnuFileLoad");
    QVERIFY(w->text("txtCommandLine").contains(u"MIR"));
    QVERIFY(commandIsCurrent(*w));

    trigger(*w, "mnuFileClear");
    QVERIFY(w->text("txtCommandLine").startsWith(u"ROBOCOPY.EXE"));
    QVERIFY(!w->text("txtCommandLine").contains(u"MIR"));
    QVERIFY(commandIsCurrent(*w));
}

void TestForm::clearResetsControlsOnly()
{
    Scratch s;
    auto w = start(s);
    setEveryControl(*w);
    trigger(*w, "mnuFileSave");
    const QByteArray stored = s.ini();
    const QStringList source = listOf(combo(*w, "cboSource"));
    const QStringList destination = listOf(combo(*w, "cboDestination"));

    trigger(*w, "mnuFileClear");
    for (const QWidget *c : w->controls()) {
        const std::optional<ControlKind> kind = controlKind(c);
        if (kind == ControlKind::CheckBox)
            QVERIFY2(checkValueOf(c) == 0, qPrintable(c->objectName()));
        else if ((kind == ControlKind::TextBox || kind == ControlKind::ComboBox) && c->objectName() != u"txtCommandLine")
            QVERIFY2(textOf(c).isEmpty(), qPrintable(c->objectName()));
    }
    QCOMPARE(listOf(combo(*w, "cboSource")), source);
    QCOMPARE(listOf(combo(*w, "cboDestination")), destination);
    QCOMPARE(s.ini(), stored);
}

// ---- Start-up and shut-down

void TestForm::firstStart()
{
    Scratch s;
    MessageBoxCatcher boxes;
    const QStringList defaults = snapshot(frmCorvane(s.location()));
    auto w = start(s);
    QVERIFY(isChecked(*w, "mnuOptionsSaveOnExit"));
    QVERIFY(isChecked(*w, "mnuOptionsAutoClose"));
    QVERIFY(isChecked(*w, "mnuOptionsUseIni"));
    QVERIFY(isChecked(*w, "mnuOptionsPreview"));
    QVERIFY(!isChecked(*w, "mnuOptionsShowProgress")); // Execute keeps to the console unless chosen
    QCOMPARE(s.ini(), QByteArray("[Settings]\r\nSaveToINI=-1\r\n"));
    QVERIFY(!s.userHas(u"SaveToINI"_s));

    // Check boxes keep their initial state; every text is emptied.
    const QStringList now = snapshot(*w);
    for (qsizetype i = 0; i < now.size(); ++i) {
        if (now[i].startsWith(u"chk"))
            QCOMPARE(now[i], defaults[i]);
        else if (now[i].startsWith(u"txtCommandLine="))
            QVERIFY(now[i].contains(u"ROBOCOPY.EXE"));
        else if (now[i].startsWith(u"cbo"))
            QVERIFY2(now[i].endsWith(u"= | list: "), qPrintable(now[i]));
        else
            QVERIFY2(now[i].endsWith(u'='), qPrintable(now[i]));
    }
    QCOMPARE(w->text("txtThreadsCount"), QString());
    QVERIFY(commandIsCurrent(*w));

    finish(w);
    QCOMPARE(s.iniLine("mnuOptionsSaveOnExit"), QByteArray("mnuOptionsSaveOnExit=-1"));
    QCOMPARE(s.iniLine("mnuOptionsAutoClose"), QByteArray("mnuOptionsAutoClose=-1"));
    QCOMPARE(s.iniLine("mnuOptionsPreview"), QByteArray("mnuOptionsPreview=-1"));
    QCOMPARE(s.iniLine("mnuOptionsShowProgress"), QByteArray("mnuOptionsShowProgress=0"));
    QCOMPARE(s.iniLine("chkData"), QByteArray("chkData=1"));
    QCOMPARE(s.iniLine("SaveToINI"), QByteArray("SaveToINI=-1"));
    QCOMPARE(s.ini().count("\r\n"), 1 + 1 + persistedControlCount() + 4); // header, flag, controls, Options keys
    QVERIFY2(boxes.boxes.isEmpty(), qPrintable(boxes.describe()));
}

void TestForm::firstStartUnwritableFolder()
{
    Scratch s;
    s.blockIni();
    MessageBoxCatcher boxes;
    auto w = start(s);
    QVERIFY(isChecked(*w, "mnuOptionsSaveOnExit"));
    QVERIFY(isChecked(*w, "mnuOptionsAutoClose"));
    QVERIFY(!isChecked(*w, "mnuOptionsUseIni"));
    QCOMPARE(s.userValue(u"SaveToINI"_s), u"0"_s);
    QVERIFY2(boxes.boxes.isEmpty(), qPrintable(boxes.describe()));
}

void TestForm::saveOnExitUnchecked()
{
    Scratch s;
    auto w = start(s);
    setCheckValueOf(w->control("chkMirror"), 1);
    trigger(*w, "mnuFileSave");
    setCheckValueOf(w->control("chkMirror"), 0);
    setTextOf(w->control("txtLogFile"), u"lost.log"_s);
    trigger(*w, "mnuOptionsSaveOnExit");
    QVERIFY(!isChecked(*w, "mnuOptionsSaveOnExit"));
    finish(w);
    QCOMPARE(s.iniLine("mnuOptionsSaveOnExit"), QByteArray("mnuOptionsSaveOnExit=0"));
    QCOMPARE(s.iniLine("chkMirror"), QByteArray("chkMirror=1"));

    w = start(s);
    QVERIFY(!isChecked(*w, "mnuOptionsSaveOnExit"));
    QCOMPARE(valueOf(*w, u"chkMirror"_s), u"1"_s);
    QCOMPARE(valueOf(*w, u"txtLogFile"_s), QString());
}

void TestForm::autoCloseStoredAtExit()
{
    Scratch s;
    auto w = start(s);
    trigger(*w, "mnuOptionsAutoClose");
    QVERIFY(!isChecked(*w, "mnuOptionsAutoClose"));
    QVERIFY(s.iniLine("mnuOptionsAutoClose").isEmpty()); // only at exit
    finish(w);
    QCOMPARE(s.iniLine("mnuOptionsAutoClose"), QByteArray("mnuOptionsAutoClose=0"));
    w = start(s);
    QVERIFY(!isChecked(*w, "mnuOptionsAutoClose"));
    QVERIFY(isChecked(*w, "mnuOptionsSaveOnExit"));
    trigger(*w, "mnuOptionsAutoClose");
    QVERIFY(isChecked(*w, "mnuOptionsAutoClose"));
    finish(w);
    QCOMPARE(s.iniLine("mnuOptionsAutoClose"), QByteArray("mnuOptionsAutoClose=-1"));
}

// Like Auto-Close: toggled at once, stored at exit (also when the window
// state is not saved), read back as it was; a store without the key means
// checked.
void TestForm::previewStoredAtExit()
{
    Scratch s;
    auto w = start(s);
    trigger(*w, "mnuOptionsSaveOnExit");
    trigger(*w, "mnuOptionsPreview");
    QVERIFY(!isChecked(*w, "mnuOptionsPreview"));
    QVERIFY(s.iniLine("mnuOptionsPreview").isEmpty()); // only at exit
    finish(w);
    QCOMPARE(s.iniLine("mnuOptionsPreview"), QByteArray("mnuOptionsPreview=0"));
    w = start(s);
    QVERIFY(!isChecked(*w, "mnuOptionsPreview"));
    QVERIFY(isChecked(*w, "mnuOptionsAutoClose"));
    // File > Load Settings leaves the Options marks alone.
    trigger(*w, "mnuFileLoad");
    QVERIFY(!isChecked(*w, "mnuOptionsPreview"));
    trigger(*w, "mnuOptionsPreview");
    finish(w);
    QCOMPARE(s.iniLine("mnuOptionsPreview"), QByteArray("mnuOptionsPreview=-1"));

    s.writeIni("[Settings]\r\nSaveToINI=-1\r\nmnuOptionsAutoClose=0\r\n");
    w = start(s);
    QVERIFY(isChecked(*w, "mnuOptionsPreview"));
    QVERIFY(!isChecked(*w, "mnuOptionsAutoClose"));

    // Show Progress the same way, but a store without the key means unchecked.
    QVERIFY(!isChecked(*w, "mnuOptionsShowProgress"));
    trigger(*w, "mnuOptionsShowProgress");
    QVERIFY(isChecked(*w, "mnuOptionsShowProgress"));
    QVERIFY(s.iniLine("mnuOptionsShowProgress").isEmpty()); // only at exit
    finish(w);
    QCOMPARE(s.iniLine("mnuOptionsShowProgress"), QByteArray("mnuOptionsShowProgress=-1"));
    w = start(s);
    QVERIFY(isChecked(*w, "mnuOptionsShowProgress"));
    trigger(*w, "mnuOptionsShowProgress");
    finish(w);
    QCOMPARE(s.iniLine("mnuOptionsShowProgress"), QByteArray("mnuOptionsShowProgress=0"));
}

void TestForm::switchToUserStoreAndBack()
{
    Scratch s;
    MessageBoxCatcher boxes;
    auto w = start(s);
    setTextOf(w->control("txtLogFile"), u"ini.log"_s);
    finish(w);

    w = start(s);
    QCOMPARE(valueOf(*w, u"txtLogFile"_s), u"ini.log"_s);
    trigger(*w, "mnuOptionsUseIni");
    QVERIFY(!isChecked(*w, "mnuOptionsUseIni"));
    QCOMPARE(s.userValue(u"SaveToINI"_s), u"0"_s);
    setTextOf(w->control("txtLogFile"), u"user.log"_s);
    finish(w);
    QCOMPARE(s.userValue(u"txtLogFile"_s), u"user.log"_s);
    QCOMPARE(s.userValue(u"mnuOptionsSaveOnExit"_s), u"-1"_s);
    QCOMPARE(s.userValue(u"mnuOptionsAutoClose"_s), u"-1"_s);
    QCOMPARE(s.iniLine("txtLogFile"), QByteArray("txtLogFile=ini.log")); // keeps its older values

    w = start(s);
    QVERIFY(!isChecked(*w, "mnuOptionsUseIni"));
    QCOMPARE(valueOf(*w, u"txtLogFile"_s), u"user.log"_s);
    trigger(*w, "mnuOptionsUseIni");
    QVERIFY(isChecked(*w, "mnuOptionsUseIni"));
    QVERIFY(!s.userHas(u"SaveToINI"_s));
    QCOMPARE(valueOf(*w, u"txtLogFile"_s), u"user.log"_s); // nothing is reloaded
    finish(w);
    QCOMPARE(s.iniLine("txtLogFile"), QByteArray("txtLogFile=user.log"));

    w = start(s);
    QVERIFY(isChecked(*w, "mnuOptionsUseIni"));
    QCOMPARE(valueOf(*w, u"txtLogFile"_s), u"user.log"_s);
    QVERIFY2(boxes.boxes.isEmpty(), qPrintable(boxes.describe()));
}

void TestForm::switchWithoutSaveOnExit()
{
    Scratch s;
    auto w = start(s);
    setTextOf(w->control("txtLogFile"), u"ini.log"_s);
    trigger(*w, "mnuFileSave");
    trigger(*w, "mnuOptionsSaveOnExit");
    trigger(*w, "mnuOptionsUseIni");
    finish(w);
    QCOMPARE(s.userValue(u"mnuOptionsSaveOnExit"_s), u"0"_s);
    QCOMPARE(s.userValue(u"mnuOptionsAutoClose"_s), u"-1"_s);
    QVERIFY(!s.userHas(u"txtLogFile"_s));

    w = start(s);
    QVERIFY(!isChecked(*w, "mnuOptionsUseIni"));
    QVERIFY(!isChecked(*w, "mnuOptionsSaveOnExit"));
    QCOMPARE(valueOf(*w, u"txtLogFile"_s), QString()); // the per-user store held nothing yet
}

void TestForm::unwritableIniLocation()
{
    Scratch s;
    s.blockIni();
    MessageBoxCatcher boxes;
    auto w = start(s);
    QVERIFY(!isChecked(*w, "mnuOptionsUseIni"));
    trigger(*w, "mnuOptionsUseIni"); // the store cannot follow, and the mark shows it
    QVERIFY(!isChecked(*w, "mnuOptionsUseIni"));
    QVERIFY(!w->settings()->SaveToINI());
    setTextOf(w->control("txtLogFile"), u"kept.log"_s);
    finish(w);
    QCOMPARE(s.userValue(u"txtLogFile"_s), u"kept.log"_s);
    QVERIFY(QFileInfo(s.iniPath()).isDir());

    w = start(s);
    QCOMPARE(valueOf(*w, u"txtLogFile"_s), u"kept.log"_s);
    QVERIFY2(boxes.boxes.isEmpty(), qPrintable(boxes.describe()));
}

void TestForm::loadShowsStoreMode()
{
    Scratch s;
    auto w = start(s);
    QVERIFY(isChecked(*w, "mnuOptionsUseIni"));
    // The program folder became read-only while the program ran.
    QVERIFY(QFile::remove(s.iniPath()));
    s.blockIni();
    trigger(*w, "mnuFileLoad");
    QVERIFY(!w->settings()->SaveToINI());
    QVERIFY(!isChecked(*w, "mnuOptionsUseIni"));
}

void TestForm::saveFallsBackWhenIniRefuses_data()
{
    QTest::addColumn<bool>("atExit");
    QTest::addColumn<bool>("duringWrite"); // the file's place is taken while the save writes, else before
    QTest::newRow("File > Save Settings") << false << false;
    QTest::newRow("save at exit") << true << false;
    QTest::newRow("File > Save Settings, the last step refused") << false << true;
}

// The INI file stops taking writes while the program runs: the save goes
// whole to the per-user store, and the next start finds it there.
void TestForm::saveFallsBackWhenIniRefuses()
{
    QFETCH(bool, atExit);
    QFETCH(bool, duringWrite);
    Scratch s;
    MessageBoxCatcher boxes;
    auto w = start(s);
    QVERIFY(isChecked(*w, "mnuOptionsUseIni"));
    setTextOf(w->control("txtLogFile"), u"kept.log"_s);
    setCheckValueOf(w->control("chkMirror"), 1);
    trigger(*w, "mnuOptionsAutoClose");
    // A folder where the file is: nothing reads or writes it. Put there
    // after the new file is written, it makes the rename that would replace
    // the old file fail, the last step of the save.
    const auto takePlace = [&s] {
        QVERIFY(QFile::remove(s.iniPath()));
        s.blockIni();
    };
    int commits = 0;
    const ScopedHook<std::function<void()>> hook{setIniCommitHook, [&] {
        if (duringWrite && commits++ == 0)
            takePlace();
    }};
    if (!duringWrite)
        takePlace();

    if (!atExit) {
        trigger(*w, "mnuFileSave");
        QVERIFY(!isChecked(*w, "mnuOptionsUseIni"));
        QVERIFY(!w->settings()->SaveToINI());
        QCOMPARE(s.userValue(u"txtLogFile"_s), u"kept.log"_s);
        QCOMPARE(s.userValue(u"SaveToINI"_s), u"0"_s);
        QCOMPARE(commits, int(duringWrite));
        // No new file is left beside it.
        QCOMPARE(QDir(s.dir.path()).entryList({u"Settings.ini*"_s}, QDir::Files | QDir::Hidden), QStringList());
        setTextOf(w->control("txtLogFile"), u"later.log"_s);
    }
    finish(w);
    const QString logFile = atExit ? u"kept.log"_s : u"later.log"_s;
    QCOMPARE(s.userValue(u"txtLogFile"_s), logFile);
    QCOMPARE(s.userValue(u"chkMirror"_s), u"1"_s);
    QCOMPARE(s.userValue(u"mnuOptionsAutoClose"_s), u"0"_s);
    QCOMPARE(s.userValue(u"SaveToINI"_s), u"0"_s);
    QVERIFY2(boxes.boxes.isEmpty(), qPrintable(boxes.describe()));

    w = start(s);
    QVERIFY(!isChecked(*w, "mnuOptionsUseIni"));
    QVERIFY(!isChecked(*w, "mnuOptionsAutoClose"));
    QCOMPARE(valueOf(*w, u"txtLogFile"_s), logFile);
    QCOMPARE(valueOf(*w, u"chkMirror"_s), u"1"_s);
}

void TestForm::exitClosesAboutWindow()
{
    Scratch s;
    auto w = start(s);
    w->show();
    QWidget about;
    about.setObjectName(u"frmHelp"_s);
    about.show();
    setCheckValueOf(w->control("chkPurge"), 1);
    trigger(*w, "mnuFileExit");
    QVERIFY(!w->isVisible());
    QVERIFY(!about.isVisible());
    QCOMPARE(s.iniLine("chkPurge"), QByteArray("chkPurge=1"));
}

void TestForm::saveFailureIsReported()
{
#ifdef Q_OS_WIN
    QSKIP("needs a per-user store that cannot be written; the registry always can be");
#endif
    Scratch s;
    s.blockIni();
    // The per-user store's folder would have to be made inside a file.
    const QString userDir = QFileInfo(s.userPath()).path();
    {
        QFile blocker(userDir);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
    }
    MessageBoxCatcher boxes;
    auto w = start(s);
    QVERIFY(!isChecked(*w, "mnuOptionsUseIni"));
    QVERIFY2(boxes.boxes.isEmpty(), qPrintable(boxes.describe()));

    trigger(*w, "mnuFileSave");
    QCOMPARE(boxes.boxes.size(), 1);
    QCOMPARE(boxes.boxes[0].style, 16);
    QCOMPARE(boxes.boxes[0].title, u"Corvane"_s);
    QVERIFY2(boxes.boxes[0].prompt.startsWith(u"Error: "), qPrintable(boxes.boxes[0].prompt));
    QVERIFY2(boxes.boxes[0].prompt.endsWith(u" 75"), qPrintable(boxes.boxes[0].prompt));

    finish(w); // the save at exit fails as well, once, and the window still closes
    QCOMPARE(boxes.boxes.size(), 2);
    QCOMPARE(boxes.boxes[1].style, 16);
}

// A Settings.ini too large to read is told of in the INI function's own
// words, once for a whole save, and the save goes to the per-user store.
void TestForm::damagedIniFileIsReported()
{
    Scratch s;
    auto w = start(s);
    QVERIFY(isChecked(*w, "mnuOptionsUseIni"));
    {
        QFile f(s.iniPath());
        QVERIFY(f.resize(kMaxIniFileSize + 1)); // sparse: costs no disk
    }
    MessageBoxCatcher boxes;
    trigger(*w, "mnuFileSave");
    QCOMPARE(boxes.boxes.size(), 1);
    QCOMPARE(boxes.boxes[0].title, u"INIWriteSetting"_s);
    QCOMPARE(boxes.boxes[0].style, 0);
    QVERIFY2(boxes.boxes[0].prompt.startsWith(u"Error: 7. ") && boxes.boxes[0].prompt.size() > 10,
             qPrintable(boxes.boxes[0].prompt));

    QVERIFY(!isChecked(*w, "mnuOptionsUseIni"));
    QCOMPARE(s.userValue(u"chkMirror"_s), u"0"_s);

    // The store stays with the per-user store, and the file is not read again.
    trigger(*w, "mnuFileLoad");
    QCOMPARE(boxes.boxes.size(), 1);
    QVERIFY(!isChecked(*w, "mnuOptionsUseIni"));
    QCOMPARE(QFileInfo(s.iniPath()).size(), kMaxIniFileSize + 1);
}

// ---- Damaged settings files

void TestForm::badInput_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("expect"); // name=value

    std::mt19937 random(20261207);
    QByteArray binary(64 * 1024, '\0');
    for (char &c : binary)
        c = char(random() & 0xff);
    const QByteArray megabytes(6 * 1024 * 1024, 'm');
    const QByteArray twoMegabytes = megabytes.left(2 * 1024 * 1024);

    QTest::newRow("empty") << QByteArray() << QStringList{u"chkData=1"_s, u"txtThreadsCount="_s};
    QTest::newRow("binary") << binary << QStringList{u"chkData=1"_s};
    QTest::newRow("binary then settings") << binary + "\r\n[Settings]\r\nchkMirror=1\r\n"
                                          << QStringList{u"chkMirror=1"_s};
#ifdef Q_OS_WIN
    const QString purgeAfterNul = u"chkPurge=1"_s; // the code page conversion drops a NUL at the end
#else
    const QString purgeAfterNul = u"chkPurge=0"_s;
#endif
    QTest::newRow("NUL bytes") << bytes("\0\0\0\r\n[Settings]\r\nchkMirror=1\r\nchkPurge=1\0\r\ntxtLogFile=a.log\r\n")
                               << QStringList{u"chkMirror=1"_s, purgeAfterNul, u"txtLogFile=a.log"_s};
    QTest::newRow("UTF-8 byte-order mark")
        << QByteArray("\xEF\xBB\xBF[Settings]\r\nchkMirror=1\r\ntxtLogFile=Gr\xC3\xBC\xC3\x9F" "e.log\r\n")
        << QStringList{u"chkMirror=1"_s, u"txtLogFile=Grüße.log"_s};
    QTest::newRow("LF only") << QByteArray("[Settings]\nchkMirror=1\ntxtLogFile=a.log\n")
                             << QStringList{u"chkMirror=1"_s, u"txtLogFile=a.log"_s};
    QTest::newRow("lines of megabytes")
        << settingsFile("junk=" + megabytes + "\r\nchkMirror=1\r\ntxtExcludeFiles=" + twoMegabytes + "\r\n" +
                        megabytes + "\r\nchkPurge=1\r\n")
        << QStringList{u"chkMirror=1"_s, u"chkPurge=1"_s, u"txtExcludeFiles="_s + QString::fromLatin1(twoMegabytes)};
    const QByteArray longest(32767, 'l');
    QTest::newRow("texts beyond a line edit's default limit")
        << settingsFile("txtExcludeFiles=" + longest + "\r\ntxtExcludeFolders=" + longest + "x\r\ncboSource_0=" +
                        longest + "\r\ncboSource_1=" + longest + "x\r\ncboSource_2=c\r\ncboSource=" + longest + "x\r\n")
        << QStringList{u"txtExcludeFiles="_s + QString(longest), u"txtExcludeFolders="_s + QString(longest) + u'x',
                       u"cboSource="_s + QString(longest) + u'x'};
    QTest::newRow("no section header") << QByteArray("chkMirror=1\r\ntxtLogFile=a.log\r\n")
                                       << QStringList{u"chkMirror=0"_s, u"txtLogFile="_s};
    QTest::newRow("duplicate keys") << settingsFile("chkMirror=1\r\nchkMirror=0\r\ntxtLogFile=a\r\ntxtLogFile=b\r\n")
                                    << QStringList{u"chkMirror=1"_s, u"txtLogFile=a"_s};
    QTest::newRow("other letter case") << QByteArray("[sETTINGS]\r\nCHKMIRROR=1\r\ntxtlogfile=a.log\r\n")
                                       << QStringList{u"chkMirror=1"_s, u"txtLogFile=a.log"_s};
    QTest::newRow("values that fit no control")
        << settingsFile("chkMirror=yes\r\nchkData=7\r\nchkPurge=-1\r\nchkSubdirectories=1.5\r\n"
                        "txtThreadsCount=many\r\ncboSource_0=\r\ncboSource_1=x\r\ncboSource=C:\\x\r\n")
        << QStringList{u"chkMirror=0"_s, u"chkData=1"_s, u"chkPurge=0"_s, u"chkSubdirectories=0"_s,
                       u"txtThreadsCount=many"_s, u"cboSource=C:\\x"_s};
}

void TestForm::badInput()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, expect);

    Scratch s;
    s.writeIni(file);
    MessageBoxCatcher boxes;
    auto w = start(s);
    QVERIFY(isChecked(*w, "mnuOptionsUseIni"));
    for (const QString &e : expect) {
        const qsizetype eq = e.indexOf(u'=');
        QCOMPARE(e.left(eq) + u'=' + valueOf(*w, e.left(eq)), e);
    }
    QVERIFY(commandIsCurrent(*w));
    QVERIFY2(boxes.boxes.isEmpty(), qPrintable(boxes.describe()));

    // Every line of the damaged file is still there after the probe wrote to it.
    const QByteArray after = s.ini();
    QVERIFY(after.contains("SaveToINI=-1" + lineEndOf(file)));
    qsizetype from = 0;
    for (QByteArray line : file.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        const qsizetype at = after.indexOf(line, from);
        QVERIFY2(at >= 0, line.left(40).toHex().constData());
        from = at + line.size();
    }
    finish(w);
    QVERIFY2(boxes.boxes.isEmpty(), qPrintable(boxes.describe()));
}

QTEST_MAIN(TestForm)
#include "test_form.moc"
