// The platform-free parts of the window side: scripted keys, the framebuffer as
// a PNG file, the window title and the logic thread.
#include "display/window.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>

void queueScript(TextScreen& screen, const std::vector<int>& keys) {
    KeyQueue& queue = screen.keys;
    {
        std::lock_guard<std::mutex> hold(queue.lock);
        queue.script.insert(queue.script.end(), keys.begin(), keys.end());
        queue.inputClosed = true;
    }
    queue.arrived.notify_all();
}

namespace {

uint32_t crc32(const uint8_t* data, size_t size, uint32_t crc = 0) {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    crc = ~crc;
    for (size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

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

std::string programTitle(const std::string& programPath) {
    const size_t slash = programPath.find_last_of("/\\");
    std::string name = slash == std::string::npos ? programPath : programPath.substr(slash + 1);
    const size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    return name;
}

int pcExtendedKey(int plainScan, bool shift, bool ctrl, bool alt) {
    int scan = plainScan;
    if (plainScan >= 0x3B && plainScan <= 0x44) {
        scan += alt ? 0x2D : ctrl ? 0x23 : shift ? 0x19 : 0; // 68h, 5Eh, 54h onwards
    } else if (plainScan == 0x85 || plainScan == 0x86) {
        scan += alt ? 6 : ctrl ? 4 : shift ? 2 : 0;
    } else if (ctrl || alt) {
        // Up, Left, Right, Down, Home, End, Page Up, Page Down, Insert, Delete.
        static constexpr uint8_t Keys[][3] = {
            {0x48, 0x8D, 0x98}, {0x4B, 0x73, 0x9B}, {0x4D, 0x74, 0x9D}, {0x50, 0x91, 0xA0},
            {0x47, 0x77, 0x97}, {0x4F, 0x75, 0x9F}, {0x49, 0x84, 0x99}, {0x51, 0x76, 0xA1},
            {0x52, 0x92, 0xA2}, {0x53, 0x93, 0xA3},
        };
        for (const auto& key : Keys)
            if (key[0] == plainScan) scan = alt ? key[2] : key[1];
    }
    return ExtendedKeyBase + scan;
}

std::thread startLogicThread(TextScreen& screen, const std::function<void(TextScreen&)>& logic,
                             std::exception_ptr& failure) {
    return std::thread([&screen, logic, &failure] {
        try {
            logic(screen);
        } catch (...) {
            failure = std::current_exception();
        }
        screen.endRequested.store(true, std::memory_order_release);
        if (screen.wakeEventLoop) screen.wakeEventLoop();
    });
}
