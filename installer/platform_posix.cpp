#include "installer/platform.h"

#include "core/catalogue.h"
#include "core/write_sequence.h"
#include "display/window.h"
#include "display/window_posix.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

std::string systemLanguage() {
    return "";
}

const char* noRightsText() {
    return N_(" Niet voldoende rechten. Start als root, bijvoorbeeld met sudo.");
}

const char* notADiskPattern() {
    return N_(" Drive {0} ({1}) is geen schijf en geen schijfbestand.");
}

const char* openErrorPattern() {
    return N_(" Drive {0} ({1}) kan niet geopend worden (fout {2}).");
}

std::string systemErrorText(int error) {
    // The errors that a backup folder or file meets, in the program's own
    // words (the C library would say them in English whatever the language).
    struct Known {
        int code;
        const char* text;
    };
    static constexpr Known Texts[] = {
        {ENOSPC, N_("geen ruimte meer op het apparaat")},
        {EDQUOT, N_("quotum overschreden")},
        {EACCES, N_("geen toegang")},
        {EPERM, N_("niet toegestaan")},
        {EROFS, N_("alleen-lezen bestandssysteem")},
        {EIO, N_("invoer-/uitvoerfout")},
        {ENOENT, N_("bestand of map bestaat niet")},
        {EEXIST, N_("bestaat al")},
        {ENOTDIR, N_("geen map")},
        {EISDIR, N_("is een map")},
        {ELOOP, N_("te veel koppelingen")},
        {ENAMETOOLONG, N_("naam te lang")},
        {EMFILE, N_("te veel open bestanden")},
        {EBUSY, N_("apparaat bezet")},
    };
    for (const Known& known : Texts)
        if (known.code == error) return tr(known.text);
    return fill(tr("fout {0}"), {std::to_string(error)});
}

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

DriveUsage driveUsage() {
    return {N_(R"(  -d, --drive PAD      de schijf van drive 0, 1, 2, 3 in volgorde (hooguit 4):
                       een hele schijf (/dev/sda) of een schijfbestand; gaat
                       voor VELTRA_DRIVES
)"),
            N_(R"(Voorbeelden met een schijfbestand:
  veltra --drive schijf.img --status
  veltra -d schijf.img 1v
)")};
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
    // The screen is drawn nowhere: only the message lines go out.
    return runTerminalWindow(screen, STDIN_FILENO, -1, logic);
}

namespace {

bool displayNamed() {
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

} // namespace

bool startedFromDesktop() {
    return !::isatty(STDIN_FILENO) && !::isatty(STDERR_FILENO) && displayNamed();
}

bool mayWriteDisks() {
    return ::geteuid() == 0;
}

// pkexec wants the program's absolute path, the one its polkit action names;
// it is taken from where Debian puts it, never from a search of PATH.
std::string restartWithRights(const std::string& drive) {
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return tr("het pad van het programma is niet te vinden.");
    const std::string program(self, static_cast<size_t>(n));
    constexpr const char* Pkexec = "/usr/bin/pkexec";
    const char* const args[] = {Pkexec, program.c_str(), "--drive", drive.c_str(), nullptr};
    ::execv(Pkexec, const_cast<char* const*>(args));
    const int error = errno;
    return error == ENOENT ? tr("pkexec ontbreekt (pakket pkexec), het programma kan geen "
                                "beheerdersrechten vragen.")
                           : fill(tr("pkexec kan niet starten ({0})."), {systemErrorText(error)});
}

int showCliText(const std::string& out, const std::string& err, int exitCode, bool bareStart) {
    // From a desktop menu nobody reads standard error: say it in the window.
    if (bareStart && startedFromDesktop()) return showTextInWindow(out + err, exitCode);
    std::fputs(out.c_str(), stdout);
    std::fputs(err.c_str(), stderr);
    return outputWritten(exitCode);
}

bool framebufferWanted(bool batch) {
    return !batch;
}

bool menuCanRun() {
    return ::isatty(STDIN_FILENO) || displayNamed();
}

int outputWritten(int exitCode) {
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return exitCode;
    const int error = errno;
    const std::string text = fill(tr("veltra: de uitvoer kan niet geschreven worden ({0}).\n"),
                                  {systemErrorText(error)});
    std::fputs(text.c_str(), stderr);
    return 3;
}
