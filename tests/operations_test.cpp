// The four operations on disk image files, through the real sector access:
// the sectors they leave (byte for byte), their messages, the install marker,
// the free-space question and whole runs of the program on scripted keys.
#include "tests/operations_fixture.h"

#include "core/catalogue.h"
#include "screens/partition_editor.h"

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <sys/file.h>

using namespace ops_test;

namespace {

constexpr int ImageSectors = 64;

class ImageTest : public OperationTest {
  protected:
    void SetUp() override {
        OperationTest::SetUp();
        std::string pattern =
            (std::filesystem::temp_directory_path() / "veltra-ops-XXXXXX").string();
        if (!mkdtemp(pattern.data())) FAIL() << "mkdtemp";
        dir = pattern;
        path = dir + "/disk0.img";
    }
    void TearDown() override {
        setenv("VELTRA_DRIVES", "/nonexistent/veltra-test-disk", 1);
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }

    // A disk of ImageSectors zero sectors with this LBA 0, as drive 0.
    void makeDisk(const SectorBuffer& lba0) {
        std::vector<uint8_t> image(ImageSectors * 512, 0);
        std::copy(lba0.begin(), lba0.end(), image.begin());
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(image.data()),
                   static_cast<std::streamsize>(image.size()));
        setenv("VELTRA_DRIVES", path.c_str(), 1);
    }
    std::vector<uint8_t> image() const {
        std::ifstream in(path, std::ios::binary);
        return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), {});
    }
    SectorBuffer lba(int n) const {
        SectorBuffer s{};
        std::vector<uint8_t> all = image();
        std::copy_n(all.begin() + 512 * n, 512, s.begin());
        return s;
    }
    void setLba(int n, const SectorBuffer& data) {
        std::fstream f(path, std::ios::binary | std::ios::in | std::ios::out);
        f.seekp(512 * n);
        f.write(reinterpret_cast<const char*>(data.data()), 512);
    }
    // Everything past LBA 4 must stay as the disk had it.
    void expectRestUntouched(const std::vector<uint8_t>& before) {
        std::vector<uint8_t> now = image();
        ASSERT_EQ(now.size(), before.size());
        EXPECT_TRUE(std::equal(now.begin() + 5 * 512, now.end(), before.begin() + 5 * 512));
    }

    // One batch run of the whole program on drive 0, on a screen of its own:
    // the exit code, and whether some row holds `message`.
    int runBatch(const std::string& word, const std::vector<int>& keys,
                 const std::string& message = {}) {
        auto shown = std::make_unique<TextScreen>();
        auto run = std::make_unique<InstallerState>();
        startUp(*run, *shown, {word});
        queueScript(*shown, keys);
        mainLoop(*run, *shown);
        EXPECT_TRUE(shown->endRequested.load()) << word;
        if (!message.empty()) {
            EXPECT_GT(rowOf(*shown, message), 0) << word << ": " << message;
        }
        return shown->exitCode.load();
    }

    std::string dir;
    std::string path;
};

// The batch layout: the message stands on the row after an empty row.
void expectBatchMessage(const TextScreen& screen, const std::string& message) {
    int r = rowOf(screen, message);
    ASSERT_GT(r, 1) << "no row holds \"" << message << "\"";
    EXPECT_TRUE(blankRow(screen, r - 1));
}

