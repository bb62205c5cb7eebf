#pragma once

#include "core/disk_plan.h"
#include "core/installer_state.h"
#include "display/text_screen.h"

#include <string>
#include <vector>

// Start-up: window, grid, colours, command word, batch mode, the two titles.
void startUp(InstallerState& state, TextScreen& screen, const std::vector<std::string>& args);
// The start of a pass: LBA 0 of drive 0 into workSector, the recognised
// partitions counted, the installed state and the titles; false (lastError
// set) when LBA 0 could not be read.
bool beginPass(InstallerState& state);
// Runs passes until the program ends (Escape, the closing prompt); calls endProgram.
void mainLoop(InstallerState& state, TextScreen& screen);
// "  Druk op een willekeurige toets.", one key, cursor to (23, 1), endProgram(0).
void closingPrompt(const RunState& state, TextScreen& screen);

// The operation that a pass runs for a command word on drive 0.
enum class Operation {
    None,
    HideAll,
    RestoreAll,
    RemoveBootProgram,
    InstallBootProgram,
    RefuseRemoval,
};
Operation chooseOperation(const std::string& commandWord, int isInstalled);
// All arguments joined by one blank, letters a..z upper-cased.
std::string commandWordFrom(const std::vector<std::string>& args);
