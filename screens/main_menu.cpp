// The installer's interactive page: the main menu on drive 0 and the partition
// editor on drives 1..3, one routine with one key loop.
#include "screens/main_menu.h"

#include "core/disk_plan.h"
#include "core/menu_options.h"
#include "core/partition_table.h"
#include "core/record_store.h"
#include "screens/gradient_bar.h"
#include "screens/help_screen.h"
#include "screens/page_row.h"
#include "screens/partition_editor.h"

#include <algorithm>
#include <string_view>

namespace {

constexpr int FooterTop = 432; // pixel row of text row 28
constexpr char EnterChar = 13;
constexpr char EscapeChar = 27;
constexpr char IgnoredEnter = 14; // Enter on the partition editor, which ends nothing
// The scan codes of the keys the menu reads, as text_screen.h names them.
constexpr int ScanUp = KeyUp - ExtendedKeyBase;
constexpr int ScanDown = KeyDown - ExtendedKeyBase;
constexpr int ScanF1 = KeyF1 - ExtendedKeyBase;

const char* commandWordOf(int row) {
    const MenuOption* option = menuOptionAtRow(row);
    return option ? option->word.data() : nullptr;
}

int startRow(const InstallerState& state) {
    return state.isInstalled == 1 ? 8 : 9;
}

// Every printed row is exactly 80 bytes, so one print fills one row.
std::string fitRow(std::string text) {
    text.resize(TextScreen::Columns, ' ');
    return text;
}

void setRowColours(const InstallerState& state, TextScreen& screen, int k) {
    if (k == state.selectedRow) {
        setColor(screen, Black, Plum);
        return;
    }
    const bool mainPage = state.currentDrive == 0;
    const bool g1 = mainPage && state.isInstalled == 0 && k == 8;
    const bool g2 = mainPage && state.isInstalled == 1 && k >= 9;
    const bool g3 = k > 2 * state.partitionCount + 9;
    if (k <= 17 && (g1 || g2 || g3))
        setColor(screen, Grey, PaleRose);
    else
        setColor(screen, Black, PaleRose);
}

RecordLabel pageLabel(const InstallerState& state) {
    return state.currentDrive == 0 ? MainMenuText : PartitionScreenText;
}

// Rows first..last of the page, read from the page's label in order.
void printPageRows(InstallerState& state, TextScreen& screen, int first, int last) {
    restoreTo(state, pageLabel(state));
    for (int k = 1; k < first; ++k) readText(state);
    for (int k = first; k <= last; ++k) {
        setRowColours(state, screen, k);
        std::string row = translatedPageRow(readText(state));
        markMenuLine(state, row, k);
        printText(screen, row, false);
    }
}

void printDriveNumber(const InstallerState& state, TextScreen& screen) {
    moveCursor(screen, 6, 9);
    printNumber(screen, state.currentDrive, false);
}

void leaveCursorForMessages(TextScreen& screen) {
    moveCursor(screen, 22, 1);
    setColor(screen, Magenta, PaleRose);
}

void fullRepaint(InstallerState& state, TextScreen& screen) {
    state.fullRedraw = 0;
    moveCursor(screen, 1, 1);
    setColor(screen, White, Magenta);
    printText(screen, fitRow(state.menuTitle), false);
    drawTitleGradient(state, screen, 0);
    printPageRows(state, screen, 2, 27);
    printDriveNumber(state, screen);
    moveCursor(screen, 28, 1);
    setColor(screen, White, Magenta);
    printText(screen, translatedPageRow(readText(state)), false); // row 28 follows row 27
    drawTitleGradient(state, screen, FooterTop);
    leaveCursorForMessages(screen);
}

void partialRepaint(InstallerState& state, TextScreen& screen) {
    moveCursor(screen, 3, 1);
    printPageRows(state, screen, 3, 24);
    printDriveNumber(state, screen);
    leaveCursorForMessages(screen);
}

void moveDown(InstallerState& state) {
    int& row = state.selectedRow;
    const int n = state.partitionCount;
    row += 1; // D1
    if (row == 21) row = startRow(state);
    if (state.currentDrive == 0) {
        if (state.isInstalled == 1 && row == 9) row = 19; // D2
        if (row == 2 * n + 10) row = 19;                  // D3
    } else {
        if (row == 11 || row == 13 || row == 15) row += 1; // D4
        if (row == 17) row = 10;                           // D5
        if (row == 2 * n + 10) row = 10;                   // D6
    }
}

void moveUp(InstallerState& state) {
    int& row = state.selectedRow;
    const int n = state.partitionCount;
    row -= 1; // U1
    if (row == 7) row = 20;
    if (state.currentDrive == 0) {
        if (state.isInstalled == 1 && row == 18) row = 8; // U2
        if (row == 18) row = 2 * n + 9;                   // U3
        if (state.isInstalled == 0 && row == 8) row = 20; // U4
    } else {
        if (row == 11 || row == 13 || row == 15) row -= 1; // U5
        if (row == 9) row = 2 * n + 8;                     // U6
    }
}

void dispatchKey(InstallerState& state, TextScreen& screen) {
    const std::string& key = state.lastKey;
    if (key.size() == 2) {
        const int code = static_cast<unsigned char>(key[1]);
        if (code == ScanDown)
            moveDown(state);
        else if (code == ScanUp)
            moveUp(state);
        else if (code == ScanF1)
            showHelpScreen(state, screen);
    } else if (key.size() == 1) {
        const char c = key[0];
        const bool editKey = c == 'a' || c == 'A' || c == '+' || c == '-';
        if (editKey && state.selectedRow > 9 && state.selectedRow < 18)
            editPartitionFlags(state, c, state.selectedRow / 2 - 4);
        if (c > '/' && c < '4') switchDrive(state, c - '0');
    }
    if (!state.lastKey.empty() && state.lastKey[0] == EnterChar && state.currentDrive != 0)
        state.lastKey = std::string(1, IgnoredEnter);
}

} // namespace

