#pragma once

#include "installer/installer_state.h"
#include "screens/text_screen.h"

enum class Outcome { Done, Cancelled, NothingToDo };

// Fills defaultKeyTable: 1Z 104, 1V 59, 2Z 105, 2V 60, 3Z 106, 3V 61, 4Z 107, 4V 62.
void fillDefaultKeyTable(InstallerState& state);
Outcome hideAll(InstallerState& state, TextScreen& screen);
Outcome restoreAll(InstallerState& state, TextScreen& screen);
Outcome removeBootProgram(InstallerState& state, TextScreen& screen);
Outcome installBootProgram(InstallerState& state, TextScreen& screen);

// After a failed write: false when it failed on opening the disk and so never
// reached it; any other failure may have left the sector half written.
bool mayHaveChanged(const InstallerState& state);
// Writes `sector0` to LBA 0 of `drive` again after a failed write, a few
// tries; true once LBA 0 holds it.
bool putBackSector0(InstallerState& state, int drive, const SectorBuffer& sector0);
