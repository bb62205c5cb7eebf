// Any byte stream from a terminal, split at any points: every call decodes
// what it can and keeps at most the unfinished end, and the keys are the same
// however the stream is split. Input: a byte of split count, that many split
// lengths, then the stream.
#include "display/window_posix.h"

#include <cstdlib>

namespace {

// Decodes `stream` fed in pieces; checks what each call leaves.
std::vector<int> decodePieces(std::string_view stream, const std::vector<size_t>& pieces) {
    TerminalKeyDecoder decoder;
    std::vector<int> keys;
    size_t fed = 0;
    for (size_t length : pieces) {
        length = std::min(length, stream.size() - fed);
        const size_t before = decoder.pending.size() + length;
        decoder.pending.append(stream.substr(fed, length));
        fed += length;
        decodeTerminalKeys(decoder, false, keys);
        // What is kept is the end of what came, and only an unfinished ESC
        // sequence or UTF-8 character (at most three bytes of one).
        const std::string& left = decoder.pending;
        if (left.size() > before || stream.substr(0, fed).substr(fed - left.size()) != left)
            std::abort();
        if (!left.empty() && left[0] != '\x1b' &&
            (static_cast<uint8_t>(left[0]) < 0x80 || left.size() > 3))
            std::abort();
    }
    decoder.pending.append(stream.substr(fed));
    decodeTerminalKeys(decoder, true, keys);
    if (!decoder.pending.empty()) std::abort(); // complete: everything decoded
    return keys;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    size_t at = 1;
    std::vector<size_t> pieces;
    for (size_t n = data[0] % 16; n > 0 && at < size; --n) pieces.push_back(data[at++] % 8);
    const std::string_view stream(reinterpret_cast<const char*>(data + at), size - at);
    const std::vector<int> whole = decodePieces(stream, {});
    if (decodePieces(stream, pieces) != whole) std::abort();
    // Byte by byte, the finest split of all.
    if (decodePieces(stream, std::vector<size_t>(stream.size(), 1)) != whole) std::abort();
    for (int key : whole)
        if (key < 0) std::abort();
    return 0;
}
