#include "installer/desktop_start.h"

#include "core/catalogue.h"
#include "core/installer_state.h"
#include "core/sector_access.h"
#include "display/window.h"
#include "installer/language.h"
#include "installer/main_loop.h"
#include "installer/operations.h"
#include "installer/platform.h"

#include <memory>

std::vector<DiskChoice> listDiskChoices() {
    std::vector<DiskChoice> choices;
    setDrivesReadOnly(true);
    for (const WholeDisk& disk : wholeDisksOfMachine()) {
        DiskChoice choice{disk.path, disk.bytes, disk.model, -1};
        // The disk as drive 0 for one read, then no drive named again.
        setDriveNames({disk.path});
        SectorBuffer lba0{};
        if (readSectors(0, 0, &lba0, 1).ok()) choice.installed = carriesInstallMarker(lba0) ? 1 : 0;
        choices.push_back(choice);
    }
    setDriveNames({});
    setDrivesReadOnly(false);
    return choices;
}

int runDesktopStart(TextScreen& screen, const std::string& programPath,
                    const std::vector<DiskChoice>& disks, bool rights, std::string& restartWith) {
    auto state = std::make_unique<InstallerState>();
    state->makeBackups = 1;
    state->uiLanguage = bootLanguageOfProgram();
    state->promptWaits = 1;
    return runWithWindow(screen, programPath, [&](TextScreen& shown) {
        openWindow(shown, 640, 448, 32);
        setTextGrid(shown, 80, 28);
        const int chosen = runDiskPicker(*state, shown, disks, !rights);
        if (chosen < 0) return endProgram(shown, ExitDone);
        if (!rights) {
            restartWith = disks[chosen].path;
            return endProgram(shown, ExitDone);
        }
        setDriveNames({disks[chosen].path});
        startUp(*state, shown, {});
        mainLoop(*state, shown);
    });
}

int startFromDesktop(const std::string& programPath) {
    const std::vector<DiskChoice> disks = listDiskChoices();
    auto screen = std::make_unique<TextScreen>();
    std::string restartWith;
    const int code = runDesktopStart(*screen, programPath, disks, mayWriteDisks(), restartWith);
    if (restartWith.empty()) return code;
    // Returns only when the program could not be started again.
    const std::string why = restartWithRights(restartWith);
    return showTextInWindow(
        "veltra: " + why + "\n" +
            fill(tr("Start VELTRA in een terminal met\n  sudo veltra --drive {0}\n"),
                 {restartWith}),
        ExitUsage);
}
