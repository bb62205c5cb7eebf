// The command line: options first taken out, the rest joined into one
// command word. Only the known words act; anything else is a usage error
// that writes nothing.
#pragma once

#include <string>
#include <vector>

enum class Action {
    Run,         // the menu, or the command word in batch mode
    Help,        // usage on standard output
    Version,     // "veltra <version> (build)"
    Status,      // read-only report of the drives
    ListBackups, // the backups kept of each disk
    Restore,     // write a backup back
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
    std::string error; // what is wrong with a UsageError
};

CommandLine parseCommandLine(const std::vector<std::string>& args);
// HIDE, REST, RM, IN and 1Z to 4V: the words that act.
bool isKnownWord(const std::string& word);
std::string usageText();
