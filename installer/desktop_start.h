// A start from a desktop menu without a named drive: the window lists the
// whole disks to choose from; the chosen one is opened at once when the
// program has the rights to write it, otherwise the program starts again
// with them (pkexec) and the disk named by --drive.
#pragma once

#include "screens/disk_picker.h"

#include <string>
#include <vector>

// The whole disks of this machine with whether VELTRA is on them (LBA 0 read
// without write access; unknown when it cannot be read).
std::vector<DiskChoice> listDiskChoices();

// Runs the picker in the window and what follows the choice; returns the
// program's exit code (0 for Escape).
int startFromDesktop(const std::string& programPath);

// The picker on `screen` with these disks, then the menu on the chosen one
// (`rights`), or `restartWith` set to it (no rights); the exit code.
int runDesktopStart(TextScreen& screen, const std::string& programPath,
                    const std::vector<DiskChoice>& disks, bool rights, std::string& restartWith);
