// The framebuffer as a PNG file (stored deflate blocks), for tests and the
// screenshot tool.
#include "tests/png_file.h"

#include "core/crc32.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

void putBig32(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(value >> shift));
}

void putChunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
    putBig32(out, static_cast<uint32_t>(data.size()));
    const size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    putBig32(out, crc32(out.data() + start, out.size() - start));
}

// A zlib stream of stored (uncompressed) deflate blocks.
std::vector<uint8_t> zlibStored(const std::vector<uint8_t>& raw) {
    std::vector<uint8_t> out{0x78, 0x01};
    size_t pos = 0;
    do {
        const size_t length = std::min<size_t>(raw.size() - pos, 65535);
        const bool last = pos + length == raw.size();
        out.push_back(last ? 1 : 0);
        out.push_back(uint8_t(length));
        out.push_back(uint8_t(length >> 8));
        out.push_back(uint8_t(~length));
        out.push_back(uint8_t(~length >> 8));
        out.insert(out.end(), raw.begin() + pos, raw.begin() + pos + length);
        pos += length;
    } while (pos < raw.size());
    uint32_t a = 1, b = 0;
    for (uint8_t byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    putBig32(out, (b << 16) | a);
    return out;
}

} // namespace

bool savePng(const TextScreen& screen, const std::string& path) {
    const int width = TextScreen::Width, height = TextScreen::Height;
    std::vector<uint8_t> raw;
    raw.reserve(size_t(height) * (1 + width * 3));
    for (int y = 0; y < height; ++y) {
        raw.push_back(0); // filter: none
        for (int x = 0; x < width; ++x) {
            const uint32_t pixel = screen.pixels[y * width + x];
            raw.push_back(uint8_t(pixel >> 16));
            raw.push_back(uint8_t(pixel >> 8));
            raw.push_back(uint8_t(pixel));
        }
    }
    std::vector<uint8_t> png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> header;
    putBig32(header, width);
    putBig32(header, height);
    header.insert(header.end(), {8, 2, 0, 0, 0}); // 8-bit RGB, no interlace
    putChunk(png, "IHDR", header);
    putChunk(png, "IDAT", zlibStored(raw));
    putChunk(png, "IEND", {});

    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "wb"), std::fclose);
    if (!file) return false;
    if (std::fwrite(png.data(), 1, png.size(), file.get()) != png.size()) return false;
    return std::fclose(file.release()) == 0;
}
