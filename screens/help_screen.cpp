// The help page: 24 rows of explanation over rows 3..26 of the menu page, in
// dark purple on the page's pale rose, until any key.
#include "screens/help_screen.h"

#include "core/catalogue.h"
#include "screens/page_row.h"

#include <algorithm>
#include <array>
#include <string>
#include <string_view>

namespace {

// The rows in Dutch, as catalogue ids; shown in the language in use.
constexpr const char* HelpLines[24] = {
    N_("  INSTALLEREN, VERWIJDEREN OF BEWERKEN"),
    "",
    N_("  Door op Enter te drukken, evt. na een keuze gemaakt te hebben met Pijl-op of"),
    N_("  neer wordt VELTRA geinstalleerd of verwijderd. Alleen niet bij de keuze HIDE"),
    N_("  of REST, daarmee worden alle primaire partities verborgen of juist zichtbaar"),
    N_("  gemaakt, en bij REST wordt ook de eerste partitie actief gemaakt."),
    "",
    "",
    N_("  ALS VELTRA GEINSTALLEERD IS"),
    "",
    N_("  Bij het opnieuw opstarten van de computer wordt opgestart met de actieve"),
    N_("  partitie of met de vooringestelde partitie als er niks gedaan wordt. Als u"),
    N_("  b.v. hebt geinstalleerd met 1z, start hij op in de 1e partitie waarbij de"),
    N_("  overige primaire partities zichtbaar zijn. Bij 1v zijn die verborgen. Een"),
    N_("  andere partitie kan gekozen worden door op het moment dat de computer naar"),
    N_("  de disk gaat (floppylampje gaat aan) een nieuwe keuze te maken. (Alt-)F1 is"),
    N_("  kiezen voor de eerste partitie, zonder Alt worden de overige primaire"),
    N_("  partities verborgen. Zo ook voor F2, F3 en F4, resp. voor de 2e, 3e of 4e"),
    N_("  partitie. Door echter Spatie in te drukken op het goede moment, komt er een"),
    N_("  menuutje, met de keuzemogelijkheden. Dan kan er ook gekozen worden. Er kan"),
    N_("  ook op CapsLock gedrukt worden voor het menuutje, dat is makkelijker."),
    N_("  De partities kunnen direct, als VELTRA niet geinstalleerd is, verborgen,"),
    N_("  zichtbaar of actief worden gemaakt. Met \"-\" of \"+\" of \"a\"."),
    N_("  Als er meer drives zijn kan dat daar ook voor. Kies dan 1, 2 of 3 of weer 0."),
};

static_assert(std::ranges::all_of(HelpLines,
                                  [](std::string_view line) { return line.size() <= 80; }),
              "a help row is wider than the screen");

} // namespace

void showHelpScreen(InstallerState& state, TextScreen& screen) {
    setColor(screen, DarkPurple, 0, ColorTarget::ForegroundOnly);
    moveCursor(screen, 3, 0);
    for (const char* line : HelpLines) printText(screen, pageRow(tr(line)), false);
    state.fullRedraw = 1;
    // Any key closes the page; the key itself does nothing in the menu.
    awaitKey(screen);
}
