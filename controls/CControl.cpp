#include "CControl.h"

#include "CCBitmapCache.h"
#include "CCFont.h"
#include "CCPageManager.h"
#include "CParameterManager.h"
#include "CVSProcess.h"
#include "Framework.h"
#include "ParameterAccess.h"
#include "PlatformHelpers.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Touched only on the user-interface thread.
struct ControlGlobals {
    std::unique_ptr<CCBitmapFont> defaultBitmapFont;
    BitmapFontCallback bitmapFontCallback = nullptr;
    void* pixelHook = nullptr;
    void* secondCallback = nullptr;
    bool pressAndHold = false;
    CControl* held = nullptr;
} globals;

} // namespace

void registerAppCallback(int kind, void* function) {
    switch (kind) {
    case 0:
        globals.pixelHook = function;
        break;
    case 1:
        globals.secondCallback = function;
        globals.bitmapFontCallback = reinterpret_cast<BitmapFontCallback>(function);
        break;
    case 2:
        globals.bitmapFontCallback = reinterpret_cast<BitmapFontCallback>(function);
        break;
    default:
        break;
    }
}

void CControl::setPressAndHold(bool on) {
    globals.pressAndHold = on;
    if (!on)
        globals.held = nullptr;
}

bool CControl::pressAndHold() {
    return globals.pressAndHold;
}

CControl::CControl() {
    font_ = defaultFont();
    ensureDefaultBitmapFont();
}

CControl::CControl(int32_t tag, int left, int top, int right, int bottom, int32_t minimum,
                   int32_t maximum, int32_t value, CCPageObject* listener, uint16_t viewBits)
    : CCPageObject(left, top, right, bottom, listener, static_cast<uint32_t>(tag), viewBits),
      tag_(tag), value_(value), minimum_(minimum), maximum_(maximum) {
    font_ = defaultFont();
    setRange(minimum, maximum);
    ensureDefaultBitmapFont();
}

CControl::~CControl() {
    if (globals.held == this)
        globals.held = nullptr;
    if (linkedDisplay_ && linkedDisplay_->displayOwner() == this)
        linkedDisplay_->setDisplayOwner(nullptr);
    if (overlay_)
        bitmapCache().release(overlay_);
}

void CControl::ensureDefaultBitmapFont() {
    if (globals.defaultBitmapFont || !globals.bitmapFontCallback)
        return;
    int bitmapId = 0, cellWidth = 0;
    if (!globals.bitmapFontCallback(bitmapId, cellWidth) || cellWidth <= 0)
        return;
    CCImageStrip* strip = bitmapCache().getStripByWidth(bitmapId, cellWidth);
    if (!strip)
        return;
    globals.defaultBitmapFont = std::make_unique<CCBitmapFont>(bitmapCache(), bitmapId, strip->frameCount());
    bitmapCache().release(strip);
}

CCBitmapFont* CControl::setBitmapFont(int stripId, int width) {
    if (width <= 0)
        return nullptr;
    CCImageStrip* strip = bitmapCache().getStripByWidth(stripId, width);
    if (!strip)
        return nullptr;
    bitmapFont_ = std::make_unique<CCBitmapFont>(bitmapCache(), stripId, strip->frameCount());
    bitmapCache().release(strip);
    return bitmapFont_.get();
}

CCFont* CControl::getFont() {
    if (font_)
        return font_;
    if (bitmapFont_)
        return bitmapFont_.get();
    return globals.defaultBitmapFont.get();
}

ParameterAccess* CControl::parameters() const {
    CCPageManager* manager = managerOf();
    CVSProcess* queue = manager ? manager->changeQueue() : nullptr;
    return queue ? queue->GetManager() : nullptr;
}

PreferenceAccess* CControl::preferences() const {
    CCPageManager* manager = managerOf();
    return manager ? manager->preferenceAccess() : nullptr;
}

bool CControl::hasParameter(int32_t index) const {
    ParameterAccess* access = parameters();
    return access && index >= 0 && index < access->parameterCount() && access->isRegistered(index);
}

void CControl::setRange(int32_t minimum, int32_t maximum) {
    minimum_ = minimum;
    maximum_ = maximum;
    span_ = 1;
    if (minimum < 0 && maximum > 0)
        span_ = 2 * std::max(std::abs(minimum), maximum);
    else if (minimum != maximum)
        span_ = maximum - minimum;
    if (span_ == 0)
        span_ = 1;
}

float CControl::toNormalized(int32_t value) {
    if (raw_)
        return static_cast<float>(value);
    return static_cast<float>(value - minimum_) / static_cast<float>(span_);
}

