#pragma once

#include "command/OptionReader.h"

#include <QString>

// Appends " /NAME" when the value is non-zero / true.
void AppendSwitch(QString &cmd, QStringView name, qint16 value);
void AppendSwitch(QString &cmd, QStringView name, bool value);
// Appends " /NAME:value" when the value is not empty (blanks count as text).
void AppendSwitch(QString &cmd, QStringView name, const QString &value);
// No other kind of value compiles: an int, a check state or a string view
// would otherwise be converted to one of the three kinds, or dropped unseen.
template <typename T>
void AppendSwitch(QString &cmd, QStringView name, const T &value) = delete;

// " /sCmd:sValue", or empty when sValue is empty.
QString ParmStr(const QString &sCmd, const QString &sValue);

// The text with each line break (CR LF, CR or LF) turned into one blank.
QString OneLine(const QString &text);

// Quotes a path (source, destination, log, job and explicit folders) so that
// cmd.exe hands it to Robocopy as one argument, exactly as typed: when it
// holds a blank, one of cmd.exe's operators, or a "%" or "!" of a variable
// whose value may hold a blank.
QString QuotePathArgument(const QString &path);

// Composes the whole Robocopy command line from the options.
QString BuildCommandLine(const OptionReader &options);
