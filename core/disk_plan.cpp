#include "core/disk_plan.h"

#include "boot_symbols.h"
#include "core/partition_table.h"

#include <algorithm>
#include <string_view>

namespace {

bool carriesMarker(const SectorBuffer& lba0) {
    return carriesInstallMarker(lba0);
}

DiskPlan onSector0(const SectorBuffer& lba0) {
    DiskPlan plan;
    plan.decidedOn = lba0;
    plan.newSector0 = lba0;
    return plan;
}

// A plan that writes the new LBA 0 (the writer leaves out a write that changes nothing).
DiskPlan writeSector0(DiskPlan plan) {
    plan.writes.push_back({0, {plan.newSector0}});
    return plan;
}

// The pause field: the clock ticks as a little-endian word.
void setPauseTicks(SectorBuffer& lba0, int ticks) {
    lba0[PauseTicksOffset] = static_cast<uint8_t>(ticks);
    lba0[PauseTicksOffset + 1] = static_cast<uint8_t>(ticks >> 8);
}

} // namespace

bool carriesInstallMarker(const SectorBuffer& sector) {
    return std::string_view(reinterpret_cast<const char*>(sector.data()) + InstallMarkerOffset,
                            6) == "VELTRA";
}

DiskPlan planInstall(const FirstSectors& disk, int defaultKey, const BootImages& images,
                     int pauseTicks) {
    DiskPlan plan = onSector0(disk[0]);
    // The disk's sector 0 becomes the saved MBR that a removal puts back and
    // that every start runs: it must be one. LBA 1 onwards of a GPT disk hold
    // its header and entries: never offered for overwriting.
    // A GPT disk is named as one, whatever its protective MBR holds.
    if (isGptHeader(disk[1]))
        plan.refusal = Refusal::Gpt;
    else if (!isBootableMbr(disk[0]))
        plan.refusal = Refusal::NoMbr;
    if (plan.refusal != Refusal::None) return plan;
    for (int lba = 1; lba <= 4; ++lba)
        for (uint8_t byte : disk[lba])
            if (byte != 0) plan.askFreeSpace = true;
    if (countRecognised(disk[0]) < 2) {
        plan.refusal = Refusal::TooFew;
        return plan;
    }
    SectorBuffer sector0 = images[0];
    std::copy(disk[0].begin() + TableBlockStart, disk[0].end(), sector0.begin() + TableBlockStart);
    if (defaultKey != 0) sector0[DefaultKeyOffset] = static_cast<uint8_t>(defaultKey);
    setPauseTicks(sector0, pauseTicks);
    plan.newSector0 = sector0;
    plan.writes.push_back({1, {disk[0], images[1], images[2], images[3]}});
    plan.writes.push_back({0, {sector0}});
    return plan;
}

DiskPlan planRemove(const FirstSectors& disk) {
    DiskPlan plan = onSector0(disk[0]);
    // A cleared or overwritten LBA 1 would leave a disk without boot code.
    if (!isBootableMbr(disk[1])) {
        plan.refusal = Refusal::NoSavedMbr;
        return plan;
    }
    // The live bytes 432..511 go into the restored sector: without 55h AAh
    // they hold no table and would leave a sector 0 that no BIOS starts.
    if (!hasBootSignature(disk[0])) {
        plan.refusal = Refusal::NoTable;
        return plan;
    }
    // A start-up stage whose code runs up to byte 439 ends in a near jump to
    // stage 2 (E9h 48h 00h at 437); its bytes 432..439 are program, not disk.
    const SectorBuffer& live = disk[0];
    const bool codeUpTo439 =
        live[436] == 0x09 && live[437] == 0xE9 && live[438] == 0x48 && live[439] == 0x00;
    SectorBuffer restored = disk[1];
    std::copy(live.begin() + (codeUpTo439 ? 440 : TableBlockStart), live.end(),
              restored.begin() + (codeUpTo439 ? 440 : TableBlockStart));
    plan.newSector0 = restored;
    // LBA 0 first: a stop after it leaves a disk that starts through its old MBR.
    plan.writes.push_back({0, {restored}});
    plan.writes.push_back({1, std::vector<SectorBuffer>(4, SectorBuffer{})});
    return plan;
}

