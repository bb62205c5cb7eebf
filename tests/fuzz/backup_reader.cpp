// Any bytes read as a backup file: a backup or a named problem, never a read
// past the bytes; whatever is taken, the restore check judges the same way
// twice and never lets through a backup whose LBA 0 lacks 55h AAh.
#include "core/backup.h"
#include "core/disk_plan.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> bytes(data, data + size);
    Backup backup;
    BackupFileProblem problem = BackupFileProblem::None;
    if (!decodeBackup(bytes, backup, problem)) {
        if (problem != BackupFileProblem::NotBackup && problem != BackupFileProblem::Damaged)
            std::abort();
        return 0;
    }
    if (problem != BackupFileProblem::None) std::abort();
    // What it took is a backup that reads back as itself.
    Backup again;
    if (!decodeBackup(encodeBackup(backup), again, problem) || again.sectors != backup.sectors ||
        !(again.identity == backup.identity) || again.time != backup.time)
        std::abort();
    // Against its own disk, another disk, with and without --force.
    const SectorBuffer lba1 = backup.sectors[1];
    for (const DiskIdentity& target : {backup.identity, identityOf(backup.sectors[2], 1)})
        for (bool force : {false, true}) {
            const RestoreCheck first = checkRestore(backup, target, lba1, force);
            if (checkRestore(backup, target, lba1, force) != first) std::abort();
            if (first == RestoreCheck::Ready && !hasBootSignature(backup.sectors[0])) std::abort();
            if (isAlwaysRefused(first) && checkRestore(backup, target, lba1, !force) != first)
                std::abort();
        }
    return 0;
}
