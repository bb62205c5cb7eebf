// Start-up and the main loop through the headless backend: the command word,
// the rights check, the installed test, the dispatch, and that every run ends
// (batch runs through the closing prompt, interactive ones on Escape).
#include "core/partition_table.h"
#include "core/sector_access.h"
#include "display/font_cp437.h"
#include "display/text_screen.h"
#include "display/window.h"
#include "installer/desktop_start.h"
#include "installer/main_loop.h"
#include "installer/platform.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::string Prompt = "  Druk op een willekeurige toets.";

std::string trimmed(std::string text) {
    return text.erase(text.find_last_not_of(' ') + 1);
}

struct Disk {
    std::vector<uint8_t> bytes = std::vector<uint8_t>(8 * 512, 0);

    Disk& types(std::initializer_list<int> list) {
        int entry = 0;
        for (int type : list) bytes[typeOffset(entry++)] = static_cast<uint8_t>(type);
        bytes[0] = 0xFA; // boot code of its own
        bytes[510] = 0x55;
        bytes[511] = 0xAA;
        return *this;
    }
    Disk& marker(const std::string& word) {
        std::copy(word.begin(), word.end(), bytes.begin() + 32);
        return *this;
    }
};

class MainFlow : public ::testing::Test {
  protected:
    fs::path dir;
    fs::path image;
    std::unique_ptr<TextScreen> screen = std::make_unique<TextScreen>();
    std::unique_ptr<InstallerState> state = std::make_unique<InstallerState>();

    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "veltra-flow-XXXXXX").string();
        dir = ::mkdtemp(pattern.data());
        image = dir / "disk0.img";
        ::setenv("VELTRA_DRIVES", image.c_str(), 1);
    }
    void TearDown() override { fs::remove_all(dir); }

    void writeDisk(const Disk& disk) {
        std::ofstream out(image, std::ios::binary);
        out.write(reinterpret_cast<const char*>(disk.bytes.data()), disk.bytes.size());
    }
    std::vector<uint8_t> diskBytes() const {
        std::ifstream in(image, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    // The whole program on this thread; the script's end reads as Escape.
    void run(const std::vector<std::string>& args, const std::vector<int>& keys = {'x'}) {
        queueScript(*screen, keys);
        setDriveNames({});        // VELTRA_DRIVES names the image
        setDrivesReadOnly(false); // as the program does for anything but --status
        startUp(*state, *screen, args);
        mainLoop(*state, *screen);
    }

    std::vector<std::string> rows() const {
        std::vector<std::string> all;
        for (int r = 1; r <= TextScreen::Rows; ++r)
            all.push_back(utf8FromCp437(trimmed(rowText(*screen, r))));
        return all;
    }
    std::string lastPrintedRow() const {
        std::vector<std::string> all = rows();
        for (auto it = all.rbegin(); it != all.rend(); ++it)
            if (!it->empty()) return *it;
        return {};
    }
    void expectEndedThroughThePrompt(int exitCode) const {
        EXPECT_TRUE(screen->endRequested.load());
        EXPECT_EQ(screen->exitCode.load(), exitCode);
        EXPECT_EQ(lastPrintedRow(), Prompt);
        EXPECT_EQ(screen->row, 23);
        EXPECT_EQ(screen->column, 1);
        EXPECT_TRUE(screen->cursorVisible);
    }
};

TEST(Dispatch, WordAndInstalledStateChooseTheOperation) {
    using enum Operation;
    for (int installed : {0, 1}) {
        EXPECT_EQ(chooseOperation("HIDE", installed), HideAll);
        EXPECT_EQ(chooseOperation("REST", installed), RestoreAll);
    }
    EXPECT_EQ(chooseOperation("RM", 1), RemoveBootProgram);
    // A request to remove never installs.
    EXPECT_EQ(chooseOperation("RM", 0), RefuseRemoval);
    for (const char* word :
         {"1Z", "1V", "2Z", "2V", "3Z", "3V", "4Z", "4V", "IN", "", "HIDE X", "hide", "RM "}) {
        EXPECT_EQ(chooseOperation(word, 0), InstallBootProgram) << word;
        EXPECT_EQ(chooseOperation(word, 1), None) << word;
    }
}

TEST(InstallMarker, SixExactBytesAt32) {
    SectorBuffer sector{};
    auto put = [&](const std::string& text) {
        for (size_t i = 0; i < text.size(); ++i) sector[32 + i] = static_cast<uint8_t>(text[i]);
    };
    put("VELTRA906");
    EXPECT_TRUE(carriesInstallMarker(sector));
    put("VELTRA   ");
    EXPECT_TRUE(carriesInstallMarker(sector)); // the version digits are not compared
    put("veltra906");
    EXPECT_FALSE(carriesInstallMarker(sector));
    put("VELTRb");
    EXPECT_FALSE(carriesInstallMarker(sector));
    put("VELTRA");
    sector[31] = 'X';
    EXPECT_TRUE(carriesInstallMarker(sector));
}

TEST_F(MainFlow, StartUpSetsModeAndTitles) {
    startUp(*state, *screen, {"rest"});
    EXPECT_EQ(state->commandWord, "REST");
    EXPECT_EQ(state->batchMode, 1);

    EXPECT_EQ(state->installedTitle, std::string(20, '>') +
                                         " Dorvanti VELTRA Manager [Ge\x8Bnstalleerd] " +
                                         std::string(19, '<'));
    EXPECT_EQ(state->notInstalledTitle, std::string(17, '>') +
                                            " Dorvanti VELTRA Manager [Niet ge\x8Bnstalleerd] " +
                                            std::string(17, '<'));
    EXPECT_EQ(state->notInstalledTitle.size(), 80u);

    auto interactive = std::make_unique<InstallerState>();
    startUp(*interactive, *screen, {});
    EXPECT_EQ(interactive->batchMode, 0);
    EXPECT_EQ(interactive->commandWord, "");
}

TEST_F(MainFlow, AFailedOpenSaysWhyAndEndsAfterAKey) {
    // Root opens any file, so missing rights are not among these: a path that
    // is missing, a folder or no disk is named, never taken for missing rights.
    const std::string absent = (dir / "absent.img").string();
    const std::pair<std::string, std::string> cases[] = {
        {absent, " Drive 0 (" + absent + ") bestaat niet."},
        {dir.string(), " Drive 0 (" + dir.string() + ") is een map, geen schijf."},
        {"/dev/null", " Drive 0 (/dev/null) is geen schijf en geen schijfbestand."},
        {"", " Drive 0 is niet gevonden."}};
    for (const auto& [path, why] : cases)
        for (bool batch : {false, true}) {
            ::setenv("VELTRA_DRIVES", path.c_str(), 1);
            screen = std::make_unique<TextScreen>();
            state = std::make_unique<InstallerState>();
            run(batch ? std::vector<std::string>{"HIDE"} : std::vector<std::string>{});

            const std::vector<std::string> shown = rows();
            EXPECT_EQ(shown[0], "");
            EXPECT_EQ(shown[1], "  VELTRA 9.06:" + why);
            EXPECT_EQ(shown[2], "");
            EXPECT_EQ(shown[3], Prompt);
            for (int r = 4; r < TextScreen::Rows; ++r) EXPECT_EQ(shown[r], "") << "row " << r + 1;
            expectEndedThroughThePrompt(3);
            EXPECT_EQ(cellAt(*screen, 2, 3).fg, PaleRose);
            EXPECT_EQ(cellAt(*screen, 2, 3).bg, Black);
        }
}

TEST_F(MainFlow, AnUnreadableFirstDriveStopsBeforeAnyWrite) {
    std::ofstream(image, std::ios::binary) << std::string(100, '\x07');
    run({"HIDE"});
    // A short read: the image holds less than one sector.
    EXPECT_EQ(rows()[1],
              "  VELTRA 9.06: Drive 0 is niet te lezen (fout 5), er is niets gewijzigd.");
    expectEndedThroughThePrompt(3);
    EXPECT_EQ(diskBytes(), std::vector<uint8_t>(100, 0x07));
}

TEST_F(MainFlow, LowerCaseMarkerIsNotInstalled) {
    // One recognised partition: an install is refused without writing.
    writeDisk(Disk{}.types({0x07, 0x00, 0x00, 0x00}).marker("veltra906"));
    const std::vector<uint8_t> before = diskBytes();
    run({"1v"});
    EXPECT_EQ(state->isInstalled, 0);
    EXPECT_EQ(state->menuTitle, state->notInstalledTitle);
    EXPECT_EQ(state->otherTitle, state->installedTitle);
    EXPECT_EQ(state->partitionCount, 1);
    EXPECT_EQ(diskBytes(), before);
    expectEndedThroughThePrompt(1);
}

TEST_F(MainFlow, BatchOnAnInstalledDiskEndsWhenTheWordLeadsNowhere) {
    for (const char* word : {"1V", "IN", "hello world"}) {
        writeDisk(Disk{}.types({0x07, 0x83, 0x00, 0x00}).marker("VELTRA906"));
        const std::vector<uint8_t> before = diskBytes();
        screen = std::make_unique<TextScreen>();
        state = std::make_unique<InstallerState>();
        run({word});

        EXPECT_EQ(state->isInstalled, 1) << word;
        EXPECT_EQ(state->menuTitle, state->installedTitle);
        const std::vector<std::string> shown = rows();
        EXPECT_EQ(shown[0], "");
        EXPECT_EQ(shown[1], "  VELTRA is al geïnstalleerd, er is niets gewijzigd.") << word;
        EXPECT_EQ(shown[2], "");
        EXPECT_EQ(shown[3], Prompt);
        expectEndedThroughThePrompt(1);
        EXPECT_EQ(diskBytes(), before) << word;
    }
}

TEST_F(MainFlow, BatchEndsWhenTheFreeSpaceQuestionIsRefused) {
    Disk disk = Disk{}.types({0x07, 0x83, 0x0C, 0x00});
    disk.bytes[3 * 512 + 7] = 1; // LBA 3 is in use
    writeDisk(disk);
    run({"in"}, {'n', 'x'});

    const std::vector<std::string> shown = rows();
    EXPECT_EQ(shown[1], "  Er is niet genoeg lege ruimte voor VELTRA, toch installeren? (j/n)");
    EXPECT_EQ(shown[3], "  VELTRA is niet geïnstalleerd, er is niets gewijzigd.");
    EXPECT_EQ(shown[5], Prompt);
    expectEndedThroughThePrompt(1);
    EXPECT_EQ(diskBytes(), disk.bytes);
}

TEST_F(MainFlow, BatchRefusalOnAFewerThanTwoDiskEndsWithItsOwnLines) {
    // One recognised partition. Answered J: the refusal's key does not also
    // answer the closing prompt, which waits for the next key. Answered n: the
    // user is told that nothing was installed.
    Disk disk = Disk{}.types({0x07, 0x00, 0x00, 0x00});
    writeDisk(disk);
    run({"1v"}, {'x', 'y'});
    EXPECT_EQ(rows()[1], "  VELTRA vond minder dan 2 primaire partities, geannuleerd.");
    EXPECT_EQ(lastPrintedRow(), Prompt);
    EXPECT_EQ(pendingKeys(screen->keys), 0);

    disk.bytes[3 * 512 + 7] = 1; // LBA 3 is in use
    writeDisk(disk);
    screen = std::make_unique<TextScreen>();
    state = std::make_unique<InstallerState>();
    run({"in"}, {'n', 'x'});
    const std::vector<std::string> shown = rows();
    EXPECT_EQ(shown[3], "  VELTRA is niet geïnstalleerd, er is niets gewijzigd.");
    EXPECT_EQ(shown[5], Prompt);
    EXPECT_EQ(diskBytes(), disk.bytes);
}

TEST_F(MainFlow, EveryBatchWordEndsThroughThePromptWithoutTheMenu) {
    for (const char* word : {"HIDE", "REST", "RM", "IN", "3v", "X"}) {
        writeDisk(Disk{}.types({0x07, 0x83, 0x0C, 0x00}));
        screen = std::make_unique<TextScreen>();
        state = std::make_unique<InstallerState>();
        run({word}, {'n', 'x', 'x'});
        EXPECT_TRUE(screen->endRequested.load()) << word;
        EXPECT_EQ(lastPrintedRow(), Prompt) << word;
        for (const std::string& shown : rows())
            EXPECT_EQ(shown.find("Dorvanti VELTRA Manager"), std::string::npos) << word;
    }
}

TEST_F(MainFlow, InteractiveEscapeEndsWithoutThePrompt) {
    writeDisk(Disk{}.types({0x07, 0x83, 0x00, 0x00}));
    const std::vector<uint8_t> before = diskBytes();
    run({}, {KeyDown, KeyEscape});

    EXPECT_EQ(state->batchMode, 0);
    EXPECT_EQ(state->isInstalled, 0);
    EXPECT_EQ(state->partitionCount, 2);
    EXPECT_EQ(rowText(*screen, 1), state->notInstalledTitle); // the menu was shown
    for (const std::string& shown : rows()) EXPECT_NE(shown, Prompt);
    EXPECT_TRUE(screen->endRequested.load());
    EXPECT_EQ(screen->exitCode.load(), 0);
    EXPECT_EQ(screen->row, 23);
    EXPECT_EQ(screen->column, 1);
    EXPECT_TRUE(screen->cursorVisible);
    EXPECT_EQ(diskBytes(), before);
}

// The desktop start: the picked disk (the first one too) gets the menu when
// the program may write it; without rights the program names it for a new
// start and touches nothing; Escape in the picker ends with 0.
TEST_F(MainFlow, TheDesktopStartOpensThePickedDisk) {
    ::setenv("XDG_STATE_HOME", (dir / "state").c_str(), 1);
    writeDisk(Disk().types({0x06, 0x83}));
    const fs::path second = dir / "disk1.img";
    fs::copy_file(image, second);
    const std::vector<DiskChoice> disks = {{image.string(), 4096, "", 0},
                                           {second.string(), 4096, "", 0}};
    const std::vector<uint8_t> before = diskBytes();
    struct Case {
        std::vector<int> keys;
        bool rights;
        std::string restartWith;
        bool installed; // the first disk, after IN on the menu
    } cases[] = {
        {{KeyEscape}, true, "", false},
        {{KeyDown, KeyEnter}, false, second.string(), false},
        {{KeyEnter}, false, image.string(), false},
        {{KeyEnter, KeyEnter, ' ', KeyEscape}, true, "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.keys));
        writeDisk(Disk().types({0x06, 0x83}));
        auto shown = std::make_unique<TextScreen>();
        queueScript(*shown, c.keys);
        std::string restartWith;
        EXPECT_EQ(runDesktopStart(*shown, "veltra", disks, c.rights, restartWith), 0);
        EXPECT_EQ(restartWith, c.restartWith);
        const std::vector<uint8_t> after = diskBytes();
        EXPECT_EQ(after != before, c.installed);
        EXPECT_EQ(std::string(after.begin() + 32, after.begin() + 38) == "VELTRA", c.installed);
    }
    setDriveNames({});
    ::unsetenv("XDG_STATE_HOME");
}

// Text in the window (a start without a terminal): 26 rows a page, long
// lines wrapped under their explanation, a key for the next page, the last
// page waits for one more key; Escape ends at once.
TEST_F(MainFlow, TextInTheWindowPageByPage) {
    std::string text;
    for (int i = 1; i <= 30; ++i) text += "regel " + std::to_string(i) + "\n";
    text += "  -x, --lang        " + std::string(40, 'a') + " " + std::string(30, 'b') + "\n";
    const std::string more = "  Druk op een toets voor meer, Escape stopt.";
    struct Case {
        std::vector<int> keys;
        std::string firstRow, lastRow, prompt;
    } cases[] = {
        {{}, "regel 1", "regel 26", more},         // the script's end reads as Escape
        {{' '}, "regel 27", "", Prompt},           // the last page, then the input ends
        {{' ', ' ', ' '}, "regel 27", "", Prompt}, // no page after the last
        {{KeyEscape, ' '}, "regel 1", "regel 26", more},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.keys));
        auto shown = std::make_unique<TextScreen>();
        queueScript(*shown, c.keys);
        EXPECT_EQ(showTextInWindow(*shown, text, 3), 3);
        EXPECT_EQ(trimmed(rowText(*shown, 1)), c.firstRow);
        EXPECT_EQ(trimmed(rowText(*shown, 26)), c.lastRow);
        EXPECT_EQ(trimmed(rowText(*shown, 28)), c.prompt);
        if (c.firstRow == "regel 27") {
            EXPECT_EQ(trimmed(rowText(*shown, 5)), "  -x, --lang        " + std::string(40, 'a'));
            EXPECT_EQ(trimmed(rowText(*shown, 6)), std::string(20, ' ') + std::string(30, 'b'));
            EXPECT_EQ(trimmed(rowText(*shown, 7)), "");
        }
        EXPECT_EQ(shown->exitCode.load(), 3);
    }
    // Exactly one page: its prompt asks for the last key.
    text.clear();
    for (int i = 1; i <= 26; ++i) text += "regel " + std::to_string(i) + "\n";
    auto shown = std::make_unique<TextScreen>();
    queueScript(*shown, {' '});
    showTextInWindow(*shown, text, 0);
    EXPECT_EQ(trimmed(rowText(*shown, 26)), "regel 26");
    EXPECT_EQ(trimmed(rowText(*shown, 28)), Prompt);
}

} // namespace
