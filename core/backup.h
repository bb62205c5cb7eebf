// Backups of LBA 0-4 of a drive, made before every sequence of writes, so
// that whatever an operation writes can be put back (--restore). A backup
// records which disk it was made of (signature, size and the four entries),
// so that a restore can tell one disk from another even when their
// signatures agree.
#pragma once

#include "core/installer_state.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

constexpr int BackupSectorCount = 5;
constexpr int BackupsKept = 20; // the newest per disk, beside the first one ever made
using BackupSectors = std::array<SectorBuffer, BackupSectorCount>;

// What tells one disk from another.
struct DiskIdentity {
    uint32_t signature = 0;
    uint64_t sectors = 0; // the disk's size in 512-byte sectors; 0 unknown
    std::array<uint32_t, 4> starts{};
    std::array<uint32_t, 4> lengths{};
    bool operator==(const DiskIdentity&) const = default;
};
DiskIdentity identityOf(const SectorBuffer& lba0, uint64_t sectors);

struct Backup {
    BackupSectors sectors{};
    DiskIdentity identity;
    int64_t time = 0; // seconds since 1970, UTC
};

// Why no backup was made: a value; the installer says it in words.
struct BackupFailure {
    enum class Kind {
        None,
        ReadFailed,   // LBA 0-4 of the drive could not be read
        NoFolder,     // no folder to be had (HOME is no absolute path)
        Missing,      // `path` does not exist
        NotAFolder,   // `path` is no folder
        Link,         // the folder `path` is a link
        ForeignLink,  // `path` is a link of another user
        Untrusted,    // `path` belongs to another user or others may write it
        CannotCreate, // `path` could not be made (`error`: the system's code)
        CannotWrite,  // `path` could not be written
        CannotSync,   // the folder `path` could not be synced
        TooMany,      // every name of this second is taken
    };
    Kind kind = Kind::None;
    std::string path;
    int error = 0;
};

// Why a file is not read as a backup.
enum class BackupFileProblem { None, Unreadable, NotRegular, NotBackup, Damaged };

// Where backups go: $XDG_STATE_HOME/veltra when that is an absolute path,
// else /var/backups/veltra for root and $HOME/.local/state/veltra for others
// (POSIX); %LOCALAPPDATA%\VELTRA (Windows). Empty when there is none.
std::string backupFolder();
std::string backupPath(const std::string& name);

// A signature or another 32-bit value as eight lower-case hex digits.
std::string hex8(uint32_t value);
// The disk signature: bytes 440..443 of LBA 0.
uint32_t diskSignature(const SectorBuffer& lba0);

// Reads LBA 0-4 of `drive` and saves them as a new file in backupFolder(),
// synced before this returns; then keeps, per disk, the first backup ever
// made and the newest BackupsKept, never deleting `keep` (a file being
// restored). False with `failure` when no backup was made.
bool backupDrive(int drive, std::string& file, BackupFailure& failure,
                 const std::string& keep = {});

// The backup files in backupFolder(), oldest first per disk.
std::vector<std::string> listBackups();

// Reads a backup file (a regular file, opened without blocking) and checks its
// format, length and check value. False with `problem` for anything that is
// not a whole backup.
bool readBackup(const std::string& path, Backup& backup, BackupFileProblem& problem);
// The same checks on the bytes of a file already read: NotBackup or Damaged.
bool decodeBackup(const std::vector<uint8_t>& bytes, Backup& backup, BackupFileProblem& problem);

// The file format, for tests that make or damage files.
std::vector<uint8_t> encodeBackup(const Backup& backup);

// The platform's part.
enum class NewFile { Written, Exists, Failed };
struct FileKey {
    uint64_t device = 0;
    uint64_t inode = 0;
    bool operator==(const FileKey&) const = default;
};
// Opens backupFolder() (making it, mode 0700, when `create`) after checking
// that only the user or root controls it; false with `failure` otherwise.
bool openBackupFolder(bool create, BackupFailure& failure);
void closeBackupFolder();
// A new file `name` in the open folder, made under a temporary name with an
// exclusive create, written, synced and linked to its name; Exists when the
// name is taken.
NewFile writeNewBackupFile(const std::string& name, const std::vector<uint8_t>& bytes,
                           BackupFailure& failure);
std::vector<std::string> backupFolderNames();
// At most `limit` bytes of a regular file: `path` in the open folder when
// `inFolder`, else any path.
bool readFile(const std::string& path, bool inFolder, size_t limit, std::vector<uint8_t>& bytes,
              FileKey& key, BackupFileProblem& problem);
void removeBackupFile(const std::string& name);
// Temporary files of the program's own pattern whose writer no longer runs.
void removeStaleTemporaries();
