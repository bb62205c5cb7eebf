#pragma once

#include "core/disk_plan.h"
#include "core/installer_state.h"
#include "display/text_screen.h"
#include "installer/main_loop.h"
#include "installer/messages.h"

#include <string>
#include <string_view>

enum class Outcome {
    Done,         // a result line stands on the screen
    Cancelled,    // nothing happened, nothing to read
    NothingToDo,  // no operation fits the word and the installed state
    InUse,        // another program writes the drive: the program ends
    TableChanged, // LBA 0 changed since it was read: nothing written, the pass starts over
};

// A message line on the screen. A command-line run whose output is no
// terminal also writes it as plain text: to standard error once the run has
// failed (exitCode set), else to standard output.
void showLine(const RunState& state, TextScreen& screen, std::string_view text);

// Fills defaultKeyTable: 1Z 104, 1V 59, 2Z 105, 2V 60, 3Z 106, 3V 61, 4Z 107, 4V 62.
void fillDefaultKeyTable(RunState& state);
// The DefaultKey of an option word "1Z" ... "4V"; -1 for any other word.
int optionWordKey(const std::string& word);
// The DefaultKey of the command word (0 for none), from defaultKeyTable.
int chosenDefaultKey(const RunState& state);
// The pause an install writes: --pause, or the boot program's own.
int chosenPauseTicks(const RunState& state);
// The boot program's four sectors in the language an install on `disk`
// writes (chooseBootLanguage with bootLanguage and uiLanguage).
BootImages bootImages(InstallerState& state, const FirstSectors& disk);
// The plan of `operation` on a disk whose LBA 0-4 are `disk` (LBA 1-4 only
// where the operation reads them): one decision for the menu, the command
// word and --dry-run. Operation::None refuses with Refusal::Nothing.
DiskPlan planOfOperation(Operation operation, const FirstSectors& disk, InstallerState& state);
Outcome hideAll(InstallerState& state, TextScreen& screen);
Outcome restoreAll(InstallerState& state, TextScreen& screen);
Outcome removeBootProgram(InstallerState& state, TextScreen& screen);
Outcome installBootProgram(InstallerState& state, TextScreen& screen);
// RM on a disk without VELTRA: a request to remove never installs.
Outcome refuseRemoval(InstallerState& state, TextScreen& screen);
