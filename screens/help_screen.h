#pragma once

#include "core/installer_state.h"
#include "display/text_screen.h"

// Shows the 24 help rows over rows 3..26, waits for any key, asks for a full repaint.
void showHelpScreen(InstallerState& state, TextScreen& screen);
