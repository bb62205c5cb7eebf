#include "installer/messages.h"

#include "core/sector_access.h"
#include "veltra_version.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

const std::string InUse = " is in gebruik door een ander programma, er is niets gewijzigd.";
const std::string Changed = "  De partitietabel is intussen gewijzigd, er is niets veranderd.";
const std::string ReadFailed = "  Lezen van de schijf is mislukt, er is niets veranderd.";
const std::string WriteFailed = "  Schrijven naar de schijf is mislukt, er is niets veranderd.";
const std::string InstallFailed =
    "  Schrijven naar de schijf is mislukt, VELTRA is niet geinstalleerd.";
const std::string RemoveFailed =
    "  Schrijven naar de schijf is mislukt, VELTRA is niet verwijderd.";
const std::string Sector0Lost =
    "  Schrijven naar sector 0 is mislukt, de schijf start mogelijk niet meer op!";
const std::string NotWiped =
    "  VELTRA is verwijderd, maar sector 1 tm 4 konden niet gewist worden.";
const std::string Forceable = " Er is niets veranderd (--force schrijft hem toch).";

std::string hex8(uint32_t value) {
    char text[9];
    std::snprintf(text, sizeof text, "%08x", value);
    return text;
}

std::string systemText(int error) {
#ifdef _WIN32
    return "fout " + std::to_string(error);
#else
    return std::strerror(error);
#endif
}

// "  VELTRA 9.06 is geinstalleerd. ..." padded with blanks to 70 characters.
std::string installedLine() {
    std::string line = "  VELTRA " + std::string(VELTRA_VERSION) +
                       " is geinstalleerd. Bij de volgende opstart aktief.";
    if (line.size() < 70) line.resize(70, ' ');
    return line;
}

std::string driveWord(int drive) {
    return "Drive " + std::to_string(drive);
}

// The line of a failed write of `task`.
std::string failedLine(Task task, const WriteReport& report) {
    switch (task) {
    case Task::Install:
        return InstallFailed;
    case Task::Remove:
        // LBA 0 holds the old MBR again: the disk starts, only the wipe failed.
        return report.sector0Written ? NotWiped : RemoveFailed;
    case Task::Restore:
        // The old MBR is back and starts the disk; what follows it is not.
        return report.sector0Written
                   ? "  Schrijven van LBA 1-4 is mislukt; LBA 0 is al teruggezet, LBA 1-4 niet."
                   : "  Schrijven naar drive 0 is mislukt, LBA 0 is zoals hij was.";
    case Task::HideAll:
    case Task::RestoreAll:
    case Task::Edit:
    case Task::Reconfigure:
        break;
    }
    return WriteFailed;
}

} // namespace

