#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// How a command line falls apart into the arguments a program receives.
// The builder's quoting is made for these rules; the reader and the
// stand-in console both split by them.

// cmd.exe runs no command longer than this many characters (the text after
// "cmd.exe /c "). Corvane refuses such a command before it starts anything,
// and the stand-in console refuses it as cmd.exe does.
constexpr qsizetype MaxCommandLength = 8191;

// What cmd.exe is given to run: the command line, with " & PAUSE" when the
// console window is to stay open after it.
QString InterpreterCommand(const QString &commandLine, bool autoClose);
// "cmd.exe /c " and the interpreter command: the process command a run starts.
QString ProcessCommand(const QString &commandLine, bool autoClose);

// The text after a leading "cmd.exe /c " (any letter case, with or without
// ".exe" or a folder, one blank after "/c"); the whole text when it does not
// start so.
QString StripInterpreter(const QString &processCommand);

// One argument: where it stands in the text and what the program receives.
struct CommandWord
{
    qsizetype start = 0;
    qsizetype end = 0; // one past its last character
    QString value;
};

// Splits a command into words by the Windows rules for command lines:
// blanks and tabs separate words; double quotes group (a doubled quote inside
// a group is a literal quote); 2n backslashes before a quote give n
// backslashes and the quote acts, 2n+1 give n backslashes and a literal
// quote; other backslashes are literal.
QList<CommandWord> CommandWords(QStringView text);
// The values of those words only.
QStringList SplitWords(const QString &text);