void markMenuLine(const InstallerState& state, std::string& row, int rowNumber) {
    if (row.size() < TextScreen::Columns) row.resize(TextScreen::Columns, ' ');
    int partition = 0;
    int defaultKey = -1;
    if (state.currentDrive == 0) {
        const MenuOption* option = menuOptionAtRow(rowNumber);
        if (!option) return;
        partition = option->partition;
        defaultKey = option->defaultKey;
    } else if (rowNumber >= 10 && rowNumber <= 16 && rowNumber % 2 == 0) {
        // The editor's row of partition n, marked as the main menu's nZ row.
        partition = (rowNumber - 8) / 2;
        defaultKey = menuOptionAtRow(8 + 2 * partition)->defaultKey;
    } else {
        return;
    }
    if (partition != 0) {
        const int entry = partition - 1;
        if ((state.workSector[typeOffset(entry)] & HiddenBit) == 0) row[3] = '+';
        if (state.workSector[bootFlagOffset(entry)] == 0x80) row[2] = 'a';
    }
    if (state.workSector[DefaultKeyOffset] == defaultKey) row[73] = '*';
}

void paintMenuPage(InstallerState& state, TextScreen& screen) {
    if (state.fullRedraw == 1)
        fullRepaint(state, screen);
    else
        partialRepaint(state, screen);
}

void runMenuScreen(InstallerState& state, TextScreen& screen) {
    state.fullRedraw = 1;
    state.selectedRow = startRow(state);
    bool endedOnEnter = false;
    for (;;) {
        paintMenuPage(state, screen);
        if (!state.menuMessage.empty()) {
            printText(screen, state.menuMessage, false);
            leaveCursorForMessages(screen);
            state.menuMessage.clear();
            // The next key repaints the rows, the message row among them.
        }
        if (state.drawOnceCount == 0) {
            state.lastKey = awaitKey(screen);
            dispatchKey(state, screen);
        }
        if (state.drawOnceCount > 0) break;
        if (!state.lastKey.empty() &&
            (state.lastKey[0] == EnterChar || state.lastKey[0] == EscapeChar)) {
            endedOnEnter = state.lastKey[0] == EnterChar;
            break;
        }
    }
    if (endedOnEnter) {
        if (const char* word = commandWordOf(state.selectedRow)) state.commandWord = word;
    }
    state.drawOnceCount = std::max(0, state.drawOnceCount - 1);
}
