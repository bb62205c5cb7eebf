// The terminal while the program has it: its settings and signals, and the
// rows of the cell grid written to it. Used by the terminal backend only.
#pragma once

#include "display/text_screen.h"
#include "display/window.h"
#include "display/window_posix.h"

#include <array>
#include <string>
#include <vector>

using CellGrid = std::array<Cell, TextScreen::Columns * TextScreen::Rows>;

// One terminal session, from enterTerminal to leaveTerminal.
struct TerminalSession {
    int inputFd = -1;
    int outputFd = -1;
    bool inputIsTerminal = false;  // keys typed, read byte by byte without echo
    bool outputIsTerminal = false; // else a file or pipe: every row ends its line
    ScreenUse use = ScreenUse::Whole;
    TerminalColours colours = TerminalColours::TrueColour;
};

// Takes the terminal: settings for single keys, the signals that end the
// program put it back first, SIGWINCH wakes the loop through `wakeFd`; the
// whole grid goes to the alternate screen, lines in place stay where they are.
void enterTerminal(const TerminalSession& session, int wakeFd);
// Puts the terminal back as it was and the signals as they were.
void leaveTerminal(const TerminalSession& session);
// Whether a SIGWINCH came since the last look; clears it.
bool takeResize();
// Writes `out` while the terminal is the program's (not after it was put back).
void writeFrame(const TerminalSession& session, const std::string& out);
// The size of the terminal behind `fd`; false when it cannot be told.
bool terminalSize(int fd, int& columns, int& rows);

// What has been written of the grid, to write only what changed.
struct ShownRows {
    CellGrid cells{};
    bool everything = true;         // the next draw writes every row
    std::vector<std::string> lines; // lines in place written so far, the cursor below them
};
// Writes the rows of `cells` that differ from `shown`: the whole grid by
// cursor positions, or the rows with text as lines in place, each run of empty
// rows as one empty line (the cursor moved up to the first changed line and
// back below the last).
void drawRows(const TerminalSession& session, const CellGrid& cells, ShownRows& shown);
