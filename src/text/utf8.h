#pragma once
// Small UTF-8 helpers shared by the text readers and term matching.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace qm::utf8 {

// True for the bytes 10xxxxxx that continue a multi-byte sequence.
inline bool isContinuation(unsigned char b) {
    return (b & 0xC0) == 0x80;
}

// Length in bytes of the valid UTF-8 sequence at the start of `s`, or 0 when
// the bytes there do not form one (overlong forms, surrogates, values above
// U+10FFFF, stray continuation bytes and truncated sequences all give 0).
std::size_t validSequenceLength(const unsigned char* s, std::size_t available);

// Byte length of the longest prefix of `bytes` that is valid UTF-8.
std::size_t validPrefixLength(std::string_view bytes);

// Byte offset just past `count` code points of valid UTF-8 starting at `from`,
// or text.size() when the text ends first.
std::size_t advanceCodePoints(std::string_view text, std::size_t from, std::size_t count);

// Number of code points in valid UTF-8.
std::size_t countCodePoints(std::string_view text);

// Decodes the valid sequence of `len` bytes at `s`.
inline char32_t decode(const unsigned char* s, std::size_t len) {
    switch (len) {
        case 1:
            return s[0];
        case 2:
            return (char32_t(s[0] & 0x1F) << 6) | (s[1] & 0x3F);
        case 3:
            return (char32_t(s[0] & 0x0F) << 12) | (char32_t(s[1] & 0x3F) << 6) | (s[2] & 0x3F);
        default:
            return (char32_t(s[0] & 0x07) << 18) | (char32_t(s[1] & 0x3F) << 12) |
                   (char32_t(s[2] & 0x3F) << 6) | (s[3] & 0x3F);
    }
}

// Writes code point `c` (a scalar value) to `out`; returns the number of bytes.
inline std::size_t encode(char32_t c, char* out) {
    if (c < 0x80) {
        out[0] = static_cast<char>(c);
        return 1;
    }
    if (c < 0x800) {
        out[0] = static_cast<char>(0xC0 | (c >> 6));
        out[1] = static_cast<char>(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (c >> 12));
        out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (c & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (c >> 18));
    out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (c & 0x3F));
    return 4;
}

}  // namespace qm::utf8
