// Backups of LBA 0-4 of a drive, made before every sequence of writes, so
// that whatever an operation writes can be put back (--restore).
#pragma once

#include "core/installer_state.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

constexpr int BackupSectorCount = 5;
constexpr int BackupsKept = 20; // per disk; older ones are removed
using BackupSectors = std::array<SectorBuffer, BackupSectorCount>;

// Where backups go: $XDG_STATE_HOME/veltra, else /var/backups/veltra for root
// and ~/.local/state/veltra for others (POSIX); %LOCALAPPDATA%\VELTRA (Windows).
std::string backupFolder();
// The platform's part beside backupFolder(): the path of the file `name` in
// it, making it (with missing parents; false when that fails), and the names
// of the files in it (none when it is missing).
std::string backupPath(const std::string& name);
bool makeBackupFolder();
std::vector<std::string> backupFolderNames();

// The disk signature: bytes 440..443 of LBA 0.
uint32_t diskSignature(const SectorBuffer& lba0);

// Reads LBA 0-4 of `drive` and saves them as a new file in backupFolder();
// keeps the newest BackupsKept of that disk. False with `error` (Dutch) when
// no backup was made.
bool backupDrive(int drive, std::string& file, std::string& error);

// The backup files in backupFolder(), oldest first.
std::vector<std::string> listBackups();

// Reads a backup file and checks its format, length and check value. False
// with `error` (Dutch) for anything that is not a whole backup.
bool readBackup(const std::string& path, BackupSectors& sectors, uint32_t& signature,
                std::string& error);
