#include "run/Scheduler.h"

#include "command/CommandBuilder.h"
#include "command/CommandFileText.h"
#include "command/CommandReader.h"
#include "command/CommandWords.h"
#include "console/BatchRun.h"
#include "run/ScheduleCron.h"
#include "run/ScheduleSystemd.h"
#include "run/ScheduleTask.h"
#include "settings/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryFile>

#include <utility>

#ifdef Q_OS_WIN
#include "run/Listing_win.h"
#include "run/Schedule_win.h"
#endif

namespace {

// Commands and jobs are a few kilobytes; a file far larger is none.
constexpr qint64 kMaxBatchBytes = 16 * 1024 * 1024;
// schtasks under a busy Wine, systemctl behind a slow bus: long, but an end.
constexpr int kProgramWaitMs = 120000;

ScheduleProcessRunner &runnerHook()
{
    static ScheduleProcessRunner runner;
    return runner;
}

QString textOf(const QByteArray &bytes)
{
#ifdef Q_OS_WIN
    // A console program writes into a pipe in the console's code page.
    return QString::fromStdWString(win32::FromOemCodePage(std::string_view(bytes.constData(), size_t(bytes.size()))));
#else
    return QString::fromLocal8Bit(bytes);
#endif
}

// What a program said when it failed, for a message.
QString saidBy(const QString &program, const ProcessOutcome &outcome)
{
    if (!outcome.started)
        return QStringLiteral("%1 could not be started.").arg(program);
    QString said = (textOf(outcome.errors) + u'\n' + textOf(outcome.output)).trimmed();
    if (said.isEmpty())
        said = QStringLiteral("(it printed nothing)");
    return QStringLiteral("%1 ended with exit code %2:\n%3").arg(program).arg(outcome.exitCode).arg(said);
}

// The file whole or not at all: a new file takes the old one's place only
// once every byte is on the disk.
bool writeWhole(const QString &path, const QByteArray &bytes, QString &why)
{
    const std::filesystem::path target(path.toStdU16String());
    for (int attempt = 0; attempt < 100; ++attempt) {
        atomicfile::NewFile file;
        const std::filesystem::path temp((path + QStringLiteral(".new%1").arg(attempt)).toStdU16String());
        const atomicfile::Create created = file.create(temp, target);
        if (created == atomicfile::Create::Exists)
            continue;
        if (created == atomicfile::Create::Ok && file.write(std::string_view(bytes.constData(), size_t(bytes.size())))
            && file.commit(target))
            return true;
        break;
    }
    why = QStringLiteral("%1 could not be written.").arg(QDir::toNativeSeparators(path));
    return false;
}

// A file as it was before a change, to put back when the change fails.
struct FileBefore
{
    QString path;
    std::optional<QByteArray> bytes; // nothing: there was no file

    explicit FileBefore(const QString &p) : path(p)
    {
        QFile file(p);
        if (file.open(QIODevice::ReadOnly))
            bytes = file.readAll();
    }
    void restore() const
    {
        QString ignored;
        if (bytes)
            writeWhole(path, *bytes, ignored);
        else
            QFile::remove(path);
    }
};

// The folder Robocopy writes into, as the command names it; empty when none.
QString destinationOf(const QString &commandLine)
{
    const CommandReading reading = ReadCommandOrJob(commandLine, false);
    QString destination = reading.received.value(QLatin1StringView("cboDestination")).value(0);
#ifndef Q_OS_WIN
    destination.replace(u'\\', u'/'); // as corvane-copy reads it
#endif
    return destination;
}

QString stamp(const QDateTime &when) { return when.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")); }

// The last run its log tells of.
void readLog(ScheduledCommand &command)
{
    const std::optional<console::LoggedRun> run = console::LastLoggedRunOf(command.log);
    if (!run)
        return;
    command.lastRun = stamp(run->started.isValid() ? run->started : run->ended);
    command.lastExitCode = run->exitCode;
    if (!run->exitCode)
        command.lastState = QStringLiteral("no end recorded: running, or stopped before its end");
}

void readBatch(ScheduledCommand &command)
{
    QString why;
    command.command = CommandOfBatchFile(command.batch, why).value_or(why);
}

QString fileText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.read(kMaxBatchBytes)) : QString();
}

} // namespace

