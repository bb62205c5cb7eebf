// The partition editor: drive switches, the edit keys and what they write to
// the disk images, byte for byte, and the movement on this page.
#include "screens_fixture.h"

#include "screens/partition_editor.h"

using namespace screens_test;

namespace {

const std::array<Entry, 4> DriveZero = {{{0x80, 0x17}, {0x00, 0x07}, {0x00, 0x0B}, {}}};
const std::array<Entry, 4> ThreeEntries = {{{0x80, 0x07}, {0x00, 0x0B}, {0x00, 0x83}, {}}};
const std::array<Entry, 4> FourEntries = {{{0x00, 0x07}, {0x00, 0x0B}, {0x80, 0x1C}, {0x00, 0x83}}};
const std::array<Entry, 4> ExtendedOnly = {{{0x80, 0x05}, {}, {}, {}}};

class EditorTest : public ScreenTest {
  protected:
    void SetUp() override {
        ScreenTest::SetUp();
        drive0 = makeMbr(DriveZero, 0x3B);
        drive1 = makeMbr(ThreeEntries, 0x6A); // byte 112: Alt-F3
        drive2 = makeMbr(FourEntries);
        useDisks({drive0, drive1, drive2}, false);
    }

    // Back to the main menu the way the main flow calls it.
    void freshPass() {
        state.currentDrive = 0;
        state.workSector = toWork(disks->lba0(0));
        countPrimaryPartitions(state);
    }

    std::vector<int> visits(const std::string& drive, const std::vector<std::string>& keys) {
        std::vector<int> rows;
        for (std::size_t n = 1; n <= keys.size(); ++n) {
            freshPass();
            std::vector<std::string> run{drive};
            run.insert(run.end(), keys.begin(), keys.begin() + n);
            runMenu(run);
            rows.push_back(state.selectedRow);
        }
        return rows;
    }

    // The image as it was, with the given LBA 0 bytes changed.
    std::vector<uint8_t> expectedImage(const std::vector<uint8_t>& before,
                                       std::initializer_list<std::pair<int, int>> changes) {
        std::vector<uint8_t> image = before;
        for (auto [offset, value] : changes) image[offset] = static_cast<uint8_t>(value);
        return image;
    }

