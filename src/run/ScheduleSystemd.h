#pragma once

#include "run/ScheduleSpec.h"

#include <QString>
#include <QStringList>

#include <optional>

// A schedule as a systemd user timer and the service it starts: their
// names, their texts, and both read back.

// The text as a part of a unit name, as systemd-escape writes it: letters,
// digits, ":", "_" and "." (not first) stay, every other byte is "\xHH".
QString SystemdEscape(const QString &text);
// Back again; nothing when the text is no such escape.
std::optional<QString> SystemdUnescape(const QString &text);

// "corvane-NAME.timer" and "corvane-NAME.service", the name escaped.
QString TimerUnitName(const QString &scheduleName);
QString ServiceUnitName(const QString &scheduleName);
// The schedule's name of a unit so named, else nothing.
std::optional<QString> ScheduleNameOfUnit(const QString &unitName);
// The pattern that lists every timer of Corvane's.
QString TimerUnitPattern();

// The timer's calendar expression: "*-*-* 02:30:00",
// "Mon,Wed *-*-* 02:30:00", "*-*-* 01/4:15:00".
QString OnCalendar(const ScheduleSpec &spec);
// The schedule of an expression written so (the name is left empty).
std::optional<ScheduleSpec> ScheduleOfOnCalendar(const QString &expression);

// One word of an ExecStart= line: in double quotes, with systemd's
// escapes for "\", the quote, "%" (a specifier) and "$" (a variable). The
// program's own path is no place for variables: there "$" stays single.
QString ExecWord(const QString &word, bool program = false);
// Why systemd would not run a program of that path, or an empty text: it
// refuses a quotation mark, an apostrophe and a backslash there.
QString ExecProgramRefusal(const QString &path);
// The words of a line in single or double quotes, read by systemd's rules
// (backslash escapes everywhere, "%%" and "$$" for the signs) or a POSIX
// shell's (a backslash outside single quotes takes the next character).
enum class WordRules : quint8 { Systemd, Shell };
QStringList QuotedWords(const QString &line, WordRules rules);
// The words of an ExecStart= line as systemd reads them.
QStringList ExecWords(const QString &line);

// What the service runs: corvane-cmd with the batch file and its log.
struct ScheduledRun
{
    QString program;
    QString batch;
    QString log;
    // Only when the destination is reachable: the folder that must exist.
    QString destination;
};

QString ServiceUnit(const ScheduleSpec &spec, const ScheduledRun &run);
QString TimerUnit(const ScheduleSpec &spec);

// What Corvane reads back from the two units.
struct UnitReading
{
    std::optional<ScheduleSpec> spec; // nothing when the timer is not written as Corvane writes it
    ScheduledRun run;
};
UnitReading ReadUnits(const QString &scheduleName, const QString &serviceText, const QString &timerText);
