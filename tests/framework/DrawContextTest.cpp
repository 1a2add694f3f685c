#include "PixelSupport.h"

#include "CCDrawContext.h"

#include <gtest/gtest.h>

namespace {

std::vector<uint8_t> grey(uint8_t v) {
    return {v, v, v};
}

} // namespace

TEST(Bitmap, LoadingPremultipliesTranslucentPixels) {
    const auto data = makeResource(2, 1, 32, [](int x, int) {
        return x == 0 ? std::vector<uint8_t>{200, 100, 50, 128} : std::vector<uint8_t>{9, 8, 7, 255};
    });
    CCBitmap bitmap(data.data(), data.size());
    ASSERT_TRUE(bitmap.valid());
    EXPECT_TRUE(bitmap.hasAlpha());
    EXPECT_TRUE(bitmap.premultiplied());
    const uint8_t* p = bitmap.pixelAt(0, 0);
    EXPECT_EQ(std::vector<uint8_t>(p, p + 4), (std::vector<uint8_t>{100, 50, 25, 128}));
    const uint8_t* opaque = bitmap.pixelAt(1, 0);
    EXPECT_EQ(std::vector<uint8_t>(opaque, opaque + 4), (std::vector<uint8_t>{9, 8, 7, 255}));
}

TEST(Bitmap, BadResourceDataLeavesItInvalid) {
    auto data = makeResource(4, 4, 24, [](int, int) { return grey(1); });
    CCBitmap shortData(data.data(), data.size() - 1);
    EXPECT_FALSE(shortData.valid());
    CCBitmap noData(nullptr, 0);
    EXPECT_FALSE(noData.valid());
    data[14] = 8; // palette images are not the program's
    CCBitmap palette(data.data(), data.size());
    EXPECT_FALSE(palette.valid());
    data[14] = 24;
    data[8] = 0; // height 0
    CCBitmap empty(data.data(), data.size());
    EXPECT_FALSE(empty.valid());
}

TEST(Bitmap, BlankAndAlphaMapPixels) {
    CCBitmap glyph;
    ASSERT_TRUE(glyph.createBlank(2, 2));
    EXPECT_FALSE(glyph.premultiplied());
    EXPECT_EQ(glyph.pixelAt(1, 1)[0], 255);
    const uint8_t coverage[4] = {0, 128, 255, 64}; // top row first
    glyph.fillFromAlphaMap(coverage, 200, 100, 50);
    EXPECT_TRUE(glyph.premultiplied());
    const uint8_t* p = glyph.pixelAt(1, 0); // coverage 128
    EXPECT_EQ(std::vector<uint8_t>(p, p + 4), (std::vector<uint8_t>{25, 50, 100, 128}));
    const uint8_t* q = glyph.pixelAt(0, 1); // coverage 255
    EXPECT_EQ(std::vector<uint8_t>(q, q + 4), (std::vector<uint8_t>{49, 99, 199, 255}));
}

TEST(DrawContext, ClippingIntersectsAndRestores) {
    CCBitmap target;
    makeTarget(target, 40, 20, 0, 0, 0);
    CCDrawContext context(&target);
    EXPECT_EQ(context.clip(), (CCRect{0, 0, 40, 20}));
    context.saveClip();
    context.clipTo(CCRect{10, 5, 60, 15});
    EXPECT_EQ(context.clip(), (CCRect{10, 5, 40, 15}));
    context.saveClip();
    context.clipTo(CCRect{40, 0, 50, 20}); // touching is not overlapping
    EXPECT_EQ(context.clip(), (CCRect{0, 0, 0, 0}));
    context.fillRect(CCBrush{255, 255, 255, 255}, CCRect{0, 0, 39, 19});
    EXPECT_EQ(target.pixelAt(20, 10)[0], 0); // nothing drawn while the clip is empty
    context.restoreClip();
    EXPECT_EQ(context.clip(), (CCRect{10, 5, 40, 15}));
    context.restoreClip();
    context.restoreClip(); // more restores than saves keep the last
    EXPECT_EQ(context.clip(), (CCRect{0, 0, 40, 20}));
}

TEST(DrawContext, ABitmapPartlyLeftOfTheClipStartsThatManySourcePixelsIn) {
    const auto data = makeResource(20, 1, 24, [](int x, int) { return grey(uint8_t(x * 10)); });
    CCBitmap bitmap(data.data(), data.size());
    CCBitmap target;
    makeTarget(target, 480, 240, 1, 1, 1);
    CCDrawContext context(&target);
    context.drawBitmap(&bitmap, CCPoint{-10, 0}, CCPoint{0, 0});
    EXPECT_EQ(target.pixelAt(0, 0)[0], 100);
    EXPECT_EQ(target.pixelAt(9, 0)[0], 190);
    EXPECT_EQ(target.pixelAt(10, 0)[0], 1);
    EXPECT_EQ(target.pixelAt(0, 0)[3], 0); // an opaque copy clears the fourth byte
}

TEST(DrawContext, FramesPastTheLastDrawTheLast) {
    auto data = makeResource(12, 2, 24, [](int x, int) { return grey(uint8_t(x / 4 * 50 + 10)); });
    CCImageStrip strip(data.data(), data.size(), CCImageStrip::By::FrameCount, 3);
    ASSERT_EQ(strip.frameWidth(), 4);
    CCBitmap target;
    makeTarget(target, 8, 2, 0, 0, 0);
    CCDrawContext context(&target);
    context.drawFrame(&strip, CCPoint{0, 0}, 7);
    EXPECT_EQ(target.pixelAt(0, 0)[0], 110);
    EXPECT_EQ(target.pixelAt(3, 1)[0], 110);
    EXPECT_EQ(target.pixelAt(4, 0)[0], 0); // one frame wide only
    context.drawFrame(&strip, CCPoint{0, 0}, 65536 + 1); // the index is 16 bits wide
    EXPECT_EQ(target.pixelAt(0, 0)[0], 60);
}

