// Sector access on Windows: \\.\PhysicalDriveN opened for reading and writing
// with read and write sharing, one 512-byte transfer at LBA * 512, closed
// again. lastError is whatever the system reports after the close; closing the
// invalid handle of a failed open leaves 6 (ERROR_INVALID_HANDLE).
#include "core/sector_access.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <winioctl.h>

#include <string>
#include <vector>

namespace {

constexpr DWORD SectorSize = 512;
constexpr int MaxDrives = 4;

// Why the last open of each drive failed (GetLastError right after CreateFileW).
DWORD openErrors[MaxDrives] = {};
// Named mutexes that hold each drive's lock.
HANDLE locks[MaxDrives] = {};
// Drive N opens \\.\PhysicalDrive<numbers[N]>; --drive may name others.
int numbers[MaxDrives] = {0, 1, 2, 3};
// Drives named with --drive; the others are the machine's first four disks.
bool named[MaxDrives] = {};

// The disk number a --drive name stands for: "2" or "\\.\PhysicalDrive2"; -1 for none.
int diskNumber(const std::string& name) {
    std::string digits = name;
    const std::string prefix = "\\\\.\\PhysicalDrive";
    if (digits.size() > prefix.size() &&
        _strnicmp(digits.c_str(), prefix.c_str(), prefix.size()) == 0)
        digits = digits.substr(prefix.size());
    if (digits.empty() || digits.size() > 3 ||
        digits.find_first_not_of("0123456789") != std::string::npos)
        return -1;
    return std::stoi(digits);
}

std::wstring deviceName(int drive) {
    return L"\\\\.\\PhysicalDrive" + std::to_wstring(numbers[drive]);
}

// Asks for no access, so it needs no rights: false only when there is no such disk.
bool diskExists(int drive) {
    HANDLE handle = CreateFileW(deviceName(drive).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
        return true;
    }
    const DWORD error = GetLastError();
    return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}

enum class Direction { Read, Write };

uint32_t transfer(int drive, uint64_t lba, Direction direction, SectorBuffer& data) {
    if (drive < 0 || drive >= MaxDrives) return ErrorInvalidHandle;
    const std::wstring name = deviceName(drive);
    const uint64_t position = lba * SectorSize;
    LONG high = static_cast<LONG>(position >> 32);

    HANDLE handle =
        CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE && drive >= 0 && drive < MaxDrives)
        openErrors[drive] = GetLastError();
    SetLastError(0);
    bool shortTransfer = false;
    if (handle != INVALID_HANDLE_VALUE) {
        SetFilePointer(handle, static_cast<LONG>(position & 0xFFFFFFFFu), &high, FILE_BEGIN);
        DWORD count = 0;
        if (direction == Direction::Read) {
            // Read into a copy, so that a failed read leaves the buffer as it was.
            SectorBuffer sector = data;
            if (ReadFile(handle, sector.data(), SectorSize, &count, nullptr)) {
                if (count == SectorSize)
                    data = sector;
                else
                    shortTransfer = true;
            }
        } else if (WriteFile(handle, data.data(), SectorSize, &count, nullptr)) {
            // The sector is on the disk, not in a cache, when the call returns.
            if (count == SectorSize)
                FlushFileBuffers(handle);
            else
                shortTransfer = true;
        }
    }
    CloseHandle(handle);
    uint32_t error = GetLastError();
    if (handle == INVALID_HANDLE_VALUE) return ErrorInvalidHandle;
    // Only a failed open may read as 6, and a short transfer is a failure.
    if (error == ErrorInvalidHandle) return ERROR_GEN_FAILURE;
    if (error == 0 && shortTransfer)
        return direction == Direction::Read ? ERROR_HANDLE_EOF : ERROR_WRITE_FAULT;
    return error;
}

} // namespace

void readSector(InstallerState& state, int drive, uint64_t lba) {
    state.lastError = transfer(drive, lba, Direction::Read, state.ioBuffer);
}

void readSavedMbr(InstallerState& state, int drive, uint64_t lba) {
    state.lastError = transfer(drive, lba, Direction::Read, state.savedMbrBuffer);
}

