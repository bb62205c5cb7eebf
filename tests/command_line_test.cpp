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

} // namespace
