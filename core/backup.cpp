#include "core/backup.h"

#include "core/crc32.h"
#include "core/sector_access.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>

// Files through <cstdio> and the platform's part (backup_posix.cpp,
// backup_win32.cpp), not through streams or std::filesystem, which would add
// a megabyte of locale support to the Windows program.

namespace {

// A backup file: a 96-byte header, then LBA 0-4; all numbers little-endian.
//   0..15  "VELTRA-BACKUP-2\n"
//   16..19 disk signature, 20..27 time (seconds since 1970, UTC),
//   28..35 the disk's size in sectors, 36..67 start and length of the four
//   entries, 68..91 zero, 92..95 CRC-32 of bytes 0..91 and the sectors.
// The first format ("VELTRA-BACKUP-1\n", a 32-byte header with the signature,
// the time and a CRC-32 of the sectors only) is still read.
constexpr char Magic[] = "VELTRA-BACKUP-2\n";
constexpr char MagicV1[] = "VELTRA-BACKUP-1\n";
constexpr size_t HeaderSize = 96;
constexpr size_t HeaderSizeV1 = 32;
constexpr size_t SectorBytes = BackupSectorCount * 512;
constexpr size_t FileSize = HeaderSize + SectorBytes;
constexpr size_t CrcAt = 92;
constexpr int MaxPerSecond = 999;

void putLe(std::vector<uint8_t>& out, size_t at, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

uint64_t getLe(const uint8_t* in, int bytes) {
    uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) value |= static_cast<uint64_t>(in[i]) << (8 * i);
    return value;
}

// A short mark of the whole identity, so that names of one disk sort together.
uint32_t identityMark(const DiskIdentity& id) {
    std::vector<uint8_t> bytes(44, 0);
    putLe(bytes, 0, id.signature, 4);
    putLe(bytes, 4, id.sectors, 8);
    for (int e = 0; e < 4; ++e) {
        putLe(bytes, 12 + 8 * e, id.starts[e], 4);
        putLe(bytes, 16 + 8 * e, id.lengths[e], 4);
    }
    return crc32(bytes.data(), bytes.size());
}

// veltra-<signature>-<identity>-<yyyymmddThhmmssZ>-<nnn>.bak: names sort by
// disk, then time (UTC, so no change of time zone or daylight saving time
// reorders them), then the count within one second.
std::string fileName(const DiskIdentity& id, std::time_t when, int n) {
    char stamp[48];
    const size_t length = std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", std::gmtime(&when));
    std::snprintf(stamp + length, sizeof stamp - length, "-%03d", n);
    return "veltra-" + hex8(id.signature) + "-" + hex8(identityMark(id)) + "-" + stamp + ".bak";
}

bool isBackupName(const std::string& name) {
    return name.starts_with("veltra-") && name.ends_with(".bak");
}

} // namespace

bool decodeBackup(const std::vector<uint8_t>& bytes, Backup& backup, BackupFileProblem& problem) {
    const bool v1 = bytes.size() >= 16 && std::equal(MagicV1, MagicV1 + 16, bytes.begin());
    const bool v2 = bytes.size() >= 16 && std::equal(Magic, Magic + 16, bytes.begin());
    if (!v1 && !v2) {
        problem = BackupFileProblem::NotBackup;
        return false;
    }
    const size_t header = v2 ? HeaderSize : HeaderSizeV1;
    if (bytes.size() != header + SectorBytes) {
        problem = BackupFileProblem::Damaged;
        return false;
    }
    const uint8_t* sectors = bytes.data() + header;
    const uint32_t crc =
        v2 ? crc32(sectors, SectorBytes, crc32(bytes.data(), CrcAt)) : crc32(sectors, SectorBytes);
    if (getLe(bytes.data() + (v2 ? CrcAt : 28), 4) != crc) {
        problem = BackupFileProblem::Damaged;
        return false;
    }
    for (int lba = 0; lba < BackupSectorCount; ++lba)
        std::copy_n(sectors + 512 * lba, 512, backup.sectors[lba].begin());
    backup.time = static_cast<int64_t>(getLe(bytes.data() + 20, 8));
    backup.identity = identityOf(backup.sectors[0], v2 ? getLe(bytes.data() + 28, 8) : 0);
    backup.identity.signature = static_cast<uint32_t>(getLe(bytes.data() + 16, 4));
    if (v2)
        for (int e = 0; e < 4; ++e) {
            backup.identity.starts[e] = static_cast<uint32_t>(getLe(bytes.data() + 36 + 8 * e, 4));
            backup.identity.lengths[e] = static_cast<uint32_t>(getLe(bytes.data() + 40 + 8 * e, 4));
        }
    return true;
}

namespace {

// The backups of disk `id` in the open folder, oldest first (by time, then name).
struct OwnBackup {
    int64_t time;
    std::string name;
    FileKey key;
    BackupSectors sectors;
};
void sortOldestFirst(std::vector<OwnBackup>& own) {
    std::sort(own.begin(), own.end(), [](const OwnBackup& a, const OwnBackup& b) {
        return a.time != b.time ? a.time < b.time : a.name < b.name;
    });
}

std::vector<OwnBackup> ownBackups(const DiskIdentity& id) {
    std::vector<OwnBackup> own;
    for (const std::string& name : backupFolderNames()) {
        if (!isBackupName(name)) continue;
        std::vector<uint8_t> bytes;
        BackupFileProblem problem;
        FileKey key;
        Backup backup;
        if (!readFile(name, true, FileSize + 1, bytes, key, problem) ||
            !decodeBackup(bytes, backup, problem) || !(backup.identity == id))
            continue;
        own.push_back({backup.time, name, key, backup.sectors});
    }
    sortOldestFirst(own);
    return own;
}

// Keeps, per disk, the first backup ever made (the disk as it was before the
// program first wrote it) and the newest BackupsKept of `own` (the disk's
// backups, oldest first); never `keep`.
void pruneBackups(const std::vector<OwnBackup>& own, const FileKey& keep) {
    for (size_t i = 1; i + BackupsKept < own.size(); ++i)
        if (!(own[i].key == keep)) removeBackupFile(own[i].name);
}

} // namespace

