// Drawing costs of the update page: a full redraw (background, five 13-pixel text
// lines, three buttons), the partial redraw of the progress bar, and text.
#include "CCBitmapCache.h"
#include "CCDrawContext.h"
#include "CCFont.h"
#include "EmbeddedFonts.h"
#include "Framework.h"

#include <benchmark/benchmark.h>

#include <cstring>

namespace {

struct Page {
    Page() {
        startFramework();
        offscreen.createDibSection(480, 240);
        offscreen.setDrawingTarget(true);
        background = bitmapCache().getBitmap(200);
        track = bitmapCache().getBitmap(202);
        bar = bitmapCache().getBitmap(203);
        update = bitmapCache().getStripByCount(204, 3);
        open = bitmapCache().getStripByCount(205, 3);
        close = bitmapCache().getStripByCount(206, 3);
        FontDescription d;
        d.size = 13;
        d.red = d.green = d.blue = 0;
        const FontData tondo = embeddedFont(FontRole::TondoRegular);
        font = findFont(d, tondo.data, tondo.size);
    }
    ~Page() {
        for (const CCBitmap* b : {background, track, bar})
            bitmapCache().release(b);
        for (const CCBitmap* b : {static_cast<CCBitmap*>(update), static_cast<CCBitmap*>(open),
                                  static_cast<CCBitmap*>(close)})
            bitmapCache().release(b);
    }

    CCBitmap offscreen;
    CCBitmap* background;
    CCBitmap* track;
    CCBitmap* bar;
    CCImageStrip* update;
    CCImageStrip* open;
    CCImageStrip* close;
    CCFont* font;
};

const char* kLines[] = {"Firmware update ready (Version: 1.1.00)", "Device: Quorix Demo Device",
                        "Hardware version: 1.0.00", "Firmware version: 1.0.00", "Ready to update"};

} // namespace

static void BM_FullPageRedraw(benchmark::State& state) {
    Page page;
    for (auto _ : state) {
        CCDrawContext context(&page.offscreen);
        context.drawBitmap(page.background, CCPoint{0, 0}, CCPoint{0, 0});
        for (int i = 0; i < 5; ++i)
            page.font->drawText(&context, kLines[i], CCRect{60, 88 + i * 19, 330, 104 + i * 19}, 0);
        context.drawFrame(page.open, CCPoint{364, 78}, 1);
        context.drawFrame(page.update, CCPoint{364, 108}, 1);
        context.drawFrame(page.close, CCPoint{425, 15}, 1);
        benchmark::DoNotOptimize(page.offscreen.pixels());
    }
}
BENCHMARK(BM_FullPageRedraw)->Unit(benchmark::kMicrosecond);

static void BM_ProgressBarRedraw(benchmark::State& state) {
    Page page;
    int value = 0;
    for (auto _ : state) {
        CCDrawContext context(&page.offscreen);
        context.saveClip();
        context.clipTo(CCRect{40, 206, 249, 224});
        context.drawBitmap(page.background, CCPoint{0, 0}, CCPoint{0, 0});
        context.drawBitmap(page.track, CCPoint{40, 206}, CCPoint{0, 0});
        context.drawBitmap(page.bar, CCPoint{44, 209}, CCPoint{0, 0}, CCPoint{value * 2, 12});
        context.restoreClip();
        value = (value + 1) % 101;
        benchmark::DoNotOptimize(page.offscreen.pixels());
    }
}
BENCHMARK(BM_ProgressBarRedraw)->Unit(benchmark::kMicrosecond);

static void BM_DrawTextGlyphs(benchmark::State& state) {
    Page page;
    const char* line = kLines[0];
    const size_t glyphs = std::strlen(line);
    for (auto _ : state) {
        CCDrawContext context(&page.offscreen);
        page.font->drawText(&context, line, CCRect{60, 88, 330, 104}, 0);
    }
    state.counters["glyphs_per_second"] =
        benchmark::Counter(double(glyphs) * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DrawTextGlyphs)->Unit(benchmark::kMicrosecond);
