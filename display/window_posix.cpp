// runWithWindow on POSIX systems: the SDL window when a display can be opened,
// else the terminal on standard input and output.
#include "display/window_posix.h"
#include "display/window.h"

#include <unistd.h>

int runWithWindow(TextScreen& screen, const std::string& programPath,
                  const std::function<void(TextScreen&)>& logic) {
    int exitCode = 0;
    if (runSdlWindow(screen, programTitle(programPath), logic, exitCode)) return exitCode;
    return runTerminalWindow(screen, STDIN_FILENO, STDOUT_FILENO, logic);
}
