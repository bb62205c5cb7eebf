#pragma once

#include "core/installer_state.h"
#include "display/text_screen.h"

#include <string>

// The main menu (drive 0) and the partition editor (drives 1..3). Returns on
// Enter (main menu: commandWord set), Escape, or after one paint when
// state.drawOnceCount > 0. Leaves the cursor at (22, 1) in Magenta on PaleRose.
void runMenuScreen(InstallerState& state, TextScreen& screen);
// One pass's painting: the whole page when state.fullRedraw = 1 (clearing it),
// else rows 3..24 and the drive number. Cursor left at (22, 1), Magenta on PaleRose.
void paintMenuPage(InstallerState& state, TextScreen& screen);
// Writes the state marks of row `rowNumber` into that 80-byte row: the flags of
// its partition in columns 3-4, a "*" in column 74 for the stored default.
void markMenuLine(const InstallerState& state, std::string& row, int rowNumber);