void writeSector(InstallerState& state, int drive, uint64_t lba) {
    state.lastError = transfer(drive, lba, Direction::Write, state.ioBuffer);
}

// One program at a time writes a drive: a mutex named after the drive, seen
// by every session of the machine.
bool lockDrive(int drive) {
    if (drive < 0 || drive >= MaxDrives) return false;
    if (locks[drive]) return true;
    const std::wstring name = L"Global\\VELTRA-PhysicalDrive" + std::to_wstring(drive);
    HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
    if (!mutex) return true; // no mutex to be had: the writes go on unguarded, as before
    const DWORD waited = WaitForSingleObject(mutex, 0);
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
        CloseHandle(mutex);
        return false;
    }
    locks[drive] = mutex;
    return true;
}

void unlockDrive(int drive) {
    if (drive < 0 || drive >= MaxDrives || !locks[drive]) return;
    ReleaseMutex(locks[drive]);
    CloseHandle(locks[drive]);
    locks[drive] = nullptr;
}

std::string openFailureText(int drive) {
    if (drive >= 0 && drive < MaxDrives &&
        (openErrors[drive] == ERROR_FILE_NOT_FOUND || openErrors[drive] == ERROR_PATH_NOT_FOUND))
        return " Drive " + std::to_string(drive) + " (" + driveName(drive) + ") bestaat niet.";
    return " Niet voldoende rechten. Start met Administrator-rechten.";
}

void setDriveNames(const std::vector<std::string>& names) {
    for (int drive = 0; drive < MaxDrives; ++drive) {
        named[drive] = drive < static_cast<int>(names.size());
        numbers[drive] = named[drive] ? diskNumber(names[drive]) : drive;
    }
}

bool drivesNamed() {
    return true;
}

std::string checkDriveName(const std::string& name) {
    if (diskNumber(name) < 0)
        return name + " is geen schijf: geef een nummer of \\\\.\\PhysicalDriveN op.";
    return {};
}

// Drive 0 always has its name; disks 1-3 that the machine lacks have none,
// unless --drive named them.
std::string driveName(int drive) {
    if (drive < 0 || drive >= MaxDrives) return {};
    if (drive > 0 && !named[drive] && !diskExists(drive)) return {};
    return "\\\\.\\PhysicalDrive" + std::to_string(numbers[drive]);
}

std::vector<WholeDisk> wholeDisksOfMachine() {
    return {};
}

std::vector<std::string> describeWholeDisks() {
    return {};
}

uint32_t peekSector(int drive, uint64_t lba, SectorBuffer& out) {
    if (drive < 0 || drive >= MaxDrives) return ErrorInvalidHandle;
    HANDLE handle =
        CreateFileW(deviceName(drive).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return ErrorInvalidHandle;
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(lba * SectorSize);
    SectorBuffer sector{};
    DWORD count = 0;
    uint32_t error = 0;
    if (!SetFilePointerEx(handle, position, nullptr, FILE_BEGIN) ||
        !ReadFile(handle, sector.data(), SectorSize, &count, nullptr))
        error = GetLastError();
    else if (count != SectorSize)
        error = ERROR_HANDLE_EOF;
    CloseHandle(handle);
    if (error == ErrorInvalidHandle) error = ERROR_GEN_FAILURE;
    if (error == 0) out = sector;
    return error;
}

uint64_t driveSize(int drive) {
    if (drive < 0 || drive >= MaxDrives) return 0;
    HANDLE handle =
        CreateFileW(deviceName(drive).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return 0;
    GET_LENGTH_INFORMATION length{};
    DWORD returned = 0;
    uint64_t size = 0;
    if (DeviceIoControl(handle, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length, sizeof length,
                        &returned, nullptr))
        size = static_cast<uint64_t>(length.Length.QuadPart);
    else if (LARGE_INTEGER fileSize{}; GetFileSizeEx(handle, &fileSize))
        size = static_cast<uint64_t>(fileSize.QuadPart);
    CloseHandle(handle);
    return size;
}
