#include "installer/plan_text.h"

#include "core/boot_language.h"
#include "core/catalogue.h"
#include "core/menu_options.h"
#include "core/partition_table.h"
#include "installer/messages.h"

#include <algorithm>
#include <cstdio>

namespace {

std::string hex2(int value) {
    char text[8];
    std::snprintf(text, sizeof text, "%02Xh", value & 0xFF);
    return text;
}

// " (F3)", " (Alt-F3)", " (geen)" after a DefaultKey byte; nothing for another byte.
std::string keyName(int key) {
    const bool known = key == 0 || !defaultKeyName(key).empty();
    return known ? " (" + defaultKeyText(key) + ")" : "";
}

bool differs(const SectorBuffer& a, const SectorBuffer& b, int from, int to) {
    return !std::equal(a.begin() + from, a.begin() + to, b.begin() + from);
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
    if (differs(was, will, 440, 446)) add(tr("handtekening"));
    for (int e = 0; e < 4; ++e) {
        const int flag = bootFlagOffset(e);
        const int type = typeOffset(e);
        std::string entry;
        if (was[flag] != will[flag])
            entry += fill(tr(" vlag {0} -> {1}"), {hex2(was[flag]), hex2(will[flag])});
        if (was[type] != will[type])
            entry += fill(tr(" type {0} -> {1}"), {hex2(was[type]), hex2(will[type])});
        if (differs(was, will, flag, flag + 16) && entry.empty()) entry = tr(" andere velden");
        if (!entry.empty()) add(fill(tr("partitie {0}:{1}"), {std::to_string(e + 1), entry}));
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
