#pragma once

#include "CCFadeAnimator.h"
#include "CCMsg.h"
#include "CCPageManager.h"
#include "Framework.h"
#include "HeadlessPlatform.h"

#include <cstdint>
#include <vector>

// A fade clock the test moves by hand.
struct TestClock : FadeClock {
    uint32_t now = 1000;
    uint32_t nowMs() override { return now; }
};

// A page manager over an off-screen image that records what it presents, with the
// headless platform installed and fades stepped only when the test says so.
class TestManager : public CCPageManager {
public:
    explicit TestManager(bool animatorThread = false, int width = 480, int height = 240)
        : CCPageManager(CCRect{0, 0, width, height}, Options{&clock, animatorThread}) {
        startFramework();
        previous_ = setUiPlatform(&platform);
        setWindow(&window);
        window.request.oneShotTimers = true; // a page manager's window is the editor's
        window.width = width;
        window.height = height;
        image.createDibSection(width, height);
        image.setDrawingTarget(true);
        context = std::make_unique<CCDrawContext>(&image);
        setOffscreenContext(context.get());
        setActive(true);
        setCanDraw(true);
    }
    ~TestManager() override { setUiPlatform(previous_); }

    void present(const CCRect& rect) override { presents.push_back(rect); }

    CCMouseMsg mouse(uint16_t code, int x, int y) {
        CCMouseMsg msg;
        msg.code = code;
        msg.x = x, msg.y = y;
        msg.screenX = x + window.x, msg.screenY = y + window.y;
        return msg;
    }
    bool send(uint16_t code, int x, int y) {
        CCMouseMsg msg = mouse(code, x, y);
        return dispatchMessage(&msg);
    }
    // A left click as the editor makes it: probe, then press and release.
    bool click(int x, int y) {
        CCMouseMsg probe = mouse(MSG_PRESS_PROBE, x, y);
        dispatchMessage(&probe);
        if (!probe.sender)
            return false;
        send(MSG_LBUTTON_DOWN, x, y);
        send(MSG_LBUTTON_UP, x, y);
        return true;
    }
    // Fires due window timers as the window would: message 518.
    void advance(uint32_t milliseconds) {
        platform.advance(milliseconds, [this](PlatformWindow*, uint32_t id) {
            CCMsg timer(MSG_TIMER, static_cast<int32_t>(id));
            dispatchMessage(&timer);
        });
    }

    TestClock clock;
    HeadlessPlatform platform;
    HeadlessWindow window;
    CCBitmap image;
    std::unique_ptr<CCDrawContext> context;
    std::vector<CCRect> presents;

private:
    UiPlatform* previous_ = nullptr;
};

// A page object that records what reaches it and answers with a set result.
class Probe : public CCPageObject {
public:
    Probe(int left, int top, int right, int bottom, int answer = 0, uint32_t type = kTypeDefault,
          uint16_t viewBits = 0)
        : CCPageObject(left, top, right, bottom, nullptr, type, viewBits), answer_(answer) {}
    int handleMessage(CCMsg* msg) override {
        codes.push_back(msg->code);
        return answer_;
    }
    int handleMouse(CCMouseMsg* msg) override {
        codes.push_back(msg->code);
        return answer_;
    }
    void draw(CCDrawContext*) override { ++draws; }
    void setAnswer(int answer) { answer_ = answer; }

    std::vector<uint16_t> codes;
    int draws = 0;

private:
    int answer_;
};
