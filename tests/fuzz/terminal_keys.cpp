// Any byte stream from a terminal, split at any points: every call decodes
// what it can and keeps at most the unfinished end, and the keys are the same
// however the stream is split. Input: a count byte, that many piece lengths
// (1-8, taken in turn; one length 1 feeds byte by byte), then the stream.
#include "display/window_posix.h"

#include <cstdlib>

namespace {

// Decodes `stream` fed in pieces of the given lengths, taken in turn until the
// stream ends (none: all at once); checks what each call leaves.
std::vector<int> decodePieces(std::string_view stream, const std::vector<size_t>& lengths) {
    TerminalKeyDecoder decoder;
    std::vector<int> keys;
    size_t fed = 0;
    for (size_t n = 0; !lengths.empty() && fed < stream.size(); ++n) {
        const size_t length = std::min(lengths[n % lengths.size()], stream.size() - fed);
        const size_t before = decoder.pending.size() + length;
        decoder.pending.append(stream.substr(fed, length));
        fed += length;
        decodeTerminalKeys(decoder, false, keys);
        // What is kept is the end of what came, and only an unfinished ESC
        // sequence or UTF-8 character (at most three bytes of one).
        const std::string& left = decoder.pending;
        if (left.size() > before || stream.substr(fed - left.size(), left.size()) != left)
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
    std::vector<size_t> lengths;
    for (size_t n = data[0] % 8; n > 0 && at < size; --n) lengths.push_back(data[at++] % 8 + 1);
    const std::string_view stream(reinterpret_cast<const char*>(data + at), size - at);
    const std::vector<int> whole = decodePieces(stream, {});
    if (decodePieces(stream, lengths) != whole) std::abort();
    for (int key : whole)
        if (key < 0) std::abort();
    return 0;
}
