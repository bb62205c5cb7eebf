// The text screen: cursor, colours and the PendingWrap rule on an 80x28 grid of
// 8x16 cells, drawn both into the framebuffer and into the cell grid; and the
// key queue that the window's event side fills.
#include "display/text_screen.h"

#include "display/font_cp437.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint32_t Opaque = 0xFF000000;
constexpr int RowPixels = TextScreen::Width * TextScreen::CellHeight;

void wakeEventLoop(TextScreen& screen) {
    screen.announcedFrame = screen.frameCounter.load(std::memory_order_acquire);
    if (screen.wakeEventLoop) screen.wakeEventLoop();
}

// Before the logic sleeps for a key: the screen is finished, and a frame drawn
// without a wake-up (pixels written directly) must not stay unseen for the
// whole wait.
void announceFrame(TextScreen& screen) {
    const uint64_t frame = screen.frameCounter.load(std::memory_order_acquire);
    if (screen.completeFrame.load() == frame && screen.announcedFrame == frame) return;
    screen.completeFrame.store(frame);
    wakeEventLoop(screen);
}

// One drawing step: holds the frame lock, bumps the frame count before it
// lets go, and then wakes the event side.
class FrameHold {
  public:
    explicit FrameHold(TextScreen& screen) : screen_(screen), hold_(screen.frameLock) {}
    ~FrameHold() {
        screen_.frameCounter.fetch_add(1, std::memory_order_release);
        hold_.unlock();
        wakeEventLoop(screen_);
    }
    FrameHold(const FrameHold&) = delete;
    FrameHold& operator=(const FrameHold&) = delete;

  private:
    TextScreen& screen_;
    std::unique_lock<std::mutex> hold_;
};

Cell blankCell(const TextScreen& screen) {
    return Cell{' ', screen.foreground, screen.background};
}

void paintCell(TextScreen& screen, uint8_t ch) {
    screen.cells[(screen.row - 1) * TextScreen::Columns + (screen.column - 1)] =
        Cell{ch, screen.foreground, screen.background};
    if (screen.pixels.empty()) return;
    const uint32_t ink = Opaque | screen.foreground;
    const uint32_t paper = Opaque | screen.background;
    uint32_t* line = screen.pixels.data() + (screen.row - 1) * RowPixels +
                     (screen.column - 1) * TextScreen::CellWidth;
    for (uint8_t bits : FontCp437[ch]) {
        for (int x = 0; x < TextScreen::CellWidth; ++x)
            line[x] = (bits & (0x80 >> x)) ? ink : paper;
        line += TextScreen::Width;
    }
}

// Rows 1+count..28 move up by count rows; the rows freed at the bottom take the
// current background colour.
void scrollUp(TextScreen& screen, int count) {
    count = std::min(count, TextScreen::Rows);
    const int kept = TextScreen::Rows - count;
    if (uint32_t* pixels = screen.pixels.data(); !screen.pixels.empty()) {
        std::memmove(pixels, pixels + count * RowPixels, sizeof(uint32_t) * kept * RowPixels);
        std::fill(pixels + kept * RowPixels, pixels + TextScreen::Rows * RowPixels,
                  Opaque | screen.background);
    }
    auto& cells = screen.cells;
    std::copy(cells.begin() + count * TextScreen::Columns, cells.end(), cells.begin());
    std::fill(cells.begin() + kept * TextScreen::Columns, cells.end(), blankCell(screen));
}

// Step 1 of every output: a wrap left pending at the end of row 28 happens now.
void resolvePendingWrap(TextScreen& screen) {
    if (!screen.pendingWrap) return;
    screen.pendingWrap = false;
    screen.column = 1;
    if (++screen.row > TextScreen::Rows) {
        scrollUp(screen, screen.row - TextScreen::Rows);
        screen.row = TextScreen::Rows;
    }
}

// Step 3: the cursor has gone below row 28. Exactly one row below, in column 1,
// it waits at (28, 80) with PendingWrap set; otherwise the screen scrolls.
void settleBelowBottom(TextScreen& screen) {
    if (screen.row <= TextScreen::Rows) return;
    if (screen.row == TextScreen::Rows + 1 && screen.column == 1) {
        screen.row = TextScreen::Rows;
        screen.column = TextScreen::Columns;
        screen.pendingWrap = true;
        return;
    }
    scrollUp(screen, screen.row - TextScreen::Rows);
    screen.row = TextScreen::Rows;
}

void newlineStep(TextScreen& screen) {
    resolvePendingWrap(screen);
    screen.column = 1;
    ++screen.row;
    settleBelowBottom(screen);
}

} // namespace

void openWindow(TextScreen& screen, int, int, int) {
    // The window is always 640x448 in 32-bit colour; it opens black.
    {
        FrameHold hold(screen);
        std::fill(screen.pixels.begin(), screen.pixels.end(), Opaque | Black);
        screen.cells.fill(Cell{' ', screen.foreground, Black});
    }
    screen.row = 1;
    screen.column = 1;
    screen.pendingWrap = false;
}

void setTextGrid(TextScreen& screen, int, int) {
    // Always 80x28 cells of 8x16 pixels.
    clearScreen(screen);
}

void setColor(TextScreen& screen, uint32_t foreground, uint32_t background, ColorTarget which) {
    screen.foreground = foreground & 0xFFFFFF;
    if (which == ColorTarget::Both) screen.background = background & 0xFFFFFF;
}

