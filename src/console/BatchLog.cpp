// The words of a batch run and the lines of its log: the same everywhere,
// since Corvane reads the logs that corvane-cmd writes.
#include "console/BatchRun.h"

#include <QFile>
#include <QRegularExpression>

namespace console {

namespace {
const QString kMark = QStringLiteral("====");

QString stamp(const QDateTime &when)
{
    // The offset makes the time plain in any zone, and across a change of the clock.
    const QDateTime local = when.toLocalTime();
    return local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODate);
}
} // namespace

std::optional<BatchArguments> ReadBatchArguments(const QStringList &words)
{
    if (words.size() == 2 && words.at(0) == u"--batch")
        return BatchArguments{words.at(1), QString()};
    if (words.size() == 4 && words.at(0) == u"--batch" && words.at(2) == u"--log" && !words.at(3).isEmpty())
        return BatchArguments{words.at(1), words.at(3)};
    return std::nullopt;
}

QString OldLogPath(const QString &log)
{
    if (log.endsWith(QLatin1StringView(".log"), Qt::CaseInsensitive))
        return log.chopped(4) + QStringLiteral(".old") + log.right(4);
    return log + QStringLiteral(".old");
}

QString LogStartLine(const QDateTime &when, const QString &batch)
{
    return QStringLiteral("%1 %2 started %3").arg(kMark, stamp(when), batch);
}

QString LogEndLine(const QDateTime &when, int exitCode)
{
    return QStringLiteral("%1 %2 ended with exit code %3").arg(kMark, stamp(when)).arg(exitCode);
}

QString LogBusyLine(const QDateTime &when)
{
    return QStringLiteral("%1 %2 not run: the previous run of this schedule is still going on").arg(kMark, stamp(when));
}

std::optional<LoggedRun> LastLoggedRun(const QByteArray &log)
{
    static const QRegularExpression line(
        QStringLiteral(R"(^==== (\S+) (?:(started) |(ended) with exit code (-?\d+)\r?$))"),
        QRegularExpression::MultilineOption);
    std::optional<LoggedRun> last;
    for (auto it = line.globalMatch(QString::fromUtf8(log)); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const QDateTime when = QDateTime::fromString(m.captured(1), Qt::ISODate);
        if (!when.isValid())
            continue;
        if (!m.captured(2).isEmpty()) {
            last = LoggedRun{when, QDateTime(), std::nullopt};
        } else if (last && !last->exitCode) {
            last->ended = when;
            last->exitCode = m.captured(4).toInt();
        } else {
            last = LoggedRun{QDateTime(), when, m.captured(4).toInt()}; // its start lies further back
        }
    }
    return last;
}

std::optional<LoggedRun> LastLoggedRunOf(const QString &logPath)
{
    // A run's own output lies between its two lines; the last run's start
    // is found in the end of the file unless that run printed very much.
    constexpr qint64 kTail = 256 * 1024;
    for (const QString &path : {logPath, OldLogPath(logPath)}) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        if (file.size() > kTail)
            file.seek(file.size() - kTail);
        if (std::optional<LoggedRun> run = LastLoggedRun(file.readAll()))
            return run;
    }
    return std::nullopt;
}

} // namespace console