TEST_F(ImageTest, HideAndRestoreChangeOnlyTheTableInLbaZero) {
    // HIDE: recognised types get the hidden bit, others and all boot flags stay.
    SectorBuffer mbr = makeMbr({{{0x80, 0x07}, {0x00, 0x83}, {0x80, 0x05}, {0x00, 0x00}}});
    makeDisk(mbr);
    const std::vector<uint8_t> before = image();
    beginPass("HIDE", true);
    EXPECT_EQ(hideAll(state, screen), Outcome::Done);
    SectorBuffer expected = mbr;
    expected[450] = 0x17;
    expected[466] = 0x93;
    EXPECT_EQ(lba(0), expected);
    for (int n = 1; n <= 4; ++n) EXPECT_EQ(lba(n), SectorBuffer{}) << "LBA " << n;
    expectRestUntouched(before);
    expectBatchMessage(screen, HiddenMessage);

    // REST: the first recognised entry active (slot 1 is empty), the others
    // not; types unhidden. With none recognised the boot flags stay.
    mbr = makeMbr({{{0x00, 0x00}, {0x00, 0x17}, {0x80, 0x1C}, {0x00, 0x82}}});
    makeDisk(mbr);
    beginPass("", false);
    EXPECT_EQ(restoreAll(state, screen), Outcome::Done);
    expected = mbr;
    expected[462] = 0x80;
    expected[478] = 0x00;
    expected[466] = 0x07;
    expected[482] = 0x0C;
    EXPECT_EQ(lba(0), expected);
    const SectorBuffer foreign = makeMbr({{{0x00, 0x00}, {0x80, 0x82}, {0x00, 0x05}, {}}});
    makeDisk(foreign);
    beginPass("REST", true);
    restoreAll(state, screen);
    EXPECT_EQ(lba(0), foreign);
    makeDisk(mbr);
    beginPass("", false);
    restoreAll(state, screen);
    EXPECT_EQ(row(22), row80(VisibleMessage));
    // The repaint shows the new table: partition 2 visible on its install lines.
    EXPECT_EQ(static_cast<char>(cellAt(screen, 12, 4).ch), '+');
}

TEST_F(ImageTest, InstallWritesTheFourSectorsForEveryWord) {
    const std::array<SectorBuffer, 4> images = bootImages();
    const SectorBuffer mbr = makeMbr(FourPartitions);
    for (const InstallWord& w : InstallWords) {
        SCOPED_TRACE("word \"" + w.word + "\"");
        makeDisk(mbr);
        const std::vector<uint8_t> before = image();
        beginPass(w.word, false);
        ASSERT_EQ(installBootProgram(state, screen), Outcome::Done);

        EXPECT_EQ(lba(0), installedSector0(mbr, w.key));
        EXPECT_EQ(lba(1), mbr);
        for (int n = 2; n <= 4; ++n) EXPECT_EQ(lba(n), images[n - 1]) << "LBA " << n;
        expectRestUntouched(before);
        EXPECT_EQ(state.isInstalled, 1);
        EXPECT_EQ(state.questionAsked, 0);

        // The chosen line is marked in grey; the result stands on row 22.
        EXPECT_EQ(state.markerRow, w.row);
        const Cell& mark = cellAt(screen, w.row, 74);
        EXPECT_EQ(mark.ch, '*');
        EXPECT_EQ(mark.fg, Grey);
        EXPECT_EQ(mark.bg, PaleRose);
        EXPECT_EQ(row(22), row80(InstalledMessage));
        EXPECT_EQ(cellAt(screen, 22, 3).fg, Magenta);
    }
}

TEST_F(ImageTest, InteractiveInstallAndRemovalRetitleRowOne) {
    const SectorBuffer mbr = makeMbr(FourPartitions);
    makeDisk(mbr);
    beginPass("3V", false);
    ASSERT_EQ(installBootProgram(state, screen), Outcome::Done);
    EXPECT_EQ(row(1), state.installedTitle);
    EXPECT_EQ(cellAt(screen, 1, 1).fg, White);
    // The band behind the title: FF4EBCh at the top, B2016Fh at the bottom,
    // white glyph pixels kept. Column 21 is the blank after the 20 ">".
    EXPECT_EQ(static_cast<uint32_t>(readPixel(screen, 20 * 8, 0)) & 0xFFFFFF, 0xFF4EBCu);
    EXPECT_EQ(static_cast<uint32_t>(readPixel(screen, 20 * 8 + 3, 15)) & 0xFFFFFF, 0xB2016Fu);

    beginPass("RM", false);
    ASSERT_EQ(removeBootProgram(state, screen), Outcome::Done);
    EXPECT_EQ(row(1), state.notInstalledTitle);
    EXPECT_EQ(row(22), row80(RemovedMessage));
    EXPECT_EQ(state.isInstalled, 0);

    // Batch runs leave row 1 alone.
    beginPass("4Z", true);
    ASSERT_EQ(installBootProgram(state, screen), Outcome::Done);
    EXPECT_TRUE(blankRow(screen, 1));
    EXPECT_EQ(row(22), row80(InstalledMessage));
    EXPECT_TRUE(blankRow(screen, 21));
}

