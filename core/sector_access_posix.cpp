// Sector access on POSIX systems: each drive's file or block device is opened
// once, checked on its descriptor and kept open; every transfer moves one
// 512-byte sector at LBA * 512 through that descriptor. 64-bit file positions
// also on 32-bit systems.
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
#include <vector>

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

// One drive of the run: opened once, on first use, and kept open. `name` is
// the path it was opened by; a run names its drives once, so the descriptor
// is never exchanged for another file of that name.
struct OpenDrive {
    std::string name;
    bool tried = false;
    int fd = -1;
    OpenProblem problem = OpenProblem::None;
    int error = 0;
    uint32_t sectorSize = 0;
    std::string wholeDisk; // for a partition: the disk it belongs to
};
std::array<OpenDrive, MaxDrives> drives;

// Drives 0 to 3 exist; any other number names none.
bool isDriveNumber(int drive) {
    return drive >= 0 && drive < MaxDrives;
}
bool readOnlyRun = false;
// Drive names from the command line; used in place of VELTRA_DRIVES when set.
std::vector<std::string> commandLineNames;
bool namesGiven = false;

// The whole disk a partition device belongs to ("sda" for sda1), from
// /sys/dev/block/M:m; empty when the device is no partition.
std::string wholeDiskOf(dev_t device) {
    const std::string sys =
        "/sys/dev/block/" + std::to_string(major(device)) + ":" + std::to_string(minor(device));
    struct stat partition {};
    if (::stat((sys + "/partition").c_str(), &partition) != 0) return {};
    char whole[4096];
    const ssize_t n = ::readlink(sys.c_str(), whole, sizeof whole - 1);
    std::string parent = n > 0 ? std::string(whole, static_cast<size_t>(n)) : "";
    parent = parent.substr(0, parent.rfind('/'));
    parent = parent.substr(parent.rfind('/') + 1);
    return parent.empty() ? "?" : parent;
}

OpenProblem problemOf(int error) {
    switch (error) {
    case ENOENT:
    case ENOTDIR:
    case ELOOP:
        return OpenProblem::Missing;
    case EISDIR:
        return OpenProblem::Folder;
    case ENODEV:
    case ENXIO:
        return OpenProblem::NotADisk;
    case EROFS:
        return OpenProblem::ReadOnly;
    case EACCES:
    case EPERM:
        // Root is refused only what nobody may write: an immutable file, a
        // write-protected disk.
        return ::geteuid() == 0 ? OpenProblem::ReadOnly : OpenProblem::NoRights;
    default:
        return OpenProblem::Other;
    }
}

// Opens the drive: only a regular file (an image) or a whole block device,
// never a folder, a pipe, a terminal or a partition. The checks look at the
// descriptor that every later transfer uses, not at the name again.
void openOnce(OpenDrive& d, const std::string& path) {
    d = {};
    d.name = path;
    d.tried = true;
    const int fd =
        ::open(path.c_str(), (readOnlyRun ? O_RDONLY : O_RDWR) | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        d.error = errno;
        d.problem = problemOf(errno);
        return;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        d.error = errno;
        d.problem = OpenProblem::Other;
    } else if (S_ISDIR(info.st_mode)) {
        d.problem = OpenProblem::Folder;
    } else if (!S_ISREG(info.st_mode) && !S_ISBLK(info.st_mode)) {
        d.problem = OpenProblem::NotADisk;
    } else if (S_ISBLK(info.st_mode)) {
        d.wholeDisk = wholeDiskOf(info.st_rdev);
        if (!d.wholeDisk.empty()) d.problem = OpenProblem::Partition;
    }
    if (d.problem != OpenProblem::None) {
        ::close(fd);
        return;
    }
    // Transfers wait for the disk like any other program's.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    int size = SectorSize;
    if (S_ISBLK(info.st_mode) && ::ioctl(fd, BLKSSZGET, &size) != 0) size = 0;
    d.sectorSize = static_cast<uint32_t>(size);
    d.fd = fd;
}

void closeOne(OpenDrive& d) {
    if (d.fd >= 0) ::close(d.fd); // gives back a lock held on it too
    d = {};
}

// The descriptor of drive N, opened on first use; -1 when it cannot be had.
int driveFd(int drive) {
    if (!isDriveNumber(drive)) return -1;
    OpenDrive& d = drives[drive];
    const std::optional<std::string> path = drivePath(drive);
    if (!path) {
        closeOne(d);
        d.tried = true;
        d.problem = OpenProblem::NotNamed;
        return -1;
    }
    if (!d.tried || d.name != *path) {
        closeOne(d);
        openOnce(d, *path);
    }
    return d.fd;
}

