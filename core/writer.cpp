#include "core/writer.h"

#include "core/sector_access.h"
#include "core/write_sequence.h"

namespace {

// How often sector 0 is written again after a failed write before giving up.
constexpr int PutBackAttempts = 3;

bool coversSector0(const SectorWrite& write) {
    return write.lba == 0 && !write.sectors.empty();
}

// True when every sector the plan writes already holds what it would write:
// `now` is LBA 0 as just read; other sectors are read only when LBA 0 stays.
// One that cannot be read counts as a change.
bool changesNothing(int drive, const DiskPlan& plan, const SectorBuffer& now) {
    for (const SectorWrite& write : plan.writes)
        if (coversSector0(write) && write.sectors.front() != now) return false;
    for (const SectorWrite& write : plan.writes) {
        for (size_t n = 0; n < write.sectors.size(); ++n) {
            if (write.lba + n == 0) continue;
            SectorBuffer held{};
            if (!readSectors(drive, write.lba + n, &held, 1).ok() || held != write.sectors[n])
                return false;
        }
    }
    return true;
}

// The checks before the first write; Written when the writes may go ahead
// (or, with `unchanged` set, when there is nothing to write).
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
    // The state asked for holds already: no backup, no write.
    if (changesNothing(drive, plan, now)) {
        report.unchanged = true;
        return WriteResult::Written;
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
    if (report.result != WriteResult::Written || report.unchanged) {
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

WriteReport applyRunPlan(const RunState& run, int drive, const DiskPlan& plan) {
    return applyPlan(drive, plan, {run.makeBackups != 0, {}});
}