TEST_F(ImageTest, RemovalPutsTheSavedMbrBackWithTheLiveTable) {
    const SectorBuffer mbr = makeMbr(FourPartitions);
    makeDisk(mbr);
    beginPass("1V", true);
    ASSERT_EQ(installBootProgram(state, screen), Outcome::Done);

    // The boot program switched partitions since: a new live table in LBA 0.
    SectorBuffer live = lba(0);
    live[446] = 0x00;
    live[450] = 0x16;
    live[462] = 0x80;
    live[443] = 0x77; // the disk signature changed too
    setLba(0, live);

    const std::vector<uint8_t> before = image();
    beginPass("RM", true);
    ASSERT_EQ(state.isInstalled, 1);
    ASSERT_EQ(removeBootProgram(state, screen), Outcome::Done);
    SectorBuffer expected = mbr;
    std::copy(live.begin() + 432, live.end(), expected.begin() + 432);
    EXPECT_EQ(lba(0), expected);
    for (int n = 1; n <= 4; ++n) EXPECT_EQ(lba(n), SectorBuffer{}) << "LBA " << n;
    expectRestUntouched(before);
    expectBatchMessage(screen, RemovedMessage);
    EXPECT_EQ(state.isInstalled, 0);
}

TEST_F(ImageTest, RemovalKeepsTheSavedBytes432To439BehindAJumpToStage2) {
    const SectorBuffer saved = makeMbr(FourPartitions, 0x44);
    // A start-up stage whose code runs up to byte 439 and ends in E9h 48h 00h.
    SectorBuffer stage = makeMbr({{{0x00, 0x07}, {0x80, 0x83}, {}, {}}}, 0x99);
    std::copy_n("VELTRA", 6, stage.begin() + 32);
    for (uint8_t withJump : {1, 0}) {
        SCOPED_TRACE(withJump ? "ends in the jump" : "one byte differs");
        stage[436] = 0x09;
        stage[437] = 0xE9;
        stage[438] = 0x48;
        stage[439] = withJump ? 0x00 : 0x01;
        makeDisk(stage);
        setLba(1, saved);
        beginPass("RM", true);
        ASSERT_EQ(removeBootProgram(state, screen), Outcome::Done);
        SectorBuffer expected = saved;
        std::copy(stage.begin() + (withJump ? 440 : 432), stage.end(),
                  expected.begin() + (withJump ? 440 : 432));
        EXPECT_EQ(lba(0), expected);
    }
}

TEST_F(ImageTest, TheQuestionComesForAnyByteInLba1To4AndOnlyJGoesOn) {
    const SectorBuffer mbr = makeMbr(FourPartitions);
    SectorBuffer oneByte{};
    oneByte[511] = 0x01;
    // The yes key follows the language: J in Dutch, Y in English, the other one is no.
    struct Answer {
        int key;
        bool installs;
        const char* language = "nl";
    };
    for (int sector = 1; sector <= 4; ++sector) {
        for (Answer a :
             {Answer{'j', true}, Answer{'J', true}, Answer{'n', false}, Answer{Escape, false},
              Answer{Down, false}, Answer{'y', false}, Answer{'y', true, "en"},
              Answer{'Y', true, "en"}, Answer{'j', false, "en"}}) {
            SCOPED_TRACE("byte in LBA " + std::to_string(sector) + ", key " +
                         std::to_string(a.key) + ", language " + a.language);
            useLanguage(a.language);
            makeDisk(mbr);
            setLba(sector, oneByte);
            const std::vector<uint8_t> before = image();
            beginPass("2V", false);
            keys({a.key});
            const Outcome outcome = installBootProgram(state, screen);
            EXPECT_EQ(state.questionAsked, 1);
            if (a.installs) {
                EXPECT_EQ(outcome, Outcome::Done);
                EXPECT_EQ(lba(0), installedSector0(mbr, 60));
                EXPECT_EQ(lba(1), mbr);
                if (a.language == std::string("nl")) {
                    EXPECT_EQ(row(22), row80(InstalledMessage));
                }
            } else {
                EXPECT_EQ(outcome, Outcome::Cancelled);
                EXPECT_EQ(image(), before);
                // The question stands where the menu left the cursor.
                EXPECT_EQ(row(22), row80(tr(Question.c_str())));
            }
        }
    }
    useLanguage("nl");
}