Message refusalMessage(Refusal refusal) {
    switch (refusal) {
    case Refusal::NoMbr:
        return {"  Sector 0 bevat geen geldige MBR, VELTRA is niet geinstalleerd.", ExitRefused};
    case Refusal::Gpt:
        return {"  Deze schijf heeft een GPT-partitietabel, VELTRA kan hier niet geinstalleerd "
                "worden.",
                ExitRefused};
    case Refusal::TooFew:
        return {"  VELTRA vond minder dan 2 primaire partities, geannuleerd.", ExitRefused};
    case Refusal::NoSavedMbr:
        return {"  Sector 1 bevat geen geldige MBR, VELTRA is niet verwijderd.", ExitRefused};
    case Refusal::NotInstalled:
        return {"  VELTRA is niet geinstalleerd, er is niets gewijzigd.", ExitRefused};
    case Refusal::NoTable:
        return {"  Sector 0 bevat geen geldige MBR, er is niets gewijzigd.", ExitRefused};
    case Refusal::NoPauseField:
        return {"  Deze VELTRA heeft geen instelbare pauze; verwijder hem en installeer opnieuw. "
                "Er is niets gewijzigd.",
                ExitRefused};
    case Refusal::OtherBuild:
        return {"  Dit opstartprogramma is van een andere versie; verwijder het en installeer "
                "opnieuw. Er is niets gewijzigd.",
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
        return {"  Alle primaire partities op 1e drive zijn nu verborgen.", ExitDone};
    case Task::RestoreAll:
        return {"  Alle primaire partities op 1e drive zijn nu zichtbaar.", ExitDone};
    case Task::Remove:
        return {"  VELTRA is verwijderd, alles is weer als voorheen.", ExitDone};
    case Task::Install:
        return {installedLine(), ExitDone};
    case Task::Edit:
    case Task::Restore:
    case Task::Reconfigure:
        break;
    }
    return {"", ExitDone};
}

std::string defaultKeyText(int key) {
    if (key >= 0x3B && key <= 0x3E) return "F" + std::to_string(key - 0x3A);
    if (key >= 0x68 && key <= 0x6B) return "Alt-F" + std::to_string(key - 0x67);
    if (key == 0) return "geen";
    char text[8];
    std::snprintf(text, sizeof text, "%02Xh", key & 0xFF);
    return text;
}

std::string pauseText(int ticks) {
    const int tenths = tenthsFromPauseTicks(ticks);
    return std::to_string(tenths / 10) + "," + std::to_string(tenths % 10) + " s (" +
           std::to_string(ticks) + (ticks == 1 ? " tik)" : " tikken)");
}

std::string reconfiguredText(const SectorBuffer& lba0, std::optional<BootLanguage> language) {
    return "VELTRA is bijgewerkt: standaard " + defaultKeyText(lba0[DefaultKeyOffset]) +
           ", pauze " + pauseText(pauseTicksOf(lba0)) +
           (language ? ", opstartprogramma " + bootLanguageName(language) : "") +
           ". Bij de volgende opstart aktief.\n";
}

std::string bootLanguageName(std::optional<BootLanguage> language) {
    if (!language) return "onbekend";
    return *language == BootLanguage::English ? "Engels" : "Nederlands";
}

Message writeMessage(Task task, const WriteReport& report, int drive) {
    switch (report.result) {
    case WriteResult::Written:
        return doneMessage(task);
    case WriteResult::InUse:
        return {"  " + driveWord(drive) + InUse, ExitRefused};
    case WriteResult::Changed:
        return {Changed, ExitRefused};
    case WriteResult::ReadFailed:
        return {ReadFailed, ExitDiskError};
    case WriteResult::NoBackup:
        return {"  Geen back-up gemaakt (" + backupFailureText(report.backup, drive) +
                    "), er is niets veranderd.",
                ExitDiskError};
    case WriteResult::SectorSize:
        return {"  " + driveWord(drive) + " heeft sectoren van " +
                    std::to_string(report.sectorSize) + " bytes (niet 512), er is niets gewijzigd.",
                ExitRefused};
    case WriteResult::WriteFailed:
        return {failedLine(task, report), ExitDiskError};
    case WriteResult::Sector0Lost:
        break;
    }
    return {Sector0Lost, ExitDiskError};
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

std::string programLabel() {
    return "  VELTRA " + std::string(VELTRA_VERSION) + ":";
}

std::string openFailureText(int drive) {
    const OpenFailure failure = openFailure(drive);
    if (failure.path.empty()) return " " + driveWord(drive) + " is niet gevonden.";
    const std::string named = " " + driveWord(drive) + " (" + shownPath(failure.path) + ")";
    switch (failure.problem) {
    case OpenProblem::NoRights:
#ifdef _WIN32
        return " Niet voldoende rechten. Start met Administrator-rechten.";
#else
        return " Niet voldoende rechten. Start als root, bijvoorbeeld met sudo.";
#endif
    case OpenProblem::ReadOnly:
        return named + " is alleen-lezen.";
    case OpenProblem::Missing:
        return named + " bestaat niet.";
    case OpenProblem::Folder:
        return named + " is een map, geen schijf.";
    case OpenProblem::NotADisk:
#ifdef _WIN32
        return " " + failure.path + " is geen schijf: geef een nummer of \\\\.\\PhysicalDriveN op.";
#else
        return named + " is geen schijf en geen schijfbestand.";
#endif
    case OpenProblem::Partition:
        return named + " is een partitie, geen hele schijf; geef de schijf op: /dev/" +
               shownPath(failure.wholeDisk) + ".";
    case OpenProblem::NotNamed:
        return " " + driveWord(drive) + " is niet gevonden.";
    case OpenProblem::None:
    case OpenProblem::Other:
        break;
    }
#ifdef _WIN32
    return " Niet voldoende rechten. Start met Administrator-rechten.";
#else
    return named + " kan niet geopend worden (fout " + std::to_string(failure.error) + ").";
#endif
}

std::string backupFailureText(const BackupFailure& failure, int drive) {
    using Kind = BackupFailure::Kind;
    const std::string path = shownPath(failure.path);
    const std::string because = " (" + systemText(failure.error) + ")";
    switch (failure.kind) {
    case Kind::ReadFailed:
        return "LBA 0-4 van drive " + std::to_string(drive) + " zijn niet te lezen";
    case Kind::NoFolder:
        return "geen map voor back-ups: HOME is geen absoluut pad";
    case Kind::Missing:
        return path + " bestaat niet";
    case Kind::NotAFolder:
        return path + " is geen map";
    case Kind::Link:
        return path + " is een koppeling, geen map";
    case Kind::ForeignLink:
        return path + " is een koppeling van een ander";
    case Kind::Untrusted:
        return path + " is niet alleen van deze gebruiker of root";
    case Kind::CannotCreate:
        return path + " kan niet gemaakt worden" + because;
    case Kind::CannotWrite:
        return path + " kan niet geschreven worden" + because;
    case Kind::CannotSync:
        return path + " kan niet bijgewerkt worden" + because;
    case Kind::TooMany:
        return "te veel back-ups in een seconde";
    case Kind::None:
        break;
    }
    return "onbekende fout";
}

std::string backupFileText(BackupFileProblem problem) {
    switch (problem) {
    case BackupFileProblem::Unreadable:
        return "is niet te lezen";
    case BackupFileProblem::NotRegular:
        return "is geen gewoon bestand";
    case BackupFileProblem::NotBackup:
        return "is geen back-up van VELTRA";
    case BackupFileProblem::Damaged:
    case BackupFileProblem::None:
        break;
    }
    return "is beschadigd of onvolledig";
}

Message restoreRefusalMessage(RestoreCheck check, const Backup& backup, const DiskIdentity& disk) {
    switch (check) {
    case RestoreCheck::OtherSignature:
        return {"  De back-up is van schijf " + hex8(backup.identity.signature) +
                    ", drive 0 is schijf " + hex8(disk.signature) + "." + Forceable,
                ExitRefused};
    case RestoreCheck::OtherSize:
        return {"  De back-up is van een schijf van " + std::to_string(backup.identity.sectors) +
                    " sectoren, drive 0 heeft er " + std::to_string(disk.sectors) + "." + Forceable,
                ExitRefused};
    case RestoreCheck::OtherEntries:
        return {"  De partities van de back-up beginnen of eindigen elders dan die van drive 0." +
                    Forceable,
                ExitRefused};
    case RestoreCheck::Unidentified:
        return {"  Handtekening 0 en geen partities: niets zegt dat de back-up van drive 0 is." +
                    Forceable,
                ExitRefused};
    case RestoreCheck::NoBootSignature:
        return {"  LBA 0 van de back-up eindigt niet op 55h AAh, de schijf zou niet meer starten. "
                "Er is niets veranderd.",
                ExitUsage};
    case RestoreCheck::NoSavedMbr:
        return {"  De back-up bevat VELTRA, maar LBA 1 is geen geldige MBR. Er is niets veranderd.",
                ExitUsage};
    case RestoreCheck::Stage2Damaged:
        return {"  De back-up bevat VELTRA, maar LBA 2-4 zijn niet heel. Er is niets veranderd.",
                ExitUsage};
    case RestoreCheck::TargetGpt:
        return {"  Drive 0 heeft een GPT-partitietabel, die de back-up zou overschrijven. Er is "
                "niets veranderd.",
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
