#include "core/disk_plan.h"

#include "boot_symbols.h"
#include "core/partition_table.h"

#include <string_view>

namespace {

bool carriesMarker(const SectorBuffer& lba0) {
    return std::string_view(reinterpret_cast<const char*>(lba0.data()) + 32, 6) == "VELTRA";
}

} // namespace

bool hasBootSignature(const SectorBuffer& sector) {
    return sector[510] == 0x55 && sector[511] == 0xAA;
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

std::array<int, BackupSectorCount> restoreOrder(const Backup& backup) {
    if (carriesMarker(backup.sectors[0])) return {1, 2, 3, 4, 0};
    return {0, 1, 2, 3, 4};
}
