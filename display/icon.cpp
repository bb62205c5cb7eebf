#include "display/icon.h"

#include <cstddef>

// The bytes of display/icon.ico, written into the build by embed_file.cmake.
extern const unsigned char IconFile[];
extern const size_t IconFileSize;

namespace {

// icon.ico holds one image: a 6-byte header, a 16-byte directory entry and a
// 40-byte bitmap header, then 24-bit rows from the bottom in blue-green-red
// order (96 bytes, no padding), then the mask.
constexpr size_t PixelsAt = 6 + 16 + 40;

IconPixels decode() {
    IconPixels rgb{};
    constexpr size_t rowBytes = ProgramIconSize * 3;
    if (IconFileSize < PixelsAt + rgb.size()) return rgb;
    for (int y = 0; y < ProgramIconSize; ++y) {
        const unsigned char* row = IconFile + PixelsAt + (ProgramIconSize - 1 - y) * rowBytes;
        for (size_t x = 0; x < rowBytes; x += 3) {
            uint8_t* out = &rgb[y * rowBytes + x];
            out[0] = row[x + 2];
            out[1] = row[x + 1];
            out[2] = row[x];
        }
    }
    return rgb;
}

} // namespace

const IconPixels& programIcon() {
    static const IconPixels pixels = decode();
    return pixels;
}
