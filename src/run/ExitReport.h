#pragma once

#include <QString>

class QComboBox;

// The one line that tells what Robocopy's exit code means: the line of the
// highest of the bits 1, 2, 4, 8 and 16 that is set, followed by CR LF, or
// "Completed with no errors" when none is. Negative run results (the process
// could not be started or watched) carry bit 16 and so read as a serious error.
QString ExitReport(int runResult);

// Multithreading cannot be combined with EFS raw mode or a delay per 64 KB.
bool MultithreadingConflict(qint16 threadsEnable, qint16 efsRaw, const QString &delayPer64k);

// "cmd.exe /c " + the command line, with " & PAUSE" when the console window
// is to stay open after the command.
QString ProcessCommand(const QString &commandLine, bool autoClose);

// The message that refuses a command cmd.exe would not run: the text after
// "cmd.exe /c " is longer than it takes. An empty text when it is not.
QString TooLongToRunMessage(const QString &commandLine, bool autoClose);

// Keeps a recent-folder list: a text not yet in the list goes to its end and
// the oldest entry leaves when that makes more than 10. An empty text is not
// remembered. The box's own text stays as it is.
constexpr int kRecentFolderLimit = 10;
void RememberFolder(QComboBox *combo, const QString &text);
