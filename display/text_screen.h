// The installer's one user interface: an 80x28 grid of 8x16 cells drawn into a
// 640x448 framebuffer of 32-bit pixels, with a key queue filled by the window's
// event side. All drawing happens on the logic thread, under the frame lock;
// the event side only pushes keys and copies the pixels (or the cells, on a
// terminal) under the same lock to show them.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

// The palette, RRGGBBh.
constexpr uint32_t Black = 0x000000;
constexpr uint32_t PaleRose = 0xFFD0FF;
constexpr uint32_t Magenta = 0xD827BC;
constexpr uint32_t White = 0xFFFFFF;
constexpr uint32_t Plum = 0xDDA0DD;
constexpr uint32_t Grey = 0x888888;
constexpr uint32_t DarkPurple = 0x770077;

// Key codes in the queue: below 256 a code page 437 character, 256 + scan code
// for an extended key. readKey turns the latter into the two bytes 255, scan.
constexpr int ExtendedKeyBase = 256;
constexpr int KeyUp = ExtendedKeyBase + 72;
constexpr int KeyDown = ExtendedKeyBase + 80;
constexpr int KeyLeft = ExtendedKeyBase + 75;
constexpr int KeyRight = ExtendedKeyBase + 77;
constexpr int KeyInsert = ExtendedKeyBase + 82;
constexpr int KeyDelete = ExtendedKeyBase + 83;
constexpr int KeyHome = ExtendedKeyBase + 71;
constexpr int KeyEnd = ExtendedKeyBase + 79;
constexpr int KeyPageUp = ExtendedKeyBase + 73;
constexpr int KeyPageDown = ExtendedKeyBase + 81;
constexpr int KeyF1 = ExtendedKeyBase + 59; // F1..F10 are KeyF1 + 0..9
constexpr int KeyClose = ExtendedKeyBase + 107;
constexpr int KeyEnter = 13;
constexpr int KeyEscape = 27;

// A ring of 16 slots: at most 15 keys pending, the oldest dropped on overflow.
// One lock guards the ring and the key-event flag.
struct KeyQueue {
    std::mutex lock;
    std::array<int, 16> slots{};
    int head = 0; // next slot to read
    int tail = 0; // next slot to write
    bool keyEvent = false;
    // Set by a backend whose input has ended (a terminal at end of file, a
    // finished key script): an empty queue then reads as Escape, so every wait
    // ends and a script with too few keys always finishes.
    bool inputClosed = false;
    // Keys typed ahead by a script (queueScript): readKey takes the next one
    // whenever the ring is empty, so a long script never overflows the ring.
    std::deque<int> script;
    // Signalled with every key and at the end of the input, so that an idle
    // awaitKey can wait without polling.
    std::condition_variable arrived;
};

struct Cell {
    uint8_t ch = ' ';
    uint32_t fg = Black;
    uint32_t bg = Black;
};

enum class ColorTarget { Both, ForegroundOnly };
enum class CursorVisibility { Hide, Show, Unchanged };

struct TextScreen {
    static constexpr int Width = 640;
    static constexpr int Height = 448;
    static constexpr int Columns = 80;
    static constexpr int Rows = 28;
    static constexpr int CellWidth = 8;
    static constexpr int CellHeight = 16;

    // A screen that only its cells show (a command word's lines in a terminal
    // or as plain text) keeps no framebuffer: every drawing function then
    // leaves `pixels` empty and readPixel reads -1.
    explicit TextScreen(bool framebuffer = true)
        : pixels(framebuffer ? Width * Height : 0, 0xFF000000) {}
    TextScreen(const TextScreen&) = delete;
    TextScreen& operator=(const TextScreen&) = delete;

    std::vector<uint32_t> pixels;             // 0xAARRGGBB, row by row; empty without a framebuffer
    std::array<Cell, Columns * Rows> cells{}; // row-major, (1,1) first
    int row = 1;
    int column = 1;
    uint32_t foreground = PaleRose;
    uint32_t background = Black;
    bool pendingWrap = false;
    bool cursorVisible = false;

