#include "CCButtons.h"

#include "CCBitmapCache.h"
#include "CCFont.h"
#include "CCPageManager.h"
#include "Framework.h"
#include "PlatformHelpers.h"

#include <algorithm>
#include <cstring>

namespace {

CCRect cellRect(CCPoint origin, const CCImageStrip* strip) {
    return CCRect{origin.x, origin.y, origin.x + (strip ? strip->frameWidth() : 0),
                  origin.y + (strip ? strip->height() : 0)};
}

CCImageStrip* stripByWidth(int id, int width) {
    return width > 0 ? bitmapCache().getStripByWidth(id, width) : nullptr;
}

bool inside(CControl& control, const CCMouseMsg* msg) {
    return control.hitTest(msg->x, msg->y);
}

} // namespace

int pressAndRelease(CControl& button, CCMouseMsg* msg, int mode, bool& pressed) {
    if (msg->code == MSG_LBUTTON_DOWN && inside(button, msg)) {
        pressed = true;
        if (mode == CCOnOffButton::MODE_MOMENTARY)
            button.setValue(1, true, true, false);
        return 1;
    }
    if (msg->code != MSG_LBUTTON_UP || !pressed)
        return 0;
    if (mode == CCOnOffButton::MODE_MOMENTARY)
        button.setValue(0, true, true, false);
    if (inside(button, msg)) {
        switch (mode) {
        case CCOnOffButton::MODE_TOGGLE:
            button.setValue(button.value() ? 0 : 1, true, true, false);
            break;
        case CCOnOffButton::MODE_LATCH:
            if (button.value() == 0)
                button.setValue(1, true, true, false);
            break;
        case CCOnOffButton::MODE_CLICK:
        case CCOnOffButton::MODE_CLICK_HOVER:
            // The listener sees a 1; the button falls back to 0 without a second report.
            button.setValue(1, true, false, false);
            button.setValue(0, false, true, false);
            break;
        default:
            break;
        }
    }
    pressed = false;
    return 1;
}

CCOnOffButton::CCOnOffButton(int32_t tag, const CCRect& rect, CCImageStrip* strip, int mode,
                             int32_t value, CCPageObject* listener, uint16_t viewBits)
    : CControl(tag, rect.left, rect.top, rect.right, rect.bottom, 0, 1, value, listener, viewBits),
      strip_(strip), mode_(mode) {}

CCOnOffButton::CCOnOffButton(int32_t tag, CCPoint origin, CCImageStrip* strip, int mode, int32_t value,
                             CCPageObject* listener, uint16_t viewBits)
    : CCOnOffButton(tag, cellRect(origin, strip), strip, mode, value, listener, viewBits) {}

CCOnOffButton::CCOnOffButton(int32_t tag, const CCRect& rect, int stripId, int mode, int32_t value,
                             CCPageObject* listener, uint16_t viewBits)
    : CCOnOffButton(tag, rect, stripByWidth(stripId, rect.width()), mode, value, listener, viewBits) {}

CCOnOffButton::CCOnOffButton(int32_t tag, CCPoint origin, int stripId, int cellCount, int mode,
                             int32_t value, CCPageObject* listener, uint16_t viewBits)
    : CCOnOffButton(tag, origin, bitmapCache().getStripByCount(stripId, cellCount), mode, value,
                    listener, viewBits) {}

CCOnOffButton::CCOnOffButton(int32_t tag, CCPoint origin, int stripId, int overlayStripId,
                             int cellCount, int mode, int32_t value, CCColour offColour,
                             CCColour onColour, CCColour highlightColour, CCPageObject* listener,
                             uint16_t viewBits)
    : CCOnOffButton(tag, origin, stripId, cellCount, mode, value, listener, viewBits) {
    if (strip_)
        overlayStrip_ = bitmapCache().getStripByCount(overlayStripId, cellCount);
    offColour_ = offColour;
    onColour_ = onColour;
    setHighlightColour(highlightColour.red, highlightColour.green, highlightColour.blue,
                       highlightColour.alpha);
}

CCOnOffButton::~CCOnOffButton() {
    bitmapCache().release(strip_);
    bitmapCache().release(overlayStrip_);
}

unsigned CCOnOffButton::currentFrame() const {
    const unsigned cells = strip_ ? strip_->frameCount() : 0;
    if (pressed_)
        return cells ? cells - 1 : 0;
    if (mode_ == MODE_TOGGLE || mode_ == MODE_LATCH || mode_ == MODE_CLICK_HOVER)
        return value_ != 0 || hoverLook_ ? 0 : 1;
    return cells < 2 ? 0 : cells - 2;
}

