// Whole-sector access to the first four physical disks. Each drive is opened
// once, on its first use, checked (a whole disk or an image file, never a
// partition, a folder or a pipe) and kept open: every transfer and the lock of
// the run go through that one descriptor, so a path swapped for another file
// while the program runs never redirects a read or a write. The outcome of a
// transfer is left in state.lastError: 0 success, 6 the disk could not be
// opened (the buffer is then untouched), any other value a failed position,
// transfer or sync.
#pragma once

#include "core/installer_state.h"

#include <cstdint>
#include <string>
#include <vector>

constexpr uint32_t ErrorInvalidHandle = 6;

// The outcome of a transfer: 0, 6 when the drive could not be opened, or the
// system's code (errno, or the Win32 code) of a failed position, transfer or
// sync.
struct IoResult {
    uint32_t code = 0;
    bool ok() const { return code == 0; }
    // False when the transfer never reached the drive (it could not be opened).
    bool opened() const { return code != ErrorInvalidHandle; }
};
// `count` consecutive sectors from `lba` into `out`, all or nothing.
IoResult readSectors(int drive, uint64_t lba, SectorBuffer* out, int count);
// `count` consecutive sectors from `lba` in one transfer, then one sync.
IoResult writeSectors(int drive, uint64_t lba, const SectorBuffer* data, int count);

void readSector(SectorIo& io, int drive, uint64_t lba);   // into ioBuffer
void readSavedMbr(SectorIo& io, int drive, uint64_t lba); // into savedMbrBuffer
void writeSector(SectorIo& io, int drive, uint64_t lba);  // from ioBuffer

// How drives are opened: for reading and writing (the default), or only for
// reading (--status). Takes effect for drives not yet opened.
void setDrivesReadOnly(bool readOnly);
// Closes every open drive (the next use opens it again); for tests that
// replace an image file between two runs.
void closeDrives();

// Why a drive could not be opened.
enum class OpenProblem {
    None,      // open (or not tried yet)
    NotNamed,  // no path or device names this drive
    Missing,   // the path does not exist
    Folder,    // the path is a folder
    NotADisk,  // neither a whole disk nor an image file
    Partition, // a partition of a disk rather than the whole disk
    NoRights,  // the system refused access
    ReadOnly,  // the disk, the file or its mount can only be read
    Other,     // any other error (openError says which)
};
// Opens drive N now if it is not open; 0 when it is open, else 6 with
// openProblem saying why.
uint32_t openDrive(int drive);
OpenProblem openProblem(int drive);
// A problem that lies in the name given, not in the rights of the program.
bool isNamingProblem(OpenProblem problem);
// The drive's logical sector size in bytes (512 for an image file); 0 when
// the drive is not open. VELTRA writes only on drives of 512-byte sectors.
uint32_t sectorSizeOf(int drive);
constexpr uint32_t RequiredSectorSize = 512;

// An exclusive lock on the drive for the length of one sequence of writes, so
// that two programs never write one disk at once. False, and nothing held,
// when another program holds it. Held locks are given back by unlockDrive.
// Taken on the drive's one descriptor.
bool lockDrive(int drive);
void unlockDrive(int drive);

// Why the last open of `drive` failed: the problem, the system's code, the
// path, and for a partition the whole disk it belongs to.
struct OpenFailure {
    OpenProblem problem = OpenProblem::None;
    int error = 0;
    std::string path;
    std::string wholeDisk;
};
OpenFailure openFailure(int drive);

// Naming the drives. Names from the command line (--drive), entry N being
// drive N, take the place of the platform's own naming (VELTRA_DRIVES on
// POSIX, \\.\PhysicalDriveN on Windows; there a name may also be a number).
void setDriveNames(const std::vector<std::string>& names);
// False on POSIX when neither --drive nor VELTRA_DRIVES names a disk: the
// program then does not guess which disk is the first.
bool drivesNamed();
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

// The drive's size in bytes; 0 when unknown.
uint64_t driveSize(int drive);
