// Sector access on Windows: \\.\PhysicalDriveN opened for reading and writing
// with read and write sharing, one 512-byte transfer at LBA * 512, closed
// again. lastError is whatever the system reports after the close; closing the
// invalid handle of a failed open leaves 6 (ERROR_INVALID_HANDLE).
#include "core/sector_access.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>

namespace {

constexpr DWORD SectorSize = 512;
constexpr int MaxDrives = 4;

// Why the last open of each drive failed (GetLastError right after CreateFileW).
DWORD openErrors[MaxDrives] = {};
// Named mutexes that hold each drive's lock.
HANDLE locks[MaxDrives] = {};

enum class Direction { Read, Write };

uint32_t transfer(int drive, uint64_t lba, Direction direction, SectorBuffer& data) {
    const std::wstring name = L"\\\\.\\PhysicalDrive" + std::to_wstring(drive);
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
        return " Drive " + std::to_string(drive) + " (\\\\.\\PhysicalDrive" +
               std::to_string(drive) + ") bestaat niet.";
    return " Niet voldoende rechten. Start met Administrator-rechten.";
}
