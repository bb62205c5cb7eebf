// Sector access on image files named by VELTRA_DRIVES, and the rules that map
// drive numbers to paths. Nothing here ever opens a disk of this machine.
#include "core/sector_access.h"
#include "core/sector_access_posix.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <sys/file.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

// A fresh directory under /tmp, removed again by the destructor.
struct TempDir {
    fs::path path;
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "veltra-sector-XXXXXX").string();
        path = ::mkdtemp(pattern.data());
    }
    ~TempDir() { fs::remove_all(path); }
};

// An image whose sector n is filled with the byte n + 1 (byte 0 of each sector
// holds n again, so a shifted read shows).
fs::path makeImage(const fs::path& file, int sectors) {
    std::ofstream out(file, std::ios::binary);
    for (int n = 0; n < sectors; ++n) {
        std::string sector(512, static_cast<char>(n + 1));
        sector[0] = static_cast<char>(n);
        out.write(sector.data(), sector.size());
    }
    return file;
}

std::vector<uint8_t> bytesAt(const fs::path& file, uint64_t offset, size_t count) {
    std::ifstream in(file, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    std::vector<uint8_t> bytes(count);
    in.read(reinterpret_cast<char*>(bytes.data()), count);
    bytes.resize(in.gcount());
    return bytes;
}

class SectorAccess : public ::testing::Test {
  protected:
    TempDir dir;
    fs::path disk0 = makeImage(dir.path / "disk0.img", 8);
    fs::path disk1 = makeImage(dir.path / "disk1.img", 2);
    std::unique_ptr<InstallerState> state = std::make_unique<InstallerState>();

    void useDrives(const std::string& list) { ::setenv("VELTRA_DRIVES", list.c_str(), 1); }
    void SetUp() override { useDrives(disk0.string() + ":" + disk1.string()); }
};

TEST_F(SectorAccess, ReadsTheSectorAtLbaTimes512) {
    readSector(*state, 0, 4);
    EXPECT_EQ(state->lastError, 0u);
    EXPECT_EQ(state->ioBuffer[0], 4); // offset 2048
    EXPECT_EQ(state->ioBuffer[1], 5);
    EXPECT_EQ(state->ioBuffer[511], 5);

    readSector(*state, 1, 1);
    EXPECT_EQ(state->lastError, 0u);
    EXPECT_EQ(state->ioBuffer[0], 1);
    EXPECT_EQ(state->ioBuffer[511], 2);
}

TEST_F(SectorAccess, DriveThatCannotBeOpenedGives6AndLeavesTheBufferAlone) {
    state->ioBuffer.fill(0xAB);
    readSector(*state, 3, 0); // only two drives listed
    EXPECT_EQ(state->lastError, ErrorInvalidHandle);
    for (uint8_t byte : state->ioBuffer) ASSERT_EQ(byte, 0xAB);

    for (int drive : {-1, 4, 9}) {
        readSector(*state, drive, 0);
        EXPECT_EQ(state->lastError, ErrorInvalidHandle) << "drive " << drive;
    }

    useDrives((dir.path / "absent.img").string());
    readSavedMbr(*state, 0, 1);
    EXPECT_EQ(state->lastError, ErrorInvalidHandle);

    // A directory cannot be opened for reading and writing either; a write to
    // it changes nothing.
    useDrives(dir.path.string());
    writeSector(*state, 0, 0);
    EXPECT_EQ(state->lastError, ErrorInvalidHandle);
    for (uint8_t byte : state->ioBuffer) ASSERT_EQ(byte, 0xAB);
}

TEST_F(SectorAccess, EmptyOrMissingListEntriesAreDrivesThatCannotBeOpened) {
    useDrives(":" + disk1.string() + "::");
    readSector(*state, 0, 0);
    EXPECT_EQ(state->lastError, ErrorInvalidHandle);
    readSector(*state, 1, 1);
    EXPECT_EQ(state->lastError, 0u);
    EXPECT_EQ(state->ioBuffer[0], 1);
    readSector(*state, 2, 0);
    EXPECT_EQ(state->lastError, ErrorInvalidHandle);

    // Set but empty: no drive at all; never a fall-back to the machine's disks.
    useDrives("");
    readSector(*state, 0, 0);
    EXPECT_EQ(state->lastError, ErrorInvalidHandle);
}

TEST_F(SectorAccess, EachBufferIsTouchedOnlyByItsOwnOperation) {
    state->ioBuffer.fill(0x11);
    readSavedMbr(*state, 0, 2);
    EXPECT_EQ(state->lastError, 0u);
    EXPECT_EQ(state->savedMbrBuffer[0], 2);
    EXPECT_EQ(state->savedMbrBuffer[100], 3);
    for (uint8_t byte : state->ioBuffer) ASSERT_EQ(byte, 0x11);

    state->savedMbrBuffer.fill(0x22);
    readSector(*state, 0, 3);
    EXPECT_EQ(state->ioBuffer[0], 3);
    for (uint8_t byte : state->savedMbrBuffer) ASSERT_EQ(byte, 0x22);
}

TEST_F(SectorAccess, SuccessAfterAFailureResetsTheCode) {
    readSector(*state, 2, 0);
    ASSERT_EQ(state->lastError, ErrorInvalidHandle);
    readSector(*state, 0, 0);
    EXPECT_EQ(state->lastError, 0u);

    readSector(*state, 0, 100); // past the end of the image
    ASSERT_NE(state->lastError, 0u);
    writeSector(*state, 1, 0);
    EXPECT_EQ(state->lastError, 0u);
}

TEST_F(SectorAccess, ShortReadIsAFailureButNotAFailedOpen) {
    fs::path tiny = dir.path / "tiny.img";
    std::ofstream(tiny, std::ios::binary) << std::string(100, 'x');
    useDrives(tiny.string());

    state->ioBuffer.fill(0x5A);
    readSector(*state, 0, 0);
    EXPECT_NE(state->lastError, 0u);
    EXPECT_NE(state->lastError, ErrorInvalidHandle);
    for (uint8_t byte : state->ioBuffer) ASSERT_EQ(byte, 0x5A) << "a failed read keeps the buffer";

    useDrives(disk0.string());
    readSavedMbr(*state, 0, 8); // exactly at the end
    EXPECT_NE(state->lastError, 0u);
    EXPECT_NE(state->lastError, ErrorInvalidHandle);
}

TEST_F(SectorAccess, WriteLandsOnItsSectorOnlyAndReadsBack) {
    for (int i = 0; i < 512; ++i) state->ioBuffer[i] = static_cast<uint8_t>(i * 7);
    writeSector(*state, 0, 2);
    EXPECT_EQ(state->lastError, 0u);

    // Read back through a separate handle, as another program would.
    std::vector<uint8_t> written = bytesAt(disk0, 1024, 512);
    ASSERT_EQ(written.size(), 512u);
    for (int i = 0; i < 512; ++i) ASSERT_EQ(written[i], static_cast<uint8_t>(i * 7));
    EXPECT_EQ(bytesAt(disk0, 1023, 1)[0], 2); // last byte of LBA 1
    EXPECT_EQ(bytesAt(disk0, 1536, 1)[0], 3); // first byte of LBA 3
    EXPECT_EQ(fs::file_size(disk0), 8u * 512);

    state->ioBuffer.fill(0);
    readSector(*state, 0, 2);
    EXPECT_EQ(state->ioBuffer[1], 7);
    EXPECT_EQ(state->ioBuffer[511], static_cast<uint8_t>(511 * 7));
}

TEST_F(SectorAccess, PositionsAbove4GiBUseTheHighPart) {
    // LBA 800000h is byte 100000000h: only a 64-bit position reaches it.
    fs::path sparse = dir.path / "sparse.img";
    std::ofstream(sparse, std::ios::binary).put('\0');
    useDrives(sparse.string());

    state->ioBuffer.fill(0xC3);
    writeSector(*state, 0, 0x800000);
    ASSERT_EQ(state->lastError, 0u);
    EXPECT_EQ(fs::file_size(sparse), 0x100000000ull + 512);
    EXPECT_EQ(bytesAt(sparse, 0x100000000ull, 1)[0], 0xC3);
    EXPECT_EQ(bytesAt(sparse, 0, 1)[0], 0); // not wrapped to offset 0

    state->ioBuffer.fill(0);
    readSector(*state, 0, 0x800000);
    EXPECT_EQ(state->lastError, 0u);
    EXPECT_EQ(state->ioBuffer[511], 0xC3);
}

// A path swapped for a link to another disk between two transfers: the write
// still lands on the disk the run opened, never on the other.
TEST_F(SectorAccess, ASwappedPathNeverRedirectsAWrite) {
    const fs::path link = dir.path / "drive0";
    fs::create_symlink(disk0, link);
    useDrives(link.string());
    readSector(*state, 0, 0);
    ASSERT_EQ(state->lastError, 0u);
    fs::remove(link);
    fs::create_symlink(disk1, link);
    state->ioBuffer.fill(0xEE);
    writeSector(*state, 0, 1);
    EXPECT_EQ(state->lastError, 0u);
    EXPECT_EQ(bytesAt(disk0, 512, 1)[0], 0xEE);
    EXPECT_EQ(bytesAt(disk1, 512, 1)[0], 1); // untouched
}

// The drive's lock excludes every other holder, a reader's shared lock too.
TEST_F(SectorAccess, TheLockIsExclusive) {
    for (int other : {LOCK_SH, LOCK_EX}) {
        const int fd = ::open(disk0.c_str(), O_RDONLY);
        ASSERT_EQ(::flock(fd, other | LOCK_NB), 0);
        EXPECT_FALSE(lockDrive(0)) << other;
        ::close(fd);
    }
    ASSERT_TRUE(lockDrive(0));
    const int fd = ::open(disk0.c_str(), O_RDONLY);
    EXPECT_NE(::flock(fd, LOCK_SH | LOCK_NB), 0);
    unlockDrive(0);
    EXPECT_EQ(::flock(fd, LOCK_SH | LOCK_NB), 0);
    ::close(fd);
    // A drive that cannot be opened is not in use; no number past 3 is a drive.
    EXPECT_TRUE(lockDrive(3));
    for (int drive : {-1, 4}) {
        EXPECT_FALSE(lockDrive(drive)) << drive;
        unlockDrive(drive);
        EXPECT_EQ(openFailure(drive).problem, OpenProblem::NotNamed) << drive;
    }
}

TEST(DrivePaths, ListEntriesByDriveNumber) {
    EXPECT_EQ(driveFromList("a.img:b.img", 1), "b.img");
    EXPECT_EQ(driveFromList("a.img:b.img:c:d", 3), "d");
    EXPECT_EQ(driveFromList("a.img", 1), std::nullopt);
    EXPECT_EQ(driveFromList(":b.img", 0), std::nullopt);
    EXPECT_EQ(driveFromList("a::c", 1), std::nullopt);
    EXPECT_EQ(driveFromList("a:b:c:d:e", 4), std::nullopt); // four drives at most
    EXPECT_EQ(driveFromList("", 0), std::nullopt);
    EXPECT_EQ(driveFromList("a:b", -1), std::nullopt);
}

TEST(DrivePaths, WholeDisksOfAFakeSysBlockTreeInNameOrder) {
    TempDir dir;
    auto add = [&](const std::string& name, bool backed) {
        fs::create_directories(dir.path / name);
        if (backed) fs::create_directories(dir.path / name / "device");
    };
    add("sdb", true);
    add("sda", true);
    add("nvme0n1", true);
    add("vda", false); // no device behind it
    for (const char* name : {"fd0", "loop0", "ram0", "zram0", "sr0", "md127", "dm-0", ".sdz"})
        add(name, true);

    EXPECT_EQ(listWholeDisks(dir.path.string()),
              (std::vector<std::string>{"nvme0n1", "sda", "sdb"}));
    EXPECT_TRUE(listWholeDisks((dir.path / "missing").string()).empty());
}

} // namespace