ScheduleProcessRunner SetScheduleProcessRunner(ScheduleProcessRunner runner)
{
    return std::exchange(runnerHook(), std::move(runner));
}

std::optional<QString> CommandOfBatchFile(const QString &path, QString &why)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        why = QStringLiteral("(the batch file %1 cannot be read: %2)").arg(QDir::toNativeSeparators(path), file.errorString());
        return std::nullopt;
    }
    const std::optional<QString> text =
        CommandFileText(file.read(kMaxBatchBytes), CommandFileKind::Batch, SystemCodePages());
    if (!text) {
        why = QStringLiteral("(the batch file %1 holds no text)").arg(QDir::toNativeSeparators(path));
        return std::nullopt;
    }
    for (const QString &line : text->split(u'\n'))
        if (!line.trimmed().isEmpty())
            return line.trimmed();
    return QString();
}

Scheduler::Scheduler(SchedulerSetup setup) : m_setup(std::move(setup)) {}

ProcessOutcome Scheduler::run(const QString &program, const QStringList &arguments) const
{
    if (runnerHook())
        return runnerHook()(program, arguments);
    ProcessOutcome outcome;
    QProcess process;
    process.setStandardInputFile(QProcess::nullDevice()); // nothing asks: crontab or schtasks would wait
    process.start(program, arguments);
    outcome.started = process.waitForStarted(kProgramWaitMs);
    if (!outcome.started)
        return outcome;
    if (!process.waitForFinished(kProgramWaitMs)) {
        process.kill();
        process.waitForFinished();
        outcome.errors = "It did not end within two minutes and was stopped.";
        return outcome;
    }
    outcome.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    outcome.output = process.readAllStandardOutput();
    outcome.errors = process.readAllStandardError();
    return outcome;
}

SchedulerKind Scheduler::kind()
{
    if (m_kind)
        return *m_kind;
#ifdef Q_OS_WIN
    m_kind = SchedulerKind::TaskScheduler;
#else
    // A systemd user instance answers on its bus; without one, cron.
    if (const ProcessOutcome systemd = run(m_setup.systemctl, {QStringLiteral("--user"), QStringLiteral("show"),
                                                               QStringLiteral("--property=Version")});
        systemd.started && systemd.exitCode == 0)
        m_kind = SchedulerKind::Systemd;
    else if (!m_setup.crontab.isEmpty() && run(m_setup.crontab.first(), m_setup.crontab.mid(1) << QStringLiteral("-l")).started)
        m_kind = SchedulerKind::Cron;
    else
        m_kind = SchedulerKind::None;
#endif
    return *m_kind;
}

QString Scheduler::kindText()
{
    switch (kind()) {
    case SchedulerKind::TaskScheduler: return QStringLiteral("the Task Scheduler");
    case SchedulerKind::Systemd: return QStringLiteral("a systemd user timer");
    case SchedulerKind::Cron: return QStringLiteral("your crontab");
    case SchedulerKind::None: break;
    }
    return QStringLiteral("no scheduler");
}

QString Scheduler::unitFolder() const
{
    if (!m_setup.unitFolder.isEmpty())
        return m_setup.unitFolder;
    const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    return (config.isEmpty() ? QDir::homePath() + QStringLiteral("/.config") : config) + QStringLiteral("/systemd/user");
}

