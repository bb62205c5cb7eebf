#include "installer/platform.h"

#include "core/write_sequence.h"
#include "display/window.h"
#include "display/window_posix.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int StopSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Ends the program as the signal would have, with the terminal put back.
void stopNow(int signal) {
    restoreTerminalForExit();
    std::signal(signal, SIG_DFL);
    ::raise(signal);
    _exit(128 + signal);
}

void onStopSignal(int signal) {
    requestStop(signal);
}

} // namespace

void prepareProcess() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1) continue;
        // open takes the lowest free descriptor: this one.
        const int opened = ::open("/dev/null", O_RDWR);
        if (opened >= 0 && opened != fd) ::close(opened);
    }

    std::signal(SIGPIPE, SIG_IGN);
    setStopAction(stopNow);
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : StopSignals) sigaddset(&action.sa_mask, signal);
    for (int signal : StopSignals) sigaction(signal, &action, nullptr);
}

bool plainOutputWanted() {
    return !::isatty(STDOUT_FILENO);
}

bool inputIsTerminal() {
    return ::isatty(STDIN_FILENO);
}

int runPlain(TextScreen& screen, const std::function<void(TextScreen&)>& logic) {
    const int nowhere = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    const int code = runTerminalWindow(screen, STDIN_FILENO, nowhere, logic);
    if (nowhere >= 0) ::close(nowhere);
    return code;
}

namespace {

bool displayNamed() {
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

} // namespace

int showCliText(const std::string& out, const std::string& err, int exitCode, bool bareStart) {
    // From a desktop menu nobody reads standard error: say it in the window.
    if (bareStart && !::isatty(STDIN_FILENO) && !::isatty(STDERR_FILENO) && displayNamed())
        return showTextInWindow(out + err, exitCode);
    std::fputs(out.c_str(), stdout);
    std::fputs(err.c_str(), stderr);
    return outputWritten(exitCode);
}

bool menuCanRun() {
    return ::isatty(STDIN_FILENO) || displayNamed();
}

int outputWritten(int exitCode) {
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return exitCode;
    const int error = errno;
    std::fprintf(stderr, "veltra: de uitvoer kan niet geschreven worden (%s).\n",
                 std::strerror(error));
    return 3;
}
