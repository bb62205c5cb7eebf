// The disk picker: a title and footer band as on the main menu, the disks in
// a list on the pale rose page, the selected one on the plum bar.
#include "screens/disk_picker.h"

#include "core/catalogue.h"
#include "display/font_cp437.h"
#include "screens/gradient_bar.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr int FooterTop = 432; // pixel row of text row 28
constexpr int HeaderRow = 6;
constexpr int FirstDiskRow = 8;
constexpr int LastDiskRow = 22;
constexpr int VisibleDisks = LastDiskRow - FirstDiskRow + 1;
constexpr int ScanUp = KeyUp - ExtendedKeyBase;
constexpr int ScanDown = KeyDown - ExtendedKeyBase;
constexpr int ScanHome = KeyHome - ExtendedKeyBase;
constexpr int ScanEnd = KeyEnd - ExtendedKeyBase;
constexpr int ScanClose = KeyClose - ExtendedKeyBase;

std::string fitRow(std::string text) {
    text.resize(TextScreen::Columns, ' ');
    return text;
}

// Text padded (or cut) to `width` bytes.
std::string column(std::string text, size_t width) {
    text.resize(width, ' ');
    return text;
}

// The four columns of the list, 76 bytes at most.
std::string columns(const std::string& path, const std::string& size, const std::string& model,
                    const std::string& installed) {
    return (column(path, 18) + column(size, 11) + column(model, 25) + installed).substr(0, 76);
}

} // namespace

std::string sizeText(uint64_t bytes) {
    char text[32];
    if (bytes >= 1000000000000ull)
        std::snprintf(text, sizeof text, "%.1f TB", static_cast<double>(bytes) / 1e12);
    else if (bytes >= 1000000000ull)
        std::snprintf(text, sizeof text, "%.1f GB", static_cast<double>(bytes) / 1e9);
    else
        std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
    return text;
}

namespace {

// The text of the catalogue as the screen shows it.
std::string shown(const char* dutch) {
    return cp437FromUtf8(tr(dutch));
}

// Prints code page 437 bytes as one whole row.
void printRow(TextScreen& screen, int row, const std::string& text, uint32_t fg, uint32_t bg) {
    moveCursor(screen, row, 1);
    setColor(screen, fg, bg);
    printText(screen, fitRow(text), false);
}

void paintBands(InstallerState& state, TextScreen& screen) {
    std::string title = shown(N_(" Dorvanti VELTRA Manager [Schijf kiezen] "));
    title.resize(std::min<size_t>(title.size(), TextScreen::Columns));
    const size_t left = (TextScreen::Columns - title.size()) / 2;
    title = std::string(left, '>') + title;
    title.append(TextScreen::Columns - title.size(), '<');
    printRow(screen, 1, title, White, Magenta);
    drawTitleGradient(state, screen, 0);
    printRow(screen, 28,
             shown(N_("  Pijl-op/Pijl-neer: kiezen    Enter: openen    Escape: stoppen")), White,
             Magenta);
    drawTitleGradient(state, screen, FooterTop);
}

void paintPage(TextScreen& screen, const std::vector<DiskChoice>& disks, bool needsRights) {
    for (int row = 2; row <= 27; ++row) printRow(screen, row, "", Black, PaleRose);
    printRow(screen, 3,
             shown(N_("  Op welke schijf komt VELTRA? Kies de schijf waarvan de pc opstart.")),
             Black, PaleRose);
    if (disks.empty()) {
        printRow(screen, FirstDiskRow,
                 shown(N_("  Deze computer heeft geen schijven die VELTRA kent.")), Black,
                 PaleRose);
        return;
    }
    printRow(screen, HeaderRow,
             "  " +
                 columns(shown(N_("Schijf")), shown(N_("Grootte")), shown(N_("Model")), "VELTRA"),
             Grey, PaleRose);
    if (needsRights)
        printRow(
            screen, 25,
            shown(N_("  Voor het openen vraagt het systeem om het wachtwoord van een beheerder.")),
            Magenta, PaleRose);
}

void paintDisks(TextScreen& screen, const std::vector<DiskChoice>& disks, int selected, int first) {
    for (int i = 0; i < VisibleDisks; ++i) {
        const int index = first + i;
        const bool shown = index < static_cast<int>(disks.size());
        const bool chosen = index == selected;
        printRow(screen, FirstDiskRow + i, shown ? "  " + diskChoiceRow(disks[index]) : "", Black,
                 chosen ? Plum : PaleRose);
    }
    // More disks than rows: the list scrolls, the arrows say so.
    const int count = static_cast<int>(disks.size());
    setColor(screen, Grey, PaleRose);
    moveCursor(screen, FirstDiskRow - 1, 1);
    printText(screen, first > 0 ? "  ..." : "     ", false);
    moveCursor(screen, LastDiskRow + 1, 1);
    printText(screen, first + VisibleDisks < count ? "  ..." : "     ", false);
}

} // namespace

std::string diskChoiceRow(const DiskChoice& disk) {
    const char* installed = disk.installed == 1   ? N_("geïnstalleerd")
                            : disk.installed == 0 ? N_("niet geïnstalleerd")
                                                  : N_("onbekend");
    return columns(cp437FromUtf8(disk.path), sizeText(disk.bytes), cp437FromUtf8(disk.model),
                   shown(installed));
}

int runDiskPicker(InstallerState& state, TextScreen& screen, const std::vector<DiskChoice>& disks,
                  bool needsRights) {
    moveCursor(screen, 1, 1, CursorVisibility::Hide);
    paintPage(screen, disks, needsRights);
    paintBands(state, screen);
    const int count = static_cast<int>(disks.size());
    int selected = 0;
    int first = 0;
    for (;;) {
        if (count > 0) paintDisks(screen, disks, selected, first);
        const std::string key = awaitKey(screen);
        if (key.size() == 1 && key[0] == KeyEscape) return -1;
        if (key.size() == 2 && static_cast<unsigned char>(key[1]) == ScanClose) return -1;
        if (key.size() == 1 && key[0] == KeyEnter && count > 0) return selected;
        if (key.size() != 2 || count == 0) continue;
        switch (static_cast<unsigned char>(key[1])) {
        case ScanUp:
            selected = (selected + count - 1) % count;
            break;
        case ScanDown:
            selected = (selected + 1) % count;
            break;
        case ScanHome:
            selected = 0;
            break;
        case ScanEnd:
            selected = count - 1;
            break;
        default:
            break;
        }
        first = std::clamp(first, selected - VisibleDisks + 1, selected);
    }
}
