#include "installer/status.h"

#include "boot_symbols.h"
#include "core/backup.h"
#include "core/boot_language.h"
#include "core/catalogue.h"
#include "core/disk_plan.h"
#include "core/menu_options.h"
#include "core/partition_table.h"
#include "core/sector_access.h"
#include "installer/main_loop.h"
#include "installer/messages.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <string_view>

namespace {

constexpr int MaxDrives = 4;

struct TypeName {
    int type;
    std::string_view name;
};
// Short names of the common types; the hidden forms carry the name of their type.
// The JSON report gives them as they stand here; the text looks them up.
constexpr TypeName TypeNames[] = {
    {0x00, N_("leeg")},   {0x01, "FAT12"},
    {0x04, "FAT16 <32M"}, {0x05, N_("uitgebreid")},
    {0x06, "FAT16"},      {0x07, "NTFS/exFAT"},
    {0x0B, "FAT32"},      {0x0C, "FAT32 LBA"},
    {0x0E, "FAT16 LBA"},  {0x0F, N_("uitgebreid LBA")},
    {0x81, "Minix"},      {0x82, "Linux swap"},
    {0x83, "Linux"},      {0x8E, "Linux LVM"},
    {0xA5, "FreeBSD"},    {0xEE, "GPT"},
    {0xEF, "EFI"},
};

std::string_view typeName(int type) {
    const int visible = isRecognisedType(type) ? type & ~HiddenBit : type;
    for (const TypeName& t : TypeNames)
        if (t.type == visible) return t.name;
    return N_("onbekend");
}

// `text` with blanks after it up to `width` characters (UTF-8).
std::string padded(std::string text, size_t width) {
    size_t characters = 0;
    for (char c : text) characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    if (characters < width) text.append(width - characters, ' ');
    return text;
}

// Length of the UTF-8 sequence at `at`, 0 when it is not valid UTF-8.
size_t utf8Length(const std::string& text, size_t at) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char c = byte(at);
    size_t length = c < 0x80           ? 1
                    : (c >> 5) == 0x6  ? 2
                    : (c >> 4) == 0xE  ? 3
                    : (c >> 3) == 0x1E ? 4
                                       : 0;
    if (length == 0 || at + length > text.size()) return 0;
    for (size_t i = 1; i < length; ++i)
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
    // No overlong forms, no surrogates, nothing above U+10FFFF.
    const unsigned second = length > 1 ? byte(at + 1) : 0;
    if ((length == 2 && c < 0xC2) || (length == 3 && c == 0xE0 && second < 0xA0) ||
        (length == 3 && c == 0xED && second >= 0xA0) ||
        (length == 4 && c == 0xF0 && second < 0x90) || (length == 4 && c > 0xF4) ||
        (length == 4 && c == 0xF4 && second >= 0x90))
        return 0;
    return length;
}

// A JSON string of any bytes: valid UTF-8 stays, control characters and the
// bytes of invalid sequences become \u escapes (a byte b as U+00bb), so the
// report is valid UTF-8 JSON for any path.
std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const size_t length = utf8Length(text, i);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (length > 1) {
            out.append(text, i, length);
            i += length;
            continue;
        } else if (c < 0x20 || c == 0x7F || length == 0) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
        ++i;
    }
    return out + "\"";
}

std::string yesNo(bool value, bool json) {
    if (json) return value ? "true" : "false";
    return value ? tr("ja") : tr("nee");
}

