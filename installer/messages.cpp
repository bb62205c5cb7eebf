#include "installer/messages.h"

#include "core/backup.h"
#include "core/catalogue.h"
#include "core/menu_options.h"
#include "core/sector_access.h"
#include "installer/platform.h"
#include "veltra_version.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

const char* const InUse =
    N_("  Drive {0} is in gebruik door een ander programma, er is niets gewijzigd.");
const char* const Changed = N_("  De partitietabel is intussen veranderd, er is niets gewijzigd.");
const char* const ReadFailed = N_("  Lezen van de schijf is mislukt, er is niets gewijzigd.");
const char* const WriteFailed = N_("  Schrijven naar de schijf is mislukt, er is niets gewijzigd.");
const char* const InstallFailed =
    N_("  Schrijven naar de schijf is mislukt, VELTRA is niet geïnstalleerd.");
const char* const RemoveFailed =
    N_("  Schrijven naar de schijf is mislukt, VELTRA is niet verwijderd.");
const char* const Sector0Lost =
    N_("  Schrijven naar sector 0 is mislukt, de schijf start mogelijk niet meer op!");
const char* const NotWiped =
    N_("  VELTRA is verwijderd, maar sector 1 tm 4 konden niet gewist worden.");

// A refusal of --restore that --force may overrule.
std::string forceable(const std::string& why) {
    return why + tr(" Er is niets gewijzigd (--force schrijft hem toch).");
}

// "  VELTRA 9.06 is geinstalleerd. ..." padded with blanks to 70 characters.
std::string installedLine() {
    std::string line = fill(tr("  VELTRA {0} is geinstalleerd. Bij de volgende opstart aktief."),
                            {VELTRA_VERSION});
    if (line.size() < 70) line.resize(70, ' ');
    return line;
}

// The line of a failed write of `task`.
std::string failedLine(Task task, const WriteReport& report) {
    switch (task) {
    case Task::Install:
        return tr(InstallFailed);
    case Task::Remove:
        // LBA 0 holds the old MBR again: the disk starts, only the wipe failed.
        return tr(report.sector0Written ? NotWiped : RemoveFailed);
    case Task::Restore:
        // The old MBR is back and starts the disk; what follows it is not.
        return report.sector0Written
                   ? tr("  Schrijven van LBA 1-4 is mislukt; LBA 0 is al teruggezet, LBA 1-4 niet.")
                   : tr("  Schrijven naar drive 0 is mislukt, LBA 0 is zoals hij was.");
    case Task::HideAll:
    case Task::RestoreAll:
    case Task::Edit:
    case Task::Reconfigure:
        break;
    }
    return tr(WriteFailed);
}

} // namespace

Message refusalMessage(Refusal refusal) {
    switch (refusal) {
    case Refusal::NoMbr:
        return {tr("  Sector 0 bevat geen geldige MBR, VELTRA is niet geïnstalleerd."),
                ExitRefused};
    case Refusal::Gpt:
        return {tr("  Deze schijf heeft een GPT-partitietabel, VELTRA kan hier niet geïnstalleerd "
                   "worden."),
                ExitRefused};
    case Refusal::TooFew:
        return {tr("  VELTRA vond minder dan 2 primaire partities, geannuleerd."), ExitRefused};
    case Refusal::NoSavedMbr:
        return {tr("  Sector 1 bevat geen geldige MBR, VELTRA is niet verwijderd."), ExitRefused};
    case Refusal::NotInstalled:
        return {tr("  VELTRA is niet geïnstalleerd, er is niets gewijzigd."), ExitRefused};
    case Refusal::NoTable:
        return {tr("  Sector 0 bevat geen geldige MBR, er is niets gewijzigd."), ExitRefused};
    case Refusal::NoPauseField:
        return {tr("  Deze VELTRA heeft geen instelbare pauze; verwijder hem en installeer "
                   "opnieuw. Er is niets gewijzigd."),
                ExitRefused};
    case Refusal::OtherBuild:
        return {tr("  Dit opstartprogramma is van een andere versie; verwijder het en "
                   "installeer opnieuw. Er is niets gewijzigd."),
                ExitRefused};
    case Refusal::Nothing:
    case Refusal::None:
        break;
    }
    return {"", ExitDone};
}

Message doneMessage(Task task) {
    switch (task) {
    case Task::HideAll:
        return {tr("  Alle primaire partities op 1e drive zijn nu verborgen."), ExitDone};
    case Task::RestoreAll:
        return {tr("  Alle primaire partities op 1e drive zijn nu zichtbaar."), ExitDone};
    case Task::Remove:
        return {tr("  VELTRA is verwijderd, alles is weer als voorheen."), ExitDone};
    case Task::Install:
        return {installedLine(), ExitDone};
    case Task::Edit:
    case Task::Restore:
    case Task::Reconfigure:
        break;
    }
    return {"", ExitDone};
}

std::string hex2(int value) {
    char text[8];
    std::snprintf(text, sizeof text, "%02Xh", value & 0xFF);
    return text;
}

