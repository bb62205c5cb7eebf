#include "core/backup.h"

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;

std::string backupFolder() {
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state)
        return std::string(state) + "/veltra";
    if (::geteuid() == 0) return "/var/backups/veltra";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : ".") + "/.local/state/veltra";
}

std::string backupPath(const std::string& name) {
    return backupFolder() + "/" + name;
}

bool makeBackupFolder() {
    std::error_code failed;
    fs::create_directories(backupFolder(), failed);
    return !failed;
}

std::vector<std::string> backupFolderNames() {
    std::vector<std::string> names;
    std::error_code failed;
    for (const fs::directory_entry& entry : fs::directory_iterator(backupFolder(), failed))
        names.push_back(entry.path().filename().string());
    return names;
}
