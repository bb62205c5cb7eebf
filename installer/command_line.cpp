#include "installer/command_line.h"

#include "core/boot_language.h"
#include "core/catalogue.h"
#include "core/disk_plan.h"
#include "core/menu_options.h"
#include "installer/main_loop.h"
#include "installer/operations.h"
#include "installer/platform.h"

#include <algorithm>
#include <array>
#include <getopt.h>
#include <string_view>

namespace {

constexpr size_t MaxDrives = 4;

// Codes of the options that have no letter.
enum : int {
    StatusOption = 256,
    JsonOption,
    ListBackupsOption,
    RestoreOption,
    ForceOption,
    NoBackupOption,
    PauseOption,
    DefaultOption,
    LanguageOption,
    BootLangOption,
};

const option LongOptions[] = {
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {"drive", required_argument, nullptr, 'd'},
    {"status", no_argument, nullptr, StatusOption},
    {"json", no_argument, nullptr, JsonOption},
    {"list-backups", no_argument, nullptr, ListBackupsOption},
    {"restore", required_argument, nullptr, RestoreOption},
    {"force", no_argument, nullptr, ForceOption},
    {"no-backup", no_argument, nullptr, NoBackupOption},
    {"dry-run", no_argument, nullptr, 'n'},
    {"pause", required_argument, nullptr, PauseOption},
    {"default", required_argument, nullptr, DefaultOption},
    {"lang", required_argument, nullptr, LanguageOption},
    {"boot-lang", required_argument, nullptr, BootLangOption},
    {nullptr, 0, nullptr, 0},
};

// The option as the message names it: its long name, or "-d" when that was typed.
std::string optionName(int code, const std::string& typed) {
    if (code == 'd' && !typed.starts_with("--")) return "-d";
    for (const option& known : LongOptions)
        if (known.name && known.val == code) return std::string("--") + known.name;
    return typed;
}

const char* valuePattern(int code) {
    if (code == PauseOption)
        return tr("{0} verwacht seconden van 0 tot 30, bijvoorbeeld --pause=1,5.");
    if (code == DefaultOption) return tr("{0} verwacht 1z ... 4v of none.");
    if (code == LanguageOption || code == BootLangOption)
        return tr("{0} verwacht een taal: nl of en.");
    return code == RestoreOption ? tr("{0} verwacht een bestand.") : tr("{0} verwacht een schijf.");
}

// Why option `code` needs another value, naming it as typed.
std::string valueWanted(int code, const std::string& typed) {
    return fill(valuePattern(code), {optionName(code, typed)});
}

// The words that install: IN and the eight that choose a default.
bool isInstallWord(const std::string& word) {
    return word == "IN" || defaultKeyOfWord(word) > 0;
}

} // namespace

int pauseTicksOfSeconds(const std::string& seconds) {
    int tenths = 0;
    size_t at = 0;
    size_t digits = 0;
    for (; at < seconds.size() && seconds[at] >= '0' && seconds[at] <= '9' && digits < 3;
         ++at, ++digits)
        tenths = tenths * 10 + (seconds[at] - '0');
    if (digits == 0) return -1;
    tenths *= 10;
    if (at < seconds.size() && (seconds[at] == '.' || seconds[at] == ',')) {
        ++at;
        if (at < seconds.size() && seconds[at] >= '0' && seconds[at] <= '9')
            tenths += seconds[at++] - '0';
        else
            return -1;
    }
    if (at != seconds.size() || tenths > 300) return -1;
    return pauseTicksFromTenths(tenths);
}

int defaultKeyOfWord(const std::string& word) {
    const std::string upper = commandWordFrom({word});
    if (upper == "NONE") return 0;
    const int key = optionWordKey(upper);
    return key > 0 ? key : -1;
}

bool isKnownWord(const std::string& word) {
    return menuOptionOfWord(word) != nullptr;
}

namespace {

// What the options said so far.
struct Scan {
    CommandLine line;
    std::vector<std::string> rest; // the words
    std::string firstError;
    int actions = 0;

