#include "core/backup.h"

#include "core/sector_access.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

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

// veltra-<signature>-<yyyymmdd-hhmmss>-<n>.bak: names sort by disk, then time.
std::string fileName(uint32_t signature, std::time_t when, int n) {
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", std::localtime(&when));
    return "veltra-" + hex8(signature) + "-" + stamp + "-" + std::to_string(n) + ".bak";
}

// Removes the oldest backups of this disk beyond BackupsKept.
void pruneBackups(uint32_t signature) {
    const std::string prefix = "veltra-" + hex8(signature) + "-";
    std::vector<std::string> own;
    for (const std::string& path : listBackups())
        if (fs::path(path).filename().string().starts_with(prefix)) own.push_back(path);
    std::error_code ignored;
    for (size_t i = 0; i + BackupsKept < own.size(); ++i) fs::remove(own[i], ignored);
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

    const fs::path folder = backupFolder();
    std::error_code failed;
    fs::create_directories(folder, failed);
    if (failed) {
        error = "map " + folder.string() + " kan niet gemaakt worden";
        return false;
    }
    fs::path target;
    for (int n = 1; target.empty() || fs::exists(target); ++n)
        target = folder / fileName(signature, now, n);
    // Written whole under another name first, so no half backup ever carries the name.
    const fs::path partial = target.string() + ".tmp";
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (!out) {
            fs::remove(partial, failed);
            error = partial.string() + " kan niet geschreven worden";
            return false;
        }
    }
    fs::rename(partial, target, failed);
    if (failed) {
        error = target.string() + " kan niet geschreven worden";
        return false;
    }
    file = target.string();
    pruneBackups(signature);
    return true;
}

std::vector<std::string> listBackups() {
    std::vector<std::string> paths;
    std::error_code failed;
    for (const fs::directory_entry& entry : fs::directory_iterator(backupFolder(), failed)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with("veltra-") && name.ends_with(".bak"))
            paths.push_back(entry.path().string());
    }
    std::sort(paths.begin(), paths.end(), [](const std::string& a, const std::string& b) {
        return fs::path(a).filename() < fs::path(b).filename();
    });
    return paths;
}

bool readBackup(const std::string& path, BackupSectors& sectors, uint32_t& signature,
                std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + " is niet te lezen.";
        return false;
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
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
