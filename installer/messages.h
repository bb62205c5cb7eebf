// Every line the program says about a disk and what it ends with: one table
// for the screen and the command line alike. The layers below return values
// (refusals, write results, open problems, backup failures); here they become
// lines in the language in use (UTF-8, from the catalogue) and exit codes.
#pragma once

#include "core/backup.h"
#include "core/disk_plan.h"
#include "core/writer.h"

#include <optional>
#include <string>

// Exit codes.
constexpr int ExitDone = 0;
constexpr int ExitRefused = 1;
constexpr int ExitUsage = 2;
constexpr int ExitDiskError = 3;

struct Message {
    std::string line; // two blanks, then the sentence (UTF-8; the screen shows it in code page 437)
    int exitCode = ExitDone;
};

// The operations whose results are told.
enum class Task { HideAll, RestoreAll, Remove, Install, Edit, Restore, Reconfigure };

// Why the plan of `task` was refused.
Message refusalMessage(Refusal refusal);
// What became of the plan's writes on `drive`.
Message writeMessage(Task task, const WriteReport& report, int drive);
// The success line of a task whose writes are all on the disk.
Message doneMessage(Task task);

// " Drive 0 (PATH) bestaat niet." and its kin: why drive N did not open,
// after programLabel() (hence the leading blank).
std::string openFailureText(int drive);
// "  VELTRA 9.06:", the start of a line about the program as a whole.
std::string programLabel();
// Why no backup was made, for "Geen back-up gemaakt (...)".
std::string backupFailureText(const BackupFailure& failure, int drive);
// "  Drive N is niet te lezen (fout E), ...": an opened drive whose sectors could not be read.
std::string unreadableText(int drive, int error);
// Why a file is no backup: a pattern of {0}, the file's name.
std::string backupFileText(BackupFileProblem problem);
// Why a backup is not written over drive 0.
Message restoreRefusalMessage(RestoreCheck check, const Backup& backup, const DiskIdentity& disk);

// A byte as two hex digits and "h": "07h".
std::string hex2(int value);
// A DefaultKey as the key it stands for: "F3", "Alt-F3", "geen" for 0, else hex2.
std::string defaultKeyText(int key);
// A pause in clock ticks as seconds and ticks: "3,0 s (55 tikken)".
std::string pauseText(int ticks);
// What --pause and --default made of an installed LBA 0, for standard output;
// with `language` (--boot-lang) also the boot program's new language.
std::string reconfiguredText(const SectorBuffer& lba0,
                             std::optional<BootLanguage> language = std::nullopt);
// A boot program's language in words: "Nederlands", "Engels", "onbekend".
std::string bootLanguageName(std::optional<BootLanguage> language);

// A screen line as a line of the command line: "veltra: " and the sentence,
// its first letter small.
std::string commandLineText(const std::string& screenLine);
// A path with its control bytes (C0, DEL and the C1 controls in UTF-8) shown as \xNN.
std::string shownPath(const std::string& path);
