// Saves pictures of the installer's screens, drawn by the headless window:
//   veltra_screenshots <folder>
// writes menu-installed.png, menu-not-installed.png, editor-drive1.png and
// help.png and disk-picker.png there. The disks are image files in a temporary folder.
#include "core/installer_state.h"
#include "core/partition_table.h"
#include "display/text_screen.h"
#include "display/window.h"
#include "screens/disk_picker.h"
#include "screens/help_screen.h"
#include "screens/main_menu.h"
#include "tests/png_file.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Entry {
    int flag;
    int type;
};

SectorBuffer makeMbr(const std::vector<Entry>& entries, int defaultKey) {
    SectorBuffer mbr{};
    mbr[112] = static_cast<uint8_t>(defaultKey);
    for (std::size_t e = 0; e < entries.size(); ++e) {
        mbr[bootFlagOffset(static_cast<int>(e))] = static_cast<uint8_t>(entries[e].flag);
        mbr[typeOffset(static_cast<int>(e))] = static_cast<uint8_t>(entries[e].type);
    }
    mbr[510] = 0x55;
    mbr[511] = 0xAA;
    return mbr;
}

std::string title(bool installed) {
    return installed ? std::string(20, '>') + " Dorvanti VELTRA Manager [Ge\x8Bnstalleerd] " +
                           std::string(19, '<')
                     : std::string(17, '>') + " Dorvanti VELTRA Manager [Niet ge\x8Bnstalleerd] " +
                           std::string(17, '<');
}

struct Session {
    std::unique_ptr<TextScreen> screen = std::make_unique<TextScreen>();
    InstallerState state;

    Session(const SectorBuffer& drive0, bool installed) {
        openWindow(*screen, 640, 448, 32);
        setTextGrid(*screen, 80, 28);
        setColor(*screen, PaleRose, Black);
        clearScreen(*screen);
        state.workSector = drive0;
        countPrimaryPartitions(state);
        state.isInstalled = installed ? 1 : 0;
        state.menuTitle = title(installed);
        state.otherTitle = title(!installed);
    }
    // The menu on these keys; it returns when they run out.
    void run(const std::vector<int>& keys) {
        queueScript(*screen, keys);
        runMenuScreen(state, *screen);
    }
};

bool save(const Session& session, const fs::path& folder, const char* name) {
    const fs::path path = folder / name;
    if (savePng(*session.screen, path.string())) {
        std::printf("%s\n", path.string().c_str());
        return true;
    }
    std::fprintf(stderr, "cannot write %s\n", path.string().c_str());
    return false;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    const fs::path out = argv[1];

    // Drive 0: active NTFS, a hidden FAT32 and Linux. Drive 1: FAT32, hidden
    // NTFS (active), and an extended partition the installer does not count.
    const SectorBuffer drive0 = makeMbr({{0x80, 0x07}, {0x00, 0x1B}, {0x00, 0x83}}, 59);
    const SectorBuffer drive1 = makeMbr({{0x00, 0x0C}, {0x80, 0x17}, {0x00, 0x05}}, 0x33);

    std::string pattern = (fs::temp_directory_path() / "veltra-shots-XXXXXX").string();
    if (!mkdtemp(pattern.data())) return 1;
    const fs::path dir = pattern;
    std::string list;
    for (const SectorBuffer* sector : {&drive0, &drive1}) {
        const fs::path image = dir / ("disk" + std::to_string(list.empty() ? 0 : 1) + ".img");
        std::ofstream(image, std::ios::binary)
            .write(reinterpret_cast<const char*>(sector->data()), 512);
        list += (list.empty() ? "" : ":") + image.string();
    }
    setenv("VELTRA_DRIVES", list.c_str(), 1);

    bool ok = true;
    {
        Session installed(drive0, true);
        installed.run({KeyDown});
        ok &= save(installed, out, "menu-installed.png");
    }
    {
        Session notInstalled(drive0, false);
        notInstalled.run({KeyDown, KeyDown});
        ok &= save(notInstalled, out, "menu-not-installed.png");
    }
    {
        Session editor(drive0, false);
        editor.run({'1', KeyDown});
        ok &= save(editor, out, "editor-drive1.png");
    }
    {
        Session help(drive0, false);
        help.state.drawOnceCount = 1;
        help.run({});
        queueScript(*help.screen, {'x'});
        showHelpScreen(help.state, *help.screen);
        ok &= save(help, out, "help.png");
    }
    {
        // The page of a start from the desktop menu, with made-up disks.
        Session picker(drive0, false);
        queueScript(*picker.screen, {KeyDown});
        runDiskPicker(picker.state, *picker.screen,
                      {{"/dev/sda", 500107862016, "Samsung SSD 860 EVO", 1},
                       {"/dev/sdb", 2000398934016, "WDC WD20EZRZ", 0},
                       {"/dev/nvme0n1", 256060514304, "", -1}},
                      true);
        ok &= save(picker, out, "disk-picker.png");
    }

    std::error_code ignored;
    fs::remove_all(dir, ignored);
    return ok ? 0 : 1;
}
