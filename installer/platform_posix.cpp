#include "installer/platform.h"

#include "core/write_sequence.h"
#include "display/window.h"
#include "display/window_posix.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string_view>
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
    // A terminal that cannot place the cursor takes plain lines as well.
    const char* term = std::getenv("TERM");
    return !::isatty(STDOUT_FILENO) || !term || !*term || std::string_view(term) == "dumb";
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

int showCliText(const std::string& out, const std::string& err, int exitCode, bool bareStart) {
    // From a desktop menu nobody reads standard error: say it in the window.
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if (bareStart && !::isatty(STDIN_FILENO) && !::isatty(STDERR_FILENO) &&
        ((x11 && *x11) || (wayland && *wayland)))
        return showTextInWindow(out + err, exitCode);
    std::fputs(out.c_str(), stdout);
    std::fputs(err.c_str(), stderr);
    std::fflush(stdout);
    return exitCode;
}
