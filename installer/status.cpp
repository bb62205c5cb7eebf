#include "installer/status.h"

#include "boot_symbols.h"
#include "core/backup.h"
#include "core/boot_language.h"
#include "core/disk_plan.h"
#include "core/partition_table.h"
#include "core/sector_access.h"
#include "installer/main_loop.h"
#include "installer/messages.h"

#include <cstdio>
#include <string_view>

namespace {

constexpr int MaxDrives = 4;

struct TypeName {
    int type;
    std::string_view name;
};
// Short names of the common types; the hidden forms carry the name of their type.
constexpr TypeName TypeNames[] = {
    {0x00, "leeg"},      {0x01, "FAT12"},          {0x04, "FAT16 <32M"}, {0x05, "uitgebreid"},
    {0x06, "FAT16"},     {0x07, "NTFS/exFAT"},     {0x0B, "FAT32"},      {0x0C, "FAT32 LBA"},
    {0x0E, "FAT16 LBA"}, {0x0F, "uitgebreid LBA"}, {0x81, "Minix"},      {0x82, "Linux swap"},
    {0x83, "Linux"},     {0x8E, "Linux LVM"},      {0xA5, "FreeBSD"},    {0xEE, "GPT"},
    {0xEF, "EFI"},
};

std::string hex8(uint32_t value) {
    char text[9];
    std::snprintf(text, sizeof text, "%08x", value);
    return text;
}

std::string_view typeName(int type) {
    const int visible = isRecognisedType(type) ? type & ~HiddenBit : type;
    for (const TypeName& t : TypeNames)
        if (t.type == visible) return t.name;
    return "onbekend";
}

// The DefaultKey byte as the key it stands for.
std::string keyName(int key) {
    if (key >= 0x3B && key <= 0x3E) return "F" + std::to_string(key - 0x3A);
    if (key >= 0x68 && key <= 0x6B) return "Alt-F" + std::to_string(key - 0x67);
    return {};
}

uint32_t le32(const SectorBuffer& s, int at) {
    return s[at] | s[at + 1] << 8 | s[at + 2] << 16 | static_cast<uint32_t>(s[at + 3]) << 24;
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
    return value ? "ja" : "nee";
}

// One drive's part of the report.
std::string describeDrive(int drive, const BackupSectors& s, bool json) {
    const SectorBuffer& lba0 = s[0];
    const bool installed = carriesInstallMarker(lba0);
    const std::string key = installed ? keyName(lba0[bootsym::defaultKeyOffset]) : "";
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
        out += "Drive " + std::to_string(drive) + ": " + shownPath(name) + " (" +
               std::to_string(size / 1048576) + " MiB, sectoren van " + std::to_string(sectorSize) +
               " bytes, handtekening " + signature + ")\n";
        out += "  VELTRA: " + std::string(installed ? "geinstalleerd" : "niet geinstalleerd");
        if (installed)
            out += ", standaard " + (key.empty() ? std::string("geen") : key) + ", pauze " +
                   (pause >= 0 ? pauseText(pause) : std::string("vast (oudere VELTRA)")) +
                   "; LBA 1 geldige MBR: " + yesNo(savedMbr, false) +
                   "; LBA 2-4 stage 2 heel: " + yesNo(stage2, false);
        out += "\n";
        if (installed)
            out += "  Taal van het opstartprogramma: " + bootLanguageName(language) + "\n";
    }
    for (int e = 0; e < 4; ++e) {
        const int type = lba0[typeOffset(e)];
        const bool active = lba0[bootFlagOffset(e)] & 0x80;
        const bool hidden = isRecognisedType(type) && (type & HiddenBit);
        const uint32_t start = le32(lba0, bootFlagOffset(e) + 8);
        const uint32_t sectors = le32(lba0, bootFlagOffset(e) + 12);
        char line[160];
        if (json) {
            std::snprintf(line, sizeof line,
                          "%s{\"slot\":%d,\"type\":%d,\"name\":%s,\"active\":%s,\"hidden\":%s,"
                          "\"start\":%u,\"sectors\":%u}",
                          e ? "," : "", e + 1, type,
                          jsonString(std::string(typeName(type))).c_str(),
                          yesNo(active, true).c_str(), yesNo(hidden, true).c_str(), start, sectors);
        } else {
            std::snprintf(line, sizeof line,
                          "  %d: %02Xh %-14s %-6s %-10s start %10u  %10u sectoren\n", e + 1, type,
                          std::string(typeName(type)).c_str(), active ? "aktief" : "",
                          hidden ? "verborgen" : "", start, sectors);
        }
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
                           : "Drive " + std::to_string(drive) + ": " + shownPath(driveName(drive)) +
                                 " is niet te lezen (fout " + std::to_string(error) + ").\n";
            continue;
        }
        out += describeDrive(drive, sectors, json);
    }
    if (json) out += "]}\n";
    return out;
}
