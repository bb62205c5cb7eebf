// A real window for the Xvfb test: a screen of text (all 256 glyphs among it)
// that reports every key it reads on standard output, one line per key
// ("key 255 72"), until "q" ends it with exit code 7 (or the end of the input,
// when it had to fall back to the terminal).
#include "display/text_screen.h"
#include "display/window.h"

#include <cstdio>
#include <mutex>
#include <string>

int main(int, char** argv) {
    TextScreen screen;
    return runWithWindow(screen, argv[0], [](TextScreen& s) {
        openWindow(s, 640, 448, 32);
        setTextGrid(s, 80, 28);
        setColor(s, White, Magenta);
        std::string title = " Venstertest";
        title.resize(80, ' ');
        printText(s, title, false);
        setColor(s, Black, PaleRose);
        for (int row = 2; row <= 27; ++row) {
            std::string text(80, ' ');
            if (row >= 4 && row < 8) // the whole code page, 64 bytes a row
                for (int i = 0; i < 64; ++i) text[4 + i] = static_cast<char>((row - 4) * 64 + i);
            if (row == 10) text.replace(2, 26, "Geef toetsen; q stopt. ge\x8B");
            printText(s, text, false);
        }
        setColor(s, White, Magenta);
        printText(s, std::string(80, ' '), false);
        moveCursor(s, 12, 3);
        setColor(s, DarkPurple, PaleRose);
        for (;;) {
            const std::string key = awaitKey(s);
            std::string line = "key";
            for (unsigned char c : key) line += " " + std::to_string(c);
            std::printf("%s\n", line.c_str());
            std::fflush(stdout);
            moveCursor(s, 12, 3);
            printText(s, line + "        ", false);
            if (key == "q") break;
            bool ended = false;
            {
                std::lock_guard<std::mutex> hold(s.keys.lock);
                ended = s.keys.inputClosed;
            }
            if (key == "\x1B" && ended && pendingKeys(s.keys) == 0) break;
        }
        endProgram(s, 7);
    });
}