// Moves `count` sectors through the drive's descriptor in one transfer
// (and, for a write, one sync). `data` is read into only when every sector
// arrived, so a failed read leaves the caller's sectors as they were.
IoResult transfer(int drive, uint64_t lba, Direction direction, uint8_t* data, int count) {
    const int fd = driveFd(drive);
    if (fd < 0) return {ErrorInvalidHandle};
    const size_t size = static_cast<size_t>(count) * SectorSize;
    const off_t position = static_cast<off_t>(lba * SectorSize);
    std::vector<uint8_t> bytes(data, data + size);
    uint32_t result = 0;
    size_t done = 0;
    while (done < size) {
        const off_t at = position + static_cast<off_t>(done);
        ssize_t n = direction == Direction::Read
                        ? ::pread(fd, bytes.data() + done, size - done, at)
                        : ::pwrite(fd, bytes.data() + done, size - done, at);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            result = transferError(errno);
            break;
        }
        if (n == 0) { // end of the device: a short transfer
            result = EIO;
            break;
        }
        done += static_cast<size_t>(n);
    }
    if (result == 0 && direction == Direction::Write && ::fsync(fd) != 0)
        result = transferError(errno);
    if (result == 0 && direction == Direction::Read) std::copy(bytes.begin(), bytes.end(), data);
    return {result};
}

} // namespace

std::optional<std::string> driveFromList(const std::string& list, int drive) {
    if (!isDriveNumber(drive)) return std::nullopt;
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
    if (!isDriveNumber(drive)) return std::nullopt;
    if (namesGiven) {
        if (drive >= static_cast<int>(commandLineNames.size())) return std::nullopt;
        return commandLineNames[drive];
    }
    if (const char* list = std::getenv("VELTRA_DRIVES")) return driveFromList(list, drive);
    return std::nullopt;
}

IoResult readSectors(int drive, uint64_t lba, SectorBuffer* out, int count) {
    return transfer(drive, lba, Direction::Read, out->data(), count);
}

IoResult writeSectors(int drive, uint64_t lba, const SectorBuffer* data, int count) {
    // The bytes are only copied from.
    return transfer(drive, lba, Direction::Write, const_cast<uint8_t*>(data->data()), count);
}

void setDrivesReadOnly(bool readOnly) {
    if (readOnly != readOnlyRun) closeDrives();
    readOnlyRun = readOnly;
}

void closeDrives() {
    for (OpenDrive& d : drives) closeOne(d);
}

uint32_t openDrive(int drive) {
    return driveFd(drive) >= 0 ? 0 : ErrorInvalidHandle;
}

OpenProblem openProblem(int drive) {
    if (!isDriveNumber(drive)) return OpenProblem::NotNamed;
    return drives[drive].problem;
}

bool isNamingProblem(OpenProblem problem) {
    return problem == OpenProblem::Missing || problem == OpenProblem::Folder ||
           problem == OpenProblem::NotADisk || problem == OpenProblem::Partition;
}

uint32_t sectorSizeOf(int drive) {
    const int fd = driveFd(drive);
    return fd >= 0 ? drives[drive].sectorSize : 0;
}

// The lock lives on the drive's one descriptor: flock locks belong to an open
// file, so another program's descriptor of the same disk is refused.
bool lockDrive(int drive) {
    const int fd = driveFd(drive);
    // A drive that cannot be opened is not in use; its first transfer says why.
    if (fd < 0) return isDriveNumber(drive);
    return ::flock(fd, LOCK_EX | LOCK_NB) == 0;
}

void unlockDrive(int drive) {
    if (!isDriveNumber(drive) || drives[drive].fd < 0) return;
    ::flock(drives[drive].fd, LOCK_UN);
}

OpenFailure openFailure(int drive) {
    if (!isDriveNumber(drive)) return {OpenProblem::NotNamed, 0, {}, {}};
    const OpenDrive& d = drives[drive];
    return {d.problem, d.error, d.name, d.wholeDisk};
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

} // namespace

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

uint64_t driveSize(int drive) {
    const int fd = driveFd(drive);
    if (fd < 0) return 0;
    struct stat info {};
    uint64_t size = 0;
    if (::fstat(fd, &info) != 0) return 0;
    if (S_ISREG(info.st_mode)) size = static_cast<uint64_t>(info.st_size);
    if (S_ISBLK(info.st_mode) && ::ioctl(fd, BLKGETSIZE64, &size) != 0) size = 0;
    return size;
}
