#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The text of a command or job file: UTF-8 or UTF-16 with a byte-order mark,
// UTF-16 LE without one, otherwise the system's ANSI code page. Nothing when
// the bytes are no text.
std::optional<QString> CommandFileText(const QByteArray &bytes);
