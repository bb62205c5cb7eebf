// The four things the installer does to drive 0: hide all, restore all, remove
// the boot program and install it. Each writes whole sectors, checks every
// write and reports in one Dutch line. A failed write is never reported as
// success, and sector 0 is put back whenever a failure may have changed it, so
// the first disk keeps starting.
#include "installer/operations.h"

#include "core/guarded_write.h"
#include "core/partition_table.h"
#include "core/record_store.h"
#include "core/sector_access.h"
#include "screens/gradient_bar.h"
#include "screens/main_menu.h"

#include <array>
#include <cstdio>
#include <optional>
#include <string_view>

namespace {

constexpr std::string_view HiddenMessage =
    "  Alle primaire partities op 1e drive zijn nu verborgen.";
constexpr std::string_view VisibleMessage =
    "  Alle primaire partities op 1e drive zijn nu zichtbaar.";
constexpr std::string_view RemovedMessage = "  VELTRA is verwijderd, alles is weer als voorheen.";
constexpr std::string_view InstalledMessage =
    "  VELTRA 9.06 is geinstalleerd. Bij de volgende opstart aktief.       ";
constexpr std::string_view NotEnoughSpaceQuestion =
    "  Er is niet genoeg lege ruimte voor VELTRA, toch installeren? (j/n)";
constexpr std::string_view NotInstalledMessage =
    "  VELTRA is niet geinstalleerd, er is niets gewijzigd.";
constexpr std::string_view TooFewPartitionsMessage =
    "  VELTRA vond minder dan 2 primaire partities, geannuleerd.";

// Failures.
constexpr std::string_view ReadFailedMessage =
    "  Lezen van de schijf is mislukt, er is niets veranderd.";
constexpr std::string_view WriteFailedMessage =
    "  Schrijven naar de schijf is mislukt, er is niets veranderd.";
constexpr std::string_view InstallFailedMessage =
    "  Schrijven naar de schijf is mislukt, VELTRA is niet geinstalleerd.";
constexpr std::string_view RemoveFailedMessage =
    "  Schrijven naar de schijf is mislukt, VELTRA is niet verwijderd.";
constexpr std::string_view Sector0LostMessage =
    "  Schrijven naar sector 0 is mislukt, de schijf start mogelijk niet meer op!";
constexpr std::string_view NotWipedMessage =
    "  VELTRA is verwijderd, maar sector 1 tm 4 konden niet gewist worden.";
constexpr std::string_view InUseMessage =
    "  Drive 0 is in gebruik door een ander programma, er is niets gewijzigd.";
constexpr std::string_view TableChangedMessage =
    "  De partitietabel is intussen gewijzigd, er is niets veranderd.";
constexpr std::string_view NoSavedMbrMessage =
    "  Sector 1 bevat geen geldige MBR, VELTRA is niet verwijderd.";
constexpr std::string_view NoMbrMessage =
    "  Sector 0 bevat geen geldige MBR, VELTRA is niet geinstalleerd.";
constexpr std::string_view GptMessage =
    "  Deze schijf heeft een GPT-partitietabel, VELTRA kan hier niet geinstalleerd worden.";

// The option words of the main menu and the DefaultKey each one stores: Alt-F n
// keeps the other partitions visible (z), F n hides them (v).
constexpr std::array<std::string_view, 8> OptionWords = {"1Z", "1V", "2Z", "2V",
                                                         "3Z", "3V", "4Z", "4V"};
constexpr std::array<int, 8> OptionKeys = {104, 59, 105, 60, 106, 61, 107, 62};

constexpr int DefaultKeyOffset = 112;
constexpr int TableBlockStart = 432;
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

void reportMessage(InstallerState& state, TextScreen& screen, std::string_view message) {
    prepareMessage(state, screen);
    showLine(state, screen, message);
}

// A result line that also sets what the program ends with.
Outcome report(InstallerState& state, TextScreen& screen, std::string_view message, int exitCode,
               Outcome outcome = Outcome::Done) {
    state.exitCode = exitCode;
    reportMessage(state, screen, message);
    return outcome;
}

// The writes may go ahead only when the guard is ready; otherwise says why
// nothing was written.
std::optional<Outcome> refusal(InstallerState& state, TextScreen& screen, const WriteGuard& guard) {
    switch (guard.check()) {
    case WriteCheck::Ready:
        return std::nullopt;
    case WriteCheck::InUse:
        return report(state, screen, InUseMessage, ExitRefused, Outcome::InUse);
    case WriteCheck::Changed:
        return report(state, screen, TableChangedMessage, ExitRefused, Outcome::TableChanged);
    case WriteCheck::NoBackup:
        return report(state, screen,
                      "  Geen back-up gemaakt (" + state.backupError + "), er is niets veranderd.",
                      ExitDiskError);
    case WriteCheck::ReadFailed:
        break;
    }
    return report(state, screen, ReadFailedMessage, ExitDiskError);
}

// After an interactive install or removal row 1 names the state just reached.
void showReachedTitle(InstallerState& state, TextScreen& screen) {
    if (state.batchMode != 0) return;
    setColor(screen, White, Magenta);
    moveCursor(screen, 1, 1);
    printText(screen, state.otherTitle, true);
    drawTitleGradient(state, screen, 0);
}

// ioBuffer to LBA `lba` of drive 0; true when the disk took it.
bool writeLba(InstallerState& state, uint64_t lba) {
    writeSector(state, 0, lba);
    return state.lastError == 0;
}

// HIDE and REST: writes the changed workSector to LBA 0. On a failure the
// sector that was there is written back and workSector shows it again.
Outcome writeTable(InstallerState& state, TextScreen& screen, const WorkingSector& before,
                   std::string_view doneMessage) {
    WriteGuard guard(state, 0, before);
    if (auto refused = refusal(state, screen, guard)) {
        state.workSector = before;
        return *refused;
    }
    copyToBuffer(state.workSector, state.ioBuffer);
    if (writeLba(state, 0)) return report(state, screen, doneMessage, ExitDone);
    bool intact = true;
    if (mayHaveChanged(state)) {
        SectorBuffer original{};
        copyToBuffer(before, original);
        intact = putBackSector0(state, 0, original);
    }
    state.workSector = before;
    return report(state, screen, intact ? WriteFailedMessage : Sector0LostMessage, ExitDiskError);
}

bool anyNonZero(const SectorBuffer& sector) {
    for (uint8_t byte : sector)
        if (byte != 0) return true;
    return false;
}

// The row of the menu line whose DefaultKey is `key`; 9 ("Alleen installeren") for none.
int markerRowFor(int key) {
    if (key == 0) return 9;
    int row = 2 * key - 107;
    if (row > 17) row -= 91;
    return row;
}

// A failed install: LBA 0 is written last, so only its own failed write can
// have touched it; then the sector the disk had goes back.
Outcome failInstall(InstallerState& state, TextScreen& screen, const SectorBuffer& sector0,
                    bool sector0Touched) {
    const bool intact = !sector0Touched || putBackSector0(state, 0, sector0);
    return report(state, screen, intact ? InstallFailedMessage : Sector0LostMessage, ExitDiskError);
}

} // namespace

