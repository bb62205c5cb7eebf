// The two POSIX window backends, which runWithWindow chooses between, and what
// they share: the wake-up of an event loop that sleeps in poll.
#pragma once

#include "display/text_screen.h"
#include "display/window.h"

#include <functional>
#include <mutex>
#include <string>
#include <vector>

// Opens an SDL window titled `title`, runs `logic` beside its event loop and
// leaves the logic's exit code in `exitCode`. Returns false, having started
// nothing, when no window can be opened (no display, no SDL2 library, no
// video driver); SDL2 is loaded only when a display is on offer.
bool runSdlWindow(TextScreen& screen, const std::string& title,
                  const std::function<void(TextScreen&)>& logic, int& exitCode);

// Shows the cell grid on the terminal behind `outputFd` in the colours it can
// show and reads keys from `inputFd` (a terminal in non-canonical mode, or
// plain bytes from a pipe or file), running `logic` beside it. Returns the
// logic's exit code; 2, without running it, for the whole grid on a terminal
// that cannot place the cursor (TERM unset or dumb).
int runTerminalWindow(TextScreen& screen, int inputFd, int outputFd,
                      const std::function<void(TextScreen&)>& logic,
                      ScreenUse use = ScreenUse::Whole);

// The wake-up of an event loop that sleeps in poll. The kernel keeps the
// wake-ups in an eventfd (a pipe where there is none), so none can be lost:
// the loop reads them all (takeWakeUps) before it looks at what they were for.
// At most one is sent per look: `sent`, under `lock`, is cleared only after
// the descriptor has been read, so a wake-up that finds it set is sure that
// the loop's next look still lies ahead.
struct LoopWaker {
    int readFd = -1;  // watched by poll
    int writeFd = -1; // the same eventfd, or the pipe's write end
    std::mutex lock;
    bool sent = false;
};
// False, leaving both descriptors -1, when no descriptor can be had.
bool openWaker(LoopWaker& waker);
void closeWaker(LoopWaker& waker);
// From any thread: wakes the loop unless a wake-up is already on its way.
void wakeLoop(LoopWaker& waker);
// Async-signal-safe: one more wake-up, always sent (a signal handler cannot lock).
void wakeLoopFromSignal(int writeFd);
// The loop, before it looks at the frame count, the end or the resize flag:
// reads the descriptor empty, then allows the next wake-up.
void takeWakeUps(LoopWaker& waker);
// For a loop whose wake-up travels another way (an SDL event): claims the one
// wake-up (false when it is already on its way), and gives it back once taken.
bool claimWakeUp(LoopWaker& waker);
void releaseWakeUp(LoopWaker& waker);

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

// What a terminal can show, from TERM, COLORTERM and NO_COLOR (nullptr for
// unset): no cursor positioning at all (TERM unset or "dumb"), no colour
// (NO_COLOR set and not empty; the highlight in reverse video), the 16 colours
// of the Linux console and most terminals, the 256-colour palette (TERM ending
// in "-256color"), or 24-bit colour (COLORTERM "truecolor" or "24bit").
enum class TerminalColours { NoCursor, None, Basic16, Palette256, TrueColour };
TerminalColours chooseTerminalColours(const char* term, const char* colorTerm, const char* noColor);
// The select graphic rendition sequence for text in `fg` on `bg` (RRGGBBh), all
// attributes set anew. With `blackIsDefault` a Black background is the
// terminal's own (lines printed in place in the terminal's text).
std::string terminalStyle(TerminalColours colours, uint32_t fg, uint32_t bg, bool blackIsDefault);
