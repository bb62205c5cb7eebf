// Decisions about a disk, taken on sectors already read: pure functions, no
// I/O and no text. The caller reads, asks these for a plan (what refuses the
// request, whether to ask first, which sectors to write in which order), and
// hands the plan to the writer (core/writer.h), or prints it (--dry-run).
#pragma once

#include "boot_symbols.h"
#include "core/backup.h"
#include "core/installer_state.h"

#include <array>
#include <vector>

// Why a request is not carried out; the installer says it in words.
enum class Refusal {
    None,
    NoMbr,        // install: LBA 0 is no bootable MBR, so it could not be kept in LBA 1
    Gpt,          // install: LBA 1 holds a GPT header
    TooFew,       // install: fewer than two recognised partitions (after the question)
    NoSavedMbr,   // removal: LBA 1 is no bootable MBR
    NotInstalled, // removal on a disk without the boot program
    NoTable,      // HIDE, REST, an edit, removal: LBA 0 carries no 55h AAh, so no table
    Nothing,      // an edit that changes nothing (an unused entry)
    NoPauseField, // reconfigure: the installed start-up stage has no pause field (older build)
    OtherBuild,   // new texts: the installed boot program is not of this build
};

// One transfer: consecutive sectors from `lba` on, written with one sync.
struct SectorWrite {
    uint64_t lba = 0;
    std::vector<SectorBuffer> sectors;
};

struct DiskPlan {
    Refusal refusal = Refusal::None;
    bool askFreeSpace = false;       // install: LBA 1-4 are not empty, ask before writing
    SectorBuffer decidedOn{};        // LBA 0 as the plan saw it; the writer reads it again
    std::vector<SectorWrite> writes; // in this order
    SectorBuffer newSector0{};       // LBA 0 once every write is done
};

// LBA 0-4 of a drive.
using FirstSectors = std::array<SectorBuffer, 5>;
// The boot program's four sectors: LBA 0 (start-up stage) and LBA 2-4.
using BootImages = std::array<SectorBuffer, 4>;
// Where the boot program keeps them in LBA 0 (from its generated symbols).
constexpr int DefaultKeyOffset = bootsym::defaultKeyOffset;       // 112
constexpr int TableBlockStart = bootsym::tableBlockOffset;        // 432
constexpr int InstallMarkerOffset = bootsym::installMarkerOffset; // 32
// The pause in BIOS clock ticks (18.2 a second): a little-endian word, the
// immediate of a `mov di` (BFh at the byte before it).
constexpr int PauseTicksOffset = bootsym::pauseTicksOffset;   // 48
constexpr int DefaultPauseTicks = bootsym::pauseTicksDefault; // 55, 3 seconds
constexpr int MaxPauseTicks = 546;                            // 30 seconds

// Install with `defaultKey` (0: none) in byte 112. LBA 1-4 first (LBA 1 the
// disk's own sector 0), LBA 0 last, so that a stop at any moment leaves a
// disk that starts.
// `pauseTicks` goes into the pause field.
DiskPlan planInstall(const FirstSectors& disk, int defaultKey, const BootImages& images,
                     int pauseTicks = DefaultPauseTicks);
// Removal: LBA 1's MBR back into LBA 0 with the disk's live TableBlock, then
// LBA 1-4 zeroed.
DiskPlan planRemove(const FirstSectors& disk);
DiskPlan planHideAll(const SectorBuffer& lba0);
DiskPlan planRestoreAll(const SectorBuffer& lba0);
// The partition editor: 'a' activates, '+' unhides, '-' hides entry 0..3.
DiskPlan planEdit(const SectorBuffer& lba0, char key, int entry);
// What an installed boot program is changed to without a new install; an
// empty field stays as it is.
struct Reconfiguration {
    int defaultKey = -1; // DefaultKey (0: none), -1: unchanged
    int pauseTicks = -1; // 0..MaxPauseTicks, -1: unchanged
};
// One write of LBA 0 that changes only the DefaultKey byte and the pause
// field. Refused on a disk without the boot program, and for the pause on a
// start-up stage that has no pause field.
DiskPlan planReconfigure(const SectorBuffer& lba0, const Reconfiguration& change);
// The boot program of this build with other texts (`images`, another
// language) over an installed one: LBA 2-4 get images 1-3, then LBA 0 gets
// image 0 with the disk's TableBlock, DefaultKey and pause (or those of
// `change`). Stage 2 adds up to the same check value in every language, so
// the old stage 1 starts the new stage 2 and the disk starts at every
// moment. Refused on a disk without the boot program, and when the installed
// start-up stage would not accept the new stage 2 (another build).
DiskPlan planNewTexts(const FirstSectors& disk, const BootImages& images,
                      const Reconfiguration& change);
// The pause field of an installed start-up stage; -1 when it has none.
int pauseTicksOf(const SectorBuffer& lba0);
// Seconds in tenths to clock ticks (1193182 / 65536 = 18.2065 a second) and
// back, both rounded to the nearest: 30 (3 s) is 55 ticks, 300 is 546.
int pauseTicksFromTenths(int tenths);
int tenthsFromPauseTicks(int ticks);
// Removal's refusal for a disk without the boot program.
DiskPlan planNotInstalled(const SectorBuffer& lba0);

// Bytes 510..511 hold 55h AAh.
bool hasBootSignature(const SectorBuffer& sector);
// True when an entry of LBA 0 has type EEh: a GPT disk's protective MBR, perhaps.
bool hasProtectiveEntry(const SectorBuffer& lba0);
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
// A backup written back: LBA 0 last when it holds an install (its start-up
// stage needs LBA 1-4), first when it does not (the old MBR needs nothing
// else), so the disk starts at every moment.
DiskPlan planRestore(const Backup& backup, const SectorBuffer& lba0);
// Bytes 32..37 hold "VELTRA".
bool carriesInstallMarker(const SectorBuffer& sector);
