// runWithWindow on POSIX systems: the SDL window when a display can be opened,
// else the terminal on standard input and output.
#include "screens/window_posix.h"
#include "screens/window.h"

#include <unistd.h>

int runWithWindow(TextScreen& screen, const std::string& programPath,
                  const std::function<void(TextScreen&)>& logic) {
    int exitCode = 0;
    if (runSdlWindow(screen, programTitle(programPath), logic, exitCode)) return exitCode;
    return runTerminalWindow(screen, STDIN_FILENO, STDOUT_FILENO, logic);
}
