#pragma once

#include "run/ScheduleSpec.h"
#include "run/ScheduleSystemd.h"

#include <QList>
#include <QString>

#include <optional>

// A schedule as a line of the user's crontab, where there is no systemd user
// instance. Corvane's lines stand in a block of their own between two marked
// comment lines, each after a comment that names its schedule; the rest of
// the crontab is left exactly as it was.

// The five time fields: "30 2 * * *", "30 2 * * 1,3,5", "15 1-23/4 * * *".
QString CronTime(const ScheduleSpec &spec);
// The schedule of time fields written so (the name is left empty; no
// missed run is made up).
std::optional<ScheduleSpec> ScheduleOfCronTime(const QString &fields);

// A word for the shell, in single quotes.
QString ShellWord(const QString &word);
// The command of the line: the destination tested when it must be there,
// then corvane-cmd with the batch file and its log. Percent signs, which
// cron turns into line breaks, are escaped.
QString CronCommand(const ScheduledRun &run);
// What cron hands to the shell for a command: "\%" is a percent sign, and
// an unescaped one ends the command (cron sends what follows as input).
QString ShellCommandOfCron(const QString &cronCommand);
// The run a command written by CronCommand names.
ScheduledRun RunOfCronCommand(const QString &cronCommand);

struct CronEntry
{
    QString name;
    QString time;    // the five fields
    QString command; // as it stands in the crontab
};
// Corvane's entries in a crontab's text.
QList<CronEntry> ReadCronBlock(const QString &crontab);
// The crontab with the entry of that name replaced, or added to the block
// (the block made at the end when there is none).
QString WithCronEntry(const QString &crontab, const CronEntry &entry);
// The crontab without the entry of that name; an empty block goes too.
QString WithoutCronEntry(const QString &crontab, const QString &name);
