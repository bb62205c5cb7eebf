// The terminal fallback, for when no window can be opened: the 80x28 cell grid
// drawn in the colours the terminal can show, keys read from standard input.
// This file is its event loop; terminal_session.cpp has the terminal's
// settings, signals and output, terminal_keys.cpp the key decoding.
//
// Keys from a terminal enter the queue as they are typed. Keys from a pipe or
// file are a script: each one is handed over only when the previous one has
// been read and the screen it led to has been drawn, so none is lost to the
// 15-key queue and every screen that waits for a key shows in the output. Only
// a bounded stretch of the script is read ahead; the rest waits in its pipe.
//
// On a terminal the whole grid goes to the alternate screen (the shell's text
// comes back at the end) and is drawn anew after every resize; a terminal
// smaller than 80x28 shows a one-line notice instead. Lines in place are
// written below the shell's text and stay there. The loop sleeps in poll until
// a key, a resize or a wake-up from the logic arrives. A screen is drawn as
// soon as it is finished (the logic waits for a key); one the logic is still
// drawing is drawn once it has been still for a moment.
#include "display/terminal_session.h"
#include "display/window.h"
#include "display/window_posix.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <poll.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// How long an ESC may stand alone before it counts as the Escape key.
constexpr milliseconds EscapeWait{30};
// A screen the logic is still drawing (between disk writes, say) is drawn
// once it has not changed for this long, or has been changing for MaxDrawDelay.
constexpr milliseconds SettleTime{5};
constexpr milliseconds MaxDrawDelay{100};
// A scripted key waits this long for a screen that is not announced as
// finished; while the logic has not taken the previous key, the loop looks
// again every ScriptStep.
constexpr milliseconds ScriptKeyPause{20};
constexpr milliseconds ScriptStep{10};
// Input is read ahead only this far: with more scripted keys waiting, or more
// bytes undecoded, the loop stops reading until the logic has caught up, so an
// endless input stays in its pipe. A sequence that is still unfinished at
// MaxPendingBytes is decoded as it stands.
constexpr size_t MaxKeysAhead = 256;
constexpr size_t MaxPendingBytes = 1024;
// Looked at again this often when there is no wake-up descriptor.
constexpr milliseconds NoWakeStep{50};
constexpr uint64_t NoFrame = ~uint64_t{0};

// Everything the loop keeps between two looks.
struct TerminalLoop {
    TextScreen& screen;
    TerminalSession session;
    LoopWaker waker{};
    ShownRows shown{};
    bool scripted = false;
    bool fits = true; // a terminal smaller than the grid shows one line instead
    TerminalKeyDecoder decoder{};
    std::deque<int> scriptKeys{};
    bool inputOpen = true, inputClosed = false;
    Clock::time_point lastInput = Clock::now();
    Clock::time_point lastChange = Clock::now(), firstUndrawn = Clock::now();
    uint64_t drawnFrame = NoFrame, seenFrame = NoFrame;
};

void handleResize(TerminalLoop& loop) {
    if (!takeResize()) return;
    int columns = 0, rows = 0;
    loop.fits = !terminalSize(loop.session.outputFd, columns, rows) ||
                (columns >= TextScreen::Columns && rows >= TextScreen::Rows);
    std::string out = "\x1b[0m\x1b[2J";
    if (!loop.fits) {
        // The notice cut to the terminal's width, never inside a UTF-8 character.
        const std::string& notice = backendTexts().tooSmall;
        size_t cut = 0;
        for (size_t at = 0, shown = 0; at < notice.size() && shown < size_t(std::max(columns, 0));
             ++shown) {
            do ++at;
            while (at < notice.size() && (static_cast<unsigned char>(notice[at]) & 0xC0) == 0x80);
            cut = at;
        }
        out.append("\x1b[1;1H").append(notice, 0, cut);
    }
    writeFrame(loop.session, out);
    loop.shown.everything = true;
    loop.drawnFrame = NoFrame;
}

