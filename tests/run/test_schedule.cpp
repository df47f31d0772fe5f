// Scheduled commands: what each scheduler is given and reads back, the
// real tools judging it (systemd-analyze, crontab, Wine's schtasks and
// cmd.exe), and a scheduled run started as its unit states it.
#include "command/CommandFileText.h"
#include "console/BatchRun.h"
#include "run/ScheduleCron.h"
#include "run/ScheduleSystemd.h"
#include "run/ScheduleTask.h"
#include "run/Scheduler.h"

#include "RecordingRobocopy.h"
#include "ScopedHook.h"
#include "ThrowawayUser.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>
#include <QXmlStreamReader>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <sys/file.h>
#include <unistd.h>
#endif

using namespace Qt::Literals::StringLiterals;

namespace {

struct Ran
{
    int code = -1;
    QString output;
};

[[maybe_unused]] Ran runTool(const QString &program, const QStringList &arguments, const QStringList &environment = {},
            const QString &folder = QString())
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString &pair : environment)
        env.insert(pair.section(u'=', 0, 0), pair.section(u'=', 1));
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(folder);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(program, arguments);
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit)
        return {};
    return {p.exitCode(), QString::fromLocal8Bit(p.readAll())};
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

ScheduleSpec spec(ScheduleKind kind, QTime time, WeekDays days = 0, int hours = 4)
{
    ScheduleSpec s;
    s.kind = kind;
    s.time = time;
    s.days = days;
    s.hours = hours;
    return s;
}

// The leaves of an XML text: "Parent/Element=text", and for an empty
// element "Parent/Element".
QStringList leaves(const QString &xml)
{
    QStringList found;
    QXmlStreamReader r(xml);
    QStringList path;
    QString text;
    while (!r.atEnd()) {
        switch (r.readNext()) {
        case QXmlStreamReader::StartElement:
            path << r.name().toString();
            text.clear();
            break;
        case QXmlStreamReader::Characters:
            text += r.text();
            break;
        case QXmlStreamReader::EndElement:
            found << path.mid(path.size() - 2).join(u'/') + (text.trimmed().isEmpty() ? QString() : u'=' + text);
            path.removeLast();
            text.clear();
            break;
        default:
            break;
        }
    }
    if (r.hasError())
        found << u"error: "_s + r.errorString();
    return found;
}

// Answers the scheduler's calls to systemctl and records them.
struct ScriptedSystemctl
{
    QStringList calls;
    QString failing;         // the call that fails ("enable"), or none
    QByteArray unitFiles;    // list-unit-files' answer
    QByteArray shown;        // show's answer

    ScheduleProcessRunner runner()
    {
        return [this](const QString &, const QStringList &arguments) {
            const QString call = arguments.mid(1).join(u' ');
            calls << call;
            ProcessOutcome outcome{true, 0, {}, {}};
            if (!failing.isEmpty() && call.startsWith(failing)) {
                outcome.exitCode = 1;
                outcome.errors = "Failed to " + failing.toUtf8() + ": Access denied";
            } else if (call.startsWith(u"list-unit-files")) {
                outcome.output = unitFiles;
            } else if (call.startsWith(u"show --property=Id")) {
                outcome.output = shown;
            }
            return outcome;
        };
    }
};

} // namespace

class TestSchedule : public QObject
{
    Q_OBJECT

private slots:
    void names_data();
    void names();
    void times_data();
    void times();
    void schedules_data();
    void schedules();
    void taskXml_data();
    void taskXml();
    void taskListing();
    void crontabBlock();
    void units();
    void batchRun();
    void systemdCalls_data();
    void systemdCalls();
    void realCrontab();
    void taskScheduler();

private:
    QTemporaryDir m_scratch;
};

void TestSchedule::names_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("refusal"); // a part of the message; empty: taken
    QTest::newRow("plain") << u"Nightly backup"_s << QString();
    QTest::newRow("letters beyond ASCII, parentheses") << u"Sicherung B\u00fcro (2)"_s << QString();
    QTest::newRow("a device's name inside a word") << u"Console"_s << QString();
    QTest::newRow("empty") << QString() << u"Give the schedule a name."_s;
    QTest::newRow("blanks only") << u"   "_s << u"Give the schedule a name."_s;
    QTest::newRow("leading blank") << u" x"_s << u"starts or ends with a blank"_s;
    QTest::newRow("slash") << u"a/b"_s << u"\u201C/\u201D"_s;
    QTest::newRow("percent sign") << u"50%"_s << u"\u201C%\u201D"_s;
    QTest::newRow("colon") << u"C:x"_s << u"\u201C:\u201D"_s;
    QTest::newRow("tab") << u"a\tb"_s << u"a control character"_s;
    QTest::newRow("51 characters") << QString(51, u'a') << u"at most 50"_s;
    QTest::newRow("50 letters of two bytes, too long for systemd") << QString(50, u'\u00fc') << u"systemd unit"_s;
    QTest::newRow("final dot") << u"ends."_s << u"ends with a dot"_s;
    QTest::newRow("device") << u"con"_s << u"Windows device"_s;
    QTest::newRow("device with an extension") << u"LPT1.log"_s << u"Windows device"_s;
}

