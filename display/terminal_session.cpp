// The terminal session: the settings and signals while the program has the
// terminal, the colours the terminal can show, and the rows written to it.
//
// Every row of the whole grid is written as: cursor position, colours, its 80
// characters in UTF-8, colour reset (and a line end when the output is no
// terminal), so the output with its escape sequences stripped holds the row
// texts in order. Lines in place are written from the cursor down, each one
// cut after its last character and ended, so they stay in the scrollback.
#include "display/terminal_session.h"

#include "display/font_cp437.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

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
// The loop's wake-up descriptor, for the resize handler.
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
    wakeLoopFromSignal(resizeWakeFd.load());
    errno = savedErrno;
}

// The settings for single keys: byte by byte, no echo, CR kept as CR; Ctrl-C
// still interrupts. Saves the settings to put back; false for no terminal.
bool keySettings(int inputFd, termios& saved, termios& raw) {
    if (isatty(inputFd) != 1 || tcgetattr(inputFd, &saved) != 0) return false;
    raw = saved;
    raw.c_lflag &= ~(ICANON | ECHO);
    raw.c_iflag &= ~(ICRNL | INLCR | IXON);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    return true;
}

bool onAlternateScreen(const TerminalSession& session) {
    return session.outputIsTerminal && session.use == ScreenUse::Whole;
}

void catchSignals(const TerminalSession& session, int wakeFd) {
    struct sigaction action {};
    action.sa_handler = restoreAndReraise;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < std::size(RestoreSignals); ++i) {
        caughtSignals[i] = sigaction(RestoreSignals[i], nullptr, &previousActions[i]) == 0 &&
                           !(previousActions[i].sa_flags & SA_SIGINFO) &&
                           previousActions[i].sa_handler == SIG_DFL;
        if (caughtSignals[i]) sigaction(RestoreSignals[i], &action, nullptr);
    }
    // The whole grid on a terminal looks at the size first, then at every resize.
    resized.store(onAlternateScreen(session));
    if (onAlternateScreen(session)) {
        resizeWakeFd.store(wakeFd);
        struct sigaction onResize {};
        onResize.sa_handler = noteResize;
        onResize.sa_flags = SA_RESTART;
        sigemptyset(&onResize.sa_mask);
        sigaction(SIGWINCH, &onResize, &previousResizeAction);
    }
}

} // namespace

void restoreTerminalForExit() {
    int running = Running;
    if (terminalState.compare_exchange_strong(running, Restored)) putTerminalBack();
}

void enterTerminal(const TerminalSession& session, int wakeFd) {
    SavedTerminal saved{session.inputFd, session.outputFd, false, {}, {}, 0};
    const std::string_view tail =
        onAlternateScreen(session) ? "\x1b[0m\x1b[?25h\x1b[?1049l" : "\x1b[0m\x1b[?25h";
    std::copy(tail.begin(), tail.end(), saved.tail);
    saved.tailSize = tail.size();
    termios raw{};
    saved.inputIsTerminal = keySettings(session.inputFd, saved.settings, raw);
    savedTerminal = saved;
    terminalState.store(Running);
    if (saved.inputIsTerminal) tcsetattr(session.inputFd, TCSAFLUSH, &raw);
    catchSignals(session, wakeFd);
    // The alternate screen on a terminal, so that the shell's text comes back;
    // lines in place go below the shell's text and stay.
    std::string_view start = "\x1b[0m\x1b[?25l\x1b[2J";
    if (onAlternateScreen(session)) start = "\x1b[?1049h\x1b[0m\x1b[?25l\x1b[2J";
    if (session.use == ScreenUse::LinesInPlace) start = "\x1b[0m\x1b[?25l";
    writeAll(session.outputFd, start.data(), start.size());
}

void leaveTerminal(const TerminalSession& session) {
    if (onAlternateScreen(session)) {
        sigaction(SIGWINCH, &previousResizeAction, nullptr);
        resizeWakeFd.store(-1);
    }
    for (size_t i = 0; i < std::size(RestoreSignals); ++i)
        if (caughtSignals[i]) sigaction(RestoreSignals[i], &previousActions[i], nullptr);
    restoreTerminalForExit();
    terminalState.store(NotRunning);
}

bool takeResize() {
    return resized.exchange(false);
}

