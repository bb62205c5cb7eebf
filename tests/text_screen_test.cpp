// The text screen: where printed bytes go, when the screen scrolls, what the
// pixels hold, the key queue, the PNG writer and the terminal backend.
#include "display/font_cp437.h"
#include "display/text_screen.h"
#include "display/window.h"
#include "display/window_posix.h"
#include "tests/png_file.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <pthread.h>
#include <regex>
#include <set>
#include <sstream>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

// The screen as the installer leaves it after start-up.
struct Screen : ::testing::Test {
    TextScreen screen;
    void SetUp() override {
        openWindow(screen, 640, 448, 32);
        setTextGrid(screen, 80, 28);
        setColor(screen, PaleRose, Black);
        clearScreen(screen);
        moveCursor(screen, 0, 0, CursorVisibility::Hide);
    }
    // A distinct 80-byte line per row: "row 07 ....".
    static std::string line(int row) {
        char head[16];
        std::snprintf(head, sizeof head, "row %02d ", row);
        std::string text(head);
        while (text.size() < 80) text += char('a' + (row + text.size()) % 26);
        return text;
    }
    void fillAllRows() {
        moveCursor(screen, 1, 1);
        for (int row = 1; row <= 28; ++row) printText(screen, line(row), false);
    }
    uint32_t pixel(int x, int y) { return static_cast<uint32_t>(readPixel(screen, x, y)); }
    std::pair<int, int> cursor() const { return {screen.row, screen.column}; }
    // True when cell (row, column) shows `ch` in these colours, pixel for pixel.
    bool cellPainted(int row, int column, uint8_t ch, uint32_t fg, uint32_t bg) {
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 8; ++x) {
                const bool ink = FontCp437[ch][y] & (0x80 >> x);
                const uint32_t want = 0xFF000000 | (ink ? fg : bg);
                if (pixel((column - 1) * 8 + x, (row - 1) * 16 + y) != want) return false;
            }
        return true;
    }
};

using ScreenOutput = Screen;

TEST_F(ScreenOutput, StartsBlackAndPrintsPaleRoseFromRowOne) {
    EXPECT_EQ(cursor(), std::make_pair(1, 1));
    for (int i = 0; i < 640 * 448; i += 997) EXPECT_EQ(screen.pixels[i], 0xFF000000u);
    printText(screen, "Hallo", false);
    EXPECT_EQ(rowText(screen, 1).substr(0, 6), "Hallo ");
    EXPECT_TRUE(cellPainted(1, 1, 'H', PaleRose, Black));
    EXPECT_EQ(cellAt(screen, 1, 5).fg, PaleRose);
    printNewline(screen);
    printText(screen, "tweede", true);
    EXPECT_EQ(rowText(screen, 2).substr(0, 6), "tweede");
    EXPECT_EQ(cursor(), std::make_pair(3, 1));
}

TEST_F(ScreenOutput, FullScreenOfRowsDoesNotScrollUntilMoreOutput) {
    fillAllRows();
    EXPECT_TRUE(screen.pendingWrap);
    EXPECT_EQ(cursor(), std::make_pair(28, 80));
    moveCursor(screen, 22, 1);
    EXPECT_FALSE(screen.pendingWrap);
    for (int row = 1; row <= 28; ++row) EXPECT_EQ(rowText(screen, row), line(row)) << row;
    printText(screen, "X", false); // after the move: no scroll, row 22 overwritten
    EXPECT_EQ(rowText(screen, 1), line(1));
    EXPECT_EQ(rowText(screen, 22)[0], 'X');
}

TEST_F(ScreenOutput, OneMoreByteScrollsPixelsAndCellsByOneRow) {
    fillAllRows();
    const std::vector<uint32_t> before = screen.pixels;
    setColor(screen, White, Magenta); // the freed row takes the current background
    printText(screen, "Z", false);
    for (int row = 1; row <= 27; ++row) EXPECT_EQ(rowText(screen, row), line(row + 1)) << row;
    EXPECT_EQ(rowText(screen, 28), "Z" + std::string(79, ' '));
    EXPECT_EQ(cursor(), std::make_pair(28, 2));
    EXPECT_TRUE(std::equal(screen.pixels.begin(), screen.pixels.begin() + 27 * 16 * 640,
                           before.begin() + 16 * 640));
    EXPECT_TRUE(cellPainted(28, 1, 'Z', White, Magenta));
    EXPECT_TRUE(cellPainted(28, 80, ' ', White, Magenta));
    EXPECT_EQ(cellAt(screen, 28, 40).bg, Magenta);
}

TEST_F(ScreenOutput, NewlineOnLastRowWaitsForTheNextOutput) {
    moveCursor(screen, 27, 1);
    printText(screen, "boven", false);
    moveCursor(screen, 28, 1);
    printText(screen, "onder", false);
    printNewline(screen);
    EXPECT_EQ(rowText(screen, 28).substr(0, 5), "onder");
    EXPECT_TRUE(screen.pendingWrap);
    printText(screen, "nieuw", false);
    EXPECT_EQ(rowText(screen, 26).substr(0, 5), "boven");
    EXPECT_EQ(rowText(screen, 27).substr(0, 5), "onder");
    EXPECT_EQ(rowText(screen, 28).substr(0, 6), "nieuw ");
    EXPECT_EQ(cursor(), std::make_pair(28, 6));

    // A cursor move (or clearScreen) in between cancels the pending scroll.
    printNewline(screen);
    moveCursor(screen, 5, 5);
    printText(screen, "!", false);
    EXPECT_EQ(rowText(screen, 28).substr(0, 5), "nieuw");
    printText(screen, "", true);
    clearScreen(screen);
    EXPECT_FALSE(screen.pendingWrap);
    EXPECT_EQ(cursor(), std::make_pair(1, 1));
}

