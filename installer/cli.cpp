#include "installer/cli.h"

#include "core/backup.h"
#include "core/guarded_write.h"
#include "core/installer_state.h"
#include "core/sector_access.h"
#include "installer/operations.h"
#include "installer/status.h"
#include "veltra_version.h"

#include <cstdio>
#include <memory>
#include <string>

namespace {

void say(std::FILE* to, const std::string& text) {
    std::fputs(text.c_str(), to);
    std::fflush(to);
}

int usageError(const std::string& error) {
    say(stderr, "veltra: " + error + "\n\n" + usageText());
    return ExitUsage;
}

// Without a named drive the program does not guess which disk the machine
// starts from: it lists them and says how to name one.
int noDriveNamed() {
    std::string text = "veltra: geen schijf opgegeven. Geef de eerste schijf op met --drive, "
                       "bijvoorbeeld:\n  sudo veltra --drive /dev/sda\n";
    const std::vector<std::string> disks = describeWholeDisks();
    text += disks.empty() ? "Deze computer heeft geen schijven die VELTRA kent.\n"
                          : "Schijven van deze computer:\n";
    for (const std::string& disk : disks) text += "  " + disk + "\n";
    say(stderr, text);
    return ExitUsage;
}

int listAllBackups() {
    const std::vector<std::string> files = listBackups();
    if (files.empty()) say(stdout, "Geen back-ups in " + backupFolder() + ".\n");
    for (const std::string& file : files) say(stdout, file + "\n");
    return ExitDone;
}

// Writes a backup back to drive 0. The order keeps the disk starting at every
// moment: LBA 0 last when the backup holds an install (its start-up stage
// needs LBA 1-4), first when it does not (the old MBR needs nothing else).
int restoreBackupFile(const CommandLine& line) {
    BackupSectors sectors{};
    uint32_t signature = 0;
    std::string error;
    if (!readBackup(line.restoreFile, sectors, signature, error)) {
        say(stderr, "veltra: " + error + " Er is niets veranderd.\n");
        return ExitUsage;
    }
    auto state = std::make_unique<InstallerState>();
    state->makeBackups = line.noBackup ? 0 : 1;
    SectorBuffer now{};
    if (const uint32_t failed = peekSector(0, 0, now)) {
        say(stderr, "veltra: drive 0 is niet te lezen (fout " + std::to_string(failed) +
                        "), er is niets veranderd.\n");
        return ExitDiskError;
    }
    if (diskSignature(now) != signature && !line.force) {
        char text[160];
        std::snprintf(text, sizeof text,
                      "veltra: de back-up is van schijf %08x, drive 0 is schijf %08x. Er is niets "
                      "veranderd (--force schrijft hem toch).\n",
                      signature, diskSignature(now));
        say(stderr, text);
        return ExitRefused;
    }
    WorkingSector decidedOn{};
    copyFromBuffer(now, decidedOn);
    WriteGuard guard(*state, 0, decidedOn);
    switch (guard.check()) {
    case WriteCheck::Ready:
        break;
    case WriteCheck::InUse:
        say(stderr,
            "veltra: drive 0 is in gebruik door een ander programma, er is niets gewijzigd.\n");
        return ExitRefused;
    case WriteCheck::Changed:
        say(stderr, "veltra: de partitietabel is intussen gewijzigd, er is niets veranderd.\n");
        return ExitRefused;
    case WriteCheck::NoBackup:
        say(stderr,
            "veltra: geen back-up gemaakt (" + state->backupError + "), er is niets veranderd.\n");
        return ExitDiskError;
    case WriteCheck::ReadFailed:
        say(stderr, "veltra: drive 0 is niet te lezen, er is niets veranderd.\n");
        return ExitDiskError;
    }
    const bool installLast =
        std::string_view(reinterpret_cast<const char*>(&sectors[0][32]), 6) == "VELTRA";
    const int order[2][5] = {{0, 1, 2, 3, 4}, {1, 2, 3, 4, 0}};
    for (int lba : order[installLast ? 1 : 0]) {
        state->ioBuffer = sectors[lba];
        writeSector(*state, 0, static_cast<uint64_t>(lba));
        if (state->lastError == 0) continue;
        const bool intact = lba != 0 || !mayHaveChanged(*state) || putBackSector0(*state, 0, now);
        say(stderr, intact ? "veltra: schrijven naar drive 0 is mislukt, LBA 0 is zoals hij was.\n"
                           : "veltra: schrijven naar sector 0 is mislukt, de schijf start mogelijk "
                             "niet meer op!\n");
        return ExitDiskError;
    }
    say(stdout, "Back-up teruggezet op drive 0 (" + driveName(0) + ").\n");
    return ExitDone;
}

} // namespace

bool runWithoutWindow(const CommandLine& line, int& exitCode) {
    exitCode = ExitDone;
    switch (line.action) {
    case Action::Help:
        say(stdout, usageText());
        return true;
    case Action::Version:
        say(stdout, std::string("veltra ") + VELTRA_VERSION + " (" + VELTRA_BUILD + ")\n");
        return true;
    case Action::UsageError:
        exitCode = usageError(line.error);
        return true;
    case Action::ListBackups:
        exitCode = listAllBackups();
        return true;
    default:
        break;
    }
    for (const std::string& name : line.drives) {
        if (const std::string why = checkDriveName(name); !why.empty()) {
            exitCode = usageError(why);
            return true;
        }
    }
    setDriveNames(line.drives);
    if (!drivesNamed()) {
        exitCode = noDriveNamed();
        return true;
    }
    if (line.action == Action::Status) {
        say(stdout, statusReport(line.json, exitCode));
        return true;
    }
    if (line.action == Action::Restore) {
        exitCode = restoreBackupFile(line);
        return true;
    }
    return false;
}
