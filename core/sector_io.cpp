// The sector operations on the state's buffers, over the platform's
// transfers: each leaves its outcome in lastError for the screens to look at.
#include "core/sector_access.h"

void readSector(InstallerState& state, int drive, uint64_t lba) {
    state.lastError = readSectors(drive, lba, &state.ioBuffer, 1).code;
}

void readSavedMbr(InstallerState& state, int drive, uint64_t lba) {
    state.lastError = readSectors(drive, lba, &state.savedMbrBuffer, 1).code;
}

void writeSector(InstallerState& state, int drive, uint64_t lba) {
    state.lastError = writeSectors(drive, lba, &state.ioBuffer, 1).code;
}
