// The operations on in-memory disks whose reads and writes fail on demand:
// the order of the transfers, and that no failure is reported as success or
// leaves the first disk unable to start.
#include "screens/partition_editor.h"
#include "tests/fake_sector_access.h"
#include "tests/operations_fixture.h"

#include <cerrno>
#include <chrono>
#include <memory>
#include <thread>

using namespace ops_test;
namespace fd = fake_disks;

namespace {

using Lbas = std::vector<uint64_t>;

class FaultTest : public OperationTest {
  protected:
    void SetUp() override {
        OperationTest::SetUp();
        fd::reset();
    }

    // Drive 0 with the boot program installed over `saved` with DefaultKey F1.
    void installedDisk(const SectorBuffer& saved) {
        const std::array<SectorBuffer, 4> images = bootImages();
        fd::setSector(0, 0, installedSector0(saved, 59));
        fd::setSector(0, 1, saved);
        for (int n = 2; n <= 4; ++n) fd::setSector(0, n, images[n - 1]);
    }

    // Whether the firmware would start something sound from drive 0: either
    // an MBR of its own, or the whole boot program over a saved MBR.
    bool diskStarts() const {
        const SectorBuffer s0 = fd::sector(0, 0);
        if (s0[510] != 0x55 || s0[511] != 0xAA) return false;
        if (std::string(s0.begin() + 32, s0.begin() + 38) != "VELTRA")
            return std::equal(s0.begin(), s0.begin() + 432, mbr.begin());
        const std::array<SectorBuffer, 4> images = bootImages();
        for (int n = 2; n <= 4; ++n)
            if (fd::sector(0, n) != images[n - 1]) return false;
        const SectorBuffer s1 = fd::sector(0, 1);
        return s1[510] == 0x55 && s1[511] == 0xAA &&
               std::equal(s0.begin(), s0.begin() + 112, images[0].begin()) &&
               std::equal(s0.begin() + 113, s0.begin() + 432, images[0].begin() + 113);
    }

    std::vector<uint8_t> disk0() const { return fd::disk(0); }

    void fail(fd::Kind kind, int number, uint32_t code = EIO, bool torn = false,
              bool sticky = false) {
        fd::inject({kind, number, code, torn, sticky});
    }

    bool anyRowIs(const std::string& text) const { return rowOf(screen, text) != 0; }

