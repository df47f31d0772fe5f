#pragma once

// Names are bytes. Valid UTF-8 reads as characters; any other byte b reads as
// the lone code point 0xDC00 + b, which no valid UTF-8 yields, so every byte
// string maps to one sequence of code points and back without loss.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace copy {

constexpr char32_t EscapedByteBase = 0xDC00;

inline bool IsEscapedByte(char32_t c) { return c >= EscapedByteBase + 0x80 && c <= EscapedByteBase + 0xFF; }

// The code point at text[at] and the number of bytes it takes (at least 1).
inline size_t DecodeAt(std::string_view text, size_t at, char32_t &c)
{
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char b0 = byte(at);
    if (b0 < 0x80) {
        c = b0;
        return 1;
    }
    size_t length = 0;
    char32_t value = 0;
    char32_t minimum = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        length = 2;
        value = b0 & 0x1Fu;
        minimum = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3;
        value = b0 & 0x0Fu;
        minimum = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4;
        value = b0 & 0x07u;
        minimum = 0x10000;
    }
    if (length == 0 || at + length > text.size()) {
        c = EscapedByteBase + b0;
        return 1;
    }
    for (size_t i = 1; i < length; ++i) {
        const unsigned char b = byte(at + i);
        if ((b & 0xC0u) != 0x80u) {
            c = EscapedByteBase + b0;
            return 1;
        }
        value = (value << 6) | (b & 0x3Fu);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        c = EscapedByteBase + b0;
        return 1;
    }
    c = value;
    return length;
}

// The bytes of one code point (an escaped byte gives its own byte back).
inline void AppendCodePoint(std::string &out, char32_t c)
{
    if (IsEscapedByte(c)) {
        out += static_cast<char>(c - EscapedByteBase);
    } else if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// A name as the report shows it: valid UTF-8 as it is; every other byte as
// "\xNN", and a backslash as "\\" so that the two cannot be confused; control
// characters as "\xNN" (C1 ones as "\u00NN"), so that no name can break a
// report line.
inline std::string DisplayName(std::string_view name)
{
    std::string out;
    out.reserve(name.size());
    static constexpr char hex[] = "0123456789ABCDEF";
    for (size_t at = 0; at < name.size();) {
        char32_t c = 0;
        const size_t length = DecodeAt(name, at, c);
        if (IsEscapedByte(c) || c < 0x20 || c == 0x7F) {
            const unsigned value = IsEscapedByte(c) ? unsigned(c - EscapedByteBase) : unsigned(c);
            out += "\\x";
            out += hex[value >> 4];
            out += hex[value & 0xF];
        } else if (c >= 0x80 && c < 0xA0) {
            // A C1 control character, valid UTF-8 but invisible.
            out += "\\u00";
            out += hex[unsigned(c) >> 4];
            out += hex[unsigned(c) & 0xF];
        } else if (c == '\\') {
            out += "\\\\";
        } else {
            out.append(name.substr(at, length));
        }
        at += length;
    }
    return out;
}

} // namespace copy
