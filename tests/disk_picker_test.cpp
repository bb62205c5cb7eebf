// The disk picker through the headless window with a made-up list of disks:
// the keys that choose, and the page it draws.
#include "screens_fixture.h"

#include "screens/disk_picker.h"

using namespace screens_test;

namespace {

const std::vector<DiskChoice> ThreeDisks = {
    {"/dev/sda", 500107862016, "Samsung SSD 860", 1},
    {"/dev/sdb", 2000398934016, "WDC WD20EZRZ", 0},
    {"/dev/nvme0n1", 256060514304, "", -1},
    {"/dev/sdc", 31457280, "Stick", 0},
};

class DiskPickerTest : public ScreenTest {
  protected:
    int pick(const std::vector<DiskChoice>& shown, const std::vector<int>& keys,
             bool needsRights = false) {
        {
            std::lock_guard<std::mutex> hold(screen.keys.lock);
            screen.keys.script.clear(); // keys that the last run left
        }
        queueScript(screen, keys);
        return runDiskPicker(state, screen, shown, needsRights);
    }
    uint32_t background(int textRow) const { return cellAt(screen, textRow, 79).bg; }
};

TEST_F(DiskPickerTest, KeysChooseADiskOrEnd) {
    const struct {
        std::vector<int> keys;
        int chosen;
    } cases[] = {
        {{KeyEnter}, 0},
        {{KeyDown, KeyEnter}, 1},
        {{KeyUp, KeyEnter}, 3}, // the list wraps around
        {{KeyDown, KeyDown, KeyDown, KeyDown, KeyEnter}, 0},
        {{KeyEnd, KeyUp, KeyEnter}, 2},
        {{KeyDown, 'x', KeyF1, KeyHome, KeyEnter}, 0},
        {{KeyDown, KeyEscape, KeyEnter}, -1},
        {{KeyClose}, -1},
        {{KeyDown}, -1}, // the end of the input reads as Escape
    };
    for (const auto& c : cases)
        EXPECT_EQ(pick(ThreeDisks, c.keys), c.chosen) << ::testing::PrintToString(c.keys);
    EXPECT_EQ(pick({}, {KeyEnter, KeyDown, KeyEnter}), -1);
}

TEST_F(DiskPickerTest, PageShowsTheDisksInTheMenuColours) {
    EXPECT_EQ(pick(ThreeDisks, {KeyDown}, true), -1);
    EXPECT_EQ(row(1).find(" Dorvanti VELTRA Manager [Schijf kiezen] "), 19u);
    EXPECT_EQ(row(8),
              row80("  /dev/sda          500.1 GB   Samsung SSD 860          ge\x8Bnstalleerd"));
    EXPECT_EQ(
        row(9),
        row80("  /dev/sdb          2.0 TB     WDC WD20EZRZ             niet ge\x8Bnstalleerd"));
    EXPECT_EQ(row(10), row80("  /dev/nvme0n1      256.1 GB                            onbekend"));
    EXPECT_EQ(row(11).substr(0, 40), "  /dev/sdc          31.5 MB    Stick    ");
    // The selection bar on the second disk; the page and the bands as on the menu.
    EXPECT_EQ(background(9), Plum);
    for (int r : {2, 8, 10, 12, 27}) EXPECT_EQ(background(r), PaleRose) << r;
    EXPECT_EQ(pixel(636, 0), Band[0]);
    EXPECT_EQ(pixel(636, 432 + 15), Band[15]);
    EXPECT_NE(row(25).find("wachtwoord"), std::string::npos);

    pick(ThreeDisks, {}, false);
    EXPECT_EQ(row(25), row80(""));
    pick({}, {});
    EXPECT_EQ(row(8), row80("  Deze computer heeft geen schijven die VELTRA kent."));
}

TEST_F(DiskPickerTest, ALongListScrollsToTheSelection) {
    std::vector<DiskChoice> many;
    for (char c = 'a'; c <= 't'; ++c)
        many.push_back({std::string("/dev/sd") + c, 1000000000, "", 0});
    EXPECT_EQ(pick(many, {KeyEnd}), -1);
    EXPECT_EQ(row(22).substr(0, 12), "  /dev/sdt  ");
    EXPECT_EQ(background(22), Plum);
    EXPECT_EQ(row(7).substr(0, 5), "  ...");
    EXPECT_EQ(pick(many, {KeyEnd, KeyDown}), -1);
    EXPECT_EQ(row(8).substr(0, 12), "  /dev/sda  ");
    EXPECT_EQ(background(8), Plum);
    EXPECT_EQ(row(23).substr(0, 5), "  ...");
}

} // namespace