void CCOnOffButton::drawContents(CCDrawContext* context) {
    if (!visible_ || !shown_ || !strip_)
        return;
    const CCPoint at{rect_.left, rect_.top};
    const unsigned frame = currentFrame();
    CCImageStrip* top = strip_;
    if (overlayStrip_) {
        context->drawFrame(strip_, at, frame);
        top = overlayStrip_;
    }
    const CCColour tint = pressed_ || hoverLook_
                              ? CCColour{highlight_[0], highlight_[1], highlight_[2], highlight_[3]}
                              : (value_ != 0 ? onColour_ : offColour_);
    context->setTint(tint.red, tint.green, tint.blue);
    context->drawFrame(top, at, frame);
    context->setTint(0, 0, 0);
}

int CCOnOffButton::onMouse(CCMouseMsg* msg) {
    if (!usable())
        return 0;
    if (msg->code == MSG_MOUSE_MOVE) {
        if (mode_ == MODE_CLICK_HOVER || hasHighlightColour()) {
            const bool look = hitTest(msg->x, msg->y);
            if (look != hoverLook_) {
                hoverLook_ = look;
                if (strip_)
                    invalidate(true);
            }
        }
        return 0;
    }
    if (msg->code == MSG_LBUTTON_DOWN || msg->code == MSG_LBUTTON_UP)
        hoverLook_ = false;
    if (!pressAndRelease(*this, msg, mode_, pressed_))
        return 0;
    if (strip_)
        invalidate(true);
    return 1;
}

int CCOnOffButton::onParameterMessage(CCMsg* msg) {
    if (msg->code != MSG_PARAMETER)
        return 0;
    setValueFromParameter(fromNormalized(msg->value), msg->notify, true);
    return 1;
}

void CCOnOffButton::onEnabledChanged(bool enabled) {
    if (enabled)
        return;
    // A disabled button never sees the release that would end its press.
    hoverLook_ = pressed_ = false;
    invalidate(false);
}

void CSimpleButton::drawContents(CCDrawContext* context) {
    if (!strip_)
        return;
    if (hover_)
        tintWithHighlight(context);
    context->drawFrame(strip_, CCPoint{rect_.left, rect_.top}, value_ ? 1 : 0);
    context->setTint(0, 0, 0);
}

CCFlashingOnOffButton::CCFlashingOnOffButton(int32_t tag, int left, int top, int right, int bottom,
                                             int stripId, int mode, int32_t value,
                                             CCPageObject* listener, uint16_t viewBits)
    : CControl(tag, left, top, right, bottom, 0, 1, value, listener, viewBits),
      strip_(stripByWidth(stripId, right - left)), mode_(mode) {}

CCFlashingOnOffButton::~CCFlashingOnOffButton() {
    bitmapCache().release(strip_);
}

void CCFlashingOnOffButton::drawContents(CCDrawContext* context) {
    const unsigned cell = pressed_ ? 2 : (value_ == 1 ? unsigned(flashPhase_) : 1);
    context->drawFrame(strip_, CCPoint{rect_.left, rect_.top}, cell);
}

int CCFlashingOnOffButton::onMouse(CCMouseMsg* msg) {
    if (!usable() || !pressAndRelease(*this, msg, mode_, pressed_))
        return 0;
    invalidate(true);
    return 1;
}

int CCFlashingOnOffButton::onParameterMessage(CCMsg* msg) {
    if (msg->code != MSG_PARAMETER)
        return 0;
    setValueFromParameter(fromNormalized(msg->value), msg->notify, false);
    return 1;
}

void CCFlashingOnOffButton::flashTick() {
    if (value_ == 1)
        invalidate(true);
}

CCPulseButton::CCPulseButton(int32_t tag, int left, int top, int right, int bottom, int stripId,
                             int mode, int32_t value, CCPageObject* listener, uint16_t viewBits)
    : CControl(tag, left, top, right, bottom, 0, 1, value, listener, viewBits),
      strip_(stripByWidth(stripId, right - left)), mode_(mode) {}

CCPulseButton::~CCPulseButton() {
    if (pulsing_ && timerId_)
        if (CCTimerObject* timers = timerObjectOf())
            timers->stopTimer(timerId_);
    bitmapCache().release(strip_);
}

