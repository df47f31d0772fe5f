// Closing the window: everything is saved and the settings store released
// before the program may end, and where it ends there (Windows) nothing is
// taken down before.
#include "main_window/Controls.h"
#include "main_window/frmCorvane.h"
#include "run/frmHelp.h"
#include "settings/CSettings.h"

#include "WindowTest.h"

#include <QAction>
#include <QFile>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

class TestShutdown : public WindowTest
{
    Q_OBJECT

private slots:
    void endsOnlyWhenAllIsSaved_data();
    void endsOnlyWhenAllIsSaved();
    void withoutAnEndTheWindowsClose();
};

void TestShutdown::endsOnlyWhenAllIsSaved_data()
{
    QTest::addColumn<bool>("saveOnExit");
    QTest::addColumn<bool>("loaded");
    QTest::newRow("saving on exit") << true << true;
    QTest::newRow("not saving on exit") << false << true;
    QTest::newRow("a window that never loaded") << true << false;
}

void TestShutdown::endsOnlyWhenAllIsSaved()
{
    QFETCH(bool, saveOnExit);
    QFETCH(bool, loaded);
    auto w = newWindow();
    if (loaded)
        w->Form_Load();
    QVERIFY(setCheckValueOf(w->control("chkMirror"), 1));
    w->menuItem("mnuOptionsSaveOnExit")->setChecked(saveOnExit);
    w->show();
    w->menuItem("mnuHelpAbout")->trigger();
    QVERIFY(frmHelp::Current());

    int ends = 0;
    QString saved;
    bool storeReleased = false;
    bool aboutStillOpen = false;
    w->SetEndAtClose([&] {
        ++ends;
        QFile ini(settingsFolder() + u"/Settings.ini"_s);
        saved = ini.open(QIODevice::ReadOnly) ? QString::fromUtf8(ini.readAll()) : QString();
        storeReleased = w->settings() == nullptr;
        aboutStillOpen = frmHelp::Current() && frmHelp::Current()->isVisible();
    });
    w->menuItem("mnuFileExit")->trigger();

    QCOMPARE(ends, 1);
    QVERIFY(storeReleased);
    // The program ends with every window still up: they go with it at once.
    QVERIFY(aboutStillOpen);
    if (loaded) {
        QCOMPARE(saved.contains(u"chkMirror=1"_s), saveOnExit);
        QVERIFY2(saved.contains(saveOnExit ? u"mnuOptionsSaveOnExit=-1"_s : u"mnuOptionsSaveOnExit=0"_s), qPrintable(saved));
        QVERIFY2(saved.contains(u"SaveToINI=-1"_s), qPrintable(saved));
    } else {
        QVERIFY(saved.isEmpty()); // nothing of the user's to keep
    }
    // Where the end returns (only here), the window goes on closing as ever.
    QVERIFY(!frmHelp::Current() || !frmHelp::Current()->isVisible());
    QVERIFY(!w->isVisible());
}

void TestShutdown::withoutAnEndTheWindowsClose()
{
    auto w = newWindow();
    w->Form_Load();
    w->show();
    w->menuItem("mnuHelpAbout")->trigger();
    QVERIFY(frmHelp::Current());
    w->menuItem("mnuFileExit")->trigger();
    QVERIFY(!w->isVisible());
    QVERIFY(!frmHelp::Current() || !frmHelp::Current()->isVisible());
    QVERIFY(w->settings()); // released with the window
}

QTEST_MAIN(TestShutdown)
#include "test_shutdown.moc"