// One drive's part of the report.
std::string describeDrive(int drive, const BackupSectors& s, bool json) {
    const SectorBuffer& lba0 = s[0];
    const bool installed = carriesInstallMarker(lba0);
    const std::string key = installed ? defaultKeyName(lba0[bootsym::defaultKeyOffset]) : "";
    const bool savedMbr = installed && isBootableMbr(s[1]);
    const bool stage2 = installed && stage2Intact(s[0], s[2], s[3], s[4]);
    const int pause = pauseTicksOf(lba0); // -1: not installed, or a stage 1 without the field
    const std::optional<BootLanguage> language = installedBootLanguage(s);
    const int pauseTenths = pause >= 0 ? tenthsFromPauseTicks(pause) : 0;
    const std::string name = driveName(drive);
    const uint64_t size = driveSize(drive);
    const uint32_t sectorSize = sectorSizeOf(drive);
    const std::string signature = hex8(diskSignature(lba0));
    std::string out;
    if (json) {
        out +=
            "{\"drive\":" + std::to_string(drive) + ",\"path\":" + jsonString(name) +
            ",\"size\":" + std::to_string(size) + ",\"sector_size\":" + std::to_string(sectorSize) +
            ",\"signature\":\"" + signature + "\",\"installed\":" + yesNo(installed, true) +
            ",\"default_key\":" + (key.empty() ? "null" : jsonString(key)) +
            ",\"pause_ticks\":" + (pause >= 0 ? std::to_string(pause) : "null") +
            ",\"pause_seconds\":" +
            (pause >= 0 ? std::to_string(pauseTenths / 10) + "." + std::to_string(pauseTenths % 10)
                        : "null") +
            ",\"saved_mbr_valid\":" + (installed ? yesNo(savedMbr, true) : "null") +
            ",\"stage2_intact\":" + (installed ? yesNo(stage2, true) : "null") +
            ",\"boot_language\":" +
            (installed ? "\"" + std::string(language ? languageCode(*language) : "unknown") + "\""
                       : std::string("null")) +
            ",\"entries\":[";
    } else {
        out += fill(tr("Drive {0}: {1} ({2} MiB, sectoren van {3} bytes, handtekening {4})"),
                    {std::to_string(drive), shownPath(name), std::to_string(size / 1048576),
                     std::to_string(sectorSize), signature}) +
               "\n";
        out +=
            "  VELTRA: " + std::string(installed ? tr("geïnstalleerd") : tr("niet geïnstalleerd"));
        if (installed)
            out += fill(tr(", default {0}, pauze {1}; LBA 1 geldige MBR: {2}; LBA 2-4 heel: {3}"),
                        {key.empty() ? std::string(tr("geen")) : key,
                         pause >= 0 ? pauseText(pause) : std::string(tr("vast (oudere VELTRA)")),
                         yesNo(savedMbr, false), yesNo(stage2, false)});
        out += "\n";
        if (installed)
            out += fill(tr("  Taal van het opstartprogramma: {0}\n"), {bootLanguageName(language)});
    }
    for (int e = 0; e < 4; ++e) {
        const int type = lba0[typeOffset(e)];
        const bool active = lba0[bootFlagOffset(e)] & 0x80;
        const bool hidden = isHiddenType(type);
        const uint32_t start = le32(lba0, bootFlagOffset(e) + 8);
        const uint32_t sectors = le32(lba0, bootFlagOffset(e) + 12);
        if (!json) {
            char number[16];
            std::snprintf(number, sizeof number, "%02X", type);
            char places[2][16];
            std::snprintf(places[0], sizeof places[0], "%10u", start);
            std::snprintf(places[1], sizeof places[1], "%10u", sectors);
            out += fill(tr("  {0}: {1}h {2} {3} {4} start {5}  {6} sectoren"),
                        {std::to_string(e + 1), number, padded(tr(typeName(type).data()), 14),
                         padded(active ? tr("actief") : "", 6),
                         padded(hidden ? tr("verborgen") : "", 10), places[0], places[1]}) +
                   "\n";
            continue;
        }
        char line[160];
        std::snprintf(line, sizeof line,
                      "%s{\"slot\":%d,\"type\":%d,\"name\":%s,\"active\":%s,\"hidden\":%s,"
                      "\"start\":%u,\"sectors\":%u}",
                      e ? "," : "", e + 1, type, jsonString(std::string(typeName(type))).c_str(),
                      yesNo(active, true).c_str(), yesNo(hidden, true).c_str(), start, sectors);
        out += line;
    }
    if (json) out += "]}";
    return out;
}

} // namespace

std::string statusReport(bool json, int& exitCode) {
    exitCode = 0;
    std::string out = json ? "{\"drives\":[" : "";
    bool first = true;
    for (int drive = 0; drive < MaxDrives; ++drive) {
        if (driveName(drive).empty()) continue;
        BackupSectors sectors{};
        const uint32_t error = readSectors(drive, 0, sectors.data(), BackupSectorCount).code;
        if (!first && json) out += ",";
        first = false;
        if (error != 0) {
            exitCode = 3;
            if (json)
                out += "{\"drive\":" + std::to_string(drive) +
                       ",\"path\":" + jsonString(driveName(drive)) +
                       ",\"error\":" + std::to_string(error) + "}";
            else
                out += error == ErrorInvalidHandle
                           ? openFailureText(drive).substr(1) + "\n"
                           : fill(tr("Drive {0}: {1} is niet te lezen (fout {2})."),
                                  {std::to_string(drive), shownPath(driveName(drive)),
                                   std::to_string(error)}) +
                                 "\n";
            continue;
        }
        out += describeDrive(drive, sectors, json);
    }
    if (json) out += "]}\n";
    return out;
}

