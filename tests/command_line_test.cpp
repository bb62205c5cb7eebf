// The command line: the word, and every spelling of the options as other
// tools take them; a usage error is one line.
#include "core/boot_language.h"
#include "installer/command_line.h"
#include "installer/main_loop.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(CommandWord, ArgumentsJoinedAndUpperCased) {
    EXPECT_EQ(commandWordFrom({}), "");
    EXPECT_EQ(commandWordFrom({"hide"}), "HIDE");
    EXPECT_EQ(commandWordFrom({"Hide"}), "HIDE");
    EXPECT_EQ(commandWordFrom({"HIDE", "x"}), "HIDE X");
    EXPECT_EQ(commandWordFrom({"4v"}), "4V");
    EXPECT_EQ(commandWordFrom({"a", "", "b"}), "A  B");
    // Only a..z change: digits, signs and bytes above 127 stay as they are.
    EXPECT_EQ(commandWordFrom({"\xE4z-1/{"}), "\xE4Z-1/{");
}

// The parsed line in one string: action, word, drives, flags, restore file
// and error, so that each row states all of it.
std::string describe(const CommandLine& line) {
    const char* actions[] = {"run",  "help",    "version",     "status",
                             "list", "restore", "reconfigure", "usage"};
    std::string out = std::string(actions[static_cast<int>(line.action)]) + "|" + line.word + "|";
    for (const std::string& drive : line.drives) out += drive + ",";
    out += std::string("|") + (line.json ? "j" : "") + (line.force ? "f" : "") +
           (line.noBackup ? "b" : "") + (line.dryRun ? "n" : "") + "|" + line.restoreFile;
    if (line.pauseTicks >= 0) out += "|pause " + std::to_string(line.pauseTicks);
    if (line.defaultKey >= 0) out += "|key " + std::to_string(line.defaultKey);
    if (line.bootLanguage) out += "|lang " + std::string(languageCode(*line.bootLanguage));
    return line.error.empty() ? out : out + "|" + line.error;
}

