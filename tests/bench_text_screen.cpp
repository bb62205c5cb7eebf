// Text screen timings: a full 28-row repaint, one row, the gradient's pixel
// pass over one text row, and the cost of readKey with and without a key.
#include "display/text_screen.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

struct Page {
    TextScreen screen;
    Page() {
        openWindow(screen, 640, 448, 32);
        setTextGrid(screen, 80, 28);
    }
};

void FullRepaint(benchmark::State& state) {
    Page page;
    const std::string row(80, 'M');
    for (auto _ : state) {
        moveCursor(page.screen, 1, 1);
        setColor(page.screen, White, Magenta);
        for (int r = 1; r <= 28; ++r) printText(page.screen, row, false);
        moveCursor(page.screen, 22, 1);
    }
    state.SetItemsProcessed(state.iterations() * 28 * 80);
}
BENCHMARK(FullRepaint)->Unit(benchmark::kMicrosecond);

void OneRow(benchmark::State& state) {
    Page page;
    const std::string row(80, 'x');
    for (auto _ : state) {
        moveCursor(page.screen, 22, 1);
        printText(page.screen, row, false);
    }
}
BENCHMARK(OneRow)->Unit(benchmark::kMicrosecond);

void ScrollOneRow(benchmark::State& state) {
    Page page;
    moveCursor(page.screen, 28, 1);
    for (auto _ : state) printText(page.screen, "x", true);
}
BENCHMARK(ScrollOneRow)->Unit(benchmark::kMicrosecond);

void PixelPassOverOneTextRow(benchmark::State& state) {
    Page page;
    for (auto _ : state) {
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 640; ++x) {
                const int64_t pixel = readPixel(page.screen, x, y);
                if ((pixel & 0xFFFFFF) != White)
                    writePixel(page.screen, x, y, 0xFF000000 | (x * y));
            }
    }
}
BENCHMARK(PixelPassOverOneTextRow)->Unit(benchmark::kMicrosecond);

void ReadKeyWithKey(benchmark::State& state) {
    Page page;
    for (auto _ : state) {
        pushKey(page.screen.keys, 'a');
        benchmark::DoNotOptimize(readKey(page.screen));
    }
}
BENCHMARK(ReadKeyWithKey);

// An empty queue with the input open: readKey returns at once.
void ReadKeyEmpty(benchmark::State& state) {
    Page page;
    for (auto _ : state) benchmark::DoNotOptimize(readKey(page.screen));
}
BENCHMARK(ReadKeyEmpty)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime()->UseRealTime();

} // namespace

BENCHMARK_MAIN();
