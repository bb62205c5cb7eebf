#include "installer/plan_text.h"

#include "core/backup.h"
#include "core/boot_language.h"
#include "core/catalogue.h"
#include "core/menu_options.h"
#include "core/partition_table.h"
#include "installer/messages.h"

#include <algorithm>

namespace {

// " (F3)", " (Alt-F3)", " (geen)" after a DefaultKey byte; nothing for another byte.
std::string keyName(int key) {
    const bool known = key == 0 || !defaultKeyName(key).empty();
    return known ? " (" + defaultKeyText(key) + ")" : "";
}

bool differs(const SectorBuffer& a, const SectorBuffer& b, int from, int to) {
    return !std::equal(a.begin() + from, a.begin() + to, b.begin() + from);
}

// A CHS address of an entry as cylinder/head/sector.
std::string chs(const SectorBuffer& s, int at) {
    const int cylinder = ((s[at + 2] & 0xC0) << 2) | s[at + 3];
    return std::to_string(cylinder) + "/" + std::to_string(s[at + 1]) + "/" +
           std::to_string(s[at + 2] & 0x3F);
}

bool isEmptyEntry(const SectorBuffer& s, int at) {
    return std::all_of(s.begin() + at, s.begin() + at + 16, [](uint8_t b) { return b == 0; });
}

// The six fields of the entry at `at`, each as its name and its value.
struct EntryField {
    const char* name;
    std::string (*value)(const SectorBuffer&, int);
    int from, to; // its bytes in the entry
};
const EntryField EntryFields[] = {
    {N_("vlag"), [](const SectorBuffer& s, int at) { return hex2(s[at]); }, 0, 1},
    {N_("CHS-begin"), [](const SectorBuffer& s, int at) { return chs(s, at); }, 1, 4},
    {N_("type"), [](const SectorBuffer& s, int at) { return hex2(s[at + 4]); }, 4, 5},
    {N_("CHS-einde"), [](const SectorBuffer& s, int at) { return chs(s, at + 4); }, 5, 8},
    {N_("start"), [](const SectorBuffer& s, int at) { return std::to_string(le32(s, at + 8)); }, 8,
     12},
    {N_("lengte"), [](const SectorBuffer& s, int at) { return std::to_string(le32(s, at + 12)); },
     12, 16},
};

// " vlag 80h, type 07h, ..." : every field of an entry.
std::string entryFields(const SectorBuffer& s, int at) {
    std::string text;
    for (const EntryField& field : EntryFields)
        text += std::string(text.empty() ? " " : ", ") + tr(field.name) + " " + field.value(s, at);
    return text;
}

// " type 07h -> 06h, lengte 8001 -> 3969": the fields of an entry that change.
std::string entryChanges(const SectorBuffer& was, const SectorBuffer& will, int at) {
    std::string text;
    for (const EntryField& field : EntryFields)
        if (differs(was, will, at + field.from, at + field.to))
            text += std::string(text.empty() ? " " : ", ") + tr(field.name) + " " +
                    field.value(was, at) + " -> " + field.value(will, at);
    return text;
}

// The fields of LBA 0 that change.
std::string sector0Fields(const SectorBuffer& was, const SectorBuffer& will) {
    std::string fields;
    auto add = [&](const std::string& field) { fields += (fields.empty() ? "" : "; ") + field; };
    const bool wasInstalled = carriesInstallMarker(was);
    const bool willBeInstalled = carriesInstallMarker(will);
    const int key = will[DefaultKeyOffset];
    if (willBeInstalled && !wasInstalled)
        add(fill(tr("opstartcode van VELTRA, default-toets {0}"), {hex2(key) + keyName(key)}));
    else if (wasInstalled && !willBeInstalled)
        add(tr("opstartcode van de bewaarde MBR"));
    else if (differs(was, will, 0, PauseTicksOffset) ||
             differs(was, will, PauseTicksOffset + 2, DefaultKeyOffset) ||
             differs(was, will, DefaultKeyOffset + 1, 440))
        add(tr("opstartcode"));
    if (willBeInstalled && !wasInstalled && pauseTicksOf(will) >= 0)
        add(fill(tr("pauze {0}"), {pauseText(pauseTicksOf(will))}));
    if (wasInstalled && willBeInstalled && was[DefaultKeyOffset] != key)
        add(fill(tr("default-toets {0} -> {1}"),
                 {hex2(was[DefaultKeyOffset]), hex2(key) + keyName(key)}));
    if (wasInstalled && willBeInstalled &&
        differs(was, will, PauseTicksOffset, PauseTicksOffset + 2))
        add(fill(tr("pauze {0} -> {1}"),
                 {pauseTicksOf(was) >= 0 ? pauseText(pauseTicksOf(was)) : "?",
                  pauseText(pauseTicksOf(will))}));
    if (differs(was, will, 440, 444))
        add(fill(tr("handtekening {0} -> {1}"),
                 {hex8(diskSignature(was)), hex8(diskSignature(will))}));
    if (differs(was, will, 444, 446))
        add(fill(tr("bytes 444-445 {0} -> {1}"),
                 {hex2(was[444]) + " " + hex2(was[445]), hex2(will[444]) + " " + hex2(will[445])}));
    for (int e = 0; e < 4; ++e) {
        const int at = bootFlagOffset(e);
        if (!differs(was, will, at, at + 16)) continue;
        const std::string number = std::to_string(e + 1);
        if (isEmptyEntry(was, at))
            add(fill(tr("partitie {0} toegevoegd:{1}"), {number, entryFields(will, at)}));
        else if (isEmptyEntry(will, at))
            add(fill(tr("partitie {0} gewist, was:{1}"), {number, entryFields(was, at)}));
        else
            add(fill(tr("partitie {0}:{1}"), {number, entryChanges(was, will, at)}));
    }
    if (differs(was, will, 510, 512)) add("55h AAh");
    return fields.empty() ? tr("blijft gelijk") : fields;
}

} // namespace

