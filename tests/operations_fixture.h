// Shared set-up of the operation tests: MBRs built to order, the four boot
// images as the boot program's build left them, a headless screen and a state
// prepared the way one pass of the main loop prepares it.
#pragma once

#include "core/installer_state.h"
#include "core/partition_table.h"
#include "core/sector_access.h"
#include "display/font_cp437.h"
#include "display/text_screen.h"
#include "display/window.h"
#include "installer/main_loop.h"
#include "installer/operations.h"
#include "screens/main_menu.h"

#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace ops_test {

inline const std::string HiddenMessage = "  Alle primaire partities op 1e drive zijn nu verborgen.";
inline const std::string VisibleMessage =
    "  Alle primaire partities op 1e drive zijn nu zichtbaar.";
inline const std::string RemovedMessage = "  VELTRA is verwijderd, alles is weer als voorheen.";
inline const std::string InstalledMessage =
    "  VELTRA 9.06 is geinstalleerd. Bij de volgende opstart aktief.       ";
inline const std::string Question =
    "  Er is niet genoeg lege ruimte voor VELTRA, toch installeren? (j/n)";
inline const std::string TooFewMessage =
    "  VELTRA vond minder dan 2 primaire partities, geannuleerd.";
inline const std::string ClosingPrompt = "  Druk op een willekeurige toets.";
inline const std::string ReadFailedMessage =
    "  Lezen van de schijf is mislukt, er is niets gewijzigd.";
inline const std::string WriteFailedMessage =
    "  Schrijven naar de schijf is mislukt, er is niets gewijzigd.";
inline const std::string InstallFailedMessage =
    "  Schrijven naar de schijf is mislukt, VELTRA is niet geïnstalleerd.";
inline const std::string RemoveFailedMessage =
    "  Schrijven naar de schijf is mislukt, VELTRA is niet verwijderd.";
inline const std::string Sector0LostMessage =
    "  Schrijven naar sector 0 is mislukt, de schijf start mogelijk niet meer op!";
inline const std::string NotWipedMessage =
    "  VELTRA is verwijderd, maar sector 1 tm 4 konden niet gewist worden.";
inline const std::string InUseMessage =
    "  Drive 0 is in gebruik door een ander programma, er is niets gewijzigd.";
inline const std::string ChangedMessage =
    "  De partitietabel is intussen veranderd, er is niets gewijzigd.";
inline const std::string NoSavedMbrMessage =
    "  Sector 1 bevat geen geldige MBR, VELTRA is niet verwijderd.";
inline const std::string NoMbrMessage =
    "  Sector 0 bevat geen geldige MBR, VELTRA is niet geïnstalleerd.";
inline const std::string NotInstalledMessage =
    "  VELTRA is niet geïnstalleerd, er is niets gewijzigd.";
inline const std::string NoTableMessage =
    "  Sector 0 bevat geen geldige MBR, er is niets gewijzigd.";
inline const std::string GptMessage =
    "  Deze schijf heeft een GPT-partitietabel, VELTRA kan hier niet geïnstalleerd worden.";

struct Entry {
    int flag = 0x00;
    int type = 0x00;
};

// Four recognised primary partitions, the first one active.
inline const std::array<Entry, 4> FourPartitions = {
    {{0x80, 0x06}, {0x00, 0x0B}, {0x00, 0x07}, {0x00, 0x83}}};

// An MBR with boot code of its own (no "VELTRA" at 32), its own bytes
// 432..439, a disk signature, the four entries and 55h AAh.
inline SectorBuffer makeMbr(const std::array<Entry, 4>& entries, uint8_t seed = 0x21) {
    SectorBuffer mbr{};
    for (int i = 0; i < 440; ++i) mbr[i] = static_cast<uint8_t>((i * 13 + seed) & 0xFF);
    const uint8_t signature[] = {0xCD, 0xAB, 0x34, 0x12, 0x5A, 0xA5};
    for (int i = 0; i < 6; ++i) mbr[440 + i] = signature[i];
    for (int e = 0; e < 4; ++e) {
        uint8_t* p = mbr.data() + 446 + 16 * e;
        p[0] = static_cast<uint8_t>(entries[e].flag);
        p[4] = static_cast<uint8_t>(entries[e].type);
        if (entries[e].type != 0) {
            p[1] = 0x20;
            p[3] = static_cast<uint8_t>(e);
            p[9] = static_cast<uint8_t>(0x08 * (e + 1));
            p[13] = 0x10;
        }
    }
    mbr[510] = 0x55;
    mbr[511] = 0xAA;
    return mbr;
}

