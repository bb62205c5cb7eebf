#include "core/guarded_write.h"

#include "core/backup.h"
#include "core/sector_access.h"
#include "core/write_sequence.h"

namespace {
// How often sector 0 is written again after a failed write before giving up.
constexpr int PutBackAttempts = 3;
} // namespace

bool mayHaveChanged(const InstallerState& state) {
    return state.lastError != ErrorInvalidHandle;
}

bool putBackSector0(InstallerState& state, int drive, const SectorBuffer& sector0) {
    for (int attempt = 0; attempt < PutBackAttempts; ++attempt) {
        state.ioBuffer = sector0;
        writeSector(state, drive, 0);
        if (state.lastError == 0) return true;
    }
    return false;
}

WriteGuard::WriteGuard(InstallerState& state, int drive, const SectorBuffer& decidedOn,
                       const std::string& keep)
    : driveNumber(drive), result(WriteCheck::InUse) {
    // Stops wait from here on, so that none falls between the check and the writes.
    beginWriteSequence();
    // LBA n lies at n * 512 only on a disk of 512-byte sectors.
    if (openDrive(drive) == 0 && sectorSizeOf(drive) != RequiredSectorSize) {
        state.sectorSize = sectorSizeOf(drive);
        result = WriteCheck::SectorSize;
        return;
    }
    if (!lockDrive(drive)) return;
    readSector(state, drive, 0);
    if (state.lastError != 0) {
        result = WriteCheck::ReadFailed;
        return;
    }
    for (int i = 0; i < 512; ++i)
        if (state.ioBuffer[i] != (decidedOn[i] & 0xFF)) {
            result = WriteCheck::Changed;
            return;
        }
    std::string file;
    if (state.makeBackups && !backupDrive(drive, file, state.backupError, keep)) {
        result = WriteCheck::NoBackup;
        return;
    }
    result = WriteCheck::Ready;
}

WriteGuard::~WriteGuard() {
    unlockDrive(driveNumber);
    endWriteSequence();
}