TEST_F(ScreenOutput, WrapsAndScrollsInsideOneLongText) {
    // 80 bytes and a newline from (1,1) end on (3,1).
    printText(screen, std::string(80, 'a'), true);
    EXPECT_EQ(cursor(), std::make_pair(3, 1));

    // 200 bytes from (28,1): three rows' worth, scrolling twice on the way.
    moveCursor(screen, 3, 1);
    printText(screen, "derde", false);
    std::string text;
    for (int i = 0; i < 200; ++i) text += char('A' + i / 80);
    moveCursor(screen, 28, 1);
    printText(screen, text, false);
    EXPECT_EQ(rowText(screen, 26), std::string(80, 'A'));
    EXPECT_EQ(rowText(screen, 27), std::string(80, 'B'));
    EXPECT_EQ(rowText(screen, 28), std::string(40, 'C') + std::string(40, ' '));
    EXPECT_EQ(cursor(), std::make_pair(28, 41));
    EXPECT_FALSE(screen.pendingWrap);
    EXPECT_EQ(rowText(screen, 1).substr(0, 6), "derde "); // row 3 moved up twice
}

TEST_F(ScreenOutput, MoveCursorKeepsZeroesAndIgnoresPlacesOutsideTheGrid) {
    moveCursor(screen, 7, 1);
    moveCursor(screen, 3, 0);
    EXPECT_EQ(cursor(), std::make_pair(3, 1));
    moveCursor(screen, 0, 44);
    EXPECT_EQ(cursor(), std::make_pair(3, 44));
    for (auto [row, column] : {std::pair{29, 1}, {1, 81}, {-1, 5}, {5, -2}}) {
        moveCursor(screen, row, column, CursorVisibility::Show);
        EXPECT_EQ(cursor(), std::make_pair(3, 44));
    }
    EXPECT_TRUE(screen.cursorVisible);
    // A rejected move leaves a pending wrap pending: the next byte still scrolls.
    fillAllRows();
    moveCursor(screen, 30, 1);
    printText(screen, "Z", false);
    EXPECT_EQ(rowText(screen, 1), line(2));
}

TEST_F(ScreenOutput, NumbersHaveABlankOrMinusInFront) {
    moveCursor(screen, 6, 9);
    printNumber(screen, 2, false);
    EXPECT_EQ(cellAt(screen, 6, 9).ch, ' ');
    EXPECT_EQ(cellAt(screen, 6, 10).ch, '2');
    EXPECT_EQ(cursor(), std::make_pair(6, 11));
    moveCursor(screen, 1, 1);
    printNumber(screen, 0, false);
    printNumber(screen, -5, false);
    printNumber(screen, INT32_MIN, true);
    EXPECT_EQ(rowText(screen, 1).substr(0, 16), " 0-5-2147483648 ");
    EXPECT_EQ(cursor(), std::make_pair(2, 1));
}

TEST_F(ScreenOutput, ColoursApplyToLaterTextOnly) {
    printText(screen, "a", false);
    setColor(screen, Magenta, PaleRose);
    printText(screen, "b", false);
    setColor(screen, Grey, White, ColorTarget::ForegroundOnly);
    printText(screen, "c", false);
    EXPECT_TRUE(cellPainted(1, 1, 'a', PaleRose, Black));
    EXPECT_TRUE(cellPainted(1, 2, 'b', Magenta, PaleRose));
    EXPECT_TRUE(cellPainted(1, 3, 'c', Grey, PaleRose));
    EXPECT_EQ(cellAt(screen, 1, 3).fg, Grey);
    EXPECT_EQ(cellAt(screen, 1, 3).bg, PaleRose);
    clearScreen(screen);
    EXPECT_EQ(pixel(639, 447), 0xFF000000u | PaleRose);
    EXPECT_EQ(cellAt(screen, 28, 80).bg, PaleRose);
}

TEST_F(ScreenOutput, EveryDrawingStepTellsTheWindowToPresent) {
    const std::function<void()> steps[] = {
        [&] { printText(screen, "x", false); }, [&] { printNewline(screen); },
        [&] { writePixel(screen, 1, 1, White); }, [&] { clearScreen(screen); },
        [&] { endProgram(screen, 4); }};
    for (const auto& step : steps) {
        const uint64_t before = screen.frameCounter.load();
        step();
        EXPECT_NE(screen.frameCounter.load(), before);
    }
    EXPECT_TRUE(screen.endRequested.load());
    EXPECT_EQ(screen.exitCode.load(), 4);
}

using Pixels = Screen;

