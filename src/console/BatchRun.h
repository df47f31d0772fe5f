#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

// corvane-cmd without a window: "corvane-cmd --batch FILE [--log LOGFILE]"
// runs a saved command file as cmd.exe runs a batch file, line by line, each
// line by the console's own step rules (ConsoleRules.h), so that a scheduled
// run does what Execute does. Made for a scheduler: no display, nothing read
// from the keyboard but by PAUSE, and every run told in its log between a
// start line and an end line that carries the exit code.
namespace console {

struct BatchArguments
{
    QString batch;
    QString log; // empty: the output goes to the standard output
};

// The words after the program's name, when they ask for a batch run:
// "--batch FILE", optionally followed by "--log LOGFILE". Nothing otherwise.
std::optional<BatchArguments> ReadBatchArguments(const QStringList &words);

// Runs the file and returns the exit code of its last step. programFolder
// is where corvane-copy lies, as for the console (ProgramToRun).
int RunBatch(const BatchArguments &arguments, const QString &programFolder);

// A log outgrows this at the start of a run: it becomes the old log
// (OldLogPath), replacing the one before, and the run starts a new one. So
// a schedule's logs hold at most about twice this and one run's output.
constexpr qint64 MaxLogBytes = 4 * 1024 * 1024;
// "NAME.log" -> "NAME.old.log"; any other name gets ".old" added.
QString OldLogPath(const QString &log);

// The lines a run writes around its output.
QString LogStartLine(const QDateTime &when, const QString &batch);
QString LogEndLine(const QDateTime &when, int exitCode);
// Written instead of a run while the schedule's previous run still goes on.
QString LogBusyLine(const QDateTime &when);

// The last run a log tells of: when it started and, once it has ended, when
// and with which exit code.
struct LoggedRun
{
    QDateTime started;
    QDateTime ended;
    std::optional<int> exitCode;
};
std::optional<LoggedRun> LastLoggedRun(const QByteArray &log);
// The same from the file (only its end is read).
std::optional<LoggedRun> LastLoggedRunOf(const QString &logPath);

} // namespace console
