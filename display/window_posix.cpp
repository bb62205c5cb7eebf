// runWithWindow on POSIX systems: the SDL window when a display can be opened,
// else the terminal on standard input and output; and the wake-up of both.
#include "display/window_posix.h"
#include "display/window.h"

#include <cstdint>
#include <fcntl.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/eventfd.h>
#endif

bool openWaker(LoopWaker& waker) {
#ifdef __linux__
    const int fd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (fd >= 0) {
        waker.readFd = waker.writeFd = fd;
        return true;
    }
#endif
    int fds[2];
    if (::pipe(fds) != 0) return false;
    for (int end : fds) {
        fcntl(end, F_SETFL, fcntl(end, F_GETFL) | O_NONBLOCK);
        fcntl(end, F_SETFD, FD_CLOEXEC);
    }
    waker.readFd = fds[0];
    waker.writeFd = fds[1];
    return true;
}

void closeWaker(LoopWaker& waker) {
    if (waker.writeFd >= 0 && waker.writeFd != waker.readFd) ::close(waker.writeFd);
    if (waker.readFd >= 0) ::close(waker.readFd);
    waker.readFd = waker.writeFd = -1;
}

void wakeLoopFromSignal(int writeFd) {
    // Eight bytes suit the eventfd and the pipe alike. Nothing to do when it
    // fails: a full pipe or an eventfd at its limit wakes the loop anyway.
    const uint64_t one = 1;
    if (writeFd >= 0 && ::write(writeFd, &one, sizeof one) < 0) return;
}

bool claimWakeUp(LoopWaker& waker) {
    std::lock_guard<std::mutex> hold(waker.lock);
    if (waker.sent) return false;
    waker.sent = true;
    return true;
}

void releaseWakeUp(LoopWaker& waker) {
    std::lock_guard<std::mutex> hold(waker.lock);
    waker.sent = false;
}

void wakeLoop(LoopWaker& waker) {
    if (waker.writeFd >= 0 && claimWakeUp(waker)) wakeLoopFromSignal(waker.writeFd);
}

void takeWakeUps(LoopWaker& waker) {
    uint64_t buffer[8];
    while (waker.readFd >= 0 && ::read(waker.readFd, buffer, sizeof buffer) > 0) {
    }
    releaseWakeUp(waker);
}

int runWithWindow(TextScreen& screen, const std::string& programPath,
                  const std::function<void(TextScreen&)>& logic, ScreenUse use) {
    int exitCode = 0;
    if (use == ScreenUse::Whole && runSdlWindow(screen, programTitle(programPath), logic, exitCode))
        return exitCode;
    return runTerminalWindow(screen, STDIN_FILENO, STDOUT_FILENO, logic, use);
}
