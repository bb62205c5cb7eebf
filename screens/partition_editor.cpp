// The partition keys of the menu pages: choosing the shown drive and hiding,
// unhiding or activating one primary entry of its MBR.
#include "screens/partition_editor.h"

#include "core/disk_plan.h"
#include "core/partition_table.h"
#include "core/sector_access.h"
#include "core/writer.h"

void switchDrive(InstallerState& state, int drive) {
    readSector(state, drive, 0);
    // A disk that is missing or cannot be read (or a number that names no
    // drive) leaves the page as it was.
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
    // A partition number outside 1-4 or another key is refused by the plan.
    const DiskPlan plan = planEdit(state.workSector, key, partition - 1);
    if (plan.refusal != Refusal::None) return;
    const WriteReport written = applyRunPlan(state, state.currentDrive, plan);
    state.lastError = written.error;
    // The page shows what the disk holds: the edit when it was written, the
    // table another program wrote meanwhile, else the table as it was; the
    // message row says why an edit was not written.
    if (written.result == WriteResult::Written) state.workSector = plan.newSector0;
    if (written.result == WriteResult::Changed) state.workSector = written.sector0Now;
    if (written.result != WriteResult::Written && state.editMessage)
        state.menuMessage = state.editMessage(written, state.currentDrive);
}
