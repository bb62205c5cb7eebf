// The terminal fallback, for when no window can be opened: the 80x28 cell grid
// drawn with 24-bit ANSI colours, keys read from standard input.
//
// Every drawn row is written as: cursor position, colours, its 80 characters in
// UTF-8, colour reset (and a line end when the output is no terminal), so the
// output with its escape sequences stripped holds the row texts in order.
//
// Keys from a terminal enter the queue as they are typed. Keys from a pipe or
// file are a script: each one is handed over only when the previous one has
// been read and the screen it led to has been drawn, so none is lost to the
// 15-key queue and every screen that waits for a key shows in the output. Only
// a bounded stretch of the script is read ahead; the rest waits in its pipe.
//
// On a terminal the grid goes to the alternate screen (the shell's text comes
// back at the end) and is drawn anew after every resize; a terminal smaller
// than 80x28 shows a one-line notice instead. The loop sleeps in poll until a
// key, a resize or a wake-up from the logic arrives.
#include "display/font_cp437.h"
#include "display/window.h"
#include "display/window_posix.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <deque>
#include <mutex>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// How long an ESC may stand alone before it counts as the Escape key.
constexpr milliseconds EscapeWait{30};
// A frame is drawn once the screen has not changed for this long (or has been
// changing for MaxDrawDelay), so that half-drawn screens rarely show.
constexpr milliseconds SettleTime{5};
constexpr milliseconds MaxDrawDelay{100};
// A scripted key is handed over once the screen has been still this long; until
// the logic has taken the previous one, the loop looks again every ScriptStep.
constexpr milliseconds ScriptKeyPause{20};
constexpr milliseconds ScriptStep{10};
// Input is read ahead only this far: with more scripted keys waiting, or more
// bytes undecoded, the loop stops reading until the logic has caught up, so an
// endless input stays in its pipe. A sequence that is still unfinished at
// MaxPendingBytes is decoded as it stands.
constexpr size_t MaxKeysAhead = 256;
constexpr size_t MaxPendingBytes = 1024;
// Looked at again this often when there is no wake-up pipe (no descriptor left).
constexpr milliseconds NoWakeStep{50};

constexpr char TooSmallNotice[] = "Venster te klein: VELTRA heeft 80x28 tekens nodig.";

// The terminal as it was before, and what puts it back; set before the state
// becomes Running, read by restoreTerminalForExit, possibly in a signal handler.
struct SavedTerminal {
    int inputFd = -1;
    int outputFd = -1;
    bool inputIsTerminal = false;
    termios settings{};
    char tail[32] = {}; // written at the end: colours reset, cursor shown, main screen
    size_t tailSize = 0;
};
SavedTerminal savedTerminal;
enum TerminalState { NotRunning, Running, Restored };
std::atomic<int> terminalState{NotRunning};
static_assert(std::atomic<int>::is_always_lock_free);
static_assert(std::atomic<bool>::is_always_lock_free);

// Signals that end the program: caught only where the program left them at
// their default action, so that the terminal is put back before it ends.
constexpr int RestoreSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
struct sigaction previousActions[std::size(RestoreSignals)];
bool caughtSignals[std::size(RestoreSignals)] = {};
struct sigaction previousResizeAction;
// The write end of the wake-up pipe, for the resize handler.
std::atomic<int> resizeWakeFd{-1};
std::atomic<bool> resized{false};

void writeAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return;
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
}

// Only write(2), tcsetattr and lock-free atomics: safe in a signal handler.
void putTerminalBack() {
    if (savedTerminal.inputIsTerminal)
        tcsetattr(savedTerminal.inputFd, TCSAFLUSH, &savedTerminal.settings);
    writeAll(savedTerminal.outputFd, savedTerminal.tail, savedTerminal.tailSize);
}

