// The four things the installer does to drive 0: hide all, restore all, remove
// the boot program and install it. Each reads what it needs, asks core/ for a
// plan, asks the user when the plan says so, hands the plan to the one
// writer and reports in one line from the table of messages.
#include "installer/operations.h"

#include "core/boot_language.h"
#include "core/catalogue.h"
#include "core/menu_options.h"
#include "core/partition_table.h"
#include "core/record_store.h"
#include "core/sector_access.h"
#include "display/font_cp437.h"
#include "screens/gradient_bar.h"
#include "screens/main_menu.h"

#include <array>
#include <cstdio>
#include <string_view>

namespace {

constexpr const char* NotEnoughSpaceQuestion =
    N_("  Er is niet genoeg lege ruimte voor VELTRA, toch installeren? (j/n)");

// The eight option words of the main menu (1Z ... 4V) in menu order, and the
// DefaultKey each one stores: Alt-F n keeps the other partitions visible (z),
// F n hides them (v).
constexpr std::array<MenuOption, 8> PartitionOptions = [] {
    std::array<MenuOption, 8> options{};
    size_t n = 0;
    for (const MenuOption& option : MenuOptions)
        if (option.partition != 0) options[n++] = option;
    return options;
}();

constexpr int MarkerColumn = 74;

// Before a result line the screen is brought up to date: an empty line in
// batch mode, a repaint of the menu (cursor left on row 22) otherwise.
void prepareMessage(InstallerState& state, TextScreen& screen) {
    if (state.batchMode == 1) {
        printNewline(screen);
    } else {
        state.drawOnceCount = 1;
        runMenuScreen(state, screen);
    }
}

// A result line that also sets what the program ends with.
Outcome report(InstallerState& state, TextScreen& screen, const Message& message,
               Outcome outcome = Outcome::Done) {
    state.exitCode = message.exitCode;
    prepareMessage(state, screen);
    showLine(state, screen, message.line);
    return outcome;
}

// What the main loop does next after a write that did not go ahead.
Outcome outcomeOf(const WriteReport& written) {
    if (written.result == WriteResult::InUse) return Outcome::InUse;
    if (written.result == WriteResult::Changed) return Outcome::TableChanged;
    return Outcome::Done;
}

// LBA 1-4 could not be read: nothing was written.
WriteReport unread() {
    WriteReport report;
    report.result = WriteResult::ReadFailed;
    return report;
}

WriteReport write(const InstallerState& state, const DiskPlan& plan) {
    return applyRunPlan(state, 0, plan);
}

// After an interactive install or removal row 1 names the state just reached.
void showReachedTitle(InstallerState& state, TextScreen& screen) {
    if (state.batchMode != 0) return;
    setColor(screen, White, Magenta);
    moveCursor(screen, 1, 1);
    printText(screen, state.otherTitle, true);
    drawTitleGradient(state, screen, 0);
}

// HIDE and REST: one write of LBA 0. The shown table follows the disk.
Outcome writeTable(InstallerState& state, TextScreen& screen, Task task, const DiskPlan& plan) {
    if (plan.refusal != Refusal::None) return report(state, screen, refusalMessage(plan.refusal));
    const StopsWait stops; // until the result line is out
    const WriteReport written = write(state, plan);
    if (written.result == WriteResult::Written) state.workSector = plan.newSector0;
    return report(state, screen, writeMessage(task, written, 0), outcomeOf(written));
}

// The row of the menu line whose DefaultKey is `key`; 9 ("Alleen installeren") for none.
int markerRowFor(int key) {
    const int row = menuRowOfKey(key);
    return row != 0 ? row : menuRowOfKey(0);
}

// The free-space question; true when answered with the language's yes key
// (J in Dutch, Y in English: the other one is no).
bool askToOverwrite(InstallerState& state, TextScreen& screen) {
    state.questionAsked = 1;
    if (state.batchMode == 1) printNewline(screen);
    showLine(state, screen, tr(NotEnoughSpaceQuestion));
    std::string answer = awaitKey(screen);
    if (answer.size() == 1 && answer[0] >= 'a' && answer[0] <= 'z') answer[0] -= 'a' - 'A';
    // TRANSLATORS: the capital letter that answers yes to a "(j/n)" question.
    return answer == tr("J");
}

} // namespace

void showLine(const RunState& state, TextScreen& screen, std::string_view text) {
    printText(screen, cp437FromUtf8(text), true);
    if (!state.plainOutput) return;
    const size_t end = text.find_last_not_of(' ');
    std::FILE* to = state.exitCode == ExitDone ? stdout : stderr;
    std::fwrite(text.data(), 1, end == std::string_view::npos ? 0 : end + 1, to);
    std::fputc('\n', to);
    std::fflush(to);
}

void fillDefaultKeyTable(RunState& state) {
    for (size_t i = 0; i < PartitionOptions.size(); ++i)
        state.defaultKeyTable[i] = PartitionOptions[i].defaultKey;
}

int optionWordKey(const std::string& word) {
    const MenuOption* option = menuOptionOfWord(word);
    return option && option->partition != 0 ? option->defaultKey : -1;
}

int chosenDefaultKey(const RunState& state) {
    for (size_t i = 0; i < PartitionOptions.size(); ++i)
        if (state.commandWord == PartitionOptions[i].word) return state.defaultKeyTable[i];
    return 0;
}

int chosenPauseTicks(const RunState& state) {
    return state.pauseTicks >= 0 ? state.pauseTicks : DefaultPauseTicks;
}

BootImages bootImages(InstallerState& state, const FirstSectors& disk) {
    return bootImagesIn(chooseBootLanguage(state.bootLanguage, disk, state.uiLanguage), state);
}