TEST_F(Pixels, ReadBackIsExactWithTheTopByteSet) {
    writePixel(screen, 10, 20, 0xFF000000 | Magenta);
    EXPECT_EQ(readPixel(screen, 10, 20) & 0xFFFFFF, Magenta);
    writePixel(screen, 639, 447, 0x123456);
    EXPECT_EQ(readPixel(screen, 639, 447), 0xFF123456);
    EXPECT_EQ(readPixel(screen, 638, 447), 0xFF000000);
    for (auto [x, y] : {std::pair{-1, 0}, {640, 0}, {0, -1}, {0, 448}})
        EXPECT_EQ(readPixel(screen, x, y), -1);
    writePixel(screen, 640, 0, White); // outside: ignored, nothing overwritten
    EXPECT_EQ(readPixel(screen, 0, 1), 0xFF000000);
}

TEST_F(Pixels, GlyphPixelsTakeTheForegroundAndTheRestTheBackground) {
    setColor(screen, White, Magenta);
    moveCursor(screen, 2, 3);
    printText(screen, "A", false);
    EXPECT_TRUE(cellPainted(2, 3, 'A', White, Magenta));
    int ink = 0;
    for (int y = 16; y < 32; ++y)
        for (int x = 16; x < 24; ++x)
            if ((readPixel(screen, x, y) & 0xFFFFFF) == 0xFFFFFF) ++ink;
    EXPECT_GT(ink, 10);
    EXPECT_TRUE(cellPainted(2, 2, ' ', PaleRose, Black)); // neighbours untouched
    EXPECT_TRUE(cellPainted(2, 4, ' ', PaleRose, Black));
    EXPECT_EQ(pixel(16, 15), 0xFF000000u);
}

TEST(Font, EveryPrintableByteHasItsOwnGlyph) {
    std::set<std::array<uint8_t, 16>> seen;
    for (int ch = 1; ch < 255; ++ch) {
        if (ch == ' ') continue;
        std::array<uint8_t, 16> glyph;
        std::copy(std::begin(FontCp437[ch]), std::end(FontCp437[ch]), glyph.begin());
        EXPECT_NE(glyph, (std::array<uint8_t, 16>{})) << "byte " << ch;
        EXPECT_TRUE(seen.insert(glyph).second) << "byte " << ch << " repeats a glyph";
    }
    for (int ch : {0, 0x20, 0xFF})
        for (uint8_t bits : FontCp437[ch]) EXPECT_EQ(bits, 0) << ch;
}

TEST(Font, Byte8BhIsIWithDiaeresis) {
    EXPECT_EQ(Cp437Unicode[0x8B], 0x00EF);
    EXPECT_EQ(cp437FromUnicode(0x00EF), 0x8B);
    // The stem of "i" with two dots above it instead of one.
    for (int y = 5; y < 16; ++y) EXPECT_EQ(FontCp437[0x8B][y], FontCp437['i'][y]) << y;
    uint8_t dots = 0;
    for (int y = 0; y < 5; ++y) dots |= FontCp437[0x8B][y];
    EXPECT_NE(dots & 0xE0, 0);
    EXPECT_NE(dots & 0x07, 0);
    EXPECT_EQ(dots & 0x18, 0);
}

TEST(Font, UnicodeRoundTripsThroughTheCodePage) {
    for (int ch = 1; ch < 256; ++ch) {
        if (ch < 0x20 || ch == 0x7F) continue; // typed control characters stay themselves
        EXPECT_EQ(cp437FromUnicode(Cp437Unicode[ch]), ch) << ch;
    }
    EXPECT_EQ(cp437FromUnicode('\r'), 13);
    EXPECT_EQ(cp437FromUnicode(0x20AC), -1); // the euro sign is not in the code page
    std::string utf8;
    appendUtf8(utf8, 0x8B);
    appendUtf8(utf8, 0xDB);
    appendUtf8(utf8, 'J');
    EXPECT_EQ(utf8, "\xC3\xAF\xE2\x96\x88J");
    EXPECT_EQ(decodeUtf8("\xC3\xAF", 2).codePoint, 0xEFu);
    EXPECT_EQ(decodeUtf8("\xC3", 1).length, -1);    // unfinished
    EXPECT_EQ(decodeUtf8("\xC3(", 2).length, 0);    // invalid
    EXPECT_EQ(decodeUtf8("\xC0\x80", 2).length, 0); // overlong
}

// Keys ------------------------------------------------------------------------

using Keys = Screen;

TEST_F(Keys, ReadKeyFormatsCharactersAndExtendedKeys) {
    EXPECT_EQ(readKey(screen), "");
    for (int code : {int('a'), KeyEnter, KeyEscape, 0x8B, KeyF1, KeyUp, KeyDown, KeyClose})
        pushKey(screen.keys, code);
    EXPECT_EQ(readKey(screen), "a");
    EXPECT_EQ(readKey(screen), "\r");
    EXPECT_EQ(readKey(screen), "\x1B");
    EXPECT_EQ(readKey(screen), "\x8B");
    EXPECT_EQ(readKey(screen), std::string("\xFF") + char(59));
    EXPECT_EQ(readKey(screen), std::string("\xFF") + char(72));
    EXPECT_EQ(readKey(screen), std::string("\xFF") + char(80));
    EXPECT_EQ(readKey(screen), std::string("\xFF") + char(107));
    EXPECT_EQ(readKey(screen), "");

    // Taking a key, typed or scripted, withdraws the finished frame; finding
    // none keeps it.
    screen.completeFrame = 7;
    EXPECT_EQ(readKey(screen), "");
    EXPECT_EQ(screen.completeFrame.load(), 7u);
    pushKey(screen.keys, 'b');
    EXPECT_EQ(readKey(screen), "b");
    EXPECT_EQ(screen.completeFrame.load(), TextScreen::NoCompleteFrame);
    screen.completeFrame = 7;
    queueScript(screen, {'c'});
    EXPECT_EQ(readKey(screen), "c");
    EXPECT_EQ(screen.completeFrame.load(), TextScreen::NoCompleteFrame);
}

