#include "PixelSupport.h"

#include "CCBitmapCache.h"
#include "CCDrawContext.h"
#include "CCFont.h"
#include "EmbeddedFonts.h"

#include <gtest/gtest.h>

namespace {

FontDescription black(int size, int bold = 0) {
    FontDescription d;
    d.size = uint8_t(size);
    d.bold = bold;
    d.red = d.green = d.blue = 0;
    return d;
}

// Leftmost and rightmost columns where the text left ink on a white target.
std::pair<int, int> inkColumns(const CCBitmap& target) {
    int left = target.width(), right = -1;
    for (int y = 0; y < target.height(); ++y)
        for (int x = 0; x < target.width(); ++x)
            if (target.pixelAt(x, y)[0] < 200) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
    return {left, right};
}

} // namespace

TEST(Fonts, TheRegistryKeepsOneFontPerDescription) {
    FontDescription red = black(12);
    red.red = 255;
    CCFont* a = findFont(black(12));
    CCFont* b = findFont(black(12));
    CCFont* c = findFont(red);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
    // The same description with another face is another font.
    const FontData tondo = embeddedFont(FontRole::TondoRegular);
    EXPECT_NE(findFont(black(12), tondo.data, tondo.size), a);
    EXPECT_EQ(defaultFont(), findFont(FontDescription{}));
    EXPECT_EQ(defaultFont()->pointSize(), 10);
}

TEST(Fonts, BoldAndItalicPickTheirBuiltInFaces) {
    EXPECT_EQ(findFont(black(10, 1))->faceStyle(), "Bold");
    FontDescription italic = black(10);
    italic.italic = 1;
    EXPECT_EQ(findFont(italic)->faceStyle(), "Italic");
    italic.bold = 1;
    EXPECT_EQ(findFont(italic)->faceStyle(), "Bold Italic");
    EXPECT_EQ(findFont(black(10, 2))->faceStyle(), "Regular"); // only 1 means bold
    const FontData tondo = embeddedFont(FontRole::TondoBold);
    EXPECT_EQ(findFont(black(12, 1), tondo.data, tondo.size)->faceFamily(), "Comfortaa");
}

TEST(Fonts, AFaceThatDoesNotLoadMeasuresZeroAndDrawsNothing) {
    const uint8_t garbage[16] = {1, 2, 3};
    CCFont* broken = findFont(black(12), garbage, sizeof garbage);
    ASSERT_NE(broken, nullptr);
    EXPECT_FALSE(broken->hasFace());
    // Asking again does not pile up another broken font.
    const uint8_t otherGarbage[8] = {4, 5};
    EXPECT_EQ(findFont(black(12), otherGarbage, sizeof otherGarbage), broken);
    // The same description with data that loads still gets a working font.
    const FontData tondo = embeddedFont(FontRole::TondoRegular);
    EXPECT_TRUE(findFont(black(12), tondo.data, tondo.size)->hasFace());
    EXPECT_EQ(broken->textWidth("Hello"), 0);
    CCBitmap target;
    makeTarget(target, 40, 20, 255, 255, 255);
    CCDrawContext context(&target);
    broken->drawText(&context, "Hello", CCRect{0, 0, 40, 20}, 0);
    drawString(&context, nullptr, "Hello", CCRect{0, 0, 40, 20}, 0);
    EXPECT_EQ(inkColumns(target).second, -1);
}

TEST(Fonts, WidthsGrowWithTextAndSpacing) {
    CCFont* font = findFont(black(13));
    EXPECT_EQ(font->textWidth(""), 0);
    const int one = font->textWidth("Firmware");
    EXPECT_GT(one, 30);
    EXPECT_GT(font->textWidth("Firmware update"), one);
    EXPECT_EQ(font->measure(0, "Firmware"), one);
    FontDescription spaced = black(13);
    spaced.spacing = 50;
    EXPECT_GT(findFont(spaced)->textWidth("Firmware"), one + 10);
    FontDescription narrow = black(13);
    narrow.width = 50;
    EXPECT_LT(findFont(narrow)->textWidth("Firmware"), one * 3 / 4);
}

