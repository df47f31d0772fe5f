#include "run/ScheduleTask.h"

#include "console/BatchRun.h"

#include <QRegularExpression>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

namespace {

const QString kFolder = QStringLiteral("\\Corvane\\");
const QString kTaskNamespace = QStringLiteral("http://schemas.microsoft.com/windows/2004/02/mit/task");
// Far beyond any copy; a run hanging on a dead share ends at last.
const QString kTimeLimit = QStringLiteral("PT72H");
// The Task Scheduler's own results, which are no exit code of the command.
constexpr int kHasNotRun = 0x41303;
constexpr int kRunning = 0x41301;

const char *const kDayElements[] = {"Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday"};

QString boolean(bool value) { return value ? QStringLiteral("true") : QStringLiteral("false"); }

// The fields of one CSV line: quoted, "" for a quote inside.
QStringList csvFields(QStringView line)
{
    QStringList fields;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (quoted && c == u'"' && i + 1 < line.size() && line.at(i + 1) == u'"') {
            field += c;
            ++i;
        } else if (c == u'"') {
            quoted = !quoted;
        } else if (c == u',' && !quoted) {
            fields << field;
            field.clear();
        } else {
            field += c;
        }
    }
    fields << field;
    return fields;
}

} // namespace

QString TaskPath(const QString &scheduleName) { return kFolder + scheduleName; }

std::optional<QString> ScheduleNameOfTask(const QString &taskPath)
{
    if (!taskPath.startsWith(kFolder, Qt::CaseInsensitive) || taskPath.size() == kFolder.size()
        || taskPath.indexOf(u'\\', kFolder.size()) >= 0)
        return std::nullopt;
    return taskPath.mid(kFolder.size());
}

QString TaskArguments(const QString &batch, const QString &log)
{
    // cmd.exe takes the first and the last quote off the text after /c, and
    // runs the rest: the batch file last, so that its exit code is the task's.
    // No redirection follows a parenthesis: Wine's cmd.exe stretches it over
    // the commands after the block.
    const QString quotedLog = u'"' + log + u'"';
    return QStringLiteral("/c \"(if exist %1 for %I in (%1) do @if %~zI GTR %2 move /y %1 \"%3\" >nul)"
                          " & echo ==== %DATE% %TIME% started \"%4\">> %1"
                          " & \"%4\" >> %1 2>&1\"")
        .arg(quotedLog)
        .arg(console::MaxLogBytes)
        .arg(console::OldLogPath(log), batch);
}

