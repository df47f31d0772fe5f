#pragma once

#include "run/ScheduleSpec.h"

#include <QDate>
#include <QList>
#include <QString>

#include <optional>

// A schedule as a task of Windows' Task Scheduler in the folder \Corvane\:
// the task's XML as "schtasks /create /xml" takes it, the command line its
// action gives cmd.exe, and what "schtasks /query /fo csv /v" tells back.
// Plain text work, so it is built and tested everywhere.

// "\Corvane\NAME", and the name of a task in that folder.
QString TaskPath(const QString &scheduleName);
std::optional<QString> ScheduleNameOfTask(const QString &taskPath);

// What the task gives "cmd.exe": a log grown past the limit becomes the old
// log, a line marks the start, and the batch file runs with its output
// appended to the log. The paths are Windows paths; "%" would be read as a
// variable, so a path holding one is refused before (PathRefusal).
QString TaskArguments(const QString &batch, const QString &log);
// The batch file and the log of arguments written so (else empty texts).
ScheduleFiles FilesOfTaskArguments(const QString &arguments);
// Why a path cannot stand in the task's command line, or an empty text.
QString TaskPathRefusal(const QString &path);

struct TaskDefinition
{
    ScheduleSpec spec;
    QString userId;        // "DOMAIN\user": the task runs as the user who made it
    QString batch;         // Windows paths
    QString log;
    QString workingFolder; // where the command starts, as Execute's does from the program's
    QDate firstDay;        // the day the schedule starts: the day it is made
};
// The task's XML (without the declaration of its encoding, which belongs
// to the bytes it is written in).
QString TaskXml(const TaskDefinition &task);
// The schedule of a task's XML written so (the name is left empty).
std::optional<ScheduleSpec> ScheduleOfTaskXml(const QString &xml);

// One task of schtasks' verbose CSV listing.
struct TaskRow
{
    QString path;
    QString nextRun;
    QString lastRun;
    QString lastResult;
    QString taskToRun;
};
// The tasks in \Corvane\ of "schtasks /query /fo csv /v /nh" (the columns
// come in a fixed order, their headers in the system's language).
QList<TaskRow> ReadTaskCsv(const QString &csv);

// What a task's last result says: a Robocopy exit code, or one of the Task
// Scheduler's own states.
struct TaskResult
{
    std::optional<int> exitCode;
    QString state; // "has not run yet", "running", "could not start (0x80070002)"
};
TaskResult ReadTaskResult(const QString &lastResult);
