// The main menu through the headless window: highlight paths, grey rows, the
// state marks, the words Enter leaves, help and display-only painting.
#include "screens_fixture.h"

#include "core/record_store.h"

using namespace screens_test;

namespace {

// Entry 1 active and visible, entry 2 hidden, entries 3 and 4 visible.
const std::array<Entry, 4> FourPartitions = {
    {{0x80, 0x07}, {0x00, 0x1B}, {0x00, 0x83}, {0x00, 0x0C}}};
const std::array<Entry, 4> TwoPartitions = {{{0x80, 0x07}, {0x00, 0x0B}, {}, {}}};
const std::array<Entry, 4> NoPartition = {{{0x00, 0x05}, {}, {}, {}}};

class MenuTest : public ScreenTest {
  protected:
    // The rows the highlight stands on after each key of `keys`, each prefix
    // run from a fresh entry of the menu.
    std::vector<int> visits(const std::vector<std::string>& keys) {
        std::vector<int> rows;
        for (std::size_t n = 1; n <= keys.size(); ++n) {
            runMenu(std::vector<std::string>(keys.begin(), keys.begin() + n));
            rows.push_back(state.selectedRow);
        }
        return rows;
    }

    std::string wordAfter(const std::vector<std::string>& keys) {
        state.commandWord = "unchanged";
        std::vector<std::string> withEnter = keys;
        withEnter.push_back(Enter);
        runMenu(withEnter);
        return state.commandWord;
    }

    uint32_t fg(int r, int c = 3) const { return cellAt(screen, r, c).fg; }
    uint32_t bg(int r, int c = 80) const { return cellAt(screen, r, c).bg; }