    KeyQueue keys;

    // Held by the logic thread while it changes pixels or cells (every drawing
    // function takes it; code that writes `pixels` directly must hold it too),
    // and by the event side while it copies them.
    std::mutex frameLock;
    // Bumped by every drawing operation, before it lets go of the frame lock, so
    // the event side knows to present; read under the lock, it belongs to the
    // pixels and cells copied with it. A frame copied between two drawing
    // operations is torn for one present at most: the later operation's own
    // bump brings the finished one.
    std::atomic<uint64_t> frameCounter{0};
    // The frameCounter value at which the logic went to wait for a key: that
    // screen is finished and may be shown at once. Set to NoCompleteFrame
    // before readKey hands a key out, so it never names a screen the logic has
    // moved on from.
    static constexpr uint64_t NoCompleteFrame = ~uint64_t{0};
    std::atomic<uint64_t> completeFrame{NoCompleteFrame};
    // Set by a window backend before the logic starts, cleared after it ended:
    // wakes the event loop (from the logic thread) after a drawing operation,
    // before an idle wait for a key when something was drawn unannounced, and
    // when the logic ends. The event loop needs no timer to notice a frame.
    std::function<void()> wakeEventLoop;
    uint64_t announcedFrame = 0; // the frameCounter value the event loop was last woken for
    // The frameCounter value that the window put on screen last, set once the
    // present has returned (SDL window only). Lets a benchmark time a key to the
    // frame that shows its effect.
    std::atomic<uint64_t> presentedFrame{0};
    // Set by endProgram; the event loop closes the window and returns exitCode.
    std::atomic<bool> endRequested{false};
    std::atomic<int> exitCode{0};
};

void openWindow(TextScreen& screen, int width, int height, int bitsPerPixel);
void setTextGrid(TextScreen& screen, int columns, int rows);
void setColor(TextScreen& screen, uint32_t foreground, uint32_t background,
              ColorTarget which = ColorTarget::Both);
void clearScreen(TextScreen& screen);
void moveCursor(TextScreen& screen, int row, int column,
                CursorVisibility visibility = CursorVisibility::Unchanged);
void printText(TextScreen& screen, std::string_view bytes, bool newline);
void printNumber(TextScreen& screen, int32_t value, bool newline);
void printNewline(TextScreen& screen);
// Never blocks: one byte or 255 + scan code for the oldest key; "\x1B" (Escape)
// when the input has ended and nothing is left; "" when no key is pending.
// Clears the key-event flag in every case.
std::string readKey(TextScreen& screen);
// readKey repeated until it returns a key, the way every screen waits for one;
// while nothing is pending the thread sleeps until a key or the end of the
// input arrives.
std::string awaitKey(TextScreen& screen);
// Waits until a key arrived since the last readKey/waitKey and clears the flag;
// the key stays queued. Returns at once when the input has ended.
void waitKey(TextScreen& screen);
// The pixel as stored (0xAARRGGBB), or -1 outside the window.
int64_t readPixel(const TextScreen& screen, int x, int y);
void writePixel(TextScreen& screen, int x, int y, uint32_t colour);
// Asks the window to close; the program then ends with this code. The caller
// returns to the top of the logic thread after calling it.
void endProgram(TextScreen& screen, int code);

// Event side: append a key code (see above) and set the key-event flag.
void pushKey(KeyQueue& queue, int code);
// Event side: no more keys will come.
void closeInput(KeyQueue& queue);
// Number of keys waiting in the ring and the script.
int pendingKeys(KeyQueue& queue);

// The cell at (row, column), both 1-based.
inline const Cell& cellAt(const TextScreen& screen, int row, int column) {
    return screen.cells[(row - 1) * TextScreen::Columns + (column - 1)];
}
// The 80 characters of a row as a byte string (tests and the terminal read this).
std::string rowText(const TextScreen& screen, int row);