QString Scheduler::commandRefusal(const ScheduleSpec &spec, const QString &commandLine) const
{
    const QString line = OneLine(commandLine);
    if (line.trimmed().isEmpty())
        return QStringLiteral("There is no command to schedule: the command is empty.");
    if (line.size() > MaxCommandLength)
        return QStringLiteral("The command is %1 characters long; cmd.exe runs at most %2, so it cannot be scheduled.")
            .arg(line.size())
            .arg(MaxCommandLength);
    const CommandReading reading = ReadCommandOrJob(line, false);
    if (!reading.found)
        return QStringLiteral("The command cannot be scheduled: ")
            + (reading.refusal.isEmpty() ? QStringLiteral("it holds no Robocopy command.") : reading.refusal + u'.');
#ifndef Q_OS_WIN
    if (spec.onlyWhenReachable) {
        const QString destination = destinationOf(line);
        if (destination.isEmpty())
            return QStringLiteral("\u201COnly when the destination is reachable\u201D needs a command with a destination folder.");
        if (!QDir::isAbsolutePath(destination))
            return QStringLiteral("\u201COnly when the destination is reachable\u201D needs the destination as a full path; "
                                  "the command names \u201C%1\u201D.")
                .arg(destination);
    }
#else
    Q_UNUSED(spec);
#endif
    return QString();
}

QString Scheduler::save(const ScheduleSpec &spec, const QString &commandLine, const QString &replacing)
{
    for (const QString &refusal : {NameRefusal(spec.name), ScheduleRefusal(spec), commandRefusal(spec, commandLine)})
        if (!refusal.isEmpty())
            return refusal;
    if (kind() == SchedulerKind::None)
        return QStringLiteral("Corvane found no scheduler here: no systemd user instance answers "
                              "(systemctl --user), and there is no crontab program. Nothing was scheduled.");
#ifndef Q_OS_WIN
    if (!QFileInfo(m_setup.consoleProgram).isExecutable())
        return QStringLiteral("The program that runs a schedule, %1, is missing.").arg(m_setup.consoleProgram);
#endif
    const ScheduleListing listing = list();
    std::optional<ScheduledCommand> old;
    for (const ScheduledCommand &command : listing.commands) {
        if (command.name.compare(spec.name, Qt::CaseInsensitive) == 0 && command.name != replacing)
            return QStringLiteral("A schedule named \u201C%1\u201D exists already. Choose another name, "
                                  "or change that one in File > Scheduled Commands.")
                .arg(command.name);
        if (!replacing.isEmpty() && command.name == replacing)
            old = command;
    }
    if (!QDir().mkpath(m_setup.folder))
        return QStringLiteral("The folder %1 could not be made.").arg(QDir::toNativeSeparators(m_setup.folder));
    const ScheduleFiles files = FilesOf(QFileInfo(m_setup.folder).absoluteFilePath(), spec.name);
#ifdef Q_OS_WIN
    for (const QString &path : {files.batch, files.log})
        if (const QString refusal = TaskPathRefusal(QDir::toNativeSeparators(path)); !refusal.isEmpty())
            return refusal;
#endif

    // The same bytes as Save Command Line As writes to a batch file.
    const FileBefore batchBefore(files.batch);
    QString failure;
    if (!writeWhole(files.batch, CommandFileBytes(OneLine(commandLine), CommandFileKind::Batch, SystemCodePages()), failure))
        return failure;
    switch (kind()) {
    case SchedulerKind::TaskScheduler:
        failure = saveTask(spec, files.batch, files.log, replacing == spec.name);
        break;
    case SchedulerKind::Systemd:
        failure = saveUnits(spec, files.batch, files.log, spec.onlyWhenReachable ? destinationOf(OneLine(commandLine)) : QString());
        break;
    case SchedulerKind::Cron:
        failure = saveCron(spec, files.batch, files.log, spec.onlyWhenReachable ? destinationOf(OneLine(commandLine)) : QString());
        break;
    case SchedulerKind::None:
        break;
    }
    if (!failure.isEmpty()) {
        batchBefore.restore();
        return failure;
    }
    // A new name: the schedule under the old one goes.
    if (old && old->name != spec.name) {
        if (const QString left = remove(*old); !left.isEmpty())
            return QStringLiteral("The schedule \u201C%1\u201D is made, but the old one, \u201C%2\u201D, is still there: %3")
                .arg(spec.name, old->name, left);
    }
    return QString();
}

