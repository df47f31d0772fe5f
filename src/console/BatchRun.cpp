// corvane-cmd --batch: a saved command file run without a window, for a
// scheduler (a systemd user service, a crontab line). Built off Windows only.
#include "console/BatchRun.h"

#include "command/CommandFileText.h"
#include "command/CommandWords.h"
#include "console/ConsoleRules.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <cstdio>
#include <sys/file.h>

namespace console {

namespace {

// Commands and jobs are a few kilobytes; a file far larger is none.
constexpr qint64 kMaxBatchBytes = 16 * 1024 * 1024;
// cmd.exe's error level when the batch file cannot be read.
constexpr int kNoBatchStatus = 1;

// Where the run's own lines and its programs' output go: the log, appended
// to by each program as by this process, or the standard output.
class Output
{
public:
    explicit Output(const QString &log) : m_log(log)
    {
        if (log.isEmpty())
            m_file.open(stdout, QIODevice::WriteOnly);
    }
    bool openLog()
    {
        m_file.setFileName(m_log);
        return m_file.open(QIODevice::WriteOnly | QIODevice::Append);
    }
    void line(const QString &text) { write(text + u'\n'); }
    void write(const QString &text)
    {
        m_file.write(text.toLocal8Bit());
        m_file.flush(); // before a program appends its own output
    }
    void route(QProcess &process) const
    {
        process.setProcessChannelMode(m_log.isEmpty() ? QProcess::ForwardedChannels : QProcess::MergedChannels);
        if (!m_log.isEmpty())
            process.setStandardOutputFile(m_log, QIODevice::Append);
    }

private:
    QString m_log;
    QFile m_file;
};

// A line cmd.exe does not run: a label or comment (":"), REM.
bool isRemark(const QString &line)
{
    if (line.startsWith(u':'))
        return true;
    const QString first = line.section(u' ', 0, 0);
    return first.compare(QLatin1StringView("REM"), Qt::CaseInsensitive) == 0;
}

// The command lines of the file, "@" taken off, remarks left out.
QStringList commandLines(const QString &text)
{
    QStringList lines;
    for (QString line : text.split(u'\n')) {
        line = line.trimmed();
        if (line.startsWith(u'@'))
            line = line.sliced(1).trimmed();
        if (!line.isEmpty() && !isRemark(line))
            lines << line;
    }
    return lines;
}

int runStep(const Step &step, Output &out, const QString &programFolder)
{
    if (!step.redirections.isEmpty() || step.piped) {
        out.line(RedirectionLine(step));
        return RedirectionStatus;
    }
    const QStringList words = ::SplitWords(step.command);
    const QString program = ProgramToRun(words.value(0), QDir::currentPath(), qEnvironmentVariable("PATH"),
                                         programFolder);
    if (program.isEmpty()) {
        for (const QString &line : NotFoundLines(words.value(0)))
            out.line(line);
        return NotFoundStatus;
    }
    QProcess process;
    out.route(process);
    process.setStandardInputFile(QProcess::nullDevice()); // the steps read no keyboard
    process.start(program, words.mid(1));
    if (!process.waitForStarted(-1)) {
        out.line(QStringLiteral("The system cannot execute the specified program."));
        return CannotExecuteStatus;
    }
    process.waitForFinished(-1);
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : AbnormalEndStatus;
}

int runLines(const QStringList &lines, Output &out, const QString &programFolder)
{
    // Like the console, a command over the limit runs no step at all.
    for (const QString &line : lines) {
        if (line.size() > MaxCommandLength) {
            out.line(TooLongLine());
            return TooLongStatus;
        }
    }
    int errorLevel = 0;
    for (const QString &line : lines) {
        const QList<Step> steps = SplitSteps(line);
        for (qsizetype i = 0; i < steps.size(); ++i) {
            if (i > 0 && !StepRuns(steps.at(i - 1).after, errorLevel))
                continue;
            if (IsPause(steps.at(i).command)) {
                // The error level stays, as with the real PAUSE. Without a
                // keyboard (a scheduler's /dev/null) the end of input goes on.
                out.write(QStringLiteral("Press any key to continue . . . "));
                for (int c = std::getchar(); c != EOF && c != '\n'; c = std::getchar()) {
                }
                out.line(QString());
                continue;
            }
            errorLevel = runStep(steps.at(i), out, programFolder);
        }
    }
    return errorLevel;
}

// The file's text, or why there is none.
std::optional<QString> readBatch(const QString &path, QString &why)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        why = QStringLiteral("Cannot open %1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    const QByteArray bytes = file.read(kMaxBatchBytes + 1);
    std::optional<QString> text;
    if (bytes.size() <= kMaxBatchBytes && file.error() == QFileDevice::NoError)
        text = CommandFileText(bytes, CommandFileKindOf(path), SystemCodePages());
    if (!text)
        why = QStringLiteral("%1 is no command file.").arg(path);
    return text;
}

} // namespace

int RunBatch(const BatchArguments &arguments, const QString &programFolder)
{
    Output out(arguments.log);
    // One run of a schedule at a time: a run that finds the last one still
    // going leaves it alone (a scheduler's "ignore the new instance").
    QFile lock(arguments.batch);
    const bool locked = lock.open(QIODevice::ReadOnly) && ::flock(lock.handle(), LOCK_EX | LOCK_NB) == 0;
    if (!arguments.log.isEmpty()) {
        if (locked && QFileInfo(arguments.log).size() > MaxLogBytes) {
            QFile::remove(OldLogPath(arguments.log));
            QFile::rename(arguments.log, OldLogPath(arguments.log));
        }
        if (!out.openLog()) {
            std::fprintf(stderr, "corvane-cmd: cannot write the log %s\n", qPrintable(arguments.log));
            return CannotExecuteStatus;
        }
    }
    if (lock.isOpen() && !locked) {
        out.line(LogBusyLine(QDateTime::currentDateTime()));
        return 0;
    }
    out.line(LogStartLine(QDateTime::currentDateTime(), arguments.batch));
    QString why;
    int status = kNoBatchStatus;
    if (const std::optional<QString> text = readBatch(arguments.batch, why))
        status = runLines(commandLines(*text), out, programFolder);
    else
        out.line(why);
    out.line(LogEndLine(QDateTime::currentDateTime(), status));
    return status;
}

} // namespace console