DiskPlan planNotInstalled(const SectorBuffer& lba0) {
    DiskPlan plan = onSector0(lba0);
    plan.refusal = Refusal::NotInstalled;
    return plan;
}

int pauseTicksOf(const SectorBuffer& lba0) {
    // The field is the immediate of `mov di, imm16` (BFh); a start-up stage
    // built before it has other code there, which the field must not overwrite.
    if (!carriesMarker(lba0) || lba0[PauseTicksOffset - 1] != 0xBF) return -1;
    return lba0[PauseTicksOffset] | lba0[PauseTicksOffset + 1] << 8;
}

int pauseTicksFromTenths(int tenths) {
    return static_cast<int>((tenths * 1193182LL + 327680) / 655360);
}

int tenthsFromPauseTicks(int ticks) {
    return static_cast<int>((ticks * 655360LL + 596591) / 1193182);
}

DiskPlan planReconfigure(const SectorBuffer& lba0, const Reconfiguration& change) {
    DiskPlan plan = onSector0(lba0);
    if (!carriesMarker(lba0)) {
        plan.refusal = Refusal::NotInstalled;
        return plan;
    }
    if (change.pauseTicks >= 0 && pauseTicksOf(lba0) < 0) {
        plan.refusal = Refusal::NoPauseField;
        return plan;
    }
    SectorBuffer& s = plan.newSector0;
    if (change.defaultKey >= 0) s[DefaultKeyOffset] = static_cast<uint8_t>(change.defaultKey);
    if (change.pauseTicks >= 0) setPauseTicks(s, change.pauseTicks);
    return writeSector0(plan);
}

DiskPlan planNewTexts(const FirstSectors& disk, const BootImages& images,
                      const Reconfiguration& change) {
    DiskPlan plan = onSector0(disk[0]);
    if (!carriesMarker(disk[0])) {
        plan.refusal = Refusal::NotInstalled;
        return plan;
    }
    const int pause = pauseTicksOf(disk[0]);
    if (pause < 0 || !stage2Intact(disk[0], images[1], images[2], images[3])) {
        plan.refusal = Refusal::OtherBuild;
        return plan;
    }
    SectorBuffer sector0 = images[0];
    std::copy(disk[0].begin() + TableBlockStart, disk[0].end(), sector0.begin() + TableBlockStart);
    sector0[DefaultKeyOffset] = static_cast<uint8_t>(
        change.defaultKey >= 0 ? change.defaultKey : disk[0][DefaultKeyOffset]);
    setPauseTicks(sector0, change.pauseTicks >= 0 ? change.pauseTicks : pause);
    plan.newSector0 = sector0;
    plan.writes.push_back({2, {images[1], images[2], images[3]}});
    plan.writes.push_back({0, {sector0}});
    return plan;
}

DiskPlan planHideAll(const SectorBuffer& lba0) {
    DiskPlan plan = onSector0(lba0);
    // A sector without 55h AAh holds no partition table to change.
    if (!hasBootSignature(lba0)) {
        plan.refusal = Refusal::NoTable;
        return plan;
    }
    for (int entry = 0; entry < 4; ++entry)
        plan.newSector0[typeOffset(entry)] =
            static_cast<uint8_t>(hideRule(plan.newSector0[typeOffset(entry)]));
    return writeSector0(plan);
}

// REST: every recognised partition visible, and the first recognised one (the
// one F1 starts at boot) active. With none recognised the boot flags stay as
// they are: an empty or foreign slot 1 must not take the flag off the
// partition that starts the disk. Only bit 7 of a boot flag is the flag, as
// at boot time.
DiskPlan planRestoreAll(const SectorBuffer& lba0) {
    DiskPlan plan = onSector0(lba0);
    if (!hasBootSignature(lba0)) {
        plan.refusal = Refusal::NoTable;
        return plan;
    }
    SectorBuffer& s = plan.newSector0;
    int active = -1;
    for (int entry = 0; entry < 4 && active < 0; ++entry)
        if (isRecognisedType(s[typeOffset(entry)])) active = entry;
    for (int entry = 0; entry < 4; ++entry) {
        uint8_t& flag = s[bootFlagOffset(entry)];
        if (active >= 0) flag = static_cast<uint8_t>((flag & 0x7F) | (entry == active ? 0x80 : 0));
        s[typeOffset(entry)] = static_cast<uint8_t>(unhideRule(s[typeOffset(entry)]));
    }
    return writeSector0(plan);
}

