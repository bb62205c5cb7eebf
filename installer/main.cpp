// VELTRA installer: the window's event loop runs on this thread, the installer
// itself (start-up and main loop) on a thread of its own.
#include "core/installer_state.h"
#include "display/text_screen.h"
#include "display/window.h"
#include "installer/main_loop.h"
#include "installer/process.h"

#include <memory>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    prepareProcess();
    std::vector<std::string> args(argv + 1, argv + argc);
    auto screen = std::make_unique<TextScreen>();
    auto state = std::make_unique<InstallerState>();
    const std::string programPath = argc > 0 && argv[0] ? argv[0] : "veltra";
    return runWithWindow(*screen, programPath, [&](TextScreen& shown) {
        startUp(*state, shown, args);
        mainLoop(*state, shown);
    });
}
