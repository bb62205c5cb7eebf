// Backups, restores and the status report on image files, through the
// command line's actions: the folder that only the user controls, a disk's
// identity and the pruning by it, and every check a restore makes before it
// writes. Each table row is a way in that an attacker or a careless user
// would try; nothing may be written that was not asked for.
#include "core/backup.h"
#include "core/partition_table.h"
#include "core/sector_access.h"
#include "display/text_screen.h"
#include "display/window.h"
#include "installer/cli.h"
#include "installer/command_line.h"
#include "installer/main_loop.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr uid_t Nobody = 65534;

std::vector<uint8_t> readAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeAll(const fs::path& file, const std::vector<uint8_t>& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
}

// A disk of `sectors` sectors: boot code of its own, signature, entries of
// four recognised types with starts and lengths, 55h AAh.
std::vector<uint8_t> makeDisk(uint32_t signature, uint32_t firstStart, size_t sectors = 64) {
    std::vector<uint8_t> bytes(sectors * 512, 0);
    bytes[0] = 0xFA;
    for (int i = 0; i < 4; ++i) bytes[440 + i] = static_cast<uint8_t>(signature >> (8 * i));
    const int types[] = {0x06, 0x0B, 0x07, 0x83};
    for (int e = 0; e < 4; ++e) {
        uint8_t* p = bytes.data() + 446 + 16 * e;
        p[4] = static_cast<uint8_t>(types[e]);
        const uint32_t start = firstStart + 8 * static_cast<uint32_t>(e);
        for (int i = 0; i < 4; ++i) p[8 + i] = static_cast<uint8_t>(start >> (8 * i));
        p[12] = 8;
    }
    bytes[446] = 0x80;
    bytes[510] = 0x55;
    bytes[511] = 0xAA;
    return bytes;
}

class Backups : public ::testing::Test {
  protected:
    fs::path dir;
    fs::path image;
    fs::path state; // XDG_STATE_HOME

    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "veltra-backup-XXXXXX").string();
        dir = ::mkdtemp(pattern.data());
        image = dir / "disk0.img";
        state = dir / "state";
        ::setenv("VELTRA_DRIVES", image.c_str(), 1);
        ::setenv("XDG_STATE_HOME", state.c_str(), 1);
        setDriveNames({});
        closeBackupFolder();
    }
    void TearDown() override {
        closeDrives();
        closeBackupFolder();
        ::unsetenv("XDG_STATE_HOME");
        fs::remove_all(dir);
    }

    int runLine(const std::vector<std::string>& args, std::string& said) {
        CliResult result;
        EXPECT_TRUE(runWithoutWindow(parseCommandLine(args), result));
        said = result.out + result.err;
        return result.exitCode;
    }
    // A command word as a batch run does it, with backups on.
    int runWord(const std::string& word) {
        auto screen = std::make_unique<TextScreen>();
        auto run = std::make_unique<InstallerState>();
        run->makeBackups = 1;
        setDriveNames({});
        setDrivesReadOnly(false);
        queueScript(*screen, {'j', 'x'});
        startUp(*run, *screen, {word});
        mainLoop(*run, *screen);
        return screen->exitCode.load();
    }
    std::string makeBackup() {
        std::string file;
        BackupFailure failure;
        closeBackupFolder();
        EXPECT_TRUE(backupDrive(0, file, failure)) << static_cast<int>(failure.kind);
        return file;
    }
};