extern "C" void restoreAndReraise(int signal) {
    restoreTerminalForExit();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

extern "C" void noteResize(int) {
    const int savedErrno = errno;
    resized.store(true);
    const int fd = resizeWakeFd.load();
    if (fd >= 0 && ::write(fd, "r", 1) < 0) {
        // A full pipe: the loop wakes anyway.
    }
    errno = savedErrno;
}

void enterTerminal(int inputFd, int outputFd, bool outputIsTerminal, int wakeFd) {
    SavedTerminal saved{inputFd, outputFd, isatty(inputFd) == 1, {}, {}, 0};
    const std::string_view tail =
        outputIsTerminal ? "\x1b[0m\x1b[?25h\x1b[?1049l" : "\x1b[0m\x1b[?25h";
    std::copy(tail.begin(), tail.end(), saved.tail);
    saved.tailSize = tail.size();
    termios raw{};
    if (saved.inputIsTerminal && tcgetattr(inputFd, &saved.settings) == 0) {
        raw = saved.settings;
        // Byte by byte, no echo, CR kept as CR; Ctrl-C still interrupts.
        raw.c_lflag &= ~(ICANON | ECHO);
        raw.c_iflag &= ~(ICRNL | INLCR | IXON);
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
    } else {
        saved.inputIsTerminal = false;
    }
    savedTerminal = saved;
    terminalState.store(Running);
    if (savedTerminal.inputIsTerminal) tcsetattr(inputFd, TCSAFLUSH, &raw);

    struct sigaction action {};
    action.sa_handler = restoreAndReraise;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < std::size(RestoreSignals); ++i) {
        caughtSignals[i] = sigaction(RestoreSignals[i], nullptr, &previousActions[i]) == 0 &&
                           !(previousActions[i].sa_flags & SA_SIGINFO) &&
                           previousActions[i].sa_handler == SIG_DFL;
        if (caughtSignals[i]) sigaction(RestoreSignals[i], &action, nullptr);
    }
    if (outputIsTerminal) {
        resizeWakeFd.store(wakeFd);
        struct sigaction onResize {};
        onResize.sa_handler = noteResize;
        onResize.sa_flags = SA_RESTART;
        sigemptyset(&onResize.sa_mask);
        sigaction(SIGWINCH, &onResize, &previousResizeAction);
    }
    // The alternate screen on a terminal, so that the shell's text comes back.
    const std::string_view start =
        outputIsTerminal ? "\x1b[?1049h\x1b[0m\x1b[?25l\x1b[2J" : "\x1b[0m\x1b[?25l\x1b[2J";
    writeAll(outputFd, start.data(), start.size());
}

void leaveTerminal(bool outputIsTerminal) {
    if (outputIsTerminal) {
        sigaction(SIGWINCH, &previousResizeAction, nullptr);
        resizeWakeFd.store(-1);
    }
    for (size_t i = 0; i < std::size(RestoreSignals); ++i)
        if (caughtSignals[i]) sigaction(RestoreSignals[i], &previousActions[i], nullptr);
    restoreTerminalForExit();
    terminalState.store(NotRunning);
}

// Frames go out only while the terminal is the program's: not after it was put
// back for the end.
void writeFrame(int fd, const std::string& out) {
    if (terminalState.load() == Running) writeAll(fd, out.data(), out.size());
}

// The size of the terminal behind `fd`; false when it cannot be told.
bool terminalSize(int fd, int& columns, int& rows) {
    winsize size{};
    if (ioctl(fd, TIOCGWINSZ, &size) != 0 || size.ws_col == 0 || size.ws_row == 0) return false;
    columns = size.ws_col;
    rows = size.ws_row;
    return true;
}

void appendColour(std::string& out, const char* layer, uint32_t rgb) {
    out += "\x1b[";
    out += layer;
    out += ";2;";
    out += std::to_string((rgb >> 16) & 0xFF);
    out += ';';
    out += std::to_string((rgb >> 8) & 0xFF);
    out += ';';
    out += std::to_string(rgb & 0xFF);
    out += 'm';
}

using CellGrid = std::array<Cell, TextScreen::Columns * TextScreen::Rows>;

// Writes the rows that differ from `shown` (all of them when `everything`).
void drawChangedRows(int outputFd, bool lineEnds, const CellGrid& cells, CellGrid& shown,
                     bool everything) {
    std::string out;
    for (int row = 0; row < TextScreen::Rows; ++row) {
        const auto first = cells.begin() + row * TextScreen::Columns;
        const auto last = first + TextScreen::Columns;
        auto shownFirst = shown.begin() + row * TextScreen::Columns;
        const bool same = std::equal(first, last, shownFirst, [](const Cell& a, const Cell& b) {
            return a.ch == b.ch && a.fg == b.fg && a.bg == b.bg;
        });
        if (same && !everything) continue;
        out += "\x1b[" + std::to_string(row + 1) + ";1H";
        uint32_t fg = ~0u, bg = ~0u;
        for (auto cell = first; cell != last; ++cell) {
            if (cell->fg != fg) appendColour(out, "38", fg = cell->fg);
            if (cell->bg != bg) appendColour(out, "48", bg = cell->bg);
            appendUtf8(out, cell->ch);
        }
        out += "\x1b[0m";
        if (lineEnds) out += '\n';
        std::copy(first, last, shownFirst);
    }
    writeFrame(outputFd, out);
}

