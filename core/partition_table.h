// The MBR as the installer sees it: four primary entries at byte 446 + 16 i,
// the boot flag at +0 and the type at +4; seven recognised types, visible or
// with the hidden bit 10h set.
#pragma once

#include "core/installer_state.h"

constexpr int HiddenBit = 0x10;
constexpr int PartitionTableOffset = 446;
inline constexpr int bootFlagOffset(int entry) {
    return 446 + 16 * entry;
}
inline constexpr int typeOffset(int entry) {
    return 450 + 16 * entry;
}

bool isRecognisedType(int type); // hidden or visible form
bool isHiddenType(int type);     // a recognised type in its hidden form
int countRecognised(const SectorBuffer& sector);
void countPrimaryPartitions(DiskView& view);       // sets partitionCount from workSector
int hideRule(int type);                            // HIDE: recognised types get the hidden bit
int unhideRule(int type);                          // REST: recognised types lose it
void hideEntry(SectorBuffer& sector, int entry);   // type |= 10h, whatever the type
void unhideEntry(SectorBuffer& sector, int entry); // type &= EFh, whatever the type
void setActive(SectorBuffer& sector, int entry);   // only this entry's boot flag 80h
// A sector that can start a disk: boot code in bytes 0..439 and 55h AAh at the end.
bool isBootableMbr(const SectorBuffer& sector);
// The little-endian 32-bit value at byte `at` (an entry's start at +8, its length at +12).
uint32_t le32(const SectorBuffer& sector, int at);
