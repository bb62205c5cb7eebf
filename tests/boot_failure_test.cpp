// Reads that fail: at start-up, and when starting a partition of another disk.
#include "boot_pc_model.h"

#include <gtest/gtest.h>

using namespace bootdisk;
using pcmodel::ReadFailure;
using pcmodel::RunResult;
using pcmodel::Stop;

namespace {

const Table twoPartitions{activePart(0x07), part(0x83), empty, empty};

ReadFailure failRead(uint8_t drive, std::optional<uint32_t> lba, int nth = 0) {
    return ReadFailure{drive, lba, nth, 0x04};
}

TEST(BootStartUpReads, AReadThatFailsOnceIsRetried) {
    for (uint32_t lba : {1u, 2u, 4u}) {
        BootPc boot(twoPartitions, key::F2 >> 8);
        boot.machine.readFailures.push_back(failRead(0x80, lba, 1));
        RunResult result = boot.run();
        EXPECT_EQ(firstDiskStartFault(boot, result), "") << "LBA " << lba;
        EXPECT_EQ(boot.liveTable(), (Table{part(0x17), activePart(0x83), empty, empty}));
    }
}

TEST(BootStartUpReads, ASectorThatCannotBeReadStopsWithoutStartingOrWriting) {
    // LBA 1 is the kept MBR, LBA 2..4 stage 2: neither may be run unread, and nothing may be
    // written from a half-loaded program.
    for (uint32_t lba : {1u, 2u, 3u, 4u}) {
        BootPc boot(twoPartitions, key::F1 >> 8);
        boot.machine.readFailures.push_back(failRead(0x80, lba));
        RunResult result = boot.run({key::F10});
        EXPECT_EQ(result.stop, Stop::Halted) << "LBA " << lba << "\n"
                                             << describe(result, boot.machine);
        EXPECT_TRUE(boot.machine.writes.empty()) << "LBA " << lba;
        EXPECT_FALSE(shownLines(boot.machine).empty()) << "the user is told, LBA " << lba;
    }
}

TEST(BootStartUpReads, AStageTwoThatIsNotItsOwnIsNeverRun) {
    // LBA 2..4 read without an error but hold something else: a sector cleared, half a sector
    // written, another build's code. Bytes [from, to) of LBA 2..4 as one block are set to value.
    const uint32_t damages[][3] = {
        {0, 512, 0}, {512, 1024, 0}, {1024, 1536, 0}, {768, 1024, 0}, {16, 19, 0x90}};
    for (const auto& [from, to, value] : damages) {
        BootPc boot(twoPartitions, key::F1 >> 8);
        for (uint32_t at = from; at < to; ++at)
            boot.machine.drives[0x80].sectors[2 + at / 512][at % 512] = value;
        RunResult result = boot.run({key::F10});
        EXPECT_EQ(result.stop, Stop::Halted) << from << describe(result, boot.machine);
        EXPECT_TRUE(boot.machine.writes.empty()) << from;
        EXPECT_EQ(shownLines(boot.machine).at(0),
                  "VELTRA: leesfout op de 1e drive. Start de computer opnieuw.");
    }
}

TEST(BootOtherDiskReads, FailedPartitionReadStartsTheFirstDiskUnchanged) {
    BootPc boot(twoPartitions);
    boot.machine.drives[0x81] = otherDisk(0x81, {part(0x07, 100), empty, empty, empty});
    boot.machine.readFailures.push_back(failRead(0x81, 100));
    RunResult result = boot.run({key::F5});
    EXPECT_EQ(firstDiskStartFault(boot, result), "");
    EXPECT_EQ(boot.liveTable(), twoPartitions);
}

TEST(BootOtherDiskReads, UnreadableMbrIsNotTakenFromWhatTheMenuLeftInTheBuffer) {
    // The listing reads the second disk's MBR, then fails on the third; key 1 must not use the
    // second disk's table for the third disk.
    BootPc boot(twoPartitions);
    boot.machine.drives[0x81] = otherDisk(0x81, {part(0x07, 100), empty, empty, empty});
    boot.machine.drives[0x82] = otherDisk(0x82, {part(0x07, 100), empty, empty, empty});
    boot.machine.readFailures.push_back(failRead(0x82, 0));
    RunResult result = boot.run({key::Space, key::digit(1)});
    EXPECT_EQ(firstDiskStartFault(boot, result), "");
    EXPECT_EQ(boot.liveTable(), twoPartitions);
}

TEST(BootOtherDiskReads, FailedPartitionReadAfterTheMenuKeepsTheLiveTable) {
    // The menu's listing has filled the sector buffer; the table written back must still be
    // the first disk's own.
    BootPc boot(Table{part(0x07), activePart(0x93), empty, empty});
    boot.machine.drives[0x81] = otherDisk(0x81, {part(0x07, 100), part(0x83, 200), empty, empty});
    boot.machine.readFailures.push_back(failRead(0x81, 200));
    RunResult result = boot.run({key::Space, key::F6});
    EXPECT_EQ(firstDiskStartFault(boot, result), "");
    EXPECT_EQ(boot.liveTable(), (Table{part(0x07), activePart(0x93), empty, empty}));
}

TEST(BootOtherDiskReads, FailedPartitionReadAfterF10StartsTheRestoredMbr) {
    BootPc boot(twoPartitions);
    boot.machine.drives[0x81] = otherDisk(0x81, {part(0x07, 100), empty, empty, empty});
    boot.machine.readFailures.push_back(failRead(0x81, 100));
    RunResult result = boot.run({key::F10, key::F5});
    ASSERT_EQ(result.stop, Stop::BootSectorEntered) << describe(result, boot.machine);
    const pcmodel::Sector restored = withTableBlockOf(savedMbr(), boot.lba0Before);
    EXPECT_EQ(difference(boot.lba(0), restored), "");
    EXPECT_EQ(difference(result.atBootSector, restored), "");
    EXPECT_EQ(result.regs.dl(), 0x80);
}

} // namespace
