#pragma once

#include "command/OptionReader.h"

#include <QHash>
#include <QString>
#include <QStringList>

// The reverse of the builder: reads a Robocopy command, a batch file or a
// job file back into the option values that compose it.

// Option values by control name. A control that no switch names reads its
// cleared value, except the copy and folder-copy boxes, which start at
// Robocopy's defaults (D A T for files, D A for folders).
class OptionValues : public OptionReader
{
public:
    OptionValues();

    qint16 checkValue(QLatin1StringView name) const override;
    QString text(QLatin1StringView name) const override;

    // The names must outlive the values (the switch table's names do).
    void setCheck(QLatin1StringView name, qint16 value) { m_checks.insert(name, value); }
    void setText(QLatin1StringView name, const QString &text) { m_texts.insert(name, text); }

private:
    QHash<QLatin1StringView, qint16> m_checks;
    QHash<QLatin1StringView, QString> m_texts;
};

// What a word that no option takes is, and why it was left out.
enum class LeftOutKind : quint8 {
    Switch,      // a word that starts with a slash (see IsSwitchWord)
    Word,        // any other argument
    Redirection, // a redirection of cmd.exe ("> log.txt", "2>&1")
    Command,     // another command that the same "cmd /c" runs ("& exit")
};

// The first group are Robocopy's own "Invalid Parameter" errors; the
// others are words Robocopy takes but the window cannot hold, or cmd.exe's.
// A program that runs Robocopy's arguments itself (the copy engine) honours
// NoOption and TeeWithoutLog switches from their text.
enum class LeftOutReason : quint8 {
    // Robocopy refuses these.
    UnknownSwitch,     // a switch Robocopy does not know (/FOO)
    TakesNoValue,      // /PURGE:x, /XF:x
    NeedsValue,        // /W, /COPY, /R:
    BadValue,          // /RH:2200 (no end hour)
    UnknownLetters,    // /COPY:DATX (detail: the letters; the others are taken)
    // Robocopy takes these; the window cannot hold them.
    NoOption,          // a switch Robocopy knows that no control stands for (/IM, /LFSM:50M)
    LettersWithoutOption, // /DCOPY:DATE (detail: the letters no box stands for; the others are taken)
    TeeWithoutLog,     // /TEE with no log file: the window writes it only beside one
    QuoteInPath,       // a folder or path that holds a double quotation mark (detail: which one)
    EmptyFolder,       // "" where a folder stands
    NoSource,          // a destination after a source left empty: the builder would write it in the source's place
    CannotWriteBack,   // a value the command line cannot carry back unchanged
    Comment,           // "::" and the words after it: a comment to the writer, file names to Robocopy
    NotTaken,          // a line of a job file that no switch takes
    NotRedirected,     // the window runs Robocopy without redirections
    NoFolders,         // a file name without both folders: the builder would write it where a folder stands
    OtherCommand,      // a command beside Robocopy's in a "cmd /c": the window runs Robocopy alone
};

struct LeftOut
{
    LeftOutKind kind = LeftOutKind::Word;
    LeftOutReason reason = LeftOutReason::NoOption;
    // The word as written in the command (from ReadArguments, the word as
    // given), or the line of a job file, or the redirection.
    QString text;
    // 0-based place among the program's arguments (the words after the
    // program's name), as Robocopy's "Invalid Parameter #n" counts from 1;
    // -1 for what is no argument (a redirection, a line of a job file).
    qsizetype position = -1;
    // For UnknownLetters and LettersWithoutOption the letters; for
    // QuoteInPath the field left empty.
    QString detail;
};

// One line of a message: the word, what it is, and why it was left out.
QString LeftOutLine(const LeftOut &item);
// The lines of a message, in order; the words of one comment on one line.
QStringList LeftOutLines(const QList<LeftOut> &items);

struct CommandReading
{
    bool found = false;   // the text holds a Robocopy command or job
    // When no command was taken although one runs Robocopy (in a for loop,
    // from PowerShell): why, as a sentence. Empty otherwise.
    QString refusal;
    // Every control's value, as the window takes them: a folder or path the
    // builder quotes holds the plain value Robocopy receives; a field the
    // builder writes unchanged (the lists, the other values) holds the words
    // as they stood in the command, carets and quotes included, so that
    // building again gives the same command.
    OptionValues values;
    // What Robocopy receives for each text field that was set, by control
    // name: one entry for a value or a folder, one per name for the lists
    // (txtFilenames, txtExcludeFiles, txtExcludeFolders).
    QHash<QLatin1StringView, QStringList> received;
    // What no option takes, by place; redirections and job-file lines last.
    QList<LeftOut> leftOut;
};

// Whether Robocopy takes a word as a switch: it starts with a slash, and
// it is a switch Robocopy knows, or its name (up to a colon) holds no
// further slash. So "/home/u/src" and "/" are folders, "/FOO" and "/tmp"
// switches (write "/tmp/" for the folder).
bool IsSwitchWord(QStringView word);

// A command line or the text of a batch file: the first command that runs
// Robocopy, read as cmd.exe reads it (quotes, carets, "&", "|", redirections,
// blocks in parentheses, over several lines too), behind "@", "call",
// "start", "cmd /c" or "cmd /k", an "if" condition, "else" or a parenthesis.
// The other commands that a "cmd /c" runs beside it are left out by name.
// One in a "for" loop, or a PowerShell line, is refused (found stays false,
// refusal says why). Its arguments are read as ReadArguments reads them,
// except that an unquoted word starting with "::" among the file names or
// the names of a list starts a comment, left out with what follows it.
CommandReading ReadCommand(const QString &text);
// The arguments a Robocopy program receives (after its own name), as
// Robocopy reads them: a word that is no switch (IsSwitchWord) is the
// source, the destination, then a file name, wherever it stands, unless it
// follows /XF, /XD or /IF, which take the names up to the next switch (the
// builder's /IF: has the first in its value); a switch that takes a value
// has it after its colon, in the same word. A folder left out leaves its
// place empty: a destination after an empty source is left out too.
CommandReading ReadArguments(const QStringList &words);
// The text of a job file as Robocopy's /SAVE: writes it: one switch per line,
// "::" comments, the names of /IF, /XF and /XD one per line. A line may hold
// several switches, split into words as a command is; a value runs to the
// next switch of its line, since /SAVE: writes folders unquoted.
CommandReading ReadJob(const QString &text);
// A job when told so, or when the text runs no Robocopy but starts with a
// switch; otherwise a command.
CommandReading ReadCommandOrJob(const QString &text, bool job);
