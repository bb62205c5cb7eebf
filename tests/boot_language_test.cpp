// The boot program in two languages: the images each language installs,
// which bytes differ between them, the language read back from a disk, the
// choice of language, and new texts for an installed program.
#include "boot_symbols.h"
#include "core/boot_language.h"
#include "core/disk_plan.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <vector>

namespace {

BootImages imagesOfFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in),
                                  std::istreambuf_iterator<char>()};
    EXPECT_EQ(bytes.size(), 2048u) << path;
    BootImages images{};
    for (size_t i = 0; i < bytes.size() && i < 2048; ++i)
        images[i / 512][i % 512] = static_cast<uint8_t>(bytes[i]);
    return images;
}

BootImages imagesIn(BootLanguage language) {
    auto state = std::make_unique<InstallerState>();
    return bootImagesIn(language, *state);
}

bool inTexts(int offset) {
    for (const ProgramRange& range : BootTextRanges)
        if (offset >= range.begin && offset < range.end) return true;
    return false;
}

// A disk with a bootable MBR of two FAT32 partitions; LBA 1-4 empty.
FirstSectors blankDisk() {
    FirstSectors disk{};
    for (int i = 0; i < 440; ++i) disk[0][i] = static_cast<uint8_t>(0x31 + i);
    disk[0][440] = 0x78; // signature
    disk[0][446] = 0x80;
    disk[0][446 + 4] = 0x0C;
    disk[0][446 + 16 + 4] = 0x0B;
    disk[0][446 + 8] = 63;
    disk[0][446 + 16 + 8] = 200;
    disk[0][510] = 0x55;
    disk[0][511] = 0xAA;
    return disk;
}

// The disk once `plan` is written.
FirstSectors after(FirstSectors disk, const DiskPlan& plan) {
    for (const SectorWrite& write : plan.writes)
        for (size_t n = 0; n < write.sectors.size(); ++n) disk[write.lba + n] = write.sectors[n];
    return disk;
}

FirstSectors installed(BootLanguage language, int key = 0x3B, int pause = 36) {
    const DiskPlan plan = planInstall(blankDisk(), key, imagesIn(language), pause);
    EXPECT_EQ(plan.refusal, Refusal::None);
    return after(blankDisk(), plan);
}

// The Dutch images come from the record store, the English ones are built
// in; both are the assembled programs byte for byte. They differ only in
// what the texts make differ: stage 1 only in its read-error text, stage 2
// in its texts and the addresses of the messages; both stages 2 add up with
// the one check value, so either stage 1 starts either stage 2.
TEST(BootLanguage, TheImagesOfBothLanguages) {
    const BootImages dutch = imagesIn(BootLanguage::Dutch);
    const BootImages english = imagesIn(BootLanguage::English);
    EXPECT_EQ(dutch, imagesOfFile(VELTRA_BOOT_BIN_PATH));
    EXPECT_EQ(english, imagesOfFile(VELTRA_BOOT_BIN_EN_PATH));
    int stage1Differences = 0;
    for (int i = 0; i < 512; ++i)
        if (dutch[0][i] != english[0][i]) {
            ++stage1Differences;
            EXPECT_TRUE(inTexts(i)) << "stage 1 byte " << i;
        }
    EXPECT_GT(stage1Differences, 20);
    EXPECT_TRUE(stage2Intact(dutch[0], english[1], english[2], english[3]));
    EXPECT_TRUE(stage2Intact(english[0], dutch[1], dutch[2], dutch[3]));
    EXPECT_TRUE(stage2Intact(english[0], english[1], english[2], english[3]));
    // The texts' places: the read-error text in stage 1, the write-error text
    // and the messages up to ListDrive in stage 2.
    EXPECT_EQ(BootTextRanges[0].begin, 0x0F4);
    EXPECT_EQ(BootTextRanges[0].end, 0x132);
    EXPECT_EQ(BootTextRanges[1].begin, bootsym::notRemovedText - 0x600);
    EXPECT_EQ(BootTextRanges[1].end, 0x700);
    EXPECT_EQ(languageCode(BootLanguage::Dutch), "nl");
    EXPECT_EQ(languageCode(BootLanguage::English), "en");
    EXPECT_EQ(languageOfCode("nl"), BootLanguage::Dutch);
    EXPECT_EQ(languageOfCode("en"), BootLanguage::English);
    EXPECT_EQ(languageOfCode("EN"), std::nullopt);
    EXPECT_EQ(languageOfCode(""), std::nullopt);
}