QString Scheduler::savedWhere(const ScheduleSpec &spec)
{
    switch (kind()) {
    case SchedulerKind::TaskScheduler:
        return QStringLiteral("the Task Scheduler's task %1").arg(TaskPath(spec.name));
    case SchedulerKind::Systemd:
        return QStringLiteral("the systemd user timer %1").arg(TimerUnitName(spec.name));
    case SchedulerKind::Cron:
        return spec.runMissed ? QStringLiteral("your crontab, as there is no systemd user instance; cron makes up "
                                               "no run missed while the computer was off")
                              : QStringLiteral("your crontab, as there is no systemd user instance");
    case SchedulerKind::None:
        break;
    }
    return QString();
}

// ---- Windows' Task Scheduler

QString Scheduler::saveTask(const ScheduleSpec &spec, const QString &batch, const QString &log, bool replace)
{
    TaskDefinition task;
    task.spec = spec;
#ifdef Q_OS_WIN
    task.userId = QString::fromStdWString(win32::CurrentUserId());
#endif
    task.batch = QDir::toNativeSeparators(batch);
    task.log = QDir::toNativeSeparators(log);
    task.workingFolder = QDir::toNativeSeparators(QDir::homePath());
    task.firstDay = QDate::currentDate();
    // schtasks reads a task's XML as Task Scheduler writes it: UTF-16 with its mark.
    const QString xml = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n") + TaskXml(task);
    QByteArray bytes("\xFF\xFE", 2);
    bytes += QByteArray(reinterpret_cast<const char *>(xml.utf16()), xml.size() * 2);
    // A file of its own, closed before schtasks opens it: schtasks shares it for reading only.
    const QString xmlPath = m_setup.folder + u'/' + spec.name + QStringLiteral(".task.xml");
    QString failure;
    if (!writeWhole(xmlPath, bytes, failure))
        return failure;
    const auto removeXml = qScopeGuard([&xmlPath] { QFile::remove(xmlPath); });
    QStringList arguments{QStringLiteral("/create"), QStringLiteral("/tn"), TaskPath(spec.name), QStringLiteral("/xml"),
                          QDir::toNativeSeparators(xmlPath)};
    if (replace)
        arguments << QStringLiteral("/f");
    const ProcessOutcome outcome = run(m_setup.schtasks, arguments);
    if (outcome.started && outcome.exitCode == 0)
        return QString();
    return QStringLiteral("The Task Scheduler did not take the schedule \u201C%1\u201D. ").arg(spec.name)
        + saidBy(QStringLiteral("schtasks"), outcome);
}

ScheduleListing Scheduler::listTasks()
{
    ScheduleListing listing;
    const ProcessOutcome outcome = run(m_setup.schtasks, {QStringLiteral("/query"), QStringLiteral("/fo"), QStringLiteral("csv"),
                                                          QStringLiteral("/v"), QStringLiteral("/nh")});
    if (!outcome.started || outcome.exitCode != 0) {
        listing.failure = saidBy(QStringLiteral("schtasks /query"), outcome);
        return listing;
    }
    // Windows' schtasks always prints: the tasks, or a line that there are
    // none. One that prints nothing at all does not list tasks.
    if (outcome.output.trimmed().isEmpty() && outcome.errors.trimmed().isEmpty()) {
        listing.failure = QStringLiteral("This system's schtasks lists no tasks: \u201Cschtasks /query\u201D printed nothing.");
        return listing;
    }
    for (const TaskRow &row : ReadTaskCsv(textOf(outcome.output))) {
        ScheduledCommand command;
        command.name = *ScheduleNameOfTask(row.path);
        command.entry = row.path;
        const ScheduleFiles files = FilesOfTaskArguments(row.taskToRun);
        command.batch = files.batch;
        command.log = files.log;
        command.nextRun = row.nextRun;
        const TaskResult result = ReadTaskResult(row.lastResult);
        command.lastExitCode = result.exitCode;
        command.lastState = result.state;
        if (result.exitCode || result.state != u"has not run yet")
            command.lastRun = row.lastRun;
        readBatch(command);
        listing.commands << command;
    }
    return listing;
}

