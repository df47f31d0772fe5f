#include "run/ScheduleSpec.h"

#include "run/ScheduleSystemd.h"

#include <QLocale>
#include <QRegularExpression>
#include <QStringList>
#include <QTimeZone>

#include <algorithm>

namespace {
constexpr int kHourIntervals[] = {1, 2, 3, 4, 6, 8, 12};
// Long enough for any name a person gives.
constexpr qsizetype kMaxNameLength = 50;
// A systemd unit's name, where each byte of a letter beyond ASCII takes four.
constexpr qsizetype kMaxUnitName = 255;
} // namespace

std::span<const int> HourIntervals() { return kHourIntervals; }

QString NameRefusal(const QString &name)
{
    if (name.trimmed().isEmpty())
        return QStringLiteral("Give the schedule a name.");
    const QString quoted = u'\u201C' + name + u'\u201D';
    if (name != name.trimmed())
        return QStringLiteral("The name %1 starts or ends with a blank; take the blank away.").arg(quoted);
    if (name.size() > kMaxNameLength)
        return QStringLiteral("The name is %1 characters long; a schedule's name holds at most %2.")
            .arg(name.size())
            .arg(kMaxNameLength);
    // Windows' file names refuse the first nine; cmd.exe would read a
    // percent sign in the task's command as a variable, cron as a new line.
    for (QChar c : name) {
        if (c.unicode() < 0x20 || QStringView(u"\\/:*?\"<>|%").contains(c))
            return QStringLiteral("The name %1 holds %2, which no scheduler takes in a name. "
                                  "Use letters, digits, blanks and - _ . ( ) instead.")
                .arg(quoted, c.unicode() < 0x20 ? QStringLiteral("a control character") : u'\u201C' + c + u'\u201D');
    }
    if (ServiceUnitName(name).toUtf8().size() > kMaxUnitName)
        return QStringLiteral("The name %1 is too long for a systemd unit, which spells each letter beyond "
                              "A to Z in four characters. Use a shorter name.")
            .arg(quoted);
    if (name.endsWith(u'.'))
        return QStringLiteral("The name %1 ends with a dot, which Windows drops from a file name.").arg(quoted);
    static const QRegularExpression device(QStringLiteral(R"(^(CON|PRN|AUX|NUL|COM[1-9]|LPT[1-9])(\..*)?$)"),
                                           QRegularExpression::CaseInsensitiveOption);
    if (device.match(name).hasMatch())
        return QStringLiteral("The name %1 is the name of a Windows device; choose another.").arg(quoted);
    return QString();
}

std::optional<QTime> ParseTimeOfDay(const QString &text)
{
    static const QRegularExpression form(QStringLiteral(R"(^\s*([0-9]{1,2}):([0-9]{2})\s*$)"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const int hour = m.captured(1).toInt();
    const int minute = m.captured(2).toInt();
    if (hour > 23 || minute > 59)
        return std::nullopt;
    return QTime(hour, minute);
}

QString TimeRefusal(const QString &text)
{
    return QStringLiteral("\u201C%1\u201D is no time of day. Write the hour and the minute as HH:MM, "
                          "from 00:00 to 23:59 (for example 02:30).")
        .arg(text);
}

QString ScheduleRefusal(const ScheduleSpec &spec)
{
    if (!spec.time.isValid())
        return QStringLiteral("The schedule has no time of day.");
    switch (spec.kind) {
    case ScheduleKind::Daily:
        break;
    case ScheduleKind::Weekly:
        if ((spec.days & kAllDays) == 0)
            return QStringLiteral("Choose at least one day of the week.");
        break;
    case ScheduleKind::EveryHours: {
        const auto intervals = HourIntervals();
        if (std::find(intervals.begin(), intervals.end(), spec.hours) == intervals.end())
            return QStringLiteral("Every %1 hours cannot be scheduled: choose 1, 2, 3, 4, 6, 8 or 12 hours, "
                                  "so that every day has the same runs.")
                .arg(spec.hours);
        break;
    }
    }
    return QString();
}

QString DayNames(WeekDays days, const QString &separator)
{
    static const char *const kNames[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    QStringList names;
    for (int day = 1; day <= 7; ++day)
        if (days & DayBit(day))
            names << QLatin1StringView(kNames[day - 1]);
    return names.join(separator);
}

QString DescribeSchedule(const ScheduleSpec &spec)
{
    const QString at = spec.time.toString(QStringLiteral("HH:mm"));
    switch (spec.kind) {
    case ScheduleKind::Daily:
        return QStringLiteral("Daily at %1").arg(at);
    case ScheduleKind::Weekly:
        return QStringLiteral("%1 at %2").arg(DayNames(spec.days, QStringLiteral(", ")), at);
    case ScheduleKind::EveryHours:
        break;
    }
    const int first = spec.time.hour() % std::max(spec.hours, 1);
    return QStringLiteral("Every %1 hours (%2, %3, ...)")
        .arg(spec.hours)
        .arg(QTime(first, spec.time.minute()).toString(QStringLiteral("HH:mm")),
             QTime((first + spec.hours) % 24, spec.time.minute()).toString(QStringLiteral("HH:mm")));
}

QDateTime NextRun(const ScheduleSpec &spec, const QDateTime &after)
{
    if (!ScheduleRefusal(spec).isEmpty())
        return QDateTime();
    const QTimeZone zone = after.timeZone();
    const QDate today = after.date();
    // Eight days hold the next run of any schedule; the hours of a day are
    // walked for every n hours.
    for (qint64 d = 0; d <= 8; ++d) {
        const QDate day = today.addDays(d);
        QList<int> hours;
        if (spec.kind == ScheduleKind::EveryHours) {
            for (int h = spec.time.hour() % spec.hours; h < 24; h += spec.hours)
                hours << h;
        } else if (spec.kind == ScheduleKind::Daily || (spec.days & DayBit(day.dayOfWeek()))) {
            hours << spec.time.hour();
        }
        for (int h : std::as_const(hours)) {
            const QDateTime run(day, QTime(h, spec.time.minute()), zone);
            if (run > after)
                return run;
        }
    }
    return QDateTime();
}

ScheduleFiles FilesOf(const QString &folder, const QString &name)
{
    const QString base = folder + u'/' + name;
    return {base + QStringLiteral(".cmd"), base + QStringLiteral(".log")};
}
