// Text of the command line shown in the program's window, for a start that
// has no console or terminal to write it to.
#include "installer/platform.h"

#include "core/catalogue.h"
#include "display/font_cp437.h"
#include "display/window.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

// Lines wider than a row break at their last space that fits; the rest goes
// on below, lined up with the text after the line's last wide gap (where the
// usage text's explanations start).
void addWrapped(std::vector<std::string>& rows, std::string line) {
    constexpr size_t Width = TextScreen::Columns - 1;
    while (line.size() > Width) {
        const size_t gap = line.rfind("  ", Width);
        const size_t indent =
            std::min(gap == std::string::npos ? 2 : line.find_first_not_of(' ', gap), Width / 2);
        size_t cut = line.rfind(' ', Width);
        if (cut == std::string::npos || cut <= indent) cut = Width;
        rows.push_back(line.substr(0, cut));
        const size_t rest = line.find_first_not_of(' ', cut);
        if (rest == std::string::npos) return;
        line = std::string(indent, ' ') + line.substr(rest);
    }
    rows.push_back(line);
}

// The text in the window, a page of 26 rows at a time; a key shows the next
// page, Escape or the close button ends at once.
void showPages(TextScreen& shown, const std::string& utf8, int exitCode) {
    const std::string text = cp437FromUtf8(utf8);
    std::vector<std::string> lines;
    for (size_t start = 0; start < text.size();) {
        const size_t end = std::min(text.find('\n', start), text.size());
        addWrapped(lines, text.substr(start, end - start));
        start = end + 1;
    }
    const size_t perPage = TextScreen::Rows - 2; // and an empty row and the prompt
    openWindow(shown, 640, 448, 32);
    setTextGrid(shown, 80, 28);
    setColor(shown, PaleRose, Black);
    for (size_t first = 0;; first += perPage) {
        clearScreen(shown);
        moveCursor(shown, 1, 1, CursorVisibility::Hide);
        for (size_t i = first; i < lines.size() && i < first + perPage; ++i)
            printText(shown, lines[i], true);
        const bool more = first + perPage < lines.size();
        moveCursor(shown, TextScreen::Rows, 1);
        printText(shown,
                  cp437FromUtf8(more ? tr("  Druk op een toets voor meer, Escape stopt.")
                                     : tr("  Druk op een willekeurige toets.")),
                  false);
        const std::string key = awaitKey(shown);
        const bool stop = key == std::string(1, char(KeyEscape)) ||
                          key == std::string{char(0xFF), char(KeyClose - ExtendedKeyBase)};
        if (!more || stop) break;
    }
    endProgram(shown, exitCode);
}

} // namespace

int showTextInWindow(TextScreen& screen, const std::string& text, int exitCode) {
    runWithWindow(screen, "veltra", [&](TextScreen& shown) { showPages(shown, text, exitCode); });
    return exitCode;
}

int showTextInWindow(const std::string& text, int exitCode) {
    auto screen = std::make_unique<TextScreen>();
    return showTextInWindow(*screen, text, exitCode);
}