void showLine(InstallerState& state, TextScreen& screen, std::string_view text) {
    printText(screen, text, true);
    if (!state.plainOutput) return;
    const size_t end = text.find_last_not_of(' ');
    std::FILE* to = state.exitCode == ExitDone ? stdout : stderr;
    std::fwrite(text.data(), 1, end == std::string_view::npos ? 0 : end + 1, to);
    std::fputc('\n', to);
    std::fflush(to);
}

void fillDefaultKeyTable(InstallerState& state) {
    for (size_t i = 0; i < OptionKeys.size(); ++i) state.defaultKeyTable[i] = OptionKeys[i];
}

Outcome hideAll(InstallerState& state, TextScreen& screen) {
    const WorkingSector before = state.workSector;
    for (int entry = 0; entry < 4; ++entry)
        state.workSector[typeOffset(entry)] = hideRule(state.workSector[typeOffset(entry)]);
    return writeTable(state, screen, before, HiddenMessage);
}

// REST: every recognised partition visible, and the first recognised one (the
// one F1 starts at boot) active. With none recognised the boot flags stay as
// they are: an empty or foreign slot 1 must not take the flag off the
// partition that starts the disk. Only bit 7 of a boot flag is the flag, as
// at boot time.
Outcome restoreAll(InstallerState& state, TextScreen& screen) {
    const WorkingSector before = state.workSector;
    int active = -1;
    for (int entry = 0; entry < 4 && active < 0; ++entry)
        if (isRecognisedType(state.workSector[typeOffset(entry)])) active = entry;
    for (int entry = 0; entry < 4; ++entry) {
        int& flag = state.workSector[bootFlagOffset(entry)];
        if (active >= 0) flag = (flag & 0x7F) | (entry == active ? 0x80 : 0x00);
        state.workSector[typeOffset(entry)] = unhideRule(state.workSector[typeOffset(entry)]);
    }
    return writeTable(state, screen, before, VisibleMessage);
}