void TestSchedule::names()
{
    QFETCH(QString, name);
    QFETCH(QString, refusal);
    const QString said = NameRefusal(name);
    if (refusal.isEmpty())
        QVERIFY2(said.isEmpty(), qPrintable(said));
    else
        QVERIFY2(said.contains(refusal), qPrintable(said));
    // Whatever is taken makes a unit name systemd takes back as the same name.
    if (said.isEmpty())
        QCOMPARE(ScheduleNameOfUnit(TimerUnitName(name)), std::optional<QString>(name));
}

void TestSchedule::times_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("time"); // HH:mm, empty when refused
    QTest::newRow("one digit hour") << u"2:30"_s << u"02:30"_s;
    QTest::newRow("blanks around") << u" 7:05 "_s << u"07:05"_s;
    QTest::newRow("last minute") << u"23:59"_s << u"23:59"_s;
    QTest::newRow("midnight") << u"00:00"_s << u"00:00"_s;
    QTest::newRow("24:00") << u"24:00"_s << QString();
    QTest::newRow("minute 60") << u"12:60"_s << QString();
    QTest::newRow("a dot") << u"7.30"_s << QString();
    QTest::newRow("one digit minute") << u"2:3"_s << QString();
    QTest::newRow("seconds") << u"1:02:03"_s << QString();
    QTest::newRow("negative") << u"-1:30"_s << QString();
    QTest::newRow("fullwidth digits") << u"\uff10\uff12:\uff13\uff10"_s << QString();
    QTest::newRow("empty") << QString() << QString();
}

void TestSchedule::times()
{
    QFETCH(QString, text);
    QFETCH(QString, time);
    const std::optional<QTime> read = ParseTimeOfDay(text);
    QCOMPARE(read ? read->toString(u"HH:mm"_s) : QString(), time);
}

void TestSchedule::schedules_data()
{
    QTest::addColumn<ScheduleSpec>("given");
    QTest::addColumn<QString>("onCalendar");
    QTest::addColumn<QString>("cron");
    QTest::addColumn<QString>("described");
    QTest::addColumn<QTime>("readBack"); // the time read back: every n hours, the day's first run
    using K = ScheduleKind;
    const WeekDays monWedFri = DayBit(1) | DayBit(3) | DayBit(5);
    QTest::newRow("daily") << spec(K::Daily, {2, 30}) << u"*-*-* 02:30:00"_s << u"30 2 * * *"_s
                           << u"Daily at 02:30"_s << QTime(2, 30);
    QTest::newRow("weekly") << spec(K::Weekly, {23, 5}, monWedFri) << u"Mon,Wed,Fri *-*-* 23:05:00"_s
                            << u"5 23 * * 1,3,5"_s << u"Mon, Wed, Fri at 23:05"_s << QTime(23, 5);
    QTest::newRow("Sunday, cron's day 0") << spec(K::Weekly, {0, 0}, DayBit(7)) << u"Sun *-*-* 00:00:00"_s
                                          << u"0 0 * * 0"_s << u"Sun at 00:00"_s << QTime(0, 0);
    QTest::newRow("weekend") << spec(K::Weekly, {12, 0}, DayBit(6) | DayBit(7)) << u"Sat,Sun *-*-* 12:00:00"_s
                             << u"0 12 * * 0,6"_s << u"Sat, Sun at 12:00"_s << QTime(12, 0);
    QTest::newRow("every 4 hours from 13:15") << spec(K::EveryHours, {13, 15}, 0, 4) << u"*-*-* 01/4:15:00"_s
                                              << u"15 1-23/4 * * *"_s << u"Every 4 hours (01:15, 05:15, ...)"_s
                                              << QTime(1, 15);
    QTest::newRow("every hour") << spec(K::EveryHours, {0, 0}, 0, 1) << u"*-*-* 00/1:00:00"_s << u"0 0-23/1 * * *"_s
                                << u"Every 1 hours (00:00, 01:00, ...)"_s << QTime(0, 0);
    QTest::newRow("every 12 hours at 23:59") << spec(K::EveryHours, {23, 59}, 0, 12) << u"*-*-* 11/12:59:00"_s
                                             << u"59 11-23/12 * * *"_s << u"Every 12 hours (11:59, 23:59, ...)"_s
                                             << QTime(11, 59);
    // Refused: no expression is made of them.
    QTest::newRow("weekly without a day") << spec(K::Weekly, {2, 0}) << QString() << QString() << QString() << QTime();
    QTest::newRow("every 5 hours") << spec(K::EveryHours, {2, 0}, 0, 5) << QString() << QString() << QString()
                                   << QTime();
}

