#include "installer/cli.h"

#include "core/backup.h"
#include "core/boot_language.h"
#include "core/catalogue.h"
#include "core/disk_plan.h"
#include "core/installer_state.h"
#include "core/sector_access.h"
#include "core/writer.h"
#include "installer/language.h"
#include "installer/main_loop.h"
#include "installer/messages.h"
#include "installer/operations.h"
#include "installer/plan_text.h"
#include "installer/status.h"
#include "screens/disk_picker.h"
#include "veltra_version.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

namespace {

int usageError(CliResult& result, const std::string& error) {
    result.err += "veltra: " + error + "\n" + tr("Probeer 'veltra --help'.") + "\n";
    return ExitUsage;
}

// Without a named drive the program does not guess which disk the machine
// starts from: it lists them and says how to name one.
int noDriveNamed(CliResult& result) {
    std::string text = tr("veltra: geen schijf opgegeven. Geef de eerste schijf op met --drive, "
                          "bijvoorbeeld:\n  sudo veltra --drive /dev/sda\n");
    const std::vector<WholeDisk> disks = wholeDisksOfMachine();
    text += disks.empty() ? tr("Deze computer heeft geen schijven die VELTRA kent.\n")
                          : tr("Schijven van deze computer:\n");
    for (const WholeDisk& disk : disks)
        text += "  " + disk.path + "  " + sizeText(disk.bytes) +
                (disk.model.empty() ? "" : "  " + disk.model) + "\n";
    result.err += text;
    return ExitUsage;
}

// The identity of drive 0 as a backup records it; false when LBA 0 cannot be read.
bool identityOfDrive0(DiskIdentity& identity, CliResult& result) {
    SectorBuffer lba0{};
    if (const IoResult read = readSectors(0, 0, &lba0, 1); !read.ok()) {
        result.err += commandLineText(unreadableText(0, read.code));
        return false;
    }
    identity = identityOf(lba0, driveSize(0) / 512);
    return true;
}

// LBA 0 to `count` - 1 of drive 0; false, with why in `result`, when they cannot be read.
bool readDrive0(FirstSectors& disk, int count, CliResult& result) {
    const IoResult read = readSectors(0, 0, disk.data(), count);
    if (read.ok()) return true;
    result.err += read.opened() ? commandLineText(unreadableText(0, read.code))
                                : "veltra:" + openFailureText(0) + "\n";
    return false;
}

// --list-backups: all of them, or with --drive only those of drive 0's disk.
int listAllBackups(const CommandLine& line, CliResult& result) {
    std::optional<DiskIdentity> disk;
    if (!line.drives.empty()) {
        DiskIdentity identity;
        if (!identityOfDrive0(identity, result)) return ExitDiskError;
        disk = identity;
    }
    result.out += backupsReport(listedBackups(), disk, line.json);
    return ExitDone;
}

// --restore=latest and --restore=first: the newest or the first backup of
// drive 0's own disk; empty (with why) when there is none.
std::string chosenBackup(const std::string& which, CliResult& result) {
    DiskIdentity identity;
    if (!identityOfDrive0(identity, result)) return {};
    std::string chosen;
    for (const ListedBackup& listed : listedBackups()) {
        if (listed.problem != BackupFileProblem::None || !(listed.backup.identity == identity))
            continue;
        if (which == "latest" || chosen.empty()) chosen = listed.path;
    }
    if (chosen.empty())
        result.err +=
            "veltra: " +
            fill(tr("geen back-up van drive 0 in {0}. Er is niets gewijzigd."), {backupFolder()}) +
            "\n";
    return chosen;
}

// Writes a backup back to drive 0, in the order that keeps the disk starting
// at every moment, after checking that it is this disk's and that what it
// holds can start.
int restoreBackupFile(const CommandLine& line, CliResult& result) {
    // "latest" and "first" name a backup of this disk ("./latest" names a file).
    const bool byWord = line.restoreFile == "latest" || line.restoreFile == "first";
    const std::string file = byWord ? chosenBackup(line.restoreFile, result) : line.restoreFile;
    if (file.empty()) return result.err.empty() ? ExitUsage : ExitRefused;
    Backup backup;
    BackupFileProblem problem = BackupFileProblem::None;
    if (!readBackup(file, backup, problem)) {
        result.err += "veltra: " + fill(backupFileText(problem), {shownPath(file)}) +
                      tr(". Er is niets gewijzigd.") + "\n";
        return ExitUsage;
    }
    FirstSectors disk{};
    if (const IoResult read = readSectors(0, 0, disk.data(), 5); !read.ok()) {
        result.err += commandLineText(unreadableText(0, read.code));
        return ExitDiskError;
    }
    const DiskIdentity identity = identityOf(disk[0], driveSize(0) / 512);
    const RestoreCheck check = checkRestore(backup, identity, disk[1], line.force);
    if (check != RestoreCheck::Ready) {
        const Message refused = restoreRefusalMessage(check, backup, identity);
        result.err += commandLineText(refused.line);
        return refused.exitCode;
    }
    const DiskPlan plan = planRestore(backup, disk[0]);
    if (line.dryRun) {
        if (byWord) result.out += fill(tr("Back-up: {0}\n"), {shownPath(file)});
        result.out += describePlan(plan, disk);
        return ExitDone;
    }
    const WriteReport written = applyPlan(0, plan, {!line.noBackup, file});
    if (written.result != WriteResult::Written) {
        const Message failed = writeMessage(Task::Restore, written, 0);
        result.err += commandLineText(failed.line);
        return failed.exitCode;
    }
    result.out += fill(tr("Back-up teruggezet op drive 0 ({0}).\n"), {shownPath(driveName(0))});
    return ExitDone;
}

// --dry-run with a word: the plan the word would carry out on drive 0.
int dryRunWord(const CommandLine& line, CliResult& result) {
    FirstSectors disk{};
    if (!readDrive0(disk, 5, result)) return ExitDiskError;
    auto state = std::make_unique<InstallerState>();
    state->commandWord = line.word;
    state->pauseTicks = line.pauseTicks;
    state->bootLanguage = line.bootLanguage;
    state->uiLanguage = bootLanguageOfProgram();
    fillDefaultKeyTable(*state);
    const Operation operation = chooseOperation(line.word, carriesInstallMarker(disk[0]) ? 1 : 0);
    if (operation == Operation::None) {
        result.err += commandLineText(tr("  VELTRA is al geïnstalleerd, er is niets gewijzigd."));
        return ExitRefused;
    }
    const DiskPlan plan = planOfOperation(operation, disk, *state);
    if (plan.askFreeSpace)
        result.out += tr("VELTRA zou eerst vragen: LBA 1-4 zijn niet leeg, toch installeren?\n");
    if (plan.refusal != Refusal::None) {
        const Message refused = refusalMessage(plan.refusal);
        result.err += commandLineText(refused.line);
        return refused.exitCode;
    }
    result.out += describePlan(plan, disk);
    return ExitDone;
}

// --pause, --default without a word: LBA 0 of an installed drive 0 with only
// the pause field and the DefaultKey changed, one write like every other.
// --boot-lang: LBA 2-4 and then LBA 0 with the texts of that language, the
// rest of LBA 0 as it was (or as --pause and --default say).
int reconfigure(const CommandLine& line, CliResult& result) {
    FirstSectors disk{};
    SectorBuffer& lba0 = disk[0];
    if (!readDrive0(disk, line.bootLanguage ? 5 : 1, result)) return ExitDiskError;
    const Reconfiguration change = {line.defaultKey, line.pauseTicks};
    DiskPlan plan;
    if (line.bootLanguage) {
        auto state = std::make_unique<InstallerState>();
        plan = planNewTexts(disk, bootImagesIn(*line.bootLanguage, *state), change);
    } else {
        plan = planReconfigure(lba0, change);
    }
    if (plan.refusal != Refusal::None) {
        const Message refused = refusalMessage(plan.refusal);
        result.err += commandLineText(refused.line);
        return refused.exitCode;
    }
    if (line.dryRun) {
        result.out += describePlan(plan, disk);
        return ExitDone;
    }
    const WriteReport written = applyPlan(0, plan, {!line.noBackup, {}});
    if (written.result != WriteResult::Written) {
        const Message failed = writeMessage(Task::Reconfigure, written, 0);
        result.err += commandLineText(failed.line);
        return failed.exitCode;
    }
    result.out += reconfiguredText(plan.newSector0, line.bootLanguage);
    return ExitDone;
}

} // namespace