TEST(CommandWord, OnlyKnownWordsActAndOptionsAreTakenOut) {
    const struct {
        std::vector<std::string> args;
        std::string parsed;
    } cases[] = {
        {{}, "run||||"},
        {{"hide"}, "run|HIDE|||"},
        {{"-d", "a.img", "--drive", "b.img", "4v"}, "run|4V|a.img,b.img,||"},
        {{"--no-backup", "Rest"}, "run|REST||b|"},
        {{"--help"}, "help||||"},
        {{"-h"}, "help||||"},
        {{"1v", "/?"}, "help||||"},
        {{"/?", "--frobnicate"}, "help||||"},
        {{"--version", "x"}, "version||||"},
        {{"-V"}, "version||||"},
        {{"--drive=a.img", "--status", "--json"}, "status||a.img,|j|"},
        {{"--restore", "f.bak", "--force"}, "restore|||f|f.bak"},
        {{"--list-backups"}, "list||||"},
        {{"-n", "in"}, "run|IN||n|"},
        {{"--dry-run", "--restore=g"}, "restore|||n|g"},
        // Values attached, abbreviations, words after --; values keep their case.
        {{"-dA.img", "1v"}, "run|1V|A.img,||"},
        {{"1v", "-d", "x", "-dY"}, "run|1V|x,Y,||"},
        {{"--dri", "a", "--st", "--j"}, "status||a,|j|"},
        {{"--dri=-d", "--", "rest"}, "run|REST|-d,||"},
        {{"--res=f.bak", "--no"}, "restore|||b|f.bak"},
        {{"-d", "2z", "-n"},
         "usage||2z,|n||--dry-run hoort bij een woord, bij --restore, --pause, --default of "
         "--boot-lang."},
        // A typo or an unknown option never installs.
        {{"1v", "--new"}, "usage|||||Onbekende optie: --new."},
        {{"instal"}, "usage|INSTAL||||Onbekend woord: instal."},
        {{"--frobnicate=1"}, "usage|||||Onbekende optie: --frobnicate."},
        {{"-x", "1v"}, "usage|||||Onbekende optie: -x."},
        {{"--json=yes", "--status"}, "usage|||||--json neemt geen waarde."},
        {{"--status=1"}, "usage|||||--status neemt geen waarde."},
        {{"hide", "x"}, "usage|HIDE X||||Onbekend woord: hide x."},
        {{"--drive"}, "usage|||||--drive verwacht een schijf."},
        {{"-d"}, "usage|||||-d verwacht een schijf."},
        {{"--drive="}, "usage|||||--drive verwacht een schijf."},
        {{"-d", ""}, "usage|||||-d verwacht een schijf."},
        {{"--restore"}, "usage|||||--restore verwacht een bestand."},
        {{"--restore="}, "usage|||||--restore verwacht een bestand."},
        {{"--json"}, "usage|||j||--json hoort bij --status of --list-backups."},
        {{"--force", "1v"}, "usage|1V||f||--force hoort bij --restore."},
        {{"--status", "rm"}, "usage|RM||||Onbekend bij deze optie: rm."},
        {{"--status", "--list-backups"},
         "usage|||||Kies een van --status, --list-backups en --restore."},
        {{"--", "--status"}, "usage|--STATUS||||Onbekend woord: --status."},
        {{"-d", "a", "-d", "b", "-d", "c", "-d", "d", "-d", "e"},
         "usage||a,b,c,d,e,|||Hooguit 4 drives met --drive."},
        {{"-d", "a", "-d", "b", "-d", "c", "-d", "d", "rm"}, "run|RM|a,b,c,d,||"},
        {{"--pause=1,5", "1v"}, "run|1V||||pause 27"},
        {{"--pause", "0", "in"}, "run|IN||||pause 0"},
        {{"--pause=30"}, "reconfigure|||||pause 546"},
        {{"--pause=0"}, "reconfigure|||||pause 0"},
        {{"--default=none", "-n"}, "reconfigure|||n||key 0"},
        {{"--def=4Z", "--pau=2.0", "-d", "a"}, "reconfigure||a,|||pause 36|key 107"},
        {{"--pause=30.1"},
         "usage|||||--pause verwacht seconden van 0 tot 30, bijvoorbeeld --pause=1,5."},
        {{"--pause"},
         "usage|||||--pause verwacht seconden van 0 tot 30, bijvoorbeeld --pause=1,5."},
        {{"--default=5v"}, "usage|||||--default verwacht 1z ... 4v of none."},
        {{"--default=2v", "1v"},
         "usage|1V||||key 60|--default staat zonder woord: 1v kiest zelf de default."},
        {{"--pause=1", "rm"},
         "usage|RM||||pause 18|--pause hoort bij IN, 1Z ... 4V of staat zonder woord."},
        {{"--pause=1", "--status"},
         "usage|||||pause 18|--pause, --default en --boot-lang horen niet bij --status, "
         "--list-backups of --restore."},
        {{"--default=1v", "--restore", "f"},
         "usage||||f|key 59|--pause, --default en --boot-lang horen niet bij --status, "
         "--list-backups of --restore."},
        // --boot-lang: with an install word, or alone (the installed program's texts).
        {{"--boot-lang=en", "1v"}, "run|1V||||lang en"},
        {{"in", "--boot-lang", "nl"}, "run|IN||||lang nl"},
        {{"--boot=en", "--pause=1", "2z"}, "run|2Z||||pause 18|lang en"},
        {{"--boot-lang=nl"}, "reconfigure|||||lang nl"},
        {{"-n", "--boot-lang=en", "--default=none"}, "reconfigure|||n||key 0|lang en"},
        {{"--boot-lang=EN"}, "usage|||||--boot-lang verwacht een taal: nl of en."},
        {{"--boot-lang=de", "1v"}, "usage|||||--boot-lang verwacht een taal: nl of en."},
        {{"--boot-lang"}, "usage|||||--boot-lang verwacht een taal: nl of en."},
        {{"--boot-lang=en", "hide"},
         "usage|HIDE||||lang en|--boot-lang hoort bij IN, 1Z ... 4V of staat zonder woord."},
        {{"--boot-lang=en", "--status"},
         "usage|||||lang en|--pause, --default en --boot-lang horen niet bij --status, "
         "--list-backups of --restore."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(describe(parseCommandLine(c.args)), c.parsed) << ::testing::PrintToString(c.args);
    EXPECT_TRUE(isKnownWord("4V"));
    EXPECT_TRUE(isKnownWord("HIDE"));
    EXPECT_FALSE(isKnownWord("4v"));
    EXPECT_FALSE(isKnownWord("5V"));
}

// --pause's seconds: 0 to 30 with at most one decimal after "." or ",", rounded to the nearest
// clock tick of 1193182 / 65536 a second. --default's words: the eight option words and none.
TEST(CommandWord, PauseSecondsAndDefaultWords) {
    const struct {
        std::string seconds;
        int ticks;
    } pauses[] = {
        {"0", 0},   {"0.0", 0},  {"0,1", 2},    {"1", 18},    {"1,5", 27}, {"2", 36},
        {"3", 55},  {"30", 546}, {"30.0", 546}, {"30.1", -1}, {"31", -1},  {"1.55", -1},
        {"", -1},   {"1.", -1},  {".5", -1},    {"-1", -1},   {"1e1", -1}, {"0003", -1},
        {" 1", -1}, {"1 ", -1},  {"999", -1},
    };
    for (const auto& p : pauses) EXPECT_EQ(pauseTicksOfSeconds(p.seconds), p.ticks) << p.seconds;
    const struct {
        std::string word;
        int key;
    } words[] = {
        {"1z", 0x68}, {"1V", 0x3B}, {"2z", 0x69}, {"2v", 0x3C}, {"3Z", 0x6A},
        {"3v", 0x3D}, {"4z", 0x6B}, {"4v", 0x3E}, {"none", 0},  {"NONE", 0},
        {"in", -1},   {"5v", -1},   {"", -1},     {"1v ", -1},
    };
    for (const auto& w : words) EXPECT_EQ(defaultKeyOfWord(w.word), w.key) << w.word;
    EXPECT_EQ(parseCommandLine({"--pause=2", "1v"}).pauseTicks, 36);
    EXPECT_EQ(parseCommandLine({"1v"}).pauseTicks, -1);
    EXPECT_EQ(parseCommandLine({"--default=3v"}).defaultKey, 0x3D);
    EXPECT_EQ(parseCommandLine({"--pause=0"}).defaultKey, -1);
}

} // namespace
