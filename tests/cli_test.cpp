// Backups, restores and the status report on image files, through the
// command line's actions: the folder that only the user controls, a disk's
// identity and the pruning by it, and every check a restore makes before it
// writes. Each table row is a way in that an attacker or a careless user
// would try; nothing may be written that was not asked for.
#include "boot_symbols.h"
#include "core/backup.h"
#include "core/boot_language.h"
#include "core/crc32.h"
#include "core/partition_table.h"
#include "core/sector_access.h"
#include "display/text_screen.h"
#include "display/window.h"
#include "installer/cli.h"
#include "installer/command_line.h"
#include "installer/main_loop.h"
#include "installer/platform.h"
#include "veltra_version.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <ctime>
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
    // A command word as a batch run does it, with backups on unless `prepare`
    // (which may set up the run further) says otherwise; `keys` answer it.
    int runWord(const std::string& word, const std::function<void(InstallerState&)>& prepare = {},
                const std::vector<int>& keys = {'j', 'x'}) {
        auto screen = std::make_unique<TextScreen>();
        auto run = std::make_unique<InstallerState>();
        run->makeBackups = 1;
        if (prepare) prepare(*run);
        setDriveNames({});
        setDrivesReadOnly(false);
        queueScript(*screen, keys);
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
    // A backup after a change of LBA 3 (no partition field): a new file, not the newest again.
    std::string makeNewBackup() {
        std::vector<uint8_t> bytes = readAll(image);
        ++bytes[3 * 512 + 1];
        writeAll(image, bytes);
        return makeBackup();
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
        bool needsRoot = false; // gives the folder to another user
    } cases[] = {
        {"a folder of its own", [] {}, 0},
        {"the folder belongs to another user",
         [&] {
             fs::create_directories(folder);
             ASSERT_EQ(::chown(folder.c_str(), Nobody, Nobody), 0);
         },
         3, true},
        {"another user's folder with links at the names",
         [&] {
             fs::create_directories(folder);
             plantLinks();
             ASSERT_EQ(::chown(folder.c_str(), Nobody, Nobody), 0);
         },
         3, true},
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
        if (c.needsRoot && ::geteuid() != 0) {
            std::printf("skipped without root: %s\n", c.what);
            continue;
        }
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
        newest = makeNewBackup();
        EXPECT_TRUE(fs::exists(newest)) << n;
    }
    ::unsetenv("TZ");
    ::tzset();
    // Nothing changed since the newest backup: it stands for the next one.
    EXPECT_EQ(makeBackup(), newest);
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

// A word whose state holds already ends as it would, but writes nothing and
// makes no backup; the first run of HIDE did both.
TEST_F(Backups, AWordThatChangesNothingWritesNothing) {
    writeAll(image, makeDisk(0x1234ABCD, 100));
    const auto modified = [&] {
        struct stat info {};
        ::stat(image.c_str(), &info);
        return std::pair(info.st_mtim.tv_sec, info.st_mtim.tv_nsec);
    };
    ASSERT_EQ(runWord("hide"), 0);
    EXPECT_EQ(listBackups().size(), 1u);
    const std::vector<uint8_t> hidden = readAll(image);
    const auto written = modified();
    for (const char* word : {"hide", "HIDE"}) {
        EXPECT_EQ(runWord(word), 0);
        EXPECT_EQ(listBackups().size(), 1u);
        EXPECT_EQ(readAll(image), hidden);
        EXPECT_EQ(modified(), written);
    }
}

// The restore's own backup never prunes the file being restored.
TEST_F(Backups, ARestoreKeepsTheFileItRestores) {
    writeAll(image, makeDisk(0x55667788, 100));
    makeNewBackup();
    const std::string restored = makeNewBackup(); // not the first: prunable
    for (int n = 0; n < BackupsKept - 1; ++n) makeNewBackup();
    std::vector<uint8_t> changed = readAll(image); // so that the restore backs up a new state
    ++changed[4 * 512];
    writeAll(image, changed);
    std::string said;
    closeBackupFolder();
    EXPECT_EQ(runLine({"--restore", restored}, said), 0) << said;
    EXPECT_TRUE(fs::exists(restored));
    EXPECT_EQ(listBackups().size(), 2u + BackupsKept);
}

// --status: every field of the report, as text and as JSON, for a disk
// without VELTRA and for installed disks whose saved MBR or stage 2 is
// damaged; any path as valid UTF-8 JSON and as text without control bytes;
// an unreadable drive ends with 3.
TEST_F(Backups, StatusShowsTheDiskAsItIs) {
    const std::string rows =
        "  1: 06h FAT16          actief            start        100           8 sectoren\n"
        "  2: 1Bh FAT32          actief verborgen  start        108           8 sectoren\n"
        "  3: 42h onbekend                         start        116           8 sectoren\n"
        "  4: 83h Linux                            start 4294967295  4026531841 sectoren\n";
    const std::string entries =
        "\"entries\":[{\"slot\":1,\"type\":6,\"name\":\"FAT16\",\"active\":true,\"hidden\":false,"
        "\"start\":100,\"sectors\":8},{\"slot\":2,\"type\":27,\"name\":\"FAT32\",\"active\":true,"
        "\"hidden\":true,\"start\":108,\"sectors\":8},{\"slot\":3,\"type\":66,\"name\":"
        "\"onbekend\","
        "\"active\":false,\"hidden\":false,\"start\":116,\"sectors\":8},{\"slot\":4,\"type\":131,"
        "\"name\":\"Linux\",\"active\":false,\"hidden\":false,\"start\":4294967295,"
        "\"sectors\":4026531841}]}]}\n";
    const std::string head = "{\"drives\":[{\"drive\":0,\"path\":\"" + image.string() +
                             "\",\"size\":1048576,\"sector_size\":512,\"signature\":\"cafef00d\",";
    struct Case {
        const char* word; // installed with this word first, none: not installed
        int damagedLba;   // LBA 1 or 3 overwritten after the install
        const char* text; // the VELTRA line
        const char* json; // the JSON fields after the signature
    } cases[] = {
        {nullptr, 0, "  VELTRA: niet geïnstalleerd\n",
         "\"installed\":false,\"default_key\":null,\"pause_ticks\":null,\"pause_seconds\":null,"
         "\"saved_mbr_valid\":null,\"stage2_intact\":"
         "null,\"boot_language\":null,"},
        {"4z", 0,
         "  VELTRA: geïnstalleerd, default Alt-F4, pauze 3,0 s (55 tikken); LBA 1 geldige MBR: "
         "ja; LBA 2-4 heel: "
         "ja\n  Taal van het opstartprogramma: Nederlands\n",
         "\"installed\":true,\"default_key\":\"Alt-F4\",\"pause_ticks\":55,\"pause_seconds\":3.0,"
         "\"saved_mbr_valid\":true,\"stage2_intact\":"
         "true,\"boot_language\":\"nl\","},
        {"1v", 1,
         "  VELTRA: geïnstalleerd, default F1, pauze 3,0 s (55 tikken); LBA 1 geldige MBR: nee; "
         "LBA 2-4 heel: "
         "ja\n  Taal van het opstartprogramma: Nederlands\n",
         "\"installed\":true,\"default_key\":\"F1\",\"pause_ticks\":55,\"pause_seconds\":3.0,"
         "\"saved_mbr_valid\":false,\"stage2_intact\":"
         "true,\"boot_language\":\"nl\","},
        {"in", 3,
         "  VELTRA: geïnstalleerd, default geen, pauze 3,0 s (55 tikken); LBA 1 geldige MBR: ja; "
         "LBA 2-4 heel: "
         "nee\n  Taal van het opstartprogramma: onbekend\n", // the byte lies among the texts
         "\"installed\":true,\"default_key\":null,\"pause_ticks\":55,\"pause_seconds\":3.0,\"saved_"
         "mbr_valid\":true,\"stage2_intact\":"
         "false,\"boot_language\":\"unknown\","},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.word ? c.word : "not installed");
        std::vector<uint8_t> disk = makeDisk(0xCAFEF00D, 100, 2048);
        disk[446 + 16] = 0x80;     // a second active entry
        disk[446 + 16 + 4] = 0x1B; // hidden FAT32
        disk[446 + 32 + 4] = 0x42; // a type without a name
        for (int i = 0; i < 8; ++i)
            disk[446 + 48 + 8 + i] = i < 4 ? 0xFF : (i == 4 ? 0x01 : i == 7 ? 0xF0 : 0);
        writeAll(image, disk);
        if (c.word) {
            ASSERT_EQ(runWord(c.word), 0);
            std::fstream f(image, std::ios::binary | std::ios::in | std::ios::out);
            f.seekp(c.damagedLba * 512 + 300);
            if (c.damagedLba == 1) f.seekp(512 + 510);
            if (c.damagedLba) f.put('\x01');
        }
        std::string said;
        EXPECT_EQ(runLine({"--status"}, said), 0);
        EXPECT_EQ(said, "Drive 0: " + image.string() +
                            " (1 MiB, sectoren van 512 bytes, handtekening cafef00d)\n" + c.text +
                            rows);
        EXPECT_EQ(runLine({"--status", "--json"}, said), 0);
        EXPECT_EQ(said, head + c.json + entries);
    }

    // Each type's name, hidden forms under the name of their type.
    const std::pair<int, const char*> names[] = {
        {0x00, "leeg"},      {0x01, "FAT12"},          {0x04, "FAT16 <32M"}, {0x05, "uitgebreid"},
        {0x06, "FAT16"},     {0x07, "NTFS/exFAT"},     {0x0B, "FAT32"},      {0x0C, "FAT32 LBA"},
        {0x0E, "FAT16 LBA"}, {0x0F, "uitgebreid LBA"}, {0x81, "Minix"},      {0x82, "Linux swap"},
        {0x83, "Linux"},     {0x8E, "Linux LVM"},      {0xA5, "FreeBSD"},    {0xEE, "GPT"},
        {0xEF, "EFI"},       {0x17, "NTFS/exFAT"},     {0x1C, "FAT32 LBA"},  {0x93, "Linux"},
        {0x15, "onbekend"},  {0x9E, "onbekend"},
    };
    for (const auto& [type, name] : names) {
        std::vector<uint8_t> disk = makeDisk(1, 100);
        disk[446 + 4] = static_cast<uint8_t>(type);
        writeAll(image, disk);
        std::string said;
        EXPECT_EQ(runLine({"--status"}, said), 0);
        char row[40];
        std::snprintf(row, sizeof row, "  1: %02Xh %-14s ", type, name);
        EXPECT_NE(said.find(row), std::string::npos) << said;
    }

    // Any path: valid UTF-8 stays, every other byte and every control byte
    // becomes \u00XX in JSON and \xXX in the text.
    const struct {
        std::string bytes, json;
    } paths[] = {
        {"a\x1b[31m\x7f", "a\\u001b[31m\\u007f"},
        {"\xc2\x80\xc3\xa9\xdf\xbf", "\xc2\x80\xc3\xa9\xdf\xbf"}, // two bytes
        {"\xc1\xbf", "\\u00c1\\u00bf"},                           // overlong
        {"\xe0\xa0\x80\xe2\x82\xac\xed\x9f\xbf", "\xe0\xa0\x80\xe2\x82\xac\xed\x9f\xbf"},
        {"\xe0\x9f\xbf", "\\u00e0\\u009f\\u00bf"}, // overlong
        {"\xed\xa0\x80", "\\u00ed\\u00a0\\u0080"}, // a surrogate
        {"\xf0\x90\x80\x80\xf4\x8f\xbf\xbf", "\xf0\x90\x80\x80\xf4\x8f\xbf\xbf"},
        {"\xf0\x8f\xbf\xbf", "\\u00f0\\u008f\\u00bf\\u00bf"}, // overlong
        {"\xf4\x90\x80\x80", "\\u00f4\\u0090\\u0080\\u0080"}, // above U+10FFFF
        {"\xf5\x80\x80\x80", "\\u00f5\\u0080\\u0080\\u0080"},
        {"\xe2\x82", "\\u00e2\\u0082"}, // cut short
        {"\xe2\x82x", "\\u00e2\\u0082x"},
        {"\xff\\\"", "\\u00ff\\\\\\\""},
    };
    for (const auto& p : paths) {
        const fs::path odd = dir / (p.bytes + ".img");
        SCOPED_TRACE(::testing::PrintToString(p.bytes));
        writeAll(odd, makeDisk(0xCAFEF00D, 100));
        std::string said;
        EXPECT_EQ(runLine({"--drive", odd.string(), "--status", "--json"}, said), 0);
        EXPECT_NE(said.find("\"path\":\"" + dir.string() + "/" + p.json +
                            ".img\",\"size\":32768,\"sector_size\":512"),
                  std::string::npos)
            << said;
        EXPECT_EQ(runLine({"--drive", odd.string(), "--status"}, said), 0);
        for (char c : said) EXPECT_FALSE((c >= 0 && c < 0x20 && c != '\n') || c == 0x7f) << said;
        fs::remove(odd);
    }
    std::string said;
    writeAll(dir / "a\x1b\x7f.img", makeDisk(1, 100));
    EXPECT_EQ(runLine({"--drive", (dir / "a\x1b\x7f.img").string(), "--status"}, said), 0);
    EXPECT_NE(said.find("a\\x1b\\x7f.img"), std::string::npos) << said;
    // A C1 control in UTF-8 (U+009B, the one-character CSI) is a control too.
    const fs::path csi = dir / "c\xc2\x9b"
                               "1m.img";
    writeAll(csi, makeDisk(1, 100));
    EXPECT_EQ(runLine({"--drive", csi.string(), "--status"}, said), 0);
    EXPECT_NE(said.find("c\\xc2\\x9b1m.img"), std::string::npos) << said;
    EXPECT_EQ(said.find("\xc2\x9b"), std::string::npos);

    writeAll(image, std::vector<uint8_t>(100, 7)); // shorter than a sector
    EXPECT_EQ(runLine({"--status"}, said), 3) << said;
    EXPECT_EQ(runLine({"--drive", "/nonexistent/x.img", "--status"}, said), 2) << said;
    EXPECT_EQ(runLine({"--drive", dir.string(), "--status"}, said), 2) << said;
}

} // namespace

