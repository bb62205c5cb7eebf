// Conversions between code page 437 and Unicode for the window backends.
#include "display/font_cp437.h"

#include <algorithm>
#include <array>
#include <utility>

namespace {

// Unicode to byte, sorted by code point, built once from Cp437Unicode.
using ReverseTable = std::array<std::pair<uint16_t, uint8_t>, 256 + 5>;

ReverseTable makeReverseTable() {
    ReverseTable table{};
    for (int byte = 0; byte < 256; ++byte)
        table[byte] = {Cp437Unicode[byte], static_cast<uint8_t>(byte)};
    // Look-alikes that keyboards type for the Greek letters of the code page.
    table[256] = {0x03B2, 0xE1}; // beta for sharp s
    table[257] = {0x03BC, 0xE6}; // mu for micro
    table[258] = {0x2126, 0xEA}; // ohm sign for omega
    table[259] = {0x2208, 0xEE}; // element of for epsilon
    table[260] = {0x2205, 0xED}; // empty set for phi
    std::sort(table.begin(), table.end());
    return table;
}

} // namespace

int cp437FromUnicode(uint32_t codePoint) {
    if (codePoint < 0x20 || codePoint == 0x7F) return static_cast<int>(codePoint);
    if (codePoint > 0xFFFF) return -1;
    static const ReverseTable table = makeReverseTable();
    auto found = std::lower_bound(table.begin(), table.end(),
                                  std::pair<uint16_t, uint8_t>{uint16_t(codePoint), 0});
    if (found == table.end() || found->first != codePoint) return -1;
    // Byte 00h shows as a blank (U+0000 is taken above); never map to it.
    return found->second == 0 ? -1 : found->second;
}

int characterKeyFor(uint32_t codePoint) {
    const int ch = cp437FromUnicode(codePoint);
    return ch < 0 ? '?' : ch;
}

void appendUtf8(std::string& out, uint8_t ch) {
    uint32_t cp = Cp437Unicode[ch];
    if (cp == 0) cp = ' ';
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

Utf8Char decodeUtf8(const char* bytes, size_t size) {
    if (size == 0) return {};
    auto at = [&](size_t i) { return static_cast<uint8_t>(bytes[i]); };
    uint8_t lead = at(0);
    if (lead < 0x80) return {lead, 1};
    int length = lead >= 0xF0 && lead < 0xF5 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (length == 0 || lead >= 0xF5) return {};
    uint32_t cp = lead & (0x7F >> length);
    for (int i = 1; i < length; ++i) {
        if (static_cast<size_t>(i) >= size) return {0, -1};
        if ((at(i) & 0xC0) != 0x80) return {};
        cp = (cp << 6) | (at(i) & 0x3F);
    }
    static constexpr uint32_t Smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < Smallest[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000)) return {};
    return {cp, length};
}

std::string cp437FromUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t at = 0; at < text.size();) {
        const Utf8Char ch = decodeUtf8(text.data() + at, text.size() - at);
        if (ch.length <= 0) {
            out += '?';
            ++at;
            continue;
        }
        const int byte = cp437FromUnicode(ch.codePoint);
        out += byte < 0 ? '?' : static_cast<char>(byte);
        at += static_cast<size_t>(ch.length);
    }
    return out;
}

std::string utf8FromCp437(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        const auto byte = static_cast<uint8_t>(c);
        if (byte < 0x20 || byte == 0x7F)
            out += c;
        else
            appendUtf8(out, byte);
    }
    return out;
}
