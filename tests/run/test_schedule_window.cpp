// File > Schedule Command and File > Scheduled Commands through their real
// widgets: bad input is told and changes nothing; a schedule is made, listed
// with its next run, run at once, read back into the window, changed and
// deleted, with the real crontab, corvane-cmd and corvane-copy.
#include "main_window/Controls.h"
#include "main_window/frmCorvane.h"
#include "run/Scheduler.h"
#include "run/basShell.h"
#include "run/frmSchedule.h"
#include "run/frmSchedules.h"

#include "ScopedHook.h"
#include "ThrowawayUser.h"
#include "WindowTest.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

using namespace Qt::Literals::StringLiterals;

namespace {

// Answers the schedule dialogs in turn, each with the next step; a dialog
// with no step left is cancelled.
class DialogScript
{
public:
    using Step = std::function<void(QDialog &dialog)>;
    QList<Step> steps;
    int shown = 0;

private:
    ScopedHook<ScheduleDialogExec> m_hook{SetScheduleDialogExec, [this](QDialog &dialog) {
        const Step step = shown < steps.size() ? steps.at(shown) : Step([](QDialog &d) { d.reject(); });
        ++shown;
        QTimer::singleShot(0, &dialog, [step, &dialog] { step(dialog); });
        return dialog.exec();
    }};
};

void type(QLineEdit *edit, const QString &text)
{
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

void press(QAbstractButton *button) { QTest::mouseClick(button, Qt::LeftButton); }

[[maybe_unused]] QStringList rowOf(const QTreeWidget *list, int row)
{
    QStringList texts;
    for (int column = 0; column < list->columnCount(); ++column)
        texts << list->topLevelItem(row)->text(column);
    return texts;
}

} // namespace

class TestScheduleWindow : public WindowTest
{
    Q_OBJECT

private slots:
    void badInput_data();
    void badInput();
    void wholeRound();

private:
    QTemporaryDir m_dir;
    const ScopedHook<QString> m_console{SetConsoleProgram, QStringLiteral(CORVANE_BINARY_DIR "/corvane-cmd")};
};

void TestScheduleWindow::badInput_data()
{
    QTest::addColumn<QString>("command"); // empty: the window's
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("time");
    QTest::addColumn<bool>("weekly"); // no day chosen
    QTest::addColumn<QString>("scheduler"); // "none", or the one that holds "Taken"
    QTest::addColumn<QString>("message");
#ifdef Q_OS_WIN
    const QString none = u"could not be started"_s;
#else
    const QString none = u"found no scheduler"_s;
#endif
    QTest::newRow("empty command") << u" "_s << u"N"_s << u"02:30"_s << false << u"taken"_s << u"the command is empty"_s;
    QTest::newRow("no Robocopy") << u"echo hello"_s << u"N"_s << u"02:30"_s << false << u"taken"_s
                                 << u"holds no Robocopy command"_s;
    QTest::newRow("Robocopy in a loop") << u"for %d in (a b) do ROBOCOPY.EXE %d x"_s << u"N"_s << u"02:30"_s << false
                                        << u"taken"_s << u"for"_s;
    QTest::newRow("no name") << QString() << QString() << u"02:30"_s << false << u"taken"_s
                             << u"Give the schedule a name."_s;
    QTest::newRow("a name no scheduler takes") << QString() << u"a/b"_s << u"02:30"_s << false << u"taken"_s
                                               << u"\u201C/\u201D"_s;
    QTest::newRow("a name taken") << QString() << u"taken"_s << u"02:30"_s << false << u"taken"_s
                                  << u"exists already"_s;
    QTest::newRow("24:00") << QString() << u"N"_s << u"24:00"_s << false << u"taken"_s << u"no time of day"_s;
    QTest::newRow("half past seven, written 7.30") << QString() << u"N"_s << u"7.30"_s << false << u"taken"_s
                                                   << u"no time of day"_s;
    QTest::newRow("weekly without a day") << QString() << u"N"_s << u"02:30"_s << true << u"taken"_s
                                          << u"at least one day"_s;
    QTest::newRow("no scheduler at all") << QString() << u"N"_s << u"02:30"_s << false << u"none"_s << none;
}

void TestScheduleWindow::badInput()
{
    QFETCH(QString, command);
    QFETCH(QString, name);
    QFETCH(QString, time);
    QFETCH(bool, weekly);
    QFETCH(QString, scheduler);
    QFETCH(QString, message);
    // The system answers from a script; any call that could change it is recorded.
    QStringList changes;
    const ScopedHook<ScheduleProcessRunner> runner(
        SetScheduleProcessRunner, [&](const QString &program, const QStringList &arguments) {
            ProcessOutcome outcome{scheduler != u"none", 0, {}, {}};
            const QString call = arguments.join(u' ');
            if (call.contains(u"list-unit-files"_s))
                outcome.output = "corvane-Taken.timer enabled enabled\n";
            else if (call.startsWith(u"--user show --property=Id"_s))
                outcome.output = "Id=corvane-Taken.timer\nNextElapseUSecRealtime=\nFragmentPath=/nowhere\n";
            else if (call.startsWith(u"/query"_s))
                outcome.output = "\"PC\",\"\\Corvane\\Taken\",\"N/A\",\"Ready\",\"\",\"N/A\",\"267011\",\"\",\"cmd.exe\",\"\"\r\n";
            else if (outcome.started && !call.contains(u"--property=Version"_s) && call != u"-l")
                changes << program + u' ' + call;
            return outcome;
        });
    const QString folder = m_dir.filePath(u"Schedules"_s);
    const ScopedHook<SchedulerSetupHook> setup(SetSchedulerSetupHook, [&folder](SchedulerSetup &s) { s.folder = folder; });

    auto w = newWindow();
    QVERIFY(setTextOf(w->control("cboSource"), m_dir.filePath(u"src"_s)));
    QVERIFY(setTextOf(w->control("cboDestination"), m_dir.filePath(u"dst"_s)));
    DialogScript script;
    script.steps << [&](QDialog &dialog) {
        auto &d = static_cast<frmSchedule &>(dialog);
        QCOMPARE(d.txtCommand()->toPlainText(), commandOf(*w));
        if (!command.isNull()) {
            d.txtCommand()->selectAll();
            QTest::keyClicks(d.txtCommand(), command);
        }
        type(d.txtName(), name);
        type(d.txtTime(), time);
        if (weekly)
            press(d.optWeekly());
        press(d.cmdCreate());
        // Told, and still open for another try.
        QVERIFY(d.isVisible());
        press(d.cmdCancel());
    };
    trigger(*w, "mnuFileSchedule");
    QCOMPARE(script.shown, 1);
    QCOMPARE(shown().size(), 1);
    QVERIFY2(shown().at(0).prompt.contains(message), qPrintable(describeShown()));
    QCOMPARE(shown().at(0).style, int(vbExclamation));
    QCOMPARE(changes, QStringList());
    QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList());
}