// Copies the cells with the frame count that belongs to them and writes what
// changed.
void drawFrame(TerminalLoop& loop) {
    // No output (plain text runs): nothing to draw, the frame counts as shown.
    if (loop.session.outputFd < 0) {
        loop.drawnFrame = loop.screen.frameCounter.load(std::memory_order_relaxed);
        return;
    }
    CellGrid cells;
    {
        std::lock_guard<std::mutex> hold(loop.screen.frameLock);
        cells = loop.screen.cells;
        loop.drawnFrame = loop.screen.frameCounter.load(std::memory_order_relaxed);
    }
    if (loop.fits) drawRows(loop.session, cells, loop.shown);
}

void drawWhenDue(TerminalLoop& loop, uint64_t frame, Clock::time_point now, bool ending) {
    if (frame != loop.seenFrame) {
        if (loop.seenFrame == loop.drawnFrame) loop.firstUndrawn = now;
        loop.seenFrame = frame;
        loop.lastChange = now;
    }
    const bool finished = loop.screen.completeFrame.load() == frame;
    if (frame != loop.drawnFrame && (ending || finished || now - loop.lastChange >= SettleTime ||
                                     now - loop.firstUndrawn >= MaxDrawDelay))
        drawFrame(loop);
}

// Whether the logic has taken every key and waits on a drawn screen. The keys
// are counted before the finished frame is read: readKey marks the frame
// unfinished before it hands a key out.
bool logicWaitsOnDrawnScreen(TerminalLoop& loop, uint64_t frame, Clock::time_point now) {
    if (loop.drawnFrame != frame || loop.drawnFrame == NoFrame) return false;
    if (pendingKeys(loop.screen.keys) != 0) return false;
    return loop.screen.completeFrame.load() == frame || now - loop.lastChange >= ScriptKeyPause;
}

void handOverKeys(TerminalLoop& loop, uint64_t frame, Clock::time_point now) {
    if (!loop.scriptKeys.empty() && logicWaitsOnDrawnScreen(loop, frame, now)) {
        pushKey(loop.screen.keys, loop.scriptKeys.front());
        loop.scriptKeys.pop_front();
    }
    if (!loop.inputOpen && !loop.inputClosed && loop.scriptKeys.empty() &&
        loop.decoder.pending.empty()) {
        closeInput(loop.screen.keys);
        loop.inputClosed = true;
    }
}

// How long poll may sleep: for ever, unless a screen waits to be still, an
// escape sequence may go on or a scripted key waits for its turn.
int pollTimeout(const TerminalLoop& loop, uint64_t frame, Clock::time_point now) {
    Clock::duration wait = Clock::duration::max();
    if (frame != loop.drawnFrame)
        wait = std::min(SettleTime - (now - loop.lastChange),
                        MaxDrawDelay - (now - loop.firstUndrawn));
    if (loop.inputOpen && !loop.decoder.pending.empty())
        wait = std::min(wait, EscapeWait - (now - loop.lastInput));
    if (!loop.scriptKeys.empty())
        wait = std::min<Clock::duration>(
            wait, loop.drawnFrame == frame ? ScriptKeyPause - (now - loop.lastChange) : ScriptStep);
    if (loop.waker.readFd < 0) wait = std::min<Clock::duration>(wait, NoWakeStep);
    if (wait == Clock::duration::max()) return -1;
    return static_cast<int>(std::chrono::ceil<milliseconds>(std::max(wait, {})).count());
}

// Reads what the input has. Its end (end of file, a hang-up, an error or a
// descriptor that is not open) is never looked at again.
void readInput(TerminalLoop& loop, short events, Clock::time_point now) {
    if (events & (POLLNVAL | POLLERR)) {
        loop.inputOpen = false;
    } else if (events & POLLIN) {
        char buffer[256];
        const ssize_t got = ::read(loop.session.inputFd, buffer, sizeof buffer);
        if (got > 0) {
            loop.decoder.pending.append(buffer, static_cast<size_t>(got));
            loop.lastInput = now;
        } else if (got == 0 || (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)) {
            loop.inputOpen = false;
        }
    } else if (events & POLLHUP) {
        loop.inputOpen = false;
    }
}

