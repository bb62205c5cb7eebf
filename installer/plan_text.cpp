#include "installer/plan_text.h"

#include "core/boot_language.h"
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

std::string keyName(int key) {
    if (key >= 0x3B && key <= 0x3E) return " (F" + std::to_string(key - 0x3A) + ")";
    if (key >= 0x68 && key <= 0x6B) return " (Alt-F" + std::to_string(key - 0x67) + ")";
    return key == 0 ? " (geen)" : "";
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
        add("opstartcode van VELTRA, standaardtoets " + hex2(key) + keyName(key));
    else if (wasInstalled && !willBeInstalled)
        add("opstartcode van de bewaarde MBR");
    else if (differs(was, will, 0, PauseTicksOffset) ||
             differs(was, will, PauseTicksOffset + 2, DefaultKeyOffset) ||
             differs(was, will, DefaultKeyOffset + 1, 440))
        add("opstartcode");
    if (willBeInstalled && !wasInstalled && pauseTicksOf(will) >= 0)
        add("pauze " + pauseText(pauseTicksOf(will)));
    if (wasInstalled && willBeInstalled && was[DefaultKeyOffset] != key)
        add("standaardtoets " + hex2(was[DefaultKeyOffset]) + " -> " + hex2(key) + keyName(key));
    if (wasInstalled && willBeInstalled &&
        differs(was, will, PauseTicksOffset, PauseTicksOffset + 2))
        add("pauze " + (pauseTicksOf(was) >= 0 ? pauseText(pauseTicksOf(was)) : "?") + " -> " +
            pauseText(pauseTicksOf(will)));
    if (differs(was, will, 440, 446)) add("handtekening");
    for (int e = 0; e < 4; ++e) {
        const int flag = bootFlagOffset(e);
        const int type = typeOffset(e);
        std::string entry;
        if (was[flag] != will[flag])
            entry += " vlag " + hex2(was[flag]) + " -> " + hex2(will[flag]);
        if (was[type] != will[type])
            entry += " type " + hex2(was[type]) + " -> " + hex2(will[type]);
        if (differs(was, will, flag, flag + 16) && entry.empty()) entry = " andere velden";
        if (!entry.empty()) add("partitie " + std::to_string(e + 1) + ":" + entry);
    }
    if (differs(was, will, 510, 512)) add("55h AAh");
    return fields.empty() ? "blijft gelijk" : fields;
}

} // namespace

std::string describePlan(const DiskPlan& plan, const FirstSectors& now) {
    std::string out = "Proef (--dry-run), er wordt niets geschreven. In deze volgorde:\n";
    for (const SectorWrite& write : plan.writes) {
        const uint64_t last = write.lba + write.sectors.size() - 1;
        out += "  LBA " + std::to_string(write.lba) +
               (last != write.lba ? "-" + std::to_string(last) : "") + ", " +
               std::to_string(write.sectors.size() * 512) + " bytes, daarna sync:\n";
        for (size_t n = 0; n < write.sectors.size(); ++n) {
            const uint64_t lba = write.lba + n;
            const SectorBuffer& will = write.sectors[n];
            std::string what;
            if (lba == 0)
                what = sector0Fields(now[0], will);
            else if (lba < now.size() && will == now[lba])
                what = "blijft gelijk";
            else if (will == now[0])
                what = "wordt de huidige LBA 0";
            else if (will == SectorBuffer{})
                what = "wordt gewist";
            else
                what = "verandert";
            out += "    LBA " + std::to_string(lba) + ": " + what + "\n";
        }
    }
    if (plan.writes.empty()) out += "  niets\n";
    // A boot program written or given other texts: in which language.
    FirstSectors after = now;
    for (const SectorWrite& write : plan.writes)
        for (size_t n = 0; n < write.sectors.size(); ++n)
            if (write.lba + n < after.size()) after[write.lba + n] = write.sectors[n];
    const std::optional<BootLanguage> language = installedBootLanguage(after);
    if (carriesInstallMarker(after[0]) &&
        (!carriesInstallMarker(now[0]) || installedBootLanguage(now) != language))
        out += "  Taal van het opstartprogramma: " + bootLanguageName(language) + "\n";
    return out;
}
