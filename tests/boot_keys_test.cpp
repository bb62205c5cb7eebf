// Start-up, the key poll, the DefaultKey and which keys the key table accepts.
#include "boot_pc_model.h"

#include "boot_symbols.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>

using namespace bootdisk;
using pcmodel::Machine;
using pcmodel::RunResult;
using pcmodel::Sector;
using pcmodel::Stop;

namespace {

const Table fourPartitions{activePart(0x07), part(0x83), part(0x0C), part(0x0B)};
const Table twoPartitions{activePart(0x07), part(0x83), empty, empty};

TEST(BootStartUp, NoKeyNoDefaultStartsTheKeptMbrSilently) {
    BootPc boot(fourPartitions);
    RunResult result = boot.run();
    EXPECT_EQ(firstDiskStartFault(boot, result), "");
    EXPECT_EQ(difference(boot.lba(0), boot.lba0Before), "");
    // The stale table inside LBA 1 plays no part: 7C00h carries the table of LBA 0, with the
    // disk's own bytes 1B0h..1BDh and boot signature.
    EXPECT_EQ(tableOf(result.atBootSector), fourPartitions);
    EXPECT_TRUE(boot.machine.video.empty());
    EXPECT_EQ(result.regs.ds, 0);
    EXPECT_EQ(result.regs.es, 0);
    EXPECT_EQ(result.regs.ss, 0);
    EXPECT_EQ(result.regs.sp, 0x7C00);
    EXPECT_TRUE(result.regs.flags & 0x0200) << "interrupts stay enabled";
    EXPECT_TRUE(boot.machine.unhandled.empty()) << boot.machine.unhandled.front();
}

TEST(BootStartUp, EnteringAt07C0RunsTheSameAsAt0000) {
    BootPc direct(fourPartitions, key::F2 >> 8);
    RunResult viaZero = direct.run();
    BootPc segmented(fourPartitions, key::F2 >> 8);
    pcmodel::RunOptions options = bootOptions();
    options.cs = 0x07C0;
    options.ip = 0x0000;
    RunResult viaSegment = start(segmented.machine, {}, options);
    EXPECT_EQ(firstDiskStartFault(segmented, viaSegment), "");
    EXPECT_EQ(difference(segmented.lba(0), direct.lba(0)), "");
    EXPECT_EQ(difference(viaSegment.atBootSector, viaZero.atBootSector), "");
}

TEST(BootStartUp, FewerThanTwoRecognisedPartitionsStillStart) {
    for (const Table& table : {Table{part(0x82), part(0x05), empty, empty},
                               Table{part(0x82), activePart(0x1C), empty, empty}}) {
        BootPc boot(table);
        RunResult result = boot.run();
        EXPECT_EQ(firstDiskStartFault(boot, result), "");
        EXPECT_EQ(boot.liveTable(), table);
    }
}

TEST(BootDefaultKey, F1AsDefaultSwitchesAndConfirmsAtEveryStart) {
    BootPc boot(Table{part(0x07), activePart(0x83), part(0x0C), empty}, key::F1 >> 8);
    const Table switched{activePart(0x07), part(0x93), part(0x1C), empty};
    for (int startCount = 1; startCount <= 2; ++startCount) {
        boot.machine.writes.clear();
        boot.machine.screen.clear(0x07);
        RunResult result = boot.run();
        EXPECT_EQ(firstDiskStartFault(boot, result), "");
        EXPECT_EQ(boot.liveTable(), switched) << describe(boot.liveTable());
        EXPECT_EQ(shownLines(boot.machine), std::vector<std::string>{"F1: partitie 1 is aktief"});
        EXPECT_EQ(boot.lba(0)[defaultKeyOffset], key::F1 >> 8);
        EXPECT_EQ(boot.machine.writes.size(), startCount == 1 ? 1u : 0u); // no change, no write
    }
}

TEST(BootDefaultKey, AltFDefaultLeavesTheOthersVisible) {
    BootPc boot(Table{activePart(0x17), part(0x83), part(0x1C), empty}, key::AltF2 >> 8);
    RunResult result = boot.run();
    EXPECT_EQ(firstDiskStartFault(boot, result), "");
    EXPECT_EQ(boot.liveTable(), (Table{part(0x07), activePart(0x83), part(0x0C), empty}));
    EXPECT_EQ(shownLines(boot.machine),
              std::vector<std::string>{
                  "Alt-F2: partitie 2 is aktief, andere primaire partitie(s) zichtbaar"});
}

TEST(BootDefaultKey, AKeyPressedDuringThePauseWinsOverTheDefault) {
    BootPc boot(fourPartitions, key::F1 >> 8);
    RunResult result = boot.run({key::F3, key::F2});
    EXPECT_EQ(firstDiskStartFault(boot, result), "");
    EXPECT_EQ(boot.liveTable(), (Table{part(0x17), part(0x93), activePart(0x0C), part(0x1B)}));
    EXPECT_EQ(shownLines(boot.machine), std::vector<std::string>{"F3: partitie 3 is aktief"});
}

// The pause, run with its inner loop shortened by the model (each round still checks the
// keyboard buffer) and a clock that stands still: 2^32 steps when no key comes, up to the end
// of the round in which a key came otherwise (at once for a key queued before it). The key
// stays queued: the start goes on as without the pause.
struct PauseCase {
    const char* name;
    std::vector<uint16_t> keys;
    uint64_t arriveAfter; // instructions from the hand-over (the pause begins after 14)
    uint64_t rounds;      // of 65536 decrements each
};

class BootPause : public ::testing::TestWithParam<PauseCase> {};

// A round: the clock (6), the key check (3), 65536 times dec/jnz, dec/jnz.
constexpr uint64_t roundInstructions = 6 + 3 + 65536 * 2 + 2;
constexpr uint64_t pauseSetUp = 4; // clock, pauseTicks, both counters

// `rounds` whole rounds; a key seen at the start of the next one ends the pause there.
uint64_t pauseInstructions(uint64_t rounds, bool endedByKey) {
    return pauseSetUp + rounds * roundInstructions + (endedByKey ? 6 + 3 : 0);
}

TEST_P(BootPause, AQueuedKeyEndsItAfterItsRound) {
    const PauseCase& c = GetParam();
    BootPc skipped(fourPartitions, key::F1 >> 8);
    RunResult base = skipped.run(c.keys);
    BootPc paused(fourPartitions, key::F1 >> 8);
    paused.machine.keysArriveAfter = c.arriveAfter;
    RunResult result = start(paused.machine, c.keys, pauseOptions());
    ASSERT_EQ(result.stop, base.stop) << describe(result, paused.machine);
    EXPECT_EQ(result.instructions - base.instructions,
              pauseInstructions(c.rounds, !c.keys.empty() && c.rounds < 65536));
    EXPECT_EQ(shownLines(paused.machine), shownLines(skipped.machine));
    EXPECT_EQ(paused.liveTable(), skipped.liveTable());
}

INSTANTIATE_TEST_SUITE_P(Keys, BootPause,
                         ::testing::Values(PauseCase{"NoKeyFullLength", {}, 0, 65536},
                                           PauseCase{"KeyBeforeThePause", {key::F2}, 0, 0},
                                           PauseCase{"KeyInRound1001",
                                                     {key::F3},
                                                     1000 * roundInstructions + 65536,
                                                     1001},
                                           PauseCase{"SpaceInTheLastRound",
                                                     {key::Space, key::AltF2},
                                                     65535 * roundInstructions + 65536,
                                                     65536}),
                         [](const auto& test) { return std::string(test.param.name); });

TEST(BootDefaultKey, DefaultForAPartitionThatIsNotOfferedChangesNothing) {
    for (uint16_t defaultKey : {key::F3, key::AltF3, key::F4, key::AltF4}) {
        BootPc boot(twoPartitions, defaultKey >> 8);
        RunResult result = boot.run();
        EXPECT_EQ(firstDiskStartFault(boot, result), "");
        EXPECT_EQ(difference(boot.lba(0), boot.lba0Before), "") << std::hex << defaultKey;
        EXPECT_TRUE(boot.machine.video.empty());
    }
}

// Which switch keys act, by partitionCount: F1/F2 and their Alt forms always, F3 from three
// recognised partitions, F4 with four. A key that is not accepted boots unchanged, silently.
struct GateCase {
    int partitionCount;
    uint16_t key;
    bool accepted;
};

class BootKeyGate : public ::testing::TestWithParam<GateCase> {};

TEST_P(BootKeyGate, AcceptedKeysSwitchOthersBootUnchanged) {
    const GateCase& c = GetParam();
    Table table{part(0x07), part(0x83), part(0x0C), part(0x0B)};
    for (int i = c.partitionCount; i < 4; ++i) table[i] = part(0x82); // not recognised
    table[0].boot = 0x80;
    BootPc boot(table);
    RunResult result = boot.run({c.key});
    EXPECT_EQ(firstDiskStartFault(boot, result), "");
    EXPECT_EQ(boot.machine.writes.size(), c.accepted ? 1u : 0u); // unchanged: no write
    if (c.accepted) {
        EXPECT_NE(boot.liveTable(), table);
        EXPECT_EQ(shownLines(boot.machine).size(), 1u);
    } else {
        EXPECT_EQ(boot.liveTable(), table) << describe(boot.liveTable());
        EXPECT_TRUE(boot.machine.video.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    ByPartitionCount, BootKeyGate,
    ::testing::Values(GateCase{2, key::F2, true}, GateCase{2, key::AltF2, true},
                      GateCase{2, key::F3, false}, GateCase{2, key::AltF3, false},
                      GateCase{2, key::F4, false}, GateCase{2, key::AltF4, false},
                      GateCase{3, key::F3, true}, GateCase{3, key::AltF3, true},
                      GateCase{3, key::F4, false}, GateCase{3, key::AltF4, false},
                      GateCase{4, key::F4, true}, GateCase{4, key::AltF4, true}));

TEST(BootOtherKeys, ModifiedAndUnlistedKeysBootTheFirstDiskUnchanged) {
    for (uint16_t other : {key::ShiftOne, key::KeypadOne, key::CtrlF1, key::ShiftF1, key::Enter,
                           key::Escape, uint16_t{0x3B01}, uint16_t{0x0000}}) {
        BootPc boot(fourPartitions, key::F2 >> 8);
        RunResult result = boot.run({other});
        EXPECT_EQ(firstDiskStartFault(boot, result), "");
        EXPECT_EQ(difference(boot.lba(0), boot.lba0Before), "") << std::hex << other;
        EXPECT_TRUE(boot.machine.video.empty()) << std::hex << other;
    }
}

TEST(BootOtherKeys, OnlyTheFirstQueuedKeyCounts) {
    BootPc boot(fourPartitions);
    RunResult result = boot.run({key::Enter, key::F2});
    EXPECT_EQ(firstDiskStartFault(boot, result), "");
    EXPECT_EQ(boot.liveTable(), fourPartitions);
}

// Seeded random starts (16-byte entries, DefaultKey, keys, CapsLock, a second disk with or
// without the BIOS's packet functions) end in a started boot sector or a key wait, write only
// LBA 0..4 of the first disk and nothing when it ends as it began, change only the active flag
// and hidden bit of recognised entries and only bit 7 of the boot indicator of other entries,
// and leave at most one active entry after every choice of a first-disk partition.
TEST(BootKeysRandom, StartsWriteAndChangeOnlyWhatTheyMay) {
    std::mt19937 random(1206);
    auto any = [&](std::vector<int> from) { return from[random() % from.size()]; };
    const std::string types = "\x06\x0B\x0C\x0E\x07\x81\x83";
    const Table secondDisk{part(0x07, 100), empty, part(0x0F, 300), empty};
    int choices = 0, foreignCleared = 0, severalActiveBefore = 0, otherDiskStarts = 0,
        withoutExtensions = 0, waits = 0;
    for (int run = 0; run < 2000; ++run) {
        BootPc boot(Table{}, any({0, 0x3B, 0x3C, 0x3D, 0x3E, 0x68, 0x69, 0x6A, 0x6B, 0x44}));
        std::vector<Sector>& disk = boot.machine.drives[0x80].sectors;
        for (uint32_t at = 0; at < 64; ++at)
            disk[0][tableOffset + at] = at % 16 == 4 && random() % 3
                                            ? types[random() % 7] | (random() & 0x10)
                                        : at % 16 == 0 && random() % 2 ? random() & 0x80
                                                                       : random();
        if (random() % 2) {
            boot.machine.drives[0x81] = otherDisk(0x81, secondDisk);
            boot.machine.drives[0x81].extensions = random() % 2;
        }
        boot.machine.keyboardFlags = random() % 8 ? 0 : pcmodel::capsLockBit;
        std::vector<uint16_t> keys(random() % 4);
        for (uint16_t& k : keys)
            k = any({key::F1, key::F3, key::AltF2, key::AltF4, key::F5, key::F7, key::digit(1),
                     key::F10, key::Space, key::Enter, int(random())});
        const std::vector<Sector> before = disk;
        RunResult result = boot.run(keys);
        ASSERT_TRUE(result.stop == Stop::BootSectorEntered || result.stop == Stop::WaitingForKey)
            << run << describe(result, boot.machine);
        for (const pcmodel::SectorWrite& write : boot.machine.writes)
            ASSERT_TRUE(write.drive == 0x80 && write.lba <= 4) << run;
        ASSERT_FALSE(disk == before && !boot.machine.writes.empty()) << run;
        bool chosen = false;
        for (const std::string& line : shownLines(boot.machine))
            chosen = chosen || line.find(" is aktief") != std::string::npos;
        int activeBefore = 0, activeAfter = 0;
        bool foreignActive = false;
        for (uint32_t at = 0; at < 64; ++at) {
            const uint8_t old = before[0][tableOffset + at], now = disk[0][tableOffset + at];
            bool recognised =
                types.find(before[0][tableOffset + at / 16 * 16 + 4] & 0xEF) != std::string::npos;
            uint8_t may = at % 16 == 0                 ? (recognised || chosen ? 0x80 : 0)
                          : at % 16 == 4 && recognised ? 0x10
                                                       : 0;
            ASSERT_EQ((old ^ now) & ~may, 0) << run << ", byte " << at;
            ASSERT_FALSE(at % 16 == 0 && !recognised && (now & ~old & 0x80)) << run;
            if (at % 16 == 0) {
                activeBefore += old >> 7;
                activeAfter += now >> 7;
                foreignActive = foreignActive || (!recognised && (old & 0x80));
            }
        }
        if (chosen) {
            ASSERT_LE(activeAfter, 1) << run << " " << describe(tableOf(disk[0]));
            ++choices;
            foreignCleared += foreignActive;
            severalActiveBefore += activeBefore > 1;
        }
        bool otherDisk = result.stop == Stop::BootSectorEntered && result.regs.dl() == 0x81;
        otherDiskStarts += otherDisk;
        withoutExtensions += otherDisk && !boot.machine.drives[0x81].extensions;
        waits += result.stop == Stop::WaitingForKey;
    }
    std::printf("2000 random starts: %d first-disk choices (%d with several active entries "
                "before, %d with an active unrecognised entry), %d second-disk starts (%d "
                "without packet functions), %d key waits\n",
                choices, severalActiveBefore, foreignCleared, otherDiskStarts, withoutExtensions,
                waits);
    EXPECT_GT(foreignCleared, 100);
    EXPECT_GT(withoutExtensions, 10);
}

// The pause measured by the BIOS clock, which the model advances by one tick every
// `perTick` instructions of the program. The pause ends at the start of the first round at
// which pauseTicks ticks have passed since it began (at once for 0), or when a key is queued;
// with a clock that stands still after its 2^32 steps. Across the low word's wrap it is as
// long as elsewhere; across midnight (the count starts again at 0 after 1800AFh) it may last
// one round longer, never shorter. Either way the start goes on as without the pause.
struct ClockCase {
    const char* name;
    uint16_t pauseTicks;
    uint64_t perTick; // instructions a tick; 0: the clock stands still
    uint32_t clockAtStart;
    std::vector<uint16_t> keys;
    uint64_t arriveAfter = 0;
};

class BootClockPause : public ::testing::TestWithParam<ClockCase> {};

constexpr uint64_t slowTick = roundInstructions * 3 / 2; // a tick every one and a half rounds
constexpr uint64_t fastTick = roundInstructions / 3;     // three ticks a round
constexpr uint32_t beforeMidnight = 0x1800B0 - 3;        // three ticks before 0 again
constexpr uint64_t pauseStarts = 14;                     // instructions before the pause
constexpr uint64_t roundStarts(uint64_t round) {         // the first round is 1
    return pauseStarts + pauseSetUp + (round - 1) * roundInstructions;
}

TEST_P(BootClockPause, EndsAfterItsTicksOrAKey) {
    const ClockCase& c = GetParam();
    BootPc skipped(fourPartitions, key::F1 >> 8);
    RunResult base = skipped.run(c.keys);
    BootPc paused(fourPartitions, key::F1 >> 8);
    Sector& lba0 = paused.machine.drives[0x80].sectors[0];
    lba0[bootsym::pauseTicksOffset] = static_cast<uint8_t>(c.pauseTicks);
    lba0[bootsym::pauseTicksOffset + 1] = static_cast<uint8_t>(c.pauseTicks >> 8);
    paused.lba0Before = lba0;
    paused.machine.instructionsPerTick = c.perTick;
    paused.machine.clockAtStart = c.clockAtStart;
    paused.machine.keysArriveAfter = c.arriveAfter;
    RunResult result = start(paused.machine, c.keys, pauseOptions());
    ASSERT_EQ(result.stop, base.stop) << describe(result, paused.machine);
    EXPECT_EQ(firstDiskStartFault(paused, result), "");
    EXPECT_EQ(shownLines(paused.machine), shownLines(skipped.machine));
    EXPECT_EQ(paused.liveTable(), skipped.liveTable());

    const uint64_t pause = result.instructions - base.instructions;
    // A pause of 0 ticks ends at its first look at the clock, before the keyboard's.
    if (!c.keys.empty() && c.pauseTicks != 0) {
        const uint64_t rounds =
            c.arriveAfter == 0 ? 0 : (c.arriveAfter - roundStarts(1)) / roundInstructions + 1;
        EXPECT_EQ(pause, pauseInstructions(rounds, true));
        return;
    }
    if (c.perTick == 0 && c.pauseTicks != 0) {
        EXPECT_EQ(pause, pauseInstructions(65536, false));
        return;
    }
    // Ended by the clock: whole rounds, then the clock's 6 instructions of the next. The round
    // in which the clock goes back at midnight skips 2 of them (it counts no tick).
    const bool acrossMidnight = c.clockAtStart > 0x180000;
    const uint64_t shorter = acrossMidnight ? 2 : 0;
    ASSERT_EQ((pause + shorter - pauseSetUp - 6) % roundInstructions, 0u) << pause;
    const uint64_t rounds = (pause + shorter - pauseSetUp - 6) / roundInstructions;
    if (c.pauseTicks == 0) {
        EXPECT_EQ(rounds, 0u);
        return;
    }
    // Ticks that truly passed between the pause's first look at the clock and the look at the
    // start of round r.
    const auto passed = [&](uint64_t round) {
        return roundStarts(round) / c.perTick - pauseStarts / c.perTick;
    };
    EXPECT_GE(passed(rounds + 1), c.pauseTicks) << "ended early, after " << rounds << " rounds";
    ASSERT_EQ(acrossMidnight, c.clockAtStart + passed(rounds + 1) >= 0x1800B0);
    const uint64_t late = acrossMidnight ? 2 : 1; // rounds it may run on
    ASSERT_GE(rounds + 1, late);
    EXPECT_LT(passed(rounds + 1 - late), c.pauseTicks)
        << "ended late, after " << rounds << " rounds";
}

INSTANTIATE_TEST_SUITE_P(
    Keys, BootClockPause,
    ::testing::Values(
        ClockCase{"NoPause", 0, slowTick, 1000, {}}, ClockCase{"NoPauseClockStill", 0, 0, 1000, {}},
        ClockCase{"OneTick", 1, slowTick, 1000, {}}, ClockCase{"Default55", 55, slowTick, 1000, {}},
        ClockCase{"Longest546", 546, slowTick, 1000, {}},
        ClockCase{"FastClock55", 55, fastTick, 1000, {}}, ClockCase{"ClockStill", 546, 0, 1000, {}},
        ClockCase{"LowWordWraps", 55, fastTick, 0xFFFF - 20, {}},
        ClockCase{"LowWordWrapsSlow", 55, slowTick, 0x2FFFF - 2, {}},
        ClockCase{"Midnight", 55, fastTick, beforeMidnight, {}},
        ClockCase{"MidnightSlow", 55, slowTick, beforeMidnight, {}},
        ClockCase{"MidnightAtOnce", 55, fastTick, 0x1800B0 - 1, {}},
        ClockCase{"KeyBeforeThePause", 546, slowTick, 1000, {key::F2}},
        ClockCase{"KeyWithoutPause", 0, slowTick, 1000, {key::F3}},
        ClockCase{"KeyInRound10", 546, slowTick, 1000, {key::AltF2}, roundStarts(10) + 100},
        ClockCase{
            "SpaceInRound10", 546, fastTick, 1000, {key::Space, key::F4}, roundStarts(10) + 100}),
    [](const auto& test) { return std::string(test.param.name); });

// The pause field in stage 1: a word at offset 30h of LBA 0, 55 ticks (3 s) as built.
TEST(BootClockPause, FieldIsAWordOfFiftyFiveTicks) {
    EXPECT_EQ(bootsym::pauseTicksOffset, 0x30);
    EXPECT_EQ(bootsym::pauseTicksDefault, 55);
    const Sector lba0 = stage1(0);
    EXPECT_EQ(lba0[0x2F], 0xBF); // mov di, imm16
    EXPECT_EQ(lba0[0x30], 55);
    EXPECT_EQ(lba0[0x31], 0);
}

// No pause at all: the start runs straight to the poll, which still takes a key queued while
// the BIOS started, and CapsLock still shows the menu.
TEST(BootClockPause, WithoutAPauseAQueuedKeyAndCapsLockStillCount) {
    for (bool capsLock : {false, true}) {
        BootPc boot(fourPartitions, key::F1 >> 8);
        Sector& lba0 = boot.machine.drives[0x80].sectors[0];
        lba0[bootsym::pauseTicksOffset] = 0;
        boot.lba0Before = lba0;
        boot.machine.keyboardFlags = capsLock ? pcmodel::capsLockBit : 0;
        pcmodel::RunOptions options = bootOptions();
        options.skip.reset(); // the pause runs, with a clock that stands still
        RunResult result = start(boot.machine, {key::F3}, options);
        EXPECT_EQ(firstDiskStartFault(boot, result), "") << capsLock;
        EXPECT_EQ(boot.liveTable(), (Table{part(0x17), part(0x93), activePart(0x0C), part(0x1B)}));
        const std::vector<std::string> lines = shownLines(boot.machine);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back(), "F3: partitie 3 is aktief");
        EXPECT_EQ(lines.front().find("Dorvanti VELTRA Manager") != std::string::npos, capsLock);
    }
}

} // namespace