    void act(Action action) {
        line.action = action;
        ++actions;
    }
    void error(std::string why) {
        if (firstError.empty()) firstError = std::move(why);
    }
};

// One option as getopt_long returned it; `typed` is the argument as given.
void takeOption(Scan& scan, int option, const std::string& typed) {
    CommandLine& line = scan.line;
    switch (option) {
    case 1:
        if (std::string_view(optarg) == "/?")
            scan.act(Action::Help);
        else
            scan.rest.emplace_back(optarg);
        break;
    case 'h':
        scan.act(Action::Help);
        break;
    case 'V':
        scan.act(Action::Version);
        break;
    case StatusOption:
        scan.act(Action::Status);
        break;
    case ListBackupsOption:
        scan.act(Action::ListBackups);
        break;
    case JsonOption:
        line.json = true;
        break;
    case ForceOption:
        line.force = true;
        break;
    case NoBackupOption:
        line.noBackup = true;
        break;
    case 'n':
        line.dryRun = true;
        break;
    case PauseOption:
        line.pauseTicks = pauseTicksOfSeconds(optarg);
        if (line.pauseTicks < 0) scan.error(valueWanted(option, typed));
        break;
    case DefaultOption:
        line.defaultKey = defaultKeyOfWord(optarg);
        if (line.defaultKey < 0) scan.error(valueWanted(option, typed));
        break;
    case LanguageOption:
        // Chosen before the parse (languageOption); here only checked.
        if (!hasCatalogue(optarg)) scan.error(valueWanted(option, typed));
        break;
    case BootLangOption:
        line.bootLanguage = languageOfCode(optarg);
        if (!line.bootLanguage) scan.error(valueWanted(option, typed));
        break;
    case 'd':
    case RestoreOption:
        if (*optarg == '\0') {
            scan.error(valueWanted(option, typed));
        } else if (option == 'd') {
            line.drives.emplace_back(optarg);
        } else {
            scan.act(Action::Restore);
            line.restoreFile = optarg;
        }
        break;
    case ':':
        scan.error(valueWanted(optopt, typed));
        break;
    default: // '?': an unknown option, or a value given to one that takes none
        // Named as typed: "--help=x" is "--help", however getopt knows it.
        if (optopt == 0)
            scan.error(fill(tr("Onbekende optie: {0}."), {typed.substr(0, typed.find('='))}));
        else if (typed.starts_with("--"))
            scan.error(fill(tr("{0} neemt geen waarde."), {typed.substr(0, typed.find('='))}));
        else
            scan.error(fill(tr("Onbekende optie: {0}."), {std::string("-") + char(optopt)}));
        break;
    }
}

// The options together: what they leave, or the first thing wrong with them.
CommandLine checked(Scan& scan) {
    CommandLine& line = scan.line;
    auto fail = [&](std::string error) {
        line.action = Action::UsageError;
        line.error = std::move(error);
        return line;
    };
    // Help and version answer whatever else was asked.
    if (line.action == Action::Help || line.action == Action::Version) return line;
    if (!scan.firstError.empty()) return fail(scan.firstError);
    if (line.drives.size() > MaxDrives) return fail(tr("Hooguit 4 drives met --drive."));
    if (scan.actions > 1) return fail(tr("Kies een van --status, --list-backups en --restore."));
    line.word = commandWordFrom(scan.rest);
    std::string asTyped;
    for (const std::string& part : scan.rest) asTyped += (asTyped.empty() ? "" : " ") + part;
    if (line.action != Action::Run && !line.word.empty())
        return fail(fill(tr("Onbekend bij deze optie: {0}."), {asTyped}));
    const bool reconfigures =
        line.pauseTicks >= 0 || line.defaultKey >= 0 || line.bootLanguage.has_value();
    if (reconfigures && line.action != Action::Run)
        return fail(tr("--pause, --default en --boot-lang horen niet bij --status, "
                       "--list-backups of --restore."));
    if (line.defaultKey >= 0 && !line.word.empty())
        return fail(
            fill(tr("--default staat zonder woord: {0} kiest zelf de default."), {asTyped}));
    if (line.pauseTicks >= 0 && !line.word.empty() && !isInstallWord(line.word))
        return fail(tr("--pause hoort bij IN, 1Z ... 4V of staat zonder woord."));
    if (line.bootLanguage && !line.word.empty() && !isInstallWord(line.word))
        return fail(tr("--boot-lang hoort bij IN, 1Z ... 4V of staat zonder woord."));
    if (reconfigures && line.word.empty()) line.action = Action::Reconfigure;
    if (line.json && line.action != Action::Status && line.action != Action::ListBackups)
        return fail(tr("--json hoort bij --status of --list-backups."));
    if (line.force && line.action != Action::Restore)
        return fail(tr("--force hoort bij --restore."));
    if (line.dryRun && line.word.empty() && line.action != Action::Restore &&
        line.action != Action::Reconfigure)
        return fail(tr("--dry-run hoort bij een woord, bij --restore, --pause, --default of "
                       "--boot-lang."));
    if (!line.word.empty() && !isKnownWord(line.word))
        return fail(fill(tr("Onbekend woord: {0}."), {asTyped}));
    return line;
}

} // namespace

