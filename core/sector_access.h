// Whole-sector access to the first four physical disks. Every call opens the
// disk, moves one 512-byte sector and closes it again; the outcome is left in
// state.lastError: 0 success, 6 the disk could not be opened (the buffer is
// then untouched), any other value a failed position, transfer or close.
#pragma once

#include "core/installer_state.h"

#include <cstdint>
#include <string>

constexpr uint32_t ErrorInvalidHandle = 6;

void readSector(InstallerState& state, int drive, uint64_t lba);   // into ioBuffer
void readSavedMbr(InstallerState& state, int drive, uint64_t lba); // into savedMbrBuffer
void writeSector(InstallerState& state, int drive, uint64_t lba);  // from ioBuffer

// An exclusive lock on the drive for the length of one sequence of writes, so
// that two programs never write one disk at once. False, and nothing held,
// when another program holds it. Held locks are given back by unlockDrive.
bool lockDrive(int drive);
void unlockDrive(int drive);

// Why the last open of `drive` failed, as one Dutch sentence for the line
// "  VELTRA 9.06: ...": missing rights, or the path that is missing, a
// folder or no disk.
std::string openFailureText(int drive);
