#include "installer/process.h"

#include "core/write_sequence.h"
#include "display/window.h"

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
