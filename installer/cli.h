// What the command line asks that needs no window: usage, version, naming the
// drives, the status report, listing and restoring backups.
#pragma once

#include "installer/command_line.h"

// Carries out `line` when it needs no window and returns true with the exit
// code in `exitCode`. Names the drives (--drive) either way; false when the
// program goes on to its window with line.word.
bool runWithoutWindow(const CommandLine& line, int& exitCode);
