// Counting, hiding, unhiding and activating the four primary entries of an MBR
// held as a working sector. Nothing here touches a disk.
#include "core/partition_table.h"

#include "boot_symbols.h"

namespace {

// The boot program's own list, so that both sides always count alike.
bool isVisibleRecognised(int type) {
    for (int t : bootsym::recognisedTypeCodes)
        if (type == t) return true;
    return false;
}

// Entries 0 to 3; any other number names none, and the sector stays as it is.
bool isEntry(int entry) {
    return entry >= 0 && entry <= 3;
}

} // namespace

bool isRecognisedType(int type) {
    return isVisibleRecognised(type & 0xEF);
}

bool isHiddenType(int type) {
    return isRecognisedType(type) && (type & HiddenBit) != 0;
}

uint32_t le32(const SectorBuffer& s, int at) {
    return s[at] | s[at + 1] << 8 | s[at + 2] << 16 | static_cast<uint32_t>(s[at + 3]) << 24;
}

int countRecognised(const SectorBuffer& sector) {
    int count = 0;
    for (int entry = 0; entry < 4; ++entry)
        if (isRecognisedType(sector[typeOffset(entry)])) ++count;
    return count;
}

void countPrimaryPartitions(DiskView& view) {
    view.partitionCount = countRecognised(view.workSector);
}

int hideRule(int type) {
    int hidden = type | HiddenBit;
    return isVisibleRecognised(hidden & 0xEF) ? hidden : type;
}

int unhideRule(int type) {
    int visible = type & 0xEF;
    return isVisibleRecognised(visible) ? visible : type;
}

void hideEntry(SectorBuffer& sector, int entry) {
    if (!isEntry(entry)) return;
    sector[typeOffset(entry)] |= HiddenBit;
}

void unhideEntry(SectorBuffer& sector, int entry) {
    if (!isEntry(entry)) return;
    sector[typeOffset(entry)] &= 0xEF;
}

void setActive(SectorBuffer& sector, int entry) {
    if (!isEntry(entry)) return;
    for (int i = 0; i < 4; ++i) sector[bootFlagOffset(i)] = 0x00;
    sector[bootFlagOffset(entry)] = 0x80;
}

bool isBootableMbr(const SectorBuffer& sector) {
    if (sector[510] != 0x55 || sector[511] != 0xAA) return false;
    for (int i = 0; i < 440; ++i)
        if (sector[i] != 0) return true;
    return false;
}
