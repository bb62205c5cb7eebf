#pragma once

#include "core/installer_state.h"

// Reads LBA 0 of drive N and makes it the shown drive; nothing changes when the read fails.
void switchDrive(InstallerState& state, int drive);
// "a"/"A" activates, "+" unhides, "-" hides entry p (1..4) and writes LBA 0 of currentDrive.
void editPartitionFlags(InstallerState& state, char key, int partition);
