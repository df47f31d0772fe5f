#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <optional>

// Windows code pages by number. cmd.exe reads a batch file in the console's
// code page, which starts as the OEM one (437, 850, 866, 932, ...); Notepad
// and the programs of the ANSI era read and write the ANSI one (1252, 1251,
// 932, ...). 65001 is UTF-8.

constexpr quint32 kUtf8CodePage = 65001;

struct CodePages
{
    quint32 oem;
    quint32 ansi;
};

// This system's: GetOEMCP and GetACP on Windows; elsewhere UTF-8 for both,
// the encoding Qt takes every local 8-bit text to be in.
CodePages SystemCodePages();

// The text in the code page, or nothing when one of its characters has no
// exact counterpart there (nothing is ever replaced by a look-alike or "?"),
// or the code page is unknown here.
std::optional<QByteArray> EncodeCodePage(QStringView text, quint32 codePage);
// The bytes read in the code page, or nothing when they are no valid text in
// it, or the code page is unknown here.
std::optional<QString> DecodeCodePage(QByteArrayView bytes, quint32 codePage);
// The same, but bytes that are no valid text read as U+FFFD; nothing only
// when the code page is unknown here.
std::optional<QString> DecodeCodePageLeniently(QByteArrayView bytes, quint32 codePage);
