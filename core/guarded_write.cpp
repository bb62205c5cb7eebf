#include "core/guarded_write.h"

#include "core/sector_access.h"

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
