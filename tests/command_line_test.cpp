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

// The parsed line in one string: action, word, drives, flags, restore file
// and error, so that each row states all of it.
std::string describe(const CommandLine& line) {
    const char* actions[] = {"run", "help", "version", "status", "list", "restore", "usage"};
    std::string out = std::string(actions[static_cast<int>(line.action)]) + "|" + line.word + "|";
    for (const std::string& drive : line.drives) out += drive + ",";
    out += std::string("|") + (line.json ? "j" : "") + (line.force ? "f" : "") +
           (line.noBackup ? "b" : "") + (line.dryRun ? "n" : "") + "|" + line.restoreFile;
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
        {{"-d", "2z", "-n"}, "usage||2z,|n||--dry-run hoort bij een woord of bij --restore."},
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
        {{"--json"}, "usage|||j||--json hoort bij --status."},
        {{"--force", "1v"}, "usage|1V||f||--force hoort bij --restore."},
        {{"--status", "rm"}, "usage|RM||||Onbekend bij deze optie: rm."},
        {{"--status", "--list-backups"},
         "usage|||||Kies een van --status, --list-backups en --restore."},
        {{"--", "--status"}, "usage|--STATUS||||Onbekend woord: --status."},
        {{"-d", "a", "-d", "b", "-d", "c", "-d", "d", "-d", "e"},
         "usage||a,b,c,d,e,|||Hooguit 4 drives met --drive."},
        {{"-d", "a", "-d", "b", "-d", "c", "-d", "d", "rm"}, "run|RM|a,b,c,d,||"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(describe(parseCommandLine(c.args)), c.parsed) << ::testing::PrintToString(c.args);
    EXPECT_TRUE(isKnownWord("4V"));
    EXPECT_TRUE(isKnownWord("HIDE"));
    EXPECT_FALSE(isKnownWord("4v"));
    EXPECT_FALSE(isKnownWord("5V"));
}

} // namespace
