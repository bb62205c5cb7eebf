#include "core/backup.h"

#include "core/sector_access.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <sys/stat.h>

// Files through <cstdio> and the platform's part (backup_posix.cpp,
// backup_win32.cpp), not through streams or std::filesystem, which would add
// a megabyte of locale support to the Windows program.

namespace {

// A backup file: a 32-byte header, then LBA 0-4.
//   0..15  "VELTRA-BACKUP-1\n"
//   16..19 disk signature, 20..27 time (seconds since 1970), 28..31 CRC-32
//   of the sectors; all little-endian.
constexpr char Magic[] = "VELTRA-BACKUP-1\n";
constexpr size_t HeaderSize = 32;
constexpr size_t FileSize = HeaderSize + BackupSectorCount * 512;

uint32_t crc32(const uint8_t* data, size_t size) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void putLe(std::vector<uint8_t>& out, size_t at, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

uint64_t getLe(const std::vector<uint8_t>& in, size_t at, int bytes) {
    uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) value |= static_cast<uint64_t>(in[at + i]) << (8 * i);
    return value;
}

std::string hex8(uint32_t value) {
    char text[9];
    std::snprintf(text, sizeof text, "%08x", value);
    return text;
}

// veltra-<signature>-<yyyymmdd-hhmmss>-<nnn>.bak: names sort by disk, then
// time, then the count within one second.
std::string fileName(uint32_t signature, std::time_t when, int n) {
    char stamp[48];
    const size_t length =
        std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", std::localtime(&when));
    std::snprintf(stamp + length, sizeof stamp - length, "-%03d", n);
    return "veltra-" + hex8(signature) + "-" + stamp + ".bak";
}

// The names of the backup files in backupFolder(), oldest first.
std::vector<std::string> backupNames() {
    std::vector<std::string> names;
    for (std::string& name : backupFolderNames())
        if (name.starts_with("veltra-") && name.ends_with(".bak")) names.push_back(std::move(name));
    std::sort(names.begin(), names.end());
    return names;
}

// Removes the oldest backups of this disk beyond BackupsKept.
void pruneBackups(uint32_t signature) {
    const std::string prefix = "veltra-" + hex8(signature) + "-";
    std::vector<std::string> own;
    for (const std::string& name : backupNames())
        if (name.starts_with(prefix)) own.push_back(name);
    for (size_t i = 0; i + BackupsKept < own.size(); ++i) std::remove(backupPath(own[i]).c_str());
}

bool exists(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0;
}

} // namespace

uint32_t diskSignature(const SectorBuffer& lba0) {
    return static_cast<uint32_t>(lba0[440]) | static_cast<uint32_t>(lba0[441]) << 8 |
           static_cast<uint32_t>(lba0[442]) << 16 | static_cast<uint32_t>(lba0[443]) << 24;
}

bool backupDrive(int drive, std::string& file, std::string& error) {
    std::vector<uint8_t> bytes(FileSize, 0);
    for (int lba = 0; lba < BackupSectorCount; ++lba) {
        SectorBuffer sector{};
        if (peekSector(drive, lba, sector) != 0) {
            error = "LBA " + std::to_string(lba) + " van drive " + std::to_string(drive) +
                    " is niet te lezen";
            return false;
        }
        std::copy(sector.begin(), sector.end(), bytes.begin() + HeaderSize + 512 * lba);
    }
    SectorBuffer lba0{};
    std::copy_n(bytes.begin() + HeaderSize, 512, lba0.begin());
    const uint32_t signature = diskSignature(lba0);
    const std::time_t now = std::time(nullptr);
    std::copy_n(Magic, 16, bytes.begin());
    putLe(bytes, 16, signature, 4);
    putLe(bytes, 20, static_cast<uint64_t>(now), 8);
    putLe(bytes, 28, crc32(bytes.data() + HeaderSize, FileSize - HeaderSize), 4);

    if (!makeBackupFolder()) {
        error = "map " + backupFolder() + " kan niet gemaakt worden";
        return false;
    }
    std::string target;
    for (int n = 1; target.empty() || exists(target); ++n)
        target = backupPath(fileName(signature, now, n));
    // Written whole under another name first, so no half backup ever carries the name.
    const std::string partial = target + ".tmp";
    std::FILE* out = std::fopen(partial.c_str(), "wb");
    bool written = out && std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    if (out && std::fclose(out) != 0) written = false;
    if (!written) {
        std::remove(partial.c_str());
        error = partial + " kan niet geschreven worden";
        return false;
    }
    if (std::rename(partial.c_str(), target.c_str()) != 0) {
        std::remove(partial.c_str());
        error = target + " kan niet geschreven worden";
        return false;
    }
    file = target;
    pruneBackups(signature);
    return true;
}

std::vector<std::string> listBackups() {
    std::vector<std::string> paths;
    for (const std::string& name : backupNames()) paths.push_back(backupPath(name));
    return paths;
}

bool readBackup(const std::string& path, BackupSectors& sectors, uint32_t& signature,
                std::string& error) {
    std::FILE* in = std::fopen(path.c_str(), "rb");
    if (!in) {
        error = path + " is niet te lezen.";
        return false;
    }
    std::vector<uint8_t> bytes(FileSize + 1); // one more: a longer file is no backup
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), in));
    std::fclose(in);
    if (bytes.size() < HeaderSize || !std::equal(Magic, Magic + 16, bytes.begin())) {
        error = path + " is geen back-up van VELTRA.";
        return false;
    }
    if (bytes.size() != FileSize ||
        getLe(bytes, 28, 4) != crc32(bytes.data() + HeaderSize, FileSize - HeaderSize)) {
        error = path + " is beschadigd of onvolledig.";
        return false;
    }
    signature = static_cast<uint32_t>(getLe(bytes, 16, 4));
    for (int lba = 0; lba < BackupSectorCount; ++lba)
        std::copy_n(bytes.begin() + HeaderSize + 512 * lba, 512, sectors[lba].begin());
    return true;
}
