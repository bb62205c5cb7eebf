// The catalogue and the choice of language: lookups, the GNU rules, English
// that fits its places, and the pseudo-language "qps" (every text between
// U+00AB and U+00BB) run through every page, message and command-line output:
// a line without the marks is a text that no catalogue looked up.
#include "core/catalogue.h"
#include "core/record_store.h"
#include "display/font_cp437.h"
#include "installer/cli.h"
#include "installer/command_line.h"
#include "installer/language.h"
#include "installer/main_loop.h"
#include "installer/messages.h"
#include "screens/disk_picker.h"
#include "screens/help_screen.h"
#include "screens/page_row.h"
#include "screens_fixture.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace screens_test;

namespace {

// Puts Dutch back for the tests that follow, whatever a test chose.
struct LanguageTest : ::testing::Test {
    void TearDown() override { useLanguage("nl"); }
};

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

TEST_F(LanguageTest, LooksUpFillsAndCounts) {
    const std::vector<std::string> languages = catalogueLanguages();
    EXPECT_EQ(languages.front(), "nl");
    EXPECT_TRUE(hasCatalogue("en") && hasCatalogue("qps") && hasCatalogue("nl"));
    EXPECT_FALSE(hasCatalogue("de") || hasCatalogue("") || hasCatalogue("e"));

    useLanguage("en");
    EXPECT_EQ(languageInUse(), "en");
    EXPECT_STREQ(tr("J"), "Y");
    EXPECT_STREQ(tr("  Er is niets gewijzigd."), "  Nothing was changed.");
    EXPECT_STREQ(tr("geen tekst van VELTRA"), "geen tekst van VELTRA"); // no id: itself
    EXPECT_STREQ(tr(""), "");                                           // never the header
    EXPECT_STREQ(trn("{0} s ({1} tik)", "{0} s ({1} tikken)", 1), "{0} s ({1} tick)");
    EXPECT_STREQ(trn("{0} s ({1} tik)", "{0} s ({1} tikken)", 0), "{0} s ({1} ticks)");
    EXPECT_STREQ(trn("a", "b", 2), "b"); // no translation: the Dutch form for the count
    EXPECT_EQ(pauseText(1), "0.1 s (1 tick)");
    EXPECT_EQ(pauseText(55), "3.0 s (55 ticks)");

    // A language without a catalogue speaks Dutch.
    useLanguage("de");
    EXPECT_EQ(languageInUse(), "nl");
    EXPECT_STREQ(tr("J"), "J");
    EXPECT_EQ(pauseText(1), "0,1 s (1 tik)");

    EXPECT_EQ(fill("{1} na {0}", {"a", "b"}), "b na a");
    EXPECT_EQ(fill("{0}{0} {2} {x} {", {"z"}), "zz {2} {x} {");
    EXPECT_EQ(fill("x0} {0}", {"a"}), "x0} a"); // only "{" opens a place
}

TEST_F(LanguageTest, ChosenByTheGnuRules) {
    struct Case {
        LanguageSources sources;
        std::string chosen;
    };
    const Case cases[] = {
        {{}, "nl"},
        {{"en", "nl", "nl", "nl", "nl", "nl"}, "en"},         // --lang before everything
        {{"xx", "en", "", "", "", ""}, "nl"},                 // an unknown --lang: Dutch
        {{"", "de:en:nl", "nl_NL", "", "", ""}, "en"},        // LANGUAGE's first with a catalogue
        {{"", "de:fr", "en_US", "", "", ""}, "nl"},           // none of the list: Dutch
        {{"", "", "en_GB.UTF-8@euro", "nl", "nl", ""}, "en"}, // LC_ALL first
        {{"", "", "", "en_US", "nl_BE", ""}, "en"},           // then LC_MESSAGES
        {{"", "", "", "", "en_US.UTF-8", "nl-NL"}, "en"},     // then LANG
        {{"", "", "C", "", "en_US.UTF-8", ""}, "nl"},         // C is Dutch, LANG unasked
        {{"", "", "POSIX.UTF-8", "", "", "en-US"}, "nl"},     // so is POSIX
        {{"", "", "", "", "de_DE.UTF-8", "en-US"}, "nl"},     // a set variable decides
        {{"", "", "", "", "", "en-US"}, "en"},                // the interface language last
        {{"", "", "", "", "", "fy-NL"}, "nl"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(chooseLanguage(c.sources), c.chosen)
            << c.sources.option << "|" << c.sources.languageList << "|" << c.sources.lcAll << "|"
            << c.sources.lcMessages << "|" << c.sources.lang << "|" << c.sources.system;
    char program[] = "veltra", a[] = "--lang", b[] = "en", c[] = "--lang=qps", d[] = "--",
         e[] = "--lang=nl";
    char* argv[] = {program, a, b, c, d, e, nullptr};
    EXPECT_EQ(languageOption(4, argv), "qps");
    EXPECT_EQ(languageOption(3, argv), "en");
    EXPECT_EQ(languageOption(6, argv), "qps"); // nothing after --
    char f[] = "--la=en", g[] = "--l=qps", h[] = "--lan";
    char* abbreviated[] = {program, f, g, h, b, nullptr};
    EXPECT_EQ(languageOption(3, abbreviated), "en"); // --l names no one option
    EXPECT_EQ(languageOption(5, abbreviated), "en");
    EXPECT_EQ(parseCommandLine({"--lang=de"}).error, "--lang verwacht een taal: nl of en.");
    EXPECT_EQ(parseCommandLine({"--help=x"}).error, "--help neemt geen waarde.");
}

// The rows of a page in the record store: index 0 is row 1.
std::vector<std::string> storedRows(RecordLabel label) {
    auto state = std::make_unique<InstallerState>();
    restoreTo(*state, label);
    std::vector<std::string> rows;
    for (int row = 1; row <= TextScreen::Rows; ++row) rows.push_back(readText(*state));
    return rows;
}

size_t shownWidth(const char* text) {
    return cp437FromUtf8(text).size();
}

TEST_F(LanguageTest, EveryEnglishTextFitsItsPlace) {
    useLanguage("en");
    for (RecordLabel page : {MainMenuText, PartitionScreenText}) {
        const std::vector<std::string> rows = storedRows(page);
        for (int row = 1; row <= TextScreen::Rows; ++row) {
            std::string id = rows[row - 1].substr(0, rows[row - 1].find_last_not_of(' ') + 1);
            const std::string shown = translatedPageRow(rows[row - 1]);
            EXPECT_EQ(shown.size(), 80u);
            // Nothing cut off: the row's text ends before column 81.
            const std::string english = cp437FromUtf8(tr(id.c_str()));
            EXPECT_LE(english.size(), 80u) << english;
            // The option rows leave columns 3-4 and 74 to the marks.
            const bool option = page == MainMenuText ? row >= 8 && row <= 20 && row != 18
                                                     : row >= 10 && row <= 16 && row % 2 == 0;
            if (option) {
                EXPECT_EQ(shown.substr(0, 5), "   - ") << row;
                EXPECT_EQ(shown.substr(72), std::string(8, ' ')) << row;
            }
        }
        EXPECT_EQ(translatedPageRow(rows[5]).substr(0, 9), "  Drive: ");
    }
    EXPECT_EQ(shownWidth(tr(" Dorvanti VELTRA Manager [Geïnstalleerd] ")), 41u);
    EXPECT_EQ(shownWidth(tr(" Dorvanti VELTRA Manager [Niet geïnstalleerd] ")), 46u);
    for (const std::string& line : linesOf(usageText())) EXPECT_LE(line.size(), 79u) << line;
}

bool marked(const std::string& text) {
    return text.find("\xC2\xAB") != std::string::npos; // U+00AB in UTF-8
}

// Every row of the screen that shows anything shows a looked-up text.
void collectRows(const TextScreen& screen, const std::string& where,
                 std::vector<std::string>& unmarked, int& checked) {
    for (int row = 1; row <= TextScreen::Rows; ++row) {
        const std::string text = rowText(screen, row);
        if (text.find_first_not_of(' ') == std::string::npos) continue;
        ++checked;
        if (text.find('\xAE') == std::string::npos) // U+00AB in code page 437
            unmarked.push_back(where + " row " + std::to_string(row) + ": " + text);
    }
}

void collectLines(const std::string& output, const std::string& where,
                  std::vector<std::string>& unmarked, int& checked) {
    for (const std::string& line : linesOf(output)) {
        if (line.empty()) continue;
        ++checked;
        if (!marked(line)) unmarked.push_back(where + ": " + line);
    }
}

TEST_F(LanguageTest, ThePseudoLanguageMarksEveryText) {
    useLanguage("qps");
    std::vector<std::string> unmarked;
    int checked = 0;
    const std::array<Entry, 4> entries = {{{0x80, 0x06}, {0x00, 0x1B}, {0x00, 0x83}, {0, 0}}};
    DiskImages disks({makeMbr(entries), makeMbr(entries)});

    // The pages: the main menu not installed and installed, the editor, the help page.
    for (int installed = 0; installed <= 1; ++installed) {
        TextScreen screen;
        auto state = std::make_unique<InstallerState>();
        startUp(*state, screen, {});
        state->workSector = makeMbr(entries, installed ? 0x3B : 0);
        countPrimaryPartitions(*state);
        state->isInstalled = installed;
        state->menuTitle = installed ? state->installedTitle : state->notInstalledTitle;
        state->fullRedraw = 1;
        state->selectedRow = 9;
        paintMenuPage(*state, screen);
        collectRows(screen, installed ? "menu, installed" : "menu", unmarked, checked);
        queueScript(screen, {'x'});
        showHelpScreen(*state, screen);
        collectRows(screen, "help", unmarked, checked);
        state->currentDrive = 1;
        state->fullRedraw = 1;
        paintMenuPage(*state, screen);
        collectRows(screen, "editor", unmarked, checked);
    }
    {
        TextScreen screen;
        auto state = std::make_unique<InstallerState>();
        const std::vector<DiskChoice> choices = {{"/dev/sda", 500107862016ull, "SSD", 1},
                                                 {"/dev/sdb", 2000398934016ull, "HDD", 0},
                                                 {"/dev/sdc", 1000000ull, "USB", -1}};
        queueScript(screen, {KeyEscape});
        runDiskPicker(*state, screen, choices, true);
        collectRows(screen, "disk picker", unmarked, checked);
        queueScript(screen, {KeyEscape});
        runDiskPicker(*state, screen, {}, false);
        collectRows(screen, "empty disk picker", unmarked, checked);
    }

    // Every message of every outcome.
    std::string messages;
    for (Refusal refusal :
         {Refusal::NoMbr, Refusal::Gpt, Refusal::TooFew, Refusal::NoSavedMbr, Refusal::NotInstalled,
          Refusal::NoTable, Refusal::NoPauseField, Refusal::OtherBuild})
        messages += refusalMessage(refusal).line + "\n";
    for (Task task : {Task::HideAll, Task::RestoreAll, Task::Remove, Task::Install, Task::Edit,
                      Task::Restore, Task::Reconfigure}) {
        for (WriteResult result :
             {WriteResult::Written, WriteResult::InUse, WriteResult::Changed,
              WriteResult::ReadFailed, WriteResult::NoBackup, WriteResult::SectorSize,
              WriteResult::WriteFailed, WriteResult::Sector0Lost}) {
            for (bool sector0 : {false, true}) {
                WriteReport report;
                report.result = result;
                report.sector0Written = sector0;
                const std::string line = writeMessage(task, report, 1).line;
                if (!line.empty()) messages += line + "\n";
            }
        }
    }
    for (int kind = 0; kind <= static_cast<int>(BackupFailure::Kind::TooMany); ++kind)
        messages += backupFailureText({static_cast<BackupFailure::Kind>(kind), "/b", 28}, 0) + "\n";
    for (BackupFileProblem problem : {BackupFileProblem::Unreadable, BackupFileProblem::NotRegular,
                                      BackupFileProblem::NotBackup, BackupFileProblem::Damaged})
        messages += backupFileText(problem) + "\n";
    for (RestoreCheck check :
         {RestoreCheck::OtherSignature, RestoreCheck::OtherSize, RestoreCheck::OtherEntries,
          RestoreCheck::Unidentified, RestoreCheck::NoBootSignature, RestoreCheck::NoSavedMbr,
          RestoreCheck::Stage2Damaged, RestoreCheck::TargetGpt})
        messages += restoreRefusalMessage(check, {}, {}).line + "\n";
    messages += unreadableText(0, 5) + "\n" + openFailureText(3) + "\n" + defaultKeyText(0) + "\n" +
                pauseText(55) + "\n" + reconfiguredText(makeMbr(entries), {}) +
                reconfiguredText(makeMbr(entries), BootLanguage::English) + bootLanguageName({}) +
                "\n";
    collectLines(messages, "message", unmarked, checked);

    // The command line: help, every usage error, status, dry runs, backups.
    const std::vector<std::vector<std::string>> lines = {
        {"--help"},
        {"--bogus"},
        {"-x"},
        {"--help=x"},
        {"--drive"},
        {"--pause=99"},
        {"--default=9z"},
        {"--lang=xx"},
        {"--boot-lang=xx"},
        {"-d", "a", "-d", "b", "-d", "c", "-d", "d", "-d", "e"},
        {"--status", "--list-backups"},
        {"--status", "HIDE"},
        {"--status", "--pause=1"},
        {"--default=1v", "IN"},
        {"--pause=1", "HIDE"},
        {"--boot-lang=en", "RM"},
        {"--json"},
        {"--force"},
        {"-n"},
        {"FOO"},
        {"-d", disks.path(0), "--status"},
        {"-d", disks.path(0), "-n", "HIDE"},
        {"-d", disks.path(0), "-n", "1v"},
        {"-d", disks.path(0), "--default=2z"},
        {"--restore", disks.path(1) + ".missing"},
    };
    for (const std::vector<std::string>& args : lines) {
        CliResult result;
        runWithoutWindow(parseCommandLine(args), result);
        std::string where;
        for (const std::string& arg : args) where += arg + " ";
        collectLines(result.out + result.err, where, unmarked, checked);
    }

    EXPECT_GT(checked, 350);
    EXPECT_EQ(unmarked.size(), 0u) << [&] {
        std::string all;
        for (const std::string& line : unmarked) all += line + "\n";
        return all;
    }();
    std::printf("pseudo-language: %d lines checked, %zu unmarked\n", checked, unmarked.size());
}

} // namespace
