#pragma once

#include "command/CmdScanner.h"
#include "command/CommandWords.h"

#include <QString>
#include <QStringList>

// The rules by which corvane-cmd, the stand-in for cmd.exe off Windows,
// reads its command. Kept free of any window so they can be tested alone.
// Stripping the interpreter and splitting a step into words follow the
// rules in command/CommandWords.h.
namespace console {

// Called with no argument or more than one, the console prints UsageText
// and ends with UsageStatus.
constexpr int UsageStatus = 2;
QString UsageText();

// A command longer than MaxCommandLength (command/CommandWords.h) runs no
// step: like cmd.exe, the console prints TooLongLine and ends with TooLongStatus.
constexpr int TooLongStatus = 1;
QString TooLongLine();

// One command of the line, as cmd.exe reads it (command/CmdScanner.h):
// carets taken off, quotes kept; a line break ends the line, and what
// follows it is not run.
struct Step
{
    QString command;
    // How the next step follows this one: "&" always, "&&" after a success,
    // "||" after a failure.
    CmdConnector after = CmdConnector::End;
    // Its redirections as written, and whether a pipe joins it to the step
    // before or after it. The console pipes and redirects nothing, so such a
    // step is not run.
    QStringList redirections;
    bool piped = false;
};

// The steps of a command line, empty ones left out.
QList<Step> SplitSteps(const QString &command);

// Whether a step runs when the step before it in the line was followed by
// `previous` and the last step run ended with `errorLevel`.
bool StepRuns(CmdConnector previous, int errorLevel);

// Printed for a step that is not run because it pipes or redirects, and
// the error level it leaves.
QString RedirectionLine(const Step &step);
constexpr int RedirectionStatus = 1;

// True when the step is the PAUSE command.
bool IsPause(const QString &step);

// Looks a program name up the way the console does: a name with a folder part
// is taken as a path; otherwise the current folder, then each folder of
// pathValue (":"-separated) is searched, in each folder first by the exact
// name, then ignoring letter case. Only executable files count. Returns the
// full path, or an empty text when nothing fits.
QString FindProgram(const QString &name, const QString &currentFolder, const QString &pathValue);

// The name of the copy engine that stands in for Robocopy where there is none.
QString CopyEngineName();

// The one decision of what runs for a program name, used by the console
// for each step and by whatever else runs Robocopy off Windows: what
// FindProgram finds; else, when the name is Robocopy's own ("ROBOCOPY" or
// "ROBOCOPY.EXE" in any letter case, without a folder part), the copy
// engine from programFolder, the folder of the running program. Empty
// when neither is there.
QString ProgramToRun(const QString &name, const QString &currentFolder, const QString &pathValue,
                     const QString &programFolder);

// The lines printed for a command that cannot be found, and its status.
QStringList NotFoundLines(const QString &name);
constexpr int NotFoundStatus = 127;
// Status of a step that could not be executed or did not end normally.
constexpr int CannotExecuteStatus = 126;
constexpr int AbnormalEndStatus = 255;

// What the console window shows: finished lines and the line being written.
// A carriage return moves back to the start of the current line, so the next
// characters overwrite it (progress percentages); a line feed ends the line;
// a backspace moves one column left.
class Screen
{
public:
    void write(const QString &text);
    // Lines finished since the last call.
    QStringList takeFinished();
    const QString &current() const { return m_current; }

private:
    QStringList m_finished; // only those not yet taken: the screen keeps no history
    QString m_current;
    qsizetype m_column = 0;
};

} // namespace console
