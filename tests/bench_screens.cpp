// Repaint timings of the menu page: the full repaint with both gradient bands,
// the partial repaint of rows 3..24, and one band alone.
#include "core/installer_state.h"
#include "core/partition_table.h"
#include "display/text_screen.h"
#include "screens/gradient_bar.h"
#include "screens/main_menu.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>

namespace {

// A screen and a main-menu state as the main flow hands them over: not
// installed, three recognised partitions, one of them hidden.
struct Page {
    TextScreen screen;
    InstallerState state;
    Page() {
        openWindow(screen, 640, 448, 32);
        setTextGrid(screen, 80, 28);
        state.workSector[112] = 59;
        state.workSector[bootFlagOffset(0)] = 0x80;
        state.workSector[typeOffset(0)] = 0x07;
        state.workSector[typeOffset(1)] = 0x1B;
        state.workSector[typeOffset(2)] = 0x83;
        countPrimaryPartitions(state);
        state.menuTitle = std::string(17, '>') +
                          " Dorvanti VELTRA Manager [Niet ge\x8Bnstalleerd] " +
                          std::string(17, '<');
        state.selectedRow = 11;
    }
};

void FullRepaint(benchmark::State& run) {
    auto page = std::make_unique<Page>();
    for (auto _ : run) {
        page->state.fullRedraw = 1;
        paintMenuPage(page->state, page->screen);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(FullRepaint)->Unit(benchmark::kMicrosecond);

void PartialRepaint(benchmark::State& run) {
    auto page = std::make_unique<Page>();
    page->state.fullRedraw = 1;
    paintMenuPage(page->state, page->screen);
    for (auto _ : run) {
        paintMenuPage(page->state, page->screen);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(PartialRepaint)->Unit(benchmark::kMicrosecond);

void OneGradientBand(benchmark::State& run) {
    auto page = std::make_unique<Page>();
    page->state.fullRedraw = 1;
    paintMenuPage(page->state, page->screen);
    for (auto _ : run) {
        drawTitleGradient(page->state, page->screen, 0);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(OneGradientBand)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    // Painting reads no disk; should anything try, it finds none.
    setenv("VELTRA_DRIVES", "/nonexistent/veltra-bench-disk", 1);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
