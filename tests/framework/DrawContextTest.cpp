#include "PixelSupport.h"

#include "CCDrawContext.h"

#include <gtest/gtest.h>

namespace {

std::vector<uint8_t> grey(uint8_t v) {
    return {v, v, v};
}

} // namespace

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

TEST(DrawContext, PresentingCopiesOnlyWhatLiesInsideBothPictures) {
    // 24-bit pixels arrive with a zero fourth byte, as on a memory device context.
    const auto data = makeResource(4, 2, 24, [](int x, int y) {
        return std::vector<uint8_t>{uint8_t(x * 10 + 1), uint8_t(y * 10 + 1), 7};
    });
    CCBitmap source(data.data(), data.size());
    ASSERT_TRUE(source.valid());
    CCBitmap target;
    makeTarget(target, 3, 2, 200, 200, 200);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            target.pixelAt(x, y)[3] = 99;
    CCDrawContext context(&target);
    EXPECT_EQ(context.presentBitmap(source, CCRect{1, 0, 5, 2}, CCPoint{1, 0}), 2);
    EXPECT_EQ(std::vector<uint8_t>(target.pixelAt(0, 0), target.pixelAt(0, 0) + 4),
              (std::vector<uint8_t>{200, 200, 200, 99}));
    EXPECT_EQ(std::vector<uint8_t>(target.pixelAt(1, 0), target.pixelAt(1, 0) + 4),
              (std::vector<uint8_t>{11, 1, 7, 0}));
    EXPECT_EQ(std::vector<uint8_t>(target.pixelAt(2, 1), target.pixelAt(2, 1) + 4),
              (std::vector<uint8_t>{21, 11, 7, 0}));
    // A source offset past the picture copies nothing.
    EXPECT_EQ(context.presentBitmap(source, CCRect{0, 0, 3, 2}, CCPoint{0, 5}), 0);
}

TEST(DrawContext, AnOpaqueBitmapReachesTheScreenClippedWithItsSourceOffset) {
    struct Sink : PresentSink {
        int present(const CCBitmap&, const CCRect& dest, CCPoint source) override {
            rect = dest;
            from = source;
            return dest.height();
        }
        CCRect rect;
        CCPoint from{-1, -1};
    } sink;
    const auto data = makeResource(30, 30, 24, [](int, int) { return grey(9); });
    CCBitmap opaque(data.data(), data.size());
    CCDrawContext window(&sink, 480, 240);
    window.clipTo(CCRect{10, 10, 20, 20});
    window.drawBitmap(&opaque, CCPoint{5, 5}, CCPoint{2, 0});
    EXPECT_EQ(sink.rect, (CCRect{10, 10, 20, 20}));
    EXPECT_EQ(sink.from.x, 7);
    EXPECT_EQ(sink.from.y, 5);
}
