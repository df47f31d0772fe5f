#pragma once

#include "command/CodePage.h"

#include <QByteArray>
#include <QString>

#include <optional>

// A command file as Save As writes it and Open reads it. A batch file (.CMD
// or .BAT) is run by cmd.exe, which reads it in the console's code page (at
// first the OEM one) and takes "%%" for one percent sign; any other file is
// text, read by editors in the ANSI code page or as UTF-8.

enum class CommandFileKind { Batch, Text };

// Batch for a .CMD or .BAT file (any letter case), Text for anything else.
CommandFileKind CommandFileKindOf(const QString &path);

// For a batch file: every percent sign that does not open or close a
// variable is doubled, so that cmd.exe hands it on as typed. A variable is
// "%NAME%" where NAME holds no blank, tab or quote, does not start with a
// digit, "*" or "~" (cmd.exe reads those as the batch file's own
// arguments), and holds no backslash before its first ":" (a path between
// two percent signs is no variable).
QString EscapeBatchPercents(const QString &command);
// What cmd.exe makes of a batch file's percent signs, variables left as
// written: "%%" is one percent sign; "%NAME%" and the arguments ("%1",
// "%~dp0", "%*") stay.
QString UnescapeBatchPercents(const QString &text);

// A line that only sets the console's code page ("@chcp 65001 >nul"):
// that code page, else nothing.
std::optional<quint32> ChcpLine(QStringView line);

// The bytes of a saved command file: the command line and CR LF. A batch
// file has its percent signs escaped and is written in the OEM code page
// when every character fits it, otherwise in UTF-8 after the line
// "@chcp 65001 >nul"; any other file in the ANSI code page when every
// character fits it, otherwise in UTF-8 with a byte-order mark. No
// character is ever replaced.
QByteArray CommandFileBytes(const QString &commandLine, CommandFileKind kind, const CodePages &pages);

// The text of a command or job file: UTF-8 or UTF-16 with a byte-order mark,
// UTF-16 LE without one; otherwise each part after a "chcp" line in that
// code page (the line itself is left out), and the rest as UTF-8 where it is
// valid UTF-8, else in the OEM code page for a batch file and the ANSI one
// for any other. A batch file's percent signs are read as cmd.exe reads
// them. Nothing when the bytes are no text.
std::optional<QString> CommandFileText(const QByteArray &bytes, CommandFileKind kind, const CodePages &pages);
