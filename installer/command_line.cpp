#include "installer/command_line.h"

#include "installer/main_loop.h"

#include <array>
#include <string_view>

namespace {

constexpr std::array<std::string_view, 12> KnownWords = {"HIDE", "REST", "RM", "IN", "1Z", "1V",
                                                         "2Z",   "2V",   "3Z", "3V", "4Z", "4V"};
constexpr size_t MaxDrives = 4;

} // namespace

bool isKnownWord(const std::string& word) {
    for (std::string_view known : KnownWords)
        if (word == known) return true;
    return false;
}

CommandLine parseCommandLine(const std::vector<std::string>& args) {
    CommandLine line;
    std::vector<std::string> rest;
    auto fail = [&](std::string error) {
        line.action = Action::UsageError;
        line.error = std::move(error);
        return line;
    };
    int actions = 0;
    auto act = [&](Action action) {
        line.action = action;
        ++actions;
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "-h" || arg == "--help" || arg == "/?") {
            act(Action::Help);
        } else if (arg == "--version") {
            act(Action::Version);
        } else if (arg == "--status") {
            act(Action::Status);
        } else if (arg == "--list-backups") {
            act(Action::ListBackups);
        } else if (arg == "--json") {
            line.json = true;
        } else if (arg == "--force") {
            line.force = true;
        } else if (arg == "--no-backup") {
            line.noBackup = true;
        } else if (arg == "-n" || arg == "--dry-run") {
            line.dryRun = true;
        } else if (arg == "-d" || arg == "--drive" || arg == "--restore") {
            if (i + 1 == args.size() || args[i + 1].empty())
                return fail(arg + " verwacht een " + (arg == "--restore" ? "bestand." : "schijf."));
            if (arg == "--restore") {
                act(Action::Restore);
                line.restoreFile = args[++i];
            } else {
                line.drives.push_back(args[++i]);
            }
        } else if (arg.starts_with("--drive=")) {
            line.drives.push_back(arg.substr(8));
        } else {
            rest.push_back(arg);
        }
    }
    // Help and version answer whatever else was asked.
    if (line.action == Action::Help || line.action == Action::Version) return line;
    if (line.drives.size() > MaxDrives) return fail("Hooguit 4 drives met --drive.");
    if (actions > 1) return fail("Kies een van --status, --list-backups en --restore.");
    line.word = commandWordFrom(rest);
    if (line.action != Action::Run && !line.word.empty())
        return fail("Onbekend bij deze optie: " + line.word);
    if (line.json && line.action != Action::Status) return fail("--json hoort bij --status.");
    if (line.force && line.action != Action::Restore) return fail("--force hoort bij --restore.");
    if (line.dryRun && line.word.empty() && line.action != Action::Restore)
        return fail("--dry-run hoort bij een woord of bij --restore.");
    if (!line.word.empty() && !isKnownWord(line.word))
        return fail("Onbekend woord of onbekende optie: " + line.word);
    return line;
}

std::string usageText() {
    return R"(Gebruik: veltra [OPTIE...] [WOORD]

VELTRA installeert de opstartmanager op schijf 0, verwijdert hem weer en
verbergt of toont partities. Zonder woord start het menu.

Woorden (hoofd- of kleine letters):
  HIDE          alle herkende primaire partities van schijf 0 verbergen
  REST          ze alle weer tonen, de eerste herkende wordt actief
  RM            de opstartmanager verwijderen
  IN            installeren zonder standaardkeuze
  1Z ... 4Z     installeren, partitie N standaard, de andere zichtbaar (Alt-FN)
  1V ... 4V     installeren, partitie N standaard, de andere verborgen (FN)

Opties:
  -h, --help, /?       deze uitleg
  --version            versie en build
  -d, --drive PAD      schijf 0, 1, 2, 3 in volgorde (hooguit 4);
                       gaat voor VELTRA_DRIVES
  --status             per schijf laten zien wat erop staat, niets schrijven
  --json               bij --status: als een JSON-object
  --list-backups       de back-ups laten zien
  --restore BESTAND    een back-up van LBA 0-4 terugzetten op schijf 0
  --force              bij --restore: ook als de back-up van een andere schijf lijkt
  --no-backup          geen back-up maken voor het schrijven
  -n, --dry-run        bij een woord of --restore: laten zien welke sectoren en
                       welke velden van LBA 0 zouden veranderen, niets schrijven

Back-ups:
  Voor elk schrijven gaan LBA 0-4 naar $XDG_STATE_HOME/veltra (alleen een
  absoluut pad telt), anders naar /var/backups/veltra (root) of
  ~/.local/state/veltra. Die map en elke map erboven moeten van de gebruiker of
  van root zijn en voor niemand anders beschrijfbaar (behalve met sticky bit);
  anders wordt niets geschreven. Per schijf (handtekening, grootte en partities)
  blijven de eerste back-up en de nieuwste 20.
  --restore schrijft alleen een back-up van dezelfde schijf terug (handtekening,
  grootte, begin en lengte van de partities; handtekening 0 alleen telt niet) en
  nooit een die niet zou starten of een GPT-schijf zou overschrijven.

Afsluitcodes:
  0  gedaan
  1  geweigerd of geannuleerd, niets geschreven: schijf in gebruik, tabel
     intussen gewijzigd, geen geldige MBR, GPT-schijf, RM zonder VELTRA,
     sectoren niet van 512 bytes, een back-up van een andere schijf
  2  fout in de opdrachtregel (ook meer dan 4 schijven); een --drive die geen hele schijf of schijfbestand
     is; een --restore-bestand dat geen hele back-up is of een schijf zou geven
     die niet start; het menu zonder terminal of beeldscherm
  3  een schijf kon niet geopend, gelezen of beschreven worden, geen back-up
     gemaakt, of de uitvoer kon niet geschreven worden

Voorbeeld met een schijfbestand:
  veltra --drive schijf.img --status
  veltra -d schijf.img 1v
)";
}
