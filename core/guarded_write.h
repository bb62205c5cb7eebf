// Guarded sector writes. Every sequence of writes of an operation or the
// partition editor runs inside a WriteGuard: the drive is locked against other
// programs, LBA 0 is read again and must still be the sector the decision was
// made on, LBA 0-4 are saved to a backup file, and a stop of the program waits
// until the writes are done. After a
// write the disk did not take, sector 0 is put back.
#pragma once

#include "core/installer_state.h"

#include <string>

enum class WriteCheck {
    Ready,      // locked, LBA 0 unchanged: the writes may go ahead
    InUse,      // another program holds the drive
    Changed,    // LBA 0 is no longer what the decision was made on (now in ioBuffer)
    ReadFailed, // LBA 0 could not be read again
    NoBackup,   // the backup of LBA 0-4 failed (state.backupError says why)
    SectorSize, // the drive's sectors are not 512 bytes: every offset would be wrong
};

class WriteGuard {
  public:
    // `keep`: a backup file that pruning must not remove (the one being restored).
    WriteGuard(InstallerState& state, int drive, const SectorBuffer& decidedOn,
               const std::string& keep = {});
    ~WriteGuard(); // gives the lock back and lets a stop that arrived meanwhile act
    WriteGuard(const WriteGuard&) = delete;
    WriteGuard& operator=(const WriteGuard&) = delete;

    WriteCheck check() const { return result; }
    int drive() const { return driveNumber; }

  private:
    int driveNumber;
    WriteCheck result;
};

// After a failed write: false when it failed on opening the disk and so never
// reached it; any other failure may have left the sector half written.
bool mayHaveChanged(const InstallerState& state);
// Writes `sector0` to LBA 0 of `drive` again after a failed write, a few
// tries; true once LBA 0 holds it.
bool putBackSector0(InstallerState& state, int drive, const SectorBuffer& sector0);
