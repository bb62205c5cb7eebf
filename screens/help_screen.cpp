// The help page: 24 rows of explanation over rows 3..26 of the menu page, in
// dark purple on the page's pale rose, until any key.
#include "screens/help_screen.h"

#include <algorithm>
#include <array>
#include <string>
#include <string_view>

namespace {

using HelpRow = std::array<char, 80>;

// Each help row padded on the right with blanks to exactly 80 bytes.
constexpr HelpRow padded(std::string_view text) {
    HelpRow row{};
    for (std::size_t i = 0; i < row.size(); ++i) row[i] = i < text.size() ? text[i] : ' ';
    return row;
}

constexpr std::string_view HelpLines[24] = {
    "  INSTALLEREN, VERWIJDEREN OF BEWERKEN",
    "",
    "  Door op Enter te drukken, evt. na een keuze gemaakt te hebben met Pijl-op of",
    "  neer wordt VELTRA geinstalleerd of verwijderd. Alleen niet bij de keuze HIDE",
    "  of REST, daarmee worden alle primaire partities verborgen of juist zichtbaar",
    "  gemaakt, en bij REST wordt ook de eerste partitie actief gemaakt.",
    "",
    "",
    "  ALS VELTRA GEINSTALLEERD IS",
    "",
    "  Bij het opnieuw opstarten van de computer wordt opgestart met de actieve",
    "  partitie of met de vooringestelde partitie als er niks gedaan wordt. Als u",
    "  b.v. hebt geinstalleerd met 1z, start hij op in de 1e partitie waarbij de",
    "  overige primaire partities zichtbaar zijn. Bij 1v zijn die verborgen. Een",
    "  andere partitie kan gekozen worden door op het moment dat de computer naar",
    "  de disk gaat (floppylampje gaat aan) een nieuwe keuze te maken. (Alt-)F1 is",
    "  kiezen voor de eerste partitie, zonder Alt worden de overige primaire",
    "  partities verborgen. Zo ook voor F2, F3 en F4, resp. voor de 2e, 3e of 4e",
    "  partitie. Door echter Spatie in te drukken op het goede moment, komt er een",
    "  menuutje, met de keuzemogelijkheden. Dan kan er ook gekozen worden. Er kan",
    "  ook op CapsLock gedrukt worden voor het menuutje, dat is makkelijker.",
    "  De partities kunnen direct, als VELTRA niet geinstalleerd is, verborgen,",
    "  zichtbaar of actief worden gemaakt. Met \"-\" of \"+\" of \"a\".",
    "  Als er meer drives zijn kan dat daar ook voor. Kies dan 1, 2 of 3 of weer 0.",
};

static_assert(std::ranges::all_of(HelpLines,
                                  [](std::string_view line) { return line.size() <= 80; }),
              "a help row is wider than the screen");

constexpr std::array<HelpRow, 24> HelpText = [] {
    std::array<HelpRow, 24> rows{};
    for (std::size_t i = 0; i < rows.size(); ++i) rows[i] = padded(HelpLines[i]);
    return rows;
}();

} // namespace

void showHelpScreen(InstallerState& state, TextScreen& screen) {
    setColor(screen, DarkPurple, 0, ColorTarget::ForegroundOnly);
    moveCursor(screen, 3, 0);
    for (const HelpRow& row : HelpText) printText(screen, std::string_view(row.data(), 80), false);
    state.fullRedraw = 1;
    // Any key closes the page; the key itself does nothing in the menu.
    awaitKey(screen);
}