// ---- systemd

QString Scheduler::saveUnits(const ScheduleSpec &spec, const QString &batch, const QString &log, const QString &destination)
{
    if (const QString refusal = ExecProgramRefusal(QFileInfo(m_setup.consoleProgram).absoluteFilePath());
        !refusal.isEmpty())
        return refusal;
    const QString folder = unitFolder();
    if (!QDir().mkpath(folder))
        return QStringLiteral("The folder %1 could not be made.").arg(folder);
    const QString timer = TimerUnitName(spec.name);
    const FileBefore serviceBefore(folder + u'/' + ServiceUnitName(spec.name));
    const FileBefore timerBefore(folder + u'/' + timer);
    QString failure;
    const ScheduledRun scheduled{QFileInfo(m_setup.consoleProgram).absoluteFilePath(), batch, log, destination};
    if (writeWhole(serviceBefore.path, ServiceUnit(spec, scheduled).toUtf8(), failure)
        && writeWhole(timerBefore.path, TimerUnit(spec).toUtf8(), failure)) {
        // A timer that runs already takes its new calendar at a restart.
        for (const QStringList &arguments : {QStringList{QStringLiteral("daemon-reload")},
                                             QStringList{QStringLiteral("enable"), timer},
                                             QStringList{QStringLiteral("restart"), timer}}) {
            const ProcessOutcome outcome = run(m_setup.systemctl, QStringList{QStringLiteral("--user")} + arguments);
            if (!outcome.started || outcome.exitCode != 0) {
                failure = QStringLiteral("systemd did not take the schedule \u201C%1\u201D. ").arg(spec.name)
                    + saidBy(QStringLiteral("systemctl --user ") + arguments.join(u' '), outcome);
                break;
            }
        }
        if (failure.isEmpty())
            return QString();
    }
    serviceBefore.restore();
    timerBefore.restore();
    run(m_setup.systemctl, {QStringLiteral("--user"), QStringLiteral("daemon-reload")});
    return failure;
}

ScheduleListing Scheduler::listUnits()
{
    ScheduleListing listing;
    const ProcessOutcome files = run(m_setup.systemctl, {QStringLiteral("--user"), QStringLiteral("list-unit-files"),
                                                         QStringLiteral("--no-legend"), QStringLiteral("--no-pager"),
                                                         TimerUnitPattern()});
    if (!files.started || files.exitCode != 0) {
        listing.failure = saidBy(QStringLiteral("systemctl --user list-unit-files"), files);
        return listing;
    }
    QStringList timers;
    for (const QString &line : textOf(files.output).split(u'\n'))
        if (const QString unit = line.section(u' ', 0, 0, QString::SectionSkipEmpty); ScheduleNameOfUnit(unit))
            timers << unit;
    if (timers.isEmpty())
        return listing;
    const ProcessOutcome shown = run(m_setup.systemctl, QStringList{QStringLiteral("--user"), QStringLiteral("show"),
                                                                    QStringLiteral("--property=Id,NextElapseUSecRealtime,FragmentPath")}
                                                            + timers);
    if (!shown.started || shown.exitCode != 0) {
        listing.failure = saidBy(QStringLiteral("systemctl --user show"), shown);
        return listing;
    }
    // One block of properties a unit, a blank line between them.
    for (const QString &block : textOf(shown.output).split(QStringLiteral("\n\n"), Qt::SkipEmptyParts)) {
        QHash<QString, QString> properties;
        for (const QString &line : block.split(u'\n'))
            properties.insert(line.section(u'=', 0, 0), line.section(u'=', 1));
        const std::optional<QString> name = ScheduleNameOfUnit(properties.value(QStringLiteral("Id")));
        if (!name)
            continue;
        const QString timerPath = properties.value(QStringLiteral("FragmentPath"));
        const QString servicePath = QFileInfo(timerPath).absolutePath() + u'/' + ServiceUnitName(*name);
        const UnitReading reading = ReadUnits(*name, fileText(servicePath), fileText(timerPath));
        ScheduledCommand command;
        command.name = *name;
        command.entry = properties.value(QStringLiteral("Id"));
        command.spec = reading.spec;
        command.batch = reading.run.batch;
        command.log = reading.run.log;
        command.nextRun = properties.value(QStringLiteral("NextElapseUSecRealtime"));
        if (command.nextRun.isEmpty())
            command.nextRun = QStringLiteral("none: the timer is not running");
        readBatch(command);
        readLog(command);
        listing.commands << command;
    }
    return listing;
}

