// The menu shown on Space or CapsLock, byte for byte, and its listing of the other disks.
#include "boot_pc_model.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace bootdisk;
using pcmodel::RunResult;
using pcmodel::Stop;

namespace {

const Table fourPartitions{activePart(0x07), part(0x83), part(0x0C), part(0x0B)};

const std::string banner =
    " " + std::string(22, '>') + " Dorvanti VELTRA Manager " + std::string(23, '<');
const std::string uninstallLine = " F10 = De\x8Bnstalleer VELTRA en kies opnieuw";

std::string keyLine(int n) {
    std::string d(1, static_cast<char>('0' + n));
    return " F" + d + " = Aktiveer partitie " + d + ", Alt-F" + d +
           " = \x82n open andere primaire partitie(s)";
}

std::string otherDiskLine(const std::string& label, int disk, int entry) {
    return " " + label + " = Start Windows op de " + std::to_string(disk) + "e drive op de " +
           std::to_string(entry) + "e partitie, indien aanwezig";
}

std::vector<std::string> menu(int keyLines, const std::vector<std::string>& otherDiskLines) {
    std::vector<std::string> lines{banner};
    for (int n = 1; n <= keyLines; ++n) lines.push_back(keyLine(n));
    lines.insert(lines.end(), otherDiskLines.begin(), otherDiskLines.end());
    lines.push_back(uninstallLine);
    return lines;
}

// The lines of the other disks in the (last) menu on the screen.
std::vector<std::string> listedLines(const pcmodel::Machine& machine) {
    std::vector<std::string> lines;
    for (const std::string& line : shownLines(machine))
        if (line.find("Start Windows") != std::string::npos) lines.push_back(line);
    return lines;
}

// Something the firmware left on the screen, with the cursor behind it.
void firmwareText(pcmodel::Machine& machine, int row, const std::string& text) {
    for (size_t i = 0; i < text.size(); ++i)
        machine.screen.cells[row * pcmodel::screenColumns + i] = {static_cast<uint8_t>(text[i]),
                                                                  0x07};
    machine.cursorRow = row;
    machine.cursorColumn = static_cast<int>(text.size());
}

std::vector<std::string> rows(const pcmodel::Machine& machine, int first, int count) {
    std::vector<std::string> lines;
    for (int row = first; row < first + count; ++row) lines.push_back(machine.screen.text(row));
    return lines;
}

TEST(BootMenu, TextStartsBelowTheFirmwareLineAndMatchesByteForByte) {
    BootPc boot(fourPartitions);
    boot.machine.drives[0x81] = otherDisk(0x81, {part(0x07, 100), part(0x83, 200), empty, empty});
    boot.machine.screen.clear(0x00);
    firmwareText(boot.machine, 1, "Booting from Hard Disk...");
    RunResult result = boot.run({key::Space});

    ASSERT_EQ(result.stop, Stop::WaitingForKey) << describe(result, boot.machine);
    std::vector<std::string> expected =
        menu(4, {otherDiskLine("F5", 2, 1), otherDiskLine("F6", 2, 2)});
    EXPECT_EQ(boot.machine.screen.text(1), "Booting from Hard Disk...");
    EXPECT_EQ(rows(boot.machine, 2, 8), expected);
    EXPECT_EQ(banner.size(), 71u);
    EXPECT_EQ(boot.machine.screen.text(10), "");
    EXPECT_EQ(boot.machine.cursorRow, 11);
    EXPECT_EQ(boot.machine.cursorColumn, 0);
    EXPECT_TRUE(boot.machine.writes.empty());

    // Green text; the blank written before each line feed is light grey.
    for (int i = 0; i < 8; ++i) {
        int row = 2 + i;
        for (size_t column = 0; column < expected[i].size(); ++column)
            ASSERT_EQ(boot.machine.screen.attr(row, column), 0x02) << row << "," << column;
        EXPECT_EQ(boot.machine.screen.ch(row, expected[i].size()), ' ');
        EXPECT_EQ(boot.machine.screen.attr(row, expected[i].size()), 0x07) << row;
    }
    EXPECT_EQ(boot.machine.screen.attr(1, 25), 0x07); // ends the firmware's line
    EXPECT_EQ(boot.machine.screen.attr(10, 0), 0x07);
    EXPECT_TRUE(boot.machine.unhandled.empty()) << boot.machine.unhandled.front();
}

TEST(BootMenu, KeyLinesFollowThePartitionCount) {
    BootPc two(Table{part(0x07), part(0x82), part(0x83), part(0x05)});
    two.run({key::Space});
    EXPECT_EQ(shownLines(two.machine), menu(2, {}));

    BootPc three(Table{part(0x07), part(0x83), part(0x1C), empty});
    three.run({key::Space});
    EXPECT_EQ(shownLines(three.machine), menu(3, {}));

    // Even with fewer than two recognised partitions, F1 and F2 are offered.
    BootPc one(Table{part(0x07), empty, empty, empty});
    one.run({key::Space});
    EXPECT_EQ(shownLines(one.machine), menu(2, {}));
}

TEST(BootMenu, ThirdAndFourthDiskLinesCarryDigitLabels) {
    const Table full{part(0x07, 100), part(0x83, 200), part(0x0C, 300), part(0x0B, 400)};
    BootPc boot(fourPartitions);
    boot.machine.drives[0x81] = otherDisk(0x81, {part(0x07, 100), empty, empty, empty});
    boot.machine.drives[0x82] = otherDisk(0x82, full);
    boot.machine.drives[0x83] = otherDisk(0x83, full);
    boot.run({key::Space});
    std::vector<std::string> expected{otherDiskLine("F5", 2, 1)};
    for (int e = 1; e <= 4; ++e) expected.push_back(otherDiskLine(" " + std::to_string(e), 3, e));
    for (int e = 1; e <= 4; ++e)
        expected.push_back(otherDiskLine(" " + std::to_string(e + 4), 4, e));
    EXPECT_EQ(shownLines(boot.machine), menu(4, expected));
}

TEST(BootMenu, MenuThatReachesTheBottomScrollsIntact) {
    BootPc boot(fourPartitions);
    boot.machine.drives[0x81] = otherDisk(0x81, {part(0x07, 100), part(0x83, 200), empty, empty});
    firmwareText(boot.machine, 22, "Booting from Hard Disk...");
    boot.run({key::Space});
    std::vector<std::string> expected =
        menu(4, {otherDiskLine("F5", 2, 1), otherDiskLine("F6", 2, 2)});
    EXPECT_EQ(boot.machine.screen.text(14), "Booting from Hard Disk...");
    EXPECT_EQ(rows(boot.machine, 15, 8), expected);
    EXPECT_EQ(boot.machine.screen.text(23), "");
    EXPECT_EQ(boot.machine.cursorRow, 24);
}

// Which entries of the other disks are listed: in table order up to the first empty, extended
// or start-LBA-0 entry of each disk; a disk that does not answer ends the whole listing.
struct ListingCase {
    const char* name;
    std::map<uint8_t, Table> disks;
    std::vector<std::string> lines;
};

class BootMenuListing : public ::testing::TestWithParam<ListingCase> {};

TEST_P(BootMenuListing, StopsAtFirstUnusable) {
    BootPc boot(fourPartitions);
    for (const auto& [drive, table] : GetParam().disks)
        boot.machine.drives[drive] = otherDisk(drive, table);
    RunResult result = boot.run({key::Space});
    ASSERT_EQ(result.stop, Stop::WaitingForKey) << describe(result, boot.machine);
    EXPECT_EQ(listedLines(boot.machine), GetParam().lines);
    EXPECT_EQ(shownLines(boot.machine).back(), uninstallLine);
}

const Table secondDiskFull{part(0x07, 100), part(0x83, 200), part(0x0C, 300), part(0x0B, 400)};

INSTANTIATE_TEST_SUITE_P(
    Cases, BootMenuListing,
    ::testing::Values(
        ListingCase{"NoOtherDisk", {}, {}},
        ListingCase{"EmptyEntryStopsTheList",
                    {{0x81, {part(0x07, 100), part(0x83, 200), empty, part(0x0C, 300)}}},
                    {otherDiskLine("F5", 2, 1), otherDiskLine("F6", 2, 2)}},
        ListingCase{"ExtendedEntryStops",
                    {{0x81, {part(0x07, 100), part(0x05, 200), part(0x07, 300), empty}}},
                    {otherDiskLine("F5", 2, 1)}},
        ListingCase{"HiddenExtendedEntryStops",
                    {{0x81, {part(0x07, 100), part(0x83, 200), part(0x1F, 300), empty}}},
                    {otherDiskLine("F5", 2, 1), otherDiskLine("F6", 2, 2)}},
        ListingCase{"Type0FStops", {{0x81, {part(0x0F, 100), part(0x07, 200), empty, empty}}}, {}},
        ListingCase{"StartLbaZeroStops",
                    {{0x81, {part(0x07, 100), part(0x07, 0), part(0x07, 300), empty}}},
                    {otherDiskLine("F5", 2, 1)}},
        ListingCase{
            "AnyTypeIsListed",
            {{0x81, {part(0x82, 100), part(0xA5, 200), part(0x85, 300), empty}}},
            {otherDiskLine("F5", 2, 1), otherDiskLine("F6", 2, 2), otherDiskLine("F7", 2, 3)}},
        ListingCase{"AllFourEntries",
                    {{0x81, secondDiskFull}},
                    {otherDiskLine("F5", 2, 1), otherDiskLine("F6", 2, 2),
                     otherDiskLine("F7", 2, 3), otherDiskLine("F8", 2, 4)}},
        ListingCase{"EmptySecondDiskThirdListed",
                    {{0x81, {empty, part(0x07, 200), empty, empty}},
                     {0x82, {part(0x07, 100), empty, empty, empty}}},
                    {otherDiskLine(" 1", 3, 1)}},
        ListingCase{"MissingThirdDiskEndsTheList",
                    {{0x81, {part(0x07, 100), empty, empty, empty}},
                     {0x83, {part(0x07, 100), empty, empty, empty}}},
                    {otherDiskLine("F5", 2, 1)}},
        ListingCase{
            "MissingSecondDiskListsNothing", {{0x82, {part(0x07, 100), empty, empty, empty}}}, {}}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(BootMenu, UnreadableThirdDiskEndsTheListing) {
    BootPc boot(fourPartitions);
    boot.machine.drives[0x81] = otherDisk(0x81, {part(0x07, 100), empty, empty, empty});
    boot.machine.drives[0x82] = otherDisk(0x82, {part(0x07, 100), empty, empty, empty});
    boot.machine.drives[0x83] = otherDisk(0x83, {part(0x07, 100), empty, empty, empty});
    boot.machine.readFailures.push_back({0x82, std::nullopt, 0, 0x80});
    boot.run({key::Space});
    EXPECT_EQ(listedLines(boot.machine), std::vector<std::string>{otherDiskLine("F5", 2, 1)});
}

TEST(BootMenuKeys, CapsLockShowsTheMenuAndTakesNoDefault) {
    BootPc boot(fourPartitions, key::F2 >> 8);
    boot.machine.keyboardFlags = pcmodel::capsLockBit;
    RunResult result = boot.run();
    EXPECT_EQ(result.stop, Stop::WaitingForKey) << describe(result, boot.machine);
    EXPECT_EQ(shownLines(boot.machine), menu(4, {}));
    EXPECT_TRUE(boot.machine.writes.empty());
}

TEST(BootMenuKeys, CapsLockTakesAQueuedKeyRightAfterTheMenu) {
    BootPc boot(fourPartitions);
    boot.machine.keyboardFlags = pcmodel::capsLockBit;
    RunResult result = boot.run({key::F2});
    EXPECT_EQ(firstDiskStartFault(boot, result), "");
    std::vector<std::string> expected = menu(4, {});
    expected.push_back("F2: partitie 2 is aktief");
    EXPECT_EQ(shownLines(boot.machine), expected);
    EXPECT_EQ(boot.liveTable(), (Table{part(0x17), activePart(0x83), part(0x1C), part(0x1B)}));
}

TEST(BootMenuKeys, SpaceInTheMenuPrintsItAgainBelow) {
    BootPc boot(fourPartitions, key::F1 >> 8);
    RunResult waiting = boot.run({key::Space, key::Space});
    EXPECT_EQ(waiting.stop, Stop::WaitingForKey);
    std::vector<std::string> once = menu(4, {});
    std::vector<std::string> twice = once;
    twice.insert(twice.end(), once.begin(), once.end());
    EXPECT_EQ(shownLines(boot.machine), twice);
    EXPECT_TRUE(boot.machine.writes.empty());
}

TEST(BootMenuKeys, AKeyAfterTheMenuIsDispatchedLikeAtThePoll) {
    BootPc unlisted(fourPartitions, key::F1 >> 8);
    RunResult result = unlisted.run({key::Space, key::Enter});
    EXPECT_EQ(firstDiskStartFault(unlisted, result), "");
    EXPECT_EQ(unlisted.liveTable(), fourPartitions); // no DefaultKey after a key press

    BootPc notOffered(Table{activePart(0x07), part(0x83), empty, empty});
    result = notOffered.run({key::Space, key::F3});
    EXPECT_EQ(firstDiskStartFault(notOffered, result), "");
    EXPECT_EQ(notOffered.liveTable(), (Table{activePart(0x07), part(0x83), empty, empty}));

    BootPc altKey(fourPartitions);
    result = altKey.run({key::Space, key::Space, key::AltF4});
    EXPECT_EQ(firstDiskStartFault(altKey, result), "");
    EXPECT_EQ(altKey.liveTable(), (Table{part(0x07), part(0x83), part(0x0C), activePart(0x0B)}));
    EXPECT_EQ(shownLines(altKey.machine).back(),
              "Alt-F4: partitie 4 is aktief, andere primaire partitie(s) zichtbaar");
}

} // namespace

namespace {

// Every text of the boot program on the screen, in Dutch and in English: the
// same code prints the other texts with the same digits, and each line fits
// the 80 columns.
TEST(BootTexts, EachLanguageWordForWord) {
    const auto menuIn = [](bool english) {
        std::vector<std::string> lines{banner};
        for (int n = 1; n <= 4; ++n) {
            const std::string d(1, static_cast<char>('0' + n));
            lines.push_back(english ? " F" + d + " = Make partition " + d + " active, Alt-F" + d +
                                          " = and show other primary partition(s)"
                                    : keyLine(n));
        }
        for (int e = 1; e <= 2; ++e)
            lines.push_back(english ? " F" + std::to_string(4 + e) +
                                          " = Start Windows on drive 2, partition " +
                                          std::to_string(e) + ", if present"
                                    : otherDiskLine("F" + std::to_string(4 + e), 2, e));
        lines.push_back(english ? " F10 = Uninstall VELTRA and choose again" : uninstallLine);
        return lines;
    };
    const struct {
        bool english;
        std::vector<uint16_t> keys;
        std::vector<std::string> lines;
        bool starts = true;        // the first disk starts; else the program waits or halts
        bool writeRefused = false; // the BIOS refuses the write of LBA 0
        bool readFails = false;    // every read of LBA 2 fails
    } cases[] = {
        {false, {key::F2}, {"F2: partitie 2 is aktief"}},
        {true, {key::F2}, {"F2: partition 2 is active"}},
        {true, {key::F4}, {"F4: partition 4 is active"}},
        {true, {key::AltF3}, {"Alt-F3: partition 3 is active, other primary partition(s) visible"}},
        {false, {key::Space}, menuIn(false), false},
        {true, {key::Space}, menuIn(true), false},
        {true,
         {key::Space, key::AltF1},
         [&] {
             std::vector<std::string> lines = menuIn(true);
             lines.push_back("Alt-F1: partition 1 is active, other primary partition(s) visible");
             return lines;
         }()},
        {true,
         {key::F10},
         {"VELTRA has been removed. Choose a partition or press any other key"},
         false},
        {true,
         {key::F10},
         {"VELTRA was not removed: write error. Choose a partition or press any other key"},
         false,
         true},
        {true, {}, {"VELTRA: read error on drive 1. Restart the computer."}, false, false, true},
        {false,
         {},
         {"VELTRA: leesfout op de 1e drive. Start de computer opnieuw."},
         false,
         false,
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE((c.english ? "en " : "nl ") + ::testing::PrintToString(c.keys));
        BootPc boot(fourPartitions, 0, c.english);
        boot.machine.drives[0x81] =
            otherDisk(0x81, {part(0x07, 100), part(0x83, 200), empty, empty});
        if (c.writeRefused) boot.machine.writeFailures.push_back({0x80, 0u, 1});
        if (c.readFails) boot.machine.readFailures.push_back({0x80, 2u, 0});
        const RunResult result = boot.run(c.keys);
        EXPECT_EQ(shownLines(boot.machine), c.lines) << describe(result, boot.machine);
        for (const std::string& line : c.lines) EXPECT_LT(line.size(), 80u) << line;
        if (c.starts)
            EXPECT_EQ(firstDiskStartFault(boot, result), "");
        else
            EXPECT_EQ(result.stop, c.readFails ? Stop::Halted : Stop::WaitingForKey);
    }
}

} // namespace
