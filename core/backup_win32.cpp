// The backup folder on Windows: %LOCALAPPDATA%\VELTRA, the user's own.
#include "core/backup.h"

#include <cstdlib>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace {

NewFile failed(BackupFailure& failure, BackupFailure::Kind kind, const std::string& path,
               DWORD error) {
    failure = {kind, path, static_cast<int>(error)};
    return NewFile::Failed;
}

bool isOwnTemporary(const std::string& name, DWORD& pid) {
    if (name.rfind("veltra-", 0) != 0 || name.size() < 9 ||
        name.compare(name.size() - 4, 4, ".tmp") != 0)
        return false;
    const size_t dot = name.rfind('.', name.size() - 5);
    if (dot == std::string::npos || dot < 4 || name.compare(dot - 4, 4, ".bak") != 0) return false;
    pid = static_cast<DWORD>(std::strtoul(name.c_str() + dot + 1, nullptr, 10));
    return pid != 0;
}

} // namespace

std::string backupFolder() {
    const char* local = std::getenv("LOCALAPPDATA");
    return std::string(local && *local ? local : ".") + "\\VELTRA";
}

std::string backupPath(const std::string& name) {
    return backupFolder() + "\\" + name;
}

bool openBackupFolder(bool create, BackupFailure& failure) {
    const std::string folder = backupFolder();
    if (create) {
        // Each parent in turn; those that exist already, or cannot be made,
        // are looked at no further: the folder itself decides.
        for (size_t at = folder.find_first_of("\\/", 1); at != std::string::npos;
             at = folder.find_first_of("\\/", at + 1))
            CreateDirectoryA(folder.substr(0, at).c_str(), nullptr);
        CreateDirectoryA(folder.c_str(), nullptr);
    }
    const DWORD attributes = GetFileAttributesA(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        failure = {BackupFailure::Kind::CannotCreate, folder, static_cast<int>(GetLastError())};
        return false;
    }
    return true;
}

void closeBackupFolder() {}

NewFile writeNewBackupFile(const std::string& name, const std::vector<uint8_t>& bytes,
                           BackupFailure& failure) {
    const std::string temporary =
        backupPath(name + "." + std::to_string(GetCurrentProcessId()) + ".tmp");
    HANDLE file = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return failed(failure, BackupFailure::Kind::CannotCreate, temporary, GetLastError());
    }
    DWORD written = 0;
    const bool ok =
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
        written == bytes.size() && FlushFileBuffers(file);
    const DWORD writeError = GetLastError();
    CloseHandle(file);
    if (!ok) {
        DeleteFileA(temporary.c_str());
        return failed(failure, BackupFailure::Kind::CannotWrite, temporary, writeError);
    }
    // Without MOVEFILE_REPLACE_EXISTING a file of that name is never replaced.
    if (!MoveFileExA(temporary.c_str(), backupPath(name).c_str(), MOVEFILE_WRITE_THROUGH)) {
        const DWORD moveError = GetLastError();
        DeleteFileA(temporary.c_str());
        if (moveError == ERROR_ALREADY_EXISTS || moveError == ERROR_FILE_EXISTS)
            return NewFile::Exists;
        return failed(failure, BackupFailure::Kind::CannotCreate, backupPath(name), moveError);
    }
    return NewFile::Written;
}

std::vector<std::string> backupFolderNames() {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((backupFolder() + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do names.push_back(found.cFileName);
    while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

bool readFile(const std::string& path, bool inFolder, size_t limit, std::vector<uint8_t>& bytes,
              FileKey& key, BackupFileProblem& problem) {
    const std::string full = inFolder ? backupPath(path) : path;
    HANDLE file = CreateFileA(full.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        problem = BackupFileProblem::Unreadable;
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        CloseHandle(file);
        problem = BackupFileProblem::NotRegular;
        return false;
    }
    key = {info.dwVolumeSerialNumber,
           (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
    bytes.assign(limit, 0);
    DWORD count = 0;
    if (limit > 0 && !ReadFile(file, bytes.data(), static_cast<DWORD>(limit), &count, nullptr))
        count = 0;
    CloseHandle(file);
    bytes.resize(count);
    return true;
}

void removeBackupFile(const std::string& name) {
    DeleteFileA(backupPath(name).c_str());
}

void removeStaleTemporaries() {
    for (const std::string& name : backupFolderNames()) {
        DWORD pid = 0;
        if (!isOwnTemporary(name, pid)) continue;
        HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
        if (process) {
            const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
            CloseHandle(process);
            if (running) continue;
        } else if (GetLastError() != ERROR_INVALID_PARAMETER) {
            continue; // there may be such a process: leave its file alone
        }
        removeBackupFile(name);
    }
}