std::string defaultKeyText(int key) {
    if (const std::string name = defaultKeyName(key); !name.empty()) return name;
    if (key == 0) return tr("geen");
    return hex2(key);
}

std::string pauseText(int ticks) {
    const int tenths = tenthsFromPauseTicks(ticks);
    // TRANSLATORS: seconds with one decimal: {0} the whole seconds, {1} the tenths.
    const std::string seconds =
        fill(tr("{0},{1}"), {std::to_string(tenths / 10), std::to_string(tenths % 10)});
    return fill(trn("{0} s ({1} tik)", "{0} s ({1} tikken)", ticks),
                {seconds, std::to_string(ticks)});
}

std::string reconfiguredText(const SectorBuffer& lba0, std::optional<BootLanguage> language) {
    const std::string key = defaultKeyText(lba0[DefaultKeyOffset]);
    const std::string pause = pauseText(pauseTicksOf(lba0));
    const std::string text =
        language ? fill(tr("VELTRA is bijgewerkt: default {0}, pauze {1}, opstartprogramma {2}. "
                           "Bij de volgende opstart actief."),
                        {key, pause, bootLanguageName(language)})
                 : fill(tr("VELTRA is bijgewerkt: default {0}, pauze {1}. Bij de volgende "
                           "opstart actief."),
                        {key, pause});
    return text + "\n";
}

std::string bootLanguageName(std::optional<BootLanguage> language) {
    if (!language) return tr("onbekend");
    return *language == BootLanguage::English ? tr("Engels") : tr("Nederlands");
}

Message writeMessage(Task task, const WriteReport& report, int drive) {
    switch (report.result) {
    case WriteResult::Written:
        return doneMessage(task);
    case WriteResult::InUse:
        return {fill(tr(InUse), {std::to_string(drive)}), ExitRefused};
    case WriteResult::Changed:
        return {tr(Changed), ExitRefused};
    case WriteResult::ReadFailed:
        return {tr(ReadFailed), ExitDiskError};
    case WriteResult::NoBackup:
        return {fill(tr("  Geen back-up gemaakt ({0}), er is niets gewijzigd."),
                     {backupFailureText(report.backup, drive)}),
                ExitDiskError};
    case WriteResult::SectorSize:
        return {fill(tr("  Drive {0} heeft sectoren van {1} bytes (niet 512), er is niets "
                        "gewijzigd."),
                     {std::to_string(drive), std::to_string(report.sectorSize)}),
                ExitRefused};
    case WriteResult::WriteFailed:
        return {failedLine(task, report), ExitDiskError};
    case WriteResult::Sector0Lost:
        break;
    }
    return {tr(Sector0Lost), ExitDiskError};
}

