#pragma once

#include <QString>

// What Execute checks before it starts anything. Either refuses the run with
// a message, and then nothing runs and no folder is remembered.

// Multithreading cannot be combined with EFS raw mode or a delay per 64 KB.
bool MultithreadingConflict(qint16 threadsEnable, qint16 efsRaw, const QString &delayPer64k);

// The message that refuses a command cmd.exe would not run: what it is given
// is longer than MaxCommandLength. An empty text when it is not.
QString TooLongToRunMessage(const QString &commandLine, bool autoClose);