// Root writes the backup: a folder, a link or a name that another user
// controls must never turn that into a write somewhere else.
TEST_F(Backups, OnlyAFolderNobodyElseControlsTakesThem) {
    const fs::path victim = dir / "victim";
    const fs::path folder = state / "veltra";
    const std::function<void()> plantLinks = [&] {
        // Every name a backup of this second or the next could take.
        const std::time_t now = std::time(nullptr);
        for (std::time_t t = now; t <= now + 2; ++t)
            for (const char* format : {"%Y%m%d-%H%M%S", "%Y%m%dT%H%M%SZ"}) {
                char stamp[40];
                std::strftime(stamp, sizeof stamp, format, std::localtime(&t));
                for (const char* tail : {"-001.bak.tmp", "-001.bak"})
                    fs::create_symlink(victim,
                                       folder / ("veltra-0badd15c-" + std::string(stamp) + tail));
            }
    };
    struct Case {
        const char* what;
        std::function<void()> prepare;
        int exitCode;
    } cases[] = {
        {"a folder of its own", [] {}, 0},
        {"the folder belongs to another user",
         [&] {
             fs::create_directories(folder);
             ASSERT_EQ(::chown(folder.c_str(), Nobody, Nobody), 0);
         },
         3},
        {"another user's folder with links at the names",
         [&] {
             fs::create_directories(folder);
             plantLinks();
             ASSERT_EQ(::chown(folder.c_str(), Nobody, Nobody), 0);
         },
         3},
        {"the folder is writable by all",
         [&] { fs::create_directories(folder), ::chmod(folder.c_str(), 0777); }, 3},
        {"a parent is writable by all",
         [&] { fs::create_directories(state), ::chmod(state.c_str(), 0777); }, 3},
        {"a parent is writable by all but sticky",
         [&] { fs::create_directories(state), ::chmod(state.c_str(), 01777); }, 0},
        {"the folder is a link",
         [&] {
             fs::create_directories(state);
             fs::create_directories(dir / "elsewhere");
             fs::create_directory_symlink(dir / "elsewhere", folder);
         },
         3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(state);
        writeAll(image, makeDisk(0x0BADD15C, 100));
        writeAll(victim, {'r', 'o', 'o', 't'});
        c.prepare();
        const std::vector<uint8_t> before = readAll(image);
        closeBackupFolder();
        EXPECT_EQ(runWord("hide"), c.exitCode);
        EXPECT_EQ(readAll(victim), (std::vector<uint8_t>{'r', 'o', 'o', 't'}));
        if (c.exitCode != 0) {
            EXPECT_EQ(readAll(image), before);
        }
        if (c.exitCode == 0) {
            EXPECT_EQ(listBackups().size(), 1u);
        }
    }
    // A relative XDG_STATE_HOME is ignored: it would name a folder in
    // whatever directory the program was started from.
    ::setenv("XDG_STATE_HOME", "state", 1);
    EXPECT_EQ(backupFolder().front(), '/');
    ::setenv("XDG_STATE_HOME", "", 1);
    EXPECT_EQ(backupFolder().front(), '/');
}

// Disks that share a signature keep apart; the first backup of a disk stays
// however many follow; names in UTC sort in the order they were made; a
// temporary file whose writer was killed goes, a living writer's stays.
TEST_F(Backups, PrunedPerDiskKeepingTheFirst) {
    writeAll(image, makeDisk(0, 200)); // signature 0, another table
    const std::string otherDisk = makeBackup();
    writeAll(image, makeDisk(0, 100));
    const std::string first = makeBackup();
    fs::create_directories(state / "veltra");
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ::waitpid(child, nullptr, 0);
    const std::string dead = "veltra-x.bak." + std::to_string(child) + ".tmp";
    const std::string living = "veltra-y.bak." + std::to_string(::getpid()) + ".tmp";
    writeAll(state / "veltra" / dead, {1});
    writeAll(state / "veltra" / living, {1});
    std::string newest;
    for (int n = 0; n < BackupsKept + 3; ++n) {
        ::setenv("TZ", n % 2 ? "XXX+12" : "YYY-12", 1); // the zone changes between runs
        ::tzset();
        newest = makeBackup();
        EXPECT_TRUE(fs::exists(newest)) << n;
    }
    ::unsetenv("TZ");
    ::tzset();
    EXPECT_TRUE(fs::exists(otherDisk));
    EXPECT_TRUE(fs::exists(first));
    EXPECT_EQ(listBackups().size(), 1u + 1u + BackupsKept);
    EXPECT_FALSE(fs::exists(state / "veltra" / dead));
    EXPECT_TRUE(fs::exists(state / "veltra" / living));
    for (const std::string& file : listBackups()) {
        struct stat info {};
        ASSERT_EQ(::stat(file.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0600u) << file;
    }
}

// What a restore refuses, whatever a backup's signature says, and with which
// code; with nothing written.
TEST_F(Backups, RestoreChecksWhatItWrites) {
    const std::vector<uint8_t> disk = makeDisk(0x1234ABCD, 100);
    writeAll(image, disk);
    ASSERT_EQ(runWord("1v"), 0); // the backup of the disk before the install
    const std::string installedFile = makeBackup();
    Backup installed;
    BackupFileProblem problem;
    ASSERT_TRUE(readBackup(installedFile, installed, problem));
    const std::vector<uint8_t> installedDisk = readAll(image);
    using Edit = std::function<void(Backup&)>;
    using DiskEdit = std::function<void(std::vector<uint8_t>&)>;
    const Edit same = [](Backup&) {};
    const DiskEdit asIs = [](std::vector<uint8_t>&) {};
    struct Case {
        const char* what;
        Edit edit;
        DiskEdit diskEdit;
        std::vector<std::string> extra;
        int exitCode;
    } cases[] = {
        {"its own disk", same, asIs, {}, 0},
        {"two blank disks of signature 0",
         [](Backup& b) { b = Backup{}, b.sectors[0][510] = 0x55, b.sectors[0][511] = 0xAA; },
         [](std::vector<uint8_t>& d) {
             std::fill(d.begin(), d.begin() + 512, 0), d[510] = 0x55, d[511] = 0xAA;
         },
         {},
         1},
        {"another disk's size", [](Backup& b) { b.identity.sectors += 8; }, asIs, {}, 1},
        {"the same signature, another table",
         [](Backup& b) { b.identity.starts[1] = 999; },
         asIs,
         {},
         1},
        {"another signature", [](Backup& b) { b.identity.signature = 7; }, asIs, {}, 1},
        {"another signature, forced",
         [](Backup& b) { b.identity.signature = 7; },
         asIs,
         {"--force"},
         0},
        {"LBA 0 without 55h AAh", [](Backup& b) { b.sectors[0][511] = 0; }, asIs, {"--force"}, 2},
        {"an install without its MBR",
         [](Backup& b) { b.sectors[1].fill(0); },
         asIs,
         {"--force"},
         2},
        {"an install with LBA 3 damaged",
         [](Backup& b) { b.sectors[3][17] ^= 1; },
         asIs,
         {"--force"},
         2},
        {"a disk with GPT",
         same,
         [](std::vector<uint8_t>& d) { std::copy_n("EFI PART", 8, d.begin() + 512); },
         {"--force"},
         2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> target = installedDisk;
        c.diskEdit(target);
        writeAll(image, target);
        Backup backup = installed;
        c.edit(backup);
        const fs::path file = dir / "edited.bak";
        writeAll(file, encodeBackup(backup));
        std::vector<std::string> args = {"--restore", file.string(), "--no-backup"};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        std::string said;
        EXPECT_EQ(runLine(args, said), c.exitCode) << said;
        if (c.exitCode != 0) {
            EXPECT_EQ(readAll(image), target);
        }
    }

    // Files that are no backup: damaged anywhere, even in the header, or no
    // regular file at all (a FIFO must not hang the program).
    writeAll(image, installedDisk);
    const std::vector<uint8_t> good = readAll(installedFile);
    const fs::path fifo = dir / "fifo.bak";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    struct Bad {
        const char* what;
        std::string file;
        size_t flip; // a byte to change, or 0
    } bad[] = {{"a flipped bit in the signature", installedFile, 17},
               {"a flipped bit in the time", installedFile, 21},
               {"a flipped bit in LBA 2", installedFile, 96 + 1024 + 5},
               {"a FIFO", fifo.string(), 0},
               {"a folder", dir.string(), 0},
               {"a character device", "/dev/zero", 0}};
    for (const Bad& b : bad) {
        SCOPED_TRACE(b.what);
        std::string file = b.file;
        if (b.flip) {
            std::vector<uint8_t> bytes = good;
            bytes[b.flip] ^= 0x10;
            file = (dir / "flipped.bak").string();
            writeAll(file, bytes);
        }
        std::string said;
        EXPECT_EQ(runLine({"--restore", file, "--force"}, said), 2) << said;
        EXPECT_EQ(readAll(image), installedDisk);
    }
}

// The restore's own backup never prunes the file being restored.
TEST_F(Backups, ARestoreKeepsTheFileItRestores) {
    writeAll(image, makeDisk(0x55667788, 100));
    makeBackup();
    const std::string restored = makeBackup(); // not the first: prunable
    for (int n = 0; n < BackupsKept - 1; ++n) makeBackup();
    std::string said;
    closeBackupFolder();
    EXPECT_EQ(runLine({"--restore", restored}, said), 0) << said;
    EXPECT_TRUE(fs::exists(restored));
    EXPECT_EQ(listBackups().size(), 2u + BackupsKept);
}

// --status: sector size and signature; any path as valid UTF-8 JSON and as
// text without control bytes (C1 controls in UTF-8, such as U+009B, the
// one-character CSI, included); an unreadable drive ends with 3.
TEST_F(Backups, StatusShowsTheDiskAsItIs) {
    const fs::path odd = dir / "a\x1b[31m\xff\xc2\x9b"
                               "31m\xc2\xa0.img";
    writeAll(odd, makeDisk(0xCAFEF00D, 100));
    std::string said;
    EXPECT_EQ(runLine({"--drive", odd.string(), "--status", "--json"}, said), 0);
    EXPECT_NE(said.find("\"sector_size\":512,\"signature\":\"cafef00d\""), std::string::npos)
        << said;
    EXPECT_NE(said.find("a\\u001b[31m\\u00ff\xc2\x9b"
                        "31m\xc2\xa0.img"),
              std::string::npos)
        << said;
    EXPECT_EQ(runLine({"--drive", odd.string(), "--status"}, said), 0);
    EXPECT_NE(said.find("a\\x1b[31m\xff\\xc2\\x9b31m\xc2\xa0.img"), std::string::npos) << said;
    EXPECT_EQ(said.find("\xc2\x9b"), std::string::npos);
    EXPECT_NE(said.find("sectoren van 512 bytes, handtekening cafef00d"), std::string::npos)
        << said;
    EXPECT_EQ(said.find('\x1b'), std::string::npos);

    writeAll(image, std::vector<uint8_t>(100, 7)); // shorter than a sector
    EXPECT_EQ(runLine({"--status"}, said), 3) << said;
    EXPECT_EQ(runLine({"--drive", "/nonexistent/x.img", "--status"}, said), 2) << said;
    EXPECT_EQ(runLine({"--drive", dir.string(), "--status"}, said), 2) << said;
}

} // namespace

namespace {

// --dry-run: the plan in words, for a word and for a restore; nothing written.
TEST_F(Backups, ADryRunShowsThePlanAndWritesNothing) {
    writeAll(image, makeDisk(0x0DDBA11, 100));
    const std::vector<uint8_t> before = readAll(image);
    std::string said;
    EXPECT_EQ(runLine({"--dry-run", "1v"}, said), 0) << said;
    EXPECT_NE(said.find("LBA 1-4, 2048 bytes, daarna sync:\n    LBA 1: wordt de huidige LBA 0"),
              std::string::npos)
        << said;
    EXPECT_NE(said.find("LBA 0: opstartcode van VELTRA, standaardtoets 3Bh (F1)"),
              std::string::npos)
        << said;
    EXPECT_LT(said.find("LBA 1-4"), said.find("LBA 0,")); // LBA 0 last
    EXPECT_EQ(runLine({"-n", "hide"}, said), 0) << said;
    EXPECT_NE(said.find("partitie 1: type 06h -> 16h"), std::string::npos) << said;
    EXPECT_EQ(runLine({"-n", "rm"}, said), 1) << said; // refused: nothing installed
    EXPECT_EQ(readAll(image), before);
    EXPECT_TRUE(listBackups().empty());
}

} // namespace
