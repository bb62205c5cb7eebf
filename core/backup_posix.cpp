#include "core/backup.h"

#include <cstdlib>
#include <unistd.h>

std::string backupFolder() {
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state)
        return std::string(state) + "/veltra";
    if (::geteuid() == 0) return "/var/backups/veltra";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : ".") + "/.local/state/veltra";
}
