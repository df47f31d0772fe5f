#pragma once

#include <QString>
#include <QStringList>

#include <functional>

// A small wrapper around the open and save dialogs. Filters come in the
// classic form "Name|Patterns|Name|Patterns..." with ";" between the patterns
// of an entry.

class QFileDialog;

// Shows the prepared dialog modally and returns its result: the one place the
// program hands over to Qt's dialog. Tests answer the real dialog here; an
// empty function shows it as usual. Returns the function it replaces. On
// Windows the save dialog is the system's own and never comes here.
using FileDialogExec = std::function<int(QFileDialog &dialog)>;
FileDialogExec SetFileDialogExec(FileDialogExec exec);

constexpr int OFN_OVERWRITEPROMPT_FLAG = 0x2;

// The chosen full path with the filter's extension added to a bare name,
// or an empty text when the user cancels.
QString SaveFileDialog(const QString &title, const QString &initialFile, const QString &filter, int flags);
QString FileDialog(const QString &title, const QString &initialFile, const QString &filter, int flags);
// The chosen full path of an existing file, or an empty text when the user cancels.
QString OpenFileDialog(const QString &title, const QString &initialFile, const QString &filter);

// ---- Pure helpers ----
// The text before the first NUL character.
QString StripAtNul(const QString &text);
// The text after the last "." of the file-name part when that dot is its
// second character or later; otherwise empty.
QString GetExtension(const QString &path);
// "|" separated filter to its NUL-separated form: six texts of three
// entries each followed by a NUL, and one more NUL at the end.
QString NulFilter(const QString &filter);
// The extension of the pattern list of the 1-based entry of a NUL-separated filter.
QString FilterExtension(const QString &nulFilter, int index);
// The NUL-separated filter as the name filters of a Qt file dialog.
QStringList QtNameFilters(const QString &nulFilter);
// The path as the dialog returned it, with the chosen entry's extension added
// when the file name has none (and that extension is not "*").
QString ApplyFilterExtension(const QString &path, const QString &nulFilter, int index);