    const SectorBuffer mbr = makeMbr(FourPartitions);
};

TEST_F(FaultTest, TransfersComeInASafeOrder) {
    fd::setSector(0, 0, mbr);
    beginPass("4V", true);
    ASSERT_EQ(installBootProgram(state, screen), Outcome::Done);
    // Two transfers, each with one sync: LBA 1-4 together, then LBA 0 last:
    // until then it is the disk's own MBR.
    EXPECT_EQ(fd::writtenLbas(), (Lbas{1, 0}));
    Lbas reads;
    std::vector<int> counts;
    for (const fd::Call& c : fd::calls()) {
        if (c.kind == fd::Kind::Read) reads.push_back(c.lba);
        if (c.kind == fd::Kind::Write) counts.push_back(c.count);
    }
    EXPECT_EQ(counts, (std::vector<int>{4, 1}));
    // The pass's LBA 0, LBA 1-4 in one read, LBA 0 again just before the writes.
    EXPECT_EQ(reads, (Lbas{0, 1, 0}));

    // Removal: the restored MBR goes to LBA 0 before LBA 1 to 4 are zeroed.
    fd::reset();
    installedDisk(mbr);
    beginPass("RM", true);
    ASSERT_EQ(removeBootProgram(state, screen), Outcome::Done);
    EXPECT_EQ(fd::writtenLbas(), (Lbas{0, 1}));
    ASSERT_GE(fd::calls().size(), 3u);
    EXPECT_EQ(fd::calls()[1].kind, fd::Kind::Read);
    EXPECT_EQ(fd::calls()[1].lba, 1u);
    EXPECT_EQ(fd::calls()[1].count, 4);
    EXPECT_EQ(fd::calls()[2].kind, fd::Kind::Read);
    EXPECT_EQ(fd::calls()[2].lba, 0u);
    EXPECT_EQ(fd::sector(0, 0), mbr);
    for (int n = 1; n <= 4; ++n) EXPECT_EQ(fd::sector(0, n), SectorBuffer{});
}

TEST_F(FaultTest, AFailedInstallWriteLeavesTheOldSector0) {
    const Lbas order = {1, 0};
    for (int n = 1; n <= 2; ++n) {
        for (bool torn : {false, true}) {
            SCOPED_TRACE("write " + std::to_string(n) + (torn ? " torn" : ""));
            fd::reset();
            fd::setSector(0, 0, mbr);
            beginPass("1V", true);
            fail(fd::Kind::Write, n, EIO, torn);
            EXPECT_EQ(installBootProgram(state, screen), Outcome::Done);

            // Nothing more is written after a failure; LBA 0 is put back
            // when its own write failed.
            Lbas expected(order.begin(), order.begin() + n);
            if (n == 2) expected.push_back(0);
            EXPECT_EQ(fd::writtenLbas(), expected);
            EXPECT_EQ(fd::sector(0, 0), mbr);
            EXPECT_TRUE(diskStarts());
            EXPECT_EQ(state.isInstalled, 0);
            EXPECT_FALSE(anyRowIs(InstalledMessage));
            int r = rowOf(screen, InstallFailedMessage);
            EXPECT_GT(r, 1);
            EXPECT_TRUE(blankRow(screen, r - 1));
        }
    }

    // A disk that could not even be opened for LBA 0 was not touched there.
    fd::reset();
    fd::setSector(0, 0, mbr);
    beginPass("1V", false);
    fail(fd::Kind::Write, 2, ErrorInvalidHandle);
    EXPECT_EQ(installBootProgram(state, screen), Outcome::Done);
    EXPECT_EQ(fd::writtenLbas(), (Lbas{1, 0}));
    EXPECT_EQ(row(22), row80(InstallFailedMessage));
    EXPECT_EQ(row(1), state.notInstalledTitle); // no new title after a failure
}

TEST_F(FaultTest, AnInstallThatCannotPutSector0BackSaysSo) {
    // LBA 0 broke off half way and stays broken: three attempts to put it back.
    fd::setSector(0, 0, mbr);
    beginPass("2Z", true);
    fail(fd::Kind::Write, 2, EIO, true, true);
    EXPECT_EQ(installBootProgram(state, screen), Outcome::Done);
    EXPECT_EQ(fd::writtenLbas(), (Lbas{1, 0, 0, 0, 0}));
    EXPECT_TRUE(anyRowIs(Sector0LostMessage));
    EXPECT_FALSE(anyRowIs(InstalledMessage));
    EXPECT_EQ(state.isInstalled, 0);

    // A single failed attempt to put it back is tried again.
    fd::reset();
    fd::setSector(0, 0, mbr);
    beginPass("2Z", true);
    fail(fd::Kind::Write, 2, EIO, true);
    fail(fd::Kind::Write, 3, EIO, true);
    EXPECT_EQ(installBootProgram(state, screen), Outcome::Done);
    EXPECT_EQ(fd::writtenLbas(), (Lbas{1, 0, 0, 0}));
    EXPECT_EQ(fd::sector(0, 0), mbr);
    EXPECT_TRUE(anyRowIs(InstallFailedMessage));
}

TEST_F(FaultTest, AnUnreadableFreeSpaceTestWritesNothing) {
    for (int k : {2, 3}) { // read 1 is the pass's LBA 0, then LBA 1-4, then LBA 0 again
        SCOPED_TRACE("read " + std::to_string(k));
        fd::reset();
        fd::setSector(0, 0, mbr);
        const std::vector<uint8_t> before = disk0();
        beginPass("IN", false);
        fail(fd::Kind::Read, k);
        EXPECT_EQ(installBootProgram(state, screen), Outcome::Done);
        EXPECT_TRUE(fd::writtenLbas().empty());
        EXPECT_EQ(disk0(), before);
        EXPECT_EQ(state.questionAsked, 0);
        EXPECT_EQ(row(22), row80(ReadFailedMessage));
    }
}

TEST_F(FaultTest, AnUnreadableRemovalWritesNothing) {
    for (int k : {2, 3}) { // LBA 1-4 (the saved MBR first), then LBA 0 again
        SCOPED_TRACE(k == 2 ? "LBA 1-4" : "LBA 0");
        fd::reset();
        installedDisk(mbr);
        const std::vector<uint8_t> before = disk0();
        beginPass("RM", true);
        const SectorBuffer shown = state.workSector;
        fail(fd::Kind::Read, k);
        EXPECT_EQ(removeBootProgram(state, screen), Outcome::Done);
        EXPECT_TRUE(fd::writtenLbas().empty());
        EXPECT_EQ(disk0(), before);
        EXPECT_EQ(state.isInstalled, 1);
        EXPECT_EQ(state.workSector, shown);
        EXPECT_TRUE(anyRowIs(ReadFailedMessage));
        EXPECT_FALSE(anyRowIs(RemovedMessage));
    }
}

TEST_F(FaultTest, AFailedRemovalWriteKeepsTheDiskStarting) {
    // LBA 0 fails half way: the installed sector goes back, all else untouched.
    installedDisk(mbr);
    std::vector<uint8_t> before = disk0();
    beginPass("RM", false);
    fail(fd::Kind::Write, 1, EIO, true);
    EXPECT_EQ(removeBootProgram(state, screen), Outcome::Done);
    EXPECT_EQ(fd::writtenLbas(), (Lbas{0, 0}));
    EXPECT_EQ(disk0(), before);
    EXPECT_TRUE(diskStarts());
    EXPECT_EQ(state.isInstalled, 1);
    EXPECT_EQ(row(22), row80(RemoveFailedMessage));
    EXPECT_EQ(row(1), state.installedTitle);

    // LBA 0 cannot be written at all.
    fd::reset();
    installedDisk(mbr);
    beginPass("RM", true);
    fail(fd::Kind::Write, 1, EIO, true, true);
    EXPECT_EQ(removeBootProgram(state, screen), Outcome::Done);
    EXPECT_EQ(fd::writtenLbas(), (Lbas{0, 0, 0, 0}));
    EXPECT_TRUE(anyRowIs(Sector0LostMessage));

    // Zeroing LBA 1 to 4 fails: removed all the same, and said so.
    for (bool torn : {false, true}) {
        SCOPED_TRACE(torn ? "torn" : "refused");
        fd::reset();
        installedDisk(mbr);
        beginPass("RM", false);
        fail(fd::Kind::Write, 2, EIO, torn);
        EXPECT_EQ(removeBootProgram(state, screen), Outcome::Done);
        EXPECT_EQ(fd::writtenLbas(), (Lbas{0, 1}));
        EXPECT_EQ(fd::sector(0, 0), mbr);
        EXPECT_TRUE(diskStarts());
        EXPECT_EQ(state.isInstalled, 0);
        EXPECT_EQ(row(22), row80(NotWipedMessage));
        EXPECT_EQ(row(1), state.notInstalledTitle);
    }
}

TEST_F(FaultTest, AFailedHideOrRestKeepsTheTable) {
    const SectorBuffer hidden = makeMbr({{{0x00, 0x17}, {0x00, 0x1B}, {}, {}}});
    for (bool rest : {false, true}) {
        for (uint32_t code : {uint32_t{EIO}, ErrorInvalidHandle}) {
            SCOPED_TRACE(std::string(rest ? "REST" : "HIDE") + " code " + std::to_string(code));
            fd::reset();
            fd::setSector(0, 0, rest ? hidden : mbr);
            beginPass(rest ? "REST" : "HIDE", false);
            const SectorBuffer shown = state.workSector;
            fail(fd::Kind::Write, 1, code, true);
            EXPECT_EQ((rest ? restoreAll : hideAll)(state, screen), Outcome::Done);
            EXPECT_EQ(fd::sector(0, 0), rest ? hidden : mbr);
            EXPECT_EQ(state.workSector, shown);
            EXPECT_EQ(fd::writtenLbas().size(), code == EIO ? 2u : 1u);
            EXPECT_EQ(row(22), row80(WriteFailedMessage));
        }
    }
}

TEST_F(FaultTest, AFailedEditorWriteLeavesTheDiskAsItWas) {
    // Drive 1's write tears half a sector; drive 0's fails to open the disk.
    for (int drive : {1, 0}) {
        SCOPED_TRACE("drive " + std::to_string(drive));
        fd::reset();
        fd::setSector(0, 0, mbr);
        fd::setSector(1, 0, mbr);
        beginPass("", false);
        switchDrive(state, drive);
        const SectorBuffer shown = state.workSector;
        fail(fd::Kind::Write, 1, drive == 1 ? uint32_t{EIO} : ErrorInvalidHandle, true);
        editPartitionFlags(state, '-', 1);
        EXPECT_NE(state.lastError, 0u);
        EXPECT_EQ(fd::sector(drive, 0), mbr);
        EXPECT_EQ(state.workSector, shown);
        EXPECT_EQ(state.menuMessage, WriteFailedMessage); // the page says why
        // A transfer that broke off is written again with what was there; an
        // unopened disk was never touched.
        int writes = 0;
        for (const fd::Call& call : fd::calls())
            if (call.kind == fd::Kind::Write && call.drive == drive && call.lba == 0) ++writes;
        EXPECT_EQ(writes, drive == 1 ? 2 : 1);
    }
}

// Failures in whole runs: batch ends with the closing prompt, an interactive
// run keeps the message until a key.
TEST_F(FaultTest, FailuresEndABatchRunWithTheClosingPrompt) {
    fd::setSector(0, 0, mbr);
    fail(fd::Kind::Write, 2, EIO, true);
    runProgram({"3z"}, {});
    EXPECT_TRUE(screen.endRequested);
    EXPECT_EQ(fd::sector(0, 0), mbr);
    const int r = rowOf(screen, InstallFailedMessage);
    ASSERT_GT(r, 0);
    EXPECT_EQ(rowOf(screen, ClosingPrompt), r + 2);

    // An answer other than J in batch mode ends the run too, writing nothing.
    fd::reset();
    fd::setSector(0, 0, mbr);
    SectorBuffer used{};
    used[100] = 0x90;
    fd::setSector(0, 3, used);
    TextScreen second;
    InstallerState fresh;
    startUp(fresh, second, {"1V"});
    queueScript(second, {'n'});
    mainLoop(fresh, second);
    EXPECT_TRUE(second.endRequested);
    EXPECT_TRUE(fd::writtenLbas().empty());
}

// On a disk of 4096-byte sectors "LBA 1" would land inside sector 0: every
// operation and the editor refuse before any write.
TEST_F(FaultTest, ADiskOfOtherSectorsIsNeverWritten) {
    const std::string refused = "  Drive 0 heeft sectoren van 4096 bytes (niet 512), er is niets "
                                "gewijzigd.";
    for (const char* word : {"1V", "HIDE", "REST", "RM"}) {
        SCOPED_TRACE(word);
        fd::reset();
        fd::sectorSize(0) = 4096;
        if (std::string(word) == "RM")
            installedDisk(mbr);
        else
            fd::setSector(0, 0, mbr);
        auto shown = std::make_unique<TextScreen>();
        auto fresh = std::make_unique<InstallerState>();
        startUp(*fresh, *shown, {word});
        queueScript(*shown, {'x'});
        mainLoop(*fresh, *shown);
        EXPECT_TRUE(fd::writtenLbas().empty());
        EXPECT_GT(rowOf(*shown, refused), 0);
        EXPECT_EQ(shown->exitCode.load(), 1);
    }
    fd::reset();
    fd::sectorSize(1) = 4096;
    fd::setSector(1, 0, mbr);
    beginPass("", false);
    switchDrive(state, 1);
    editPartitionFlags(state, '-', 1);
    EXPECT_EQ(fd::sector(1, 0), mbr);
    EXPECT_EQ(state.menuMessage, "  Drive 1 heeft sectoren van 4096 bytes (niet 512), er is "
                                 "niets gewijzigd.");
}

TEST_F(FaultTest, AnInteractiveFailureStaysUntilAKey) {
    installedDisk(mbr);
    fail(fd::Kind::Write, 1, EIO, true);
    startUp(state, screen, {});
    pushKey(screen.keys, Enter); // row 8: remove
    std::thread logic([&] { mainLoop(state, screen); });
    bool shown = false;
    for (int i = 0; i < 1000 && !shown; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        shown = row(22) == row80(RemoveFailedMessage);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const bool stillShown = row(22) == row80(RemoveFailedMessage) && !screen.endRequested;
    pushKey(screen.keys, Escape);
    closeInput(screen.keys);
    logic.join();
    EXPECT_TRUE(shown);
    EXPECT_TRUE(stillShown);
    EXPECT_TRUE(screen.endRequested);
    EXPECT_TRUE(diskStarts());
}

// The writer alone: each failure before or during the writes, what the
// report says of it, and what LBA 0 holds afterwards.
TEST(Writer, ReportsEveryFailureAndPutsSector0Back) {
    SectorBuffer old{}, fresh{};
    old.fill(0x11);
    fresh.fill(0x22);
    DiskPlan install;
    install.decidedOn = old;
    install.newSector0 = fresh;
    install.writes = {{1, {fresh, fresh, fresh, fresh}}, {0, {fresh}}};
    DiskPlan removal = install;
    constexpr fd::Kind W = fd::Kind::Write;
    removal.writes = {{0, {fresh}}, {1, {fresh, fresh, fresh, fresh}}};
    // A plan of what the disk holds already writes nothing; one sector more that
    // differs (LBA 1 here) and the whole plan is written.
    DiskPlan same = install;
    same.writes = {{1, {SectorBuffer{}}}, {0, {old}}};
    DiskPlan lba1 = same;
    lba1.writes = {{1, {fresh}}, {0, {old}}};
    struct Case {
        const char* what;
        const DiskPlan& plan;
        std::vector<fd::Fault> faults;
        WriteResult result;
        uint32_t error;
        size_t failedWrite;
        bool sector0Written;
        SectorBuffer lba0; // after
        int writes;        // write calls made
    } cases[] = {
        // clang-format off
        {"all written", install, {}, WriteResult::Written, 0, 0, true, fresh, 2},
        {"nothing changes", same, {}, WriteResult::Written, 0, 0, false, old, 0},
        {"LBA 1 changes", lba1, {}, WriteResult::Written, 0, 0, true, old, 2},
        {"LBA 1 unreadable: written", same, {{fd::Kind::Read, 2, EIO, false, false}},
         WriteResult::Written, 0, 0, true, old, 2},
        {"LBA 1-4 fail", install, {{W, 1, EIO, false, false}},
         WriteResult::WriteFailed, EIO, 0, false, old, 1},
        {"LBA 0 torn, put back", install, {{W, 2, EIO, true, false}},
         WriteResult::WriteFailed, EIO, 1, false, old, 3},
        {"LBA 0 put back on the last try", install,
         {{W, 2, EIO, true, false}, {W, 3, EIO, false, false}, {W, 4, EIO, false, false}},
         WriteResult::WriteFailed, EIO, 1, false, old, 5},
        // Each torn put-back writes the old sector's first half.
        {"LBA 0 cannot be put back", install, {{W, 2, EIO, true, true}},
         WriteResult::Sector0Lost, EIO, 1, false, old, 5},
        {"the disk never opened", install, {{W, 2, 6, false, false}},
         WriteResult::WriteFailed, 6, 1, false, old, 2},
        {"removal: the wipe fails after LBA 0", removal, {{W, 2, EIO, false, false}},
         WriteResult::WriteFailed, EIO, 1, true, fresh, 2},
        {"LBA 0 unreadable", install, {{fd::Kind::Read, 1, EIO, false, false}},
         WriteResult::ReadFailed, EIO, 0, false, old, 0},
        // clang-format on
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fd::reset();
        fd::setSector(0, 0, old);
        for (const fd::Fault& f : c.faults) fd::inject(f);
        const WriteReport report = applyPlan(0, c.plan, {false, {}});
        EXPECT_EQ(report.result, c.result);
        EXPECT_EQ(report.error, c.error);
        EXPECT_EQ(report.failedWrite, c.failedWrite);
        EXPECT_EQ(report.sector0Written, c.sector0Written);
        EXPECT_EQ(fd::sector(0, 0), c.lba0);
        EXPECT_EQ(static_cast<int>(fd::writtenLbas().size()), c.writes);
        EXPECT_EQ(report.unchanged, c.writes == 0 && c.result == WriteResult::Written);
        EXPECT_FALSE(fd::drivesInUse() & 1);
    }
    // Refused before any write: another program's lock, a changed LBA 0,
    // sectors of another size.
    fd::reset();
    fd::setSector(0, 0, old);
    fd::drivesInUse() = 1;
    EXPECT_EQ(applyPlan(0, install, {false, {}}).result, WriteResult::InUse);
    fd::drivesInUse() = 0;
    fd::setSector(0, 0, fresh);
    WriteReport changed = applyPlan(0, install, {false, {}});
    EXPECT_EQ(changed.result, WriteResult::Changed);
    EXPECT_EQ(changed.sector0Now, fresh);
    fd::setSector(0, 0, old);
    fd::sectorSize(0) = 4096;
    WriteReport size = applyPlan(0, install, {false, {}});
    EXPECT_EQ(size.result, WriteResult::SectorSize);
    EXPECT_EQ(size.sectorSize, 4096u);
    EXPECT_TRUE(fd::writtenLbas().empty());
}

} // namespace