int32_t CControl::fromNormalized(float x) {
    if (raw_)
        return static_cast<int32_t>(x);
    const double y = double(span_) * double(x) + double(minimum_);
    double integral = 0;
    const double fraction = std::modf(y, &integral);
    // Beyond what an int holds the value is clamped by the range anyway.
    const double bounded = std::fmax(std::fmin(integral, 2147483646.0), -2147483647.0);
    const int32_t i = static_cast<int32_t>(bounded);
    if (fraction > 0.5)
        return i + 1;
    if (fraction < -0.5)
        return i - 1;
    return i;
}

void CControl::applyValue(int32_t value, bool notify, bool redraw, bool extra, bool forced) {
    float reported = raw_ ? rawReported_ : 0.0f;
    if (!redraw)
        changedNotDrawn_ = true;
    if (minimum_ != maximum_) {
        const int32_t before = value;
        if (!wrap_)
            value = value < minimum_ ? minimum_ : (value > maximum_ ? maximum_ : value);
        else
            value = value < minimum_ ? maximum_ : (value > maximum_ ? minimum_ : value);
        if (value != before)
            reported = static_cast<float>(value);
    }
    const bool always = alwaysNotify();
    if (always)
        redraw = true;
    const bool unchanged = value == value_;
    if (unchanged && !forced && !always)
        return;
    value_ = value;
    if (!(unchanged && !forced)) {
        if (notify) {
            CCMsg changed(MSG_VALUE_CHANGED, tag_, value, raw_ ? reported : toNormalized(value), this);
            if (listener_)
                notifyListeners(&changed);
            else
                bubbleUp(&changed);
        }
    }
    if (linkedDisplay_ && valueTextBuffer_ && hasParameter(tag_)) {
        parameters()->displayText(tag_, valueTextBuffer_.get(), kValueTextSize);
        linkedDisplay_->showOwnerText(valueTextBuffer_.get(), redraw);
    }
    if (viewSwitch_ && parent_ && parent_->isGroupContainer()) {
        const uint32_t shifted = viewSwitchMask_ << (static_cast<uint32_t>(value_) % 32u);
        parent_->selectGroup(static_cast<uint16_t>(shifted & 0xFFFF), 0);
        parent_->invalidate(false);
    } else if (redraw && visible_ && shown_) {
        invalidate(extra);
    }
}

void CControl::resendValue(bool notify, bool redraw, bool extra) {
    applyValue(value_, notify, redraw, extra, true);
}

void CControl::setValueForced(int32_t value, bool notify, bool redraw, bool extra) {
    applyValue(value, notify, redraw, extra, true);
}

void CControl::setValue(int32_t value, bool notify, bool redraw, bool extra) {
    applyValue(value, notify, redraw, extra, false);
}

void CControl::setNormalized(float x) {
    setValue(fromNormalized(x), true, true, false);
}

void CControl::setValueFromParameter(int32_t value, bool redraw, bool extra) {
    setValue(value, echo_, redraw, extra);
}

void CControl::setValueRaw(float x, bool notify, bool redraw, bool extra) {
    const bool before = raw_;
    raw_ = true;
    rawReported_ = x;
    const double bounded = std::fmax(std::fmin(double(x), 2147483647.0), -2147483648.0);
    applyValue(std::isnan(x) ? 0 : static_cast<int32_t>(bounded), notify, redraw, extra, true);
    raw_ = before;
}

void CControl::syncFromSource() {
    if (ParameterAccess* access = parameters(); access && hasParameter(tag_)) {
        setValue(fromNormalized(access->normalizedValue(tag_)), true, true, true);
        return;
    }
    if (PreferenceAccess* prefs = preferences()) {
        int32_t integer = 0;
        float real = 0;
        switch (prefs->find(static_cast<uint16_t>(tag_ & 0xFFFF), integer, real)) {
        case PreferenceAccess::Kind::Integer:
            setValue(integer, true, true, true);
            break;
        case PreferenceAccess::Kind::Float:
            setValue(fromNormalized(real), true, true, true);
            break;
        default:
            break;
        }
    }
}

bool CControl::takePreference() {
    // A preference's 513 carries no normalised value: the control reads the
    // preference itself, as a double click would, and reports nothing back.
    PreferenceAccess* prefs = preferences();
    if (!prefs || hasParameter(tag_))
        return false;
    int32_t integer = 0;
    float real = 0;
    switch (prefs->find(static_cast<uint16_t>(tag_ & 0xFFFF), integer, real)) {
    case PreferenceAccess::Kind::Integer:
        setValue(integer, false, true, true);
        return true;
    case PreferenceAccess::Kind::Float:
        setValue(fromNormalized(real), false, true, true);
        return true;
    default:
        return false;
    }
}

void CControl::onDoubleClick(int x, int y) {
    (void)x, (void)y;
    syncFromSource();
}