// ---- cron

std::optional<QString> Scheduler::readCrontab(QString &failure)
{
    const ProcessOutcome outcome = run(m_setup.crontab.first(), m_setup.crontab.mid(1) << QStringLiteral("-l"));
    if (outcome.started && outcome.exitCode == 0)
        return textOf(outcome.output);
    // "no crontab for USER": an empty one.
    if (outcome.started && outcome.output.isEmpty() && outcome.errors.startsWith("no crontab for"))
        return QString();
    failure = saidBy(QStringLiteral("crontab -l"), outcome);
    return std::nullopt;
}

QString Scheduler::writeCrontab(const QString &text)
{
    QTemporaryFile file(m_setup.folder + QStringLiteral("/crontab-XXXXXX"));
    const QByteArray bytes = text.toLocal8Bit();
    if (!file.open() || file.write(bytes) != bytes.size() || !file.flush())
        return QStringLiteral("The new crontab could not be written into %1.").arg(m_setup.folder);
    const ProcessOutcome outcome = run(m_setup.crontab.first(), m_setup.crontab.mid(1) << file.fileName());
    if (outcome.started && outcome.exitCode == 0)
        return QString();
    return QStringLiteral("crontab did not take the change. ") + saidBy(QStringLiteral("crontab"), outcome);
}

QString Scheduler::saveCron(const ScheduleSpec &spec, const QString &batch, const QString &log, const QString &destination)
{
    QString failure;
    const std::optional<QString> crontab = readCrontab(failure);
    if (!crontab)
        return failure;
    const ScheduledRun scheduled{QFileInfo(m_setup.consoleProgram).absoluteFilePath(), batch, log, destination};
    return writeCrontab(WithCronEntry(*crontab, CronEntry{spec.name, CronTime(spec), CronCommand(scheduled)}));
}

ScheduleListing Scheduler::listCron()
{
    ScheduleListing listing;
    const std::optional<QString> crontab = readCrontab(listing.failure);
    if (!crontab)
        return listing;
    for (const CronEntry &entry : ReadCronBlock(*crontab)) {
        const ScheduledRun scheduled = RunOfCronCommand(entry.command);
        ScheduledCommand command;
        command.name = entry.name;
        command.entry = QStringLiteral("crontab");
        command.spec = ScheduleOfCronTime(entry.time);
        if (command.spec) {
            command.spec->name = entry.name;
            command.spec->onlyWhenReachable = !scheduled.destination.isEmpty();
            command.nextRun = stamp(NextRun(*command.spec, QDateTime::currentDateTime()));
        }
        command.batch = scheduled.batch;
        command.log = scheduled.log;
        command.cronCommand = entry.command;
        readBatch(command);
        readLog(command);
        listing.commands << command;
    }
    return listing;
}

// ---- All of them

ScheduleListing Scheduler::list()
{
    switch (kind()) {
    case SchedulerKind::TaskScheduler: return listTasks();
    case SchedulerKind::Systemd: return listUnits();
    case SchedulerKind::Cron: return listCron();
    case SchedulerKind::None: break;
    }
    return ScheduleListing{{}, QStringLiteral("Corvane found no scheduler here: no systemd user instance answers "
                                              "(systemctl --user), and there is no crontab program.")};
}

