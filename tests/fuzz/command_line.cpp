// Any argument vector: a command or a usage error, exit codes only from the
// documented set (0 to 3), and no word ever taken from an option's value: a
// value changed to a known word changes the drive or the file, never the word.
// Input: the arguments, each ended by a zero byte. Drives are in-memory disks,
// backups go to a folder of the run's own: nothing outside is ever written.
#include "installer/command_line.h"
#include "installer/cli.h"
#include "tests/fake_sector_access.h"

#include <cstdlib>
#include <string>
#include <unistd.h>

namespace fd = fake_disks;

namespace {

bool sameCommand(const CommandLine& a, const CommandLine& b) {
    return a.action == b.action && a.word == b.word && a.drives == b.drives && a.json == b.json &&
           a.force == b.force && a.noBackup == b.noBackup && a.dryRun == b.dryRun &&
           a.restoreFile == b.restoreFile && a.error == b.error;
}

// `value`, taken from one of `args`, changed there to a known word; true when
// that changed the value (the argument held it) and nothing else but the
// error text.
void valueNeverAWord(const std::vector<std::string>& args, const CommandLine& line,
                     const std::string& value, bool isFile, size_t drive) {
    for (size_t j = 0; j < args.size(); ++j) {
        if (!args[j].ends_with(value)) continue;
        std::vector<std::string> changed = args;
        changed[j] = args[j].substr(0, args[j].size() - value.size()) + "HIDE";
        CommandLine expected = line;
        (isFile ? expected.restoreFile : expected.drives[drive]) = "HIDE";
        const CommandLine after = parseCommandLine(changed);
        if (isFile ? after.restoreFile != "HIDE" : after.drives != expected.drives) continue;
        expected.error = after.error;
        if (!sameCommand(after, expected)) std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    static char folder[] = "/tmp/veltra-fuzz-XXXXXX";
    if (!mkdtemp(folder)) std::abort();
    setenv("XDG_STATE_HOME", folder, 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> args;
    std::string arg;
    for (size_t i = 0; i < size && args.size() < 16; ++i) {
        if (data[i] != 0) {
            arg += static_cast<char>(data[i]);
            continue;
        }
        args.push_back(arg);
        arg.clear();
    }
    const CommandLine line = parseCommandLine(args);
    if (!sameCommand(parseCommandLine(args), line)) std::abort(); // no state kept
    switch (line.action) {
    case Action::Run:
        if (!line.word.empty() && !isKnownWord(line.word)) std::abort();
        break;
    case Action::UsageError:
        if (line.error.empty()) std::abort();
        break;
    case Action::Restore:
        if (line.restoreFile.empty() || !line.word.empty()) std::abort();
        break;
    default:
        if (!line.word.empty()) std::abort();
        break;
    }
    // Help and version answer whatever else was asked; anything else takes 4 drives at most.
    if (line.action != Action::UsageError && line.action != Action::Help &&
        line.action != Action::Version && line.drives.size() > 4)
        std::abort();
    for (size_t d = 0; d < line.drives.size(); ++d) {
        if (line.drives[d].empty()) std::abort();
        valueNeverAWord(args, line, line.drives[d], false, d);
    }
    if (!line.restoreFile.empty()) valueNeverAWord(args, line, line.restoreFile, true, 0);

    fd::reset();
    CliResult result;
    const bool done = runWithoutWindow(line, result);
    if (!done && line.action != Action::Run) std::abort();
    if (done && (result.exitCode < 0 || result.exitCode > 3)) std::abort();
    if (line.action == Action::UsageError && (result.exitCode != 2 || result.err.empty()))
        std::abort();
    return 0;
}
