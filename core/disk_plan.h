// Decisions about a disk, taken on sectors already read: pure functions, no
// I/O and no text. The caller reads, asks these, and only then writes.
#pragma once

#include "core/backup.h"
#include "core/installer_state.h"

// Bytes 510..511 hold 55h AAh.
bool hasBootSignature(const SectorBuffer& sector);
// LBA 1 begins with the GPT header's "EFI PART".
bool isGptHeader(const SectorBuffer& lba1);
// The boot program's stage 2 in LBA 2-4 is whole: its words and the check word
// in LBA 0 add up to 0.
bool stage2Intact(const SectorBuffer& lba0, const SectorBuffer& lba2, const SectorBuffer& lba3,
                  const SectorBuffer& lba4);

// Whether a backup may be written over a disk.
enum class RestoreCheck {
    Ready,
    // Refused unless forced: the backup looks like another disk's.
    OtherSignature, // the disk signatures differ
    OtherSize,      // the disks differ in size
    OtherEntries,   // the entries start or end elsewhere
    Unidentified,   // signature 0 and no entries: nothing tells the disks apart
    // Refused always: writing it would leave a disk that cannot start.
    NoBootSignature, // the backup's LBA 0 lacks 55h AAh
    NoSavedMbr,      // an installed backup whose LBA 1 is no bootable MBR
    Stage2Damaged,   // an installed backup whose LBA 2-4 fail the check sum
    TargetGpt,       // the disk has a GPT header, which LBA 1-4 would overwrite
};
// `target` is the disk as it is now (its identity from LBA 0 and its size),
// `targetLba1` its LBA 1.
RestoreCheck checkRestore(const Backup& backup, const DiskIdentity& target,
                          const SectorBuffer& targetLba1, bool force);
// Refused whatever --force says.
bool isAlwaysRefused(RestoreCheck check);
// The order of a restore's writes: LBA 0 last when the backup holds an
// install (its start-up stage needs LBA 1-4), first when it does not (the old
// MBR needs nothing else), so the disk starts at every moment.
std::array<int, BackupSectorCount> restoreOrder(const Backup& backup);