// The number in the digits of a parameter. Any number of digits may come; the
// value stops growing at 99999, beyond every key number and modifier.
int parameterValue(std::string_view digits) {
    int value = 0;
    for (char c : digits)
        if (c >= '0' && c <= '9') value = std::min(value * 10 + (c - '0'), 99999);
    return value;
}

// The key of "ESC [ params final", or -1 for a sequence that names no key.
int csiKey(std::string_view params, char final) {
    const size_t semicolon = params.find(';');
    const int number = parameterValue(params.substr(0, semicolon));
    const int modifier =
        semicolon == std::string_view::npos ? 1 : parameterValue(params.substr(semicolon + 1));
    const int bits = modifier > 0 ? modifier - 1 : 0;
    const bool shift = bits & 1, alt = bits & 2, ctrl = bits & 4;
    int scan = -1;
    switch (final) {
    case 'A':
        scan = 0x48;
        break;
    case 'B':
        scan = 0x50;
        break;
    case 'C':
        scan = 0x4D;
        break;
    case 'D':
        scan = 0x4B;
        break;
    case 'H':
        scan = 0x47;
        break;
    case 'F':
        scan = 0x4F;
        break;
    case 'P':
    case 'Q':
    case 'R':
    case 'S':
        scan = 0x3B + (final - 'P');
        break;
    case 'Z':
        return ExtendedKeyBase + 0x0F; // Shift-Tab
    case '~':
        switch (number) {
        case 1:
        case 7:
            scan = 0x47;
            break;
        case 2:
            scan = 0x52;
            break;
        case 3:
            scan = 0x53;
            break;
        case 4:
        case 8:
            scan = 0x4F;
            break;
        case 5:
            scan = 0x49;
            break;
        case 6:
            scan = 0x51;
            break;
        case 11:
        case 12:
        case 13:
        case 14:
        case 15:
            scan = 0x3B + (number - 11);
            break;
        case 17:
        case 18:
        case 19:
        case 20:
        case 21:
            scan = 0x40 + (number - 17);
            break;
        case 23:
        case 24:
            scan = 0x85 + (number - 23);
            break;
        default:
            return -1;
        }
        break;
    default:
        return -1;
    }
    return pcExtendedKey(scan, shift, ctrl, alt);
}

int ss3Key(char final) {
    switch (final) {
    case 'P':
    case 'Q':
    case 'R':
    case 'S':
        return ExtendedKeyBase + 0x3B + (final - 'P');
    case 'A':
        return KeyUp;
    case 'B':
        return KeyDown;
    case 'C':
        return KeyRight;
    case 'D':
        return KeyLeft;
    case 'H':
        return KeyHome;
    case 'F':
        return KeyEnd;
    case 'M':
        return KeyEnter;
    default:
        return -1;
    }
}

} // namespace