std::string hex8(uint32_t value) {
    char text[9];
    std::snprintf(text, sizeof text, "%08x", value);
    return text;
}

uint32_t diskSignature(const SectorBuffer& lba0) {
    return static_cast<uint32_t>(getLe(lba0.data() + 440, 4));
}

DiskIdentity identityOf(const SectorBuffer& lba0, uint64_t sectors) {
    DiskIdentity id;
    id.signature = diskSignature(lba0);
    id.sectors = sectors;
    for (int e = 0; e < 4; ++e) {
        id.starts[e] = static_cast<uint32_t>(getLe(lba0.data() + 446 + 16 * e + 8, 4));
        id.lengths[e] = static_cast<uint32_t>(getLe(lba0.data() + 446 + 16 * e + 12, 4));
    }
    return id;
}

std::vector<uint8_t> encodeBackup(const Backup& backup) {
    std::vector<uint8_t> bytes(FileSize, 0);
    std::copy_n(Magic, 16, bytes.begin());
    putLe(bytes, 16, backup.identity.signature, 4);
    putLe(bytes, 20, static_cast<uint64_t>(backup.time), 8);
    putLe(bytes, 28, backup.identity.sectors, 8);
    for (int e = 0; e < 4; ++e) {
        putLe(bytes, 36 + 8 * e, backup.identity.starts[e], 4);
        putLe(bytes, 40 + 8 * e, backup.identity.lengths[e], 4);
    }
    for (int lba = 0; lba < BackupSectorCount; ++lba)
        std::copy(backup.sectors[lba].begin(), backup.sectors[lba].end(),
                  bytes.begin() + static_cast<long>(HeaderSize + 512 * lba));
    putLe(bytes, CrcAt, crc32(bytes.data() + HeaderSize, SectorBytes, crc32(bytes.data(), CrcAt)),
          4);
    return bytes;
}

bool backupDrive(int drive, std::string& file, BackupFailure& failure, const std::string& keep) {
    Backup backup;
    // LBA 0-4 in one read.
    if (!readSectors(drive, 0, backup.sectors.data(), BackupSectorCount).ok()) {
        failure = {BackupFailure::Kind::ReadFailed, {}, 0};
        return false;
    }
    backup.identity = identityOf(backup.sectors[0], driveSize(drive) / 512);
    backup.time = static_cast<int64_t>(std::time(nullptr));
    if (!openBackupFolder(true, failure)) return false;
    removeStaleTemporaries();
    // The newest backup of this disk holds these sectors already: it stands for this one.
    // The disk's backups are read once: for this and for the pruning below.
    std::vector<OwnBackup> own = ownBackups(backup.identity);
    if (!own.empty() && own.back().sectors == backup.sectors) {
        file = backupPath(own.back().name);
        return true;
    }
    const std::vector<uint8_t> bytes = encodeBackup(backup);
    // A count never used before in this second: one freed by pruning would
    // sort the new backup among the old ones.
    const std::string same = fileName(backup.identity, static_cast<std::time_t>(backup.time), 0);
    const std::string prefix = same.substr(0, same.size() - 7); // without "000.bak"
    int used = 0;
    for (const std::string& name : backupFolderNames())
        if (isBackupName(name) && name.size() == same.size() && name.starts_with(prefix))
            used = std::max(used, std::atoi(name.c_str() + prefix.size()));
    for (int n = used + 1; n <= MaxPerSecond; ++n) {
        const std::string name =
            fileName(backup.identity, static_cast<std::time_t>(backup.time), n);
        const NewFile made = writeNewBackupFile(name, bytes, failure);
        if (made == NewFile::Failed) return false;
        if (made == NewFile::Exists) continue;
        file = backupPath(name);
        FileKey keepKey;
        std::vector<uint8_t> ignored;
        BackupFileProblem ignoredProblem;
        if (!keep.empty()) readFile(keep, false, 0, ignored, keepKey, ignoredProblem);
        own.push_back({backup.time, name, {}, backup.sectors});
        sortOldestFirst(own);
        pruneBackups(own, keepKey);
        return true;
    }
    failure = {BackupFailure::Kind::TooMany, backupFolder(), 0};
    return false;
}

std::vector<std::string> listBackups() {
    std::vector<std::string> names;
    BackupFailure failure;
    if (!openBackupFolder(false, failure)) return names;
    for (std::string& name : backupFolderNames())
        if (isBackupName(name)) names.push_back(std::move(name));
    std::sort(names.begin(), names.end());
    std::vector<std::string> paths;
    for (const std::string& name : names) paths.push_back(backupPath(name));
    return paths;
}

bool readBackup(const std::string& path, Backup& backup, BackupFileProblem& problem) {
    std::vector<uint8_t> bytes;
    FileKey key;
    // One byte more than a backup: a longer file is no backup.
    return readFile(path, false, FileSize + 1, bytes, key, problem) &&
           decodeBackup(bytes, backup, problem);
}
