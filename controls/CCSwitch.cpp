#include "CCSwitch.h"

#include "CCBitmapCache.h"
#include "Framework.h"
#include "PlatformHelpers.h"

#include <algorithm>

CCSwitch::CCSwitch(int32_t tag, int left, int top, int right, int bottom, int32_t value, int cellWidth,
                   int stripId, bool vertical, int positions, CCPageObject* listener, uint16_t viewBits)
    : CControl(tag, left, top, right, bottom, 0, std::max(positions, 1) - 1, value, listener, viewBits),
      strip_(cellWidth > 0 ? bitmapCache().getStripByWidth(stripId, cellWidth) : nullptr),
      cellWidth_(cellWidth), vertical_(vertical), positions_(std::max(positions, 1)) {}

CCSwitch::~CCSwitch() {
    bitmapCache().release(strip_);
}

void CCSwitch::drawContents(CCDrawContext* context) {
    if (strip_ && value_ >= 0 && value_ < strip_->frameCount())
        context->drawFrame(strip_, CCPoint{rect_.left, rect_.top}, static_cast<unsigned>(value_));
}

int CCSwitch::positionAt(int localX, int localY) const {
    const int step = std::max((vertical_ ? rect_.height() : cellWidth_) / positions_, 1);
    const int position = (vertical_ ? localY : localX) / step;
    return std::clamp(position, 0, positions_ - 1);
}

CCPoint CCSwitch::knobPoint(int position) const {
    if (vertical_)
        return CCPoint{(rect_.left + rect_.right) / 2, rect_.top + position * (rect_.height() / positions_)};
    return CCPoint{rect_.left + (cellWidth_ / positions_) * position, (rect_.top + rect_.bottom) / 2};
}

int CCSwitch::onMouse(CCMouseMsg* msg) {
    if (!usable())
        return 0;
    switch (msg->code) {
    case MSG_LBUTTON_DOWN: {
        if (!hitTest(msg->x, msg->y))
            return 0;
        const CCPoint local = toLocal(msg->x, msg->y);
        const int position = positionAt(local.x, local.y);
        if (position != value_)
            setValue(position, true, true, false);
        hideCursor(msg->screenX, msg->screenY);
        setCapture(true);
        dragX_ = msg->screenX;
        dragY_ = msg->screenY;
        return 1;
    }
    case MSG_MOUSE_MOVE: {
        if (!hasCapture_)
            return 0;
        const int now = vertical_ ? msg->screenY : msg->screenX;
        const int from = vertical_ ? dragY_ : dragX_;
        if (now >= from - kDragThreshold && now <= from + kDragThreshold)
            return 0;
        setValue(now < from ? value_ - 1 : value_ + 1, true, true, false);
        // The next step is measured from here.
        dragX_ = msg->screenX;
        dragY_ = msg->screenY;
        return 1;
    }
    case MSG_LBUTTON_UP:
        if (!hasCapture_)
            return 0;
        endDrag();
        return 1;
    case MSG_MOUSE_WHEEL: {
        if (!hitTest(msg->x, msg->y))
            return 0;
        const bool up = msg->first < 1;
        const int step = vertical_ ? (up ? 1 : -1) : (up ? -1 : 1);
        setValue(value_ + step, true, true, true);
        return 1;
    }
    default:
        return 0;
    }
}

void CCSwitch::endDrag() {
    setCapture(false);
    const CCPoint knob = knobPoint(value_);
    if (CCTimerObject* timers = timerObjectOf())
        timers->showCursorAt(knob.x, knob.y);
}

void CCSwitch::onEnabledChanged(bool enabled) {
    if (!enabled && hasCapture_)
        endDrag();
}

int CCSwitch::onParameterMessage(CCMsg* msg) {
    if (msg->code != MSG_PARAMETER)
        return 0;
    setValueFromParameter(fromNormalized(msg->value), msg->notify, false);
    return 1;
}