TEST(Fonts, CentredTextWiderThanItsBoxStartsLeftOfIt) {
    CCFont* font = findFont(black(12));
    const char* text = "A text much wider than the box it is given";
    CCBitmap target;
    makeTarget(target, 400, 20, 255, 255, 255);
    CCDrawContext context(&target);
    const CCRect box{150, 0, 250, 20};
    font->drawText(&context, text, box, ALIGN_CENTRE);
    const auto [left, right] = inkColumns(target);
    EXPECT_LT(left, box.left);
    EXPECT_GT(right, box.right);

    // Alignment 3: the beginning, "...", the end, about the box's width.
    const std::string shortened = font->middleEllipsis(text, box.width());
    EXPECT_EQ(shortened.rfind("A text", 0), 0u) << shortened;
    EXPECT_NE(shortened.find("..."), std::string::npos) << shortened;
    EXPECT_EQ(shortened.substr(shortened.size() - 3), "ven") << shortened;
    EXPECT_LE(font->textWidth(shortened.c_str()), box.width() + 8);
    makeTarget(target, 400, 20, 255, 255, 255);
    font->drawText(&context, text, box, ALIGN_CENTRE_ELLIPSIS);
    const auto [left3, right3] = inkColumns(target);
    EXPECT_GE(left3, box.left - 4);
    EXPECT_LE(right3, box.right + 4);
    // A text that fits is left alone.
    EXPECT_EQ(font->textWidth("Short"), font->textWidth(font->middleEllipsis("Short", 400).c_str()));
}

TEST(Fonts, RightAlignedTextEndsAtTheBoxEdge) {
    CCFont* font = findFont(black(12));
    CCBitmap target;
    makeTarget(target, 200, 20, 255, 255, 255);
    CCDrawContext context(&target);
    font->drawText(&context, "Ready", CCRect{0, 0, 150, 20}, ALIGN_RIGHT);
    const auto [left, right] = inkColumns(target);
    EXPECT_LE(right, 150);
    EXPECT_GE(right, 145);
    EXPECT_NEAR(right - left + 1, font->textWidth("Ready"), 2);
}

namespace {

// Cells 8 x 10: cell i is filled with blue value i + 1, so drawn cells can be told apart.
struct BitmapFontRig {
    BitmapFontRig()
        : data(makeResource(8 * 96, 10, 24,
                            [](int x, int) { return std::vector<uint8_t>{uint8_t(x / 8 + 1), 0, 0}; })),
          cache([this](int id, const uint8_t*& bytes, size_t& size) {
              bytes = data.data();
              size = data.size();
              return id == 300;
          }),
          font(cache, 300, 96) {
        makeTarget(target, 60, 12, 0, 0, 0);
    }
    std::vector<uint8_t> data;
    CCBitmapCache cache;
    CCBitmapFont font;
    CCBitmap target;
};

} // namespace

TEST(BitmapFont, TextEndsAtTheLastWholeCellTwoPixelsInsideTheEdge) {
    BitmapFontRig rig;
    CCDrawContext context(&rig.target);
    rig.font.drawText(&context, "ABCDEFGH", CCRect{0, 0, 40, 12}, ALIGN_LEFT);
    EXPECT_EQ(rig.target.pixelAt(0, 2)[0], 'A' - 32 + 1);
    EXPECT_EQ(rig.target.pixelAt(31, 2)[0], 'D' - 32 + 1);
    EXPECT_EQ(rig.target.pixelAt(32, 2)[0], 0); // E would cross 38
    EXPECT_EQ(rig.font.textWidth("ABCDEFGH"), 64);
    EXPECT_EQ(rig.font.pointSize(), 10 * 100 / 72);
    // Vertically centred: y = top + (12 - 10 + 2) / 2.
    EXPECT_EQ(rig.target.pixelAt(0, 1)[0], 0);
    EXPECT_EQ(rig.target.pixelAt(0, 11)[0], 'A' - 32 + 1);
}

TEST(BitmapFont, NumbersRightAlignWithNarrowFullStops) {
    BitmapFontRig rig;
    CCDrawContext context(&rig.target);
    rig.font.drawNumber(&context, "1.05", CCRect{0, 0, 40, 12}, ALIGN_RIGHT);
    EXPECT_EQ(rig.target.pixelAt(12, 0)[0], 0);
    EXPECT_EQ(rig.target.pixelAt(13, 0)[0], '1' - 32 + 1); // left + 40 - 27
    EXPECT_EQ(rig.target.pixelAt(21, 0)[0], '.' - 32 + 1);
    EXPECT_EQ(rig.target.pixelAt(24, 0)[0], '0' - 32 + 1);
}

TEST(BitmapFont, CodesOutsideTheStripDrawTheLastCell) {
    BitmapFontRig rig;
    CCDrawContext context(&rig.target);
    rig.font.drawText(&context, "\x01\xff", CCRect{0, 0, 60, 12}, ALIGN_LEFT);
    EXPECT_EQ(rig.target.pixelAt(0, 2)[0], 96);
    EXPECT_EQ(rig.target.pixelAt(8, 2)[0], 96);
}
