// The gradient band behind the title and footer rows, and the help page.
#include "screens_fixture.h"

#include "core/record_store.h"
#include "screens/gradient_bar.h"
#include "screens/help_screen.h"

using namespace screens_test;

namespace {

class GradientTest : public ScreenTest {
  protected:
    void printBandRow(int textRow, const std::string& text) {
        moveCursor(screen, textRow, 1);
        setColor(screen, White, Magenta);
        printText(screen, row80(text), false);
    }
};

TEST_F(GradientTest, BandsRepaintEverythingButTheWhiteGlyphs) {
    printBandRow(1, titleOf(true));
    printBandRow(28, ">> F1 is uitleg. Via Escape stoppen.");
    const std::vector<uint32_t> before = screen.pixels;
    drawTitleGradient(state, screen, 0);
    drawTitleGradient(state, screen, 432);
    for (int top : {0, 432}) {
        for (int i = 0; i < 16; ++i) {
            const int y = top + i;
            for (int x = 0; x < 640; ++x) {
                const bool wasWhite = (before[y * 640 + x] & 0xFFFFFF) == White;
                ASSERT_EQ(pixel(x, y), wasWhite ? White : Band[i])
                    << "band " << top << " row " << i << " x " << x;
            }
        }
    }
    // Nothing outside the bands changed, and the cells keep their characters.
    for (int y = 16; y < 432; ++y)
        for (int x = 0; x < 640; ++x) ASSERT_EQ(screen.pixels[y * 640 + x], before[y * 640 + x]);
    EXPECT_EQ(rowText(screen, 1), titleOf(true));
}

TEST_F(GradientTest, OnlyExactWhiteIsKept) {
    // writePixel always sets the top byte; other top bytes go in directly.
    screen.pixels[3 * 640 + 10] = 0x00FFFFFF;
    screen.pixels[3 * 640 + 11] = 0x7FFFFFFF;
    writePixel(screen, 12, 3, 0xFFFFFE);   // near-white
    writePixel(screen, 13, 3, 0xFEFFFF);   // near-white
    writePixel(screen, 639, 15, 0xFFFFFF); // white at the last pixel
    drawTitleGradient(state, screen, 0);
    EXPECT_EQ(static_cast<uint32_t>(readPixel(screen, 10, 3)), 0x00FFFFFFu);
    EXPECT_EQ(static_cast<uint32_t>(readPixel(screen, 11, 3)), 0x7FFFFFFFu);
    EXPECT_EQ(pixel(12, 3), Band[3]);
    EXPECT_EQ(pixel(13, 3), Band[3]);
    EXPECT_EQ(pixel(639, 15), White);
    EXPECT_EQ(pixel(638, 15), Band[15]);
}

// The band pixel by pixel through readPixel and writePixel, to hold the
// faster row-wise drawing against.
void referenceBar(InstallerState& state, TextScreen& screen, int top, int left, int right, int red,
                  int green, int blue, uint32_t keep) {
    restoreTo(state, GradientSteps);
    for (int i = 0; i < 16; ++i) {
        for (int x = left; x <= right; ++x)
            if ((readPixel(screen, x, top + i) & 0xFFFFFF) != keep)
                writePixel(screen, x, top + i,
                           0xFF000000u | uint32_t(red) * 0x10000u | uint32_t(green) * 0x100u |
                               uint32_t(blue));
        const int step = readInteger(state);
        red -= step;
        green -= step;
        blue -= step;
    }
}

TEST_F(GradientTest, SameAsPixelByPixel) {
    uint32_t seed = 12345;
    auto next = [&] { return seed = seed * 1664525u + 1013904223u; };
    for (uint32_t& p : screen.pixels) {
        const uint32_t r = next();
        p = (r >> 28) < 5 ? (r & 0xFF000000u) | White : (r >> 28) < 7 ? Grey : r;
    }
    struct Call {
        int top, left, right, red, green, blue;
        uint32_t keep;
    };
    const Call calls[] = {{0, 0, 639, 255, 78, 188, White},   {432, 0, 639, 255, 78, 188, White},
                          {-5, -3, 700, 200, 150, 100, Grey}, {440, 630, 645, 255, 78, 188, White},
                          {200, 17, 17, 90, 80, 70, Black},   {300, 50, 40, 255, 78, 188, White}};
    for (const Call& c : calls) {
        TextScreen reference;
        reference.pixels = screen.pixels;
        InstallerState referenceState;
        referenceBar(referenceState, reference, c.top, c.left, c.right, c.red, c.green, c.blue,
                     c.keep);
        drawGradientBar(state, screen, c.top, c.left, c.right, c.red, c.green, c.blue, c.keep);
        ASSERT_TRUE(reference.pixels == screen.pixels) << "top " << c.top << " left " << c.left;
        EXPECT_EQ(state.readPosition, referenceState.readPosition);
    }
}

TEST_F(GradientTest, ReadPositionEndsOnTheMainMenuText) {
    state.readPosition = MainMenuText + 5;
    drawTitleGradient(state, screen, 0);
    EXPECT_EQ(state.readPosition, MainMenuText);
    EXPECT_EQ(readText(state).substr(0, 28), ">>>>>>>>>>>>>>>>>>>>>>>>>>> ");
}

class HelpTest : public ScreenTest {};

TEST_F(HelpTest, RowsThreeToTwentySixInDarkPurpleUntilAnyKey) {
    useDisks({makeMbr({{{0x80, 0x07}, {}, {}, {}}})}, false);
    state.fullRedraw = 1;
    paintMenuPage(state, screen);
    const std::vector<uint32_t> before = screen.pixels;
    const std::string title = row(1), footer = row(28);

    queueScript(screen, {KeyUp, 'x'});
    showHelpScreen(state, screen);

    EXPECT_EQ(state.fullRedraw, 1);
    EXPECT_EQ(readKey(screen), "x"); // Up closed the help and was used up
    EXPECT_EQ(state.selectedRow, 9);

    EXPECT_EQ(row(3), row80("  INSTALLEREN, VERWIJDEREN OF BEWERKEN"));
    EXPECT_EQ(row(4), row80(""));
    EXPECT_EQ(row(5), row80("  Door op Enter te drukken, evt. na een keuze gemaakt te hebben met "
                            "Pijl-op of"));
    EXPECT_EQ(row(11), row80("  ALS VELTRA GEINSTALLEERD IS"));
    EXPECT_EQ(row(18), row80("  de disk gaat (floppylampje gaat aan) een nieuwe keuze te maken. "
                             "(Alt-)F1 is"));
    EXPECT_EQ(row(25), row80("  zichtbaar of actief worden gemaakt. Met \"-\" of \"+\" of \"a\"."));
    EXPECT_EQ(row(26), row80("  Als er meer drives zijn kan dat daar ook voor. Kies dan 1, 2 of 3 "
                             "of weer 0."));
    for (int r = 3; r <= 26; ++r) {
        const std::string text = row(r);
        if (text != row80("")) {
            EXPECT_EQ(text.substr(0, 2), "  ") << r; // every text starts in column 3
            EXPECT_NE(text[2], ' ') << r;
        }
        for (int c = 1; c <= 80; ++c) {
            ASSERT_EQ(cellAt(screen, r, c).fg, DarkPurple) << r << "," << c;
            ASSERT_EQ(cellAt(screen, r, c).bg, PaleRose) << r << "," << c;
        }
    }
    // The pixels: dark purple glyphs on pale rose, the highlight gone.
    int purple = 0;
    for (int y = 32; y < 416; ++y)
        for (int x = 0; x < 640; ++x) {
            const uint32_t p = pixel(x, y);
            ASSERT_TRUE(p == DarkPurple || p == PaleRose) << x << "," << y;
            purple += p == DarkPurple;
        }
    EXPECT_GT(purple, 10000);
    // Title, row 2, row 27 and footer as the menu left them, gradients included.
    EXPECT_EQ(row(1), title);
    EXPECT_EQ(row(28), footer);
    for (int y : {0, 15, 16, 31, 416, 431, 432, 447})
        for (int x = 0; x < 640; ++x) ASSERT_EQ(screen.pixels[y * 640 + x], before[y * 640 + x]);
}

} // namespace