TEST_F(ImageTest, BatchInstallAfterTheQuestionLeavesTwoEmptyLines) {
    const SectorBuffer mbr = makeMbr(FourPartitions);
    makeDisk(mbr);
    SectorBuffer used{};
    used[0] = 0xEB;
    setLba(4, used);
    beginPass("1Z", true);
    keys({'j'});
    ASSERT_EQ(installBootProgram(state, screen), Outcome::Done);
    const int q = rowOf(screen, Question);
    ASSERT_EQ(q, 2);
    EXPECT_TRUE(blankRow(screen, 1));
    EXPECT_TRUE(blankRow(screen, 3));
    EXPECT_TRUE(blankRow(screen, 4));
    EXPECT_EQ(screen.row, 23); // after the message on row 22
    EXPECT_EQ(row(22), row80(InstalledMessage));
    EXPECT_TRUE(blankRow(screen, 10)); // no menu marker on the batch screen
}

TEST_F(ImageTest, FewerThanTwoRecognisedPartitionsRefuseWithoutWriting) {
    // One recognised entry beside an extended one: refused, even after a J.
    const SectorBuffer one = makeMbr({{{0x80, 0x07}, {0x00, 0x05}, {}, {}}});
    makeDisk(one);
    std::vector<uint8_t> before = image();
    beginPass("IN", true);
    keys({}); // the refusal waits for a key without taking it
    EXPECT_EQ(installBootProgram(state, screen), Outcome::Cancelled);
    EXPECT_EQ(image(), before);
    expectBatchMessage(screen, TooFewMessage);

    SectorBuffer used{};
    used[7] = 1;
    setLba(2, used);
    before = image();
    beginPass("IN", false);
    keys({'J', Enter});
    EXPECT_EQ(installBootProgram(state, screen), Outcome::Cancelled);
    EXPECT_EQ(image(), before);
    EXPECT_EQ(row(22), row80(Question));
    EXPECT_EQ(row(23), row80(TooFewMessage));

    // Two recognised entries, one of them hidden: that is enough.
    const SectorBuffer two = makeMbr({{{0x00, 0x00}, {0x80, 0x07}, {0x00, 0x1B}, {}}});
    makeDisk(two);
    beginPass("1V", true);
    EXPECT_EQ(installBootProgram(state, screen), Outcome::Done);
    EXPECT_EQ(lba(0), installedSector0(two, 59));
}

// Whole runs of the program, as main() starts it.
TEST_F(ImageTest, BatchWordsRunOneOperationAndEndAfterTheClosingPrompt) {
    const SectorBuffer mbr = makeMbr(FourPartitions);
    makeDisk(mbr);
    runProgram({"1v"}, {' '});
    EXPECT_TRUE(screen.endRequested);
    EXPECT_EQ(lba(0), installedSector0(mbr, 59));
    EXPECT_EQ(row(22), row80(InstalledMessage));
    EXPECT_TRUE(blankRow(screen, 21));
    expectBatchMessage(screen, ClosingPrompt);

    // "rest" in lower case on the installed disk: the live table changes, the
    // boot program stays.
    SectorBuffer live = lba(0);
    live[446] = 0x00;
    live[466] = 0x1B;
    live[478] = 0x80;
    setLba(0, live);
    TextScreen second;
    InstallerState fresh;
    startUp(fresh, second, {"rest"});
    queueScript(second, {' '});
    mainLoop(fresh, second);
    EXPECT_EQ(lba(0), installedSector0(mbr, 59));
    expectBatchMessage(second, VisibleMessage);
    expectBatchMessage(second, ClosingPrompt);

    TextScreen third;
    InstallerState again;
    startUp(again, third, {"RM"});
    queueScript(third, {});
    mainLoop(again, third);
    EXPECT_EQ(lba(0), mbr);
    for (int n = 1; n <= 4; ++n) EXPECT_EQ(lba(n), SectorBuffer{}) << "LBA " << n;
    expectBatchMessage(third, RemovedMessage);
    expectBatchMessage(third, ClosingPrompt);
}

