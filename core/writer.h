// The one writer: applies a plan to a drive. Every write of the program goes
// through here: the drive is locked, LBA 0 is read again and must still be
// the sector the plan was made on, LBA 0-4 are saved to a backup, the writes
// go out in the plan's order (each one transfer and one sync), and when a
// write that covers LBA 0 fails, the sector that was there is put back. A
// stop of the program waits until all of this is done.
#pragma once

#include "core/backup.h"
#include "core/disk_plan.h"
#include "core/installer_state.h"

#include <string>

enum class WriteResult {
    Written,     // every write of the plan is on the disk
    InUse,       // another program holds the drive; nothing written
    Changed,     // LBA 0 is no longer what the plan was made on; nothing written
    ReadFailed,  // LBA 0 could not be read again; nothing written
    NoBackup,    // no backup could be made; nothing written
    SectorSize,  // the drive's sectors are not 512 bytes; nothing written
    WriteFailed, // a write failed; LBA 0 is what it was, or the plan's new LBA 0
    Sector0Lost, // a write of LBA 0 failed and the old sector could not be put back
};

struct WriteOptions {
    bool makeBackups = true;
    std::string keep; // a backup file that pruning must not remove
};

struct WriteReport {
    WriteResult result = WriteResult::Written;
    uint32_t error = 0;          // the system's code of the failed read or write
    uint32_t sectorSize = 0;     // SectorSize: what the drive has
    BackupFailure backup;        // NoBackup: why
    size_t failedWrite = 0;      // WriteFailed, Sector0Lost: the plan's write that failed
    bool sector0Written = false; // an earlier write put the plan's new LBA 0 on the disk
    SectorBuffer sector0Now{};   // Changed: LBA 0 as the disk holds it now
    std::string backupFile;      // the backup made
    bool unchanged = false;      // Written without a write: the disk held the plan already
};

WriteReport applyPlan(int drive, const DiskPlan& plan, const WriteOptions& options);
// The write of an operation or an edit of the program's run: backups as the run says.
WriteReport applyRunPlan(const RunState& run, int drive, const DiskPlan& plan);

// Holds stops of the program (Ctrl-C, SIGTERM, ...) for as long as it lives,
// e.g. from before the writes until the result line is out.
class StopsWait {
  public:
    StopsWait();
    ~StopsWait();
    StopsWait(const StopsWait&) = delete;
    StopsWait& operator=(const StopsWait&) = delete;
};