TEST_F(Keys, SixteenKeysLeaveTheLastFifteen) {
    for (int i = 0; i < 16; ++i) pushKey(screen.keys, 'a' + i);
    EXPECT_EQ(pendingKeys(screen.keys), 15);
    for (int i = 1; i < 16; ++i) EXPECT_EQ(readKey(screen), std::string(1, char('a' + i)));
    EXPECT_EQ(readKey(screen), "");
    // Far more than fit: still the newest fifteen, in order.
    for (int i = 0; i < 100; ++i) pushKey(screen.keys, i);
    for (int i = 85; i < 100; ++i) EXPECT_EQ(readKey(screen), std::string(1, char(i)));
}

TEST_F(Keys, WaitKeyLeavesTheKeyQueued) {
    pushKey(screen.keys, KeyEnter);
    waitKey(screen);
    EXPECT_EQ(readKey(screen), "\r");

    // readKey clears the flag even with the queue empty; a key pressed before
    // then does not end a later wait, one pressed afterwards does.
    pushKey(screen.keys, 'x');
    EXPECT_EQ(readKey(screen), "x");
    const auto start = std::chrono::steady_clock::now();
    std::thread typist([&] {
        std::this_thread::sleep_for(150ms);
        pushKey(screen.keys, 'y');
    });
    waitKey(screen);
    const auto waited = std::chrono::steady_clock::now() - start;
    typist.join();
    EXPECT_GE(waited, 140ms);
    EXPECT_LT(waited, 1500ms);
    EXPECT_EQ(readKey(screen), "y");
}

TEST_F(Keys, EndedInputReadsAsEscapeAndEndsEveryWait) {
    pushKey(screen.keys, 'j');
    closeInput(screen.keys);
    EXPECT_EQ(readKey(screen), "j"); // what was typed still comes first
    EXPECT_EQ(readKey(screen), "\x1B");
    EXPECT_EQ(readKey(screen), "\x1B");
    const auto start = std::chrono::steady_clock::now();
    waitKey(screen);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 40ms);
}

TEST_F(Keys, ScriptLongerThanTheQueueArrivesWhole) {
    std::vector<int> script;
    for (int i = 0; i < 40; ++i) script.push_back(i % 2 ? KeyDown : '0' + i % 10);
    queueScript(screen, script);
    waitKey(screen); // returns at once: the next scripted key stands ready
    for (int key : script) {
        const std::string read = readKey(screen);
        ASSERT_EQ(read, key >= ExtendedKeyBase ? std::string("\xFF") + char(key - ExtendedKeyBase)
                                               : std::string(1, char(key)));
    }
    EXPECT_EQ(readKey(screen), "\x1B");
}

TEST_F(Keys, AwaitKeyTakesAKeyTypedWhileItWaitsOrEndsWithTheInput) {
    EXPECT_EQ(readKey(screen), "");
    std::thread typist([&] {
        std::this_thread::sleep_for(30ms);
        pushKey(screen.keys, 'k');
        std::this_thread::sleep_for(30ms);
        closeInput(screen.keys);
    });
    EXPECT_EQ(awaitKey(screen), "k");
    EXPECT_EQ(awaitKey(screen), "\x1B");
    typist.join();
}

// A wait for a key sleeps until one comes: the waiting thread uses next to
// no processor time (a loop that polls would use most of a core).
TEST_F(Keys, WaitsForAKeyAsleep) {
    for (const auto& wait :
         std::vector<std::function<void()>>{[&] { awaitKey(screen); }, [&] { waitKey(screen); }}) {
        std::atomic<clockid_t> clock{0};
        std::thread waiter([&] {
            clockid_t own;
            pthread_getcpuclockid(pthread_self(), &own);
            clock = own;
            wait();
        });
        std::this_thread::sleep_for(300ms);
        timespec used{};
        ASSERT_EQ(clock_gettime(clock.load(), &used), 0);
        pushKey(screen.keys, 'w');
        waiter.join();
        EXPECT_LT(used.tv_sec * 1000 + used.tv_nsec / 1000000, 30); // milliseconds
        readKey(screen);
    }
}

// The PNG writer ---------------------------------------------------------------

uint32_t bitwiseCrc(const uint8_t* data, size_t size) {
    uint32_t crc = 0xFFFFFFFF;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
    }
    return ~crc;
}

uint32_t big32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
}

std::string tempPath(const std::string& name) {
    return (std::filesystem::temp_directory_path() / (name + "." + std::to_string(::getpid())))
        .string();
}