void writeFrame(const TerminalSession& session, const std::string& out) {
    if (terminalState.load() == Running) writeAll(session.outputFd, out.data(), out.size());
}

bool terminalSize(int fd, int& columns, int& rows) {
    winsize size{};
    if (ioctl(fd, TIOCGWINSZ, &size) != 0 || size.ws_col == 0 || size.ws_row == 0) return false;
    columns = size.ws_col;
    rows = size.ws_row;
    return true;
}

// Colours ----------------------------------------------------------------------

TerminalColours chooseTerminalColours(const char* term, const char* colorTerm,
                                      const char* noColor) {
    const std::string_view name = term ? term : "";
    if (name.empty() || name == "dumb") return TerminalColours::NoCursor;
    if (noColor && *noColor) return TerminalColours::None;
    const std::string_view depth = colorTerm ? colorTerm : "";
    if (depth == "truecolor" || depth == "24bit") return TerminalColours::TrueColour;
    constexpr std::string_view Wide = "-256color";
    if (name.size() > Wide.size() && name.substr(name.size() - Wide.size()) == Wide)
        return TerminalColours::Palette256;
    return TerminalColours::Basic16;
}

namespace {

int channel(uint32_t rgb, int shift) {
    return static_cast<int>((rgb >> shift) & 0xFF);
}

int distance(uint32_t a, uint32_t b) {
    int sum = 0;
    for (int shift : {16, 8, 0})
        sum += (channel(a, shift) - channel(b, shift)) * (channel(a, shift) - channel(b, shift));
    return sum;
}

// The nearest of the 6x6x6 cube (16-231) and the grey ramp (232-255).
int palette256(uint32_t rgb) {
    constexpr int Levels[] = {0, 95, 135, 175, 215, 255};
    int index = 16;
    uint32_t cube = 0;
    for (int shift : {16, 8, 0}) {
        const int value = channel(rgb, shift);
        int best = 0;
        for (int i = 1; i < 6; ++i)
            if (std::abs(Levels[i] - value) < std::abs(Levels[best] - value)) best = i;
        index += best * (shift == 16 ? 36 : shift == 8 ? 6 : 1);
        cube |= static_cast<uint32_t>(Levels[best]) << shift;
    }
    const int average = (channel(rgb, 16) + channel(rgb, 8) + channel(rgb, 0)) / 3;
    const int step = std::clamp((average - 8 + 5) / 10, 0, 23);
    const uint32_t grey = static_cast<uint32_t>(8 + 10 * step) * 0x010101u;
    return distance(rgb, grey) < distance(rgb, cube) ? 232 + step : index;
}

// The 16 colours, chosen so that the page, the highlighted line, grey and
// black text stay apart even where only eight backgrounds exist (the Linux
// console): the page light grey, the highlight and the title rows magenta,
// grey text dark grey.
struct Basic {
    uint32_t rgb;
    int fg, bg;
};
constexpr Basic BasicColours[] = {{Black, 30, 40},     {PaleRose, 97, 47}, {Magenta, 35, 45},
                                  {White, 97, 47},     {Plum, 95, 45},     {Grey, 90, 47},
                                  {DarkPurple, 35, 45}};

const Basic& basic16(uint32_t rgb) {
    const Basic* best = &BasicColours[0];
    for (const Basic& colour : BasicColours)
        if (distance(colour.rgb, rgb) < distance(best->rgb, rgb)) best = &colour;
    return *best;
}

void appendRgb(std::string& out, uint32_t rgb) {
    for (int shift : {16, 8, 0}) out += ';' + std::to_string(channel(rgb, shift));
}

// Without colour: the highlight reversed, the title rows bold, grey text faint.
std::string monochrome(uint32_t fg, uint32_t bg) {
    std::string out = "\x1b[0";
    if (bg == Plum) out += ";7";
    if (bg == Magenta) out += ";1";
    if (fg == Grey) out += ";2";
    return out + 'm';
}

} // namespace

