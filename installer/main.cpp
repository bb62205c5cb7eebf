// VELTRA installer: the window's event loop runs on this thread, the installer
// itself (start-up and main loop) on a thread of its own.
#include "core/catalogue.h"
#include "core/installer_state.h"
#include "core/sector_access.h"
#include "core/write_sequence.h"
#include "display/text_screen.h"
#include "display/window.h"
#include "installer/cli.h"
#include "installer/command_line.h"
#include "installer/desktop_start.h"
#include "installer/language.h"
#include "installer/main_loop.h"
#include "installer/operations.h"
#include "installer/platform.h"

#include <cstdio>

#include <memory>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    prepareProcess();
    // The language first: every text from here on is looked up in it.
    useLanguage(chooseLanguage(languageSources(languageOption(argc, argv))));
    setBackendTexts(
        {tr("Venster te klein: VELTRA heeft 80x28 tekens nodig."),
         tr("veltra: het menu heeft een terminal nodig die de cursor kan plaatsen (TERM "
            "is leeg of \"dumb\")."),
         tr("veltra: geen venster ({0}), verder in de terminal")});
    const CommandLine line = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    const std::string programPath = argc > 0 && argv[0] ? argv[0] : "veltra";
    {
        // A stop during a restore or a reconfiguration waits until its result line is out.
        const bool hold = line.action == Action::Restore || line.action == Action::Reconfigure;
        if (hold) beginWriteSequence();
        CliResult said;
        const bool done = runWithoutWindow(line, said);
        int code = 0;
        // Started bare from a desktop menu: the disk is chosen in the window.
        if (done && argc <= 1 && !drivesNamed() && startedFromDesktop())
            code = startFromDesktop(programPath);
        else if (done)
            code = showCliText(said.out, said.err, said.exitCode, argc <= 1);
        if (hold) endWriteSequence();
        if (done) return code;
    }
    if (line.word.empty() && !menuCanRun()) {
        std::fputs(tr("veltra: het menu heeft een terminal of een beeldscherm nodig. Geef anders "
                      "een woord op, bijvoorbeeld: veltra --drive schijf.img 1v\n"),
                   stderr);
        return ExitUsage;
    }

    const bool batch = !line.word.empty();
    auto screen = std::make_unique<TextScreen>(framebufferWanted(batch));
    auto state = std::make_unique<InstallerState>();
    state->makeBackups = line.noBackup ? 0 : 1;
    state->pauseTicks = line.pauseTicks;
    state->bootLanguage = line.bootLanguage;
    state->uiLanguage = bootLanguageOfProgram();
    state->promptWaits = inputIsTerminal() ? 1 : 0;
    state->plainOutput = batch && plainOutputWanted() ? 1 : 0;
    const auto logic = [&](TextScreen& shown) {
        startUp(*state, shown,
                line.word.empty() ? std::vector<std::string>{}
                                  : std::vector<std::string>{line.word});
        mainLoop(*state, shown);
    };
    // A command word shows its lines in the terminal it was run from.
    if (state->plainOutput) return outputWritten(runPlain(*screen, logic));
    return runWithWindow(*screen, programPath, logic,
                         batch ? ScreenUse::LinesInPlace : ScreenUse::Whole);
}