char* CControl::copyText(char* buffer, size_t length, const std::string& text) {
    if (buffer && length) {
        const size_t copied = std::min(text.size(), length - 1);
        std::memcpy(buffer, text.data(), copied);
        buffer[copied] = '\0';
    }
    return buffer;
}

void drawStretchedBackground(CCDrawContext* context, const CCBitmap* background, const CCRect& rect,
                             int cap) {
    if (!background)
        return;
    if (rect.width() < background->width()) {
        const int left = std::max(rect.width() - cap, 0);
        context->drawBitmap(background, CCPoint{rect.left, rect.top}, CCPoint{0, 0},
                            CCPoint{left, rect.height()});
        context->drawBitmap(background, CCPoint{rect.right - cap, rect.top},
                            CCPoint{background->width() - cap, 0}, CCPoint{cap, rect.height()});
    } else {
        context->drawBitmap(background, CCPoint{rect.left, rect.top}, CCPoint{0, 0});
    }
}

void CControl::drawHoverBackground(CCDrawContext* context, int rightCap) const {
    if (!background_)
        return;
    const bool tint = hover_ && hasHighlightColour();
    if (tint)
        tintWithHighlight(context);
    drawStretchedBackground(context, background_, rect_, rightCap);
    if (tint)
        context->setTint(0, 0, 0);
}

char* CControl::getText(char* buffer, size_t length) {
    if (buffer && length)
        buffer[0] = '\0';
    return buffer;
}

void CControl::setFromText(int32_t ignored, const char* text, bool asInteger) {
    (void)ignored;
    if (!text)
        return;
    float number = std::strtof(text, nullptr); // out of range: ±HUGE_VALF, never undefined
    if (ParameterAccess* access = parameters(); access && hasParameter(tag_)) {
        float normalized = 0;
        if (access->parseText(tag_, text, normalized))
            number = normalized;
    }
    if (asInteger)
        applyValue(fromNormalized(number), true, true, true, true);
    else
        setValueRaw(number, true, true, true);
}

void CControl::setLinkedDisplay(CControl* display) {
    // A display given up must not keep pointing here: it would outlive this control.
    if (linkedDisplay_ && linkedDisplay_ != display && linkedDisplay_->displayOwner() == this)
        linkedDisplay_->setDisplayOwner(nullptr);
    linkedDisplay_ = display;
    if (!display)
        return;
    display->setDisplayOwner(this);
    if (valueTextBuffer_ && hasParameter(tag_)) {
        parameters()->displayText(tag_, valueTextBuffer_.get(), kValueTextSize);
        display->showOwnerText(valueTextBuffer_.get(), false);
    }
}

void CControl::setViewSwitch(bool on, uint16_t mask) {
    viewSwitch_ = on;
    viewSwitchMask_ = mask;
    if (parent_)
        parent_->setIsolateVisibility(true);
}

void CControl::setOverlayBitmap(int id) {
    if (id > 0) {
        if (!overlay_) {
            overlay_ = bitmapCache().getBitmap(id);
            invalidate(false);
        }
    } else {
        if (overlay_) {
            bitmapCache().release(overlay_);
            overlay_ = nullptr;
        }
        invalidate(false);
    }
}

void CControl::setValueText(bool on, const CCRect& rect, uint32_t colour) {
    valueText_ = on;
    valueTextRect_ = rect;
    valueTextColour_[0] = uint8_t(colour >> 24), valueTextColour_[1] = uint8_t(colour >> 16);
    valueTextColour_[2] = uint8_t(colour >> 8), valueTextColour_[3] = uint8_t(colour);
    if (on && !valueTextBuffer_) {
        valueTextBuffer_ = std::make_unique<char[]>(kValueTextSize);
        valueTextBuffer_[0] = '\0';
    }
}

void CControl::setHighlightColour(uint8_t red, uint8_t green, uint8_t blue, uint8_t alpha) {
    highlight_[0] = red, highlight_[1] = green, highlight_[2] = blue, highlight_[3] = alpha;
}

void CControl::tintWithHighlight(CCDrawContext* context) const {
    context->setTint(highlight_[0], highlight_[1], highlight_[2]);
}

void CControl::setEnabled(bool enabled, uint8_t alpha) {
    CCPageObject::setEnabled(enabled, alpha);
    if (linkedDisplay_)
        linkedDisplay_->setEnabled(enabled, alpha);
}

void CControl::setShown(bool shown) {
    CCPageObject::setShown(shown);
    if (linkedDisplay_)
        linkedDisplay_->setShown(shown);
}

uint16_t CControl::changeViewBits(uint16_t set, uint16_t clear) {
    const uint16_t bits = CCPageObject::changeViewBits(set, clear);
    return linkedDisplay_ ? linkedDisplay_->changeViewBits(set, clear) : bits;
}