void CCPulseButton::drawContents(CCDrawContext* context) {
    if (!strip_)
        return;
    if (hover_)
        tintWithHighlight(context);
    const uint8_t opacity = context->alpha();
    const CCPoint at{rect_.left, rect_.top};
    context->setAlpha(static_cast<uint8_t>(opacity * 5 / 8));
    context->drawFrame(strip_, at, 0);
    if (value_ == 1) {
        context->setAlpha(static_cast<uint8_t>(phase_ * opacity / 256));
        context->drawFrame(strip_, at, 1);
    }
    context->setAlpha(opacity);
    context->setTint(0, 0, 0);
}

int CCPulseButton::onMouse(CCMouseMsg* msg) {
    if (!usable() || !pressAndRelease(*this, msg, mode_, pressed_))
        return 0;
    invalidate(true);
    return 1;
}

void CCPulseButton::applyValue(int32_t value, bool notify, bool redraw, bool extra, bool forced) {
    if (value != value_) {
        CCTimerObject* timers = timerObjectOf();
        if (timers && !timerId_)
            timerId_ = timers->newRepeatingTimerId();
        if (!timerId_)
            timers = nullptr;
        if (value == 1 && !pulsing_) {
            phase_ = 0;
            falling_ = false;
            if (timers)
                timers->startTimer(timerId_, kPulseMs);
            pulsing_ = true;
        } else {
            if (timers)
                timers->stopTimer(timerId_);
            phase_ = 0;
            invalidate(false);
            pulsing_ = false;
        }
    }
    CControl::applyValue(value, notify, redraw, extra, forced);
}

int CCPulseButton::onParameterMessage(CCMsg* msg) {
    if (msg->code == MSG_TIMER && timerId_ && uint32_t(msg->first) == timerId_) {
        phase_ += continuous_ ? (falling_ ? -16 : 64) : 20;
        if (phase_ > 254) {
            if (continuous_) {
                falling_ = true;
            } else {
                if (CCTimerObject* timers = timerObjectOf())
                    timers->stopTimer(timerId_);
                pulsing_ = false;
            }
            phase_ = 255;
        } else if (phase_ < 1 && continuous_) {
            falling_ = false;
            phase_ = 0;
        }
        invalidate(false);
        return 1;
    }
    if (msg->code != MSG_PARAMETER)
        return 0;
    setValueFromParameter(fromNormalized(msg->value), msg->notify, false);
    return 1;
}

CCTextButton::CCTextButton(int32_t tag, const CCRect& rect, CCFont* font, CCFont* hoverFont,
                           int backgroundId, CCPageObject* listener, uint16_t viewBits)
    : CControl(tag, rect.left, rect.top, rect.right, rect.bottom, 0, 0, 0, listener, viewBits),
      hoverFont_(hoverFont) {
    if (font)
        setFont(font);
    if (backgroundId)
        setBackgroundBitmap(backgroundId);
}

void CCTextButton::setText(const char* text) {
    text_ = text ? text : "";
    invalidate(true);
}

char* CCTextButton::getText(char* buffer, size_t length) {
    return copyText(buffer, length, text_);
}

void CCTextButton::drawContents(CCDrawContext* context) {
    const uint8_t alpha = context->alpha();
    if (background_)
        context->drawBitmap(background_, CCPoint{rect_.left, rect_.top}, CCPoint{0, 0});
    // Without a hover font the text keeps its own font rather than vanishing.
    CCFont* font = hoverLook_ && hoverFont_ ? hoverFont_ : getFont();
    drawString(context, font, text_.c_str(), rect_, alignment_);
    context->setAlpha(alpha);
}

int CCTextButton::onMouse(CCMouseMsg* msg) {
    if (!usable())
        return 0;
    if (msg->code == MSG_MOUSE_MOVE) {
        const bool look = hitTest(msg->x, msg->y);
        if (look != hoverLook_) {
            hoverLook_ = look;
            invalidate(true);
        }
        return 0;
    }
    if (msg->code == MSG_LBUTTON_DOWN && hitTest(msg->x, msg->y)) {
        pressed_ = true;
        setValue(1, true, true, false);
        return 1;
    }
    if (msg->code != MSG_LBUTTON_UP || !pressed_)
        return 0;
    // Down while held, then a click report when released over it.
    setValue(0, true, true, false);
    if (hitTest(msg->x, msg->y)) {
        setValue(1, true, false, false);
        setValue(0, false, true, false);
    }
    pressed_ = hoverLook_ = false;
    return 1;
}

int CCTextButton::onParameterMessage(CCMsg* msg) {
    if (msg->code != MSG_PARAMETER)
        return 0;
    setValueFromParameter(fromNormalized(msg->value), msg->notify, true);
    return 1;
}