std::optional<ScheduleSpec> Scheduler::scheduleOf(const ScheduledCommand &command)
{
    if (command.spec || kind() != SchedulerKind::TaskScheduler)
        return command.spec;
    const ProcessOutcome outcome = run(m_setup.schtasks, {QStringLiteral("/query"), QStringLiteral("/xml"),
                                                          QStringLiteral("/tn"), command.entry});
    if (!outcome.started || outcome.exitCode != 0)
        return std::nullopt;
    std::optional<ScheduleSpec> spec = ScheduleOfTaskXml(textOf(outcome.output));
    if (spec)
        spec->name = command.name;
    return spec;
}

QString Scheduler::runNow(const ScheduledCommand &command)
{
    ProcessOutcome outcome;
    switch (kind()) {
    case SchedulerKind::TaskScheduler:
        outcome = run(m_setup.schtasks, {QStringLiteral("/run"), QStringLiteral("/tn"), command.entry});
        // Windows' schtasks tells that it started the task.
        if (outcome.started && outcome.exitCode == 0 && outcome.output.trimmed().isEmpty())
            return QStringLiteral("This system's schtasks does not run tasks on demand: \u201Cschtasks /run\u201D printed nothing.");
        break;
    case SchedulerKind::Systemd:
        outcome = run(m_setup.systemctl, {QStringLiteral("--user"), QStringLiteral("start"), QStringLiteral("--no-block"),
                                          ServiceUnitName(command.name)});
        break;
    case SchedulerKind::Cron:
        // cron starts nothing on demand: the line's own command runs, as cron would run it.
        outcome.started = QProcess::startDetached(QStringLiteral("/bin/sh"),
                                                  {QStringLiteral("-c"), ShellCommandOfCron(command.cronCommand)},
                                                  QDir::homePath());
        outcome.exitCode = outcome.started ? 0 : -1;
        break;
    case SchedulerKind::None:
        break;
    }
    if (outcome.started && outcome.exitCode == 0)
        return QString();
    return QStringLiteral("\u201C%1\u201D could not be started. ").arg(command.name) + saidBy(kindText(), outcome);
}

QString Scheduler::removeEntry(const ScheduledCommand &command)
{
    switch (kind()) {
    case SchedulerKind::TaskScheduler: {
        const ProcessOutcome outcome =
            run(m_setup.schtasks, {QStringLiteral("/delete"), QStringLiteral("/tn"), command.entry, QStringLiteral("/f")});
        return outcome.started && outcome.exitCode == 0 ? QString() : saidBy(QStringLiteral("schtasks /delete"), outcome);
    }
    case SchedulerKind::Systemd: {
        const ProcessOutcome outcome = run(m_setup.systemctl, {QStringLiteral("--user"), QStringLiteral("disable"),
                                                               QStringLiteral("--now"), command.entry});
        if (!outcome.started || outcome.exitCode != 0)
            return saidBy(QStringLiteral("systemctl --user disable"), outcome);
        QFile::remove(unitFolder() + u'/' + TimerUnitName(command.name));
        QFile::remove(unitFolder() + u'/' + ServiceUnitName(command.name));
        run(m_setup.systemctl, {QStringLiteral("--user"), QStringLiteral("daemon-reload")});
        return QString();
    }
    case SchedulerKind::Cron: {
        QString failure;
        const std::optional<QString> crontab = readCrontab(failure);
        return crontab ? writeCrontab(WithoutCronEntry(*crontab, command.name)) : failure;
    }
    case SchedulerKind::None:
        break;
    }
    return QStringLiteral("There is no scheduler to ask.");
}

QString Scheduler::remove(const ScheduledCommand &command)
{
    if (const QString failure = removeEntry(command); !failure.isEmpty())
        return QStringLiteral("The schedule \u201C%1\u201D was not deleted. ").arg(command.name) + failure;
    if (!command.batch.isEmpty())
        QFile::remove(command.batch);
    return QString();
}