void TestSchedule::schedules()
{
    QFETCH(ScheduleSpec, given);
    QFETCH(QString, onCalendar);
    QFETCH(QString, cron);
    QFETCH(QString, described);
    QFETCH(QTime, readBack);
    if (onCalendar.isEmpty()) {
        QVERIFY(!ScheduleRefusal(given).isEmpty());
        QVERIFY(!NextRun(given, QDateTime::currentDateTime()).isValid());
        return;
    }
    QCOMPARE(ScheduleRefusal(given), QString());
    QCOMPARE(OnCalendar(given), onCalendar);
    QCOMPARE(CronTime(given), cron);
    QCOMPARE(DescribeSchedule(given), described);
    // Each scheduler's form reads back as the same schedule.
    ScheduleSpec expected = given;
    expected.time = readBack;
    QCOMPARE(ScheduleOfOnCalendar(onCalendar), std::optional<ScheduleSpec>(expected));
    expected.runMissed = false; // cron makes up no run
    QCOMPARE(ScheduleOfCronTime(cron), std::optional<ScheduleSpec>(expected));
    TaskDefinition task{given, u"HOST\\me"_s, u"C:\\S\\a.cmd"_s, u"C:\\S\\a.log"_s, u"C:\\Users\\me"_s, {2025, 3, 1}};
    expected.runMissed = true;
    QCOMPARE(ScheduleOfTaskXml(TaskXml(task)), std::optional<ScheduleSpec>(expected));

#ifdef Q_OS_WIN
    QSKIP("systemd-analyze judges the calendar expressions off Windows");
#else
    // systemd's own reading of the expression: the same runs as the schedule's.
    const QDateTime base(QDate(2024, 3, 30), QTime(22, 0), QTimeZone::utc()); // a Saturday
    const Ran ran = runTool(u"systemd-analyze"_s,
                            {u"calendar"_s, u"--iterations=6"_s, u"--base-time=@%1"_s.arg(base.toSecsSinceEpoch()), onCalendar},
                            {u"TZ=UTC"_s});
    QVERIFY2(ran.code == 0, qPrintable(ran.output));
    static const QRegularExpression elapse(u"(?:Next elapse|Iter\\. #\\d+): \\w+ (\\S+ \\S+) UTC"_s);
    QStringList systemd;
    for (auto it = elapse.globalMatch(ran.output); it.hasNext();)
        systemd << it.next().captured(1);
    QStringList ours;
    for (QDateTime at = base; ours.size() < 6;)
        ours << (at = NextRun(given, at)).toString(u"yyyy-MM-dd HH:mm:ss"_s);
    QCOMPARE(systemd, ours);
#endif
}

void TestSchedule::taskXml_data()
{
    QTest::addColumn<ScheduleSpec>("given");
    QTest::addColumn<QStringList>("leaves");
    ScheduleSpec daily = spec(ScheduleKind::Daily, {2, 30});
    daily.name = u"R&D 'nightly'"_s;
    QTest::newRow("daily, missed runs, any network")
        << daily
        << QStringList{u"RegistrationInfo/Description=Corvane schedule R&D 'nightly'"_s,
                       u"RegistrationInfo/URI=\\Corvane\\R&D 'nightly'"_s,
                       u"CalendarTrigger/StartBoundary=2025-03-01T02:30:00"_s, u"ScheduleByDay/DaysInterval=1"_s,
                       u"Principal/UserId=HOST\\me"_s, u"Principal/LogonType=InteractiveToken"_s,
                       u"Principal/RunLevel=LeastPrivilege"_s, u"Settings/MultipleInstancesPolicy=IgnoreNew"_s,
                       u"Settings/StartWhenAvailable=true"_s, u"Settings/RunOnlyIfNetworkAvailable=false"_s,
                       u"Settings/ExecutionTimeLimit=PT72H"_s, u"Exec/Command=cmd.exe"_s,
                       u"Exec/WorkingDirectory=C:\\Users\\me"_s};
    ScheduleSpec weekly = spec(ScheduleKind::Weekly, {6, 0}, DayBit(2) | DayBit(6));
    weekly.runMissed = false;
    weekly.onlyWhenReachable = true;
    weekly.highestPrivileges = true;
    QTest::newRow("weekly, no missed runs, network up, elevated")
        << weekly
        << QStringList{u"DaysOfWeek/Tuesday"_s, u"DaysOfWeek/Saturday"_s, u"ScheduleByWeek/WeeksInterval=1"_s,
                       u"Settings/StartWhenAvailable=false"_s, u"Settings/RunOnlyIfNetworkAvailable=true"_s,
                       u"Principal/RunLevel=HighestAvailable"_s, u"Principal/LogonType=InteractiveToken"_s};
    QTest::newRow("every 6 hours from 20:45")
        << spec(ScheduleKind::EveryHours, {20, 45}, 0, 6)
        << QStringList{u"CalendarTrigger/StartBoundary=2025-03-01T02:45:00"_s, u"Repetition/Interval=PT6H"_s,
                       u"Repetition/Duration=P1D"_s, u"ScheduleByDay/DaysInterval=1"_s};
}

