// The IBM PC character set, code page 437: the 8x16 glyph of each byte and the
// Unicode character it stands for (for terminals and keyboard text).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// One byte per pixel row, top row first; the leftmost pixel is the top bit.
extern const uint8_t FontCp437[256][16];
// The Unicode code point that each byte shows; bytes below 20h and 7Fh are the
// PC's pictures (smileys, arrows, the house), 00h a blank.
extern const uint16_t Cp437Unicode[256];

// The byte of code page 437 for a typed character, or -1 when the code page has
// none. Characters below 20h and 7Fh map to themselves, so Enter stays 13.
int cp437FromUnicode(uint32_t codePoint);
// The key a typed character gives: its code page 437 byte, or '?' for a
// character that code page 437 lacks, so that it still counts as a key.
int characterKeyFor(uint32_t codePoint);
// Appends the UTF-8 form of the character that byte `ch` shows.
void appendUtf8(std::string& out, uint8_t ch);
// Decodes one UTF-8 character from the start of `bytes`: its code point and
// length; length 0 when the bytes are no valid UTF-8, -1 when they are the
// valid start of a character that continues beyond `size`.
struct Utf8Char {
    uint32_t codePoint = 0;
    int length = 0;
};
Utf8Char decodeUtf8(const char* bytes, size_t size);
// A UTF-8 text as the code page 437 bytes that show it: a character the code
// page lacks, and a byte that is no valid UTF-8, as '?'.
std::string cp437FromUtf8(std::string_view text);
// Code page 437 bytes as UTF-8 (every byte through appendUtf8, control bytes kept).
std::string utf8FromCp437(std::string_view bytes);
