// The installer's one program-wide record. The main loop, the screens and the
// operations read and write it in turn on the logic thread.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

struct WriteReport;

// The language of the boot program's texts (core/boot_language.h).
enum class BootLanguage { Dutch, English };

// One disk sector: 512 bytes.
using SectorBuffer = std::array<uint8_t, 512>;

// The installer's state is one program-wide record composed of small ones;
// a function takes the smallest part it needs.

// The sector buffers of the transfers and the outcome of the last one.
struct SectorIo {
    SectorBuffer ioBuffer{};       // every sector transfer but one goes through here
    SectorBuffer savedMbrBuffer{}; // LBA 1 as read by a removal
    uint32_t lastError = 0;        // 0, 6 (could not open) or the system's code
};

// The drive shown and what the pass found in its LBA 0.
struct DiskView {
    SectorBuffer workSector{};    // LBA 0 of currentDrive
    SectorBuffer scratchSector{}; // zeroed at the start of every pass
    int currentDrive = 0;
    int partitionCount = 0;
    int isInstalled = 0;
};

// The main menu and the partition editor's page.
struct MenuState {
    std::string installedTitle;
    std::string notInstalledTitle;
    std::string menuTitle;
    std::string otherTitle;
    std::string lastKey;
    int selectedRow = 9;
    int fullRedraw = 1;
    int drawOnceCount = 0;
    int markerRow = 9;
    // Why the last edit of the partition editor was not written; shown on
    // the message row until the next key.
    std::string menuMessage;
    // Turns the writer's report of an edit into that line (set by the installer).
    std::string (*editMessage)(const WriteReport& report, int drive) = nullptr;
};

// The run: what was asked for and how it ends.
struct RunState {
    std::string commandWord;
    int batchMode = 0;
    int questionAsked = 0;
    std::array<int, 8> defaultKeyTable{};
    // The pause an install writes, in BIOS clock ticks (--pause); -1: the
    // boot program's own (3 seconds).
    int pauseTicks = -1;
    // What the program ends with: 0 done, 1 refused or cancelled, 2 usage,
    // 3 a drive could not be opened, read or written.
    int exitCode = 0;
    // The language of the boot program an install writes (--boot-lang);
    // nothing: that of a boot program already on the disk, else uiLanguage.
    std::optional<BootLanguage> bootLanguage;
    // The installer's own language, which an install without a choice uses.
    BootLanguage uiLanguage = BootLanguage::Dutch;
    // LBA 0-4 are saved to a backup file before the first write of every
    // operation (the program turns this on unless --no-backup).
    int makeBackups = 0;
    // A command-line run whose output is no terminal: message lines also go
    // out as plain text, errors to standard error.
    int plainOutput = 0;
    // 0 when nobody can answer the closing prompt (input is no terminal).
    int promptWaits = 1;
};

// The record store's one read position: the number of the next record.
struct RecordReader {
    int readPosition = 1;
};

struct InstallerState : SectorIo, DiskView, MenuState, RunState, RecordReader {};