namespace {

// --dry-run: the plan in words, whole, for each kind of word, for a
// removal and for a restore that changes only the default key; nothing
// written.
TEST_F(Backups, ADryRunShowsThePlanAndWritesNothing) {
    const std::string intro = "Proef (--dry-run), er wordt niets geschreven. In deze volgorde:\n";
    const std::string install = intro + "  LBA 1-4, 2048 bytes, daarna sync:\n"
                                        "    LBA 1: wordt de huidige LBA 0\n"
                                        "    LBA 2: verandert\n"
                                        "    LBA 3: verandert\n"
                                        "    LBA 4: verandert\n"
                                        "  LBA 0, 512 bytes, daarna sync:\n"
                                        "    LBA 0: opstartcode van VELTRA, default-toets ";
    const std::string lba0 = intro + "  LBA 0, 512 bytes, daarna sync:\n    LBA 0: ";
    const std::string dutch = "  Taal van het opstartprogramma: Nederlands\n";
    const std::string english = "  Taal van het opstartprogramma: Engels\n";
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        std::string said;
    } cases[] = {
        {{"--dry-run", "1v"}, 0, install + "3Bh (F1); pauze 3,0 s (55 tikken)\n" + dutch},
        {{"-n", "--pause=0", "3Z"}, 0, install + "6Ah (Alt-F3); pauze 0,0 s (0 tikken)\n" + dutch},
        {{"-n", "in", "--pause=30"},
         0,
         install + "00h (geen); pauze 30,0 s (546 tikken)\n" + dutch},
        {{"-n", "1z", "--boot-lang=en"},
         0,
         install + "68h (Alt-F1); pauze 3,0 s (55 tikken)\n" + english},
        {{"-n", "--boot-lang=nl", "4v"},
         0,
         install + "3Eh (F4); pauze 3,0 s (55 tikken)\n" + dutch},
        {{"-n", "hide"},
         0,
         lba0 + "partitie 1: type 06h -> 16h; partitie 2: type 0Bh -> 1Bh; partitie 3: type 07h -> "
                "17h; partitie 4: type 83h -> 93h\n"},
        {{"-n", "rest"}, 0, lba0 + "partitie 1: vlag 00h -> 80h; partitie 4: vlag 80h -> 00h\n"},
    };
    std::vector<uint8_t> disk = makeDisk(0x0DDBA11, 100);
    disk[446] = 0x00;
    disk[446 + 48] = 0x80; // the fourth entry active
    writeAll(image, disk);
    for (const Case& c : cases) {
        std::string said;
        EXPECT_EQ(runLine(c.args, said), c.exitCode);
        EXPECT_EQ(said, c.said);
        EXPECT_EQ(readAll(image), disk);
    }
    std::string said;
    EXPECT_EQ(runLine({"-n", "rm"}, said), 1) << said; // refused: nothing installed
    EXPECT_TRUE(listBackups().empty());

