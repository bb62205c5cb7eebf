// Sector access on Windows: \\.\PhysicalDriveN is opened once, for reading and
// writing with read and write sharing, and kept open; each transfer moves one
// 512-byte sector at LBA * 512 through that handle. A failed open reads as 6
// (ERROR_INVALID_HANDLE).
#include "core/sector_access.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <winioctl.h>

#include <algorithm>
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
std::string givenNames[MaxDrives];

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

// Each drive is opened once, on first use, and kept open: every transfer of
// the run goes through that one handle.
struct OpenDrive {
    bool tried = false;
    HANDLE handle = INVALID_HANDLE_VALUE;
    DWORD sectorSize = 0;
};
OpenDrive drives[MaxDrives];
bool readOnlyRun = false;

HANDLE driveHandle(int drive) {
    if (drive < 0 || drive >= MaxDrives) return INVALID_HANDLE_VALUE;
    OpenDrive& d = drives[drive];
    if (d.tried) return d.handle;
    d.tried = true;
    if (numbers[drive] < 0) {
        openErrors[drive] = ERROR_INVALID_NAME;
        return d.handle;
    }
    const DWORD access = readOnlyRun ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
    d.handle = CreateFileW(deviceName(drive).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (d.handle == INVALID_HANDLE_VALUE) {
        openErrors[drive] = GetLastError();
        return d.handle;
    }
    openErrors[drive] = 0;
    DISK_GEOMETRY_EX geometry{};
    DWORD returned = 0;
    d.sectorSize = SectorSize; // an image file (as under wine) has no geometry
    if (DeviceIoControl(d.handle, IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, nullptr, 0, &geometry,
                        sizeof geometry, &returned, nullptr))
        d.sectorSize = geometry.Geometry.BytesPerSector;
    return d.handle;
}

// Moves `count` sectors in one transfer through the drive's handle (and, for
// a write, flushes it to the disk). `data` is read into only when every
// sector arrived.
uint32_t transfer(int drive, uint64_t lba, Direction direction, uint8_t* data, int count) {
    HANDLE handle = driveHandle(drive);
    if (handle == INVALID_HANDLE_VALUE) return ErrorInvalidHandle;
    const DWORD size = static_cast<DWORD>(count) * SectorSize;
    // The 64-bit byte position: low 32 bits as the distance, the high part
    // through the pointer argument.
    const uint64_t position = lba * SectorSize;
    LONG high = static_cast<LONG>(position >> 32);
    SetLastError(0);
    DWORD done = 0;
    bool ok = SetFilePointer(handle, static_cast<LONG>(position & 0xFFFFFFFFu), &high,
                             FILE_BEGIN) != INVALID_SET_FILE_POINTER ||
              GetLastError() == NO_ERROR;
    if (ok && direction == Direction::Read) {
        std::vector<uint8_t> bytes(data, data + size);
        ok = ReadFile(handle, bytes.data(), size, &done, nullptr);
        if (ok && done == size) std::copy(bytes.begin(), bytes.end(), data);
    } else if (ok) {
        ok = WriteFile(handle, data, size, &done, nullptr) && done == size &&
             FlushFileBuffers(handle);
    }
    const uint32_t error = ok ? 0 : GetLastError();
    // Only a failed open may read as 6, and a short transfer is a failure.
    if (error == ErrorInvalidHandle) return ERROR_GEN_FAILURE;
    if (error == 0 && done != size)
        return direction == Direction::Read ? ERROR_HANDLE_EOF : ERROR_WRITE_FAULT;
    return error;
}

} // namespace

IoResult readSectors(int drive, uint64_t lba, SectorBuffer* out, int count) {
    return {transfer(drive, lba, Direction::Read, out->data(), count)};
}

IoResult writeSectors(int drive, uint64_t lba, const SectorBuffer* data, int count) {
    // The bytes are only copied from.
    return {transfer(drive, lba, Direction::Write, const_cast<uint8_t*>(data->data()), count)};
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

OpenFailure openFailure(int drive) {
    return {openProblem(drive),
            drive >= 0 && drive < MaxDrives ? static_cast<int>(openErrors[drive]) : 0,
            drive >= 0 && drive < MaxDrives && numbers[drive] < 0 ? givenNames[drive]
                                                                  : driveName(drive),
            {}};
}

void setDriveNames(const std::vector<std::string>& names) {
    closeDrives();
    for (int drive = 0; drive < MaxDrives; ++drive) {
        named[drive] = drive < static_cast<int>(names.size());
        numbers[drive] = named[drive] ? diskNumber(names[drive]) : drive;
        givenNames[drive] = named[drive] ? names[drive] : std::string();
    }
}

bool drivesNamed() {
    return true;
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

uint64_t driveSize(int drive) {
    HANDLE handle = driveHandle(drive);
    if (handle == INVALID_HANDLE_VALUE) return 0;
    GET_LENGTH_INFORMATION length{};
    DWORD returned = 0;
    if (DeviceIoControl(handle, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length, sizeof length,
                        &returned, nullptr))
        return static_cast<uint64_t>(length.Length.QuadPart);
    if (LARGE_INTEGER fileSize{}; GetFileSizeEx(handle, &fileSize))
        return static_cast<uint64_t>(fileSize.QuadPart);
    return 0;
}

void setDrivesReadOnly(bool readOnly) {
    if (readOnly != readOnlyRun) closeDrives();
    readOnlyRun = readOnly;
}

void closeDrives() {
    for (OpenDrive& d : drives) {
        if (d.handle != INVALID_HANDLE_VALUE) CloseHandle(d.handle);
        d = {};
    }
}

uint32_t openDrive(int drive) {
    return driveHandle(drive) != INVALID_HANDLE_VALUE ? 0 : ErrorInvalidHandle;
}

OpenProblem openProblem(int drive) {
    if (drive < 0 || drive >= MaxDrives) return OpenProblem::NotNamed;
    if (!drives[drive].tried || drives[drive].handle != INVALID_HANDLE_VALUE)
        return OpenProblem::None;
    switch (openErrors[drive]) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return OpenProblem::Missing;
    case ERROR_ACCESS_DENIED:
        return OpenProblem::NoRights;
    case ERROR_WRITE_PROTECT:
        return OpenProblem::ReadOnly;
    case ERROR_INVALID_NAME:
        return OpenProblem::NotADisk;
    default:
        return OpenProblem::Other;
    }
}

bool isNamingProblem(OpenProblem problem) {
    // A --drive that is no number and no \\.\PhysicalDriveN; a missing
    // disk is the main loop's to report, as before.
    return problem == OpenProblem::NotADisk;
}

uint32_t sectorSizeOf(int drive) {
    return driveHandle(drive) != INVALID_HANDLE_VALUE ? drives[drive].sectorSize : 0;
}
