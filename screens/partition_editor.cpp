// The partition keys of the menu pages: choosing the shown drive and hiding,
// unhiding or activating one primary entry of its MBR.
#include "screens/partition_editor.h"

#include "core/guarded_write.h"
#include "core/partition_table.h"
#include "core/sector_access.h"

namespace {

std::string refusalText(const InstallerState& state, WriteCheck check, int drive) {
    const std::string name = "Drive " + std::to_string(drive);
    switch (check) {
    case WriteCheck::InUse:
        return "  " + name + " is in gebruik door een ander programma, er is niets gewijzigd.";
    case WriteCheck::Changed:
        return "  De partitietabel is intussen gewijzigd, er is niets veranderd.";
    case WriteCheck::NoBackup:
        return "  Geen back-up gemaakt (" + state.backupError + "), er is niets veranderd.";
    case WriteCheck::SectorSize:
        return "  " + name + " heeft sectoren van " + std::to_string(state.sectorSize) +
               " bytes (niet 512), er is niets gewijzigd.";
    case WriteCheck::ReadFailed:
    case WriteCheck::Ready:
        break;
    }
    return "  Lezen van de schijf is mislukt, er is niets veranderd.";
}

} // namespace

void switchDrive(InstallerState& state, int drive) {
    if (drive < 0 || drive > 3) return;
    readSector(state, drive, 0);
    // A disk that is missing or cannot be read leaves the page as it was.
    if (state.lastError != 0) return;
    state.workSector = state.ioBuffer;
    state.currentDrive = drive;
    if (drive != 0)
        state.selectedRow = 10;
    else
        state.selectedRow = state.isInstalled == 1 ? 8 : 9;
    countPrimaryPartitions(state);
}

void editPartitionFlags(InstallerState& state, char key, int partition) {
    if (partition < 1 || partition > 4) return;
    const int entry = partition - 1;
    // An unused slot (type 0) has nothing to hide or start: activating it
    // would take the boot flag away from the partition that starts the disk.
    if (state.workSector[typeOffset(entry)] == 0) return;

    const SectorBuffer before = state.workSector;
    if (key == 'a' || key == 'A')
        setActive(state.workSector, entry);
    else if (key == '+')
        unhideEntry(state.workSector, entry);
    else if (key == '-')
        hideEntry(state.workSector, entry);
    else
        return;

    WriteGuard guard(state, state.currentDrive, before);
    if (guard.check() != WriteCheck::Ready) {
        // Another program holds the drive or changed its table, or no backup
        // could be made: nothing is written, the page shows the table the
        // disk holds now and the message row says why.
        state.workSector = before;
        if (guard.check() == WriteCheck::Changed) state.workSector = state.ioBuffer;
        state.menuMessage = refusalText(state, guard.check(), state.currentDrive);
        return;
    }
    state.ioBuffer = state.workSector;
    writeSector(state, state.currentDrive, 0);
    if (state.lastError == 0) return;
    // The page shows what the disk holds: an edit the disk did not take is
    // dropped again, and a sector it may have half taken is written back.
    state.workSector = before;
    bool intact = true;
    if (mayHaveChanged(state)) {
        const uint32_t writeError = state.lastError;
        SectorBuffer original{};
        original = before;
        intact = putBackSector0(state, state.currentDrive, original);
        state.lastError = writeError;
    }
    state.menuMessage = intact ? "  Schrijven naar de schijf is mislukt, er is niets veranderd."
                               : "  Schrijven naar sector 0 is mislukt, de schijf start mogelijk "
                                 "niet meer op!";
}
