// F10: removing the manager at start-up, then the one choice that follows.
#include "boot_pc_model.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace bootdisk;
using pcmodel::RunResult;
using pcmodel::Stop;

namespace {

const Table threePartitions{activePart(0x07), part(0x83), part(0x0C), empty};
const std::string removedMessage = "VELTRA is nu verwijderd. Kies een partitie of ongeldige toets";

// The disk is in the removed state: LBA 1..4 zero, LBA 0 the kept MBR's boot code with the live
// TableBlock (disk signature and own bytes of the installed LBA 0) and `table`.
std::string removedStateFault(const BootPc& boot, const Table& table) {
    for (uint32_t n = 1; n <= 4; ++n)
        if (boot.lba(n) != pcmodel::zeroSector()) return "LBA " + std::to_string(n) + " not zero";
    std::string fault =
        difference(boot.lba(0), withTable(withTableBlockOf(savedMbr(), boot.lba0Before), table));
    return fault.empty() ? "" : "LBA 0 " + fault;
}

// Before the first sector of the manager is cleared, LBA 0 already holds the kept MBR: a reset
// at any moment leaves a disk that starts.
std::string writeOrderFault(const BootPc& boot) {
    bool keptMbrWritten = false;
    for (const pcmodel::SectorWrite& write : boot.machine.writes) {
        if (write.drive != 0x80) return "a write to another drive";
        if (write.lba == 0)
            keptMbrWritten =
                std::equal(write.bytes.begin(), write.bytes.begin() + 0x1B0, savedMbr().begin());
        else if (!keptMbrWritten)
            return "LBA " + std::to_string(write.lba) + " cleared while LBA 0 held stage 1";
    }
    return keptMbrWritten ? "" : "LBA 0 never received the kept MBR";
}

TEST(BootRemoval, F10ThenF2SwitchesTheRestoredMbr) {
    BootPc boot(threePartitions);
    RunResult result = boot.run({key::F10, key::F2});
    ASSERT_EQ(result.stop, Stop::BootSectorEntered) << describe(result, boot.machine);
    const Table afterF2{part(0x17), activePart(0x83), part(0x1C), empty};
    EXPECT_EQ(removedStateFault(boot, afterF2), "");
    EXPECT_EQ(writeOrderFault(boot), "");
    EXPECT_EQ(difference(result.atBootSector, boot.lba(0)), "");
    EXPECT_EQ(result.regs.dl(), 0x80);
    EXPECT_EQ(shownLines(boot.machine),
              (std::vector<std::string>{removedMessage, "F2: partitie 2 is aktief"}));
}

TEST(BootRemoval, F10ThenAnyOtherKeyRestoresTheTableAsItStood) {
    for (uint16_t next : {key::Enter, key::ShiftOne, key::F4}) { // F4: not offered with three
        BootPc boot(threePartitions, key::F2 >> 8);
        RunResult result = boot.run({key::F10, next});
        ASSERT_EQ(result.stop, Stop::BootSectorEntered) << describe(result, boot.machine);
        EXPECT_EQ(removedStateFault(boot, threePartitions), "") << std::hex << next;
        EXPECT_EQ(writeOrderFault(boot), "");
        EXPECT_EQ(boot.machine.writes.size(), 6u); // LBA 0, LBA 1..4, LBA 0 again
        EXPECT_EQ(difference(result.atBootSector, boot.lba(0)), "");
        EXPECT_NE(std::string(boot.lba(0).begin() + 0x20, boot.lba(0).begin() + 0x26), "VELTRA");
    }
}

TEST(BootRemoval, F10SpaceF10ShowsTheMenuBetweenAndClearsTwice) {
    BootPc boot(threePartitions);
    RunResult result = boot.run({key::F10, key::Space, key::F10, key::Enter});
    ASSERT_EQ(result.stop, Stop::BootSectorEntered) << describe(result, boot.machine);
    EXPECT_EQ(removedStateFault(boot, threePartitions), "");
    std::vector<std::string> lines = shownLines(boot.machine);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines.front(), removedMessage);
    EXPECT_EQ(lines[1].substr(0, 23), " " + std::string(22, '>'));
    EXPECT_EQ(lines[lines.size() - 2], " F10 = De\x8Bnstalleer VELTRA en kies opnieuw");
    EXPECT_EQ(lines.back(), removedMessage);
    int cleared = 0;
    for (const pcmodel::SectorWrite& write : boot.machine.writes)
        if (write.lba >= 1 && write.lba <= 4) ++cleared;
    EXPECT_EQ(cleared, 8);
}