std::string shownPath(const std::string& path) {
    std::string out;
    for (size_t i = 0; i < path.size(); ++i) {
        const auto c = static_cast<unsigned char>(path[i]);
        // The C1 controls U+0080..U+009F in UTF-8 (C2h 80h..9Fh): U+009B
        // starts an escape sequence on a terminal as ESC [ does.
        const bool c1 = c == 0xC2 && i + 1 < path.size() &&
                        (static_cast<unsigned char>(path[i + 1]) & 0xE0) == 0x80;
        if (c < 0x20 || c == 0x7F || c1) {
            char escaped[16];
            if (c1)
                std::snprintf(escaped, sizeof escaped, "\\xc2\\x%02x",
                              static_cast<unsigned char>(path[++i]));
            else
                std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string unreadableText(int drive, int error) {
    return fill(tr("  Drive {0} is niet te lezen (fout {1}), er is niets gewijzigd."),
                {std::to_string(drive), std::to_string(error)});
}

std::string programLabel() {
    return "  VELTRA " + std::string(VELTRA_VERSION) + ":";
}

std::string openFailureText(int drive) {
    const OpenFailure failure = openFailure(drive);
    const std::string number = std::to_string(drive);
    const std::string path = shownPath(failure.path);
    if (failure.path.empty()) return fill(tr(" Drive {0} is niet gevonden."), {number});
    switch (failure.problem) {
    case OpenProblem::NoRights:
        return tr(noRightsText());
    case OpenProblem::ReadOnly:
        return fill(tr(" Drive {0} ({1}) is alleen-lezen."), {number, path});
    case OpenProblem::Missing:
        return fill(tr(" Drive {0} ({1}) bestaat niet."), {number, path});
    case OpenProblem::Folder:
        return fill(tr(" Drive {0} ({1}) is een map, geen schijf."), {number, path});
    case OpenProblem::NotADisk:
        return fill(tr(notADiskPattern()), {number, path});
    case OpenProblem::Partition:
        return fill(tr(" Drive {0} ({1}) is een partitie, geen hele schijf; geef de schijf op: "
                       "/dev/{2}."),
                    {number, path, shownPath(failure.wholeDisk)});
    case OpenProblem::NotNamed:
        return fill(tr(" Drive {0} is niet gevonden."), {number});
    case OpenProblem::None:
    case OpenProblem::Other:
        break;
    }
    return fill(tr(openErrorPattern()), {number, path, std::to_string(failure.error)});
}

std::string backupFailureText(const BackupFailure& failure, int drive) {
    using Kind = BackupFailure::Kind;
    const std::string path = shownPath(failure.path);
    const std::string because = systemErrorText(failure.error);
    switch (failure.kind) {
    case Kind::ReadFailed:
        return fill(tr("LBA 0-4 van drive {0} zijn niet te lezen"), {std::to_string(drive)});
    case Kind::NoFolder:
        return tr("geen map voor back-ups: HOME is geen absoluut pad");
    case Kind::Missing:
        return fill(tr("{0} bestaat niet"), {path});
    case Kind::NotAFolder:
        return fill(tr("{0} is geen map"), {path});
    case Kind::Link:
        return fill(tr("{0} is een koppeling, geen map"), {path});
    case Kind::ForeignLink:
        return fill(tr("{0} is een koppeling van een ander"), {path});
    case Kind::Untrusted:
        return fill(tr("{0} is niet alleen van deze gebruiker of root"), {path});
    case Kind::CannotCreate:
        return fill(tr("{0} kan niet gemaakt worden ({1})"), {path, because});
    case Kind::CannotWrite:
        return fill(tr("{0} kan niet geschreven worden ({1})"), {path, because});
    case Kind::CannotSync:
        return fill(tr("{0} kan niet bijgewerkt worden ({1})"), {path, because});
    case Kind::TooMany:
        return tr("te veel back-ups in een seconde");
    case Kind::None:
        break;
    }
    return tr("onbekende fout");
}

std::string backupFileText(BackupFileProblem problem) {
    switch (problem) {
    case BackupFileProblem::Unreadable:
        return tr("{0} is niet te lezen");
    case BackupFileProblem::NotRegular:
        return tr("{0} is geen gewoon bestand");
    case BackupFileProblem::NotBackup:
        return tr("{0} is geen back-up van VELTRA");
    case BackupFileProblem::Damaged:
    case BackupFileProblem::None:
        break;
    }
    return tr("{0} is beschadigd of onvolledig");
}

Message restoreRefusalMessage(RestoreCheck check, const Backup& backup, const DiskIdentity& disk) {
    switch (check) {
    case RestoreCheck::OtherSignature:
        return {forceable(fill(tr("  De back-up is van schijf {0}, drive 0 is schijf {1}."),
                               {hex8(backup.identity.signature), hex8(disk.signature)})),
                ExitRefused};
    case RestoreCheck::OtherSize:
        return {forceable(
                    fill(tr("  De back-up is van een schijf van {0} sectoren, drive 0 heeft "
                            "er {1}."),
                         {std::to_string(backup.identity.sectors), std::to_string(disk.sectors)})),
                ExitRefused};
    case RestoreCheck::OtherEntries:
        return {forceable(tr("  De partities van de back-up beginnen of eindigen elders dan die "
                             "van drive 0.")),
                ExitRefused};
    case RestoreCheck::Unidentified:
        return {forceable(tr("  Handtekening 0 en geen partities: niets zegt dat de back-up van "
                             "drive 0 is.")),
                ExitRefused};
    case RestoreCheck::NoBootSignature:
        return {tr("  LBA 0 van de back-up eindigt niet op 55h AAh, de schijf zou niet meer "
                   "starten. Er is niets gewijzigd."),
                ExitUsage};
    case RestoreCheck::NoSavedMbr:
        return {tr("  De back-up bevat VELTRA, maar LBA 1 is geen geldige MBR. Er is niets "
                   "gewijzigd."),
                ExitUsage};
    case RestoreCheck::Stage2Damaged:
        return {tr("  De back-up bevat VELTRA, maar LBA 2-4 zijn niet heel. Er is niets "
                   "gewijzigd."),
                ExitUsage};
    case RestoreCheck::TargetGpt:
        return {tr("  Drive 0 heeft een GPT-partitietabel, die de back-up zou overschrijven. Er "
                   "is niets gewijzigd."),
                ExitUsage};
    case RestoreCheck::Ready:
        break;
    }
    return {"", ExitDone};
}

std::string commandLineText(const std::string& screenLine) {
    size_t start = screenLine.find_first_not_of(' ');
    if (start == std::string::npos) return "veltra:\n";
    std::string text = screenLine.substr(start);
    text.erase(text.find_last_not_of(' ') + 1);
    // "Drive 0 ..." and "De ..." read "drive 0 ...", "de ..." after "veltra: ".
    if (text[0] >= 'A' && text[0] <= 'Z' && !text.starts_with("VELTRA") &&
        !text.starts_with("LBA") && !text.starts_with("GPT"))
        text[0] = static_cast<char>(text[0] - 'A' + 'a');
    return "veltra: " + text + "\n";
}