TEST_F(Pixels, PngFileHoldsTheFramebuffer) {
    setColor(screen, White, Magenta);
    printText(screen, "PNG", false);
    writePixel(screen, 639, 447, 0x123456);
    const std::string path = tempPath("screen.png");
    ASSERT_TRUE(savePng(screen, path));
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> png((std::istreambuf_iterator<char>(in)), {});
    ASSERT_GT(png.size(), 8u);
    const uint8_t signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    EXPECT_TRUE(std::equal(png.begin(), png.begin() + 8, signature));

    std::vector<std::string> types;
    std::vector<uint8_t> zlib;
    for (size_t pos = 8; pos + 12 <= png.size();) {
        const uint32_t length = big32(&png[pos]);
        ASSERT_LE(pos + 12 + length, png.size());
        const std::string type(png.begin() + pos + 4, png.begin() + pos + 8);
        EXPECT_EQ(big32(&png[pos + 8 + length]), bitwiseCrc(&png[pos + 4], length + 4)) << type;
        if (type == "IHDR") {
            EXPECT_EQ(big32(&png[pos + 8]), 640u);
            EXPECT_EQ(big32(&png[pos + 12]), 448u);
            EXPECT_EQ(png[pos + 16], 8);
            EXPECT_EQ(png[pos + 17], 2);
        }
        if (type == "IDAT") zlib.insert(zlib.end(), &png[pos + 8], &png[pos + 8 + length]);
        types.push_back(type);
        pos += 12 + length;
    }
    EXPECT_EQ(types, (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));

    // Stored deflate blocks: undo them and compare every pixel.
    ASSERT_GE(zlib.size(), 6u);
    EXPECT_EQ((zlib[0] * 256 + zlib[1]) % 31, 0);
    std::vector<uint8_t> raw;
    size_t pos = 2;
    for (bool last = false; !last;) {
        ASSERT_LT(pos + 5, zlib.size());
        last = zlib[pos] & 1;
        ASSERT_EQ(zlib[pos] & 6, 0);
        const unsigned length = zlib[pos + 1] | zlib[pos + 2] << 8;
        ASSERT_EQ(length ^ 0xFFFF, unsigned(zlib[pos + 3] | zlib[pos + 4] << 8));
        raw.insert(raw.end(), &zlib[pos + 5], &zlib[pos + 5] + length);
        pos += 5 + length;
    }
    uint32_t a = 1, b = 0;
    for (uint8_t byte : raw) a = (a + byte) % 65521, b = (b + a) % 65521;
    ASSERT_EQ(pos + 4, zlib.size());
    EXPECT_EQ(big32(&zlib[pos]), (b << 16 | a));
    ASSERT_EQ(raw.size(), 448u * (1 + 640 * 3));
    for (int y = 0; y < 448; ++y) {
        ASSERT_EQ(raw[y * 1921], 0);
        for (int x = 0; x < 640; ++x) {
            const uint8_t* p = &raw[y * 1921 + 1 + x * 3];
            ASSERT_EQ(uint32_t(p[0] << 16 | p[1] << 8 | p[2]),
                      screen.pixels[y * 640 + x] & 0xFFFFFF)
                << x << "," << y;
        }
    }

    // And a real inflater agrees, where Python is at hand (127: no python3).
    const std::string check =
        "python3 -c \"import sys,zlib;d=open(sys.argv[1],'rb').read();i=d.index(b'IDAT');"
        "n=int.from_bytes(d[i-4:i],'big');r=zlib.decompress(d[i+4:i+4+n]);"
        "sys.exit(0 if r[447*1921+1+639*3:447*1921+1+640*3]==bytes([0x12,0x34,0x56]) "
        "and len(r)==448*1921 else 1)\" " +
        path + " 2>/dev/null";
    const int status = std::system(check.c_str());
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 127) {
        EXPECT_EQ(status, 0);
    }
    std::filesystem::remove(path);
}

TEST(WindowTitle, IsTheProgramNameWithoutFolderAndExtension) {
    EXPECT_EQ(programTitle("/usr/local/bin/veltra"), "veltra");
    EXPECT_EQ(programTitle("C:\\Tools\\VELTRA.EXE"), "VELTRA");
    EXPECT_EQ(programTitle("build/veltra.9.06.exe"), "veltra.9.06");
    EXPECT_EQ(programTitle("veltra"), "veltra");
}

// The terminal backend --------------------------------------------------------

std::vector<int> decodeAll(std::vector<std::string> chunks, bool complete = true) {
    TerminalKeyDecoder decoder;
    std::vector<int> keys;
    for (size_t i = 0; i < chunks.size(); ++i) {
        decoder.pending += chunks[i];
        decodeTerminalKeys(decoder, complete && i + 1 == chunks.size(), keys);
    }
    return keys;
}