std::string describePlan(const DiskPlan& plan, const FirstSectors& now) {
    std::string out = tr("Proef (--dry-run), er wordt niets geschreven. In deze volgorde:\n");
    for (const SectorWrite& write : plan.writes) {
        const uint64_t last = write.lba + write.sectors.size() - 1;
        out +=
            fill(tr("  LBA {0}, {1} bytes, daarna sync:\n"),
                 {std::to_string(write.lba) + (last != write.lba ? "-" + std::to_string(last) : ""),
                  std::to_string(write.sectors.size() * 512)});
        for (size_t n = 0; n < write.sectors.size(); ++n) {
            const uint64_t lba = write.lba + n;
            const SectorBuffer& will = write.sectors[n];
            std::string what;
            if (lba == 0)
                what = sector0Fields(now[0], will);
            else if (lba < now.size() && will == now[lba])
                what = tr("blijft gelijk");
            else if (will == now[0])
                what = tr("wordt de huidige LBA 0");
            else if (will == SectorBuffer{})
                what = tr("wordt gewist");
            else
                what = tr("verandert");
            out += "    LBA " + std::to_string(lba) + ": " + what + "\n";
        }
    }
    if (plan.writes.empty()) out += tr("  niets\n");
    // A boot program written or given other texts: in which language.
    FirstSectors after = now;
    for (const SectorWrite& write : plan.writes)
        for (size_t n = 0; n < write.sectors.size(); ++n)
            if (write.lba + n < after.size()) after[write.lba + n] = write.sectors[n];
    const std::optional<BootLanguage> language = installedBootLanguage(after);
    if (carriesInstallMarker(after[0]) &&
        (!carriesInstallMarker(now[0]) || installedBootLanguage(now) != language))
        out += fill(tr("  Taal van het opstartprogramma: {0}\n"), {bootLanguageName(language)});
    return out;
}
