// The page that chooses the disk to work on when the program was started
// without one (from a desktop menu): one row per whole disk, chosen with
// Up/Down and Enter, in the colours of the main menu.
#pragma once

#include "core/installer_state.h"
#include "display/text_screen.h"

#include <cstdint>
#include <string>
#include <vector>

// One whole disk as the page shows it.
struct DiskChoice {
    std::string path; // /dev/sda
    uint64_t bytes = 0;
    std::string model;  // empty when the system names none
    int installed = -1; // 1 VELTRA is on it, 0 not, -1 unknown (LBA 0 unreadable)
};

// The row of one disk: path, size, model and whether VELTRA is installed, in
// columns, 76 bytes at most.
std::string diskChoiceRow(const DiskChoice& disk);
// A size in bytes as people read it: "500.1 GB", "2.0 TB", "8.4 MB".
std::string sizeText(uint64_t bytes);

// Shows the page and waits: the index of the disk chosen with Enter, or -1
// for Escape, the window closing or the end of the input. `needsRights` adds
// the line that the system will ask for a password. Uses the state's record
// position for the title band.
int runDiskPicker(InstallerState& state, TextScreen& screen, const std::vector<DiskChoice>& disks,
                  bool needsRights);
