// The page framework around the update page: what a progress step costs from the
// value change to the presented rectangle, a whole-tree redraw, one fade step, and
// what the fade thread costs while nothing fades.
#include "CCButtons.h"
#include "CCFont.h"
#include "CCPage.h"
#include "CCPageManager.h"
#include "CCTextDisplays.h"
#include "CCValueDisplays.h"
#include "EmbeddedFonts.h"
#include "Framework.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>
#include <time.h>
#include <vector>

namespace {

constexpr int kWidth = 480;
constexpr int kHeight = 240;

// Stands for the window: presenting copies the rectangle out of the off-screen image.
class WindowManager : public CCPageManager {
public:
    explicit WindowManager(Options options)
        : CCPageManager(CCRect{0, 0, kWidth, kHeight}, options),
          screen(size_t(kWidth) * size_t(kHeight)) {}

    void present(const CCRect& rect) override {
        ++presents;
        lastPresented = rect;
        const CCBitmap* image = offscreenContext()->target();
        const int left = std::max(rect.left, 0), right = std::min(rect.right, kWidth);
        if (right <= left)
            return;
        const size_t bytes = size_t(right - left) * 4;
        for (int y = std::max(rect.top, 0); y < std::min(rect.bottom, kHeight); ++y) {
            // The off-screen rows are bottom-up, the screen's top-down.
            const uint8_t* row = image->pixels() + size_t(kHeight - 1 - y) * image->rowBytes();
            std::memcpy(&screen[size_t(y) * kWidth + size_t(left)], row + size_t(left) * 4, bytes);
        }
    }

    std::vector<uint32_t> screen;
    uint64_t presents = 0;
    CCRect lastPresented;
};

struct BenchClock : FadeClock {
    uint32_t now = 1000;
    uint32_t nowMs() override { return now; }
};

// Made before the draw context, which takes its size from the image.
struct OffscreenImage {
    OffscreenImage() {
        startFramework();
        bitmap.createDibSection(kWidth, kHeight);
        bitmap.setDrawingTarget(true);
    }
    CCBitmap bitmap;
};

CCFont* embeddedFace(FontRole role, int32_t bold, uint8_t size, uint8_t grey) {
    FontDescription description;
    description.bold = bold;
    description.size = size;
    description.red = description.green = description.blue = grey;
    const FontData face = embeddedFont(role);
    return findFont(description, face.data, face.size);
}

const char* const kLines[] = {"Firmware update ready (Version: 1.1.00)",
                              "Device: Quorix Demo Device", "Hardware version: 1.0.00",
                              "Firmware version: 1.0.00", "Ready to update"};

// The update page as the program builds it, in a manager over a 480 × 240 image.
struct UpdatePage {
    explicit UpdatePage(CCPageManager::Options options) : manager(options) {
        manager.setOffscreenContext(&context);
        manager.setActive(true);
        manager.setCanDraw(true);

        std::lock_guard<CCLock> guard(manager.lock());
        page = new CCPage(101, 0, 0, kWidth, kHeight, 200);
        manager.addChild(page);

        progress = new CCSimpleProgress(0, CCRect{40, 206, 249, 224}, 203, 0, 100, nullptr, 0);
        progress->setBackgroundBitmap(202);
        progress->setHighlightFade(1, 10, 0);
        update = new CCOnOffButton(13, CCPoint{364, 108}, 204, 3, CCOnOffButton::MODE_CLICK_HOVER,
                                   0, nullptr, 0);
        auto* open = new CCOnOffButton(14, CCPoint{364, 78}, 205, 3,
                                       CCOnOffButton::MODE_CLICK_HOVER, 0, nullptr, 0);
        auto* close = new CCOnOffButton(15, CCPoint{425, 15}, 206, 3,
                                        CCOnOffButton::MODE_CLICK_HOVER, 0, nullptr, 0);
        auto* message = new CCMultiLineTextCtrl(14, CCRect{50, 80, 340, 190}, 0, nullptr, 0);
        message->setFont(embeddedFace(FontRole::TondoRegular, 0, 13, 0));
        auto* version =
            new CCStaticTextCtrl(4, CCRect{180, 49, 279, 65},
                                 embeddedFace(FontRole::TondoBold, 1, 12, 255), 0, nullptr, 0);
        for (CCPageObject* child :
             {static_cast<CCPageObject*>(progress), static_cast<CCPageObject*>(update),
              static_cast<CCPageObject*>(open), static_cast<CCPageObject*>(close),
              static_cast<CCPageObject*>(message), static_cast<CCPageObject*>(version)})
            page->addChild(child);
        message->setLines(kLines, 5);
        version->setText("1.3.00");
        manager.redrawRect(CCRect{0, 0, kWidth, kHeight}, nullptr);
    }

