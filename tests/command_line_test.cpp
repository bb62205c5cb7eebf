// The command line: the word, and every spelling of the options as other
// tools take them; a usage error is one line.
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

TEST(CommandWord, OnlyKnownWordsActAndOptionsAreTakenOut) {
    // For a usage error `word` is a part of the message.
    const struct {
        std::vector<std::string> args;
        Action action;
        std::string word;
        size_t drives;
        std::string lastDrive = "";
    } cases[] = {
        {{}, Action::Run, "", 0},
        {{"hide"}, Action::Run, "HIDE", 0},
        {{"-d", "a.img", "--drive", "b.img", "4v"}, Action::Run, "4V", 2, "b.img"},
        {{"--no-backup", "Rest"}, Action::Run, "REST", 0},
        {{"--help"}, Action::Help, "", 0},
        {{"-h"}, Action::Help, "", 0},
        {{"1v", "/?"}, Action::Help, "", 0},
        {{"/?", "--frobnicate"}, Action::Help, "", 0},
        {{"--version", "x"}, Action::Version, "", 0},
        {{"-V"}, Action::Version, "", 0},
        {{"--drive=a.img", "--status", "--json"}, Action::Status, "", 1, "a.img"},
        {{"--restore", "f.bak", "--force"}, Action::Restore, "", 0},
        {{"--list-backups"}, Action::ListBackups, "", 0},
        // Values attached, abbreviations, words after --; values keep their case.
        {{"-dA.img", "1v"}, Action::Run, "1V", 1, "A.img"},
        {{"1v", "-d", "x", "-dY"}, Action::Run, "1V", 2, "Y"},
        {{"--dri", "a", "--st", "--j"}, Action::Status, "", 1, "a"},
        {{"--dri=-d", "--", "rest"}, Action::Run, "REST", 1, "-d"},
        {{"--res=f.bak", "--no"}, Action::Restore, "", 0},
        // A typo or an unknown option never installs.
        {{"1v", "--new"}, Action::UsageError, "--new", 0},
        {{"instal"}, Action::UsageError, "instal", 0},
        {{"--frobnicate=1"}, Action::UsageError, "Onbekende optie: --frobnicate.", 0},
        {{"-x", "1v"}, Action::UsageError, "Onbekende optie: -x.", 0},
        {{"--json=yes", "--status"}, Action::UsageError, "--json neemt geen waarde.", 0},
        {{"hide", "x"}, Action::UsageError, "hide x", 0},
        {{"--drive"}, Action::UsageError, "--drive verwacht een schijf.", 0},
        {{"-d"}, Action::UsageError, "-d verwacht", 0},
        {{"--drive="}, Action::UsageError, "--drive verwacht", 0},
        {{"--restore"}, Action::UsageError, "--restore verwacht een bestand.", 0},
        {{"--json"}, Action::UsageError, "", 0},
        {{"--status", "rm"}, Action::UsageError, "", 0},
        {{"--", "--status"}, Action::UsageError, "--status", 0},
        {{"-d", "a", "-d", "b", "-d", "c", "-d", "d", "-d", "e"}, Action::UsageError, "", 0},
        {{"--pause=1,5", "1v"}, Action::Run, "1V", 0},
        {{"--pause", "0", "in"}, Action::Run, "IN", 0},
        {{"--pause=30"}, Action::Reconfigure, "", 0},
        {{"--default=none", "-n"}, Action::Reconfigure, "", 0},
        {{"--def=4Z", "--pau=2.0", "-d", "a"}, Action::Reconfigure, "", 1, "a"},
        {{"--pause=30.1"}, Action::UsageError, "--pause verwacht seconden van 0 tot 30", 0},
        {{"--pause"}, Action::UsageError, "--pause verwacht", 0},
        {{"--default=5v"}, Action::UsageError, "--default verwacht 1z ... 4v of none.", 0},
        {{"--default=2v", "1v"}, Action::UsageError, "--default staat zonder woord: 1v", 0},
        {{"--pause=1", "rm"}, Action::UsageError, "--pause hoort bij IN, 1Z ... 4V", 0},
        {{"--pause=1", "--status"}, Action::UsageError, "horen niet bij --status", 0},
        {{"--default=1v", "--restore", "f"}, Action::UsageError, "horen niet bij", 0},
    };
    for (const auto& c : cases) {
        const CommandLine line = parseCommandLine(c.args);
        const std::string what = ::testing::PrintToString(c.args);
        EXPECT_EQ(line.action, c.action) << what;
        if (c.action == Action::UsageError) {
            EXPECT_FALSE(line.error.empty()) << what;
            EXPECT_NE(line.error.find(c.word), std::string::npos) << what << ": " << line.error;
            continue;
        }
        EXPECT_EQ(line.word, c.word) << what;
        EXPECT_EQ(line.drives.size(), c.drives) << what;
        if (!c.lastDrive.empty() && !line.drives.empty()) {
            EXPECT_EQ(line.drives.back(), c.lastDrive) << what;
        }
    }
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
