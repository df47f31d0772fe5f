#pragma once

// What the store's and the form's tests share beyond tests/support.

#include <QByteArray>

// Bytes of a literal that holds NUL bytes.
template <size_t N>
QByteArray bytes(const char (&text)[N])
{
    return QByteArray(text, N - 1);
}

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
