// Key-to-screen latency of the installer in its SDL window. The real start-up
// and main loop run on a disk image; a third thread types Down as SDL keyboard
// events (so each key goes through the window's own conversion) and times it
// until the window has presented a frame that holds the whole repaint the key
// caused. Needs a display; run by hand, for example
//
//   xvfb-run -a build/tests/veltra_bench_key_to_frame [--keys=200] [--pause=20-600]
//
// --pause gives the range of the quiet time before each key, in ms; pauses of
// 500 ms and more let the window fall back to its slow idle wait first.
// Without VELTRA_DRIVES a fresh image is made with tools/make_disk.py; a
// VELTRA_DRIVES that names anything but image files is refused.
#include "core/installer_state.h"
#include "display/text_screen.h"
#include "display/window.h"
#include "installer/main_loop.h"

#include <SDL.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto PollStep = 100us;
constexpr auto SettledAfter = 20ms; // no new frame for this long: the logic waits for a key
constexpr auto KeyTimeout = 2s;
constexpr auto StartTimeout = 20s;
constexpr int IdlePauseMs = 500; // the window's wait grows from 10 to 50 ms after this

struct Options {
    int keys = 200;
    int pauseMin = 20;
    int pauseMax = 600;
};

struct KeyTiming {
    double presentedMs; // injection to the present of the finished repaint
    double startedMs;   // injection to the logic's first drawing for the key
    double repaintedMs; // injection to the logic's last drawing for the key
    int pauseMs;
};

struct Run {
    std::vector<KeyTiming> timings;
    std::vector<uint64_t> framesPerRepaint;
    std::string failure;
    std::string driver;
};

