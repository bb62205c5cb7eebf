// Whole-sector access to the first four physical disks. Every call opens the
// disk, moves one 512-byte sector and closes it again; the outcome is left in
// state.lastError: 0 success, 6 the disk could not be opened (the buffer is
// then untouched), any other value a failed position, transfer or close.
#pragma once

#include "core/installer_state.h"

#include <cstdint>

constexpr uint32_t ErrorInvalidHandle = 6;

void readSector(InstallerState& state, int drive, uint64_t lba);   // into ioBuffer
void readSavedMbr(InstallerState& state, int drive, uint64_t lba); // into savedMbrBuffer
void writeSector(InstallerState& state, int drive, uint64_t lba);  // from ioBuffer