    // The rows 2..27 that are grey on pale rose.
    std::vector<int> greyRows() const {
        std::vector<int> rows;
        for (int r = 2; r <= 27; ++r)
            if (fg(r) == Grey && bg(r) == PaleRose) rows.push_back(r);
        return rows;
    }
};

std::string markedAt74(std::string row) {
    row = row80(row);
    row[73] = '*';
    return row;
}

TEST_F(MenuTest, InstalledDiskOffersRemoveHideAndRestOnly) {
    useDisks({makeMbr(FourPartitions, 59)}, true);
    runMenu({});
    EXPECT_EQ(state.selectedRow, 8);
    EXPECT_EQ(row(1), titleOf(true));
    EXPECT_EQ(row(6), row80("  Drive: 0"));
    EXPECT_EQ(row(8),
              row80("   - VELTRA verwijderen uit het MBR en verder, herplaats het originele MBR."));
    EXPECT_EQ(bg(8), Plum);
    EXPECT_EQ(fg(8), Black);
    EXPECT_EQ(greyRows(), (std::vector<int>{9, 10, 11, 12, 13, 14, 15, 16, 17}));
    for (int r : {2, 3, 18, 19, 20, 27}) {
        EXPECT_EQ(fg(r), Black) << r;
        EXPECT_EQ(bg(r), PaleRose) << r;
    }

    EXPECT_EQ(visits({Down, Down, Down}), (std::vector<int>{19, 20, 8}));
    EXPECT_EQ(visits({Up, Up, Up}), (std::vector<int>{20, 19, 8}));
    EXPECT_EQ(wordAfter({}), "RM");
    EXPECT_EQ(state.lastKey, "\r");
    EXPECT_EQ(wordAfter({Down}), "HIDE");
    EXPECT_EQ(wordAfter({Up}), "REST");
}

TEST_F(MenuTest, NotInstalledWithoutPartitionsOffersInstallHideAndRest) {
    useDisks({makeMbr(NoPartition)}, false);
    runMenu({});
    EXPECT_EQ(state.selectedRow, 9);
    EXPECT_EQ(row(1), titleOf(false));
    EXPECT_EQ(bg(9), Plum);
    EXPECT_EQ(greyRows(), (std::vector<int>{8, 10, 11, 12, 13, 14, 15, 16, 17}));
    EXPECT_EQ(visits({Down, Down, Down}), (std::vector<int>{19, 20, 9}));
    EXPECT_EQ(visits({Up, Up, Up}), (std::vector<int>{20, 19, 9}));
    EXPECT_EQ(wordAfter({}), "IN");
}

TEST_F(MenuTest, TwoPartitionsLimitTheInstallLines) {
    useDisks({makeMbr(TwoPartitions)}, false);
    EXPECT_EQ(visits({Down, Down, Down, Down, Down, Down, Down}),
              (std::vector<int>{10, 11, 12, 13, 19, 20, 9}));
    EXPECT_EQ(visits({Up, Up, Up, Up, Up, Up, Up}), (std::vector<int>{20, 19, 13, 12, 11, 10, 9}));
    runMenu({});
    EXPECT_EQ(greyRows(), (std::vector<int>{8, 14, 15, 16, 17}));
}

TEST_F(MenuTest, FourPartitionsReachEveryLineAndEnterNamesIt) {
    useDisks({makeMbr(FourPartitions)}, false);
    runMenu({});
    EXPECT_EQ(greyRows(), (std::vector<int>{8}));
    const char* words[] = {"IN", "1Z", "1V", "2Z",   "2V",   "3Z",
                           "3V", "4Z", "4V", "HIDE", "REST", "IN"};
    std::vector<std::string> keys;
    for (const char* word : words) {
        EXPECT_EQ(wordAfter(keys), word) << keys.size() << " times Down";
        keys.push_back(Down);
    }
}

TEST_F(MenuTest, MarksShowHiddenVisibleActiveAndTheDefault) {
    useDisks({makeMbr(FourPartitions, 59)}, false);
    runMenu({});
    EXPECT_EQ(row(10),
              row80("  a+ 1z, Installeren met de 1e PP als default, de andere PP's zichtbaar."));
    EXPECT_EQ(
        row(11),
        markedAt74("  a+ 1v, Installeren met de 1e PP als default, de andere PP's verborgen."));
    EXPECT_EQ(row(12),
              row80("   - 2z, Installeren met de 2e PP als default, de andere PP's zichtbaar."));
    EXPECT_EQ(row(13),
              row80("   - 2v, Installeren met de 2e PP als default, de andere PP's verborgen."));
    EXPECT_EQ(row(14).substr(0, 8), "   + 3z,");
    EXPECT_EQ(row(17).substr(0, 8), "   + 4v,");
    EXPECT_EQ(row(9)[73], ' ');
    EXPECT_EQ(row(19), row80("   - HIDE, verberg alle PP's."));
}

TEST_F(MenuTest, MarksAppearOnGreyRowsAndFollowByte112) {
    // Installed: the install lines are grey but still carry the marks.
    useDisks({makeMbr(FourPartitions, 104)}, true);
    runMenu({});
    EXPECT_EQ(
        row(10),
        markedAt74("  a+ 1z, Installeren met de 1e PP als default, de andere PP's zichtbaar."));
    EXPECT_EQ(fg(10, 3), Grey);
    EXPECT_EQ(fg(10, 74), Grey);
    EXPECT_EQ(row(11)[73], ' ');

    // DefaultKey 0 marks "Alleen installeren", whatever the install state.
    useDisks({makeMbr(FourPartitions, 0)}, true);
    runMenu({});
    EXPECT_EQ(
        row(9),
        markedAt74("   - Alleen installeren, waarbij de voorlaatste opstartkeuze default is."));
    EXPECT_EQ(fg(9, 74), Grey);
    for (int r = 10; r <= 17; ++r) EXPECT_EQ(row(r)[73], ' ') << r;

    // The highlight paints the marks of its own row in its own colours.
    useDisks({makeMbr(FourPartitions, 62)}, false);
    runMenu({Up, Up, Up});
    EXPECT_EQ(state.selectedRow, 17);
    EXPECT_EQ(row(17)[73], '*');
    EXPECT_EQ(cellAt(screen, 17, 74).bg, Plum);
}

TEST_F(MenuTest, TitleFooterDriveNumberAndReturnState) {
    useDisks({makeMbr(TwoPartitions)}, false);
    state.commandWord = "unchanged";
    runMenu({Down});
    EXPECT_EQ(state.lastKey, Escape);
    EXPECT_EQ(state.commandWord, "unchanged");
    EXPECT_EQ(row(28).substr(0, 37), ">> F1 is uitleg. Via Escape stoppen. ");
    EXPECT_EQ(row(2), row80(""));
    EXPECT_EQ(
        row(25),
        row80("  Kies 0 tm 3 om een drive te kiezen t.b.v. (on)zichtbaar maken of activeren."));
    EXPECT_EQ(cellAt(screen, 1, 1).fg, White);
    EXPECT_EQ(cellAt(screen, 28, 1).fg, White);
    EXPECT_EQ(screen.row, 22);
    EXPECT_EQ(screen.column, 1);
    EXPECT_EQ(screen.foreground, Magenta);
    EXPECT_EQ(screen.background, PaleRose);
    EXPECT_FALSE(screen.pendingWrap);
    EXPECT_EQ(state.drawOnceCount, 0);
}

TEST_F(MenuTest, PartialRepaintRedrawsRowsThreeToTwentyFourOnly) {
    useDisks({makeMbr(TwoPartitions)}, false);
    state.fullRedraw = 1;
    paintMenuPage(state, screen);
    EXPECT_EQ(state.fullRedraw, 0);
    const std::string page10 = row(10);
    const std::vector<uint32_t> band = {screen.pixels.begin(), screen.pixels.begin() + 640 * 16};

    setColor(screen, Black, Black);
    for (int r : {1, 2, 10, 24, 25, 28}) {
        moveCursor(screen, r, 1);
        printText(screen, std::string(80, 'X'), false);
    }
    paintMenuPage(state, screen);
    for (int r : {1, 2, 25, 28}) EXPECT_EQ(row(r), std::string(80, 'X')) << r;
    EXPECT_EQ(row(10), page10);
    EXPECT_EQ(row(24), row80(""));
    EXPECT_EQ(cellAt(screen, 24, 1).bg, PaleRose);
    EXPECT_EQ(row(6), row80("  Drive: 0"));
    EXPECT_EQ(screen.row, 22);
    EXPECT_EQ(screen.foreground, Magenta);
    EXPECT_EQ(screen.background, PaleRose);

    state.fullRedraw = 1; // and a full one restores the title with its band
    paintMenuPage(state, screen);
    EXPECT_EQ(row(1), titleOf(false));
    EXPECT_TRUE(std::equal(band.begin(), band.end(), screen.pixels.begin()));
}

TEST_F(MenuTest, KeysWithoutMeaningChangeNothing) {
    useDisks({makeMbr(TwoPartitions)}, false);
    const std::string close = "\xFFk";
    const std::string left = "\xFFK";
    const std::string f2 = "\xFF<";
    EXPECT_EQ(wordAfter({close, left, f2, "x", "J", " ", "9", "\x0E"}), "IN");
    EXPECT_EQ(state.selectedRow, 9);
    // An edit key on a row outside the install lines touches no disk.
    const std::vector<uint8_t> before = disks->bytes(0);
    EXPECT_EQ(wordAfter({Up, "a", "-", "+"}), "REST");
    EXPECT_EQ(disks->bytes(0), before);
}

TEST_F(MenuTest, DisplayOnlyPaintsOnceAndReadsNoKey) {
    useDisks({makeMbr(FourPartitions)}, true);
    state.drawOnceCount = 1;
    state.commandWord = "IN";
    state.selectedRow = 19;
    queueScript(screen, {KeyDown});
    runMenuScreen(state, screen);
    EXPECT_EQ(state.drawOnceCount, 0);
    EXPECT_EQ(state.commandWord, "IN");
    EXPECT_EQ(state.selectedRow, 8);
    EXPECT_EQ(bg(8), Plum);
    EXPECT_EQ(row(1), titleOf(true));
    EXPECT_EQ(screen.row, 22);
    EXPECT_EQ(screen.foreground, Magenta);
    EXPECT_EQ(readKey(screen), Down); // still waiting for the next reader
}

TEST_F(MenuTest, HelpOnF1OnlyClosesOnTheNextKeyAndRepaintsAll) {
    useDisks({makeMbr(TwoPartitions)}, false);
    // The key that closes the help neither moves nor ends anything.
    EXPECT_EQ(wordAfter({Down, F1, Down}), "1Z");
    EXPECT_EQ(wordAfter({F1, Enter}), "IN");
    EXPECT_EQ(wordAfter({F1, Escape, Down}), "1Z");
    EXPECT_EQ(wordAfter({F1, F1, F1, F1}), "IN"); // held F1: open, close, open, close
    // Rows 25 and 26 belong to the full repaint only: the help had them.
    EXPECT_EQ(
        row(25),
        row80("  Kies 0 tm 3 om een drive te kiezen t.b.v. (on)zichtbaar maken of activeren."));
    EXPECT_EQ(
        row(26),
        row80(
            "  Partitie: met \"+\" zichtbaar maken, met \"-\" verbergen, met \"a\" aktief maken."));
    EXPECT_EQ(fg(25), Black);
}

// Where colour is the point: the pixels of the highlight, of grey text and of
// the two bands behind the title and the footer.
TEST_F(MenuTest, PixelColoursOfHighlightGreyTextAndBands) {
    useDisks({makeMbr(TwoPartitions)}, false);
    runMenu({});
    // Row 9 highlighted: its blank cell at column 80 is plum all over, its
    // text black on plum.
    for (int y = 128; y < 144; ++y)
        for (int x = 632; x < 640; ++x) ASSERT_EQ(pixel(x, y), Plum) << x << "," << y;
    int black = 0;
    for (int y = 128; y < 144; ++y)
        for (int x = 40; x < 200; ++x) {
            uint32_t p = pixel(x, y);
            ASSERT_TRUE(p == Plum || p == Black) << std::hex << p;
            black += p == Black;
        }
    EXPECT_GT(black, 50);

    // Row 14 is grey: glyphs grey on pale rose.
    int grey = 0;
    for (int y = 208; y < 224; ++y)
        for (int x = 0; x < 640; ++x) {
            uint32_t p = pixel(x, y);
            ASSERT_TRUE(p == Grey || p == PaleRose) << std::hex << p;
            grey += p == Grey;
        }
    EXPECT_GT(grey, 200);

    for (int top : {0, 432}) {
        int white = 0;
        for (int i = 0; i < 16; ++i)
            for (int x = 0; x < 640; ++x) {
                uint32_t p = pixel(x, top + i);
                ASSERT_TRUE(p == Band[i] || p == White)
                    << "band " << top << " row " << i << " x " << x << std::hex << " " << p;
                white += p == White;
            }
        EXPECT_GT(white, 500) << "the text of band " << top << " stays white";
    }
}

} // namespace
