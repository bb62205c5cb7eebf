#pragma once

#include "core/installer_state.h"
#include "display/text_screen.h"

enum class Outcome { Done, Cancelled, NothingToDo };

// Fills defaultKeyTable: 1Z 104, 1V 59, 2Z 105, 2V 60, 3Z 106, 3V 61, 4Z 107, 4V 62.
void fillDefaultKeyTable(InstallerState& state);
Outcome hideAll(InstallerState& state, TextScreen& screen);
Outcome restoreAll(InstallerState& state, TextScreen& screen);
Outcome removeBootProgram(InstallerState& state, TextScreen& screen);
Outcome installBootProgram(InstallerState& state, TextScreen& screen);