void decodeTerminalKeys(TerminalKeyDecoder& decoder, bool complete, std::vector<int>& keys) {
    const std::string& bytes = decoder.pending;
    const size_t size = bytes.size();
    size_t pos = 0;
    auto add = [&](int key) {
        if (key >= 0) keys.push_back(key);
    };
    while (pos < size) {
        const auto byte = static_cast<uint8_t>(bytes[pos]);
        const bool afterCr = decoder.afterCarriageReturn;
        decoder.afterCarriageReturn = byte == '\r';
        if (byte == 0x1B) {
            if (pos + 1 >= size) {
                if (!complete) break;
                add(KeyEscape);
                ++pos;
                continue;
            }
            const char next = bytes[pos + 1];
            if (next == '[') {
                size_t end = pos + 2;
                if (end < size && bytes[end] == '[') { // ESC [ [ A..E: F1..F5
                    if (end + 1 >= size && !complete) break;
                    if (end + 1 < size && bytes[end + 1] >= 'A' && bytes[end + 1] <= 'E')
                        add(ExtendedKeyBase + 0x3B + (bytes[end + 1] - 'A'));
                    pos = std::min(end + 2, size);
                    continue;
                }
                // Parameter bytes 30h..3Fh, intermediate bytes 20h..2Fh, one final
                // byte 40h..7Eh; sequences that name no key are skipped whole.
                while (end < size && bytes[end] >= 0x20 && bytes[end] <= 0x3F) ++end;
                if (end >= size) {
                    if (!complete) break;
                    add(KeyEscape); // an unfinished sequence: the ESC alone counts
                    pos = size;
                    continue;
                }
                if (bytes[end] < 0x40 || bytes[end] > 0x7E) { // broken off: ESC alone
                    add(KeyEscape);
                    pos = end;
                    continue;
                }
                add(csiKey(std::string_view(bytes).substr(pos + 2, end - pos - 2), bytes[end]));
                pos = end + 1;
                continue;
            }
            if (next == 'O') {
                if (pos + 2 >= size) {
                    if (!complete) break;
                    add(KeyEscape);
                    pos += 1;
                    continue;
                }
                add(ss3Key(bytes[pos + 2]));
                pos += 3;
                continue;
            }
            add(KeyEscape); // ESC and another key: Escape, then that key
            ++pos;
            continue;
        }
        if (byte == '\r') {
            add(KeyEnter);
        } else if (byte == '\n') {
            if (!afterCr) add(KeyEnter);
        } else if (byte == 0x7F) {
            add(8);
        } else if (byte < 0x80) {
            add(byte);
        } else {
            const Utf8Char decoded = decodeUtf8(bytes.data() + pos, size - pos);
            if (decoded.length < 0 && !complete) break;
            if (decoded.length > 0) {
                add(characterKeyFor(decoded.codePoint));
                pos += static_cast<size_t>(decoded.length);
                continue;
            }
            add(byte); // not UTF-8: taken as a code page 437 byte
        }
        ++pos;
    }
    decoder.pending.erase(0, pos);
}

void restoreTerminalForExit() {
    int running = Running;
    if (terminalState.compare_exchange_strong(running, Restored)) putTerminalBack();
}

