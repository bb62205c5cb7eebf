// runWithWindow on POSIX systems: the SDL window when a display can be opened,
// else the terminal on standard input and output; and the wake-up pipe of both.
#include "display/window_posix.h"
#include "display/window.h"

#include <fcntl.h>
#include <unistd.h>

std::array<int, 2> openWakePipe() {
    int fds[2];
    if (::pipe(fds) != 0) return {-1, -1};
    for (int fd : fds) {
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
        fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    return {fds[0], fds[1]};
}

void drainWakePipe(int readFd) {
    char buffer[64];
    while (::read(readFd, buffer, sizeof buffer) > 0) {
    }
}

int runWithWindow(TextScreen& screen, const std::string& programPath,
                  const std::function<void(TextScreen&)>& logic) {
    int exitCode = 0;
    if (runSdlWindow(screen, programTitle(programPath), logic, exitCode)) return exitCode;
    return runTerminalWindow(screen, STDIN_FILENO, STDOUT_FILENO, logic);
}