ScheduleFiles FilesOfTaskArguments(const QString &arguments)
{
    static const QRegularExpression run(QStringLiteral(R"re(& "([^"]+)" >> "([^"]+)" 2>&1"\s*$)re"));
    const QRegularExpressionMatch m = run.match(arguments);
    return m.hasMatch() ? ScheduleFiles{m.captured(1), m.captured(2)} : ScheduleFiles{};
}

QString TaskPathRefusal(const QString &path)
{
    for (QChar c : path) {
        if (c == u'%' || c == u'"' || c.unicode() < 0x20)
            return QStringLiteral("The path %1 holds %2, which the task's command line cannot carry. "
                                  "Keep Corvane's settings in a folder without it.")
                .arg(path, c == u'%' ? QStringLiteral("a percent sign")
                           : c == u'"' ? QStringLiteral("a quotation mark")
                                       : QStringLiteral("a control character"));
    }
    return QString();
}

QString TaskXml(const TaskDefinition &task)
{
    const ScheduleSpec &spec = task.spec;
    QString xml;
    QXmlStreamWriter w(&xml);
    w.setAutoFormatting(true);
    w.writeStartElement(QStringLiteral("Task"));
    w.writeAttribute(QStringLiteral("version"), QStringLiteral("1.2"));
    w.writeDefaultNamespace(kTaskNamespace);

    w.writeStartElement(QStringLiteral("RegistrationInfo"));
    w.writeTextElement(QStringLiteral("Description"), QStringLiteral("Corvane schedule %1").arg(spec.name));
    w.writeTextElement(QStringLiteral("URI"), TaskPath(spec.name));
    w.writeEndElement();

    const int hour = spec.kind == ScheduleKind::EveryHours ? spec.time.hour() % std::max(spec.hours, 1) : spec.time.hour();
    w.writeStartElement(QStringLiteral("Triggers"));
    w.writeStartElement(QStringLiteral("CalendarTrigger"));
    if (spec.kind == ScheduleKind::EveryHours) {
        // The day's first run and every n hours after it, for the whole day;
        // the next day's trigger goes on from there.
        w.writeStartElement(QStringLiteral("Repetition"));
        w.writeTextElement(QStringLiteral("Interval"), QStringLiteral("PT%1H").arg(spec.hours));
        w.writeTextElement(QStringLiteral("Duration"), QStringLiteral("P1D"));
        w.writeTextElement(QStringLiteral("StopAtDurationEnd"), boolean(false));
        w.writeEndElement();
    }
    w.writeTextElement(QStringLiteral("StartBoundary"),
                       QDateTime(task.firstDay, QTime(hour, spec.time.minute())).toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")));
    w.writeTextElement(QStringLiteral("Enabled"), boolean(true));
    if (spec.kind == ScheduleKind::Weekly) {
        w.writeStartElement(QStringLiteral("ScheduleByWeek"));
        w.writeStartElement(QStringLiteral("DaysOfWeek"));
        for (int day = 1; day <= 7; ++day)
            if (spec.days & DayBit(day))
                w.writeEmptyElement(QLatin1StringView(kDayElements[day - 1]));
        w.writeEndElement();
        w.writeTextElement(QStringLiteral("WeeksInterval"), QStringLiteral("1"));
        w.writeEndElement();
    } else {
        w.writeStartElement(QStringLiteral("ScheduleByDay"));
        w.writeTextElement(QStringLiteral("DaysInterval"), QStringLiteral("1"));
        w.writeEndElement();
    }
    w.writeEndElement(); // CalendarTrigger
    w.writeEndElement(); // Triggers

    // The user who made it, with the rights of the signed-in session and no
    // stored password: a run while the user is logged off reaches no share.
    w.writeStartElement(QStringLiteral("Principals"));
    w.writeStartElement(QStringLiteral("Principal"));
    w.writeAttribute(QStringLiteral("id"), QStringLiteral("Author"));
    w.writeTextElement(QStringLiteral("UserId"), task.userId);
    w.writeTextElement(QStringLiteral("LogonType"), QStringLiteral("InteractiveToken"));
    w.writeTextElement(QStringLiteral("RunLevel"),
                       spec.highestPrivileges ? QStringLiteral("HighestAvailable") : QStringLiteral("LeastPrivilege"));
    w.writeEndElement();
    w.writeEndElement();

    w.writeStartElement(QStringLiteral("Settings"));
    w.writeTextElement(QStringLiteral("MultipleInstancesPolicy"), QStringLiteral("IgnoreNew"));
    w.writeTextElement(QStringLiteral("DisallowStartIfOnBatteries"), boolean(false));
    w.writeTextElement(QStringLiteral("StopIfGoingOnBatteries"), boolean(false));
    w.writeTextElement(QStringLiteral("StartWhenAvailable"), boolean(spec.runMissed));
    w.writeTextElement(QStringLiteral("RunOnlyIfNetworkAvailable"), boolean(spec.onlyWhenReachable));
    w.writeTextElement(QStringLiteral("Enabled"), boolean(true));
    w.writeTextElement(QStringLiteral("ExecutionTimeLimit"), kTimeLimit);
    w.writeEndElement();

    w.writeStartElement(QStringLiteral("Actions"));
    w.writeAttribute(QStringLiteral("Context"), QStringLiteral("Author"));
    w.writeStartElement(QStringLiteral("Exec"));
    w.writeTextElement(QStringLiteral("Command"), QStringLiteral("cmd.exe"));
    w.writeTextElement(QStringLiteral("Arguments"), TaskArguments(task.batch, task.log));
    w.writeTextElement(QStringLiteral("WorkingDirectory"), task.workingFolder);
    w.writeEndElement();
    w.writeEndElement();

    w.writeEndElement(); // Task
    return xml + u'\n';
}

std::optional<ScheduleSpec> ScheduleOfTaskXml(const QString &xml)
{
    ScheduleSpec spec;
    bool trigger = false;
    QXmlStreamReader r(xml);
    QStringList path;
    while (!r.atEnd()) {
        const QXmlStreamReader::TokenType token = r.readNext();
        if (token == QXmlStreamReader::EndElement) {
            path.removeLast();
            continue;
        }
        if (token != QXmlStreamReader::StartElement)
            continue;
        const QString name = r.name().toString();
        const QString parent = path.value(path.size() - 1);
        path << name;
        if (parent == u"DaysOfWeek") {
            for (int day = 1; day <= 7; ++day)
                if (name == QLatin1StringView(kDayElements[day - 1]))
                    spec.days |= DayBit(day);
            spec.kind = ScheduleKind::Weekly;
            continue;
        }
        if (name == u"StartBoundary" && parent == u"CalendarTrigger") {
            spec.time = QDateTime::fromString(r.readElementText().left(19), QStringLiteral("yyyy-MM-ddTHH:mm:ss")).time();
            trigger = spec.time.isValid();
        } else if (name == u"Interval" && parent == u"Repetition") {
            static const QRegularExpression hours(QStringLiteral(R"(^PT(\d+)H$)"));
            const QRegularExpressionMatch m = hours.match(r.readElementText());
            if (!m.hasMatch())
                return std::nullopt;
            spec.kind = ScheduleKind::EveryHours;
            spec.hours = m.captured(1).toInt();
        } else if (name == u"StartWhenAvailable") {
            spec.runMissed = r.readElementText() == u"true";
        } else if (name == u"RunOnlyIfNetworkAvailable") {
            spec.onlyWhenReachable = r.readElementText() == u"true";
        } else if (name == u"RunLevel") {
            spec.highestPrivileges = r.readElementText() == u"HighestAvailable";
        } else {
            continue;
        }
        path.removeLast(); // readElementText() read the end of the element
    }
    if (r.hasError() || !trigger || !ScheduleRefusal(spec).isEmpty())
        return std::nullopt;
    return spec;
}

QList<TaskRow> ReadTaskCsv(const QString &csv)
{
    QList<TaskRow> rows;
    for (const QString &line : csv.split(u'\n')) {
        const QStringList f = csvFields(QStringView(line).trimmed());
        // HostName, TaskName, Next Run Time, Status, Logon Mode, Last Run Time,
        // Last Result, Author, Task To Run, ...
        if (f.size() < 9 || !ScheduleNameOfTask(f.at(1)))
            continue;
        // A task with several triggers has a line for each.
        if (!rows.isEmpty() && rows.constLast().path == f.at(1))
            continue;
        rows << TaskRow{f.at(1), f.at(2), f.at(5), f.at(6), f.at(8)};
    }
    return rows;
}

TaskResult ReadTaskResult(const QString &lastResult)
{
    bool ok = false;
    const qint64 value = lastResult.trimmed().toLongLong(&ok);
    if (!ok)
        return {std::nullopt, lastResult.trimmed()};
    if (value == kHasNotRun)
        return {std::nullopt, QStringLiteral("has not run yet")};
    if (value == kRunning)
        return {std::nullopt, QStringLiteral("running")};
    if (value < 0 || value > 0xFFFF)
        return {std::nullopt, QStringLiteral("could not start (0x%1)").arg(quint32(value), 8, 16, QLatin1Char('0'))};
    return {int(value), QString()};
}
