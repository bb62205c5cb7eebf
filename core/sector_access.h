// Whole-sector access to the first four physical disks. Every call opens the
// disk, moves one 512-byte sector and closes it again; the outcome is left in
// state.lastError: 0 success, 6 the disk could not be opened (the buffer is
// then untouched), any other value a failed position, transfer or close.
#pragma once

#include "core/installer_state.h"

#include <cstdint>
#include <string>
#include <vector>

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

// Naming the drives. Names from the command line (--drive), entry N being
// drive N, take the place of the platform's own naming (VELTRA_DRIVES on
// POSIX, \\.\PhysicalDriveN on Windows; there a name may also be a number).
void setDriveNames(const std::vector<std::string>& names);
// False on POSIX when neither --drive nor VELTRA_DRIVES names a disk: the
// program then does not guess which disk is the first.
bool drivesNamed();
// Empty when `name` may be given to --drive; otherwise a Dutch sentence why
// not (missing, a folder, a partition rather than the whole disk, no disk).
std::string checkDriveName(const std::string& name);
// The path or device name of drive N; empty when none is named.
std::string driveName(int drive);
// A whole disk of this machine as the system lists it.
struct WholeDisk {
    std::string path; // /dev/sda
    uint64_t bytes = 0;
    std::string model; // empty when the system names none
};
// The whole disks of this machine (none on Windows, whose drives are numbers).
std::vector<WholeDisk> wholeDisksOfMachine();
// The whole disks of this machine, one line each (path, size, model), to
// choose from.
std::vector<std::string> describeWholeDisks();

// Reads a sector without asking for write access, into `out`; 0 or the error.
uint32_t peekSector(int drive, uint64_t lba, SectorBuffer& out);
// The drive's size in bytes; 0 when unknown.
uint64_t driveSize(int drive);