TEST_F(ImageTest, TheKeyThatEndsAResultActsNowhereElse) {
    // 1v is installed; the Enter that ends its result line does not also start
    // the highlighted removal, and Escape ends with 0.
    const SectorBuffer mbr = makeMbr(FourPartitions);
    makeDisk(mbr);
    runProgram({}, {Down, Down, Enter, Enter, Escape});
    EXPECT_EQ(lba(0), installedSector0(mbr, 59));
    EXPECT_EQ(lba(1), mbr);
    EXPECT_EQ(screen.exitCode.load(), 0);
}

TEST_F(ImageTest, RefusalsWriteNothingAndEndWithTheirCode) {
    const SectorBuffer mbr = makeMbr(FourPartitions);
    SectorBuffer gptHeader{};
    std::copy_n("EFI PART", 8, gptHeader.begin());
    SectorBuffer installed = installedSector0(mbr, 59);
    SectorBuffer protective = makeMbr({{{0, 0xEE}, {0, 0}, {0, 0}, {0, 0}}});
    std::fill(protective.begin(), protective.begin() + 440, 0); // the protective MBR of a GPT tool
    SectorBuffer unsigned0 = mbr;
    unsigned0[510] = unsigned0[511] = 0;
    SectorBuffer allOnes{};
    allOnes.fill(0xFF);
    SectorBuffer installedUnsigned = installed;
    installedUnsigned[510] = installedUnsigned[511] = 0;
    struct Case {
        const char* what;
        SectorBuffer lba0, lba1;
        int otherProgram; // the lock another program holds, 0 for none
        std::string word, message;
        int exitCode;
    } cases[] = {
        {"GPT disk", mbr, gptHeader, 0, "1V", GptMessage, 1},
        {"GPT disk, no boot code", protective, gptHeader, 0, "IN", GptMessage, 1},
        {"type EEh, no GPT header", protective, {}, 0, "IN", NoMbrMessage, 1},
        {"LBA 0 without 55h AAh", unsigned0, {}, 0, "IN", NoMbrMessage, 1},
        {"LBA 1 cleared", installed, {}, 0, "RM", NoSavedMbrMessage, 1},
        {"LBA 1 without boot code", installed, gptHeader, 0, "RM", NoSavedMbrMessage, 1},
        {"drive in use", mbr, {}, LOCK_EX, "HIDE", InUseMessage, 1},
        {"drive in use", installed, mbr, LOCK_EX, "RM", InUseMessage, 1},
        {"drive read by another", mbr, {}, LOCK_SH, "1V", InUseMessage, 1},
        {"nothing to do", installed, mbr, 0, "IN",
         "  VELTRA is al geïnstalleerd, er is niets gewijzigd.", 1},
        // A request to remove never installs.
        {"RM without VELTRA", mbr, {}, 0, "RM", NotInstalledMessage, 1},
        // HIDE and REST leave a sector alone that holds no partition table.
        {"HIDE on LBA 0 without 55h AAh", unsigned0, {}, 0, "HIDE", NoTableMessage, 1},
        {"REST on an all-FFh LBA 0", allOnes, {}, 0, "REST", NoTableMessage, 1},
        {"REST on an empty disk", {}, {}, 0, "REST", NoTableMessage, 1},
        // Its bytes 432..511 go into the restored LBA 0: without 55h AAh they
        // would give a sector that no BIOS starts.
        {"RM over an LBA 0 without 55h AAh", installedUnsigned, mbr, 0, "RM", NoTableMessage, 1},
        {"done", mbr, {}, 0, "rest", VisibleMessage, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        makeDisk(c.lba0);
        setLba(1, c.lba1);
        const std::vector<uint8_t> before = image();
        const int held = c.otherProgram ? ::open(path.c_str(), O_RDWR) : -1;
        if (held >= 0) {
            ASSERT_EQ(::flock(held, c.otherProgram), 0);
        }
        EXPECT_EQ(runBatch(c.word, {'j', 'x'}, c.message), c.exitCode);
        if (held >= 0) ::close(held);
        if (c.exitCode != 0) {
            EXPECT_EQ(image(), before);
        }
    }

    // Another program changed the table after the pass read it: nothing is
    // written, also not the editor's change, and the editor shows the new table.
    makeDisk(mbr);
    beginPass("HIDE", true);
    const SectorBuffer changed = makeMbr(FourPartitions, 0x44);
    setLba(0, changed);
    EXPECT_EQ(hideAll(state, screen), Outcome::TableChanged);
    EXPECT_EQ(lba(0), changed);
    EXPECT_GT(rowOf(screen, ChangedMessage), 0);
    beginPass("", false);
    setLba(0, mbr);
    editPartitionFlags(state, '-', 2);
    EXPECT_EQ(lba(0), mbr);
    EXPECT_EQ(state.menuMessage, ChangedMessage);
    EXPECT_EQ(state.workSector[466], 0x0B);
    EXPECT_EQ(state.workSector[0], mbr[0]);
}

// Random first sectors through every command word with random answers.
// Whatever the disk holds, nothing past LBA 4 changes, recognised entries
// change only in the active and hidden bits, every run ends, and an install
// followed by a removal gives LBA 0 back byte for byte.
TEST_F(ImageTest, RandomDisksKeepTheirInvariants) {
    std::mt19937 random(20261207);
    auto byte = [&] { return static_cast<uint8_t>(random() & 0xFF); };
    const int types[] = {0x00, 0x06, 0x07, 0x0B, 0x0C, 0x0E, 0x81, 0x83, 0x16, 0x17,
                         0x93, 0x05, 0x0F, 0x82, 0xEE, 0xA5, 0x1B, 0x1E, 0x91, 0x5A};
    const char* words[] = {"1V", "2Z", "4V", "IN", "RM", "HIDE", "REST", "rm"};
    const std::array<SectorBuffer, 4> images = bootImages();
    // Image files in memory where the machine has it: thousands of runs.
    if (std::filesystem::is_directory("/dev/shm"))
        path = "/dev/shm/veltra-random-" + std::to_string(::getpid()) + ".img";
    for (int run = 0; run < 3000; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        std::array<SectorBuffer, 5> first{};
        for (SectorBuffer& s : first)
            for (uint8_t& b : s) b = byte();
        for (int e = 0; e < 4; ++e) {
            first[0][446 + 16 * e] = random() % 3 == 0 ? 0x80 : random() % 2 ? 0x00 : byte();
            first[0][450 + 16 * e] = static_cast<uint8_t>(types[random() % std::size(types)]);
        }
        if (random() % 4) first[0][510] = 0x55, first[0][511] = 0xAA;
        if (random() % 4 == 0) std::copy_n("VELTRA", 6, first[0].begin() + 32);
        const int lba1To4 = random() % 4; // empty, random, GPT, a real install
        for (int n = 1; n <= 4; ++n) {
            if (lba1To4 == 0) first[n].fill(0);
            if (lba1To4 == 3) first[n] = n == 1 ? makeMbr(FourPartitions, byte()) : images[n - 1];
        }
        if (lba1To4 == 2) std::copy_n("EFI PART", 8, first[1].begin());
        makeDisk(first[0]);
        for (int n = 1; n <= 4; ++n) setLba(n, first[n]);
        const std::vector<uint8_t> before = image();

        const std::string word = words[random() % std::size(words)];
        const int answer = random() % 2 ? 'j' : 'n';
        const int exitCode = runBatch(word, {answer, 'x'});
        ASSERT_TRUE(exitCode == 0 || exitCode == 1) << word;
        expectRestUntouched(before);
        const SectorBuffer now = lba(0);
        for (int e = 0; e < 4; ++e) {
            const int at = 446 + 16 * e;
            const bool recognised = isRecognisedType(before[at + 4]);
            for (int i = 0; i < 16; ++i) {
                const int mask = i == 0 ? 0x7F : i == 4 && recognised ? 0xEF : 0xFF;
                EXPECT_EQ(now[at + i] & mask, before[at + i] & mask)
                    << word << " entry " << e << " byte " << i;
            }
        }
        const bool installWord = word != "RM" && word != "rm" && word != "HIDE" && word != "REST";
        const bool wasInstalled =
            std::equal(first[0].begin() + 32, first[0].begin() + 38, "VELTRA");
        if (exitCode == 0 && installWord && !wasInstalled) {
            EXPECT_EQ(runBatch("RM", {'x'}, RemovedMessage), 0);
            EXPECT_EQ(lba(0), first[0]) << word;
        }
    }
    std::filesystem::remove(path);
}

} // namespace