    SectorBuffer drive0{}, drive1{}, drive2{};
};

TEST_F(EditorTest, DigitShowsTheDrivesPartitionPage) {
    runMenu({"2"});
    EXPECT_EQ(state.currentDrive, 2);
    EXPECT_EQ(state.selectedRow, 10);
    EXPECT_EQ(state.partitionCount, 4);
    EXPECT_EQ(state.isInstalled, 0);
    EXPECT_EQ(row(1), titleOf(false)); // the title still tells about drive 0
    EXPECT_EQ(row(3),
              row80("  Op dit scherm kunnen alleen de partities verborgen of zichtbaar gemaakt"));
    EXPECT_EQ(row(4), row80("  worden, of actief."));
    EXPECT_EQ(row(6), row80("  Drive: 2"));
    EXPECT_EQ(row(10), row80("   + 1e primaire partitie"));
    EXPECT_EQ(row(14), row80("  a- 3e primaire partitie"));
    EXPECT_EQ(row(16), row80("   + 4e primaire partitie"));
    EXPECT_EQ(row(19), row80("")); // no HIDE line here
    EXPECT_EQ(cellAt(screen, 10, 80).bg, Plum);
    for (int r : {8, 9, 12, 14, 16, 20}) EXPECT_EQ(cellAt(screen, r, 5).fg, Black) << r;

    // The default of an installed manager shows on the Alt-F line of its entry.
    freshPass();
    runMenu({"1"});
    EXPECT_EQ(row(14), markedAt(row80("   + 3e primaire partitie"), 74, '*'));
    EXPECT_EQ(row(16), row80("   + 4e primaire partitie")); // an empty type has no hidden bit
    EXPECT_EQ(cellAt(screen, 16, 5).fg, Grey);              // but lies beyond the count
}

TEST_F(EditorTest, MissingDriveChangesNothing) {
    runMenu({Down, "3"});
    EXPECT_EQ(state.currentDrive, 0);
    EXPECT_EQ(state.selectedRow, 10);
    EXPECT_EQ(row(6), row80("  Drive: 0"));
    EXPECT_EQ(state.workSector, toWork(drive0));

    freshPass();
    runMenu({"1", Down, "3"});
    EXPECT_EQ(state.currentDrive, 1);
    EXPECT_EQ(state.selectedRow, 12);
    EXPECT_EQ(state.workSector, toWork(drive1));
    EXPECT_EQ(row(6), row80("  Drive: 1"));
    for (int none : {-1, 4}) { // numbers that name no drive
        switchDrive(state, none);
        EXPECT_EQ(state.currentDrive, 1);
        EXPECT_EQ(state.workSector, toWork(drive1));
    }
}

TEST_F(EditorTest, HideAndUnhideWriteTheTypeByteOnly) {
    const std::vector<uint8_t> before = disks->bytes(1);
    runMenu({"1", Down, "-"});
    EXPECT_EQ(disks->bytes(1), expectedImage(before, {{466, 0x1B}}));
    EXPECT_EQ(row(12), row80("   - 2e primaire partitie"));
    EXPECT_EQ(disks->lba0(0), drive0);

    freshPass();
    runMenu({"1", Down, "+"});
    EXPECT_EQ(disks->bytes(1), before);
    EXPECT_EQ(row(12), row80("   + 2e primaire partitie"));
}

TEST_F(EditorTest, ActivateMovesTheBootFlag) {
    const std::vector<uint8_t> before = disks->bytes(1);
    runMenu({"1", Down, "a"});
    EXPECT_EQ(disks->bytes(1), expectedImage(before, {{446, 0x00}, {462, 0x80}}));
    EXPECT_EQ(row(12).substr(0, 4), "  a+");
    for (int r : {10, 14, 16}) EXPECT_EQ(row(r)[2], ' ') << r;

    freshPass();
    runMenu({"1", Up, "A"}); // Up wraps to the third entry
    EXPECT_EQ(disks->bytes(1), expectedImage(before, {{446, 0x00}, {478, 0x80}}));
    EXPECT_EQ(row(14).substr(0, 4), "  a+");
}

TEST_F(EditorTest, EnterAndEscapeOnThePartitionPage) {
    const std::vector<uint8_t> before = disks->bytes(1);
    state.commandWord = "unchanged";
    runMenu({"1", Down, Enter, Enter});
    EXPECT_EQ(state.currentDrive, 1);
    EXPECT_EQ(state.selectedRow, 12);
    EXPECT_EQ(state.commandWord, "unchanged");
    EXPECT_EQ(state.lastKey, Escape); // only the end of the script ended it
    EXPECT_EQ(disks->bytes(1), before);
}

TEST_F(EditorTest, EditKeysWorkOnTheMainMenuWhileNotInstalled) {
    const std::vector<uint8_t> before = disks->bytes(0);
    runMenu({Down, Down, "+"});
    EXPECT_EQ(state.selectedRow, 11);
    EXPECT_EQ(disks->bytes(0), expectedImage(before, {{450, 0x07}}));
    EXPECT_EQ(row(10).substr(0, 8), "  a+ 1z,");
    EXPECT_EQ(row(11).substr(0, 8), "  a+ 1v,");
    EXPECT_EQ(state.workSector[450], 0x07);

    freshPass();
    runMenu({Down, Down, Down, Down, "a"}); // row 13, "2v": entry 2
    EXPECT_EQ(disks->bytes(0), expectedImage(before, {{450, 0x07}, {446, 0}, {462, 0x80}}));
}

TEST_F(EditorTest, MovementFollowsTheEntryCount) {
    EXPECT_EQ(visits("2", {Down, Down, Down, Down}), (std::vector<int>{12, 14, 16, 10}));
    EXPECT_EQ(visits("2", {Up, Up, Up, Up}), (std::vector<int>{16, 14, 12, 10}));
    EXPECT_EQ(visits("1", {Down, Down, Down}), (std::vector<int>{12, 14, 10}));
    EXPECT_EQ(visits("1", {Up, Up, Up}), (std::vector<int>{14, 12, 10}));
}

TEST_F(EditorTest, DriveWithoutRecognisedPartitions) {
    disks.reset();
    useDisks({drive0, makeMbr(ExtendedOnly)}, false);
    runMenu({"1"});
    EXPECT_EQ(state.partitionCount, 0);
    for (int r : {12, 14, 16}) EXPECT_EQ(cellAt(screen, r, 5).fg, Grey) << r;
    EXPECT_EQ(cellAt(screen, 10, 5).bg, Plum);
    EXPECT_EQ(visits("1", {Down, Down, Down, Down}), (std::vector<int>{12, 14, 16, 10}));
    EXPECT_EQ(visits("1", std::vector<std::string>(9, Up)),
              (std::vector<int>{8, 20, 19, 18, 17, 16, 14, 12, 10}));
    // Edit keys on the blank rows 8 and 18 do nothing.
    const std::vector<uint8_t> before = disks->bytes(1);
    freshPass();
    runMenu({"1", Up, "-", "a", Up, Up, Up, "+", "-"});
    EXPECT_EQ(state.selectedRow, 18);
    EXPECT_EQ(disks->bytes(1), before);
}

TEST_F(EditorTest, UnusedSlotsAreNotEdited) {
    disks.reset();
    useDisks({drive0, makeMbr(ExtendedOnly)}, false);
    const std::vector<uint8_t> before = disks->bytes(1);
    runMenu({"1", Down, "a", "-", "+"});
    EXPECT_EQ(disks->bytes(1), before);
    EXPECT_EQ(row(10).substr(0, 4), "  a+");
    // The entry that is there can still be edited.
    freshPass();
    runMenu({"1", "-"});
    EXPECT_EQ(disks->bytes(1), expectedImage(before, {{450, 0x15}}));
}

// A sector 0 without 55h AAh holds no partition table, whatever its bytes at
// the entries' places (the header of an encrypted or unpartitioned disk):
// no edit key writes it.
TEST_F(EditorTest, ASectorWithoutBootSignatureIsNotEdited) {
    SectorBuffer noTable = makeMbr(ThreeEntries);
    noTable[510] = 0x00;
    noTable[511] = 0x00;
    disks.reset();
    useDisks({drive0, noTable}, false);
    const std::vector<uint8_t> before = disks->bytes(1);
    runMenu({"1", "-", "+", "a", Down, "a", "-"});
    EXPECT_EQ(disks->bytes(1), before);
}

TEST_F(EditorTest, ZeroGoesBackToDriveZero) {
    runMenu({"2", Down, "0"});
    EXPECT_EQ(state.currentDrive, 0);
    EXPECT_EQ(state.selectedRow, 9);
    EXPECT_EQ(state.partitionCount, 3);
    EXPECT_EQ(state.workSector, toWork(drive0));
    EXPECT_EQ(row(6), row80("  Drive: 0"));
    EXPECT_EQ(row(9).substr(0, 24), "   - Alleen installeren,");
}

TEST_F(EditorTest, HelpOnThePartitionPageRepaintsItWhole) {
    runMenu({"1", Down, F1, Enter});
    EXPECT_EQ(state.currentDrive, 1);
    EXPECT_EQ(state.selectedRow, 12);
    EXPECT_EQ(row(3),
              row80("  Op dit scherm kunnen alleen de partities verborgen of zichtbaar gemaakt"));
    EXPECT_EQ(row(12), row80("   + 2e primaire partitie"));
    EXPECT_EQ(cellAt(screen, 12, 80).bg, Plum);
    EXPECT_EQ(
        row(26),
        row80(
            "  Partitie: met \"+\" zichtbaar maken, met \"-\" verbergen, met \"a\" aktief maken."));
    EXPECT_EQ(row(1), titleOf(false));
}

TEST_F(EditorTest, FailedWriteLeavesThePageShowingTheDisk) {
    switchDrive(state, 1);
    ASSERT_EQ(state.lastError, 0u);
    const SectorBuffer shown = state.workSector;
    // Drive 1 is gone by the time of the write.
    setenv("VELTRA_DRIVES", (disks->path(0) + ":/nonexistent/veltra-test-disk").c_str(), 1);
    editPartitionFlags(state, '-', 1);
    EXPECT_NE(state.lastError, 0u);
    EXPECT_EQ(state.workSector, shown);
    EXPECT_EQ(disks->lba0(1), drive1);
}

} // namespace
