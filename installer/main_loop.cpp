// Start-up and the main loop: every pass reads the MBR of drive 0, checks the
// rights, finds out whether VELTRA is installed, lets the menu (or the command
// line) choose and runs one operation.
#include "installer/main_loop.h"

#include "core/catalogue.h"
#include "core/disk_plan.h"
#include "core/partition_table.h"
#include "core/sector_access.h"
#include "display/font_cp437.h"
#include "installer/messages.h"
#include "installer/operations.h"
#include "screens/main_menu.h"

#include <string>

namespace {

std::string titleLine(int opening, std::string_view middle, int closing) {
    std::string title(opening, '>');
    title += middle;
    title.append(closing, '<');
    return title;
}

// A message shown outside the menu: after an empty line, in the current colours.
void printMessage(InstallerState& state, TextScreen& screen, std::string_view text) {
    printNewline(screen);
    showLine(state, screen, text);
}

void leave(TextScreen& screen, int exitCode) {
    moveCursor(screen, 23, 1, CursorVisibility::Show);
    endProgram(screen, exitCode);
}

Outcome runOperation(Operation operation, InstallerState& state, TextScreen& screen) {
    switch (operation) {
    case Operation::HideAll:
        return hideAll(state, screen);
    case Operation::RestoreAll:
        return restoreAll(state, screen);
    case Operation::RemoveBootProgram:
        return removeBootProgram(state, screen);
    case Operation::InstallBootProgram:
        return installBootProgram(state, screen);
    case Operation::RefuseRemoval:
        return refuseRemoval(state, screen);
    case Operation::None:
        break;
    }
    return Outcome::NothingToDo;
}

} // namespace

std::string commandWordFrom(const std::vector<std::string>& args) {
    std::string word;
    for (size_t i = 0; i < args.size(); ++i) {
        if (i > 0) word += ' ';
        word += args[i];
    }
    for (char& c : word)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return word;
}

Operation chooseOperation(const std::string& commandWord, int isInstalled) {
    if (commandWord == "HIDE") return Operation::HideAll;
    if (commandWord == "REST") return Operation::RestoreAll;
    if (isInstalled) return commandWord == "RM" ? Operation::RemoveBootProgram : Operation::None;
    // Not installed: a request to remove never installs.
    if (commandWord == "RM") return Operation::RefuseRemoval;
    // "IN", the default words and any other word install.
    return Operation::InstallBootProgram;
}

void startUp(InstallerState& state, TextScreen& screen, const std::vector<std::string>& args) {
    openWindow(screen, 640, 448, 32);
    setTextGrid(screen, 80, 28);
    setColor(screen, PaleRose, Black);
    clearScreen(screen);
    moveCursor(screen, 0, 0, CursorVisibility::Hide);

    state.currentDrive = 0;
    state.batchMode = 0;
    state.editMessage = [](const WriteReport& report, int drive) {
        return cp437FromUtf8(writeMessage(Task::Edit, report, drive).line);
    };
    state.commandWord = commandWordFrom(args);
    if (!state.commandWord.empty()) state.batchMode = 1;

    // The titles in code page 437, as the screen shows them.
    state.installedTitle =
        cp437FromUtf8(titleLine(20, tr(" Dorvanti VELTRA Manager [Geïnstalleerd] "), 19));
    state.notInstalledTitle =
        cp437FromUtf8(titleLine(17, tr(" Dorvanti VELTRA Manager [Niet geïnstalleerd] "), 17));
}

// Plain output leaves the prompt out, and nobody answers it from a pipe.
void closingPrompt(const RunState& state, TextScreen& screen) {
    printNewline(screen);
    printText(screen, cp437FromUtf8(tr("  Druk op een willekeurige toets.")), true);
    if (state.promptWaits) awaitKey(screen);
    leave(screen, state.exitCode);
}

bool beginPass(InstallerState& state) {
    state.questionAsked = 0;
    state.scratchSector.fill(0);
    readSector(state, 0, 0);
    if (state.lastError != 0) return false;
    state.workSector = state.ioBuffer;
    countPrimaryPartitions(state);
    state.isInstalled = carriesInstallMarker(state.workSector) ? 1 : 0;
    state.menuTitle = state.isInstalled ? state.installedTitle : state.notInstalledTitle;
    state.otherTitle = state.isInstalled ? state.notInstalledTitle : state.installedTitle;
    return true;
}

void mainLoop(InstallerState& state, TextScreen& screen) {
    for (;;) {
        if (!beginPass(state)) state.exitCode = ExitDiskError;
        if (state.lastError == ErrorInvalidHandle) {
            // Missing rights, or a path that names no disk.
            printMessage(state, screen, programLabel() + openFailureText(0));
            closingPrompt(state, screen);
            return;
        }
        if (state.lastError != 0) {
            // The drive opened but its MBR could not be read: nothing may be
            // written on the strength of a sector that was never read.
            printMessage(state, screen,
                         programLabel() + unreadableText(0, state.lastError).substr(1));
            closingPrompt(state, screen);
            return;
        }

        if (!state.batchMode) {
            state.drawOnceCount = 0;
            runMenuScreen(state, screen);
            // Escape ends the program; so does any other way out of the menu
            // than Enter (the window closing), which must never start an operation.
            if (state.lastKey.empty() || state.lastKey[0] != KeyEnter) {
                leave(screen, ExitDone);
                return;
            }
        }

        fillDefaultKeyTable(state);
        state.exitCode = ExitDone;
        const Outcome outcome =
            runOperation(chooseOperation(state.commandWord, state.isInstalled), state, screen);

        // One command-line run, one operation: every outcome ends here; so does
        // a drive that another program is writing.
        if (state.batchMode || outcome == Outcome::InUse) {
            if (outcome == Outcome::NothingToDo) {
                state.exitCode = ExitRefused;
                printMessage(state, screen,
                             state.isInstalled
                                 ? tr("  VELTRA is al geïnstalleerd, er is niets gewijzigd.")
                                 : tr("  Er is niets gewijzigd."));
            }
            closingPrompt(state, screen);
            return;
        }
        switch (outcome) {
        case Outcome::Done:
        case Outcome::TableChanged:
            // The key that dismisses the result line is taken here: it must
            // not act in the menu that follows (Enter would run a line).
            awaitKey(screen);
            state.commandWord.clear();
            break;
        case Outcome::InUse:
        case Outcome::Cancelled:
            break;
        case Outcome::NothingToDo:
            state.commandWord.clear();
            break;
        }
    }
}
