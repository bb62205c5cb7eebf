#include "installer/cli.h"

#include "core/backup.h"
#include "core/guarded_write.h"
#include "core/installer_state.h"
#include "core/sector_access.h"
#include "installer/main_loop.h"
#include "installer/operations.h"
#include "installer/status.h"
#include "veltra_version.h"

#include <cstdio>
#include <memory>
#include <string>

namespace {

int usageError(CliResult& result, const std::string& error) {
    result.err += "veltra: " + error + "\nProbeer 'veltra --help'.\n";
    return ExitUsage;
}

// Without a named drive the program does not guess which disk the machine
// starts from: it lists them and says how to name one.
int noDriveNamed(CliResult& result) {
    std::string text = "veltra: geen schijf opgegeven. Geef de eerste schijf op met --drive, "
                       "bijvoorbeeld:\n  sudo veltra --drive /dev/sda\n";
    const std::vector<std::string> disks = describeWholeDisks();
    text += disks.empty() ? "Deze computer heeft geen schijven die VELTRA kent.\n"
                          : "Schijven van deze computer:\n";
    for (const std::string& disk : disks) text += "  " + disk + "\n";
    result.err += text;
    return ExitUsage;
}

int listAllBackups(CliResult& result) {
    const std::vector<std::string> files = listBackups();
    if (files.empty()) result.out += "Geen back-ups in " + backupFolder() + ".\n";
    for (const std::string& file : files) result.out += file + "\n";
    return ExitDone;
}

// Writes a backup back to drive 0. The order keeps the disk starting at every
// moment: LBA 0 last when the backup holds an install (its start-up stage
// needs LBA 1-4), first when it does not (the old MBR needs nothing else).
int restoreBackupFile(const CommandLine& line, CliResult& result) {
    BackupSectors sectors{};
    uint32_t signature = 0;
    std::string error;
    if (!readBackup(line.restoreFile, sectors, signature, error)) {
        result.err += "veltra: " + error + " Er is niets veranderd.\n";
        return ExitUsage;
    }
    auto state = std::make_unique<InstallerState>();
    state->makeBackups = line.noBackup ? 0 : 1;
    SectorBuffer now{};
    if (const uint32_t failed = peekSector(0, 0, now)) {
        result.err += "veltra: drive 0 is niet te lezen (fout " + std::to_string(failed) +
                      "), er is niets veranderd.\n";
        return ExitDiskError;
    }
    if (diskSignature(now) != signature && !line.force) {
        char text[160];
        std::snprintf(text, sizeof text,
                      "veltra: de back-up is van schijf %08x, drive 0 is schijf %08x. Er is niets "
                      "veranderd (--force schrijft hem toch).\n",
                      signature, diskSignature(now));
        result.err += text;
        return ExitRefused;
    }
    WorkingSector decidedOn{};
    copyFromBuffer(now, decidedOn);
    WriteGuard guard(*state, 0, decidedOn);
    switch (guard.check()) {
    case WriteCheck::Ready:
        break;
    case WriteCheck::InUse:
        result.err += "veltra: drive 0 is in gebruik door een ander programma, er is niets "
                      "gewijzigd.\n";
        return ExitRefused;
    case WriteCheck::Changed:
        result.err += "veltra: de partitietabel is intussen gewijzigd, er is niets veranderd.\n";
        return ExitRefused;
    case WriteCheck::NoBackup:
        result.err +=
            "veltra: geen back-up gemaakt (" + state->backupError + "), er is niets veranderd.\n";
        return ExitDiskError;
    case WriteCheck::ReadFailed:
        result.err += "veltra: drive 0 is niet te lezen, er is niets veranderd.\n";
        return ExitDiskError;
    }
    const bool installLast = carriesInstallMarker(sectors[0]);
    const int order[2][5] = {{0, 1, 2, 3, 4}, {1, 2, 3, 4, 0}};
    for (int lba : order[installLast ? 1 : 0]) {
        state->ioBuffer = sectors[lba];
        writeSector(*state, 0, static_cast<uint64_t>(lba));
        if (state->lastError == 0) continue;
        const bool intact = lba != 0 || !mayHaveChanged(*state) || putBackSector0(*state, 0, now);
        result.err += intact
                          ? "veltra: schrijven naar drive 0 is mislukt, LBA 0 is zoals hij was.\n"
                          : "veltra: schrijven naar sector 0 is mislukt, de schijf start mogelijk "
                            "niet meer op!\n";
        return ExitDiskError;
    }
    result.out += "Back-up teruggezet op drive 0 (" + driveName(0) + ").\n";
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
        result.exitCode = listAllBackups(result);
        return true;
    default:
        break;
    }
    for (const std::string& name : line.drives) {
        if (const std::string why = checkDriveName(name); !why.empty()) {
            result.err += "veltra: " + why + " Er is niets veranderd.\n";
            result.exitCode = ExitUsage;
            return true;
        }
    }
    setDriveNames(line.drives);
    if (!drivesNamed()) {
        result.exitCode = noDriveNamed(result);
        return true;
    }
    if (line.action == Action::Status) {
        result.out += statusReport(line.json, result.exitCode);
        return true;
    }
    if (line.action == Action::Restore) {
        result.exitCode = restoreBackupFile(line, result);
        return true;
    }
    return false;
}