void TestSchedule::taskXml()
{
    QFETCH(ScheduleSpec, given);
    QFETCH(QStringList, leaves);
    const TaskDefinition task{given, u"HOST\\me"_s, u"C:\\S\\R&D.cmd"_s, u"C:\\S\\R&D.log"_s, u"C:\\Users\\me"_s,
                              {2025, 3, 1}};
    const QString xml = TaskXml(task);
    const QStringList found = ::leaves(xml);
    for (const QString &leaf : leaves)
        QVERIFY2(found.contains(leaf), qPrintable(leaf + u"\n\n"_s + xml));
    QVERIFY2(!found.join(u'\n').contains(u"error"_s), qPrintable(xml));
    // What cmd.exe is given: the log kept small, the start marked, the batch
    // file's output appended, its exit code the task's.
    const QString arguments = found.filter(QRegularExpression(u"^Exec/Arguments="_s)).value(0).mid(15);
    QCOMPARE(arguments, u"/c \"(if exist \"C:\\S\\R&D.log\" for %I in (\"C:\\S\\R&D.log\") do @if %~zI GTR 4194304 "
                        "move /y \"C:\\S\\R&D.log\" \"C:\\S\\R&D.old.log\" >nul) & echo ==== %DATE% %TIME% started "
                        "\"C:\\S\\R&D.cmd\">> \"C:\\S\\R&D.log\" & \"C:\\S\\R&D.cmd\" >> \"C:\\S\\R&D.log\" 2>&1\""_s);
    const ScheduleFiles files = FilesOfTaskArguments(u"cmd.exe "_s + arguments);
    QCOMPARE(files.batch, task.batch);
    QCOMPARE(files.log, task.log);
    ScheduleSpec expected = given;
    expected.name.clear();
    expected.time = ScheduleOfTaskXml(xml).value_or(ScheduleSpec{}).time;
    QCOMPARE(ScheduleOfTaskXml(xml), std::optional<ScheduleSpec>(expected));
}