TEST(TerminalKeys, SequencesCharactersAndLineEnds) {
    EXPECT_EQ(decodeAll({"\x1b[A\x1b[B\x1b[C\x1b[D\x1b[H\x1b[F"}),
              (std::vector<int>{KeyUp, KeyDown, KeyRight, KeyLeft, KeyHome, KeyEnd}));
    EXPECT_EQ(decodeAll({"\x1bOP\x1bOS\x1b[11~\x1b[15~\x1b[17~\x1b[21~\x1b[[A"}),
              (std::vector<int>{KeyF1, KeyF1 + 3, KeyF1, KeyF1 + 4, KeyF1 + 5, KeyF1 + 9, KeyF1}));
    EXPECT_EQ(decodeAll({"\x1b[2~\x1b[3~\x1b[5~\x1b[6~\x1b[1~\x1b[4~"}),
              (std::vector<int>{KeyInsert, KeyDelete, KeyPageUp, KeyPageDown, KeyHome, KeyEnd}));
    // With Alt, F1 is another key (the boot keys tell Alt-F1 from F1).
    EXPECT_EQ(decodeAll({"\x1b[1;3P\x1b[1;5A"}),
              (std::vector<int>{ExtendedKeyBase + 0x68, ExtendedKeyBase + 0x8D}));
    EXPECT_EQ(decodeAll({"j\r\n\n\r\x7f+-a"}),
              (std::vector<int>{'j', 13, 13, 13, 8, '+', '-', 'a'}));
    EXPECT_EQ(decodeAll({"Ge\xC3\xAF", "\xE2\x96\x88\x8B"}),
              (std::vector<int>{'G', 'e', 0x8B, 0xDB, 0x8B}));
    // A character code page 437 lacks (the euro sign) is still a key.
    EXPECT_EQ(decodeAll({"\xE2\x82\xAC"}), (std::vector<int>{'?'}));
}

TEST(TerminalKeys, UnfinishedSequencesWaitUnlessTheInputIsComplete) {
    EXPECT_EQ(decodeAll({"\x1b", "[", "A"}), (std::vector<int>{KeyUp}));
    EXPECT_EQ(decodeAll({"\xC3", "\xAF"}), (std::vector<int>{0x8B}));
    EXPECT_EQ(decodeAll({"\r", "\n"}), (std::vector<int>{13}));
    EXPECT_EQ(decodeAll({"a\x1b"}, false), (std::vector<int>{'a'}));
    EXPECT_EQ(decodeAll({"a\x1b"}), (std::vector<int>{'a', KeyEscape}));
    EXPECT_EQ(decodeAll({"\x1bj"}), (std::vector<int>{KeyEscape, 'j'}));
    EXPECT_EQ(decodeAll({"\x1b\x1b"}), (std::vector<int>{KeyEscape, KeyEscape}));
    EXPECT_EQ(decodeAll({"\x1b["}), (std::vector<int>{KeyEscape}));
    // Replies and sequences that name no key leave nothing behind.
    EXPECT_EQ(decodeAll({"\x1b[?1;2c\x1b[200~x\x1b[<0;3;4M"}), (std::vector<int>{'x'}));
    // Numbers too large for any key name none, however many digits (2^32 + 2
    // and 2^32 + 11 are no Insert and F1).
    EXPECT_EQ(decodeAll({"\x1b[4294967298~\x1b[4294967307~\x1b[99999999999~y"}),
              (std::vector<int>{'y'}));
}

// The terminal backend's tests run as on a terminal with 24-bit colour,
// whatever the environment of the test run.
const bool terminalEnvironment = [] {
    setenv("TERM", "xterm-256color", 1);
    setenv("COLORTERM", "truecolor", 1);
    unsetenv("NO_COLOR");
    return true;
}();

// Strips the escape sequences from terminal output.
std::string stripEscapes(const std::string& text) {
    static const std::regex sequence("\x1b\\[[0-9;?]*[A-Za-z]");
    return std::regex_replace(text, sequence, "");
}

TEST(TerminalBackend, DrawsEachScreenAndFeedsScriptedKeysInOrder) {
    int keyPipe[2];
    ASSERT_EQ(::pipe(keyPipe), 0);
    const std::string script = "\x1b[A\x1bOPj\r\xC3\xAF\x1b";
    ASSERT_EQ(::write(keyPipe[1], script.data(), script.size()), ssize_t(script.size()));
    ::close(keyPipe[1]);
    const std::string outPath = tempPath("terminal.out");
    const int out = ::open(outPath.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0600);
    ASSERT_GE(out, 0);

    std::vector<std::string> keys;
    TextScreen screen;
    const int code = runTerminalWindow(screen, keyPipe[0], out, [&](TextScreen& s) {
        openWindow(s, 640, 448, 32);
        setTextGrid(s, 80, 28);
        setColor(s, PaleRose, Black);
        clearScreen(s);
        for (int n = 1; n <= 7; ++n) {
            // A whole new screen for every key: each must reach the output.
            moveCursor(s, 3, 1);
            printText(s,
                      "Scherm " + std::to_string(n) +
                          " ge\x8B"
                          "nstalleerd\x8B",
                      false);
            const std::string key = awaitKey(s);
            keys.push_back(key);
        }
        endProgram(s, 3);
    });
    ::close(keyPipe[0]);
    ::close(out);
    EXPECT_EQ(code, 3);
    EXPECT_EQ(keys,
              (std::vector<std::string>{"\xFFH", "\xFF;", "j", "\r", "\x8B", "\x1B", "\x1B"}));

    std::ifstream in(outPath, std::ios::binary);
    const std::string output((std::istreambuf_iterator<char>(in)), {});
    std::filesystem::remove(outPath);
    EXPECT_NE(output.find("38;2;255;208;255;48;2;0;0;0m"), std::string::npos); // PaleRose text
    const std::string text = stripEscapes(output);
    size_t at = 0;
    for (int n = 1; n <= 7; ++n) {
        const std::string row = "Scherm " + std::to_string(n) + " ge\xC3\xAFnstalleerd\xC3\xAF";
        const size_t found = text.find(row, at);
        ASSERT_NE(found, std::string::npos) << "screen " << n << " missing in:\n" << text;
        at = found;
    }
    // Every drawn row is one line of 80 characters.
    std::istringstream lines(text);
    int count = 0;
    for (std::string line; std::getline(lines, line); ++count) {
        size_t characters = 0;
        for (unsigned char c : line) characters += (c & 0xC0) != 0x80;
        EXPECT_EQ(characters, 80u) << line;
    }
    EXPECT_GE(count, 28 + 6);
}