void clearScreen(TextScreen& screen) {
    {
        FrameHold hold(screen);
        std::fill(screen.pixels.begin(), screen.pixels.end(), Opaque | screen.background);
        screen.cells.fill(blankCell(screen));
    }
    screen.row = 1;
    screen.column = 1;
    screen.pendingWrap = false;
}

void moveCursor(TextScreen& screen, int row, int column, CursorVisibility visibility) {
    if (visibility != CursorVisibility::Unchanged)
        screen.cursorVisible = visibility == CursorVisibility::Show;
    const int newRow = row == 0 ? screen.row : row;
    const int newColumn = column == 0 ? screen.column : column;
    // A place outside the grid leaves the cursor, and a pending wrap, as they are.
    if (newRow < 1 || newRow > TextScreen::Rows || newColumn < 1 || newColumn > TextScreen::Columns)
        return;
    screen.row = newRow;
    screen.column = newColumn;
    screen.pendingWrap = false;
}

void printText(TextScreen& screen, std::string_view bytes, bool newline) {
    {
        FrameHold hold(screen);
        for (char byte : bytes) {
            resolvePendingWrap(screen);
            paintCell(screen, static_cast<uint8_t>(byte));
            if (++screen.column > TextScreen::Columns) {
                screen.column = 1;
                ++screen.row;
                settleBelowBottom(screen);
            }
        }
        if (newline) newlineStep(screen);
    }
}

void printNumber(TextScreen& screen, int32_t value, bool newline) {
    const int64_t wide = value;
    std::string text = wide < 0 ? "-" : " ";
    text += std::to_string(wide < 0 ? -wide : wide);
    printText(screen, text, newline);
}

void printNewline(TextScreen& screen) {
    {
        FrameHold hold(screen);
        newlineStep(screen);
    }
}

std::string readKey(TextScreen& screen) {
    KeyQueue& keys = screen.keys;
    int code = -1;
    bool closed = false;
    {
        std::lock_guard<std::mutex> hold(keys.lock);
        if (keys.head != keys.tail || !keys.script.empty())
            screen.completeFrame.store(TextScreen::NoCompleteFrame);
        if (keys.head != keys.tail) {
            code = keys.slots[keys.head];
            keys.head = (keys.head + 1) % static_cast<int>(keys.slots.size());
        } else if (!keys.script.empty()) {
            code = keys.script.front();
            keys.script.pop_front();
        }
        closed = keys.inputClosed;
        keys.keyEvent = false;
    }
    if (code < 0) return closed ? std::string(1, char(KeyEscape)) : std::string();
    if (code >= ExtendedKeyBase) return {char(0xFF), char(code - ExtendedKeyBase)};
    return std::string(1, char(code));
}

std::string awaitKey(TextScreen& screen) {
    KeyQueue& keys = screen.keys;
    for (;;) {
        std::string key = readKey(screen);
        if (!key.empty()) return key;
        // Nothing pending: give up the processor until a key comes.
        announceFrame(screen);
        std::unique_lock<std::mutex> hold(keys.lock);
        keys.arrived.wait(hold, [&] {
            return keys.head != keys.tail || !keys.script.empty() || keys.inputClosed;
        });
    }
}

void waitKey(TextScreen& screen) {
    KeyQueue& keys = screen.keys;
    announceFrame(screen);
    std::unique_lock<std::mutex> hold(keys.lock);
    // A scripted key stands ready the moment the ring runs empty.
    keys.arrived.wait(hold, [&] {
        return keys.keyEvent || keys.inputClosed ||
               (keys.head == keys.tail && !keys.script.empty());
    });
    keys.keyEvent = false;
}

int64_t readPixel(const TextScreen& screen, int x, int y) {
    if (x < 0 || x >= TextScreen::Width || y < 0 || y >= TextScreen::Height) return -1;
    if (screen.pixels.empty()) return -1;
    return screen.pixels[y * TextScreen::Width + x];
}

void writePixel(TextScreen& screen, int x, int y, uint32_t colour) {
    if (x < 0 || x >= TextScreen::Width || y < 0 || y >= TextScreen::Height) return;
    if (screen.pixels.empty()) return;
    {
        FrameHold hold(screen);
        screen.pixels[y * TextScreen::Width + x] = Opaque | colour;
    }
}

void endProgram(TextScreen& screen, int code) {
    screen.exitCode.store(code);
    screen.endRequested.store(true, std::memory_order_release);
    FrameHold wake(screen);
}

void pushKey(KeyQueue& queue, int code) {
    {
        std::lock_guard<std::mutex> hold(queue.lock);
        const int size = static_cast<int>(queue.slots.size());
        queue.slots[queue.tail] = code;
        queue.tail = (queue.tail + 1) % size;
        if (queue.tail == queue.head) queue.head = (queue.head + 1) % size; // oldest dropped
        queue.keyEvent = true;
    }
    queue.arrived.notify_all();
}

void closeInput(KeyQueue& queue) {
    {
        std::lock_guard<std::mutex> hold(queue.lock);
        queue.inputClosed = true;
    }
    queue.arrived.notify_all();
}

int pendingKeys(KeyQueue& queue) {
    std::lock_guard<std::mutex> hold(queue.lock);
    const int size = static_cast<int>(queue.slots.size());
    return (queue.tail - queue.head + size) % size + static_cast<int>(queue.script.size());
}

std::string rowText(const TextScreen& screen, int row) {
    std::string text(TextScreen::Columns, ' ');
    if (row < 1 || row > TextScreen::Rows) return text;
    for (int column = 1; column <= TextScreen::Columns; ++column)
        text[column - 1] = static_cast<char>(cellAt(screen, row, column).ch);
    return text;
}