void decodeInput(TerminalLoop& loop, Clock::time_point now) {
    if (loop.decoder.pending.empty()) return;
    std::vector<int> keys;
    decodeTerminalKeys(loop.decoder,
                       !loop.inputOpen || now - loop.lastInput >= EscapeWait ||
                           loop.decoder.pending.size() >= MaxPendingBytes,
                       keys);
    for (int key : keys) {
        if (loop.scripted)
            loop.scriptKeys.push_back(key);
        else
            pushKey(loop.screen.keys, key);
    }
}

// Sleeps until a key, a wake-up or the timeout; takes the wake-ups before the
// next look at the frame count.
void waitForInput(TerminalLoop& loop, int timeout) {
    const bool reading = loop.inputOpen && loop.scriptKeys.size() < MaxKeysAhead &&
                         loop.decoder.pending.size() < MaxPendingBytes;
    pollfd watched[2] = {{loop.waker.readFd, POLLIN, 0},
                         {reading ? loop.session.inputFd : -1, POLLIN, 0}};
    const int ready = ::poll(watched, 2, timeout);
    const Clock::time_point now = Clock::now();
    if (ready < 0 && errno != EINTR && errno != EAGAIN) loop.inputOpen = false;
    if (ready > 0 && (watched[0].revents & POLLIN)) takeWakeUps(loop.waker);
    readInput(loop, ready > 0 ? watched[1].revents : 0, now);
    decodeInput(loop, now);
}

void runLoop(TerminalLoop& loop) {
    for (;;) {
        const bool ending = loop.screen.endRequested.load(std::memory_order_acquire);
        const Clock::time_point now = Clock::now();
        handleResize(loop);
        const uint64_t frame = loop.screen.frameCounter.load(std::memory_order_acquire);
        drawWhenDue(loop, frame, now, ending);
        if (ending) return;
        handOverKeys(loop, frame, now);
        waitForInput(loop, pollTimeout(loop, frame, now));
    }
}

TerminalSession sessionFor(int inputFd, int outputFd, ScreenUse use) {
    TerminalSession session;
    session.inputFd = inputFd;
    session.outputFd = outputFd;
    session.inputIsTerminal = isatty(inputFd) == 1;
    session.outputIsTerminal = isatty(outputFd) == 1;
    session.use = use;
    session.colours = chooseTerminalColours(std::getenv("TERM"), std::getenv("COLORTERM"),
                                            std::getenv("NO_COLOR"));
    return session;
}

} // namespace

int runTerminalWindow(TextScreen& screen, int inputFd, int outputFd,
                      const std::function<void(TextScreen&)>& logic, ScreenUse use) {
    TerminalLoop loop{screen, sessionFor(inputFd, outputFd, use)};
    if (loop.session.colours == TerminalColours::NoCursor) {
        if (loop.session.outputIsTerminal && use == ScreenUse::Whole) {
            std::fputs((backendTexts().noCursor + "\n").c_str(), stderr);
            return 2;
        }
        loop.session.colours = TerminalColours::None;
    }
    openWaker(loop.waker);
    enterTerminal(loop.session, loop.waker.writeFd);
    loop.scripted = !loop.session.inputIsTerminal;
    if (loop.waker.writeFd >= 0) screen.wakeEventLoop = [&waker = loop.waker] { wakeLoop(waker); };

    std::exception_ptr failure;
    std::thread logicThread = startLogicThread(screen, logic, failure);
    runLoop(loop);
    logicThread.join();
    screen.wakeEventLoop = nullptr;
    drawFrame(loop);
    leaveTerminal(loop.session);
    closeWaker(loop.waker);
    if (failure) std::rethrow_exception(failure);
    return screen.exitCode.load();
}
