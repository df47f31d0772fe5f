#pragma once

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

// Splits a command at each "&" outside double quotes; steps are trimmed and
// empty ones dropped. As in cmd.exe, outside quotes "^" makes the next
// character plain text and is removed ("^&" does not split, "^"" does not
// open quotes); a line break (CR or LF) ends the command, and what follows
// it is not run.
QStringList SplitSteps(const QString &command);

// True when the step is the PAUSE command.
bool IsPause(const QString &step);

// Looks a program name up the way the console does: a name with a folder part
// is taken as a path; otherwise the current folder, then each folder of
// pathValue (":"-separated) is searched, in each folder first by the exact
// name, then ignoring letter case. Only executable files count. Returns the
// full path, or an empty text when nothing fits.
QString FindProgram(const QString &name, const QString &currentFolder, const QString &pathValue);

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
