#include "installer/platform.h"

#include "core/write_sequence.h"
#include "display/window.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace {

// Console events (Ctrl-C, Ctrl-Break, the console closing, log-off, shut-down)
// arrive on a thread of their own: it waits while disk writes run, then lets
// the system end the program.
BOOL WINAPI onConsoleEvent(DWORD) {
    while (inWriteSequence()) Sleep(10);
    return FALSE;
}

} // namespace

void prepareProcess() {
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

bool plainOutputWanted() {
    return false;
}

bool inputIsTerminal() {
    return true;
}

int runPlain(TextScreen& screen, const std::function<void(TextScreen&)>& logic) {
    return runWithWindow(screen, "veltra", logic);
}

int showCliText(const std::string& out, const std::string& err, int exitCode) {
    if (AttachConsole(ATTACH_PARENT_PROCESS)) {
        std::FILE* ignored = nullptr;
        freopen_s(&ignored, "CONOUT$", "w", stdout);
        freopen_s(&ignored, "CONOUT$", "w", stderr);
        std::fputs("\n", stdout); // the prompt of cmd is already on the line
        std::fputs(out.c_str(), stdout);
        std::fputs(err.c_str(), stderr);
        std::fflush(stdout);
        std::fflush(stderr);
        FreeConsole();
        return exitCode;
    }
    // Started without a console (from Explorer): the text in the window.
    auto screen = std::make_unique<TextScreen>();
    runWithWindow(*screen, "veltra", [&](TextScreen& shown) {
        openWindow(shown, 640, 448, 32);
        setTextGrid(shown, 80, 28);
        setColor(shown, PaleRose, Black);
        clearScreen(shown);
        moveCursor(shown, 1, 1, CursorVisibility::Hide);
        const std::string text = out + err;
        size_t start = 0;
        for (int row = 1; row < TextScreen::Rows && start < text.size(); ++row) {
            const size_t end = text.find('\n', start);
            printText(shown, text.substr(start, std::min<size_t>(end - start, 79)), true);
            start = end == std::string::npos ? text.size() : end + 1;
        }
        awaitKey(shown);
        endProgram(shown, exitCode);
    });
    return exitCode;
}
