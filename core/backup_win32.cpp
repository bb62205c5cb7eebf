#include "core/backup.h"

#include <cstdlib>

std::string backupFolder() {
    const char* local = std::getenv("LOCALAPPDATA");
    return std::string(local && *local ? local : ".") + "\\VELTRA";
}
