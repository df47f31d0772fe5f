#pragma once

#include "run/ScheduleSpec.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// Scheduled commands kept by the operating system's own scheduler, which is
// their only record: Windows' Task Scheduler (folder \Corvane\), else a
// systemd user timer, else the user's crontab. Corvane keeps no list of its
// own; beside its settings lie each schedule's batch file (the bytes Save
// Command Line As writes) and the log its runs append to.

enum class SchedulerKind : quint8 { None, TaskScheduler, Systemd, Cron };

// Where everything goes. The program takes the system's own; tests point
// each part at a scratch place.
struct SchedulerSetup
{
    QString folder;         // the batch files and logs
    QString consoleProgram; // corvane-cmd, which runs a batch file without a window (not on Windows)
    QString systemctl = QStringLiteral("systemctl");
    QString unitFolder;     // empty: $XDG_CONFIG_HOME/systemd/user
    QStringList crontab = {QStringLiteral("crontab")}; // the program and its first arguments ("-u", "user")
    QString schtasks = QStringLiteral("schtasks.exe");
};

// The window's schedules go beside its settings, to the system's own
// scheduler. Tests change any part of that here; an empty function leaves
// it. Returns the function it replaces.
using SchedulerSetupHook = std::function<void(SchedulerSetup &setup)>;
SchedulerSetupHook SetSchedulerSetupHook(SchedulerSetupHook hook);

// One schedule as the system holds it.
struct ScheduledCommand
{
    QString name;
    QString entry; // the system's name for it: "\Corvane\NAME", "corvane-NAME.timer", "crontab"
    std::optional<ScheduleSpec> spec; // nothing where it is not known (yet)
    QString batch;
    QString log;
    QString command;  // the batch file's command, or why it cannot be read
    QString nextRun;  // as the system tells it, or worked out from the schedule
    QString lastRun;  // empty: never
    std::optional<int> lastExitCode;
    QString lastState; // without an exit code: why ("has not run yet", "no end recorded", ...)
    QString cronCommand; // the crontab line's command
};

struct ScheduleListing
{
    QList<ScheduledCommand> commands;
    QString failure; // why the system could not be asked; empty when it answered
};

// One program run to its end, as the scheduler runs schtasks, systemctl and
// crontab.
struct ProcessOutcome
{
    bool started = false;
    int exitCode = -1;
    QByteArray output;
    QByteArray errors;
};
using ScheduleProcessRunner = std::function<ProcessOutcome(const QString &program, const QStringList &arguments)>;
// Tests answer in place of the system's programs here; an empty function
// runs them. Returns the function it replaces.
ScheduleProcessRunner SetScheduleProcessRunner(ScheduleProcessRunner runner);

class Scheduler
{
public:
    explicit Scheduler(SchedulerSetup setup);

    // Where the batch files and logs go.
    const QString &folder() const { return m_setup.folder; }

    // Which scheduler the system has, asked once.
    SchedulerKind kind();
    // How a message names it: "the Task Scheduler", "a systemd user timer", "your crontab".
    QString kindText();

    ScheduleListing list();
    // The schedule of one, asked from the system where the listing did not tell it.
    std::optional<ScheduleSpec> scheduleOf(const ScheduledCommand &command);

    // Makes the schedule, or replaces the one named `replacing` (which may
    // have another name). An empty text when done; otherwise why not, and
    // nothing has changed.
    QString save(const ScheduleSpec &spec, const QString &commandLine, const QString &replacing = QString());
    // What save() did, for the user: where the schedule is kept now.
    QString savedWhere(const ScheduleSpec &spec);
    // Starts a run at once, as the scheduler would; empty when started.
    QString runNow(const ScheduledCommand &command);
    // Takes the schedule off the system and its batch file away (the log
    // stays); empty when done.
    QString remove(const ScheduledCommand &command);

    // Why the command cannot be scheduled as it is, or an empty text.
    QString commandRefusal(const ScheduleSpec &spec, const QString &commandLine) const;

private:
    ProcessOutcome run(const QString &program, const QStringList &arguments) const;
    QString unitFolder() const;
    QString saveTask(const ScheduleSpec &spec, const QString &batch, const QString &log, bool replace);
    QString saveUnits(const ScheduleSpec &spec, const QString &batch, const QString &log, const QString &destination);
    QString saveCron(const ScheduleSpec &spec, const QString &batch, const QString &log, const QString &destination);
    std::optional<QString> readCrontab(QString &failure);
    QString writeCrontab(const QString &text);
    ScheduleListing listTasks();
    ScheduleListing listUnits();
    ScheduleListing listCron();
    QString removeEntry(const ScheduledCommand &command);

    SchedulerSetup m_setup;
    std::optional<SchedulerKind> m_kind;
};

// The first line of the command a batch file holds, read as corvane-cmd
// and cmd.exe read it; nothing when it cannot be read.
std::optional<QString> CommandOfBatchFile(const QString &path, QString &why);