    // The image and its context outlive the manager that draws into them.
    OffscreenImage offscreen;
    CCDrawContext context{&offscreen.bitmap};
    WindowManager manager;
    CCPage* page = nullptr; // the tree owns these
    CCSimpleProgress* progress = nullptr;
    CCOnOffButton* update = nullptr;
};

double processCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

} // namespace

// One progress step, from the value change to the presented bar: goal < 100 µs,
// with exactly one present of the bar's rectangle per change.
static void BM_ProgressValueToPresent(benchmark::State& state) {
    UpdatePage page(CCPageManager::Options{});
    int32_t value = 40;
    int64_t wrongPresents = 0;
    for (auto _ : state) {
        value = value == 40 ? 41 : 40;
        const uint64_t before = page.manager.presents;
        {
            std::lock_guard<CCLock> guard(page.manager.lock());
            page.progress->setValue(value, true, true, false);
        }
        if (page.manager.presents != before + 1 ||
            !(page.manager.lastPresented == page.progress->rect()))
            ++wrongPresents;
    }
    if (wrongPresents)
        state.SkipWithError("a value change did not present the bar's rectangle exactly once");
}
BENCHMARK(BM_ProgressValueToPresent)->Unit(benchmark::kMicrosecond);

// The whole page drawn and presented, as after a move or an expose: goal < 3 ms.
static void BM_FullTreeRedraw(benchmark::State& state) {
    UpdatePage page(CCPageManager::Options{});
    for (auto _ : state)
        page.manager.redrawRect(CCRect{0, 0, kWidth, kHeight}, nullptr);
    benchmark::DoNotOptimize(page.manager.screen.data());
}
BENCHMARK(BM_FullTreeRedraw)->Unit(benchmark::kMicrosecond);

// The fade thread while nothing fades, after a fade has run to its end: it must
// sleep, so the process spends ~0 ms of CPU per second and the thread makes no pass.
static void BM_AnimatorIdleCpu(benchmark::State& state) {
    UpdatePage page(CCPageManager::Options{});
    {
        std::lock_guard<CCLock> guard(page.manager.lock());
        page.manager.fadeTo(page.update, 128, 1, CCPageObject::kFadeDone);
    }
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (page.manager.animator().entryCount() != 0 && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (page.manager.animator().entryCount() != 0 || page.update->alpha() != 128) {
        state.SkipWithError("the fade did not finish");
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50)); // let its last pass end

    double cpuMs = 0, seconds = 0;
    uint64_t passes = 0;
    for (auto _ : state) {
        const uint64_t passesBefore = page.manager.animator().passes();
        const double cpuBefore = processCpuMs();
        const auto start = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(1));
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        cpuMs += processCpuMs() - cpuBefore;
        passes += page.manager.animator().passes() - passesBefore;
    }
    state.counters["cpu_ms_per_s"] = cpuMs / seconds;
    state.counters["passes_per_s"] = double(passes) / seconds;
}
BENCHMARK(BM_AnimatorIdleCpu)
    ->Iterations(1)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);

// One pass of the fade thread over a fading update button, the clock moved on as
// far as the pass asked: one alpha step redrawn over its backdrop and presented.
static void BM_FadeStep(benchmark::State& state) {
    BenchClock clock;
    UpdatePage page(CCPageManager::Options{&clock, false});
    CCFadeAnimator& animator = page.manager.animator();
    uint8_t target = 48;
    page.manager.fadeTo(page.update, target, 20, CCPageObject::kFadeDone);
    uint32_t wait = animator.runPass(); // at the fade's start: nothing to step yet
    const uint64_t presentsBefore = page.manager.presents;
    for (auto _ : state) {
        if (wait == CCFadeAnimator::kForever) {
            target = target == 48 ? 255 : 48; // and back
            std::lock_guard<CCLock> guard(page.manager.lock());
            page.manager.fadeTo(page.update, target, 20, CCPageObject::kFadeDone);
            wait = animator.runPass();
        }
        clock.now += wait;
        wait = animator.runPass();
    }
    const uint64_t presents = page.manager.presents - presentsBefore;
    if (presents == 0)
        state.SkipWithError("the fade presented nothing");
    state.counters["presents_per_pass"] = double(presents) / double(state.iterations());
}
BENCHMARK(BM_FadeStep)->Unit(benchmark::kMicrosecond);