DiskPlan planEdit(const SectorBuffer& lba0, char key, int entry) {
    DiskPlan plan = onSector0(lba0);
    // Without 55h AAh the bytes at the entries' places are no table but
    // perhaps the header of another format: not a bit of it is changed.
    if (!hasBootSignature(lba0)) {
        plan.refusal = Refusal::NoTable;
        return plan;
    }
    // An unused slot (type 0) has nothing to hide or start: activating it
    // would take the boot flag away from the partition that starts the disk.
    if (entry < 0 || entry > 3 || lba0[typeOffset(entry)] == 0) {
        plan.refusal = Refusal::Nothing;
        return plan;
    }
    if (key == 'a' || key == 'A')
        setActive(plan.newSector0, entry);
    else if (key == '+')
        unhideEntry(plan.newSector0, entry);
    else if (key == '-')
        hideEntry(plan.newSector0, entry);
    else
        plan.refusal = Refusal::Nothing;
    return plan.refusal == Refusal::None ? writeSector0(plan) : plan;
}
bool hasBootSignature(const SectorBuffer& sector) {
    return sector[510] == 0x55 && sector[511] == 0xAA;
}

bool hasProtectiveEntry(const SectorBuffer& lba0) {
    for (int e = 0; e < 4; ++e)
        if (lba0[typeOffset(e)] == 0xEE) return true;
    return false;
}

bool isGptHeader(const SectorBuffer& lba1) {
    return std::string_view(reinterpret_cast<const char*>(lba1.data()), 8) == "EFI PART";
}

bool stage2Intact(const SectorBuffer& lba0, const SectorBuffer& lba2, const SectorBuffer& lba3,
                  const SectorBuffer& lba4) {
    const int at = bootsym::stage2CheckOffset;
    unsigned sum = lba0[at] | lba0[at + 1] << 8;
    for (const SectorBuffer* s : {&lba2, &lba3, &lba4})
        for (int i = 0; i < 512; i += 2) sum += (*s)[i] | (*s)[i + 1] << 8;
    return (sum & 0xFFFF) == 0;
}

RestoreCheck checkRestore(const Backup& backup, const DiskIdentity& target,
                          const SectorBuffer& targetLba1, bool force) {
    const BackupSectors& s = backup.sectors;
    if (!hasBootSignature(s[0])) return RestoreCheck::NoBootSignature;
    if (carriesMarker(s[0])) {
        if (!isBootableMbr(s[1])) return RestoreCheck::NoSavedMbr;
        if (!stage2Intact(s[0], s[2], s[3], s[4])) return RestoreCheck::Stage2Damaged;
    }
    if (isGptHeader(targetLba1)) return RestoreCheck::TargetGpt;
    if (force) return RestoreCheck::Ready;
    const DiskIdentity& id = backup.identity;
    if (id.signature != target.signature) return RestoreCheck::OtherSignature;
    // A backup of the first format does not know the size.
    if (id.sectors != 0 && id.sectors != target.sectors) return RestoreCheck::OtherSize;
    if (id.starts != target.starts || id.lengths != target.lengths)
        return RestoreCheck::OtherEntries;
    // Every blank disk has signature 0: a match needs entries as well.
    bool anyEntry = false;
    for (uint32_t length : id.lengths) anyEntry = anyEntry || length != 0;
    if (id.signature == 0 && !anyEntry) return RestoreCheck::Unidentified;
    return RestoreCheck::Ready;
}

bool isAlwaysRefused(RestoreCheck check) {
    return check == RestoreCheck::NoBootSignature || check == RestoreCheck::NoSavedMbr ||
           check == RestoreCheck::Stage2Damaged || check == RestoreCheck::TargetGpt;
}

DiskPlan planRestore(const Backup& backup, const SectorBuffer& lba0) {
    DiskPlan plan = onSector0(lba0);
    const BackupSectors& s = backup.sectors;
    plan.newSector0 = s[0];
    const SectorWrite rest = {1, {s[1], s[2], s[3], s[4]}};
    if (carriesMarker(s[0])) plan.writes.push_back(rest);
    plan.writes.push_back({0, {s[0]}});
    if (!carriesMarker(s[0])) plan.writes.push_back(rest);
    return plan;
}