// Removal: LBA 1 keeps the MBR that was there before the install. It goes back
// into LBA 0 carrying the disk's current TableBlock, and only once LBA 0 holds
// it are LBA 1 to 4 zeroed, so a failure never leaves the start-up stage in
// LBA 0 without the sectors it loads.
Outcome removeBootProgram(InstallerState& state, TextScreen& screen) {
    const WorkingSector before = state.workSector;
    WriteGuard guard(state, 0, before);
    if (auto refused = refusal(state, screen, guard)) return *refused;
    // The guard read LBA 0 as it is now: the start-up stage with the disk's
    // live TableBlock.
    const SectorBuffer installedSector0 = state.ioBuffer;
    copyFromBuffer(state.ioBuffer, state.scratchSector);

    readSavedMbr(state, 0, 1);
    if (state.lastError != 0) return report(state, screen, ReadFailedMessage, ExitDiskError);
    // A cleared or overwritten LBA 1 would leave a disk without boot code.
    if (!isBootableMbr(state.savedMbrBuffer))
        return report(state, screen, NoSavedMbrMessage, ExitRefused);
    copyFromBuffer(state.savedMbrBuffer, state.workSector);

    // A start-up stage whose code runs up to byte 439 ends in a near jump to
    // stage 2 (E9h 48h 00h at 437); its bytes 432..439 are program, not disk.
    const WorkingSector& live = state.scratchSector;
    const bool codeUpTo439 =
        live[436] == 0x09 && live[437] == 0xE9 && live[438] == 0x48 && live[439] == 0x00;
    for (int i = codeUpTo439 ? 440 : TableBlockStart; i < 512; ++i) state.workSector[i] = live[i];

    copyToBuffer(state.workSector, state.ioBuffer);
    if (!writeLba(state, 0)) {
        const bool intact = !mayHaveChanged(state) || putBackSector0(state, 0, installedSector0);
        state.workSector = before;
        return report(state, screen, intact ? RemoveFailedMessage : Sector0LostMessage,
                      ExitDiskError);
    }
    state.isInstalled = 0;

    bool wiped = true;
    for (uint64_t lba = 1; lba <= 4; ++lba) {
        state.ioBuffer.fill(0);
        if (!writeLba(state, lba)) wiped = false;
    }

    report(state, screen, wiped ? RemovedMessage : NotWipedMessage,
           wiped ? ExitDone : ExitDiskError);
    showReachedTitle(state, screen);
    return Outcome::Done;
}