void TestScheduleWindow::wholeRound()
{
#ifdef Q_OS_WIN
    QSKIP("Wine's schtasks neither lists nor runs tasks: the Task Scheduler is tried in test_schedule");
#else
    const ThrowawayUser user;
    if (user.name().isEmpty())
        QSKIP("the real crontab is tried as root, on a user made for the test (scripts/install-deps.sh brings cron)");
    const QString src = m_dir.filePath(u"the source"_s);
    const QString dst = m_dir.filePath(u"R & D copy"_s);
    QVERIFY(QDir().mkpath(src + u"/sub"_s) && QDir().mkpath(dst));
    QFile file(src + u"/sub/a.txt"_s);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("alpha") == 5);
    file.close();
    // Without a systemd user instance: the crontab of the test's own user.
    const ScopedHook<SchedulerSetupHook> setup(SetSchedulerSetupHook, [&user, this](SchedulerSetup &s) {
        s.systemctl = m_dir.filePath(u"no-systemctl"_s);
        s.crontab = {u"crontab"_s, u"-u"_s, user.name()};
    });
    auto w = newWindow();
    QVERIFY(setTextOf(w->control("cboSource"), src));
    QVERIFY(setTextOf(w->control("cboDestination"), dst));
    click(*w, "chkSubdirectories");
    const QString command = commandOf(*w);
    const QString log = settingsFolder() + u"/Schedules/Nightly.log"_s;

    DialogScript script;
    script.steps << [](QDialog &dialog) {
        auto &d = static_cast<frmSchedule &>(dialog);
        type(d.txtName(), u"Nightly"_s);
        press(d.optWeekly());
        press(d.chkDay(1));
        press(d.chkDay(4));
        type(d.txtTime(), u"2:30"_s);
        press(d.chkReachable());
        QVERIFY(d.lblFiles()->text().contains(u"Nightly.cmd"_s));
        press(d.cmdCreate());
    };
    trigger(*w, "mnuFileSchedule");
    QCOMPARE(shown().size(), 1);
    QVERIFY2(shown().at(0).prompt.contains(u"your crontab"_s) && shown().at(0).prompt.contains(u"Mon, Thu at 02:30"_s),
             qPrintable(describeShown()));
    QVERIFY2(user.crontab().contains(u"\n30 2 * * 1,4 [ -d '"_s), qPrintable(user.crontab()));

    // Listed with its next run; run at once; read back into the window.
    QVERIFY(setTextOf(w->control("cboSource"), u"/elsewhere"_s));
    const QString next = NextRun(ScheduleSpec{u"Nightly"_s, ScheduleKind::Weekly, QTime(2, 30), DayBit(1) | DayBit(4)},
                                 QDateTime::currentDateTime())
                             .toString(u"yyyy-MM-dd HH:mm"_s);
    script.steps << [&](QDialog &dialog) {
        auto &d = static_cast<frmSchedules &>(dialog);
        QCOMPARE(d.lstSchedules()->topLevelItemCount(), 1);
        QCOMPARE(rowOf(d.lstSchedules(), 0),
                 (QStringList{u"Nightly"_s, u"Mon, Thu at 02:30"_s, command, next, u"never"_s, QString(), log}));
        press(d.cmdRunNow());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(dst + u"/sub/a.txt"_s), 30000);
        QTRY_VERIFY_WITH_TIMEOUT((press(d.cmdRefresh()), d.lstSchedules()->topLevelItem(0)->text(frmSchedules::ColResult)
                                                             == u"1: One or more files copied successfully."_s),
                                 30000);
        QVERIFY(d.lstSchedules()->topLevelItem(0)->text(frmSchedules::ColLastRun) != u"never"_s);
        press(d.cmdOpen());
    };
    trigger(*w, "mnuFileSchedules");
    QCOMPARE(w->text("cboSource"), src);
    QCOMPARE(commandOf(*w), command);

    // Changed through Edit, then deleted.
    boxes().yesNoReply = vbYes;
    script.steps << [](QDialog &dialog) {
        auto &d = static_cast<frmSchedules &>(dialog);
        press(d.cmdEdit());
        QCOMPARE(d.lstSchedules()->topLevelItem(0)->text(frmSchedules::ColWhen), u"Mon, Thu at 03:45"_s);
        press(d.cmdDelete());
        QCOMPARE(d.lstSchedules()->topLevelItemCount(), 0);
        QVERIFY(d.lblScheduler()->text().contains(u"There is no schedule"_s));
        press(d.cmdClose());
    };
    script.steps << [](QDialog &dialog) {
        auto &d = static_cast<frmSchedule &>(dialog);
        QVERIFY(d.optWeekly()->isChecked() && d.chkDay(4)->isChecked() && d.chkReachable()->isChecked());
        QCOMPARE(d.txtTime()->text(), u"02:30"_s);
        type(d.txtTime(), u"03:45"_s);
        press(d.cmdCreate());
    };
    trigger(*w, "mnuFileSchedules");
    QCOMPARE(script.shown, 4);
    QVERIFY2(!user.crontab().contains(u"Corvane"_s), qPrintable(user.crontab()));
    QVERIFY(!QFileInfo::exists(settingsFolder() + u"/Schedules/Nightly.cmd"_s));
    QVERIFY(QFileInfo::exists(log));
#endif
}

QTEST_MAIN(TestScheduleWindow)
#include "test_schedule_window.moc"
