// The sector operations on the state's buffers, over the platform's
// transfers: each leaves its outcome in lastError for the screens to look at.
#include "core/sector_access.h"

void readSector(SectorIo& io, int drive, uint64_t lba) {
    io.lastError = readSectors(drive, lba, &io.ioBuffer, 1).code;
}

void readSavedMbr(SectorIo& io, int drive, uint64_t lba) {
    io.lastError = readSectors(drive, lba, &io.savedMbrBuffer, 1).code;
}

void writeSector(SectorIo& io, int drive, uint64_t lba) {
    io.lastError = writeSectors(drive, lba, &io.ioBuffer, 1).code;
}