std::string terminalStyle(TerminalColours colours, uint32_t fg, uint32_t bg, bool blackIsDefault) {
    if (colours == TerminalColours::None || colours == TerminalColours::NoCursor)
        return monochrome(fg, bg);
    std::string out = "\x1b[0;";
    const bool defaultBg = blackIsDefault && bg == Black;
    switch (colours) {
    case TerminalColours::TrueColour:
        out += "38;2";
        appendRgb(out, fg);
        if (!defaultBg) {
            out += ";48;2";
            appendRgb(out, bg);
        }
        break;
    case TerminalColours::Palette256:
        out += "38;5;" + std::to_string(palette256(fg));
        if (!defaultBg) out += ";48;5;" + std::to_string(palette256(bg));
        break;
    default:
        out += std::to_string(basic16(fg).fg);
        if (!defaultBg) out += ';' + std::to_string(basic16(bg).bg);
        break;
    }
    return out + 'm';
}

// Rows -------------------------------------------------------------------------

namespace {

bool sameCell(const Cell& a, const Cell& b) {
    return a.ch == b.ch && a.fg == b.fg && a.bg == b.bg;
}

// The cells `first` to `first + count` in their colours.
void appendCells(std::string& out, const TerminalSession& session, const Cell* first, int count) {
    const bool lines = session.use == ScreenUse::LinesInPlace;
    uint32_t fg = ~0u, bg = ~0u;
    for (const Cell* cell = first; cell != first + count; ++cell) {
        if (cell->fg != fg || cell->bg != bg)
            out += terminalStyle(session.colours, fg = cell->fg, bg = cell->bg, lines);
        appendUtf8(out, cell->ch);
    }
    out += "\x1b[0m";
}

// The number of cells of a row up to its last one that shows something on
// the terminal's own background.
int usedWidth(const Cell* row) {
    int width = TextScreen::Columns;
    while (width > 0 && row[width - 1].ch == ' ' && row[width - 1].bg == Black) --width;
    return width;
}

void drawWholeGrid(const TerminalSession& session, const CellGrid& cells, ShownRows& shown) {
    std::string out;
    for (int row = 0; row < TextScreen::Rows; ++row) {
        const Cell* first = cells.data() + row * TextScreen::Columns;
        Cell* shownFirst = shown.cells.data() + row * TextScreen::Columns;
        if (!shown.everything &&
            std::equal(first, first + TextScreen::Columns, shownFirst, sameCell))
            continue;
        out += "\x1b[" + std::to_string(row + 1) + ";1H";
        appendCells(out, session, first, TextScreen::Columns);
        if (!session.outputIsTerminal) out += '\n';
        std::copy(first, first + TextScreen::Columns, shownFirst);
    }
    shown.everything = false;
    writeFrame(session, out);
}

// The lines of the grid as a command word shows them in a terminal: the rows
// with text, each run of empty rows (the batch screen's gaps) as one empty line.
std::vector<std::string> linesOf(const TerminalSession& session, const CellGrid& cells) {
    std::vector<std::string> lines;
    bool afterEmpty = false;
    for (int row = 0; row < TextScreen::Rows; ++row) {
        const Cell* first = cells.data() + row * TextScreen::Columns;
        const int width = usedWidth(first);
        if (width == 0 && afterEmpty) continue;
        afterEmpty = width == 0;
        lines.emplace_back();
        appendCells(lines.back(), session, first, width);
    }
    while (!lines.empty() && afterEmpty && lines.back() == "\x1b[0m") lines.pop_back();
    return lines;
}

void drawLinesInPlace(const TerminalSession& session, const CellGrid& cells, ShownRows& shown) {
    std::vector<std::string> lines = linesOf(session, cells);
    const size_t written = shown.lines.size();
    lines.resize(std::max(lines.size(), written)); // lines that emptied are cleared
    size_t first = 0;
    while (first < written && lines[first] == shown.lines[first]) ++first;
    if (first == lines.size()) return;
    std::string out = "\r";
    if (written > first) out += "\x1b[" + std::to_string(written - first) + "A";
    for (size_t line = first; line < lines.size(); ++line) out += lines[line] + "\x1b[K\r\n";
    shown.lines = std::move(lines);
    writeFrame(session, out);
}

} // namespace

void drawRows(const TerminalSession& session, const CellGrid& cells, ShownRows& shown) {
    if (session.use == ScreenUse::LinesInPlace)
        drawLinesInPlace(session, cells, shown);
    else
        drawWholeGrid(session, cells, shown);
}