DiskPlan planOfOperation(Operation operation, const FirstSectors& disk, InstallerState& state) {
    switch (operation) {
    case Operation::HideAll:
        return planHideAll(disk[0]);
    case Operation::RestoreAll:
        return planRestoreAll(disk[0]);
    case Operation::RemoveBootProgram:
        return planRemove(disk);
    case Operation::InstallBootProgram:
        return planInstall(disk, chosenDefaultKey(state), bootImages(state, disk),
                           chosenPauseTicks(state));
    case Operation::RefuseRemoval:
        return planNotInstalled(disk[0]);
    case Operation::None:
        break;
    }
    DiskPlan nothing;
    nothing.refusal = Refusal::Nothing;
    return nothing;
}

namespace {

// The plan of an operation that needs LBA 0 alone, the one the pass read.
DiskPlan planOnSector0(Operation operation, InstallerState& state) {
    FirstSectors disk{};
    disk[0] = state.workSector;
    return planOfOperation(operation, disk, state);
}

} // namespace

Outcome hideAll(InstallerState& state, TextScreen& screen) {
    return writeTable(state, screen, Task::HideAll, planOnSector0(Operation::HideAll, state));
}

Outcome restoreAll(InstallerState& state, TextScreen& screen) {
    return writeTable(state, screen, Task::RestoreAll, planOnSector0(Operation::RestoreAll, state));
}

Outcome refuseRemoval(InstallerState& state, TextScreen& screen) {
    return report(state, screen,
                  refusalMessage(planOnSector0(Operation::RefuseRemoval, state).refusal));
}

// Removal: LBA 1 keeps the MBR that was there before the install. It goes back
// into LBA 0 carrying the disk's current TableBlock, and only once LBA 0 holds
// it are LBA 1 to 4 zeroed, so a failure never leaves the start-up stage in
// LBA 0 without the sectors it loads.
Outcome removeBootProgram(InstallerState& state, TextScreen& screen) {
    FirstSectors disk{};
    disk[0] = state.workSector;
    if (!readSectors(0, 1, &disk[1], 4).ok())
        return report(state, screen, writeMessage(Task::Remove, unread(), 0));
    const DiskPlan plan = planOfOperation(Operation::RemoveBootProgram, disk, state);
    if (plan.refusal != Refusal::None) return report(state, screen, refusalMessage(plan.refusal));
    const StopsWait stops;
    const WriteReport written = write(state, plan);
    const bool removed = written.result == WriteResult::Written || written.sector0Written;
    if (removed) {
        state.workSector = plan.newSector0;
        state.isInstalled = 0;
    }
    report(state, screen, writeMessage(Task::Remove, written, 0), outcomeOf(written));
    if (removed) showReachedTitle(state, screen);
    return outcomeOf(written);
}

// Install: LBA 1 receives the disk's sector 0 unchanged, LBA 2 to 4 the rest of
// the boot program and, last, LBA 0 the start-up stage with the disk's
// TableBlock and the chosen DefaultKey. Until that last write LBA 0 is the
// disk's own MBR, so a stop at any moment leaves a disk that starts.
Outcome installBootProgram(InstallerState& state, TextScreen& screen) {
    FirstSectors disk{};
    disk[0] = state.workSector;
    // Sector 0 must be a bootable MBR before anything else is looked at; only
    // one that may be a GPT disk's protective MBR waits for LBA 1 to tell.
    if (!isBootableMbr(disk[0]) && !hasProtectiveEntry(disk[0]))
        return report(state, screen, refusalMessage(Refusal::NoMbr));
    if (!readSectors(0, 1, &disk[1], 4).ok())
        return report(state, screen, writeMessage(Task::Install, unread(), 0));
    const DiskPlan plan = planOfOperation(Operation::InstallBootProgram, disk, state);
    if (plan.refusal == Refusal::NoMbr || plan.refusal == Refusal::Gpt)
        return report(state, screen, refusalMessage(plan.refusal));

    if (plan.askFreeSpace && !askToOverwrite(state, screen)) {
        state.exitCode = ExitRefused;
        // The command line has no menu to go back to: say that nothing happened.
        if (state.batchMode == 1) {
            prepareMessage(state, screen);
            showLine(state, screen, refusalMessage(Refusal::NotInstalled).line);
        }
        return Outcome::Cancelled;
    }
    if (plan.refusal == Refusal::TooFew) {
        state.exitCode = ExitRefused;
        if (state.batchMode == 1) printNewline(screen);
        showLine(state, screen, refusalMessage(plan.refusal).line);
        // The key that answers this message is taken here, so that it neither
        // acts in the menu nor ends the closing prompt that follows.
        awaitKey(screen);
        return Outcome::Cancelled;
    }

    const StopsWait stops;
    const WriteReport written = write(state, plan);
    if (written.result != WriteResult::Written)
        return report(state, screen, writeMessage(Task::Install, written, 0), outcomeOf(written));
    state.isInstalled = 1;
    state.exitCode = ExitDone;
    if (state.batchMode == 1) {
        printNewline(screen);
        if (state.questionAsked == 1) printNewline(screen);
    } else {
        state.drawOnceCount = 1;
        runMenuScreen(state, screen);
    }

    state.markerRow = markerRowFor(plan.newSector0[DefaultKeyOffset]);
    if (state.batchMode != 1) { // the batch screen has no menu line to mark
        setColor(screen, Grey, 0, ColorTarget::ForegroundOnly);
        moveCursor(screen, state.markerRow, MarkerColumn);
        printText(screen, "*", false);
    }

    moveCursor(screen, 22, 1);
    setColor(screen, Magenta, PaleRose);
    showLine(state, screen, doneMessage(Task::Install).line);
    showReachedTitle(state, screen);
    return Outcome::Done;
}
