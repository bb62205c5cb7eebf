// The platform-free parts of the window side: scripted keys, the window title
// and the logic thread.
#include "display/window.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <utility>

void queueScript(TextScreen& screen, const std::vector<int>& keys) {
    KeyQueue& queue = screen.keys;
    {
        std::lock_guard<std::mutex> hold(queue.lock);
        queue.script.insert(queue.script.end(), keys.begin(), keys.end());
        queue.inputClosed = true;
    }
    queue.arrived.notify_all();
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

namespace {
BackendTexts& texts() {
    static BackendTexts shared;
    return shared;
}
} // namespace

void setBackendTexts(BackendTexts given) {
    texts() = std::move(given);
}

const BackendTexts& backendTexts() {
    return texts();
}

std::string withReason(const std::string& pattern, const std::string& why) {
    const size_t at = pattern.find("{0}");
    if (at == std::string::npos) return pattern.empty() ? why : pattern;
    return pattern.substr(0, at) + why + pattern.substr(at + 3);
}
