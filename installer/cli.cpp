#include "installer/cli.h"

#include "core/backup.h"
#include "core/disk_plan.h"
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
    result.err += "veltra: " + error + "\n\n" + usageText();
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

std::string hex8(uint32_t value) {
    char text[9];
    std::snprintf(text, sizeof text, "%08x", value);
    return text;
}

const char* const Forceable = " Er is niets veranderd (--force schrijft hem toch).\n";

// Why a backup is not written over drive 0, one line.
std::string restoreRefusal(RestoreCheck check, const Backup& backup, const DiskIdentity& disk) {
    switch (check) {
    case RestoreCheck::OtherSignature:
        return "veltra: de back-up is van schijf " + hex8(backup.identity.signature) +
               ", drive 0 is schijf " + hex8(disk.signature) + "." + Forceable;
    case RestoreCheck::OtherSize:
        return "veltra: de back-up is van een schijf van " +
               std::to_string(backup.identity.sectors) + " sectoren, drive 0 heeft er " +
               std::to_string(disk.sectors) + "." + Forceable;
    case RestoreCheck::OtherEntries:
        return "veltra: de partities van de back-up beginnen of eindigen elders dan die van "
               "drive 0." +
               std::string(Forceable);
    case RestoreCheck::Unidentified:
        return "veltra: handtekening 0 en geen partities: niets zegt dat de back-up van drive 0 "
               "is." +
               std::string(Forceable);
    case RestoreCheck::NoBootSignature:
        return "veltra: LBA 0 van de back-up eindigt niet op 55h AAh, de schijf zou niet meer "
               "starten. Er is niets veranderd.\n";
    case RestoreCheck::NoSavedMbr:
        return "veltra: de back-up bevat VELTRA, maar LBA 1 is geen geldige MBR. Er is niets "
               "veranderd.\n";
    case RestoreCheck::Stage2Damaged:
        return "veltra: de back-up bevat VELTRA, maar LBA 2-4 zijn niet heel. Er is niets "
               "veranderd.\n";
    case RestoreCheck::TargetGpt:
        return "veltra: drive 0 heeft een GPT-partitietabel, die de back-up zou overschrijven. Er "
               "is niets veranderd.\n";
    case RestoreCheck::Ready:
        break;
    }
    return {};
}

// Why the guard let no write through, one line, and the exit code.
int guardRefusal(WriteCheck check, const InstallerState& state, CliResult& result) {
    switch (check) {
    case WriteCheck::InUse:
        result.err += "veltra: drive 0 is in gebruik door een ander programma, er is niets "
                      "gewijzigd.\n";
        return ExitRefused;
    case WriteCheck::Changed:
        result.err += "veltra: de partitietabel is intussen gewijzigd, er is niets veranderd.\n";
        return ExitRefused;
    case WriteCheck::SectorSize:
        result.err += "veltra: drive 0 heeft sectoren van " + std::to_string(state.sectorSize) +
                      " bytes (niet 512), er is niets veranderd.\n";
        return ExitRefused;
    case WriteCheck::NoBackup:
        result.err +=
            "veltra: geen back-up gemaakt (" + state.backupError + "), er is niets veranderd.\n";
        return ExitDiskError;
    case WriteCheck::ReadFailed:
    case WriteCheck::Ready:
        break;
    }
    result.err += "veltra: drive 0 is niet te lezen, er is niets veranderd.\n";
    return ExitDiskError;
}

// Writes a backup back to drive 0, in the order that keeps the disk starting
// at every moment, after checking that it is this disk's and that what it
// holds can start.
int restoreBackupFile(const CommandLine& line, CliResult& result) {
    Backup backup;
    std::string error;
    if (!readBackup(line.restoreFile, backup, error)) {
        result.err += "veltra: " + line.restoreFile + " " + error + ". Er is niets veranderd.\n";
        return ExitUsage;
    }
    auto state = std::make_unique<InstallerState>();
    state->makeBackups = line.noBackup ? 0 : 1;
    SectorBuffer now{};
    SectorBuffer lba1{};
    uint32_t failed = peekSector(0, 0, now);
    if (!failed) failed = peekSector(0, 1, lba1);
    if (failed) {
        result.err += "veltra: drive 0 is niet te lezen (fout " + std::to_string(failed) +
                      "), er is niets veranderd.\n";
        return ExitDiskError;
    }
    const DiskIdentity disk = identityOf(now, driveSize(0) / 512);
    const RestoreCheck check = checkRestore(backup, disk, lba1, line.force);
    if (check != RestoreCheck::Ready) {
        result.err += restoreRefusal(check, backup, disk);
        return isAlwaysRefused(check) ? ExitUsage : ExitRefused;
    }
    SectorBuffer decidedOn{};
    decidedOn = now;
    WriteGuard guard(*state, 0, decidedOn, line.restoreFile);
    if (guard.check() != WriteCheck::Ready) return guardRefusal(guard.check(), *state, result);
    bool sector0Written = false;
    for (int lba : restoreOrder(backup)) {
        state->ioBuffer = backup.sectors[lba];
        writeSector(*state, 0, static_cast<uint64_t>(lba));
        if (state->lastError == 0) {
            sector0Written = sector0Written || lba == 0;
            continue;
        }
        const std::string which = "LBA " + std::to_string(lba);
        if (sector0Written) {
            // The old MBR is back and starts the disk; what follows it is not.
            result.err += "veltra: schrijven van " + which +
                          " is mislukt; LBA 0 is al teruggezet, LBA " + std::to_string(lba) +
                          "-4 niet.\n";
        } else if (lba != 0 || !mayHaveChanged(*state) || putBackSector0(*state, 0, now)) {
            result.err += "veltra: schrijven van " + which +
                          " naar drive 0 is mislukt, LBA 0 is zoals hij was.\n";
        } else {
            result.err += "veltra: schrijven naar sector 0 is mislukt, de schijf start mogelijk "
                          "niet meer op!\n";
        }
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
    setDriveNames(line.drives);
    if (!drivesNamed()) {
        result.exitCode = noDriveNamed(result);
        return true;
    }
    // Each named drive is opened here, once, and checked on its descriptor;
    // --status only reads.
    setDrivesReadOnly(line.action == Action::Status);
    for (int drive = 0; drive < 4; ++drive) {
        if (driveName(drive).empty() || openDrive(drive) == 0) continue;
        if (!isNamingProblem(openProblem(drive))) continue;
        result.err += "veltra: " + checkDrive(drive) + " Er is niets veranderd.\n";
        result.exitCode = ExitUsage;
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
