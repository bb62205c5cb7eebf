#include "core/backup.h"

#include <cstdlib>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

std::string backupFolder() {
    const char* local = std::getenv("LOCALAPPDATA");
    return std::string(local && *local ? local : ".") + "\\VELTRA";
}

std::string backupPath(const std::string& name) {
    return backupFolder() + "\\" + name;
}

bool makeBackupFolder() {
    const std::string folder = backupFolder();
    // Each parent in turn; those that exist already, or cannot be made, are
    // looked at no further: the folder itself decides.
    for (size_t at = folder.find_first_of("\\/", 1); at != std::string::npos;
         at = folder.find_first_of("\\/", at + 1))
        CreateDirectoryA(folder.substr(0, at).c_str(), nullptr);
    CreateDirectoryA(folder.c_str(), nullptr);
    const DWORD attributes = GetFileAttributesA(folder.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
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
