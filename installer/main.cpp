// VELTRA installer: the window's event loop runs on this thread, the installer
// itself (start-up and main loop) on a thread of its own.
#include "core/installer_state.h"
#include "display/text_screen.h"
#include "display/window.h"
#include "installer/cli.h"
#include "installer/command_line.h"
#include "installer/main_loop.h"
#include "installer/platform.h"

#include <memory>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    prepareProcess();
    const CommandLine line = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (CliResult said; runWithoutWindow(line, said))
        return showCliText(said.out, said.err, said.exitCode, argc <= 1);

    auto screen = std::make_unique<TextScreen>();
    auto state = std::make_unique<InstallerState>();
    state->makeBackups = line.noBackup ? 0 : 1;
    state->promptWaits = inputIsTerminal() ? 1 : 0;
    const bool batch = !line.word.empty();
    state->plainOutput = batch && plainOutputWanted() ? 1 : 0;
    const auto logic = [&](TextScreen& shown) {
        startUp(*state, shown,
                line.word.empty() ? std::vector<std::string>{}
                                  : std::vector<std::string>{line.word});
        mainLoop(*state, shown);
    };
    if (state->plainOutput) return runPlain(*screen, logic);
    const std::string programPath = argc > 0 && argv[0] ? argv[0] : "veltra";
    // A command word shows its lines in the terminal it was run from.
    return runWithWindow(*screen, programPath, logic,
                         batch ? ScreenUse::LinesInPlace : ScreenUse::Whole);
}