double msBetween(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// The rows drawn in the selection colours, over the whole row width. Read while
// the logic may be drawing: a torn look is simply looked at again.
std::vector<int> highlightedRows(const TextScreen& screen) {
    std::vector<int> rows;
    for (int row = 2; row < TextScreen::Rows; ++row)
        if (cellAt(screen, row, 1).bg == Plum &&
            cellAt(screen, row, TextScreen::Columns).bg == Plum)
            rows.push_back(row);
    return rows;
}

// Waits until the logic has stopped drawing, the window shows the last frame and
// exactly one row is selected. Returns that row, or 0 on timeout.
int waitSettled(TextScreen& screen, Clock::duration timeout) {
    const auto start = Clock::now();
    uint64_t lastFrame = screen.frameCounter.load(std::memory_order_acquire);
    auto lastChange = start;
    while (Clock::now() - start < timeout) {
        std::this_thread::sleep_for(PollStep);
        const auto now = Clock::now();
        const uint64_t frame = screen.frameCounter.load(std::memory_order_acquire);
        if (frame != lastFrame) {
            lastFrame = frame;
            lastChange = now;
            continue;
        }
        if (now - lastChange < SettledAfter) continue;
        if (screen.presentedFrame.load(std::memory_order_acquire) != frame) continue;
        const std::vector<int> rows = highlightedRows(screen);
        if (rows.size() == 1) return rows[0];
    }
    return 0;
}

void pushSdlKey(SDL_Keycode key, SDL_Scancode scancode) {
    SDL_Window* focus = SDL_GetKeyboardFocus();
    SDL_Event event{};
    event.key.windowID = focus ? SDL_GetWindowID(focus) : 0;
    event.key.keysym.scancode = scancode;
    event.key.keysym.sym = key;
    event.key.keysym.mod = KMOD_NONE;
    event.type = SDL_KEYDOWN;
    event.key.state = SDL_PRESSED;
    event.key.timestamp = SDL_GetTicks();
    SDL_PushEvent(&event);
    event.type = SDL_KEYUP;
    event.key.state = SDL_RELEASED;
    SDL_PushEvent(&event);
}

// Times one Down key: from the injection until a present of the frame count at
// which the repaint ended. Every present is noted with the time it was seen, so
// the stillness check that proves the repaint over costs the measurement nothing.
bool timeOneKey(TextScreen& screen, int pauseMs, Run& run) {
    const int rowBefore = waitSettled(screen, KeyTimeout);
    if (rowBefore == 0) {
        run.failure = "the menu did not settle before a key";
        return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
    const uint64_t frameBefore = screen.frameCounter.load(std::memory_order_acquire);

    struct Seen {
        Clock::time_point at;
        uint64_t frame;
    };
    std::vector<Seen> presents;
    presents.reserve(64);
    const auto injected = Clock::now();
    pushSdlKey(SDLK_DOWN, SDL_SCANCODE_DOWN);

    uint64_t lastFrame = frameBefore, lastPresented = ~uint64_t{0};
    auto lastChange = injected;
    uint64_t finalFrame = 0;
    Clock::time_point started{}, repainted{};
    for (;;) {
        std::this_thread::sleep_for(PollStep);
        const auto now = Clock::now();
        if (now - injected > KeyTimeout) {
            run.failure = "no repaint presented within 2 s of a key";
            return false;
        }
        const uint64_t frame = screen.frameCounter.load(std::memory_order_acquire);
        const uint64_t presented = screen.presentedFrame.load(std::memory_order_acquire);
        if (presented != lastPresented) {
            presents.push_back({now, presented});
            lastPresented = presented;
        }
        if (frame != lastFrame) {
            if (lastFrame == frameBefore) started = now;
            lastFrame = frame;
            lastChange = now;
        }
        if (finalFrame == 0 && frame != frameBefore && now - lastChange >= SettledAfter) {
            const std::vector<int> rows = highlightedRows(screen);
            if (rows.size() == 1 && rows[0] != rowBefore) {
                finalFrame = frame;
                repainted = lastChange;
            }
        }
        if (finalFrame != 0 && presented >= finalFrame) break;
    }
    const auto shown = std::find_if(presents.begin(), presents.end(),
                                    [&](const Seen& seen) { return seen.frame >= finalFrame; });
    run.timings.push_back({msBetween(injected, shown->at), msBetween(injected, started),
                           msBetween(injected, repainted), pauseMs});
    run.framesPerRepaint.push_back(finalFrame - frameBefore);
    return true;
}

// The third thread: waits for the window, types the keys, then Escape to end
// the installer. Whatever goes wrong, it closes the input so the logic ends.
void typeKeys(TextScreen& screen, const Options& options, Run& run) {
    const auto start = Clock::now();
    while (screen.presentedFrame.load(std::memory_order_acquire) == 0 &&
           !screen.endRequested.load() && Clock::now() - start < StartTimeout)
        std::this_thread::sleep_for(1ms);
    if (screen.presentedFrame.load(std::memory_order_acquire) == 0) {
        run.failure = "the SDL window never presented a frame (no display?)";
        closeInput(screen.keys);
        return;
    }
    if (const char* driver = SDL_GetCurrentVideoDriver()) run.driver = driver;
    if (waitSettled(screen, StartTimeout) == 0) {
        run.failure = "the menu never appeared";
    } else {
        uint32_t seed = 12345;
        const int span = options.pauseMax - options.pauseMin + 1;
        for (int key = 0; key < options.keys; ++key) {
            seed = seed * 1103515245u + 12345u;
            const int pauseMs = options.pauseMin + static_cast<int>((seed >> 8) % span);
            if (!timeOneKey(screen, pauseMs, run)) break;
        }
    }
    pushSdlKey(SDLK_ESCAPE, SDL_SCANCODE_ESCAPE);
    const auto escaped = Clock::now();
    while (!screen.endRequested.load() && Clock::now() - escaped < 5s)
        std::this_thread::sleep_for(1ms);
    if (!screen.endRequested.load()) {
        if (run.failure.empty()) run.failure = "Escape did not end the installer";
        closeInput(screen.keys);
    }
}

double percentile(std::vector<double> values, double share) {
    std::sort(values.begin(), values.end());
    const size_t rank = static_cast<size_t>(std::ceil(share * values.size()));
    return values[std::clamp<size_t>(rank, 1, values.size()) - 1];
}

void printLine(const char* label, const std::vector<double>& values) {
    if (values.empty()) return;
    std::printf("  %-34s %4zu keys  median %6.2f ms  p95 %6.2f ms  max %6.2f ms\n", label,
                values.size(), percentile(values, 0.5), percentile(values, 0.95),
                *std::max_element(values.begin(), values.end()));
}

void report(const Run& run, const Options& options) {
    std::vector<double> presented, presentedActive, presentedIdle, started, repainted;
    for (const KeyTiming& timing : run.timings) {
        presented.push_back(timing.presentedMs);
        started.push_back(timing.startedMs);
        repainted.push_back(timing.repaintedMs);
        (timing.pauseMs < IdlePauseMs ? presentedActive : presentedIdle)
            .push_back(timing.presentedMs);
    }
    std::printf("Down key to presented frame, SDL window (%s), pauses %d-%d ms:\n",
                run.driver.c_str(), options.pauseMin, options.pauseMax);
    printLine("key to frame presented", presented);
    printLine("  after a pause < 500 ms", presentedActive);
    printLine("  after a pause >= 500 ms (idle)", presentedIdle);
    printLine("key to repaint started (logic)", started);
    printLine("key to repaint drawn (logic)", repainted);
    if (!run.framesPerRepaint.empty()) {
        const auto [low, high] =
            std::minmax_element(run.framesPerRepaint.begin(), run.framesPerRepaint.end());
        std::printf("  drawing calls per repaint: %llu..%llu\n",
                    static_cast<unsigned long long>(*low), static_cast<unsigned long long>(*high));
    }
}

bool parseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--keys=", 0) == 0) {
            options.keys = std::atoi(arg.c_str() + 7);
        } else if (arg.rfind("--pause=", 0) == 0 &&
                   std::sscanf(arg.c_str() + 8, "%d-%d", &options.pauseMin, &options.pauseMax) ==
                       2) {
        } else {
            return false;
        }
    }
    return options.keys > 0 && options.pauseMin >= 0 && options.pauseMax >= options.pauseMin;
}