bool runWithoutWindow(const CommandLine& line, CliResult& result) {
    result = {};
    switch (line.action) {
    case Action::Help:
        result.out += usageText();
        return true;
    case Action::Version:
        result.out += std::string("veltra ") + VELTRA_VERSION + " (" + VELTRA_BUILD + ")\n";
        return true;
    case Action::UsageError:
        result.exitCode = usageError(result, line.error);
        return true;
    case Action::ListBackups:
        // Without --drive every backup; with it, those of drive 0's disk.
        if (line.drives.empty()) {
            result.exitCode = listAllBackups(line, result);
            return true;
        }
        break;
    default:
        break;
    }
    setDriveNames(line.drives);
    if (!drivesNamed()) {
        result.exitCode = noDriveNamed(result);
        return true;
    }
    // Each named drive is opened here, once, and checked on its descriptor;
    // --status only reads.
    setDrivesReadOnly(line.action == Action::Status || line.action == Action::ListBackups);
    for (int drive = 0; drive < 4; ++drive) {
        if (driveName(drive).empty() || openDrive(drive) == 0) continue;
        if (!isNamingProblem(openProblem(drive))) continue;
        result.err +=
            "veltra: " + openFailureText(drive).substr(1) + tr(" Er is niets gewijzigd.") + "\n";
        result.exitCode = ExitUsage;
        return true;
    }
    if (line.action == Action::ListBackups) {
        result.exitCode = listAllBackups(line, result);
        return true;
    }
    if (line.action == Action::Status) {
        result.out += statusReport(line.json, result.exitCode);
        return true;
    }
    if (line.dryRun && line.action == Action::Run) {
        result.exitCode = dryRunWord(line, result);
        return true;
    }
    if (line.action == Action::Restore) {
        result.exitCode = restoreBackupFile(line, result);
        return true;
    }
    if (line.action == Action::Reconfigure) {
        result.exitCode = reconfigure(line, result);
        return true;
    }
    return false;
}
