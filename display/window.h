// Window backends. Each one shows the framebuffer (or the cells) and pushes
// keys into the screen's KeyQueue; none of them ever calls into the installer.
#pragma once

#include "display/text_screen.h"

#include <exception>
#include <functional>
#include <string>
#include <thread>
#include <vector>

// How a run shows its screen: the whole 80x28 grid (a window, or the full
// terminal), or only the lines it printed, in place in the terminal it runs in,
// where they stay in the scrollback (POSIX: no window opens; the Win32 program
// always shows its window).
enum class ScreenUse { Whole, LinesInPlace };

// Runs `logic` on a thread of its own while the calling (main) thread runs the
// window's event loop: an SDL window when a display can be opened, else the
// terminal fallback (POSIX); the Win32 window on Windows. Returns the code that
// the logic passed to endProgram, or 2 without running it when the terminal
// cannot show the grid. `programPath` names the window (file name without
// folder and extension).
int runWithWindow(TextScreen& screen, const std::string& programPath,
                  const std::function<void(TextScreen&)>& logic, ScreenUse use = ScreenUse::Whole);

// Puts the terminal back as it was before the program (settings, cursor shown,
// colours reset, main screen) when the terminal fallback is running; does
// nothing otherwise or a second time. Async-signal-safe: a handler of SIGINT,
// SIGTERM or SIGHUP calls it before it re-raises the signal. The window
// backends leave these signals to the program; the terminal fallback only
// catches those still at their default action, to put the terminal back.
void restoreTerminalForExit();

// Headless backend for tests: keys come from a script. `queueScript` pushes
// the keys and closes the input.
void queueScript(TextScreen& screen, const std::vector<int>& keys);

// The few lines a backend says itself, worded by the program in its language
// (this layer words nothing): a terminal smaller than the grid, a terminal
// that cannot place the cursor, and a display that gives no window ("{0}"
// stands for why). Until the program sets them, a backend says only why.
struct BackendTexts {
    std::string tooSmall;
    std::string noCursor;
    std::string noWindow;
};
void setBackendTexts(BackendTexts texts);
const BackendTexts& backendTexts();
// `pattern` with its "{0}" replaced by `why`; `why` alone for an empty pattern.
std::string withReason(const std::string& pattern, const std::string& why);

// Shared by the backends.
// The window title: the file name after the last '/' or '\', before its last '.'.
std::string programTitle(const std::string& programPath);
// The key code of an extended key given by its plain PC scan code (3Bh..44h for
// F1..F10, 85h/86h for F11/F12, 47h..53h for the cursor block), moved to the
// scan code that the PC gives with Shift, Ctrl or Alt held.
int pcExtendedKey(int plainScan, bool shift, bool ctrl, bool alt);
// Starts `logic` on its own thread. When it returns (or throws, the exception
// kept in `failure`) endRequested is set and the event loop woken, so that it
// always ends.
std::thread startLogicThread(TextScreen& screen, const std::function<void(TextScreen&)>& logic,
                             std::exception_ptr& failure);
