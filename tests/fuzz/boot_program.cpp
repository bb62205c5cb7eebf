// The boot program on the emulated PC with any partition tables on disks 1-4,
// any DefaultKey and any keys: the run ends in a hand-over or a wait for a key
// within a bound of instructions, writes memory only inside its own regions,
// the stack below 7C00h and the BIOS data it may touch, writes back at most
// LBA 0 of the first disk (and zeros to LBA 1-4 after F10), and leaves at most
// one active entry there unless the table stayed as it was.
// Input: DefaultKey; a byte of flags (bits 0-1 the other disks, bit 2
// CapsLock, bits 4-6 the number of keys); 4 key words; the four tables.
#include "boot_pc_model.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace pcmodel;

namespace {

constexpr int TableBytes = 64;

// The boot program's own paths as coverage: libFuzzer reads these counts beside its own.
__attribute__((used, section("__libfuzzer_extra_counters"))) uint8_t executed[0x8000];
constexpr uint16_t F10 = 0x4400;

[[noreturn]] void fail(const char* why, const RunResult& result, const Machine& machine) {
    std::fprintf(stderr, "%s\n%s", why, bootdisk::describe(result, machine).c_str());
    for (uint32_t address : result.strayWrites) std::fprintf(stderr, "  wrote %05Xh\n", address);
    for (const std::string& service : machine.unhandled)
        std::fprintf(stderr, "  unhandled %s\n", service.c_str());
    for (const SectorWrite& write : machine.writes)
        std::fprintf(stderr, "  LBA %u of %02Xh written\n", write.lba, write.drive);
    std::abort();
}

int activeEntries(const Sector& sector) {
    int active = 0;
    for (int e = 0; e < 4; ++e) active += (sector[bootdisk::tableOffset + 16 * e] & 0x80) != 0;
    return active;
}

bool sameTable(const Sector& a, const Sector& b) {
    return std::equal(a.begin() + bootdisk::tableOffset, a.begin() + 510,
                      b.begin() + bootdisk::tableOffset);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    uint8_t bytes[2 + 8 + 4 * TableBytes] = {};
    if (size > sizeof bytes) return 0;
    std::memcpy(bytes, data, size);
    const uint8_t defaultKey = bytes[0];
    const int others = bytes[1] & 3;
    std::vector<uint16_t> keys;
    for (int k = 0; k < std::min((bytes[1] >> 4) & 7, 4); ++k)
        keys.push_back(static_cast<uint16_t>(bytes[2 + 2 * k] | bytes[3 + 2 * k] << 8));
    const uint8_t* tables = bytes + 10;

    bootdisk::BootPc boot({}, defaultKey);
    Sector& first = boot.machine.drives[0x80].sectors[0];
    std::memcpy(first.data() + bootdisk::tableOffset, tables, TableBytes);
    boot.lba0Before = first;
    for (int d = 1; d <= others; ++d) {
        const uint8_t drive = static_cast<uint8_t>(0x80 + d);
        Disk disk = blankDisk(64);
        std::memcpy(disk.sectors[0].data() + bootdisk::tableOffset, tables + d * TableBytes,
                    TableBytes);
        disk.sectors[0][510] = 0x55;
        disk.sectors[0][511] = 0xAA;
        for (uint32_t lba = 1; lba < disk.sectors.size(); ++lba)
            disk.sectors[lba] = bootdisk::partitionSector(drive, lba);
        boot.machine.drives[drive] = disk;
    }
    boot.machine.keyboardFlags = bytes[1] & 4 ? capsLockBit : 0;

    RunOptions options = bootdisk::bootOptions();
    options.executedCounts = executed;
    options.writeRanges = {{0x0600, 0x1002}, {0x7A00, 0x7E00}, {0x041A, 0x041E}, {0x0450, 0x0452}};
    const RunResult result = bootdisk::start(boot.machine, keys, options);
    if (result.stop != Stop::BootSectorEntered && result.stop != Stop::Halted &&
        result.stop != Stop::WaitingForKey)
        fail("no hand-over and no wait for a key", result, boot.machine);
    if (!result.strayWrites.empty()) fail("memory written outside", result, boot.machine);
    if (!boot.machine.unhandled.empty()) fail("unknown BIOS service", result, boot.machine);

    int sector0Writes = 0;
    // F10, pressed or standing in as the DefaultKey, removes the manager: LBA 0 first (the
    // saved MBR), then zeros in LBA 1-4; the next key writes LBA 0 once more.
    const int f10s =
        static_cast<int>(std::count(keys.begin(), keys.end(), F10)) + (defaultKey == F10 >> 8);
    const bool f10 = f10s > 0;
    for (const SectorWrite& write : boot.machine.writes) {
        if (write.drive != 0x80 || write.lba > 4)
            fail("wrote another sector", result, boot.machine);
        if (write.lba == 0) {
            ++sector0Writes;
            if (write.bytes[510] != 0x55 || write.bytes[511] != 0xAA)
                fail("LBA 0 written without 55h AAh", result, boot.machine);
        } else if (!f10 || write.bytes != Sector{}) {
            fail("LBA 1-4 written without F10", result, boot.machine);
        }
    }
    if (sector0Writes > 1 + f10s) fail("LBA 0 written twice", result, boot.machine);
    const Sector& now = boot.lba(0);
    if (!sameTable(now, boot.lba0Before) && activeEntries(now) > 1)
        fail("more than one active entry", result, boot.machine);
    return 0;
}