std::vector<ListedBackup> listedBackups() {
    std::vector<ListedBackup> all;
    for (const std::string& path : listBackups()) {
        ListedBackup listed;
        listed.path = path;
        if (!readBackup(path, listed.backup, listed.problem)) listed.backup = {};
        all.push_back(listed);
    }
    std::stable_sort(all.begin(), all.end(), [](const ListedBackup& a, const ListedBackup& b) {
        return a.backup.time != b.backup.time ? a.backup.time < b.backup.time : a.path < b.path;
    });
    for (size_t i = 0; i < all.size(); ++i) {
        if (all[i].problem != BackupFileProblem::None) continue;
        all[i].first = std::none_of(all.begin(), all.begin() + static_cast<long>(i),
                                    [&](const ListedBackup& earlier) {
                                        return earlier.problem == BackupFileProblem::None &&
                                               earlier.backup.identity == all[i].backup.identity;
                                    });
    }
    return all;
}

namespace {

std::string timeText(int64_t seconds, bool utc, const char* format) {
    const std::time_t when = static_cast<std::time_t>(seconds);
    std::tm parts{};
#ifdef _WIN32
    utc ? gmtime_s(&parts, &when) : localtime_s(&parts, &when);
#else
    utc ? gmtime_r(&when, &parts) : localtime_r(&when, &parts);
#endif
    char text[64];
    std::strftime(text, sizeof text, format, &parts);
    return text;
}

// "1: 06h actief, 2: 0Bh, 3: 07h verborgen, 4: 83h": the four entries in one line.
std::string entriesLine(const SectorBuffer& lba0) {
    std::string line;
    for (int e = 0; e < 4; ++e) {
        const int type = lba0[typeOffset(e)];
        line += (e ? ", " : "") + std::to_string(e + 1) + ": " + hex2(type);
        if (lba0[bootFlagOffset(e)] & 0x80) line += std::string(" ") + tr("actief");
        if (isHiddenType(type)) line += std::string(" ") + tr("verborgen");
    }
    return line;
}

} // namespace

std::string backupsReport(const std::vector<ListedBackup>& backups,
                          const std::optional<DiskIdentity>& disk, bool json) {
    std::string out = json ? "[" : "";
    bool any = false;
    for (const ListedBackup& listed : backups) {
        const Backup& b = listed.backup;
        const bool readable = listed.problem == BackupFileProblem::None;
        if (disk && (!readable || !(b.identity == *disk))) continue;
        const SectorBuffer& lba0 = b.sectors[0];
        const bool installed = readable && carriesInstallMarker(lba0);
        const std::string key = installed ? defaultKeyName(lba0[DefaultKeyOffset]) : "";
        if (json) {
            out += any ? "," : "";
            out += "{\"file\":" + jsonString(listed.path);
            if (!readable) {
                out += ",\"error\":\"damaged\"}";
                any = true;
                continue;
            }
            out += ",\"time\":" + std::to_string(b.time) + ",\"utc\":\"" +
                   timeText(b.time, true, "%Y-%m-%dT%H:%M:%SZ") + "\",\"signature\":\"" +
                   hex8(b.identity.signature) +
                   "\",\"sectors\":" + std::to_string(b.identity.sectors) +
                   ",\"first\":" + yesNo(listed.first, true) +
                   ",\"installed\":" + yesNo(installed, true) +
                   ",\"default_key\":" + (key.empty() ? "null" : jsonString(key)) +
                   ",\"entries\":[";
            for (int e = 0; e < 4; ++e) {
                const int type = lba0[typeOffset(e)];
                out += std::string(e ? "," : "") + "{\"slot\":" + std::to_string(e + 1) +
                       ",\"type\":" + std::to_string(type) +
                       ",\"active\":" + yesNo(lba0[bootFlagOffset(e)] & 0x80, true) +
                       ",\"hidden\":" + yesNo(isHiddenType(type), true) + "}";
            }
            out += "]}";
        } else {
            out += shownPath(listed.path) + "\n";
            if (!readable) {
                out += "  " + fill(backupFileText(listed.problem), {tr("het bestand")}) + "\n";
                any = true;
                continue;
            }
            out += "  " +
                   fill(tr("{0} UTC ({1} lokaal), schijf {2}, {3} sectoren"),
                        {timeText(b.time, true, "%Y-%m-%d %H:%M:%S"),
                         timeText(b.time, false, "%Y-%m-%d %H:%M:%S"), hex8(b.identity.signature),
                         std::to_string(b.identity.sectors)}) +
                   (listed.first ? tr("; de eerste van deze schijf, blijft bewaard") : "") + "\n";
            out += "  " +
                   (installed ? fill(tr("VELTRA geïnstalleerd, default {0}"),
                                     {key.empty() ? std::string(tr("geen")) : key})
                              : std::string(tr("VELTRA niet geïnstalleerd"))) +
                   "; " + entriesLine(lba0) + "\n";
        }
        any = true;
    }
    if (json) return out + "]\n";
    if (!any)
        out += disk ? fill(tr("Geen back-ups van drive 0 in {0}.\n"), {backupFolder()})
                    : fill(tr("Geen back-ups in {0}.\n"), {backupFolder()});
    return out;
}
