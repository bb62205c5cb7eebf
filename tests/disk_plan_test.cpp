// The plans on sectors alone: what refuses a request, whether to ask first,
// which sectors are written in which order and what LBA 0 becomes; and
// whether a backup may be written back.
#include "boot_symbols.h"
#include "core/backup.h"
#include "core/disk_plan.h"
#include "core/partition_table.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

namespace {

struct Entry {
    int flag, type;
};

// A bootable MBR: code bytes, signature, the entries, 55h AAh.
SectorBuffer mbr(std::array<Entry, 4> entries, uint8_t code = 0x31) {
    SectorBuffer s{};
    for (int i = 0; i < 440; ++i) s[i] = static_cast<uint8_t>(code + i);
    for (int e = 0; e < 4; ++e) {
        s[bootFlagOffset(e)] = static_cast<uint8_t>(entries[e].flag);
        s[typeOffset(e)] = static_cast<uint8_t>(entries[e].type);
        s[bootFlagOffset(e) + 8] = static_cast<uint8_t>(e + 1); // start
        s[bootFlagOffset(e) + 12] = 8;                          // length
    }
    s[510] = 0x55;
    s[511] = 0xAA;
    return s;
}

SectorBuffer filled(uint8_t byte) {
    SectorBuffer s;
    s.fill(byte);
    return s;
}

std::vector<Entry> entriesOf(const SectorBuffer& s) {
    std::vector<Entry> out;
    for (int e = 0; e < 4; ++e) out.push_back({s[bootFlagOffset(e)], s[typeOffset(e)]});
    return out;
}

bool operator==(const Entry& a, const Entry& b) {
    return a.flag == b.flag && a.type == b.type;
}

// The writes as (first LBA, sector count) pairs.
std::vector<std::pair<uint64_t, size_t>> shape(const DiskPlan& plan) {
    std::vector<std::pair<uint64_t, size_t>> out;
    for (const SectorWrite& w : plan.writes) out.emplace_back(w.lba, w.sectors.size());
    return out;
}

using Shape = std::vector<std::pair<uint64_t, size_t>>;
const Shape Install = {{1, 4}, {0, 1}};
const Shape Sector0 = {{0, 1}};

TEST(DiskPlan, InstallKeepsTheOldMbrAndWritesLba0Last) {
    const BootImages images = {filled(0xB0), filled(0xB2), filled(0xB3), filled(0xB4)};
    const SectorBuffer good = mbr({{{0x80, 0x06}, {0, 0x83}, {0, 0x05}, {0, 0}}});
    SectorBuffer noCode = good;
    std::fill(noCode.begin(), noCode.begin() + 440, 0);
    SectorBuffer oneByte = noCode;
    oneByte[439] = 1;
    SectorBuffer no55 = good;
    no55[510] = 0x54;
    SectorBuffer noAA = good;
    noAA[511] = 0xAB;
    SectorBuffer gpt{};
    std::memcpy(gpt.data(), "EFI PART", 8);
    SectorBuffer lastByte{};
    lastByte[511] = 1;
    const SectorBuffer oneRecognised = mbr({{{0x80, 0x07}, {0, 0x05}, {0, 0xEE}, {0, 0}}});
    const SectorBuffer fourth = mbr({{{0, 0}, {0, 0}, {0, 0x0B}, {0x80, 0x1C}}});
    struct Case {
        const char* what;
        FirstSectors disk;
        Refusal refusal;
        bool ask;
    } cases[] = {
        {"a bootable MBR, free LBA 1-4", {good, {}, {}, {}, {}}, Refusal::None, false},
        {"recognised in slots 3 and 4", {fourth, {}, {}, {}, {}}, Refusal::None, false},
        {"a byte in LBA 4", {good, {}, {}, {}, lastByte}, Refusal::None, true},
        {"a byte in LBA 1", {good, lastByte, {}, {}, {}}, Refusal::None, true},
        {"no code before the table", {noCode, {}, {}, {}, {}}, Refusal::NoMbr, false},
        {"one byte of code", {oneByte, {}, {}, {}, {}}, Refusal::None, false},
        {"no 55h", {no55, {}, {}, {}, {}}, Refusal::NoMbr, false},
        {"no AAh", {noAA, {}, {}, {}, {}}, Refusal::NoMbr, false},
        {"a GPT header in LBA 1", {good, gpt, {}, {}, {}}, Refusal::Gpt, false},
        {"a protective MBR without code", {noCode, gpt, {}, {}, {}}, Refusal::Gpt, false},
        {"one recognised", {oneRecognised, {}, {}, {}, {}}, Refusal::TooFew, false},
        {"one recognised, LBA 2 used",
         {oneRecognised, {}, lastByte, {}, {}},
         Refusal::TooFew,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (auto [key, pause] : {std::pair{0, 55}, {0x3C, 0}, {0x6B, 546}}) {
            const DiskPlan plan = planInstall(c.disk, key, images, pause);
            EXPECT_EQ(plan.refusal, c.refusal);
            EXPECT_EQ(plan.askFreeSpace, c.ask);
            EXPECT_EQ(plan.decidedOn, c.disk[0]);
            if (c.refusal != Refusal::None) {
                EXPECT_TRUE(plan.writes.empty());
                continue;
            }
            ASSERT_EQ(shape(plan), Install);
            EXPECT_EQ(plan.writes[0].sectors[0], c.disk[0]);
            EXPECT_EQ(plan.writes[0].sectors[1], images[1]);
            EXPECT_EQ(plan.writes[0].sectors[3], images[3]);
            // The program's code, the disk's table block from byte 432 on, the key.
            SectorBuffer want = images[0];
            std::copy(c.disk[0].begin() + 432, c.disk[0].end(), want.begin() + 432);
            if (key) want[112] = static_cast<uint8_t>(key);
            want[48] = static_cast<uint8_t>(pause); // the pause in clock ticks, a word
            want[49] = static_cast<uint8_t>(pause >> 8);
            EXPECT_EQ(plan.writes[1].sectors[0], want);
            EXPECT_EQ(plan.newSector0, want);
        }
    }
}

TEST(DiskPlan, RemovalPutsLba0BackFirstThenWipes) {
    const SectorBuffer saved = mbr({{{0x80, 0x06}, {0, 0x07}, {0, 0}, {0, 0}}}, 0x50);
    SectorBuffer live = mbr({{{0, 0x16}, {0x80, 0x07}, {0, 0x83}, {0, 0}}}, 0x70);
    for (int i = 432; i < 440; ++i) live[i] = static_cast<uint8_t>(i);
    SectorBuffer jumping = live; // a start-up stage whose code runs to byte 439
    jumping[436] = 0x09, jumping[437] = 0xE9, jumping[438] = 0x48, jumping[439] = 0x00;
    const struct {
        SectorBuffer live;
        int keptFrom; // the live sector's bytes from here on stay
    } cases[] = {{live, 432}, {jumping, 440}};
    for (const auto& c : cases) {
        const DiskPlan plan = planRemove({c.live, saved, filled(1), filled(2), filled(3)});
        EXPECT_EQ(plan.refusal, Refusal::None);
        ASSERT_EQ(shape(plan), (Shape{{0, 1}, {1, 4}}));
        SectorBuffer want = saved;
        std::copy(c.live.begin() + c.keptFrom, c.live.end(), want.begin() + c.keptFrom);
        EXPECT_EQ(plan.writes[0].sectors[0], want);
        EXPECT_EQ(plan.newSector0, want);
        for (const SectorBuffer& s : plan.writes[1].sectors) EXPECT_EQ(s, SectorBuffer{});
    }
    for (int i : {436, 437, 438, 439}) { // one byte off: no jump, bytes 432-439 are table
        SectorBuffer near = jumping;
        near[i] ^= 1;
        const DiskPlan plan = planRemove({near, saved, {}, {}, {}});
        EXPECT_EQ(plan.newSector0[433], near[433]) << i; // the live table block from 432
    }
    SectorBuffer noSaved = saved;
    noSaved[510] = 0;
    const DiskPlan refused = planRemove({live, noSaved, {}, {}, {}});
    EXPECT_EQ(refused.refusal, Refusal::NoSavedMbr);
    EXPECT_TRUE(refused.writes.empty());
    EXPECT_EQ(planNotInstalled(live).refusal, Refusal::NotInstalled);
    EXPECT_TRUE(planNotInstalled(live).writes.empty());
}

// HIDE, REST and the editor's keys on four entries: (flag, type) after.
TEST(DiskPlan, TableChangesOfHideRestAndTheEditor) {
    const std::array<Entry, 4> mixed = {{{0x00, 0x05}, {0x81, 0x17}, {0x80, 0x83}, {0x00, 0x00}}};
    const std::array<Entry, 4> none = {{{0x80, 0x05}, {0x00, 0xEE}, {0x00, 0x00}, {0x00, 0x82}}};
    const std::array<Entry, 4> fourth = {{{0x00, 0x00}, {0x00, 0x00}, {0x80, 0x00}, {0x00, 0x1C}}};
    struct Case {
        const char* what;
        std::array<Entry, 4> before;
        std::function<DiskPlan(const SectorBuffer&)> plan;
        Refusal refusal;
        std::vector<Entry> after;
    } cases[] = {
        {"hide",
         mixed,
         planHideAll,
         Refusal::None,
         {{0, 0x05}, {0x81, 0x17}, {0x80, 0x93}, {0, 0}}},
        {"rest",
         mixed,
         planRestoreAll,
         Refusal::None,
         {{0, 0x05}, {0x81, 0x07}, {0, 0x83}, {0, 0}}},
        {"rest, none recognised",
         none,
         planRestoreAll,
         Refusal::None,
         {{0x80, 0x05}, {0, 0xEE}, {0, 0}, {0, 0x82}}},
        {"rest, the fourth",
         fourth,
         planRestoreAll,
         Refusal::None,
         {{0, 0}, {0, 0}, {0, 0}, {0x80, 0x0C}}},
        {"activate 4",
         fourth,
         [](auto& s) { return planEdit(s, 'a', 3); },
         Refusal::None,
         {{0, 0}, {0, 0}, {0, 0}, {0x80, 0x1C}}},
        {"activate 2",
         mixed,
         [](auto& s) { return planEdit(s, 'A', 1); },
         Refusal::None,
         {{0, 0x05}, {0x80, 0x17}, {0, 0x83}, {0, 0}}},
        {"unhide 2",
         mixed,
         [](auto& s) { return planEdit(s, '+', 1); },
         Refusal::None,
         {{0, 0x05}, {0x81, 0x07}, {0x80, 0x83}, {0, 0}}},
        {"hide 1",
         mixed,
         [](auto& s) { return planEdit(s, '-', 0); },
         Refusal::None,
         {{0, 0x15}, {0x81, 0x17}, {0x80, 0x83}, {0, 0}}},
        {"an empty slot", mixed, [](auto& s) { return planEdit(s, 'a', 3); }, Refusal::Nothing, {}},
        {"no such slot", mixed, [](auto& s) { return planEdit(s, 'a', 4); }, Refusal::Nothing, {}},
        {"below the slots",
         mixed,
         [](auto& s) { return planEdit(s, '+', -1); },
         Refusal::Nothing,
         {}},
        {"another key", mixed, [](auto& s) { return planEdit(s, 'x', 1); }, Refusal::Nothing, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const SectorBuffer before = mbr(c.before);
        const DiskPlan plan = c.plan(before);
        EXPECT_EQ(plan.refusal, c.refusal);
        EXPECT_EQ(plan.decidedOn, before);
        if (c.refusal != Refusal::None) {
            EXPECT_TRUE(plan.writes.empty());
            EXPECT_EQ(plan.newSector0, before);
            continue;
        }
        ASSERT_EQ(shape(plan), Sector0);
        EXPECT_EQ(plan.writes[0].sectors[0], plan.newSector0);
        EXPECT_EQ(entriesOf(plan.newSector0), c.after);
        // Nothing but the flags and types changes.
        SectorBuffer rest = plan.newSector0;
        for (int e = 0; e < 4; ++e) {
            rest[bootFlagOffset(e)] = before[bootFlagOffset(e)];
            rest[typeOffset(e)] = before[typeOffset(e)];
        }
        EXPECT_EQ(rest, before);
    }
    for (auto planOf : {planHideAll, planRestoreAll}) {
        SectorBuffer no55 = mbr(mixed);
        no55[511] = 0;
        EXPECT_EQ(planOf(no55).refusal, Refusal::NoTable);
        EXPECT_TRUE(planOf(no55).writes.empty());
    }
}

// Installed backups carry the marker and a stage 2 whose words, with the
// check word in LBA 0, add up to 0.
Backup installedBackup() {
    Backup b;
    b.sectors[0] = mbr({{{0x80, 0x06}, {0, 0x07}, {0, 0}, {0, 0}}});
    std::memcpy(b.sectors[0].data() + InstallMarkerOffset, "VELTRA", 6);
    b.sectors[1] = mbr({{{0x80, 0x06}, {0, 0x07}, {0, 0}, {0, 0}}}, 0x11);
    for (int lba = 2; lba <= 4; ++lba) b.sectors[lba] = filled(static_cast<uint8_t>(lba * 0x21));
    unsigned sum = 0;
    for (int lba = 2; lba <= 4; ++lba)
        for (int i = 0; i < 512; i += 2) sum += b.sectors[lba][i] | b.sectors[lba][i + 1] << 8;
    const unsigned check = (0x10000 - (sum & 0xFFFF)) & 0xFFFF;
    b.sectors[0][bootsym::stage2CheckOffset] = static_cast<uint8_t>(check);
    b.sectors[0][bootsym::stage2CheckOffset + 1] = static_cast<uint8_t>(check >> 8);
    b.identity = identityOf(b.sectors[0], 2048);
    return b;
}

TEST(DiskPlan, WhichBackupsMayBeWrittenBack) {
    const Backup good = installedBackup();
    ASSERT_TRUE(stage2Intact(good.sectors[0], good.sectors[2], good.sectors[3], good.sectors[4]));
    const DiskIdentity disk = good.identity;
    SectorBuffer gpt{};
    std::memcpy(gpt.data(), "EFI PART", 8);
    struct Case {
        const char* what;
        std::function<void(Backup&, DiskIdentity&)> change;
        RestoreCheck check, forced;
        SectorBuffer lba1 = {};
    } cases[] = {
        {"the same disk", [](Backup&, DiskIdentity&) {}, RestoreCheck::Ready, RestoreCheck::Ready},
        {"another signature", [](Backup&, DiskIdentity& d) { d.signature ^= 1; },
         RestoreCheck::OtherSignature, RestoreCheck::Ready},
        {"another size", [](Backup&, DiskIdentity& d) { d.sectors = 4096; },
         RestoreCheck::OtherSize, RestoreCheck::Ready},
        {"a first-format backup knows no size",
         [](Backup& b, DiskIdentity& d) { b.identity.sectors = 0, d.sectors = 9; },
         RestoreCheck::Ready, RestoreCheck::Ready},
        {"an entry starts elsewhere", [](Backup&, DiskIdentity& d) { d.starts[3] = 7; },
         RestoreCheck::OtherEntries, RestoreCheck::Ready},
        {"an entry ends elsewhere", [](Backup&, DiskIdentity& d) { d.lengths[0] = 7; },
         RestoreCheck::OtherEntries, RestoreCheck::Ready},
        {"signature 0, no entries",
         [](Backup& b, DiskIdentity& d) {
             b.identity.signature = d.signature = 0, b.identity.lengths = d.lengths = {};
         },
         RestoreCheck::Unidentified, RestoreCheck::Ready},
        {"signature 0, the last entry has a length",
         [](Backup& b, DiskIdentity& d) {
             b.identity.signature = d.signature = 0;
             b.identity.lengths = d.lengths = {0, 0, 0, 1};
         },
         RestoreCheck::Ready, RestoreCheck::Ready},
        {"no 55h AAh", [](Backup& b, DiskIdentity&) { b.sectors[0][510] = 0; },
         RestoreCheck::NoBootSignature, RestoreCheck::NoBootSignature},
        {"no AAh", [](Backup& b, DiskIdentity&) { b.sectors[0][511] = 0xAB; },
         RestoreCheck::NoBootSignature, RestoreCheck::NoBootSignature},
        {"installed, LBA 1 no MBR", [](Backup& b, DiskIdentity&) { b.sectors[1][511] = 0; },
         RestoreCheck::NoSavedMbr, RestoreCheck::NoSavedMbr},
        {"installed, stage 2 damaged", [](Backup& b, DiskIdentity&) { b.sectors[4][9] ^= 0x80; },
         RestoreCheck::Stage2Damaged, RestoreCheck::Stage2Damaged},
        {"installed, check word damaged",
         [](Backup& b, DiskIdentity&) { b.sectors[0][bootsym::stage2CheckOffset + 1] ^= 1; },
         RestoreCheck::Stage2Damaged, RestoreCheck::Stage2Damaged},
        {"not installed: LBA 1-4 are not looked at",
         [](Backup& b, DiskIdentity&) {
             b.sectors[0][InstallMarkerOffset] = 'v';
             b.sectors[1] = {}, b.sectors[3][0] ^= 1;
         },
         RestoreCheck::Ready, RestoreCheck::Ready},
        {"a GPT disk", [](Backup&, DiskIdentity&) {}, RestoreCheck::TargetGpt,
         RestoreCheck::TargetGpt, gpt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Backup backup = good;
        DiskIdentity target = disk;
        c.change(backup, target);
        EXPECT_EQ(checkRestore(backup, target, c.lba1, false), c.check);
        EXPECT_EQ(checkRestore(backup, target, c.lba1, true), c.forced);
        EXPECT_EQ(isAlwaysRefused(c.check), c.check == c.forced && c.check != RestoreCheck::Ready);
    }
    // Installed: LBA 1-4 before LBA 0; not installed: LBA 0 first.
    const SectorBuffer now = mbr({{{0, 0x83}, {0, 0}, {0, 0}, {0, 0}}});
    DiskPlan plan = planRestore(good, now);
    ASSERT_EQ(shape(plan), (Shape{{1, 4}, {0, 1}}));
    EXPECT_EQ(plan.writes[0].sectors[3], good.sectors[4]);
    EXPECT_EQ(plan.newSector0, good.sectors[0]);
    EXPECT_EQ(plan.decidedOn, now);
    Backup plain = good;
    plain.sectors[0][InstallMarkerOffset + 5] = 'a';
    plan = planRestore(plain, now);
    ASSERT_EQ(shape(plan), (Shape{{0, 1}, {1, 4}}));
    EXPECT_EQ(plan.writes[0].sectors[0], plain.sectors[0]);
    EXPECT_EQ(plan.writes[1].sectors[0], plain.sectors[1]);
}

} // namespace
