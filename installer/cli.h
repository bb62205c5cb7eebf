// What the command line asks that needs no window: usage, version, naming the
// drives, the status report, listing and restoring backups.
#pragma once

#include "installer/command_line.h"

#include <string>

// What such an action has to say, for standard output and standard error.
struct CliResult {
    int exitCode = 0;
    std::string out;
    std::string err;
};

// Carries out `line` when it needs no window and returns true with what it
// says in `result`. Names the drives (--drive) either way; false when the
// program goes on to its window with line.word.
bool runWithoutWindow(const CommandLine& line, CliResult& result);
