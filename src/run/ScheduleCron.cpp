#include "run/ScheduleCron.h"

#include <QRegularExpression>
#include <QStringList>

namespace {

const QString kBegin = QStringLiteral("# BEGIN Corvane schedules: Corvane's File > Scheduled Commands shows and changes them");
const QString kEnd = QStringLiteral("# END Corvane schedules");
const QString kEntry = QStringLiteral("# Corvane schedule: ");

// cron's day numbers: 0 is Sunday.
int cronDay(int qtDay) { return qtDay % 7; }

struct Block
{
    qsizetype begin = -1; // line indexes of the markers
    qsizetype end = -1;
};

Block findBlock(const QStringList &lines)
{
    Block block;
    block.begin = lines.indexOf(kBegin);
    if (block.begin >= 0)
        block.end = lines.indexOf(kEnd, block.begin + 1);
    if (block.end < 0)
        block.begin = -1;
    return block;
}

QStringList linesOf(const QString &crontab)
{
    QStringList lines = crontab.split(u'\n');
    if (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    return lines;
}

// cron reads only lines that end with a line break.
QString textOf(const QStringList &lines) { return lines.isEmpty() ? QString() : lines.join(u'\n') + u'\n'; }

} // namespace

QString CronTime(const ScheduleSpec &spec)
{
    const int minute = spec.time.minute();
    switch (spec.kind) {
    case ScheduleKind::Daily:
        break;
    case ScheduleKind::Weekly: {
        QStringList days;
        for (int day = 1; day <= 7; ++day)
            if (spec.days & DayBit(day))
                days << QString::number(cronDay(day));
        days.sort(); // Sunday first, as cron counts
        return QStringLiteral("%1 %2 * * %3").arg(minute).arg(spec.time.hour()).arg(days.join(u','));
    }
    case ScheduleKind::EveryHours:
        return QStringLiteral("%1 %2-23/%3 * * *").arg(minute).arg(spec.time.hour() % std::max(spec.hours, 1)).arg(spec.hours);
    }
    return QStringLiteral("%1 %2 * * *").arg(minute).arg(spec.time.hour());
}

std::optional<ScheduleSpec> ScheduleOfCronTime(const QString &fields)
{
    static const QRegularExpression form(QStringLiteral(R"(^(\d{1,2}) (\d{1,2})(?:-23/(\d{1,2}))? \* \* (\*|[0-7](?:,[0-7])*)$)"));
    const QRegularExpressionMatch m = form.match(fields.simplified());
    if (!m.hasMatch() || m.captured(1).toInt() > 59 || m.captured(2).toInt() > 23)
        return std::nullopt;
    ScheduleSpec spec;
    spec.runMissed = false; // cron makes up no run
    spec.time = QTime(m.captured(2).toInt(), m.captured(1).toInt());
    if (!m.captured(3).isEmpty()) {
        if (m.captured(4) != u"*")
            return std::nullopt;
        spec.kind = ScheduleKind::EveryHours;
        spec.hours = m.captured(3).toInt();
        if (spec.time.hour() >= spec.hours)
            return std::nullopt;
    } else if (m.captured(4) != u"*") {
        spec.kind = ScheduleKind::Weekly;
        for (const QString &day : m.captured(4).split(u','))
            spec.days |= DayBit(day.toInt() == 0 ? 7 : day.toInt());
    }
    if (!ScheduleRefusal(spec).isEmpty())
        return std::nullopt;
    return spec;
}

QString ShellWord(const QString &word)
{
    QString quoted = word;
    quoted.replace(u'\'', QStringLiteral("'\\''"));
    return u'\'' + quoted + u'\'';
}

QString CronCommand(const ScheduledRun &run)
{
    QString command;
    if (!run.destination.isEmpty())
        command = QStringLiteral("[ -d %1 ] && ").arg(ShellWord(run.destination));
    command += QStringLiteral("exec %1 --batch %2 --log %3")
                   .arg(ShellWord(run.program), ShellWord(run.batch), ShellWord(run.log));
    return command.replace(u'%', QStringLiteral("\\%"));
}

QString ShellCommandOfCron(const QString &cronCommand)
{
    QString command;
    for (qsizetype i = 0; i < cronCommand.size(); ++i) {
        const QChar c = cronCommand.at(i);
        if (c == u'\\' && i + 1 < cronCommand.size() && cronCommand.at(i + 1) == u'%') {
            command += u'%';
            ++i;
        } else if (c == u'%') {
            break;
        } else {
            command += c;
        }
    }
    return command;
}

ScheduledRun RunOfCronCommand(const QString &cronCommand)
{
    const QStringList words = QuotedWords(ShellCommandOfCron(cronCommand), WordRules::Shell);
    ScheduledRun run;
    if (words.value(0) == u"[" && words.value(1) == u"-d")
        run.destination = words.value(2);
    const qsizetype exec = words.indexOf(QStringLiteral("exec"));
    if (exec >= 0)
        run.program = words.value(exec + 1);
    for (qsizetype i = std::max<qsizetype>(exec, 0); i + 1 < words.size(); ++i) {
        if (words.at(i) == u"--batch")
            run.batch = words.at(i + 1);
        else if (words.at(i) == u"--log")
            run.log = words.at(i + 1);
    }
    return run;
}

QList<CronEntry> ReadCronBlock(const QString &crontab)
{
    const QStringList lines = linesOf(crontab);
    const Block block = findBlock(lines);
    QList<CronEntry> entries;
    for (qsizetype i = block.begin + 1; block.begin >= 0 && i + 1 < block.end; ++i) {
        if (!lines.at(i).startsWith(kEntry))
            continue;
        static const QRegularExpression line(QStringLiteral(R"(^\s*(\S+\s+\S+\s+\S+\s+\S+\s+\S+)\s+(.*)$)"));
        const QRegularExpressionMatch m = line.match(lines.at(i + 1));
        if (m.hasMatch())
            entries << CronEntry{lines.at(i).mid(kEntry.size()), m.captured(1), m.captured(2)};
    }
    return entries;
}

QString WithCronEntry(const QString &crontab, const CronEntry &entry)
{
    QStringList lines = linesOf(WithoutCronEntry(crontab, entry.name));
    Block block = findBlock(lines);
    if (block.begin < 0) {
        lines << kBegin << kEnd;
        block = findBlock(lines);
    }
    lines.insert(block.end, entry.time + u' ' + entry.command);
    lines.insert(block.end, kEntry + entry.name);
    return textOf(lines);
}

QString WithoutCronEntry(const QString &crontab, const QString &name)
{
    QStringList lines = linesOf(crontab);
    const Block block = findBlock(lines);
    if (block.begin < 0)
        return crontab;
    const qsizetype at = lines.indexOf(kEntry + name, block.begin + 1);
    if (at < 0 || at >= block.end)
        return crontab;
    lines.remove(at, at + 1 < block.end ? 2 : 1);
    if (findBlock(lines).end == findBlock(lines).begin + 1)
        lines.remove(findBlock(lines).begin, 2);
    return textOf(lines);
}