CommandLine parseCommandLine(const std::vector<std::string>& args) {
    // getopt_long works on a writable argv and keeps its place in globals:
    // optind 0 starts a fresh scan. "-" hands over the other arguments in
    // order (as code 1) whatever POSIXLY_CORRECT says, ":" reports a missing
    // value as ':'; getopt itself says nothing.
    std::vector<std::string> copies = args;
    std::vector<char*> argv = {const_cast<char*>("veltra")};
    for (std::string& arg : copies) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const int argc = static_cast<int>(argv.size()) - 1;
    optind = 0;
    opterr = 0;
    Scan scan;
    for (int option;
         (option = getopt_long(argc, argv.data(), "-:hVnd:", LongOptions, nullptr)) != -1;)
        takeOption(scan, option, argv[std::max(optind - 1, 1)]);
    for (int i = optind; i < argc; ++i) scan.rest.emplace_back(argv[i]);
    return checked(scan);
}

std::string usageText() {
    const DriveUsage drives = driveUsage();
    return std::string(tr(R"(Gebruik: veltra [OPTIE...] [WOORD]

VELTRA installeert de opstartmanager op drive 0, verwijdert hem weer en
verbergt of toont partities. Zonder woord start het menu.

Woorden (hoofd- of kleine letters):
  HIDE          alle herkende primaire partities van drive 0 verbergen
  REST          ze alle weer tonen, de eerste herkende wordt actief
  RM            de opstartmanager verwijderen (geweigerd als hij er niet is)
  IN            installeren zonder default
  1Z ... 4Z     installeren, partitie N default, de andere zichtbaar (Alt-FN)
  1V ... 4V     installeren, partitie N default, de andere verborgen (FN)

Opties:
  -h, --help, /?       deze uitleg
  -V, --version        versie en build
)")) + tr(drives.option) +
           tr(R"(  --status             per schijf laten zien wat erop staat, niets schrijven
  --json               bij --status of --list-backups: als JSON
  --list-backups       de back-ups laten zien: tijd, schijf en inhoud; met
                       --drive alleen die van drive 0
  --restore BESTAND    een back-up van LBA 0-4 terugzetten op drive 0; latest
                       of first: de nieuwste of de eerste van drive 0
  --force              bij --restore: ook als de back-up van een andere schijf
                       lijkt
  --no-backup          geen back-up maken voor het schrijven
  -n, --dry-run        bij een woord, --restore, --pause, --default of
                       --boot-lang: laten zien welke sectoren en welke velden
                       van LBA 0 zouden veranderen, niets schrijven
  --pause=SECONDEN     de pauze bij het opstarten, 0 tot 30 seconden (1,5 mag),
                       volgens de klok van het BIOS: bij IN of 1Z ... 4V de
                       pauze die de installatie schrijft (anders 3); zonder
                       woord verandert alleen de pauze van een geïnstalleerde
                       VELTRA
  --default=WOORD      zonder woord: alleen de default van een geïnstalleerde
                       VELTRA veranderen (1z ... 4v, of none)
  --boot-lang=TAAL     de taal van het opstartprogramma, nl of en: bij IN of
                       1Z ... 4V de taal die de installatie schrijft (anders die
                       van een opstartprogramma op de schijf, of die van
                       VELTRA zelf); zonder woord krijgt een geïnstalleerde
                       VELTRA alleen de teksten in die taal
  --lang=TAAL          de taal van het programma: nl of en (anders volgens
                       LANGUAGE, LC_ALL, LC_MESSAGES of LANG)

Back-ups:
  Voor elk schrijven gaan LBA 0-4 naar $XDG_STATE_HOME/veltra (alleen een
  absoluut pad telt), anders naar /var/backups/veltra (root) of
  ~/.local/state/veltra. Die map en elke map erboven moeten van de gebruiker of
  van root zijn en voor niemand anders beschrijfbaar (behalve met sticky bit);
  anders wordt niets geschreven. Per schijf (handtekening, grootte en
  partities) blijven de eerste back-up en de nieuwste 20.
  --restore schrijft alleen een back-up van dezelfde schijf terug
  (handtekening, grootte, begin en lengte van de partities; handtekening 0
  alleen telt niet) en nooit een die niet zou starten of een GPT-schijf zou
  overschrijven.

Een lange optie mag afgekort worden (--dri, --st); een waarde mag ook na = of
direct na -d staan (-dPAD). Na -- volgt alleen nog het woord.

Afsluitcodes:
  0  gedaan
  1  geweigerd of geannuleerd, niets geschreven: schijf in gebruik, tabel
     intussen gewijzigd, geen geldige MBR, GPT-schijf, RM zonder VELTRA, al
     geïnstalleerd, minder dan 2 primaire partities, een vraag niet met ja
     beantwoord, sectoren niet van 512 bytes, een back-up van een andere schijf
  2  fout in de opdrachtregel (ook meer dan 4 schijven); een --drive die geen
     hele schijf of schijfbestand is; een --restore-bestand dat geen hele
     back-up is of een schijf zou geven die niet start; het menu zonder
     terminal of beeldscherm
  3  een schijf kon niet geopend, gelezen of beschreven worden, geen back-up
     gemaakt, of de uitvoer kon niet geschreven worden

)") + tr(drives.examples);
}
