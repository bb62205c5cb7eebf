// Guarded sector writes: what the operations and the editor do after a write
// the disk did not take, so that sector 0 of a drive is never left half written.
#pragma once

#include "core/installer_state.h"

// After a failed write: false when it failed on opening the disk and so never
// reached it; any other failure may have left the sector half written.
bool mayHaveChanged(const InstallerState& state);
// Writes `sector0` to LBA 0 of `drive` again after a failed write, a few
// tries; true once LBA 0 holds it.
bool putBackSector0(InstallerState& state, int drive, const SectorBuffer& sector0);