// Every entry of VELTRA_DRIVES must be an existing plain file: the benchmark
// never opens a device.
bool drivesAreImages(const std::string& list) {
    size_t from = 0;
    for (;;) {
        const size_t end = list.find(':', from);
        const std::string entry = list.substr(from, end - from);
        struct stat info {};
        if (!entry.empty() && (::stat(entry.c_str(), &info) != 0 || !S_ISREG(info.st_mode)))
            return false;
        if (end == std::string::npos) return true;
        from = end + 1;
    }
}

// Names the disk image in VELTRA_DRIVES, making one in `folder` when none is
// given. Returns false when no safe image can be had.
bool prepareDisk(std::string& folder) {
    if (const char* drives = std::getenv("VELTRA_DRIVES")) {
        if (drivesAreImages(drives)) return true;
        std::fprintf(stderr, "VELTRA_DRIVES must name image files only: %s\n", drives);
        return false;
    }
    char pattern[] = "/tmp/veltra-bench-XXXXXX";
    if (!::mkdtemp(pattern)) return false;
    folder = pattern;
    const std::string image = folder + "/disk.img";
    const std::string command = std::string("python3 '") + VELTRA_SOURCE_DIR +
                                "/tools/make_disk.py' '" + image + "' >/dev/null";
    if (std::system(command.c_str()) != 0 || !drivesAreImages(image)) {
        std::fprintf(stderr, "tools/make_disk.py failed\n");
        return false;
    }
    ::setenv("VELTRA_DRIVES", image.c_str(), 1);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parseOptions(argc, argv, options)) {
        std::fprintf(stderr, "usage: %s [--keys=N] [--pause=MIN-MAX]\n", argv[0]);
        return 2;
    }
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if (!(display && *display) && !(wayland && *wayland)) {
        std::fprintf(stderr, "no display: run under xvfb-run -a\n");
        return 2;
    }
    std::string folder;
    if (!prepareDisk(folder)) return 2;

    auto screen = std::make_unique<TextScreen>();
    auto state = std::make_unique<InstallerState>();
    Run run;
    std::thread typist([&] { typeKeys(*screen, options, run); });
    runWithWindow(*screen, argv[0], [&](TextScreen& shown) {
        startUp(*state, shown, {});
        mainLoop(*state, shown);
    });
    typist.join();
    if (!folder.empty()) {
        std::remove((folder + "/disk.img").c_str());
        ::rmdir(folder.c_str());
    }

    report(run, options);
    if (!run.failure.empty()) {
        std::fprintf(stderr, "failed after %zu keys: %s\n", run.timings.size(),
                     run.failure.c_str());
        return 1;
    }
    return 0;
}
