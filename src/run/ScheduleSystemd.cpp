#include "run/ScheduleSystemd.h"

#include <QRegularExpression>

namespace {

const QString kPrefix = QStringLiteral("corvane-");
const QString kTimer = QStringLiteral(".timer");
const QString kService = QStringLiteral(".service");
// Far beyond any copy; a run hanging on a dead share ends at last.
const QString kTimeLimit = QStringLiteral("72h");

bool keptInUnitName(char c, bool first)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ':' || c == '_'
        || (c == '.' && !first);
}

// Specifiers ("%n") are expanded in most values of a unit; "%%" is one sign.
QString escapeSpecifiers(QString text) { return text.replace(u'%', QStringLiteral("%%")); }

// The last value given to a key anywhere in a unit's text.
QString unitValue(const QString &text, const QString &key)
{
    QString value;
    for (const QString &raw : text.split(u'\n')) {
        const QString line = raw.trimmed();
        if (line.startsWith(key) && line.mid(key.size()).trimmed().startsWith(u'='))
            value = line.mid(line.indexOf(u'=') + 1).trimmed();
    }
    return value;
}

} // namespace

QString SystemdEscape(const QString &text)
{
    QString out;
    const QByteArray bytes = text.toUtf8();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = bytes.at(i);
        if (keptInUnitName(c, i == 0))
            out += QLatin1Char(c);
        else
            out += QStringLiteral("\\x%1").arg(uchar(c), 2, 16, QLatin1Char('0'));
    }
    return out;
}

std::optional<QString> SystemdUnescape(const QString &text)
{
    QByteArray bytes;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) != u'\\') {
            if (text.at(i).unicode() > 0x7F)
                return std::nullopt;
            bytes += char(text.at(i).unicode());
            continue;
        }
        bool ok = false;
        const int value = text.mid(i + 2, 2).toInt(&ok, 16);
        if (text.mid(i + 1, 1) != u"x" || text.mid(i + 2, 2).size() != 2 || !ok)
            return std::nullopt;
        bytes += char(value);
        i += 3;
    }
    return QString::fromUtf8(bytes);
}

QString TimerUnitName(const QString &scheduleName) { return kPrefix + SystemdEscape(scheduleName) + kTimer; }
QString ServiceUnitName(const QString &scheduleName) { return kPrefix + SystemdEscape(scheduleName) + kService; }
QString TimerUnitPattern() { return kPrefix + u'*' + kTimer; }

std::optional<QString> ScheduleNameOfUnit(const QString &unitName)
{
    for (const QString &suffix : {kTimer, kService}) {
        if (unitName.startsWith(kPrefix) && unitName.endsWith(suffix) && unitName.size() > kPrefix.size() + suffix.size())
            return SystemdUnescape(unitName.mid(kPrefix.size(), unitName.size() - kPrefix.size() - suffix.size()));
    }
    return std::nullopt;
}

QString OnCalendar(const ScheduleSpec &spec)
{
    const QString minute = spec.time.toString(QStringLiteral("mm"));
    switch (spec.kind) {
    case ScheduleKind::Daily:
        break;
    case ScheduleKind::Weekly:
        return DayNames(spec.days, QStringLiteral(",")) + QStringLiteral(" *-*-* ")
            + spec.time.toString(QStringLiteral("HH:mm:00"));
    case ScheduleKind::EveryHours:
        return QStringLiteral("*-*-* %1/%2:%3:00")
            .arg(spec.time.hour() % std::max(spec.hours, 1), 2, 10, QLatin1Char('0'))
            .arg(spec.hours)
            .arg(minute);
    }
    return QStringLiteral("*-*-* ") + spec.time.toString(QStringLiteral("HH:mm:00"));
}

std::optional<ScheduleSpec> ScheduleOfOnCalendar(const QString &expression)
{
    static const QRegularExpression form(
        QStringLiteral(R"(^(?:((?:Mon|Tue|Wed|Thu|Fri|Sat|Sun)(?:,(?:Mon|Tue|Wed|Thu|Fri|Sat|Sun))*) )?)"
                       R"(\*-\*-\* (\d\d)(?:/(\d+))?:(\d\d):00$)"));
    const QRegularExpressionMatch m = form.match(expression.trimmed());
    if (!m.hasMatch())
        return std::nullopt;
    ScheduleSpec spec;
    spec.time = QTime(m.captured(2).toInt(), m.captured(4).toInt());
    if (!m.captured(3).isEmpty()) {
        if (!m.captured(1).isEmpty())
            return std::nullopt;
        spec.kind = ScheduleKind::EveryHours;
        spec.hours = m.captured(3).toInt();
    } else if (!m.captured(1).isEmpty()) {
        spec.kind = ScheduleKind::Weekly;
        for (int day = 1; day <= 7; ++day)
            if (m.captured(1).contains(DayNames(DayBit(day), QString())))
                spec.days |= DayBit(day);
    }
    if (!ScheduleRefusal(spec).isEmpty() || (spec.kind == ScheduleKind::EveryHours && spec.time.hour() >= spec.hours))
        return std::nullopt;
    return spec;
}

