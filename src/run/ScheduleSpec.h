#pragma once

#include <QDateTime>
#include <QString>
#include <QTime>

#include <optional>
#include <span>

// A scheduled command as the user states it, the same for every scheduler:
// what Windows' Task Scheduler, a systemd timer and a crontab line are made
// from (ScheduleTask.h, ScheduleSystemd.h, ScheduleCron.h) and read back as.

enum class ScheduleKind : quint8 { Daily, Weekly, EveryHours };

// Days of the week as bits, Monday the lowest (Qt's day n is bit n - 1).
using WeekDays = quint8;
constexpr WeekDays DayBit(int qtDay) { return WeekDays(1u << (qtDay - 1)); }
constexpr WeekDays kAllDays = 0x7F;

struct ScheduleSpec
{
    QString name;
    ScheduleKind kind = ScheduleKind::Daily;
    // Daily and weekly: the time of day. Every n hours: one of the runs;
    // the others are n hours apart, the same hours every day.
    QTime time{2, 0};
    WeekDays days = 0; // weekly
    int hours = 4;     // every n hours: one of HourIntervals()
    bool runMissed = true;
    bool onlyWhenReachable = false;
    bool highestPrivileges = false; // Windows: the task runs elevated when the user is an administrator

    bool operator==(const ScheduleSpec &) const = default;
};

// Every n hours takes the divisors of 24 below it, so that each day has the
// same runs and each scheduler keeps them alike.
std::span<const int> HourIntervals();

// Why no scheduler could take the name (it names the batch file, the task,
// the unit and the crontab entry), or an empty text.
QString NameRefusal(const QString &name);
// "H:MM" or "HH:MM" from 00:00 to 23:59; nothing for any other text.
std::optional<QTime> ParseTimeOfDay(const QString &text);
// The message for a text that is no time of day.
QString TimeRefusal(const QString &text);
// Why the schedule cannot be made (no day chosen, an interval no scheduler
// keeps alike), or an empty text. The name is not looked at.
QString ScheduleRefusal(const ScheduleSpec &spec);

// "Daily at 02:30", "Mon, Wed, Fri at 02:30", "Every 4 hours (01:15, 05:15, ...)".
QString DescribeSchedule(const ScheduleSpec &spec);
// "Mon,Wed,Fri" style names of the days, Monday first.
QString DayNames(WeekDays days, const QString &separator);

// The first run strictly after `after`, in after's time zone.
QDateTime NextRun(const ScheduleSpec &spec, const QDateTime &after);

// A schedule's files in its folder: the batch file the scheduler runs, and
// the log its runs append to.
struct ScheduleFiles
{
    QString batch;
    QString log;
};
ScheduleFiles FilesOf(const QString &folder, const QString &name);
