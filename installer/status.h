// --status: what stands on each named drive, read without writing anything.
#pragma once

#include "core/backup.h"

#include <optional>
#include <string>
#include <vector>

// The report as text (in the language in use) or as one JSON object; `exitCode` 0, or 3 when a
// drive could not be read.
std::string statusReport(bool json, int& exitCode);

// A backup file as --list-backups and --restore=latest|first see it.
struct ListedBackup {
    std::string path;
    Backup backup;
    bool first = false;                                  // the oldest of its disk: kept for ever
    BackupFileProblem problem = BackupFileProblem::None; // a file that is no backup
};
// Every file of the backup folder, oldest first (by time, then name).
std::vector<ListedBackup> listedBackups();
// --list-backups: per backup its time (UTC and local), the disk, what it holds;
// only those of `disk` when given; as text or as a JSON array.
std::string backupsReport(const std::vector<ListedBackup>& backups,
                          const std::optional<DiskIdentity>& disk, bool json);
