#include "installer/platform.h"

#include "core/write_sequence.h"
#include "display/window.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

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

namespace {

// A standard handle that the starting program pointed at a file or a pipe
// (cmd's "> file", a pipe of PowerShell); nullptr for none or a console.
HANDLE redirectedHandle(DWORD which) {
    HANDLE handle = GetStdHandle(which);
    if (!handle || handle == INVALID_HANDLE_VALUE) return nullptr;
    const DWORD type = GetFileType(handle);
    return type == FILE_TYPE_DISK || type == FILE_TYPE_PIPE ? handle : nullptr;
}

void writeAll(HANDLE handle, const std::string& text, bool console) {
    size_t done = 0;
    while (done < text.size()) {
        const auto size = static_cast<DWORD>(text.size() - done);
        DWORD written = 0;
        const bool ok = console ? WriteConsoleA(handle, text.data() + done, size, &written, nullptr)
                                : WriteFile(handle, text.data() + done, size, &written, nullptr);
        if (!ok || written == 0) return;
        done += written;
    }
}

// Lines wider than a row break at their last space that fits; the rest goes
// on below, lined up with the text after the line's last wide gap (where the
// usage text's explanations start).
void addWrapped(std::vector<std::string>& rows, std::string line) {
    constexpr size_t Width = TextScreen::Columns - 1;
    while (line.size() > Width) {
        const size_t gap = line.rfind("  ", Width);
        const size_t indent =
            std::min(gap == std::string::npos ? 2 : line.find_first_not_of(' ', gap), Width / 2);
        size_t cut = line.rfind(' ', Width);
        if (cut == std::string::npos || cut <= indent) cut = Width;
        rows.push_back(line.substr(0, cut));
        const size_t rest = line.find_first_not_of(' ', cut);
        if (rest == std::string::npos) return;
        line = std::string(indent, ' ') + line.substr(rest);
    }
    rows.push_back(line);
}

// The text in the window, a page of 26 rows at a time; a key shows the next
// page, Escape or the close button ends at once.
void showInWindow(TextScreen& shown, const std::string& text, int exitCode) {
    std::vector<std::string> lines;
    for (size_t start = 0; start < text.size();) {
        const size_t end = std::min(text.find('\n', start), text.size());
        addWrapped(lines, text.substr(start, end - start));
        start = end + 1;
    }
    const size_t perPage = TextScreen::Rows - 2; // and an empty row and the prompt
    openWindow(shown, 640, 448, 32);
    setTextGrid(shown, 80, 28);
    setColor(shown, PaleRose, Black);
    for (size_t first = 0;; first += perPage) {
        clearScreen(shown);
        moveCursor(shown, 1, 1, CursorVisibility::Hide);
        for (size_t i = first; i < lines.size() && i < first + perPage; ++i)
            printText(shown, lines[i], true);
        const bool more = first + perPage < lines.size();
        moveCursor(shown, TextScreen::Rows, 1);
        printText(shown,
                  more ? "  Druk op een toets voor meer, Escape stopt."
                       : "  Druk op een willekeurige toets.",
                  false);
        const std::string key = awaitKey(shown);
        const bool stop = key == std::string(1, char(KeyEscape)) ||
                          key == std::string{char(0xFF), char(KeyClose - ExtendedKeyBase)};
        if (!more || stop) break;
    }
    endProgram(shown, exitCode);
}

} // namespace

// Standard output and standard error each go to the file or pipe they were
// redirected to, else to the console of the starting program (attached here;
// under wine the program already shares the console of cmd); with neither,
// as from Explorer, the text is shown in the window.
int showCliText(const std::string& out, const std::string& err, int exitCode) {
    HANDLE outFile = redirectedHandle(STD_OUTPUT_HANDLE);
    HANDLE errFile = redirectedHandle(STD_ERROR_HANDLE);
    const bool attached = AttachConsole(ATTACH_PARENT_PROCESS);
    HANDLE console =
        CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (console == INVALID_HANDLE_VALUE) console = nullptr;
    if (outFile || console) {
        // In a console the prompt of cmd is already on the line.
        if (!outFile)
            writeAll(console, "\n" + out, true);
        else
            writeAll(outFile, out, false);
        if (errFile)
            writeAll(errFile, err, false);
        else if (console)
            writeAll(console, err, true);
        else
            writeAll(outFile, err, false);
        if (console) CloseHandle(console);
        if (attached) FreeConsole();
        return exitCode;
    }
    if (attached) FreeConsole();
    auto screen = std::make_unique<TextScreen>();
    runWithWindow(*screen, "veltra",
                  [&](TextScreen& shown) { showInWindow(shown, out + err, exitCode); });
    return exitCode;
}
