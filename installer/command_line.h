// The command line: options first taken out, the rest joined into one
// command word. Only the known words act; anything else is a usage error
// that writes nothing.
#pragma once

#include "core/installer_state.h"

#include <optional>
#include <string>
#include <vector>

enum class Action {
    Run,         // the menu, or the command word in batch mode
    Help,        // usage on standard output
    Version,     // "veltra <version> (build)"
    Status,      // read-only report of the drives
    ListBackups, // the backups kept of each disk
    Restore,     // write a backup back
    Reconfigure, // --pause, --default, --boot-lang without a word: change the installed boot
                 // program
    UsageError,  // usage on standard error, exit 2
};

struct CommandLine {
    Action action = Action::Run;
    std::string word;                // arguments joined by blanks, upper-cased
    std::vector<std::string> drives; // --drive, in drive order
    bool json = false;
    bool force = false;
    bool noBackup = false;
    bool dryRun = false; // show the plan, write nothing
    std::string restoreFile;
    int pauseTicks = -1;                      // --pause in BIOS clock ticks; -1: not given
    int defaultKey = -1;                      // --default as a DefaultKey (0: none); -1: not given
    std::optional<BootLanguage> bootLanguage; // --boot-lang
    std::string error;                        // what is wrong with a UsageError
};

CommandLine parseCommandLine(const std::vector<std::string>& args);
// HIDE, REST, RM, IN and 1Z to 4V: the words that act.
bool isKnownWord(const std::string& word);
// --pause's SECONDS (0 to 30, at most one decimal, "." or ",") in clock ticks; -1 when it is
// no such number.
int pauseTicksOfSeconds(const std::string& seconds);
// --default's WORD (1z ... 4v or none, any case) as a DefaultKey; -1 when it is none of them.
int defaultKeyOfWord(const std::string& word);
std::string usageText();
