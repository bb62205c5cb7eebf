// The band behind the title and footer rows: 16 pixel rows that darken from
// bright pink to deep purple, the white glyph pixels left as they are.
#include "screens/gradient_bar.h"

#include "core/record_store.h"

#include <algorithm>
#include <mutex>

// Pixel by pixel this is: for each x of the row, readPixel, and writePixel with
// the row's colour where the low 24 bits differ from keepColour. The row is
// worked on in the framebuffer directly, which gives the same pixels without a
// call and a frame count per pixel; the event side is told once at the end.
// Points outside the window read as -1 and take no writes, so they are skipped.
void drawGradientBar(RecordReader& reader, TextScreen& screen, int top, int left, int right,
                     int red, int green, int blue, uint32_t keepColour) {
    restoreTo(reader, GradientSteps);
    // The window copies the framebuffer under this lock.
    std::lock_guard<std::mutex> hold(screen.frameLock);
    const int first = std::max(left, 0);
    const int last = std::min(right, TextScreen::Width - 1);
    for (int i = 0; i < 16; ++i) {
        const int y = top + i;
        const uint32_t colour = 0xFF000000u | static_cast<uint32_t>(red) * 0x10000u |
                                static_cast<uint32_t>(green) * 0x100u | static_cast<uint32_t>(blue);
        if (y >= 0 && y < TextScreen::Height && !screen.pixels.empty()) {
            uint32_t* line = screen.pixels.data() + y * TextScreen::Width;
            for (int x = first; x <= last; ++x)
                if ((line[x] & 0xFFFFFFu) != keepColour) line[x] = colour;
        }
        const int32_t step = readInteger(reader);
        red -= step;
        green -= step;
        blue -= step;
    }
    screen.frameCounter.fetch_add(1, std::memory_order_release);
}

void drawTitleGradient(RecordReader& reader, TextScreen& screen, int top) {
    drawGradientBar(reader, screen, top, 0, TextScreen::Width - 1, 255, 78, 188, White);
}
