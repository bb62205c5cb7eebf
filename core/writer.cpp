#include "core/writer.h"

#include "core/sector_access.h"
#include "core/write_sequence.h"

namespace {

// How often sector 0 is written again after a failed write before giving up.
constexpr int PutBackAttempts = 3;

bool coversSector0(const SectorWrite& write) {
    return write.lba == 0 && !write.sectors.empty();
}

// The checks before the first write; Written when the writes may go ahead.
WriteResult prepare(int drive, const DiskPlan& plan, const WriteOptions& options,
                    WriteReport& report) {
    // LBA n lies at n * 512 only on a disk of 512-byte sectors.
    if (openDrive(drive) == 0 && sectorSizeOf(drive) != RequiredSectorSize) {
        report.sectorSize = sectorSizeOf(drive);
        return WriteResult::SectorSize;
    }
    if (!lockDrive(drive)) return WriteResult::InUse;
    SectorBuffer now{};
    if (const IoResult read = readSectors(drive, 0, &now, 1); !read.ok()) {
        report.error = read.code;
        return WriteResult::ReadFailed;
    }
    if (now != plan.decidedOn) {
        report.sector0Now = now;
        return WriteResult::Changed;
    }
    if (options.makeBackups && !backupDrive(drive, report.backupFile, report.backup, options.keep))
        return WriteResult::NoBackup;
    return WriteResult::Written;
}

} // namespace

StopsWait::StopsWait() {
    beginWriteSequence();
}

StopsWait::~StopsWait() {
    endWriteSequence();
}

WriteReport applyPlan(int drive, const DiskPlan& plan, const WriteOptions& options) {
    // Stops wait from here on, so that none falls between the check and the writes.
    StopsWait stops;
    WriteReport report;
    report.result = prepare(drive, plan, options, report);
    if (report.result != WriteResult::Written) {
        unlockDrive(drive);
        return report;
    }
    for (size_t i = 0; i < plan.writes.size(); ++i) {
        const SectorWrite& write = plan.writes[i];
        const IoResult written = writeSectors(drive, write.lba, write.sectors.data(),
                                              static_cast<int>(write.sectors.size()));
        if (written.ok()) {
            report.sector0Written = report.sector0Written || coversSector0(write);
            continue;
        }
        report.error = written.code;
        report.failedWrite = i;
        report.result = WriteResult::WriteFailed;
        // A transfer that broke off may have left LBA 0 half written; one that
        // never opened the disk did not touch it.
        if (coversSector0(write) && written.opened()) {
            bool back = false;
            for (int attempt = 0; attempt < PutBackAttempts && !back; ++attempt)
                back = writeSectors(drive, 0, &plan.decidedOn, 1).ok();
            if (!back) report.result = WriteResult::Sector0Lost;
        }
        break;
    }
    unlockDrive(drive);
    return report;
}
