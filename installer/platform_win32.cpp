#include "installer/platform.h"

#include "core/catalogue.h"
#include "core/write_sequence.h"
#include "display/window.h"

#include <string>

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

std::string systemLanguage() {
    wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
    const LCID ui = MAKELCID(GetUserDefaultUILanguage(), SORT_DEFAULT);
    if (LCIDToLocaleName(ui, name, LOCALE_NAME_MAX_LENGTH, 0) <= 0) return "";
    std::string text;
    for (const wchar_t* c = name; *c && *c < 0x80; ++c) text += static_cast<char>(*c);
    return text;
}

const char* noRightsText() {
    return N_(" Niet voldoende rechten. Start met Administrator-rechten.");
}

const char* notADiskPattern() {
    return N_(" {1} is geen schijf: geef een nummer of \\\\.\\PhysicalDriveN op.");
}

const char* openErrorPattern() {
    // Any other failure to open a physical drive is a matter of rights here.
    return noRightsText();
}

std::string systemErrorText(int error) {
    return fill(tr("fout {0}"), {std::to_string(error)});
}

void prepareProcess() {
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

DriveUsage driveUsage() {
    return {N_(R"(  -d, --drive SCHIJF   de schijf van drive 0, 1, 2, 3 in volgorde (hooguit 4):
                       een nummer of \\.\PhysicalDriveN; zonder --drive is
                       drive N \\.\PhysicalDriveN
)"),
            N_(R"(Voorbeelden:
  veltra --drive 1 --status
  veltra -d \\.\PhysicalDrive0 1v
)")};
}

bool startedFromDesktop() {
    return false;
}

bool mayWriteDisks() {
    return true;
}

std::string restartWithRights(const std::string&) {
    return tr("het programma vraagt zijn rechten bij het starten.");
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

} // namespace

// Standard output and standard error each go to the file or pipe they were
// redirected to, else to the console of the starting program (attached here;
// under wine the program already shares the console of cmd); with neither,
// as from Explorer, the text is shown in the window.
int showCliText(const std::string& out, const std::string& err, int exitCode, bool) {
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
    return showTextInWindow(out + err, exitCode);
}

bool framebufferWanted(bool) {
    return true; // the window shows every run
}

bool menuCanRun() {
    return true;
}

int outputWritten(int exitCode) {
    return exitCode;
}
