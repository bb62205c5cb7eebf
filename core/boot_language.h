// The boot program speaks Dutch or English: the same code at the same
// addresses, other texts. The Dutch sectors travel in the record store, the
// English ones are built in beside it.
#pragma once

#include "core/disk_plan.h"
#include "core/installer_state.h"

#include <array>
#include <optional>
#include <string_view>

// "nl" or "en", as --boot-lang takes it and --status --json shows it.
std::string_view languageCode(BootLanguage language);
// The language of "nl" or "en"; nothing for any other text.
std::optional<BootLanguage> languageOfCode(std::string_view code);

// The four sectors of the boot program in `language`. The Dutch ones are
// decoded from the record store as every install does (the read position
// moves, scratchSector and ioBuffer are used).
BootImages bootImagesIn(BootLanguage language, InstallerState& state);

// Offsets into the 2048-byte program (LBA 0, then LBA 2-4) of the bytes
// that hold its printed texts: the read-error text of stage 1, and the
// write-error text and the thirteen messages of stage 2.
struct ProgramRange {
    int begin = 0;
    int end = 0; // one past the last byte
};
extern const std::array<ProgramRange, 2> BootTextRanges;

// The language of the boot program on a disk (LBA 0 and LBA 2-4): the one
// whose texts it holds byte for byte; nothing when the disk carries no
// install marker or its texts are those of neither language.
std::optional<BootLanguage> installedBootLanguage(const FirstSectors& disk);

// The language an install writes: the one asked for; else that of a boot
// program already on the disk; else the installer's own.
BootLanguage chooseBootLanguage(std::optional<BootLanguage> requested, const FirstSectors& disk,
                                BootLanguage uiLanguage);
