#pragma once

#include "installer/installer_state.h"
#include "screens/text_screen.h"

// Shows the 24 help rows over rows 3..26, waits for any key, asks for a full repaint.
void showHelpScreen(InstallerState& state, TextScreen& screen);
