#pragma once

// What the store's and the form's tests share beyond tests/support.

#include <QByteArray>

// The exit code of a child process that was to write as another user and
// found none to change to.
inline constexpr int kNoOtherUser = 77;

// The line end that lines added to a file take: the one its first line
// ends with, CR LF when it has none.
inline QByteArray lineEndOf(const QByteArray &file)
{
    const qsizetype newline = file.indexOf('\n');
    return newline < 0 || (newline > 0 && file[newline - 1] == '\r') ? QByteArray("\r\n") : QByteArray("\n");
}