QString ExecWord(const QString &word, bool program)
{
    QString out = QStringLiteral("\"");
    for (QChar c : word) {
        if (c == u'\\' || c == u'"')
            out += u'\\';
        if (c == u'%' || (c == u'$' && !program))
            out += c; // "%%" and "$$" stand for the sign itself
        out += c;
    }
    return out + u'"';
}

QString ExecProgramRefusal(const QString &path)
{
    for (QChar c : path)
        if (c == u'"' || c == u'\'' || c == u'\\' || c.unicode() < 0x20)
            return QStringLiteral("systemd runs no program whose path holds %1: %2")
                .arg(c.unicode() < 0x20 ? QStringLiteral("a control character") : u'\u201C' + c + u'\u201D', path);
    return QString();
}

QStringList QuotedWords(const QString &line, WordRules rules)
{
    const bool systemd = rules == WordRules::Systemd;
    QStringList words;
    QString word;
    bool inWord = false;
    QChar quote;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (quote.isNull() && (c == u' ' || c == u'\t')) {
            if (inWord)
                words << word;
            word.clear();
            inWord = false;
            continue;
        }
        inWord = true;
        if (!quote.isNull() && c == quote) {
            quote = QChar();
        } else if (quote.isNull() && (c == u'"' || c == u'\'')) {
            quote = c;
        } else if (c == u'\\' && i + 1 < line.size() && (systemd || quote != u'\'')) {
            const QChar next = line.at(++i);
            if (!systemd) {
                word += next;
            } else if (next == u'x' && i + 2 < line.size()) {
                word += QChar(line.mid(i + 1, 2).toUShort(nullptr, 16));
                i += 2;
            } else {
                word += next == u'n' ? QChar(u'\n') : next == u't' ? QChar(u'\t') : next == u's' ? QChar(u' ') : next;
            }
        } else if (systemd && (c == u'%' || c == u'$') && i + 1 < line.size() && line.at(i + 1) == c) {
            word += c; // "%%" and "$$"
            ++i;
        } else {
            word += c;
        }
    }
    if (inWord)
        words << word;
    return words;
}

QStringList ExecWords(const QString &line) { return QuotedWords(line, WordRules::Systemd); }

QString ServiceUnit(const ScheduleSpec &spec, const ScheduledRun &run)
{
    QString text = QStringLiteral("# Corvane's schedule \u201C%1\u201D: File > Scheduled Commands shows and changes it.\n"
                                  "[Unit]\nDescription=Corvane schedule %1\n")
                       .arg(escapeSpecifiers(spec.name));
    if (spec.onlyWhenReachable)
        text += QStringLiteral("ConditionPathIsDirectory=%1\n").arg(escapeSpecifiers(run.destination));
    text += QStringLiteral("\n[Service]\nType=oneshot\nWorkingDirectory=~\nTimeoutStartSec=%1\nExecStart=%2 --batch %3 --log %4\n")
                .arg(kTimeLimit, ExecWord(run.program, true), ExecWord(run.batch), ExecWord(run.log));
    return text;
}

QString TimerUnit(const ScheduleSpec &spec)
{
    return QStringLiteral("# Corvane's schedule \u201C%1\u201D: File > Scheduled Commands shows and changes it.\n"
                          "[Unit]\nDescription=Corvane schedule %1\n\n"
                          "[Timer]\nOnCalendar=%2\nPersistent=%3\n\n"
                          "[Install]\nWantedBy=timers.target\n")
        .arg(escapeSpecifiers(spec.name), OnCalendar(spec),
             spec.runMissed ? QStringLiteral("true") : QStringLiteral("false"));
}

UnitReading ReadUnits(const QString &scheduleName, const QString &serviceText, const QString &timerText)
{
    UnitReading reading;
    const QStringList words = ExecWords(unitValue(serviceText, QStringLiteral("ExecStart")));
    reading.run.program = words.value(0);
    for (qsizetype i = 1; i + 1 < words.size(); i += 2) {
        if (words.at(i) == u"--batch")
            reading.run.batch = words.at(i + 1);
        else if (words.at(i) == u"--log")
            reading.run.log = words.at(i + 1);
    }
    reading.run.destination =
        unitValue(serviceText, QStringLiteral("ConditionPathIsDirectory")).replace(QStringLiteral("%%"), QStringLiteral("%"));
    reading.spec = ScheduleOfOnCalendar(unitValue(timerText, QStringLiteral("OnCalendar")));
    if (reading.spec) {
        reading.spec->name = scheduleName;
        reading.spec->runMissed = unitValue(timerText, QStringLiteral("Persistent")) == u"true";
        reading.spec->onlyWhenReachable = !reading.run.destination.isEmpty();
    }
    return reading;
}