// Install: LBA 1 receives the disk's sector 0 unchanged, LBA 2 to 4 the rest of
// the boot program and, last, LBA 0 the start-up stage with the disk's
// TableBlock and the chosen DefaultKey. Until that last write LBA 0 is the
// disk's own MBR, so a stop at any moment leaves a disk that starts.
Outcome installBootProgram(InstallerState& state, TextScreen& screen) {
    // The disk's sector 0 becomes the saved MBR that a removal puts back and
    // that every start runs: it must be one.
    SectorBuffer sector0{};
    copyToBuffer(state.workSector, sector0);
    if (!isBootableMbr(sector0)) return report(state, screen, NoMbrMessage, ExitRefused);

    // Free-space test: LBA 1 to 4 should be empty. All four are read.
    bool inUse = false;
    bool gpt = false;
    for (uint64_t lba = 1; lba <= 4; ++lba) {
        readSector(state, 0, lba);
        if (state.lastError != 0) return report(state, screen, ReadFailedMessage, ExitDiskError);
        copyFromBuffer(state.ioBuffer, state.scratchSector);
        if (anyNonZero(state.ioBuffer)) inUse = true;
        if (lba == 1)
            gpt = std::string_view(reinterpret_cast<const char*>(state.ioBuffer.data()), 8) ==
                  "EFI PART";
    }
    // LBA 1 onwards hold the GPT header and entries: never offered for overwriting.
    if (gpt) return report(state, screen, GptMessage, ExitRefused);

    if (inUse) {
        state.questionAsked = 1;
        if (state.batchMode == 1) printNewline(screen);
        showLine(state, screen, NotEnoughSpaceQuestion);
        std::string answer = awaitKey(screen);
        if (answer.size() == 1 && answer[0] >= 'a' && answer[0] <= 'z') answer[0] -= 'a' - 'A';
        if (answer != "J") {
            state.exitCode = ExitRefused;
            // The command line has no menu to go back to: say that nothing happened.
            if (state.batchMode == 1) reportMessage(state, screen, NotInstalledMessage);
            return Outcome::Cancelled;
        }
    }

    countPrimaryPartitions(state);
    if (state.partitionCount < 2) {
        state.exitCode = ExitRefused;
        if (state.batchMode == 1) printNewline(screen);
        showLine(state, screen, TooFewPartitionsMessage);
        // The key that answers this message is taken here, so that it neither
        // acts in the menu nor ends the closing prompt that follows.
        awaitKey(screen);
        return Outcome::Cancelled;
    }

    WriteGuard guard(state, 0, state.workSector);
    if (auto refused = refusal(state, screen, guard)) return *refused;

    // The disk's sector 0, unchanged, becomes the saved MBR.
    state.ioBuffer = sector0;
    if (!writeLba(state, 1)) return failInstall(state, screen, sector0, false);

    restoreTo(state, BootImageRecords);
    decodeImageToScratch(state);
    for (int i = TableBlockStart; i < 512; ++i) state.scratchSector[i] = state.workSector[i];
    for (size_t i = 0; i < OptionWords.size(); ++i)
        if (state.commandWord == OptionWords[i])
            state.scratchSector[DefaultKeyOffset] = state.defaultKeyTable[i];
    const int defaultKey = state.scratchSector[DefaultKeyOffset];

    for (uint64_t lba = 2; lba <= 4; ++lba) {
        decodeImageToBuffer(state);
        if (!writeLba(state, lba)) return failInstall(state, screen, sector0, false);
    }

    copyToBuffer(state.scratchSector, state.ioBuffer);
    if (!writeLba(state, 0)) return failInstall(state, screen, sector0, mayHaveChanged(state));
    state.isInstalled = 1;
    state.exitCode = ExitDone;
    if (state.batchMode == 1) {
        printNewline(screen);
        if (state.questionAsked == 1) printNewline(screen);
    } else {
        state.drawOnceCount = 1;
        runMenuScreen(state, screen);
    }

    state.markerRow = markerRowFor(defaultKey);
    if (state.batchMode != 1) { // the batch screen has no menu line to mark
        setColor(screen, Grey, 0, ColorTarget::ForegroundOnly);
        moveCursor(screen, state.markerRow, MarkerColumn);
        printText(screen, "*", false);
    }

    moveCursor(screen, 22, 1);
    setColor(screen, Magenta, PaleRose);
    showLine(state, screen, InstalledMessage);
    showReachedTitle(state, screen);
    return Outcome::Done;
}
