// The terminal's bytes as key codes: characters, line ends and the escape
// sequences that terminals send for the arrows, the editing block and the
// function keys.
#include "display/font_cp437.h"
#include "display/window.h"
#include "display/window_posix.h"

#include <algorithm>
#include <string_view>

namespace {

// The number in the digits of a parameter. Any number of digits may come; the
// value stops growing at 99999, beyond every key number and modifier.
int parameterValue(std::string_view digits) {
    int value = 0;
    for (char c : digits)
        if (c >= '0' && c <= '9') value = std::min(value * 10 + (c - '0'), 99999);
    return value;
}

// The plain PC scan code for the final byte of "ESC [ ... final" (arrows,
// Home, End, F1-F4), or -1.
int scanForFinal(char final) {
    constexpr std::string_view Finals = "ABCDHFPQRS";
    constexpr int Scans[] = {0x48, 0x50, 0x4D, 0x4B, 0x47, 0x4F, 0x3B, 0x3C, 0x3D, 0x3E};
    const size_t at = Finals.find(final);
    return at == std::string_view::npos ? -1 : Scans[at];
}

// The plain PC scan code for "ESC [ number ~", or -1.
int scanForNumber(int number) {
    struct Range {
        int first, last, scan;
    };
    constexpr Range Ranges[] = {
        {1, 1, 0x47},   {7, 7, 0x47}, {2, 2, 0x52}, {3, 3, 0x53},   {4, 4, 0x4F},
        {8, 8, 0x4F},   {5, 5, 0x49}, {6, 6, 0x51}, {11, 15, 0x3B}, // F1-F5
        {17, 21, 0x40},                                             // F6-F10
        {23, 24, 0x85},                                             // F11, F12
    };
    for (const Range& range : Ranges)
        if (number >= range.first && number <= range.last) return range.scan + number - range.first;
    return -1;
}

// The key of "ESC [ params final", or -1 for a sequence that names no key.
int csiKey(std::string_view params, char final) {
    if (final == 'Z') return ExtendedKeyBase + 0x0F; // Shift-Tab
    const size_t semicolon = params.find(';');
    const int number = parameterValue(params.substr(0, semicolon));
    const int modifier =
        semicolon == std::string_view::npos ? 1 : parameterValue(params.substr(semicolon + 1));
    const int bits = modifier > 0 ? modifier - 1 : 0;
    const int scan = final == '~' ? scanForNumber(number) : scanForFinal(final);
    if (scan < 0) return -1;
    return pcExtendedKey(scan, bits & 1, bits & 4, bits & 2);
}

// The key of "ESC O final", or -1.
int ss3Key(char final) {
    if (final == 'M') return KeyEnter;
    const int scan = scanForFinal(final);
    return scan < 0 ? -1 : ExtendedKeyBase + scan;
}

// Where decoding of an escape sequence at `pos` goes on; Wait when the bytes
// that decide it have not come yet.
constexpr size_t Wait = std::string_view::npos;

size_t decodeCsi(std::string_view bytes, size_t pos, bool complete, std::vector<int>& keys) {
    const size_t size = bytes.size();
    size_t end = pos + 2;
    if (end < size && bytes[end] == '[') { // ESC [ [ A..E: F1..F5
        if (end + 1 >= size && !complete) return Wait;
        if (end + 1 < size && bytes[end + 1] >= 'A' && bytes[end + 1] <= 'E')
            keys.push_back(ExtendedKeyBase + 0x3B + (bytes[end + 1] - 'A'));
        return std::min(end + 2, size);
    }
    // Parameter bytes 30h..3Fh, intermediate bytes 20h..2Fh, one final byte
    // 40h..7Eh; sequences that name no key are skipped whole.
    while (end < size && bytes[end] >= 0x20 && bytes[end] <= 0x3F) ++end;
    if (end >= size) {
        if (!complete) return Wait;
        keys.push_back(KeyEscape); // an unfinished sequence: the ESC alone counts
        return size;
    }
    if (bytes[end] < 0x40 || bytes[end] > 0x7E) { // broken off: the ESC alone
        keys.push_back(KeyEscape);
        return end;
    }
    if (const int key = csiKey(bytes.substr(pos + 2, end - pos - 2), bytes[end]); key >= 0)
        keys.push_back(key);
    return end + 1;
}

size_t decodeEscape(std::string_view bytes, size_t pos, bool complete, std::vector<int>& keys) {
    const size_t size = bytes.size();
    if (pos + 1 >= size || (bytes[pos + 1] == 'O' && pos + 2 >= size)) {
        if (!complete) return Wait;
        keys.push_back(KeyEscape);
        return pos + 1;
    }
    if (bytes[pos + 1] == '[') return decodeCsi(bytes, pos, complete, keys);
    if (bytes[pos + 1] == 'O') {
        if (const int key = ss3Key(bytes[pos + 2]); key >= 0) keys.push_back(key);
        return pos + 3;
    }
    keys.push_back(KeyEscape); // ESC and another key: Escape, then that key
    return pos + 1;
}

} // namespace

void decodeTerminalKeys(TerminalKeyDecoder& decoder, bool complete, std::vector<int>& keys) {
    const std::string_view bytes = decoder.pending;
    size_t pos = 0;
    while (pos < bytes.size()) {
        const auto byte = static_cast<uint8_t>(bytes[pos]);
        const bool afterCr = decoder.afterCarriageReturn;
        decoder.afterCarriageReturn = byte == '\r';
        size_t next = pos + 1;
        if (byte == 0x1B) {
            next = decodeEscape(bytes, pos, complete, keys);
        } else if (byte == '\r' || (byte == '\n' && !afterCr)) {
            keys.push_back(KeyEnter);
        } else if (byte == 0x7F) {
            keys.push_back(8);
        } else if (byte >= 0x80) {
            const Utf8Char decoded = decodeUtf8(bytes.data() + pos, bytes.size() - pos);
            if (decoded.length < 0 && !complete) {
                next = Wait;
            } else if (decoded.length > 0) {
                if (const int key = characterKeyFor(decoded.codePoint); key >= 0)
                    keys.push_back(key);
                next = pos + static_cast<size_t>(decoded.length);
            } else {
                keys.push_back(byte); // not UTF-8: taken as a code page 437 byte
            }
        } else if (byte != '\n') {
            keys.push_back(byte);
        }
        if (next == Wait) break;
        pos = next;
    }
    decoder.pending.erase(0, pos);
}