// An English install writes what a Dutch one writes, in the same order, to
// the same sectors; its bytes differ only where the two programs differ.
TEST(BootLanguage, AnEnglishInstallDiffersOnlyByTheProgram) {
    const BootImages dutch = imagesIn(BootLanguage::Dutch);
    const BootImages english = imagesIn(BootLanguage::English);
    for (int key : {0, 0x3B, 0x6B}) {
        const DiskPlan nl = planInstall(blankDisk(), key, dutch, 100);
        const DiskPlan en = planInstall(blankDisk(), key, english, 100);
        ASSERT_EQ(nl.writes.size(), en.writes.size());
        for (size_t w = 0; w < nl.writes.size(); ++w) {
            ASSERT_EQ(nl.writes[w].lba, en.writes[w].lba);
            ASSERT_EQ(nl.writes[w].sectors.size(), en.writes[w].sectors.size());
            for (size_t n = 0; n < nl.writes[w].sectors.size(); ++n) {
                const uint64_t lba = nl.writes[w].lba + n;
                const int image = lba == 0 ? 0 : lba >= 2 ? static_cast<int>(lba) - 1 : -1;
                for (int i = 0; i < 512; ++i) {
                    const bool programDiffers = image >= 0 &&
                                                i < TableBlockStart + (image ? 80 : 0) &&
                                                dutch[image][i] != english[image][i];
                    EXPECT_EQ(nl.writes[w].sectors[n][i] != en.writes[w].sectors[n][i],
                              programDiffers)
                        << "LBA " << lba << " byte " << i;
                }
            }
        }
        EXPECT_EQ(en.newSector0[DefaultKeyOffset], key);
        EXPECT_EQ(en.newSector0[PauseTicksOffset], 100);
        EXPECT_TRUE(std::equal(en.newSector0.begin() + TableBlockStart, en.newSector0.end(),
                               blankDisk()[0].begin() + TableBlockStart));
    }
}

// The language on a disk is the one whose texts it holds; a changed text
// byte, a stage 2 of the other language, a foreign stage or no install at
// all has none. A byte outside the texts does not decide.
TEST(BootLanguage, TheLanguageOfAnInstalledProgram) {
    const FirstSectors nl = installed(BootLanguage::Dutch);
    const FirstSectors en = installed(BootLanguage::English);
    const struct {
        const char* what;
        FirstSectors disk;
        std::function<void(FirstSectors&)> change;
        std::optional<BootLanguage> language;
    } cases[] = {
        {"Dutch", nl, [](FirstSectors&) {}, BootLanguage::Dutch},
        {"English", en, [](FirstSectors&) {}, BootLanguage::English},
        {"not installed", blankDisk(), [](FirstSectors&) {}, std::nullopt},
        {"no marker", en, [](FirstSectors& d) { d[0][InstallMarkerOffset] = 'v'; }, std::nullopt},
        {"a message byte", nl, [](FirstSectors& d) { d[3][0x19A + 2] ^= 0x20; }, std::nullopt},
        {"the read-error text", en, [](FirstSectors& d) { d[0][0x100] = 'x'; }, std::nullopt},
        {"the last text byte", en, [](FirstSectors& d) { d[4][0xFF] ^= 1; }, std::nullopt},
        {"Dutch stage 1, English stage 2", nl,
         [&](FirstSectors& d) { std::copy(en.begin() + 2, en.end(), d.begin() + 2); },
         std::nullopt},
        {"stage 2 cleared", en, [](FirstSectors& d) { d[2] = d[3] = d[4] = SectorBuffer{}; },
         std::nullopt},
        {"a foreign program", blankDisk(),
         [](FirstSectors& d) {
             std::memcpy(d[0].data() + InstallMarkerOffset, "VELTRA", 6);
             d[3].fill(0x41);
         },
         std::nullopt},
        {"a code byte", en, [](FirstSectors& d) { d[4][0x120] ^= 1; }, BootLanguage::English},
        {"the version notice", nl, [](FirstSectors& d) { d[4][0x1D0] = '!'; }, BootLanguage::Dutch},
        {"the byte before the texts", nl, [](FirstSectors& d) { d[0][0xF3] ^= 1; },
         BootLanguage::Dutch},
    };
    for (const auto& c : cases) {
        FirstSectors disk = c.disk;
        c.change(disk);
        EXPECT_EQ(installedBootLanguage(disk), c.language) << c.what;
    }
}

