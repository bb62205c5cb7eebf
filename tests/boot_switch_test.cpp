// Switching the first disk's partitions (F n, Alt-F n) and starting a partition of another disk.
#include "boot_pc_model.h"

#include <gtest/gtest.h>

#include <array>
#include <optional>

using namespace bootdisk;
using pcmodel::RunResult;
using pcmodel::Stop;

namespace {

struct SwitchCase {
    const char* name;
    Table before;
    uint16_t key;
    Table after;
    const char* confirmation;
};

class BootSwitch : public ::testing::TestWithParam<SwitchCase> {};

TEST_P(BootSwitch, OnlyFlagAndHiddenBitChange) {
    const SwitchCase& c = GetParam();
    BootPc boot(c.before);
    RunResult result = boot.run({c.key});
    EXPECT_EQ(firstDiskStartFault(boot, result), "");
    EXPECT_EQ(boot.liveTable(), c.after) << describe(boot.liveTable());
    EXPECT_EQ(tableOf(result.atBootSector), c.after);
    EXPECT_EQ(shownLines(boot.machine), std::vector<std::string>{c.confirmation});
}

constexpr Entry withBoot(Entry entry, uint8_t boot) {
    entry.boot = boot;
    return entry;
}

const char* altConfirmation(int n) {
    static const char* texts[] = {
        "Alt-F1: partitie 1 is aktief, andere primaire partitie(s) zichtbaar",
        "Alt-F2: partitie 2 is aktief, andere primaire partitie(s) zichtbaar",
        "Alt-F3: partitie 3 is aktief, andere primaire partitie(s) zichtbaar",
        "Alt-F4: partitie 4 is aktief, andere primaire partitie(s) zichtbaar"};
    return texts[n - 1];
}

INSTANTIATE_TEST_SUITE_P(
    Tables, BootSwitch,
    ::testing::Values(
        // Ordinals count recognised partitions only: swap first, then 07h and 83h.
        SwitchCase{"SwapFirstF1",
                   {part(0x82), part(0x07), part(0x83), empty},
                   key::F1,
                   {part(0x82), activePart(0x07), part(0x93), empty},
                   "F1: partitie 1 is aktief"},
        SwitchCase{"SwapFirstAltF2",
                   {part(0x82), activePart(0x07), part(0x93), empty},
                   key::AltF2,
                   {part(0x82), part(0x07), activePart(0x83), empty},
                   altConfirmation(2)},
        SwitchCase{"HiddenOneBecomesVisibleActive",
                   {part(0x17), activePart(0x83), empty, empty},
                   key::F1,
                   {activePart(0x07), part(0x93), empty, empty},
                   "F1: partitie 1 is aktief"},
        SwitchCase{"AltF1AfterF1ShowsAllAgain",
                   {activePart(0x07), part(0x93), part(0x1C), empty},
                   key::AltF1,
                   {activePart(0x07), part(0x83), part(0x0C), empty},
                   altConfirmation(1)},
        // Only the chosen entry stays active: other entries lose bit 7 of the boot indicator,
        // whatever their type, and keep everything else.
        SwitchCase{"ActiveExtendedEntriesLoseTheirFlag",
                   {activePart(0x05), part(0x07), part(0x83), activePart(0x0F)},
                   key::F2,
                   {part(0x05), part(0x17), activePart(0x83), part(0x0F)},
                   "F2: partitie 2 is aktief"},
        SwitchCase{"ForeignActiveEntryClearedByAltF",
                   {activePart(0x82), part(0x17), part(0x93), empty},
                   key::AltF1,
                   {part(0x82), activePart(0x07), part(0x83), empty},
                   altConfirmation(1)},
        SwitchCase{"BsdSliceKeepsBits0To6AndType",
                   {part(0x06), part(0x0B), part(0x07), withBoot(part(0xA5), 0x85)},
                   key::F2,
                   {part(0x16), activePart(0x0B), part(0x17), withBoot(part(0xA5), 0x05)},
                   "F2: partitie 2 is aktief"},
        SwitchCase{"ActiveEmptyEntryCleared",
                   {withBoot(empty, 0x80), part(0x1C), activePart(0x0E), empty},
                   key::AltF1,
                   {empty, activePart(0x0C), part(0x0E), empty},
                   altConfirmation(1)},
        SwitchCase{"NoSecondLeavesNoneActive",
                   {activePart(0x07), part(0x82), activePart(0xA6), empty},
                   key::F2,
                   {part(0x17), part(0x82), part(0xA6), empty},
                   "F2: partitie 2 is aktief"},
        SwitchCase{"NoSecondWithAltKeepsOneVisible",
                   {activePart(0x17), part(0x82), empty, empty},
                   key::AltF2,
                   {part(0x07), part(0x82), empty, empty},
                   altConfirmation(2)},
        SwitchCase{"BootIndicatorKeepsBits0To6",
                   {withBoot(part(0x07), 0x7F), withBoot(part(0x83), 0x81), empty, empty},
                   key::F1,
                   {withBoot(part(0x07), 0xFF), withBoot(part(0x93), 0x01), empty, empty},
                   "F1: partitie 1 is aktief"},
        SwitchCase{"FourFatTypesHiddenByF4",
                   {activePart(0x06), part(0x0B), part(0x0C), part(0x1E)},
                   key::F4,
                   {part(0x16), part(0x1B), part(0x1C), activePart(0x0E)},
                   "F4: partitie 4 is aktief"},
        SwitchCase{"OtherTypesHiddenByF3",
                   {activePart(0x07), part(0x81), part(0x93), part(0x42)},
                   key::F3,
                   {part(0x17), part(0x91), activePart(0x83), part(0x42)},
                   "F3: partitie 3 is aktief"},
        SwitchCase{"HiddenFormsShownByAltF3",
                   {part(0x16), part(0x1B), part(0x91), activePart(0x1E)},
                   key::AltF3,
                   {part(0x06), part(0x0B), activePart(0x81), part(0x0E)},
                   altConfirmation(3)}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(BootSwitchAcrossStarts, TheChoicePersistsAndRepeatsIdentically) {
    BootPc boot(Table{activePart(0x07), part(0x83), part(0x0C), empty});
    boot.run({key::F2});
    const Table afterF2{part(0x17), activePart(0x83), part(0x1C), empty};
    ASSERT_EQ(boot.liveTable(), afterF2);

    // The next start without a key (DefaultKey 00h) boots what F2 left.
    boot.machine.writes.clear();
    RunResult plain = boot.run();
    EXPECT_EQ(firstDiskStartFault(boot, plain), "");
    EXPECT_EQ(tableOf(plain.atBootSector), afterF2);

    boot.machine.writes.clear();
    boot.run({key::F2});
    EXPECT_EQ(boot.liveTable(), afterF2);
}

TEST(BootSwitchAcrossStarts, DiskOwnBytesPassThroughUnchanged) {
    BootPc boot(Table{activePart(0x07), part(0x83), empty, empty});
    RunResult result = boot.run({key::AltF2});
    for (uint32_t at = tableBlockOffset; at < tableOffset; ++at) {
        EXPECT_EQ(boot.lba(0)[at], boot.lba0Before[at]) << at;
        EXPECT_EQ(result.atBootSector[at], boot.lba0Before[at]) << at;
    }
    EXPECT_EQ(result.atBootSector[510], 0x55);
    EXPECT_EQ(result.atBootSector[511], 0xAA);
    EXPECT_EQ(boot.lba(0)[defaultKeyOffset], 0x00);
}

// ---- other disks ---------------------------------------------------------------------------

const Table firstDisk{activePart(0x07), part(0x83), empty, empty};

// The partition of drive `drive` at `lba` was entered as the firmware would enter it, and no
// disk was written.
std::string otherDiskStartFault(const BootPc& boot, const RunResult& result, uint8_t drive,
                                uint32_t lba) {
    if (result.stop != Stop::BootSectorEntered) return describe(result, boot.machine);
    if (!boot.machine.writes.empty()) return "a sector was written";
    std::string fault = difference(result.atBootSector, partitionSector(drive, lba));
    if (!fault.empty()) return "7C00h " + fault;
    if (result.regs.dl() != drive) return "DL is not the partition's drive";
    if (result.regs.ds != 0 || result.regs.es != 0 || result.regs.ss != 0 ||
        result.regs.sp != 0x7C00)
        return "segments or stack not as the firmware leaves them";
    uint32_t packetLba = pcmodel::readWord(result.memory, result.regs.si + 8) |
                         pcmodel::readWord(result.memory, result.regs.si + 10) << 16;
    if (packetLba != lba) return "DS:SI does not point at the disk address packet";
    return "";
}

TEST(BootOtherDisk, F6StartsEntryTwoEvenWhenEntryOneIsEmpty) {
    BootPc boot(firstDisk);
    boot.machine.drives[0x81] = otherDisk(0x81, {empty, part(0x07, 200), empty, empty});
    pcmodel::Sector otherMbr = boot.lba(0, 0x81);
    RunResult result = boot.run({key::F6});
    EXPECT_EQ(otherDiskStartFault(boot, result, 0x81, 200), "");
    EXPECT_EQ(difference(boot.lba(0, 0x81), otherMbr), "");
    EXPECT_EQ(difference(boot.lba(0), boot.lba0Before), "");
    EXPECT_TRUE(boot.machine.video.empty());
}

struct OtherDiskKey {
    uint16_t key;
    uint8_t drive;
    int entry;
};

class BootOtherDiskKeys : public ::testing::TestWithParam<OtherDiskKey> {};

TEST_P(BootOtherDiskKeys, EachKeyStartsItsDriveAndEntry) {
    const OtherDiskKey& k = GetParam();
    BootPc boot(firstDisk);
    for (uint8_t drive = 0x81; drive <= 0x83; ++drive)
        boot.machine.drives[drive] =
            otherDisk(drive, {part(0x07, 100), part(0x82, 200), part(0x0C, 300), part(0x85, 400)});
    RunResult result = boot.run({k.key});
    EXPECT_EQ(otherDiskStartFault(boot, result, k.drive, 100 * k.entry), "");
}

INSTANTIATE_TEST_SUITE_P(
    KeyTable, BootOtherDiskKeys,
    ::testing::Values(OtherDiskKey{key::F5, 0x81, 1}, OtherDiskKey{key::F6, 0x81, 2},
                      OtherDiskKey{key::F7, 0x81, 3}, OtherDiskKey{key::F8, 0x81, 4},
                      OtherDiskKey{key::digit(1), 0x82, 1}, OtherDiskKey{key::digit(2), 0x82, 2},
                      OtherDiskKey{key::digit(3), 0x82, 3}, OtherDiskKey{key::digit(4), 0x82, 4},
                      OtherDiskKey{key::digit(5), 0x83, 1}, OtherDiskKey{key::digit(6), 0x83, 2},
                      OtherDiskKey{key::digit(7), 0x83, 3}, OtherDiskKey{key::digit(8), 0x83, 4}));

TEST(BootOtherDisk, AfterTheMenuTheChosenDiskIsReadAgain) {
    // The listing leaves the last disk's MBR in the buffer; F5 must use the second disk's.
    BootPc boot(firstDisk);
    boot.machine.drives[0x81] = otherDisk(0x81, {part(0x07, 100), empty, empty, empty});
    boot.machine.drives[0x82] = otherDisk(0x82, {part(0x07, 300), empty, empty, empty});
    RunResult result = boot.run({key::Space, key::F5});
    EXPECT_EQ(otherDiskStartFault(boot, result, 0x81, 100), "");
}

// Which read brings the partition's first sector: the packet read (AH=42h) where the BIOS
// offers it, else the CHS read (AH=02h) from the entry's start CHS bytes, never from the
// overflow mark 1023/254/63 (nor its 255-head form). Second disk, entry 1 at LBA 100.
struct SectorReadCase {
    const char* name;
    bool extensions;
    bool carryOnUnknownFunction;
    std::optional<std::array<uint8_t, 3>> chs; // instead of the true start CHS
    bool chsReadFails;
    uint8_t function;       // 42h or 02h: the read tried for the partition; 0: none
    uint32_t started = 100; // the LBA whose sector starts; 0: the first disk starts
};

class BootOtherDiskRead : public ::testing::TestWithParam<SectorReadCase> {};

TEST_P(BootOtherDiskRead, PacketReadOrChsRead) {
    const SectorReadCase& c = GetParam();
    BootPc boot(firstDisk);
    pcmodel::Disk& second = boot.machine.drives[0x81] =
        otherDisk(0x81, {part(0x07, 100), part(0x07, 200), empty, empty});
    second.extensions = c.extensions;
    second.carryOnUnknownFunction = c.carryOnUnknownFunction;
    if (c.chs) second.sectors[0] = withStartChs(second.sectors[0], 0, *c.chs);
    if (c.chsReadFails) boot.machine.readFailures.push_back({0x81, 100, 0, 0x04});
    RunResult result = boot.run({key::F5});
    if (c.started != 0 && c.started == 100) {
        EXPECT_EQ(otherDiskStartFault(boot, result, 0x81, 100), "");
    } else if (c.started != 0) { // the CHS bytes disagree with the start LBA
        EXPECT_EQ(difference(result.atBootSector, partitionSector(0x81, c.started)), "");
        EXPECT_EQ(result.regs.dl(), 0x81);
    } else {
        EXPECT_EQ(firstDiskStartFault(boot, result), "");
        EXPECT_EQ(boot.liveTable(), firstDisk);
        EXPECT_TRUE(boot.machine.video.empty());
    }
    std::vector<uint8_t> partitionReads;
    for (const pcmodel::DiskCall& call : boot.machine.diskCalls)
        if (call.drive == 0x81 && call.function != 0x41 && !(call.lba == 0 && call.ok))
            partitionReads.push_back(call.function);
    EXPECT_EQ(partitionReads,
              c.function ? std::vector<uint8_t>{c.function} : std::vector<uint8_t>{});
}

INSTANTIATE_TEST_SUITE_P(
    Bios, BootOtherDiskRead,
    ::testing::Values(
        SectorReadCase{"PacketRead", true, true, std::nullopt, false, 0x42},
        SectorReadCase{"PacketReadWhateverTheChsSays", true, true, {{3, 12, 0}}, false, 0x42},
        SectorReadCase{"ChsReadWithoutExtensions", false, true, std::nullopt, false, 0x02},
        SectorReadCase{"ChsReadWhenUnknownFunctionsKeepCarryClear", false, false, std::nullopt,
                       false, 0x02},
        SectorReadCase{"ChsReadTakesTheChsAddress", false, true, {{3, 12, 0}}, false, 0x02, 200},
        SectorReadCase{"OverflowMark", false, true, {{0xFE, 0xFF, 0xFF}}, false, 0, 0},
        SectorReadCase{"OverflowMark255Heads", false, true, {{0xFF, 0xFF, 0xFF}}, false, 0, 0},
        SectorReadCase{"FailedChsRead", false, true, std::nullopt, true, 0x02, 0}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(BootOtherDisk, UnusableChoicesStartTheFirstDiskUnchanged) {
    struct Case {
        const char* why;
        std::optional<Table> secondDisk;
        uint16_t key;
    };
    const Case cases[] = {
        {"no second disk", std::nullopt, key::F5},
        {"empty entry", Table{part(0x07, 100), empty, empty, empty}, key::F6},
        {"extended entry", Table{part(0x07, 100), part(0x0F, 200), empty, empty}, key::F6},
        {"hidden extended entry", Table{part(0x15, 100), empty, empty, empty}, key::F5},
        {"start LBA 0", Table{part(0x07, 100), part(0x07, 0), empty, empty}, key::F6},
        {"no third disk", Table{part(0x07, 100), empty, empty, empty}, key::digit(1)},
    };
    for (const Case& c : cases) {
        BootPc boot(firstDisk);
        if (c.secondDisk) boot.machine.drives[0x81] = otherDisk(0x81, *c.secondDisk);
        RunResult result = boot.run({c.key});
        EXPECT_EQ(firstDiskStartFault(boot, result), "") << c.why;
        EXPECT_EQ(boot.liveTable(), firstDisk) << c.why;
        EXPECT_TRUE(boot.machine.video.empty()) << c.why;
    }
}

} // namespace