int runTerminalWindow(TextScreen& screen, int inputFd, int outputFd,
                      const std::function<void(TextScreen&)>& logic) {
    const bool outputIsTerminal = isatty(outputFd) == 1;
    const auto [wakeRead, wakeWrite] = openWakePipe();
    enterTerminal(inputFd, outputFd, outputIsTerminal, wakeWrite);
    const bool scripted = !savedTerminal.inputIsTerminal;
    std::atomic<bool> wakePending{false};
    if (wakeWrite >= 0)
        screen.wakeEventLoop = [&wakePending, fd = wakeWrite] {
            if (!wakePending.exchange(true) && ::write(fd, "w", 1) < 0) wakePending = false;
        };

    std::exception_ptr failure;
    std::thread logicThread = startLogicThread(screen, logic, failure);

    CellGrid shown{};
    bool everything = true;
    // A terminal smaller than the grid shows one line instead of a cut-off screen.
    bool fits = true, noticeShown = false;
    resized = outputIsTerminal;
    TerminalKeyDecoder decoder;
    std::vector<int> keys;
    std::deque<int> scriptKeys;
    bool inputOpen = true, inputClosed = false;
    Clock::time_point lastInput = Clock::now();
    uint64_t drawnFrame = ~uint64_t{0}, seenFrame = ~uint64_t{0};
    Clock::time_point lastChange = Clock::now(), firstUndrawn = Clock::now();

    for (;;) {
        const bool ending = screen.endRequested.load(std::memory_order_acquire);
        Clock::time_point now = Clock::now();
        if (resized.exchange(false)) {
            int columns = 0, rows = 0;
            fits = !terminalSize(outputFd, columns, rows) ||
                   (columns >= TextScreen::Columns && rows >= TextScreen::Rows);
            std::string out = "\x1b[0m\x1b[2J";
            if (!fits)
                out.append("\x1b[1;1H")
                    .append(TooSmallNotice, std::min<size_t>(columns, sizeof TooSmallNotice - 1));
            writeFrame(outputFd, out);
            noticeShown = !fits;
            everything = true;
            drawnFrame = ~uint64_t{0};
        }

        const uint64_t frame = screen.frameCounter.load(std::memory_order_acquire);
        if (frame != seenFrame) {
            if (seenFrame == drawnFrame) firstUndrawn = now;
            seenFrame = frame;
            lastChange = now;
        }
        if (frame != drawnFrame &&
            (ending || now - lastChange >= SettleTime || now - firstUndrawn >= MaxDrawDelay)) {
            if (fits) {
                CellGrid cells;
                {
                    std::lock_guard<std::mutex> hold(screen.frameLock);
                    cells = screen.cells;
                }
                drawChangedRows(outputFd, !outputIsTerminal, cells, shown, everything);
                everything = false;
            }
            drawnFrame = frame;
        }
        if (ending) break;

        if (!scriptKeys.empty() && drawnFrame == frame && now - lastChange >= ScriptKeyPause &&
            pendingKeys(screen.keys) == 0) {
            pushKey(screen.keys, scriptKeys.front());
            scriptKeys.pop_front();
        }
        if (!inputOpen && !inputClosed && scriptKeys.empty() && decoder.pending.empty()) {
            closeInput(screen.keys);
            inputClosed = true;
        }

        // Sleep until a key, a wake-up from the logic or a resize; a timeout only
        // while a frame settles, an escape sequence may go on or a scripted key
        // waits for its turn.
        Clock::duration wait = Clock::duration::max();
        if (frame != drawnFrame)
            wait = std::min(SettleTime - (now - lastChange), MaxDrawDelay - (now - firstUndrawn));
        if (inputOpen && !decoder.pending.empty())
            wait = std::min(wait, EscapeWait - (now - lastInput));
        if (!scriptKeys.empty())
            wait = std::min(wait, drawnFrame == frame && pendingKeys(screen.keys) == 0
                                      ? Clock::duration(ScriptKeyPause - (now - lastChange))
                                      : Clock::duration(ScriptStep));
        if (wakeRead < 0) wait = std::min<Clock::duration>(wait, NoWakeStep);
        const int timeout =
            wait == Clock::duration::max()
                ? -1
                : static_cast<int>(std::chrono::ceil<milliseconds>(std::max(wait, {})).count());
        const bool reading = inputOpen && scriptKeys.size() < MaxKeysAhead &&
                             decoder.pending.size() < MaxPendingBytes;
        pollfd watched[2] = {{wakeRead, POLLIN, 0}, {reading ? inputFd : -1, POLLIN, 0}};
        const int ready = ::poll(watched, 2, timeout);
        now = Clock::now();
        if (ready < 0 && errno != EINTR && errno != EAGAIN) inputOpen = false;
        if (ready > 0 && (watched[0].revents & POLLIN)) {
            wakePending = false; // before the next look at the frame count
            drainWakePipe(wakeRead);
        }
        // The end of the input: end of file, a hang-up, an error or a descriptor
        // that is not open. Never looked at again.
        const short inputEvents = ready > 0 ? watched[1].revents : 0;
        if (inputEvents & (POLLNVAL | POLLERR)) {
            inputOpen = false;
        } else if (inputEvents & POLLIN) {
            char buffer[256];
            const ssize_t got = ::read(inputFd, buffer, sizeof buffer);
            if (got > 0) {
                decoder.pending.append(buffer, static_cast<size_t>(got));
                lastInput = now;
            } else if (got == 0 || (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)) {
                inputOpen = false;
            }
        } else if (inputEvents & POLLHUP) {
            inputOpen = false;
        }
        if (!decoder.pending.empty()) {
            keys.clear();
            decodeTerminalKeys(decoder,
                               !inputOpen || now - lastInput >= EscapeWait ||
                                   decoder.pending.size() >= MaxPendingBytes,
                               keys);
            for (int key : keys) {
                if (scripted)
                    scriptKeys.push_back(key);
                else
                    pushKey(screen.keys, key);
            }
        }
    }

    logicThread.join();
    screen.wakeEventLoop = nullptr;
    if (fits) drawChangedRows(outputFd, !outputIsTerminal, screen.cells, shown, false);
    leaveTerminal(outputIsTerminal);
    for (int fd : {wakeRead, wakeWrite})
        if (fd >= 0) ::close(fd);
    if (failure) std::rethrow_exception(failure);
    return screen.exitCode.load();
}