// The 2048 bytes the boot program's build produced, as four sectors.
inline std::array<SectorBuffer, 4> bootImages() {
    std::ifstream in(VELTRA_BOOT_BIN, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    std::array<SectorBuffer, 4> images{};
    if (bytes.size() != 2048) {
        ADD_FAILURE() << VELTRA_BOOT_BIN << " is " << bytes.size() << " bytes, not 2048";
        return images;
    }
    for (int i = 0; i < 4; ++i) std::copy_n(bytes.begin() + 512 * i, 512, images[i].begin());
    return images;
}

// LBA 0 as an install must leave it: image 0 with the disk's bytes 432..511
// and the DefaultKey in byte 112.
inline SectorBuffer installedSector0(const SectorBuffer& mbr, int defaultKey) {
    SectorBuffer s = bootImages()[0];
    std::copy(mbr.begin() + 432, mbr.end(), s.begin() + 432);
    s[112] = static_cast<uint8_t>(defaultKey);
    return s;
}

// The words an install is started with, their DefaultKey and marked menu row.
struct InstallWord {
    std::string word;
    int key;
    int row;
};
inline const std::vector<InstallWord> InstallWords = {
    {"1Z", 104, 10}, {"1V", 59, 11}, {"2Z", 105, 12}, {"2V", 60, 13},
    {"3Z", 106, 14}, {"3V", 61, 15}, {"4Z", 107, 16}, {"4V", 62, 17},
    {"IN", 0, 9},    {"RM", 0, 9},   {"", 0, 9},      {"HIDE X", 0, 9}};

// A text (UTF-8, as the messages give it) as the screen row that shows it.
inline std::string row80(const std::string& text) {
    std::string row = cp437FromUtf8(text);
    row.resize(80, ' ');
    return row;
}

inline bool blankRow(const TextScreen& screen, int row) {
    return rowText(screen, row) == std::string(80, ' ');
}

// The row holding exactly this text, 0 when none does.
inline int rowOf(const TextScreen& screen, const std::string& text) {
    for (int r = 1; r <= TextScreen::Rows; ++r)
        if (rowText(screen, r) == row80(text)) return r;
    return 0;
}

// Key codes as the window's event side queues them.
inline const int Down = KeyDown;
inline const int Up = KeyUp;
inline const int Enter = KeyEnter;
inline const int Escape = KeyEscape;

// A headless screen and a state. `beginPass` does what a pass of the main loop
// does before it dispatches; in interactive mode the menu has just been shown.
class OperationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // Nothing in these tests may ever reach a real disk.
        setenv("VELTRA_DRIVES", "/nonexistent/veltra-test-disk", 1);
    }

    void start(const std::vector<std::string>& args) { startUp(state, screen, args); }

    void beginPass(const std::string& word, bool batch) {
        start(batch ? std::vector<std::string>{word} : std::vector<std::string>{});
        state.commandWord = word;
        state.batchMode = batch ? 1 : 0;
        ::beginPass(state);
        fillDefaultKeyTable(state);
        if (!batch) {
            state.drawOnceCount = 1;
            runMenuScreen(state, screen);
        }
    }

    void keys(const std::vector<int>& codes) { queueScript(screen, codes); }

    // The whole program as main() runs it, on these arguments and keys.
    void runProgram(const std::vector<std::string>& args, const std::vector<int>& codes) {
        startUp(state, screen, args);
        queueScript(screen, codes);
        mainLoop(state, screen);
    }

    std::string row(int r) const { return rowText(screen, r); }

    TextScreen screen;
    InstallerState state;
};

} // namespace ops_test