    // Installed: a removal puts the saved MBR back first and wipes LBA 1-4.
    ASSERT_EQ(runWord("2v"), 0);
    EXPECT_EQ(runLine({"-n", "rm"}, said), 0);
    EXPECT_EQ(said,
              lba0 + "opstartcode van de bewaarde MBR\n"
                     "  LBA 1-4, 2048 bytes, daarna sync:\n    LBA 1: wordt gewist\n"
                     "    LBA 2: wordt gewist\n    LBA 3: wordt gewist\n    LBA 4: wordt gewist\n");
    // A restore of the same disk whose default key differs: that one field.
    const std::string backup = makeBackup();
    std::vector<uint8_t> now = readAll(image);
    now[112] = 0x6B;
    writeAll(image, now);
    EXPECT_EQ(runLine({"-n", "--restore", backup}, said), 0);
    EXPECT_EQ(said, intro + "  LBA 1-4, 2048 bytes, daarna sync:\n    LBA 1: blijft gelijk\n"
                            "    LBA 2: blijft gelijk\n    LBA 3: blijft gelijk\n"
                            "    LBA 4: blijft gelijk\n  LBA 0, 512 bytes, daarna sync:\n"
                            "    LBA 0: default-toets 6Bh -> 3Ch (F2)\n");
    EXPECT_EQ(readAll(image), now);
}

