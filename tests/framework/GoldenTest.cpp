#include "Golden.h"

#include "CCBitmapCache.h"
#include "CCDrawContext.h"
#include "CCFont.h"
#include "EmbeddedFonts.h"
#include "Framework.h"

#include <gtest/gtest.h>

namespace {

CCBrush brush(int hex, uint8_t alpha = 255) {
    return CCBrush{uint8_t(hex >> 16), uint8_t(hex >> 8), uint8_t(hex), alpha};
}

FontDescription describe(int size, int bold, int hex, uint8_t italic = 0) {
    FontDescription d;
    d.size = uint8_t(size);
    d.bold = bold;
    d.italic = italic;
    d.red = uint8_t(hex >> 16), d.green = uint8_t(hex >> 8), d.blue = uint8_t(hex);
    return d;
}

CCFont* tondo(int size, bool bold, int hex) {
    const FontData data = embeddedFont(bold ? FontRole::TondoBold : FontRole::TondoRegular);
    return findFont(describe(size, bold ? 1 : 0, hex), data.data, data.size);
}

struct Scene {
    Scene(int width, int height) {
        startFramework();
        image.createDibSection(width, height);
        image.setDrawingTarget(true);
    }
    CCBitmap image;
};

} // namespace

TEST(Golden, TextInEveryAlignment) {
    Scene scene(220, 150);
    CCDrawContext context(&scene.image);
    context.fillRect(brush(0xFFFFFF), CCRect{0, 0, 219, 149});
    CCFont* font = findFont(describe(12, 0, 0x000000));
    const char* texts[] = {"Left aligned", "Right aligned", "Centred text",
                           "A much longer text that cannot fit in its box"};
    for (int alignment = 0; alignment < 4; ++alignment) {
        const CCRect box{10, 10 + alignment * 26, 160, 30 + alignment * 26};
        context.fillRect(brush(0xDDE6F0), CCRect{box.left, box.top, box.right - 1, box.bottom - 1});
        font->drawText(&context, texts[alignment], box, alignment);
    }
    findFont(describe(13, 1, 0x204080, 1))->drawText(&context, "Bold italic", CCRect{10, 114, 200, 134}, 0);
    tondo(13, false, 0x000000)->drawText(&context, "Tondo 13", CCRect{120, 114, 210, 134}, 0);
    expectGolden("text_alignments", scene.image);
}

TEST(Golden, ClippingTintAlphaAndStripFrames) {
    Scene scene(280, 100);
    CCDrawContext context(&scene.image);
    context.fillRect(brush(0x303840), CCRect{0, 0, 279, 99});
    CCImageStrip* button = bitmapCache().getStripByCount(204, 3);
    CCImageStrip* close = bitmapCache().getStripByCount(206, 3);
    ASSERT_TRUE(button && close);
    for (unsigned frame = 0; frame < 3; ++frame)
        context.drawFrame(button, CCPoint{5 + int(frame) * 90, 5}, frame);
    context.drawFrame(close, CCPoint{5, 35}, 0);
    context.drawFrame(close, CCPoint{40, 35}, 1);
    context.drawFrame(close, CCPoint{75, 35}, 2);
    context.drawFrame(close, CCPoint{110, 35}, 9); // past the last: the last

    context.saveClip();
    context.clipTo(CCRect{150, 35, 200, 60});
    context.drawFrame(button, CCPoint{140, 35}, 1);
    context.restoreClip();

    context.setAlpha(128);
    context.drawFrame(button, CCPoint{5, 70}, 1);
    context.fillRect(brush(0xFF8000, 200), CCRect{100, 70, 140, 95});
    context.setAlpha(255);
    context.setTint(255, 128, 64);
    context.drawFrame(button, CCPoint{190, 70}, 1);
    context.setTint(0, 0, 0);
    bitmapCache().release(button);
    bitmapCache().release(close);
    expectGolden("clip_tint_alpha_frames", scene.image);
}

TEST(Golden, TheArtworkComposedAsThePageShowsIt) {
    Scene scene(480, 240);
    CCDrawContext context(&scene.image);
    CCBitmap* background = bitmapCache().getBitmap(200);
    CCBitmap* track = bitmapCache().getBitmap(202);
    CCBitmap* bar = bitmapCache().getBitmap(203);
    CCImageStrip* update = bitmapCache().getStripByCount(204, 3);
    CCImageStrip* open = bitmapCache().getStripByCount(205, 3);
    CCImageStrip* close = bitmapCache().getStripByCount(206, 3);
    ASSERT_TRUE(background && track && bar && update && open && close);
    context.drawBitmap(background, CCPoint{0, 0}, CCPoint{0, 0});
    context.drawBitmap(track, CCPoint{40, 206}, CCPoint{0, 0});
    context.drawBitmap(bar, CCPoint{44, 209}, CCPoint{0, 0}, CCPoint{124, 12}); // 62 %
    context.drawFrame(open, CCPoint{364, 78}, 1);
    context.drawFrame(update, CCPoint{364, 108}, 0);
    context.drawFrame(close, CCPoint{425, 15}, 1);
    CCFont* message = tondo(13, false, 0x000000);
    const char* lines[] = {"Firmware update ready (Version: 1.1.00)", "Device: Quorix Demo Device",
                           "Hardware version: 1.0.00", "Firmware version: 1.0.00",
                           "Ready to update"};
    for (int i = 0; i < 5; ++i)
        message->drawText(&context, lines[i], CCRect{60, 88 + i * 19, 330, 104 + i * 19}, 0);
    tondo(12, true, 0xFFFFFF)->drawText(&context, "1.3.00", CCRect{180, 49, 279, 65}, 0);
    for (CCBitmap* bitmap : {background, track, bar})
        bitmapCache().release(bitmap);
    for (CCImageStrip* strip : {update, open, close})
        bitmapCache().release(strip);
    expectGolden("page", scene.image);
}