bool CControl::hitTest(int x, int y) {
    struct Search {
        static bool childHit(CCPageObject* object, int px, int py) {
            for (CCPageObject* child = object->firstChild(); child; child = child->nextSibling()) {
                if (dynamic_cast<CControl*>(child) && child->hitTest(px, py))
                    return true;
                if (childHit(child, px, py))
                    return true;
            }
            return false;
        }
    };
    if (Search::childHit(this, x, y))
        return false;
    return CCPageObject::hitTest(x, y);
}

int CControl::handleMessage(CCMsg* msg) {
    switch (msg->code) {
    // Both name their control by tag: any other lets them travel on to it.
    case MSG_SET_ENABLED:
        if (msg->first != tag_)
            return 0;
        setEnabled(msg->second != 0, 0);
        return 1;
    case MSG_SELECT_VIEW:
        if (msg->second != tag_)
            return 0;
        selectGroup(static_cast<uint16_t>(msg->first & 0xFFFF), 0);
        invalidate(false);
        return 1;
    case MSG_PARAMETER:
        if (tag_ != int32_t(kTypeDefault) && tag_ != int32_t(kTypeInert) && msg->first == tag_)
            setEnabled(!msg->disable, 0);
        if (msg->first > 0 && msg->first != tag_)
            return 0;
        if (msg->first == tag_ && takePreference())
            return 1;
        break;
    case MSG_TIMER:
        if (globals.pressAndHold && msg->first == int32_t(kHoldTimer)) {
            if (CControl* held = globals.held) {
                CCMsg heldMsg(MSG_HELD, int32_t(held->type()), 0.0f, held);
                bubbleUp(&heldMsg);
            }
            globals.held = nullptr;
            return 1;
        }
        break;
    default:
        break;
    }
    return onParameterMessage(msg);
}

int CControl::handleMouse(CCMouseMsg* msg) {
    if (!enabled_ && msg->code != MSG_MOUSE_MOVE)
        return 0;
    if (!visible_ || !shown_)
        return 0;
    const int x = msg->x, y = msg->y;
    if (msg->code == MSG_PRESS_PROBE && hitTest(x, y)) {
        msg->sender = this;
        return 1;
    }
    if (msg->code == MSG_LBUTTON_DOUBLE && hitTest(x, y)) {
        onDoubleClick(x, y);
        msg->code = MSG_LBUTTON_DOWN; // and on as a press
    }
    CCTimerObject* timers = globals.pressAndHold ? timerObjectOf() : nullptr;
    switch (msg->code) {
    case MSG_LBUTTON_UP:
        if (globals.pressAndHold) {
            if (timers)
                timers->stopTimer(kHoldTimer);
            globals.held = nullptr;
        }
        break;
    case MSG_LBUTTON_DOWN:
        if (globals.pressAndHold && hitTest(x, y)) {
            globals.held = this;
            holdX_ = x, holdY_ = y;
            if (timers)
                timers->startTimer(kHoldTimer, kHoldDelayMs);
        }
        break;
    case MSG_MOUSE_MOVE: {
        hover_ = hitTest(x, y);
        if (globals.pressAndHold && (std::abs(x - holdX_) > kHoldSlop || std::abs(y - holdY_) > kHoldSlop)) {
            if (timers)
                timers->stopTimer(kHoldTimer);
            holdX_ = holdY_ = 0;
        }
        if (tag_ != int32_t(kTypeDefault) && (hover_ || hasCapture_))
            if (CCPageManager* manager = managerOf(); manager && manager->hoverObject() != this)
                manager->setHover(this);
        break;
    }
    default:
        break;
    }
    const int result = onMouse(msg);
    if (hover_ != hoverDrawn_)
        invalidate(true);
    return result;
}

void CControl::draw(CCDrawContext* context) {
    changedNotDrawn_ = false;
    context->saveClip();
    context->clipTo(rect_);
    drawContents(context);
    if (overlay_)
        context->drawBitmap(overlay_, CCPoint{rect_.left, rect_.top}, CCPoint{0, 0},
                            CCPoint{rect_.width(), rect_.height()});
    context->restoreClip();
    if (valueText_ && !linkedDisplay_ && valueTextBuffer_ && hasParameter(tag_)) {
        context->saveClip();
        context->clipTo(valueTextRect_);
        parameters()->displayText(tag_, valueTextBuffer_.get(), kValueTextSize);
        if (bitmapFont_)
            drawString(context, bitmapFont_.get(), valueTextBuffer_.get(), valueTextRect_, 1);
        else
            drawString(context, font_, valueTextBuffer_.get(), valueTextRect_, 2);
        context->restoreClip();
    }
    hoverDrawn_ = hover_;
}