// What the program answers without a window, whole: the version, the help,
// a usage error, the backups, a restore, a dry run on a disk that cannot be
// read, and a word that needs the menu's loop (not handled here).
TEST_F(Backups, AnswersWithoutAWindow) {
    writeAll(image, makeDisk(0x5EED, 100));
    const std::string folder = (state / "veltra").string();
    const std::string version =
        std::string("veltra ") + VELTRA_VERSION + " (" + VELTRA_BUILD + ")\n";
    const fs::path shortDisk = dir / "short.img";
    writeAll(shortDisk, std::vector<uint8_t>(1000, 1));
    const std::string missing = (dir / "no\x1b.bak").string();
    struct Case {
        std::vector<std::string> args;
        bool handled;
        int exitCode;
        std::string out, err;
    } cases[] = {
        {{"--version"}, true, 0, version, ""},
        {{"-V", "--drive", "/nonexistent"}, true, 0, version, ""},
        {{"--help"}, true, 0, usageText(), ""},
        {{"--json"},
         true,
         2,
         "",
         "veltra: --json hoort bij --status of --list-backups.\nProbeer 'veltra --help'.\n"},
        {{"--list-backups"}, true, 0, "Geen back-ups in " + folder + ".\n", ""},
        {{"--restore", missing},
         true,
         2,
         "",
         "veltra: " + (dir / "no\\x1b.bak").string() +
             " is niet te lezen. Er is niets gewijzigd.\n"},
        {{"-d", shortDisk.string(), "-n", "hide"},
         true,
         3,
         "",
         "veltra: drive 0 is niet te lezen (fout 5), er is niets gewijzigd.\n"},
        {{"-d", shortDisk.string(), "-n", "--restore", missing},
         true,
         2,
         "",
         "veltra: " + (dir / "no\\x1b.bak").string() +
             " is niet te lezen. Er is niets gewijzigd.\n"},
        {{"hide"}, false, 0, "", ""},
        {{"-d", image.string()}, false, 0, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        CliResult result;
        EXPECT_EQ(runWithoutWindow(parseCommandLine(c.args), result), c.handled);
        EXPECT_EQ(result.exitCode, c.exitCode);
        EXPECT_EQ(result.out, c.out);
        EXPECT_EQ(result.err, c.err);
    }
    // Backups a person can find: per file its time, disk and what it holds; the
    // first of each disk marked; --drive keeps one disk's; latest and first.
    const fs::path other = dir / "other.img";
    writeAll(other, makeDisk(0x0FEED, 200));
    std::string said;
    EXPECT_EQ(runLine({"-d", other.string(), "--restore=latest"}, said), 1);
    EXPECT_EQ(said, "veltra: geen back-up van drive 0 in " + backupFolder() +
                        ". Er is niets gewijzigd.\n");
    setDriveNames({image.string()});
    const std::string made = makeBackup();
    const std::string newer = makeNewBackup();
    setDriveNames({other.string()});
    const std::string otherMade = makeBackup();
    EXPECT_EQ(runLine({"--list-backups"}, said), 0);
    const auto shown = [&](const std::string& file, bool first, const std::string& entries) {
        const size_t at = said.find(file + "\n  ");
        if (at == std::string::npos) return std::string("not listed");
        const std::string lines = said.substr(at + file.size() + 1);
        const std::string second = lines.substr(0, lines.find('\n'));
        const std::string third = lines.substr(
            second.size() + 1, lines.find('\n', second.size() + 1) - second.size() - 1);
        return std::string(second.find(" UTC (") == 21 ? "" : "time? ") +
               (second.ends_with("; de eerste van deze schijf, blijft bewaard") == first
                    ? ""
                    : "first? ") +
               (third == "  VELTRA niet geïnstalleerd; " + entries ? "" : "entries? " + third);
    };
    EXPECT_EQ(shown(made, true, "1: 06h actief, 2: 0Bh, 3: 07h, 4: 83h"), "") << said;
    EXPECT_EQ(shown(newer, false, "1: 06h actief, 2: 0Bh, 3: 07h, 4: 83h"), "") << said;
    EXPECT_EQ(shown(otherMade, true, "1: 06h actief, 2: 0Bh, 3: 07h, 4: 83h"), "") << said;
    EXPECT_NE(said.find(", schijf 00005eed, 64 sectoren"), std::string::npos) << said;
    EXPECT_EQ(runLine({"-d", image.string(), "--list-backups"}, said), 0);
    EXPECT_NE(said.find(made), std::string::npos);
    EXPECT_EQ(said.find(otherMade), std::string::npos) << said;
    EXPECT_EQ(runLine({"--list-backups", "--json"}, said), 0);
    EXPECT_TRUE(said.starts_with("[{\"file\":\"" + made + "\",\"time\":")) << said;
    EXPECT_NE(said.find("\"signature\":\"00005eed\",\"sectors\":64,\"first\":true,\"installed\":"
                        "false,\"default_key\":null,\"entries\":[{\"slot\":1,\"type\":6,\"active\":"
                        "true,\"hidden\":false},"),
              std::string::npos)
        << said;
    EXPECT_TRUE(said.ends_with("}]}]\n")) << said;
    EXPECT_EQ(runLine({"-d", image.string(), "-n", "--restore=first"}, said), 0);
    EXPECT_TRUE(said.starts_with("Back-up: " + made + "\nProef (--dry-run)")) << said;
    EXPECT_EQ(runLine({"-d", image.string(), "-n", "--restore=latest"}, said), 0);
    EXPECT_TRUE(said.starts_with("Back-up: " + newer + "\n")) << said;
    setDriveNames({image.string()});
    EXPECT_EQ(runLine({"--restore", made}, said), 0);
    EXPECT_EQ(said, "Back-up teruggezet op drive 0 (" + image.string() + ").\n");

    // No drive named at all: the program names none itself.
    ::unsetenv("VELTRA_DRIVES");
    EXPECT_EQ(runLine({"hide"}, said), 2);
    EXPECT_TRUE(said.starts_with("veltra: geen schijf opgegeven. Geef de eerste schijf op met "
                                 "--drive, bijvoorbeeld:\n  sudo veltra --drive /dev/sda\n"))
        << said;
}

// A program started with standard descriptors closed: they get /dev/null
// before anything else is opened, an open one stays; a closed pipe's
// SIGPIPE does not end it.
TEST(Process, ClosedStandardDescriptorsGetDevNull) {
    struct stat before {};
    ASSERT_EQ(::fstat(1, &before), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(0);
        ::close(2);
        prepareProcess();
        struct stat null {
        }, in{}, err{}, out{};
        struct sigaction pipe {};
        const bool ok = ::stat("/dev/null", &null) == 0 && ::fstat(0, &in) == 0 &&
                        ::fstat(2, &err) == 0 && ::fstat(1, &out) == 0 &&
                        in.st_rdev == null.st_rdev && err.st_rdev == null.st_rdev &&
                        out.st_ino == before.st_ino && ::sigaction(SIGPIPE, nullptr, &pipe) == 0 &&
                        pipe.sa_handler == SIG_IGN;
        ::_exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

} // namespace

namespace {

// --pause with an install word sets the pause field, an install without it writes 3 s; --pause
// and --default without a word change only their bytes of an installed LBA 0, in one write
// with a backup, and are refused (nothing written) on a disk without VELTRA or, for the pause,
// on a start-up stage that has no pause field.
TEST_F(Backups, PauseAndDefaultChangeOnlyTheirBytes) {
    writeAll(image, makeDisk(0x0DDBA11, 100));
    const std::vector<uint8_t> blank = readAll(image);
    std::string said;
    EXPECT_EQ(runLine({"--default=1v"}, said), 1);
    EXPECT_EQ(said, "veltra: VELTRA is niet geïnstalleerd, er is niets gewijzigd.\n");
    EXPECT_EQ(runLine({"--pause=1", "-n"}, said), 1);
    EXPECT_EQ(readAll(image), blank);
    EXPECT_TRUE(listBackups().empty());

    const auto installWith = [&](const std::string& word, int pauseTicks) {
        return runWord(word,
                       [&](InstallerState& run) {
                           run.makeBackups = 0;
                           run.pauseTicks = pauseTicks;
                       },
                       {'x'});
    };
    EXPECT_EQ(installWith("1V", pauseTicksOfSeconds("2")), 0);
    std::vector<uint8_t> disk = readAll(image);
    EXPECT_EQ(disk[47], 0xBF);
    EXPECT_EQ(disk[48], 36);
    EXPECT_EQ(disk[49], 0);
    EXPECT_EQ(disk[112], 0x3B);
    EXPECT_EQ(runLine({"--status", "--json"}, said), 0);
    EXPECT_NE(said.find("\"default_key\":\"F1\",\"pause_ticks\":36,\"pause_seconds\":2.0,"),
              std::string::npos)
        << said;
    EXPECT_EQ(runLine({"--status"}, said), 0);
    EXPECT_NE(said.find("VELTRA: geïnstalleerd, default F1, pauze 2,0 s (36 tikken); LBA 1"),
              std::string::npos)
        << said;

    // Each change: the bytes that differ afterwards, and one backup more.
    const struct {
        std::vector<std::string> args;
        std::string said;
        std::vector<std::pair<size_t, uint8_t>> changed; // offset, new value
    } changes[] = {
        {{"--pause=2,5"},
         "VELTRA is bijgewerkt: default F1, pauze 2,5 s (46 tikken). Bij de volgende opstart "
         "actief.\n",
         {{48, 46}}},
        {{"--default=3v"},
         "VELTRA is bijgewerkt: default F3, pauze 2,5 s (46 tikken). Bij de volgende opstart "
         "actief.\n",
         {{112, 0x3D}}},
        {{"--default=NONE", "--pause=30"},
         "VELTRA is bijgewerkt: default geen, pauze 30,0 s (546 tikken). Bij de volgende "
         "opstart actief.\n",
         {{48, 0x22}, {49, 0x02}, {112, 0}}},
        {{"--pause=0", "--default=4z"},
         "VELTRA is bijgewerkt: default Alt-F4, pauze 0,0 s (0 tikken). Bij de volgende opstart "
         "actief.\n",
         {{48, 0}, {49, 0}, {112, 0x6B}}},
    };
    size_t backups = listBackups().size();
    for (const auto& c : changes) {
        const std::string what = ::testing::PrintToString(c.args);
        std::vector<uint8_t> expected = readAll(image);
        for (const auto& [at, value] : c.changed) expected[at] = value;
        closeBackupFolder();
        EXPECT_EQ(runLine(c.args, said), 0) << what;
        EXPECT_EQ(said, c.said) << what;
        EXPECT_EQ(readAll(image), expected) << what;
        EXPECT_EQ(listBackups().size(), ++backups) << what;
    }

    // --dry-run: the one field, nothing written.
    disk = readAll(image);
    EXPECT_EQ(runLine({"-n", "--default=2v", "--pause=1"}, said), 0);
    EXPECT_EQ(said, "Proef (--dry-run), er wordt niets geschreven. In deze volgorde:\n"
                    "  LBA 0, 512 bytes, daarna sync:\n"
                    "    LBA 0: default-toets 6Bh -> 3Ch (F2); pauze 0,0 s (0 tikken) -> "
                    "1,0 s (18 tikken)\n");
    EXPECT_EQ(readAll(image), disk);

    // The command words keep their meaning.
    EXPECT_EQ(installWith("2Z", -1), 1);
    EXPECT_EQ(readAll(image), disk);

    // Removed and installed again without --pause: the boot program's own 3 s.
    EXPECT_EQ(installWith("RM", -1), 0);
    EXPECT_EQ(installWith("IN", -1), 0);
    disk = readAll(image);
    EXPECT_EQ(disk[48], 55);
    EXPECT_EQ(disk[49], 0);
    EXPECT_EQ(disk[112], 0);

    // A start-up stage without the pause field (an older build): its code is not overwritten;
    // the DefaultKey byte it has can still change.
    disk[47] = 0x49; // dec cx, as the older pause began
    writeAll(image, disk);
    EXPECT_EQ(runLine({"--pause=1"}, said), 1);
    EXPECT_EQ(said, "veltra: deze VELTRA heeft geen instelbare pauze; verwijder hem en installeer "
                    "opnieuw. Er is niets gewijzigd.\n");
    EXPECT_EQ(readAll(image), disk);
    EXPECT_EQ(runLine({"--status"}, said), 0);
    EXPECT_NE(said.find("default geen, pauze vast (oudere VELTRA);"), std::string::npos) << said;
    EXPECT_EQ(runLine({"--status", "--json"}, said), 0);
    EXPECT_NE(said.find("\"pause_ticks\":null,\"pause_seconds\":null"), std::string::npos) << said;
}

// --boot-lang: an install in English, --status naming it, the texts changed
// alone (and only they) with a backup first, an install without a choice
// taking the installer's own language; other words refuse the option.
TEST_F(Backups, TheBootProgramsLanguage) {
    writeAll(image, makeDisk(0x0DDBA11, 100));
    const auto installIn = [&](const std::string& word, std::optional<BootLanguage> language,
                               BootLanguage ui) {
        return runWord(word,
                       [&](InstallerState& run) {
                           run.makeBackups = 0;
                           run.bootLanguage = language;
                           run.uiLanguage = ui;
                       },
                       {'x'});
    };
    std::string said;
    EXPECT_EQ(runLine({"--boot-lang=en"}, said), 1);
    EXPECT_EQ(said, "veltra: VELTRA is niet geïnstalleerd, er is niets gewijzigd.\n");

    ASSERT_EQ(installIn("2V", BootLanguage::English, BootLanguage::Dutch), 0);
    const std::vector<uint8_t> english = readAll(image);
    EXPECT_EQ(runLine({"--status"}, said), 0);
    EXPECT_NE(said.find("heel: ja\n  Taal van het opstartprogramma: Engels\n  1: "),
              std::string::npos)
        << said;
    EXPECT_EQ(runLine({"--status", "--json"}, said), 0);
    EXPECT_NE(said.find("\"stage2_intact\":true,\"boot_language\":\"en\",\"entries\""),
              std::string::npos)
        << said;

    EXPECT_EQ(runLine({"-n", "--boot-lang=nl"}, said), 0);
    EXPECT_EQ(said, "Proef (--dry-run), er wordt niets geschreven. In deze volgorde:\n"
                    "  LBA 2-4, 1536 bytes, daarna sync:\n    LBA 2: verandert\n"
                    "    LBA 3: verandert\n    LBA 4: verandert\n"
                    "  LBA 0, 512 bytes, daarna sync:\n    LBA 0: opstartcode\n"
                    "  Taal van het opstartprogramma: Nederlands\n");
    EXPECT_EQ(readAll(image), english);
    const size_t backups = listBackups().size();
    closeBackupFolder();
    EXPECT_EQ(runLine({"--boot-lang=nl"}, said), 0);
    EXPECT_EQ(said, "VELTRA is bijgewerkt: default F2, pauze 3,0 s (55 tikken), "
                    "opstartprogramma Nederlands. Bij de volgende opstart actief.\n");
    EXPECT_EQ(listBackups().size(), backups + 1);
    const std::vector<uint8_t> dutch = readAll(image);
    // The same disk as a Dutch install: removed and installed again in Dutch.
    EXPECT_EQ(installIn("RM", std::nullopt, BootLanguage::Dutch), 0);
    EXPECT_EQ(installIn("2V", std::nullopt, BootLanguage::Dutch), 0);
    EXPECT_EQ(readAll(image), dutch);
    EXPECT_NE(dutch, english);
    EXPECT_TRUE(std::equal(dutch.begin() + 5 * 512, dutch.end(), english.begin() + 5 * 512));

    // Without a choice an install speaks the installer's language.
    EXPECT_EQ(installIn("RM", std::nullopt, BootLanguage::Dutch), 0);
    EXPECT_EQ(installIn("2V", std::nullopt, BootLanguage::English), 0);
    EXPECT_EQ(readAll(image), english);

    // A start-up stage of another build keeps its texts.
    std::vector<uint8_t> other = english;
    other[bootsym::stage2CheckOffset] ^= 1;
    writeAll(image, other);
    EXPECT_EQ(runLine({"--boot-lang=nl"}, said), 1);
    EXPECT_EQ(said, "veltra: dit opstartprogramma is van een andere versie; verwijder het en "
                    "installeer opnieuw. Er is niets gewijzigd.\n");
    EXPECT_EQ(readAll(image), other);
}

// The backup file byte for byte: its name, the header of the second format,
// the sectors; the first format is still read; any other size, magic or
// check sum is a named problem.
TEST_F(Backups, TheFileFormatByteForByte) {
    std::vector<uint8_t> disk = makeDisk(0xA1B2C3D4, 100, 4096);
    writeAll(image, disk);
    // Another disk's backup from another second leaves this one's count at 1.
    fs::create_directories(state / "veltra");
    writeAll(state / "veltra" / "veltra-00000000-00000000-20000101T000000Z-007.bak", {});
    const std::time_t before = std::time(nullptr);
    const std::string file = makeBackup();
    const std::string name = fs::path(file).filename().string();
    ASSERT_EQ(name.size(), std::string("veltra-a1b2c3d4-xxxxxxxx-yyyymmddThhmmssZ-001.bak").size());
    EXPECT_TRUE(name.starts_with("veltra-a1b2c3d4-")) << name;
    EXPECT_TRUE(name.ends_with("Z-001.bak")) << name;
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%dT%H", std::gmtime(&before));
    EXPECT_EQ(name.substr(25, 11), stamp) << name;

    const std::vector<uint8_t> bytes = readAll(file);
    ASSERT_EQ(bytes.size(), 96u + 5 * 512);
    const auto le = [&](size_t at, int n) {
        uint64_t v = 0;
        for (int i = 0; i < n; ++i) v |= uint64_t{bytes[at + i]} << (8 * i);
        return v;
    };
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 16), "VELTRA-BACKUP-2\n");
    EXPECT_EQ(le(16, 4), 0xA1B2C3D4u);
    EXPECT_GE(le(20, 8), static_cast<uint64_t>(before));
    EXPECT_LE(le(20, 8), static_cast<uint64_t>(std::time(nullptr)));
    EXPECT_EQ(le(28, 8), 4096u);
    for (int e = 0; e < 4; ++e) {
        EXPECT_EQ(le(36 + 8 * e, 4), 100u + 8 * e);
        EXPECT_EQ(le(40 + 8 * e, 4), 8u);
    }
    EXPECT_TRUE(std::all_of(bytes.begin() + 68, bytes.begin() + 92, [](uint8_t b) { return !b; }));
    EXPECT_EQ(le(92, 4), crc32(bytes.data() + 96, 5 * 512, crc32(bytes.data(), 92)));
    EXPECT_TRUE(std::equal(bytes.begin() + 96, bytes.end(), disk.begin()));

    // The first format: a 32-byte header, the sectors' CRC-32 at 28, no size.
    std::vector<uint8_t> v1(32, 0);
    std::copy_n("VELTRA-BACKUP-1\n", 16, v1.begin());
    v1.insert(v1.end(), disk.begin(), disk.begin() + 5 * 512);
    const uint32_t sum = crc32(v1.data() + 32, 5 * 512);
    for (int i = 0; i < 4; ++i) v1[16 + i] = static_cast<uint8_t>(0x01020304u >> (8 * i));
    for (int i = 0; i < 4; ++i) v1[28 + i] = static_cast<uint8_t>(sum >> (8 * i));
    v1[20] = 0x10;
    Backup read;
    BackupFileProblem problem = BackupFileProblem::None;
    writeAll(dir / "v1.bak", v1);
    ASSERT_TRUE(readBackup((dir / "v1.bak").string(), read, problem));
    EXPECT_EQ(read.identity.signature, 0x01020304u);
    EXPECT_EQ(read.identity.sectors, 0u);
    EXPECT_EQ(read.identity.starts[3], 124u);
    EXPECT_EQ(read.time, 0x10);
    EXPECT_EQ(read.sectors[4][0], disk[4 * 512]);
    ASSERT_TRUE(readBackup(file, read, problem));
    EXPECT_EQ(read.identity.sectors, 4096u);
    EXPECT_EQ(read.identity.lengths[2], 8u);
    // The entries' places come from the header, not from its LBA 0.
    std::vector<uint8_t> moved = bytes;
    moved[36] = 0x77; // entry 1 starts at 119
    const uint32_t movedSum = crc32(moved.data() + 96, 5 * 512, crc32(moved.data(), 92));
    for (int i = 0; i < 4; ++i) moved[92 + i] = static_cast<uint8_t>(movedSum >> (8 * i));
    writeAll(dir / "moved.bak", moved);
    ASSERT_TRUE(readBackup((dir / "moved.bak").string(), read, problem));
    EXPECT_EQ(read.identity.starts[0], 0x77u);

    const auto changed = [](std::vector<uint8_t> b, size_t at) {
        b[at] ^= 1;
        return b;
    };
    const struct {
        const char* what;
        std::vector<uint8_t> bytes;
        BackupFileProblem problem;
    } bad[] = {
        {"a byte of the header", changed(bytes, 70), BackupFileProblem::Damaged},
        {"a byte of LBA 4", changed(bytes, bytes.size() - 1), BackupFileProblem::Damaged},
        {"the check sum", changed(bytes, 95), BackupFileProblem::Damaged},
        {"one byte short", {bytes.begin(), bytes.end() - 1}, BackupFileProblem::Damaged},
        {"a first-format sector", changed(v1, 40), BackupFileProblem::Damaged},
        {"the first format's size", {v1.begin(), v1.end() - 512}, BackupFileProblem::Damaged},
        {"another magic", changed(bytes, 14), BackupFileProblem::NotBackup},
        {"15 bytes of magic", {bytes.begin(), bytes.begin() + 15}, BackupFileProblem::NotBackup},
    };
    for (const auto& b : bad) {
        SCOPED_TRACE(b.what);
        writeAll(dir / "bad.bak", b.bytes);
        EXPECT_FALSE(readBackup((dir / "bad.bak").string(), read, problem));
        EXPECT_EQ(problem, b.problem);
    }

    // The count goes on after the highest one of the second, never into a gap.
    const std::string disk0 = name.substr(0, 25); // "veltra-<signature>-<identity>-"
    const std::time_t now = std::time(nullptr);
    for (std::time_t t = now; t <= now + 2; ++t) {
        std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", std::gmtime(&t));
        writeAll(state / "veltra" / (disk0 + stamp + "-005.bak"), {1});
    }
    EXPECT_TRUE(makeNewBackup().ends_with("Z-006.bak"));
}

// A start without a terminal counts as a start from the desktop only when a
// display is named (X11 or Wayland, not empty).
TEST(Process, TheDesktopStartNeedsANamedDisplay) {
    const struct {
        const char *x11, *wayland;
        bool desktop;
    } cases[] = {{nullptr, nullptr, false}, {"", nullptr, false},         {nullptr, "", false},
                 {":0", nullptr, true},     {nullptr, "wayland-0", true}, {"", "wayland-0", true}};
    for (const auto& c : cases) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const int null = ::open("/dev/null", O_RDWR);
            ::dup2(null, 0);
            ::dup2(null, 2);
            c.x11 ? ::setenv("DISPLAY", c.x11, 1) : ::unsetenv("DISPLAY");
            c.wayland ? ::setenv("WAYLAND_DISPLAY", c.wayland, 1) : ::unsetenv("WAYLAND_DISPLAY");
            ::_exit(startedFromDesktop() ? 10 : 20);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status)) << status;
        EXPECT_EQ(WEXITSTATUS(status), c.desktop ? 10 : 20) << (c.x11 ? c.x11 : "-");
    }
}

} // namespace
