// Sector access on POSIX systems: each call opens the drive's file or block
// device, moves one 512-byte sector at LBA * 512 and closes it again.
// 64-bit file positions also on 32-bit systems.
#ifndef _FILE_OFFSET_BITS
#define _FILE_OFFSET_BITS 64
#endif

#include "core/sector_access_posix.h"
#include "core/sector_access.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

constexpr int SectorSize = 512;
constexpr int MaxDrives = 4;

// A failure after the open must never read as "could not open".
uint32_t transferError(int error) {
    if (error == 0 || error == static_cast<int>(ErrorInvalidHandle)) return EIO;
    return static_cast<uint32_t>(error);
}

bool isWholeDiskName(const std::string& name) {
    // Floppy drives (fd) are never one of the BIOS's hard disks either.
    static const char* const skipped[] = {"loop", "ram", "zram", "sr", "md", "dm", "fd"};
    if (name.empty() || name[0] == '.') return false;
    for (const char* prefix : skipped)
        if (name.starts_with(prefix)) return false;
    return true;
}

enum class Direction { Read, Write };

// The last failed open of each drive: the path (empty when the drive names
// none) and errno, ENODEV for something that is neither a file nor a disk.
struct OpenFailure {
    std::string path;
    int error = 0;
};
std::array<OpenFailure, MaxDrives> openFailures;
// Drive names from the command line; used in place of VELTRA_DRIVES when set.
std::vector<std::string> commandLineNames;
bool namesGiven = false;
// The descriptors that hold each drive's lock, -1 for none.
std::array<int, MaxDrives> lockFds = {-1, -1, -1, -1};

// Opens the drive for reading and writing (or only reading): only a regular
// file (an image) or a block device, never a folder, a pipe or a terminal. -1
// on failure, which is kept for openFailureText.
int openDrive(int drive, int access = O_RDWR) {
    if (drive < 0 || drive >= MaxDrives) return -1;
    OpenFailure& failure = openFailures[drive];
    std::optional<std::string> path = drivePath(drive);
    failure = {path.value_or(""), ENOENT};
    if (!path) return -1;
    const int fd = ::open(path->c_str(), access | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        failure.error = errno;
        return -1;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !(S_ISREG(info.st_mode) || S_ISBLK(info.st_mode))) {
        ::close(fd);
        failure.error = ENODEV;
        return -1;
    }
    failure.error = 0;
    return fd;
}

// Opens, transfers one sector and closes. `data` is read into only when the
// whole sector arrived, so a failed read leaves the caller's buffer as it was.
uint32_t transfer(int drive, uint64_t lba, Direction direction, SectorBuffer& data) {
    const int fd = openDrive(drive);
    if (fd < 0) return ErrorInvalidHandle;

    const off_t position = static_cast<off_t>(lba * SectorSize);
    uint32_t result = 0;
    SectorBuffer sector = data;
    int done = 0;
    while (done < SectorSize) {
        ssize_t n = direction == Direction::Read
                        ? ::pread(fd, sector.data() + done, SectorSize - done, position + done)
                        : ::pwrite(fd, sector.data() + done, SectorSize - done, position + done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            result = transferError(errno);
            break;
        }
        if (n == 0) { // end of the device: a short transfer
            result = EIO;
            break;
        }
        done += static_cast<int>(n);
    }
    if (result == 0 && direction == Direction::Write && ::fsync(fd) != 0)
        result = transferError(errno);
    if (::close(fd) != 0 && result == 0) result = transferError(errno);
    if (result == 0 && direction == Direction::Read) data = sector;
    return result;
}

} // namespace

std::optional<std::string> driveFromList(const std::string& list, int drive) {
    if (drive < 0 || drive >= MaxDrives) return std::nullopt;
    size_t start = 0;
    for (int index = 0;; ++index) {
        size_t end = list.find(':', start);
        if (index == drive) {
            std::string entry = list.substr(start, end == std::string::npos ? end : end - start);
            if (entry.empty()) return std::nullopt;
            return entry;
        }
        if (end == std::string::npos) return std::nullopt;
        start = end + 1;
    }
}

std::vector<std::string> listWholeDisks(const std::string& sysBlockDir) {
    std::vector<std::string> disks;
    DIR* dir = ::opendir(sysBlockDir.c_str());
    if (!dir) return disks;
    while (dirent* entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        if (!isWholeDiskName(name)) continue;
        struct stat info {};
        if (::stat((sysBlockDir + "/" + name + "/device").c_str(), &info) != 0) continue;
        disks.push_back(name);
    }
    ::closedir(dir);
    std::sort(disks.begin(), disks.end());
    return disks;
}

// Drives are named by --drive, else by VELTRA_DRIVES; the program never guesses
// which of the machine's disks the firmware starts.
std::optional<std::string> drivePath(int drive) {
    if (drive < 0 || drive >= MaxDrives) return std::nullopt;
    if (namesGiven) {
        if (drive >= static_cast<int>(commandLineNames.size())) return std::nullopt;
        return commandLineNames[drive];
    }
    if (const char* list = std::getenv("VELTRA_DRIVES")) return driveFromList(list, drive);
    return std::nullopt;
}

