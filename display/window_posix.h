// The two POSIX window backends, which runWithWindow chooses between.
#pragma once

#include "display/text_screen.h"

#include <array>
#include <functional>
#include <string>
#include <vector>

// Opens an SDL window titled `title`, runs `logic` beside its event loop and
// leaves the logic's exit code in `exitCode`. Returns false, having started
// nothing, when no window can be opened (no display, no video driver).
bool runSdlWindow(TextScreen& screen, const std::string& title,
                  const std::function<void(TextScreen&)>& logic, int& exitCode);

// Shows the cell grid on the terminal behind `outputFd` in 24-bit ANSI colours
// and reads keys from `inputFd` (a terminal in non-canonical mode, or plain bytes
// from a pipe or file), running `logic` beside it. Returns the logic's exit code.
int runTerminalWindow(TextScreen& screen, int inputFd, int outputFd,
                      const std::function<void(TextScreen&)>& logic);

// A pipe that wakes an event loop from another thread or a signal handler:
// {read end, write end}, both closing on exec and never blocking; {-1, -1} when
// no pipe can be had. drainWakePipe empties the read end.
std::array<int, 2> openWakePipe();
void drainWakePipe(int readFd);

// Turns the bytes that a terminal (or a key script on a pipe) sends into key
// codes: characters (UTF-8 to code page 437, raw bytes where not UTF-8), CR or
// LF as Enter (CR LF as one), DEL as Backspace, and the escape sequences of the
// arrows, Insert, Delete, Home, End, Page Up/Down and F1 to F12.
struct TerminalKeyDecoder {
    std::string pending; // bytes read but not yet decoded
    bool afterCarriageReturn = false;
};
// Decodes the keys in `decoder.pending`. An unfinished sequence at the end waits
// for more bytes, unless `complete`: then a lone ESC is the Escape key.
void decodeTerminalKeys(TerminalKeyDecoder& decoder, bool complete, std::vector<int>& keys);