TEST(BootRemoval, F10FromTheMenu) {
    BootPc boot(threePartitions);
    RunResult result = boot.run({key::Space, key::F10, key::AltF3});
    ASSERT_EQ(result.stop, Stop::BootSectorEntered) << describe(result, boot.machine);
    EXPECT_EQ(removedStateFault(boot, Table{part(0x07), part(0x83), activePart(0x0C), empty}), "");
}

TEST(BootRemoval, WaitingAfterF10TheDiskIsAlreadyRemoved) {
    // A reset while the program waits must not find stage 1 over empty sectors.
    BootPc boot(threePartitions);
    RunResult result = boot.run({key::F10});
    ASSERT_EQ(result.stop, Stop::WaitingForKey) << describe(result, boot.machine);
    EXPECT_EQ(removedStateFault(boot, threePartitions), "");
    EXPECT_EQ(writeOrderFault(boot), "");
}

TEST(BootRemoval, F10ThenAnotherDiskLeavesTheFirstDiskBootable) {
    BootPc boot(threePartitions);
    boot.machine.drives[0x81] = otherDisk(0x81, {part(0x07, 100), empty, empty, empty});
    RunResult result = boot.run({key::F10, key::F5});
    ASSERT_EQ(result.stop, Stop::BootSectorEntered) << describe(result, boot.machine);
    EXPECT_EQ(difference(result.atBootSector, partitionSector(0x81, 100)), "");
    EXPECT_EQ(result.regs.dl(), 0x81);
    EXPECT_EQ(removedStateFault(boot, threePartitions), "");
    EXPECT_EQ(writeOrderFault(boot), "");
}

TEST(BootRemoval, F10ThenAnUnusableOtherDiskKeyStartsTheRestoredMbr) {
    BootPc boot(threePartitions);
    RunResult result = boot.run({key::F10, key::F7});
    ASSERT_EQ(result.stop, Stop::BootSectorEntered) << describe(result, boot.machine);
    EXPECT_EQ(removedStateFault(boot, threePartitions), "");
    EXPECT_EQ(difference(result.atBootSector, boot.lba(0)), "");
    EXPECT_EQ(result.regs.dl(), 0x80);
}

TEST(BootRemoval, RefusedWriteOfLba0LeavesTheManagerWhole) {
    // A BIOS that protects the boot sector refuses the write of LBA 0: clearing LBA 1..4 then
    // would leave stage 1 over empty sectors, so they stay and the manager still starts. The
    // screen says so, and the next key chooses as without F10: stage 1 gets the new table.
    BootPc boot(threePartitions);
    std::vector<Sector> before;
    for (uint32_t n = 0; n <= 4; ++n) before.push_back(boot.lba(n));
    boot.machine.writeFailures.push_back({0x80, 0u, 1}); // the first write of LBA 0
    RunResult result = boot.run({key::F10, key::F2});
    EXPECT_EQ(shownLines(boot.machine).at(0),
              "VELTRA is niet verwijderd: schrijffout. Kies een partitie of ongeldige toets");
    for (uint32_t n = 1; n <= 4; ++n) EXPECT_EQ(difference(boot.lba(n), before[n]), "") << n;
    EXPECT_EQ(firstDiskStartFault(boot, result), "");
    EXPECT_EQ(boot.liveTable(), (Table{part(0x17), activePart(0x83), part(0x1C), empty}));
}

} // namespace