TEST(DrawContext, FillRectIncludesRightAndBottom) {
    CCBitmap target;
    makeTarget(target, 30, 30, 0, 0, 0);
    CCDrawContext context(&target);
    context.fillRect(CCBrush{10, 20, 30, 255}, CCRect{10, 10, 19, 19});
    int painted = 0;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 30; ++x)
            painted += target.pixelAt(x, y)[2] == 10;
    EXPECT_EQ(painted, 100);
    EXPECT_EQ(target.pixelAt(19, 19)[0], 30);
    EXPECT_EQ(target.pixelAt(20, 19)[0], 0);

    // Translucent: source over target, rounded, brush alpha times context alpha.
    context.setAlpha(128);
    context.fillRect(CCBrush{200, 200, 200, 255}, CCRect{0, 0, 0, 0});
    EXPECT_EQ(target.pixelAt(0, 0)[2], (200 * 128 + 0 * 127 + 127) / 255);
}

TEST(DrawContext, BlendingFollowsTheIntegerRules) {
    // Premultiplied alpha 128 at full context alpha: (c x 127 >> 8) + source.
    const auto translucent = makeResource(1, 1, 32, [](int, int) {
        return std::vector<uint8_t>{100, 100, 100, 128};
    });
    CCBitmap source(translucent.data(), translucent.size());
    ASSERT_EQ(source.pixelAt(0, 0)[0], 50);
    CCBitmap target;
    makeTarget(target, 1, 1, 200, 200, 200);
    CCDrawContext context(&target);
    context.drawBitmap(&source, CCPoint{0, 0}, CCPoint{0, 0});
    EXPECT_EQ(target.pixelAt(0, 0)[0], (200 * 127 >> 8) + 50);

    // Context alpha 100, premultiplied: u = L t >> 8, w = u 256 / t.
    makeTarget(target, 1, 1, 200, 200, 200);
    context.setAlpha(100);
    context.drawBitmap(&source, CCPoint{0, 0}, CCPoint{0, 0});
    {
        const unsigned u = 100 * 128 >> 8, v = 255 - u, w = u * 256 / 128;
        EXPECT_EQ(target.pixelAt(0, 0)[0], (200 * v + 50 * w) >> 8);
    }

    // Tinted: each channel by its own tint component.
    makeTarget(target, 1, 1, 10, 20, 30);
    context.setAlpha(255);
    context.setTint(255, 128, 0);
    context.drawBitmap(&source, CCPoint{0, 0}, CCPoint{0, 0});
    {
        const unsigned u = 255 * 128 >> 8, v = 255 - u, w = u * 256 / 128;
        EXPECT_EQ(target.pixelAt(0, 0)[2], (30 * v + ((w * 50 * 255) >> 8)) >> 8); // red
        EXPECT_EQ(target.pixelAt(0, 0)[1], (20 * v + ((w * 50 * 128) >> 8)) >> 8); // green
        EXPECT_EQ(target.pixelAt(0, 0)[0], (10 * v) >> 8);                        // blue
    }

    // 24-bit sources: mixed by the context alpha; the target's alpha bytes untouched.
    const auto opaque = makeResource(1, 1, 24, [](int, int) { return grey(200); });
    CCBitmap flat(opaque.data(), opaque.size());
    makeTarget(target, 1, 1, 100, 100, 100);
    target.pixelAt(0, 0)[3] = 77;
    context.setTint(0, 0, 0);
    context.setAlpha(128);
    context.drawBitmap(&flat, CCPoint{0, 0}, CCPoint{0, 0});
    EXPECT_EQ(target.pixelAt(0, 0)[0], (100 * 127 + 200 * 128) >> 8);
    EXPECT_EQ(target.pixelAt(0, 0)[3], 77);
    context.setAlpha(255);
    context.setTint(0, 0, 128);
    context.drawBitmap(&flat, CCPoint{0, 0}, CCPoint{0, 0});
    EXPECT_EQ(target.pixelAt(0, 0)[0], 200 * 128 >> 8); // blue, tinted
    EXPECT_EQ(target.pixelAt(0, 0)[2], 0);              // red: tint 0

    // Alpha 0 draws nothing.
    makeTarget(target, 1, 1, 5, 5, 5);
    context.setTint(0, 0, 0);
    context.setAlpha(0);
    context.drawBitmap(&flat, CCPoint{0, 0}, CCPoint{0, 0});
    EXPECT_EQ(target.pixelAt(0, 0)[0], 5);
}

TEST(DrawContext, PresentingHandsTheRectangleToTheSink) {
    struct Sink : PresentSink {
        int present(const CCBitmap& bitmap, const CCRect& dest, CCPoint source) override {
            seen = &bitmap;
            rect = dest;
            from = source;
            return dest.height();
        }
        const CCBitmap* seen = nullptr;
        CCRect rect;
        CCPoint from;
    } sink;
    CCBitmap offscreen;
    makeTarget(offscreen, 480, 240, 0, 0, 0);
    CCDrawContext window(&sink, 480, 240);
    EXPECT_EQ(window.presentBitmap(offscreen, CCRect{40, 206, 249, 224}, CCPoint{40, 206}), 18);
    EXPECT_EQ(sink.seen, &offscreen);
    EXPECT_EQ(sink.rect, (CCRect{40, 206, 249, 224}));
    EXPECT_EQ(sink.from.x, 40);
}