void readSector(InstallerState& state, int drive, uint64_t lba) {
    state.lastError = transfer(drive, lba, Direction::Read, state.ioBuffer);
}

void readSavedMbr(InstallerState& state, int drive, uint64_t lba) {
    state.lastError = transfer(drive, lba, Direction::Read, state.savedMbrBuffer);
}

void writeSector(InstallerState& state, int drive, uint64_t lba) {
    state.lastError = transfer(drive, lba, Direction::Write, state.ioBuffer);
}

bool lockDrive(int drive) {
    if (drive < 0 || drive >= MaxDrives) return false;
    if (lockFds[drive] >= 0) return true;
    const int fd = openDrive(drive);
    // A drive that cannot be opened is not in use; its first transfer says why.
    if (fd < 0) return true;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    lockFds[drive] = fd;
    return true;
}

void unlockDrive(int drive) {
    if (drive < 0 || drive >= MaxDrives || lockFds[drive] < 0) return;
    ::close(lockFds[drive]); // closing the last descriptor gives the lock back
    lockFds[drive] = -1;
}

std::string openFailureText(int drive) {
    const std::string number = std::to_string(drive);
    if (drive < 0 || drive >= MaxDrives || openFailures[drive].path.empty())
        return " Drive " + number + " is niet gevonden.";
    const OpenFailure& failure = openFailures[drive];
    const std::string named = " Drive " + number + " (" + failure.path + ")";
    switch (failure.error) {
    case EACCES:
    case EPERM:
    case EROFS:
        return " Niet voldoende rechten. Start als root, bijvoorbeeld met sudo.";
    case ENOENT:
    case ENOTDIR:
        return named + " bestaat niet.";
    case EISDIR:
        return named + " is een map, geen schijf.";
    case ENODEV:
    case ENXIO:
        return named + " is geen schijf en geen schijfbestand.";
    default:
        return named + " kan niet geopend worden (fout " + std::to_string(failure.error) + ").";
    }
}

void setDriveNames(const std::vector<std::string>& names) {
    commandLineNames = names;
    namesGiven = !names.empty();
}

bool drivesNamed() {
    return namesGiven || std::getenv("VELTRA_DRIVES") != nullptr;
}

std::string driveName(int drive) {
    return drivePath(drive).value_or("");
}

namespace {

std::string firstLineOf(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
}

std::string sizeText(uint64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f GB", static_cast<double>(bytes) / 1e9);
    return text;
}

} // namespace

std::string checkDriveName(const std::string& name) {
    struct stat info {};
    if (::stat(name.c_str(), &info) != 0) return name + " bestaat niet.";
    if (S_ISDIR(info.st_mode)) return name + " is een map, geen schijf.";
    if (S_ISREG(info.st_mode)) return {};
    if (!S_ISBLK(info.st_mode)) return name + " is geen schijf en geen schijfbestand.";
    const std::string sys = "/sys/dev/block/" + std::to_string(major(info.st_rdev)) + ":" +
                            std::to_string(minor(info.st_rdev));
    struct stat partition {};
    if (::stat((sys + "/partition").c_str(), &partition) == 0) {
        char whole[4096];
        const ssize_t n = ::readlink(sys.c_str(), whole, sizeof whole - 1);
        std::string parent = n > 0 ? std::string(whole, n) : "";
        parent = parent.substr(0, parent.rfind('/'));
        parent = parent.substr(parent.rfind('/') + 1);
        return name + " is een partitie, geen hele schijf; geef de schijf op: /dev/" + parent + ".";
    }
    return {};
}

std::vector<WholeDisk> wholeDisksOfMachine() {
    std::vector<WholeDisk> disks;
    for (const std::string& disk : listWholeDisks("/sys/block")) {
        const std::string sectors = firstLineOf("/sys/block/" + disk + "/size");
        const uint64_t bytes = sectors.empty() ? 0 : std::stoull(sectors) * 512;
        disks.push_back(
            {"/dev/" + disk, bytes, firstLineOf("/sys/block/" + disk + "/device/model")});
    }
    return disks;
}

std::vector<std::string> describeWholeDisks() {
    std::vector<std::string> lines;
    for (const WholeDisk& disk : wholeDisksOfMachine())
        lines.push_back(disk.path + "  " + sizeText(disk.bytes) +
                        (disk.model.empty() ? "" : "  " + disk.model));
    return lines;
}

uint32_t peekSector(int drive, uint64_t lba, SectorBuffer& out) {
    const int fd = openDrive(drive, O_RDONLY);
    if (fd < 0) return ErrorInvalidHandle;
    SectorBuffer sector{};
    const ssize_t n = ::pread(fd, sector.data(), SectorSize, static_cast<off_t>(lba * SectorSize));
    const int error = n < 0 ? errno : 0;
    ::close(fd);
    if (n != SectorSize) return transferError(error);
    out = sector;
    return 0;
}

uint64_t driveSize(int drive) {
    const int fd = openDrive(drive, O_RDONLY);
    if (fd < 0) return 0;
    struct stat info {};
    uint64_t size = 0;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode))
        size = static_cast<uint64_t>(info.st_size);
    if (S_ISBLK(info.st_mode) && ::ioctl(fd, BLKGETSIZE64, &size) != 0) size = 0;
    ::close(fd);
    return size;
}