// An install without a language keeps that of a program on the disk, else
// takes the installer's own.
TEST(BootLanguage, WhichLanguageAnInstallWrites) {
    using L = BootLanguage;
    const FirstSectors nl = installed(L::Dutch);
    const FirstSectors en = installed(L::English);
    const struct {
        std::optional<L> requested;
        const FirstSectors& disk;
        L ui, chosen;
    } cases[] = {
        {L::English, nl, L::Dutch, L::English},
        {L::Dutch, en, L::English, L::Dutch},
        {std::nullopt, en, L::Dutch, L::English},
        {std::nullopt, nl, L::English, L::Dutch},
        {std::nullopt, blankDisk(), L::English, L::English},
        {std::nullopt, blankDisk(), L::Dutch, L::Dutch},
    };
    for (const auto& c : cases) EXPECT_EQ(chooseBootLanguage(c.requested, c.disk, c.ui), c.chosen);
}

// New texts for an installed program: LBA 2-4 first, then LBA 0 with the
// disk's table, default key and pause; the result is the install in the
// other language. Refused without an install, and when the installed stage 1
// would not start the new stage 2.
TEST(BootLanguage, NewTextsForAnInstalledProgram) {
    const FirstSectors nl = installed(BootLanguage::Dutch, 0x6A, 20);
    const BootImages english = imagesIn(BootLanguage::English);
    DiskPlan plan = planNewTexts(nl, english, {});
    ASSERT_EQ(plan.refusal, Refusal::None);
    ASSERT_EQ(plan.writes.size(), 2u);
    EXPECT_EQ(plan.writes[0].lba, 2u);
    EXPECT_EQ(plan.writes[0].sectors.size(), 3u);
    EXPECT_EQ(plan.writes[1].lba, 0u);
    EXPECT_EQ(after(nl, plan), installed(BootLanguage::English, 0x6A, 20));
    // Between the two writes the disk starts too: old stage 1, new stage 2.
    const FirstSectors between = after(nl, {.writes = {plan.writes[0]}});
    EXPECT_TRUE(stage2Intact(between[0], between[2], between[3], between[4]));

    plan = planNewTexts(nl, english, {.defaultKey = 0, .pauseTicks = 55});
    EXPECT_EQ(after(nl, plan), installed(BootLanguage::English, 0, 55));
    plan = planNewTexts(installed(BootLanguage::English), imagesIn(BootLanguage::Dutch), {});
    EXPECT_EQ(after(installed(BootLanguage::English), plan), installed(BootLanguage::Dutch));

    EXPECT_EQ(planNewTexts(blankDisk(), english, {}).refusal, Refusal::NotInstalled);
    FirstSectors otherBuild = nl;
    otherBuild[0][bootsym::stage2CheckOffset] ^= 1;
    EXPECT_EQ(planNewTexts(otherBuild, english, {}).refusal, Refusal::OtherBuild);
    FirstSectors noPause = nl;
    noPause[0][PauseTicksOffset - 1] = 0x49;
    EXPECT_EQ(planNewTexts(noPause, english, {}).refusal, Refusal::OtherBuild);
    EXPECT_TRUE(planNewTexts(otherBuild, english, {}).writes.empty());
}

} // namespace
