// Shared set-up of the screen tests: a headless screen, disk images in a
// temporary folder named by VELTRA_DRIVES, and MBR sectors built to order.
#pragma once

#include "core/installer_state.h"
#include "core/partition_table.h"
#include "display/text_screen.h"
#include "display/window.h"
#include "screens/main_menu.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace screens_test {

// Keys as the menu reads them.
inline const std::string Down = "\xFFP";
inline const std::string Up = "\xFFH";
inline const std::string F1 = "\xFF;";
inline const std::string Enter = "\r";
inline const std::string Escape = "\x1B";

// Band row i of the gradient behind the title and footer rows.
constexpr uint32_t Band[16] = {0xFF4EBC, 0xF544B2, 0xED3CAA, 0xE736A4, 0xE2319F, 0xDE2D9B,
                               0xDB2A98, 0xD92896, 0xD82795, 0xD62593, 0xD32290, 0xCF1E8C,
                               0xCA1987, 0xC41381, 0xBC0B79, 0xB2016F};

// One primary entry: boot flag and type; the rest of the entry is filled in
// with plausible bytes so that byte-for-byte checks see a real table.
struct Entry {
    int flag = 0x00;
    int type = 0x00;
};

// An MBR with some boot code, the four entries, byte 112 and the 55AA signature.
inline SectorBuffer makeMbr(std::array<Entry, 4> entries, int defaultKey = 0x33) {
    SectorBuffer mbr{};
    for (int i = 0; i < 446; ++i) mbr[i] = static_cast<uint8_t>((i * 7 + 0x21) & 0xFF);
    mbr[112] = static_cast<uint8_t>(defaultKey);
    for (int e = 0; e < 4; ++e) {
        uint8_t* p = mbr.data() + 446 + 16 * e;
        p[0] = static_cast<uint8_t>(entries[e].flag);
        p[4] = static_cast<uint8_t>(entries[e].type);
        if (entries[e].type != 0) {
            p[1] = 0x20; // CHS and LBA fields: anything the edits must keep
            p[2] = 0x21;
            p[8] = static_cast<uint8_t>(0x08 + e);
            p[12] = 0x40;
        }
    }
    mbr[510] = 0x55;
    mbr[511] = 0xAA;
    return mbr;
}

inline SectorBuffer toWork(const SectorBuffer& sector) {
    SectorBuffer work{};
    work = sector;
    return work;
}

// The 80-byte titles that the main flow keeps for drive 0.
inline std::string titleOf(bool installed) {
    std::string t =
        installed ? std::string(20, '>') + " Dorvanti VELTRA Manager [Ge\x8Bnstalleerd] " +
                        std::string(19, '<')
                  : std::string(17, '>') + " Dorvanti VELTRA Manager [Niet ge\x8Bnstalleerd] " +
                        std::string(17, '<');
    return t;
}

// A row text as printed: the text padded with blanks to 80 bytes.
inline std::string row80(std::string text) {
    text.resize(80, ' ');
    return text;
}

// A row with one character put in at a 1-based column.
inline std::string markedAt(std::string row, int column, char c) {
    row[column - 1] = c;
    return row;
}

// Disk images in a folder of their own, named by VELTRA_DRIVES for the
// lifetime of the object. The sector access never sees another path.
class DiskImages {
  public:
    explicit DiskImages(const std::vector<SectorBuffer>& lba0s) {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "veltra-screens-XXXXXX").string();
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        if (!mkdtemp(buffer.data())) throw std::runtime_error("mkdtemp");
        dir_ = buffer.data();
        std::string list;
        for (std::size_t n = 0; n < lba0s.size(); ++n) {
            std::string path = dir_ + "/disk" + std::to_string(n) + ".img";
            std::vector<uint8_t> image(8 * 512, 0xE5); // LBA 0 and a few sectors more
            std::copy(lba0s[n].begin(), lba0s[n].end(), image.begin());
            std::ofstream(path, std::ios::binary)
                .write(reinterpret_cast<const char*>(image.data()),
                       static_cast<std::streamsize>(image.size()));
            paths_.push_back(path);
            list += (n ? ":" : "") + path;
        }
        setenv("VELTRA_DRIVES", list.c_str(), 1);
    }
    ~DiskImages() {
        // Never leave the variable empty: no test may fall back to real disks.
        setenv("VELTRA_DRIVES", "/nonexistent/veltra-test-disk", 1);
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    DiskImages(const DiskImages&) = delete;
    DiskImages& operator=(const DiskImages&) = delete;

    const std::string& path(int drive) const { return paths_.at(drive); }
    // The whole image of a drive, to compare byte for byte.
    std::vector<uint8_t> bytes(int drive) const {
        std::ifstream in(path(drive), std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
    }
    SectorBuffer lba0(int drive) const {
        SectorBuffer sector{};
        std::vector<uint8_t> all = bytes(drive);
        std::copy(all.begin(), all.begin() + 512, sector.begin());
        return sector;
    }

  private:
    std::string dir_;
    std::vector<std::string> paths_;
};

// A freshly opened headless screen and a state for drive 0 as the main flow
// leaves it before calling the menu.
class ScreenTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("VELTRA_DRIVES", "/nonexistent/veltra-test-disk", 1);
        openWindow(screen, 640, 448, 32);
        setTextGrid(screen, 80, 28);
        setColor(screen, PaleRose, Black);
        clearScreen(screen);
    }

    // Drive 0 (and further drives) as images; state as the main flow sets it.
    void useDisks(const std::vector<SectorBuffer>& lba0s, bool installed) {
        disks = std::make_unique<DiskImages>(lba0s);
        state.workSector = toWork(lba0s.at(0));
        countPrimaryPartitions(state);
        state.isInstalled = installed ? 1 : 0;
        state.menuTitle = titleOf(installed);
        state.otherTitle = titleOf(!installed);
        state.currentDrive = 0;
        state.drawOnceCount = 0;
    }

    // Runs the menu on these keys; when they run out the menu reads Escape.
    void runMenu(const std::vector<std::string>& keys) {
        std::vector<int> codes;
        for (const std::string& k : keys) {
            if (k.size() == 2 && static_cast<unsigned char>(k[0]) == 255)
                codes.push_back(ExtendedKeyBase + static_cast<unsigned char>(k[1]));
            else
                codes.push_back(static_cast<unsigned char>(k[0]));
        }
        queueScript(screen, codes);
        runMenuScreen(state, screen);
    }

    std::string row(int r) const { return rowText(screen, r); }
    char at(int r, int c) const { return static_cast<char>(cellAt(screen, r, c).ch); }
    uint32_t pixel(int x, int y) const {
        return static_cast<uint32_t>(readPixel(screen, x, y)) & 0xFFFFFFu;
    }

    TextScreen screen;
    InstallerState state;
    std::unique_ptr<DiskImages> disks;
};

} // namespace screens_test