void TestSchedule::taskListing()
{
    // Windows 10's verbose CSV: another folder's task, and a task of ours
    // with two triggers (a line each).
    const QString csv =
        uR"("PC","\Microsoft\Windows\Defrag\ScheduledDefrag","N/A","Ready","Interactive/Background","11/30/1999 12:00:00 AM","267011","Microsoft","%windir%\system32\defrag.exe -c","N/A")"
        "\r\n"
        uR"("PC","\Corvane\Nightly, ""main""","3/2/2025 2:30:00 AM","Ready","Interactive only","3/1/2025 2:30:01 AM","3","PC\me","cmd.exe /c ""(if exist ""C:\S\N.log"" ...) & ""C:\S\N.cmd"" >> ""C:\S\N.log"" 2>&1""","N/A","N/A")"
        "\r\n"
        uR"("PC","\Corvane\Nightly, ""main""","3/2/2025 2:30:00 AM","Ready","Interactive only","3/1/2025 2:30:01 AM","3","PC\me","cmd.exe","N/A","N/A")"
        "\r\n"
        uR"("PC","\Corvane\Sub\Deeper","N/A","Ready","Interactive only","N/A","0","PC\me","x","N/A")"_s;
    const QList<TaskRow> rows = ReadTaskCsv(csv);
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows.at(0).path, u"\\Corvane\\Nightly, \"main\""_s);
    QCOMPARE(rows.at(0).nextRun, u"3/2/2025 2:30:00 AM"_s);
    QCOMPARE(rows.at(0).lastRun, u"3/1/2025 2:30:01 AM"_s);
    QCOMPARE(FilesOfTaskArguments(rows.at(0).taskToRun).batch, u"C:\\S\\N.cmd"_s);

    const struct { const char *result; std::optional<int> code; const char *state; } results[] = {
        {"0", 0, ""}, {"3", 3, ""}, {"16", 16, ""}, {"267011", std::nullopt, "has not run yet"},
        {"267009", std::nullopt, "running"}, {"-2147024894", std::nullopt, "(0x80070002)"},
        {"N/A", std::nullopt, "N/A"}};
    for (const auto &r : results) {
        const TaskResult read = ReadTaskResult(QLatin1StringView(r.result));
        QCOMPARE(read.exitCode, r.code);
        QVERIFY2(read.state.contains(QLatin1StringView(r.state)) && read.state.isEmpty() == !*r.state,
                 qPrintable(read.state));
    }
}

void TestSchedule::crontabBlock()
{
    // The user's own lines stay where and as they are, the last one even
    // without its line break.
    const QString own = u"MAILTO=me@example.org\n# mine\n0 5 * * * /usr/local/bin/backup.sh"_s;
    const CronEntry a{u"A job"_s, u"30 2 * * *"_s, u"exec 'x' --batch 'a'"_s};
    const CronEntry b{u"B"_s, u"0 0-23/6 * * *"_s, u"exec 'y'"_s};
    const QString both = WithCronEntry(WithCronEntry(own, a), b);
    QVERIFY2(both.startsWith(own + u'\n') && both.endsWith(u'\n'), qPrintable(both));
    QCOMPARE(both.count(u"# BEGIN Corvane schedules"_s), 1);
    const CronEntry changed{u"A job"_s, u"45 3 * * 1"_s, u"exec 'z'"_s};
    const QList<CronEntry> read = ReadCronBlock(WithCronEntry(both, changed));
    QCOMPARE(read.size(), 2);
    QCOMPARE(read.at(0).name, u"B"_s);
    QCOMPARE(read.at(1).time, changed.time);
    QCOMPARE(read.at(1).command, changed.command);
    QCOMPARE(WithoutCronEntry(WithoutCronEntry(both, u"A job"_s), u"B"_s), own + u'\n');
    QCOMPARE(WithoutCronEntry(own, u"A job"_s), own);
    // A line of the user's that looks like ours, outside the block, is the user's.
    QCOMPARE(ReadCronBlock(u"# Corvane schedule: X\n1 2 * * * y\n"_s).size(), 0);

    // The command of the line: quotes, blanks and percent signs survive
    // cron's reading and the shell's.
    const ScheduledRun run{u"/opt/c v/corvane-cmd"_s, u"/home/o'neil/50% off.cmd"_s, u"/home/o'neil/50% off.log"_s,
                           u"/mnt/back up"_s};
    const QString command = CronCommand(run);
    QVERIFY2(!command.contains(QRegularExpression(u"[^\\\\]%"_s)), qPrintable(command));
    const ScheduledRun back = RunOfCronCommand(command);
    QCOMPARE(back.program, run.program);
    QCOMPARE(back.batch, run.batch);
    QCOMPARE(back.log, run.log);
    QCOMPARE(back.destination, run.destination);
#ifndef Q_OS_WIN
    // The shell receives the paths as they are.
    const QString shown = ShellCommandOfCron(command).replace(u"[ -d "_s, u"printf '%s\\n' "_s).replace(u" ] && exec "_s, u" "_s);
    const Ran ran = runTool(u"/bin/sh"_s, {u"-c"_s, shown});
    QCOMPARE(ran.output, (QStringList{run.destination, run.program, u"--batch"_s, run.batch, u"--log"_s, run.log, QString()}.join(u'\n')));
#endif
}

void TestSchedule::units()
{
#ifdef Q_OS_WIN
    QSKIP("systemd units are made off Windows");
#else
    QTemporaryDir dir;
    // systemd reads "%%" and keeps "$" in a program's path; the other words
    // take any character, escaped.
    const QString bin = dir.filePath(u"bin 50% $HOME \u00fc"_s);
    QVERIFY(QDir().mkpath(bin));
    QVERIFY(QFile::link(QStringLiteral(CORVANE_BINARY_DIR "/corvane-cmd"), bin + u"/corvane-cmd"_s));
    const QString data = dir.filePath(u"it's \"q\" back\\slash $x 100%"_s);
    ScheduleSpec given = spec(ScheduleKind::Weekly, {2, 30}, DayBit(1) | DayBit(4));
    given.name = u"Nightly backup"_s;
    given.onlyWhenReachable = true;
    const ScheduledRun run{bin + u"/corvane-cmd"_s, data + u"/N.cmd"_s, data + u"/N.log"_s, u"/mnt/50% share"_s};
    const QString service = ServiceUnit(given, run);
    QVERIFY2(service.contains(u"\nExecStart=\"%1/bin 50%% $HOME \u00fc/corvane-cmd\" --batch \"%1/it's \\\"q\\\" "
                              "back\\\\slash $$x 100%%/N.cmd\" --log \"%1/it's \\\"q\\\" back\\\\slash $$x 100%%/N.log\"\n"_s
                                  .arg(dir.path())),
             qPrintable(service));
    QVERIFY2(service.contains(u"\nConditionPathIsDirectory=/mnt/50%% share\n"_s), qPrintable(service));
    QVERIFY(TimerUnit(given).contains(u"\nOnCalendar=Mon,Thu *-*-* 02:30:00\nPersistent=true\n"_s));
    const UnitReading reading = ReadUnits(given.name, service, TimerUnit(given));
    QCOMPARE(reading.run.program, run.program);
    QCOMPARE(reading.run.batch, run.batch);
    QCOMPARE(reading.run.log, run.log);
    QCOMPARE(reading.run.destination, run.destination);
    QCOMPARE(reading.spec, std::optional<ScheduleSpec>(given));

    // systemd itself: the units as written pass; with a program that is not
    // there they do not, so the program's path was read as meant.
    const QString units = dir.filePath(u"units"_s);
    const QString runtime = dir.filePath(u"runtime"_s);
    QVERIFY(QDir().mkpath(runtime));
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    for (const QString &program : {run.program, bin + u"/corvane-cmd-missing"_s}) {
        ScheduledRun variant = run;
        variant.program = program;
        writeFile(units + u'/' + ServiceUnitName(given.name), ServiceUnit(given, variant).toUtf8());
        writeFile(units + u'/' + TimerUnitName(given.name), TimerUnit(given).toUtf8());
        const Ran verified = runTool(u"systemd-analyze"_s,
                                     {u"verify"_s, u"--user"_s, units + u'/' + TimerUnitName(given.name),
                                      units + u'/' + ServiceUnitName(given.name)},
                                     {u"XDG_RUNTIME_DIR="_s + runtime});
        QVERIFY2((verified.code == 0) == (program == run.program), qPrintable(verified.output));
    }
    QVERIFY(!ExecProgramRefusal(u"/opt/it's/corvane-cmd"_s).isEmpty());
    QVERIFY(ExecProgramRefusal(run.program).isEmpty());
#endif
}

void TestSchedule::batchRun()
{
#ifdef Q_OS_WIN
    QSKIP("corvane-cmd runs the batch file off Windows; cmd.exe does on Windows (taskScheduler)");
#else
    QTemporaryDir dir;
    const QString src = dir.filePath(u"src 50%"_s);
    const QString dst = dir.filePath(u"dst"_s);
    writeFile(src + u"/a.txt"_s, "alpha");
    writeFile(src + u"/sub/b.txt"_s, "beta");
    const QString empty = dir.filePath(u"no robocopy"_s);
    QVERIFY(QDir().mkpath(empty));
    const QString folder = dir.filePath(u"Schedules"_s);
    const ScheduleFiles files = FilesOf(folder, u"Nightly"_s);
    writeFile(files.batch, CommandFileBytes(u"ROBOCOPY.EXE \"%1\" \"%2\" /E /R:0 /W:0"_s.arg(src, dst),
                                            CommandFileKind::Batch, SystemCodePages()));
    const ScheduledRun run{QStringLiteral(CORVANE_BINARY_DIR "/corvane-cmd"), files.batch, files.log, QString()};
    // ExecStart= exactly as the unit states it, in a user manager's setting:
    // no display, no keyboard, no Robocopy along PATH.
    QString execStart;
    for (const QString &line : ServiceUnit(spec(ScheduleKind::Daily, {2, 30}), run).split(u'\n'))
        if (line.startsWith(u"ExecStart="))
            execStart = line.mid(10);
    const QStringList words = ExecWords(execStart);
    const QStringList environment{u"PATH="_s + empty, u"DISPLAY="_s, u"QT_QPA_PLATFORM="_s};
    const Ran first = runTool(words.first(), words.mid(1), environment, empty);
    QCOMPARE(first.code, 1); // files copied
    QCOMPARE(readFile(dst + u"/sub/b.txt"_s), QByteArray("beta"));
    const Ran second = runTool(words.first(), words.mid(1), environment, empty);
    QCOMPARE(second.code, 0); // nothing left to copy
    QVERIFY2(first.output.isEmpty() && second.output.isEmpty(), qPrintable(first.output + second.output));
    const QByteArray log = readFile(files.log);
    QCOMPARE(log.count("==== "), 4);
    QCOMPARE(log.count(" ended with exit code 1\n"), 1);
    QVERIFY2(log.contains("corvane-copy") && log.endsWith(" ended with exit code 0\n"), log.constData());
    const std::optional<console::LoggedRun> last = console::LastLoggedRunOf(files.log);
    QVERIFY(last && last->started.isValid() && last->ended >= last->started);
    QCOMPARE(last->exitCode, std::optional<int>(0));

    // Outgrown, the log becomes the old one and the run starts a new one.
    writeFile(files.log, log + QByteArray(console::MaxLogBytes, 'x'));
    QCOMPARE(runTool(words.first(), words.mid(1), environment, empty).code, 0);
    QVERIFY(readFile(console::OldLogPath(files.log)).startsWith(log));
    QCOMPARE(readFile(files.log).count("==== "), 2);

    // While a run goes on, the next one leaves it alone.
    QFile held(files.batch);
    QVERIFY(held.open(QIODevice::ReadOnly) && ::flock(held.handle(), LOCK_EX) == 0);
    writeFile(src + u"/new.txt"_s, "new");
    QCOMPARE(runTool(words.first(), words.mid(1), environment, empty).code, 0);
    QVERIFY(!QFileInfo::exists(dst + u"/new.txt"_s));
    QVERIFY(readFile(files.log).endsWith("the previous run of this schedule is still going on\n"));
    QCOMPARE(console::LastLoggedRunOf(files.log)->exitCode, std::optional<int>(0));
#endif
}

void TestSchedule::systemdCalls_data()
{
    QTest::addColumn<QString>("failing");
    QTest::newRow("all taken") << QString();
    QTest::newRow("reload refused") << u"daemon-reload"_s;
    QTest::newRow("enable refused") << u"enable"_s;
    QTest::newRow("restart refused") << u"restart"_s;
}

void TestSchedule::systemdCalls()
{
    QFETCH(QString, failing);
#ifdef Q_OS_WIN
    QSKIP("systemd is asked off Windows");
#else
    QTemporaryDir dir;
    ScriptedSystemctl systemctl;
    systemctl.failing = failing;
    const ScopedHook<ScheduleProcessRunner> hook(SetScheduleProcessRunner, systemctl.runner());
    SchedulerSetup setup;
    setup.folder = dir.filePath(u"Schedules"_s);
    setup.unitFolder = dir.filePath(u"units"_s);
    setup.consoleProgram = QStringLiteral(CORVANE_BINARY_DIR "/corvane-cmd");
    Scheduler scheduler(setup);
    ScheduleSpec given = spec(ScheduleKind::Daily, {2, 30});
    given.name = u"Nightly"_s;
    const QString command = u"ROBOCOPY.EXE /srv/a /srv/b /MIR"_s;
    const QString said = scheduler.save(given, command);
    const QString timer = setup.unitFolder + u"/corvane-Nightly.timer"_s;
    const QStringList start{u"show --property=Version"_s, u"list-unit-files --no-legend --no-pager corvane-*.timer"_s};
    if (!failing.isEmpty()) {
        // Nothing changed: no batch file, no unit, and systemd told so.
        QVERIFY2(said.contains(u"systemctl --user "_s + failing) && said.contains(u"Access denied"_s), qPrintable(said));
        QCOMPARE(QDir(setup.folder).entryList(QDir::Files), QStringList());
        QCOMPARE(QDir(setup.unitFolder).entryList(QDir::Files), QStringList());
        QCOMPARE(systemctl.calls.constLast(), u"daemon-reload"_s);
        return;
    }
    QCOMPARE(said, QString());
    QCOMPARE(systemctl.calls, (start + QStringList{u"daemon-reload"_s, u"enable corvane-Nightly.timer"_s,
                                                   u"restart corvane-Nightly.timer"_s}));
    QCOMPARE(readFile(setup.folder + u"/Nightly.cmd"_s), QByteArray("ROBOCOPY.EXE /srv/a /srv/b /MIR\r\n"));
    QVERIFY(QFileInfo::exists(setup.unitFolder + u"/corvane-Nightly.service"_s));

    // The listing is the system's: the timers it knows, what it tells of them.
    systemctl.unitFiles = "corvane-Nightly.timer enabled enabled\n";
    systemctl.shown = "Id=corvane-Nightly.timer\nNextElapseUSecRealtime=Sun 2025-03-02 02:30:00 CET\nFragmentPath="
        + timer.toUtf8() + "\n";
    const ScheduleListing listing = scheduler.list();
    QCOMPARE(listing.failure, QString());
    QCOMPARE(listing.commands.size(), 1);
    const ScheduledCommand &listed = listing.commands.at(0);
    QCOMPARE(listed.nextRun, u"Sun 2025-03-02 02:30:00 CET"_s);
    QCOMPARE(listed.command, command);
    QCOMPARE(listed.spec, std::optional<ScheduleSpec>(given));
    QCOMPARE(listed.lastRun, QString());
    QVERIFY2(scheduler.save(given, command).contains(u"exists already"_s), "the name is taken");

    systemctl.calls.clear();
    QCOMPARE(scheduler.runNow(listed), QString());
    QCOMPARE(scheduler.remove(listed), QString());
    QCOMPARE(systemctl.calls, (QStringList{u"start --no-block corvane-Nightly.service"_s,
                                           u"disable --now corvane-Nightly.timer"_s, u"daemon-reload"_s}));
    QCOMPARE(QDir(setup.unitFolder).entryList(QDir::Files), QStringList());
    QCOMPARE(QDir(setup.folder).entryList(QDir::Files), QStringList());
#endif
}

void TestSchedule::realCrontab()
{
#ifdef Q_OS_WIN
    QSKIP("cron is off Windows");
#else
    // A user of its own: nobody's real crontab is touched.
    const ThrowawayUser user;
    if (user.name().isEmpty())
        QSKIP("the real crontab is tried as root, on a user made for the test (scripts/install-deps.sh brings cron)");
    QTemporaryDir dir;
    const QString own = u"MAILTO=\"\"\n17 4 * * * /usr/bin/true # the user's own\n"_s;
    writeFile(dir.filePath(u"own"_s), own.toUtf8());
    QCOMPARE(runTool(u"crontab"_s, {u"-u"_s, user.name(), dir.filePath(u"own"_s)}).code, 0);
    SchedulerSetup setup;
    setup.folder = dir.filePath(u"Schedules 50%"_s);
    setup.consoleProgram = QStringLiteral(CORVANE_BINARY_DIR "/corvane-cmd");
    setup.systemctl = dir.filePath(u"no-systemctl"_s);
    setup.crontab = {u"crontab"_s, u"-u"_s, user.name()};
    Scheduler scheduler(setup);
    QCOMPARE(scheduler.kind(), SchedulerKind::Cron);

    const QString src = dir.filePath(u"src"_s);
    const QString dst = dir.filePath(u"dst"_s);
    writeFile(src + u"/a.txt"_s, "alpha");
    ScheduleSpec weekly = spec(ScheduleKind::Weekly, {2, 30}, DayBit(1) | DayBit(5));
    weekly.name = u"O'Neil's copy"_s;
    weekly.onlyWhenReachable = true;
    QCOMPARE(scheduler.save(weekly, u"ROBOCOPY.EXE \"%1\" \"%2\" /E"_s.arg(src, dst)), QString());
    ScheduleSpec hourly = spec(ScheduleKind::EveryHours, {1, 0}, 0, 6);
    hourly.name = u"Hourly"_s;
    QCOMPARE(scheduler.save(hourly, u"ROBOCOPY.EXE /a /b"_s), QString());
    QVERIFY(scheduler.save(hourly, u"ROBOCOPY.EXE /a /b"_s).contains(u"exists already"_s));

    // crontab took the lines; the user's own stayed first.
    const QString listed = user.crontab();
    QVERIFY2(listed.startsWith(own) && listed.contains(u"\n30 2 * * 1,5 [ -d '"_s)
                 && listed.contains(u"\n0 1-23/6 * * * exec '"_s),
             qPrintable(listed));
    const ScheduleListing listing = scheduler.list();
    QCOMPARE(listing.commands.size(), 2);
    const ScheduledCommand &copy = listing.commands.at(0);
    QCOMPARE(copy.name, weekly.name);
    QCOMPARE(copy.nextRun, NextRun(weekly, QDateTime::currentDateTime()).toString(u"yyyy-MM-dd HH:mm"_s));
    QCOMPARE(copy.batch, setup.folder + u"/O'Neil's copy.cmd"_s);

    // The line's command as cron runs it: nothing while the destination is
    // missing, a copy and a logged run once it is there.
    const QString shell = ShellCommandOfCron(copy.cronCommand);
    QCOMPARE(runTool(u"/bin/sh"_s, {u"-c"_s, shell}, {u"PATH=/usr/bin:/bin"_s}).code, 1);
    QVERIFY(!QFileInfo::exists(copy.log));
    QVERIFY(QDir().mkpath(dst));
    QCOMPARE(runTool(u"/bin/sh"_s, {u"-c"_s, shell}, {u"PATH=/usr/bin:/bin"_s}).code, 1);
    QCOMPARE(readFile(dst + u"/a.txt"_s), QByteArray("alpha"));
    QCOMPARE(scheduler.list().commands.at(0).lastExitCode, std::optional<int>(1));

    for (const ScheduledCommand &command : listing.commands)
        QCOMPARE(scheduler.remove(command), QString());
    QCOMPARE(user.crontab(), own);
    QVERIFY(QFileInfo::exists(copy.log)); // the record of past runs stays
#endif
}

void TestSchedule::taskScheduler()
{
#ifndef Q_OS_WIN
    QSKIP("the Task Scheduler is Windows'");
#else
    QTemporaryDir dir;
    RecordingRobocopy robocopy(dir.filePath(u"robocopy"_s));
    const ScopedEnvironmentVariable path("PATH", QDir::toNativeSeparators(robocopy.folder()) + u';'
                                                     + qEnvironmentVariable("PATH"));
    SchedulerSetup setup;
    setup.folder = dir.filePath(u"Schedules"_s);
    Scheduler scheduler(setup);
    ScheduleSpec given = spec(ScheduleKind::Weekly, {2, 30}, DayBit(2));
    given.name = u"Corvane test %1"_s.arg(QCoreApplication::applicationPid());
    QCOMPARE(scheduler.save(given, u"ROBOCOPY.EXE C:\\src D:\\dst /TESTCODE:3"_s), QString());

    const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    const QString stored = u"C:/windows/system32/tasks/Corvane/"_s + given.name;
    ScheduledCommand command;
    command.name = given.name;
    command.entry = TaskPath(given.name);
    command.batch = FilesOf(setup.folder, given.name).batch;
    const ScheduleListing listing = scheduler.list();
    if (wine) {
        // Wine keeps what it registered as a file; its schtasks lists none.
        QString xml = QString::fromUtf8(readFile(stored));
        if (xml.startsWith(QChar(0xFEFF)))
            xml.remove(0, 1);
        for (const QString &leaf : {u"Settings/MultipleInstancesPolicy=IgnoreNew"_s, u"Settings/StartWhenAvailable=true"_s,
                                    u"Settings/RunOnlyIfNetworkAvailable=false"_s, u"Settings/ExecutionTimeLimit=PT72H"_s,
                                    u"RegistrationInfo/Description=Corvane schedule "_s + given.name})
            QVERIFY2(leaves(xml).contains(leaf), qPrintable(leaf + u"\n\n"_s + xml));
        QVERIFY2(listing.failure.contains(u"printed nothing"_s), qPrintable(listing.failure));
    } else {
        QCOMPARE(listing.failure, QString());
        const auto it = std::find_if(listing.commands.begin(), listing.commands.end(),
                                     [&given](const ScheduledCommand &c) { return c.name == given.name; });
        QVERIFY(it != listing.commands.end());
        QCOMPARE(it->command, u"ROBOCOPY.EXE C:\\src D:\\dst /TESTCODE:3"_s);
        command = *it;
    }
    QCOMPARE(scheduler.remove(command), QString());
    QVERIFY(!QFileInfo::exists(command.batch));
    if (wine)
        QVERIFY(!QFileInfo::exists(stored));

    // What the task runs, run by cmd.exe: the batch file's exit code, its
    // output appended to the log, an outgrown log set aside.
    const ScheduleFiles files = FilesOf(setup.folder, u"Run"_s);
    writeFile(files.batch, CommandFileBytes(u"ROBOCOPY.EXE C:\\src \"D:\\R&D\" /TESTCODE:3"_s, CommandFileKind::Batch,
                                            SystemCodePages()));
    const QString arguments = TaskArguments(QDir::toNativeSeparators(files.batch), QDir::toNativeSeparators(files.log));
    writeFile(files.log, QByteArray(console::MaxLogBytes + 1, 'x'));
    for (int run = 1; run <= 2; ++run) {
        QProcess cmd;
        cmd.setProgram(u"cmd.exe"_s);
        cmd.setNativeArguments(arguments);
        cmd.start();
        QVERIFY(cmd.waitForFinished(120000));
        QVERIFY2(cmd.exitCode() == 3, readFile(files.log).right(2000).constData());
        QCOMPARE(robocopy.runs().size(), run);
        QCOMPARE(robocopy.runs().constLast().args.value(1), u"D:\\R&D"_s);
    }
    QCOMPARE(readFile(console::OldLogPath(files.log)).size(), console::MaxLogBytes + 1);
    QCOMPARE(readFile(files.log).count("==== "), 2);
#endif
}

QTEST_MAIN(TestSchedule)
#include "test_schedule.moc"