TEST(TerminalColours, ChosenFromTermColortermAndNoColor) {
    using enum TerminalColours;
    const struct {
        const char *term, *colorTerm, *noColor;
        TerminalColours chosen;
    } cases[] = {
        {nullptr, "truecolor", nullptr, NoCursor},
        {"", nullptr, nullptr, NoCursor},
        {"dumb", "truecolor", nullptr, NoCursor},
        {"xterm-256color", "truecolor", "1", None},
        {"linux", nullptr, "", Basic16},
        {"linux", nullptr, nullptr, Basic16},
        {"xterm", "", nullptr, Basic16},
        {"screen-256color", nullptr, nullptr, Palette256},
        {"xterm-256color", "yes", nullptr, Palette256},
        {"-256color", nullptr, nullptr, Basic16},
        {"xterm", "24bit", nullptr, TrueColour},
        {"linux", "truecolor", nullptr, TrueColour},
    };
    for (const auto& c : cases)
        EXPECT_EQ(chooseTerminalColours(c.term, c.colorTerm, c.noColor), c.chosen)
            << (c.term ? c.term : "(unset)") << " " << (c.colorTerm ? c.colorTerm : "(unset)");
}

TEST(TerminalColours, KeepThePageTheHighlightGreyAndBlackTextApart) {
    using enum TerminalColours;
    const struct {
        TerminalColours colours;
        uint32_t fg, bg;
        bool blackIsDefault;
        std::string style;
    } cases[] = {
        {TrueColour, Black, Plum, false, "\x1b[0;38;2;0;0;0;48;2;221;160;221m"},
        {TrueColour, PaleRose, Black, true, "\x1b[0;38;2;255;208;255m"},
        {Palette256, Black, PaleRose, false, "\x1b[0;38;5;16;48;5;225m"},
        {Palette256, Black, Plum, false, "\x1b[0;38;5;16;48;5;182m"},
        {Palette256, Grey, PaleRose, false, "\x1b[0;38;5;102;48;5;225m"},
        {Basic16, Black, PaleRose, false, "\x1b[0;30;47m"}, // the page
        {Basic16, Black, Plum, false, "\x1b[0;30;45m"},     // the highlighted line
        {Basic16, Grey, PaleRose, false, "\x1b[0;90;47m"},  // grey text
        {Basic16, White, Magenta, false, "\x1b[0;97;45m"},  // the title row
        {None, Black, Plum, false, "\x1b[0;7m"},            // reverse video
        {None, Grey, PaleRose, false, "\x1b[0;2m"},
        {None, Black, PaleRose, false, "\x1b[0m"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(terminalStyle(c.colours, c.fg, c.bg, c.blackIsDefault), c.style)
            << int(c.colours) << " " << std::hex << c.fg << " on " << c.bg;
}

TEST(TerminalBackend, LinesInPlaceStayInTheTextWithOneEmptyLinePerGap) {
    const std::string outPath = tempPath("lines.out");
    const int out = ::open(outPath.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0600);
    ASSERT_GE(out, 0);
    int keyPipe[2];
    ASSERT_EQ(::pipe(keyPipe), 0);
    ASSERT_EQ(::write(keyPipe[1], "jx", 2), 2); // each handed over once its screen shows
    ::close(keyPipe[1]);
    TextScreen screen;
    runTerminalWindow(
        screen, keyPipe[0], out,
        [](TextScreen& s) {
            openWindow(s, 640, 448, 32);
            printNewline(s);
            printText(s, "  Vraag?", true);
            awaitKey(s);
            moveCursor(s, 22, 1);
            printText(s, "  Klaar.", true);
            printNewline(s);
            printText(s, "  Druk op een toets.", true);
            awaitKey(s);
            moveCursor(s, 2, 1);
            printText(s, "  Vraag? J", false); // an earlier line changes in place
            endProgram(s, 0);
        },
        ScreenUse::LinesInPlace);
    ::close(out);
    ::close(keyPipe[0]);
    std::ifstream in(outPath, std::ios::binary);
    const std::string output((std::istreambuf_iterator<char>(in)), {});
    std::filesystem::remove(outPath);
    EXPECT_EQ(output.find("\x1b[?1049h"), std::string::npos) << "the alternate screen";
    EXPECT_EQ(output.find("\x1b[2J"), std::string::npos) << "the terminal cleared";
    const std::regex upThenLines("\r\x1b\\[5A.*Vraag\\? J");
    EXPECT_TRUE(std::regex_search(output, upThenLines)) << output;
    std::string lastFrame = output.substr(output.rfind("\x1b[5A") + 4);
    lastFrame = std::regex_replace(stripEscapes(lastFrame), std::regex("\r"), "");
    EXPECT_EQ(lastFrame, "  Vraag? J\n\n  Klaar.\n\n  Druk op een toets.\n");
}

// Runs the terminal backend on `input` until the logic has read `count` keys.
std::vector<std::string> readKeysFrom(int input, int count) {
    const int out = ::open("/dev/null", O_WRONLY);
    std::vector<std::string> keys;
    TextScreen screen;
    const int code = runTerminalWindow(screen, input, out, [&](TextScreen& s) {
        while (int(keys.size()) < count) {
            keys.push_back(awaitKey(s));
            printText(s, "gelezen", true);
        }
        endProgram(s, 5);
    });
    ::close(out);
    EXPECT_EQ(code, 5);
    return keys;
}

TEST(TerminalBackend, InputThatIsClosedEndedOrBrokenEndsEveryWait) {
    int ended[2], broken[2];
    ASSERT_EQ(::pipe(ended), 0);
    ASSERT_EQ(::pipe(broken), 0);
    ::close(ended[1]);  // end of file, a hang-up
    ::close(broken[0]); // the write end of a pipe without reader: an error
    const int directory = ::open("/", O_RDONLY | O_DIRECTORY); // readable, read fails
    const int closed = 1000;
    ASSERT_EQ(::fcntl(closed, F_GETFD), -1); // a descriptor that is not open
    for (int input : {ended[0], broken[1], directory, closed})
        EXPECT_EQ(readKeysFrom(input, 2), (std::vector<std::string>{"\x1B", "\x1B"})) << input;
    for (int fd : {ended[0], broken[1], directory}) ::close(fd);
}

TEST(TerminalBackend, EndlessInputStaysInItsPipe) {
    const struct {
        std::string input;
        std::vector<std::string> keys;
    } cases[] = {{"y\n", {"y", "\r", "y"}}, {"1", {"\x1B", "1", "1"}}};
    for (const auto& c : cases) {
        int keyPipe[2];
        ASSERT_EQ(::pipe(keyPipe), 0);
        std::string bytes = c.input == "1" ? "\x1b[" : "";
        while (bytes.size() < 32768) bytes += c.input;
        ASSERT_EQ(::write(keyPipe[1], bytes.data(), bytes.size()), ssize_t(bytes.size()));
        EXPECT_EQ(readKeysFrom(keyPipe[0], 3), c.keys);
        int left = 0;
        ASSERT_EQ(::ioctl(keyPipe[0], FIONREAD, &left), 0);
        EXPECT_GT(left, 32768 - 4096) << "read ahead without bound";
        ::close(keyPipe[0]);
        ::close(keyPipe[1]);
    }
}

TEST(TerminalBackend, OnATerminalTooSmallResizedAndPutBackForTheEnd) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master) | ::unlockpt(master), 0);
    const int tty = ::open(::ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_GE(tty, 0);
    const winsize small{20, 60, 0, 0}, fitting{28, 80, 0, 0};
    ASSERT_EQ(::ioctl(tty, TIOCSWINSZ, &small), 0);
    termios afterRestore{};
    // The program words the notice; the backend cuts it to the terminal's width.
    setBackendTexts({"Venster te klein: VELTRA heeft 80x28 tekens nodig.", "", ""});
    std::thread run([&] {
        TextScreen screen;
        runTerminalWindow(screen, tty, tty, [&](TextScreen& s) {
            printText(s, "Scherm een", true);
            awaitKey(s); // typed once the notice showed
            ::ioctl(tty, TIOCSWINSZ, &fitting);
            std::raise(SIGWINCH);
            printText(s, "Scherm twee", true);
            awaitKey(s);
            restoreTerminalForExit(); // as a signal handler would
            tcgetattr(tty, &afterRestore);
            printText(s, "Scherm drie", true);
            endProgram(s, 0);
        });
        ::close(tty);
    });
    std::string output;
    auto readUntil = [&](const std::string& text) {
        char buffer[4096];
        ssize_t got = 1;
        while (output.find(text) == std::string::npos && got > 0)
            if ((got = ::read(master, buffer, sizeof buffer)) > 0) output.append(buffer, got);
    };
    readUntil("Venster te klein: VELTRA heeft 80x28 tekens nodig.");
    EXPECT_EQ(output.find("Scherm"), std::string::npos) << "a cut-off screen";
    EXPECT_EQ(::write(master, "a", 1), 1);
    readUntil("Scherm twee");
    EXPECT_NE(output.find("Scherm een"), std::string::npos) << "not all drawn again";
    EXPECT_EQ(::write(master, "b", 1), 1);
    readUntil("the end: the terminal closes");
    run.join();
    ::close(master);
    EXPECT_EQ(output.find("\x1b[?1049h"), 0u);
    EXPECT_EQ(output.find("\x1b[?1049l"), output.size() - 8) << "not once at the end";
    EXPECT_EQ(output.find("Scherm drie"), std::string::npos);
    EXPECT_TRUE(afterRestore.c_lflag & ICANON);
    EXPECT_TRUE(afterRestore.c_lflag & ECHO);
}

} // namespace
