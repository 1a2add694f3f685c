#include "CCScrolling.h"

#include "CCBitmapCache.h"
#include "CCPageManager.h"
#include "Framework.h"
#include "PlatformHelpers.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace {

// Codes whose point decides who gets them; moves and releases go everywhere, so
// that hover and presses end properly.
bool isPointedPress(uint16_t code) {
    return code == MSG_PRESS_PROBE || code == MSG_LBUTTON_DOWN || code == MSG_RBUTTON_DOWN ||
           code == MSG_LBUTTON_DOUBLE || code == MSG_RBUTTON_DOUBLE || code == MSG_MOUSE_WHEEL;
}

int clampOffset(long long offset, int maximum) {
    return static_cast<int>(std::clamp<long long>(offset, -static_cast<long long>(maximum), 0));
}

} // namespace

CCScrollingPanel::CCScrollingPanel(int32_t tag, const CCRect& rect, int backgroundId, int ignored,
                                   CCPageObject* listener, uint16_t viewBits)
    : CCPanel(tag, rect, backgroundId, ignored, listener, viewBits), viewWidth_(rect.width()),
      viewHeight_(rect.height()) {}

CCScrollingPanel::~CCScrollingPanel() {
    for (CCScroller* scroller : {horizontal_, vertical_}) {
        if (!scroller)
            continue;
        scroller->target_ = nullptr;
        if (CCPageObject* parent = scroller->parent())
            parent->removeChild(scroller);
        delete scroller;
    }
}

void CCScrollingPanel::scrollerGone(CCScroller* scroller) {
    if (horizontal_ == scroller)
        horizontal_ = nullptr;
    if (vertical_ == scroller)
        vertical_ = nullptr;
}

void CCScrollingPanel::onMoved() {
    if (parent_ && !horizontal_ && !vertical_) {
        // Relative to the parent, as every child is given.
        const int left = rect_.left - parent_->rect().left, top = rect_.top - parent_->rect().top;
        const int right = left + rect_.width(), bottom = top + rect_.height();
        horizontal_ = new CCScroller(kHorizontalScrollerTag,
                                     CCRect{left, bottom, right, bottom + kScrollerThickness}, false, this,
                                     nullptr, 0);
        vertical_ = new CCScroller(kVerticalScrollerTag, CCRect{right, top, right + kScrollerThickness, bottom},
                                   true, this, nullptr, 0);
        parent_->addChild(horizontal_);
        parent_->addChild(vertical_);
    }
    updateExtent();
}

void CCScrollingPanel::onChildAdded(CCPageObject* child) {
    (void)child;
    updateExtent();
}

void CCScrollingPanel::onDescendantRemoved(CCPageObject* object) {
    (void)object;
    updateExtent(); // the content may have shrunk below the offsets
}

bool CCScrollingPanel::passesToChildren(const CCMsg* msg) {
    const auto* mouse = dynamic_cast<const CCMouseMsg*>(msg);
    if (!mouse || !isPointedPress(msg->code))
        return true;
    return rect_.left <= mouse->x && mouse->x < rect_.right && rect_.top <= mouse->y && mouse->y < rect_.bottom;
}

void CCScrollingPanel::updateExtent() {
    if (!horizontal_ || !vertical_)
        return;
    // Measured where the children would be unscrolled, so the maxima do not depend
    // on the offsets they are measured at.
    CCRect extent;
    for (CCPageObject* child = firstChild_; child; child = child->nextSibling()) {
        const CCRect& r = child->rect();
        const int dx = rect_.left + scrollX_, dy = rect_.top + scrollY_;
        extent.left = std::min(extent.left, r.left - dx);
        extent.top = std::min(extent.top, r.top - dy);
        extent.right = std::max(extent.right, r.right - dx);
        extent.bottom = std::max(extent.bottom, r.bottom - dy);
    }
    extent_ = extent;
    maximumX_ = std::max(extent.right + marginX_ - viewWidth_ - extent.left, 0);
    maximumY_ = std::max(extent.bottom + marginY_ - extent.top - viewHeight_, 0);
    horizontal_->setMaximum(maximumX_);
    vertical_->setMaximum(maximumY_);
    scrollTo(scrollX_, scrollY_); // back within the new maxima
    invalidate(false);
}

void CCScrollingPanel::scrollPages(int dx, int dy) {
    const int pageWidth = firstChild_ ? firstChild_->rect().width() : 0;
    const int pageHeight = firstChild_ ? firstChild_->rect().height() : 0;
    scrollTo(clampOffset(scrollX_ + static_cast<long long>(std::clamp(dx, -1, 1)) * pageWidth, maximumX_),
             clampOffset(scrollY_ + static_cast<long long>(std::clamp(dy, -1, 1)) * pageHeight, maximumY_));
}

void CCScrollingPanel::scrollPixels(int dx, int dy) {
    scrollTo(clampOffset(static_cast<long long>(scrollX_) + dx, maximumX_),
             clampOffset(static_cast<long long>(scrollY_) + dy, maximumY_));
}

void CCScrollingPanel::scrollTo(int x, int y) {
    x = clampOffset(x, maximumX_);
    y = clampOffset(y, maximumY_);
    const int dx = x - scrollX_, dy = y - scrollY_;
    scrollX_ = x;
    scrollY_ = y;
    if (dx || dy) {
        CCPageManager* manager = managerOf();
        std::unique_lock<CCLock> guard;
        bool couldDraw = false;
        if (manager) {
            guard = std::unique_lock<CCLock>(manager->lock());
            couldDraw = manager->canDraw();
            manager->setCanDraw(false); // nothing drawn half moved
        }
        std::vector<CCPageObject*> children;
        for (CCPageObject* child = firstChild_; child; child = child->nextSibling())
            children.push_back(child);
        for (CCPageObject* child : children) {
            child->moveBy(dx, dy);
            child->onMoved();
        }
        if (manager)
            manager->setCanDraw(couldDraw);
        invalidate(false);
    }
    if (horizontal_)
        horizontal_->setPosition(-scrollX_);
    if (vertical_)
        vertical_->setPosition(-scrollY_);
}

void CCScrollingPanel::saveScroll() {
    saved_ = CCPoint{-scrollX_, -scrollY_};
}

void CCScrollingPanel::restoreScroll() {
    if (!saved_)
        return;
    const CCPoint position = *saved_;
    saved_.reset();
    scrollTo(-position.x, -position.y);
}

CCScroller::CCScroller(int32_t tag, const CCRect& rect, bool vertical, CCScrollingPanel* target,
                       CCPageObject* listener, uint16_t viewBits)
    : CControl(tag, rect.left, rect.top, rect.right, rect.bottom, 0, 0, 0, listener, viewBits),
      vertical_(vertical), target_(target) {
    const int* ids = vertical ? kVerticalBitmaps : kHorizontalBitmaps;
    back_ = bitmapCache().getBitmap(ids[0]);
    forward_ = bitmapCache().getBitmap(ids[1]);
    thumb_ = bitmapCache().getBitmap(ids[2]);
    shown_ = false; // nothing to scroll yet
}

CCScroller::~CCScroller() {
    stopRepeat();
    if (target_)
        target_->scrollerGone(this);
    for (CCBitmap* bitmap : {back_, forward_, thumb_})
        bitmapCache().release(bitmap);
}

void CCScroller::setShown(bool shown) {
    CControl::setShown(shown && pageCount_ != 0);
}

void CCScroller::redrawArea() {
    // invalidate() ignores an object that is not shown; its area still needs drawing.
    CCMsg redraw(MSG_INVALIDATE, this, false);
    bubbleUp(&redraw);
}

void CCScroller::setMaximum(int maximum) {
    maximum = std::max(maximum, 0);
    const bool changed = maximum != pageCount_;
    pageCount_ = maximum;
    const bool wanted = maximum != 0;
    if (!wanted && (dragging_ || arrowHeld())) {
        stopRepeat();
        dragging_ = false;
        if (hasCapture_)
            setCapture(false);
    }
    if (wanted != shown_ && parent_) {
        CControl::setShown(wanted);
        redrawArea();
    }
    if (position_ > maximum)
        setPosition(maximum);
    else if (changed)
        invalidate(true); // the thumb stands elsewhere on a new scale
}

void CCScroller::setPosition(int position) {
    position = std::clamp(position, 0, pageCount_);
    if (position == position_)
        return;
    position_ = position;
    invalidate(true);
}

int CCScroller::lengthOf(const CCBitmap* bitmap, int fallback) const {
    return bitmap ? (vertical_ ? bitmap->height() : bitmap->width()) : fallback;
}

int CCScroller::backLength() const {
    return std::clamp(lengthOf(back_, thickness()), 0, (end() - start()) / 2);
}

int CCScroller::forwardLength() const {
    return std::clamp(lengthOf(forward_, thickness()), 0, end() - start() - backLength());
}

int CCScroller::thumbLength() const {
    const int track = end() - start() - backLength() - forwardLength();
    return std::clamp(lengthOf(thumb_, 2 * thickness()), 0, std::max(track, 0));
}

int CCScroller::trackLength() const {
    return std::max(end() - start() - backLength() - forwardLength() - thumbLength(), 0);
}

namespace {

// A band [from, to) along the axis of a scroller's rectangle.
CCRect band(const CCRect& rect, bool vertical, int from, int to) {
    return vertical ? CCRect{rect.left, from, rect.right, to} : CCRect{from, rect.top, to, rect.bottom};
}

bool inside(const CCRect& r, int x, int y) {
    return r.left <= x && x < r.right && r.top <= y && y < r.bottom;
}

} // namespace

CCRect CCScroller::backArrowArea() const {
    return band(rect_, vertical_, start(), start() + backLength());
}

CCRect CCScroller::forwardArrowArea() const {
    return band(rect_, vertical_, end() - forwardLength(), end());
}

CCRect CCScroller::trackArea() const {
    return band(rect_, vertical_, start() + backLength(), end() - forwardLength());
}

CCRect CCScroller::thumbArea() const {
    const long long travel = pageCount_ > 0 ? static_cast<long long>(position_) * trackLength() / pageCount_ : 0;
    const int from = start() + backLength() + static_cast<int>(travel);
    return band(rect_, vertical_, from, from + thumbLength());
}

void CCScroller::page(bool forward) {
    if (!target_)
        return;
    const int step = forward ? -1 : 1;
    target_->scrollPages(vertical_ ? 0 : step, vertical_ ? step : 0);
}

void CCScroller::stopRepeat() {
    if (!forwardHeld_ && !backHeld_)
        return;
    forwardHeld_ = backHeld_ = false;
    if (parent_)
        if (CCTimerObject* timers = timerObjectOf())
            timers->stopTimer(kRepeatTimer);
}

void CCScroller::onCaptureLost() {
    stopRepeat();
    dragging_ = false;
}

void CCScroller::onLeavingTree() {
    // Still linked: the window's timer can be reached and stopped.
    stopRepeat();
    dragging_ = false;
}

void CCScroller::onEnabledChanged(bool enabled) {
    if (enabled)
        return;
    // A disabled scroller never sees the release that would end its press.
    stopRepeat();
    dragging_ = false;
    if (hasCapture_)
        setCapture(false);
}

void CCScroller::drawContents(CCDrawContext* context) {
    if (pageCount_ == 0)
        return;
    const CCRect track = trackArea();
    if (track.width() > 0 && track.height() > 0)
        context->fillRect(kTrackColour, CCRect{track.left, track.top, track.right - 1, track.bottom - 1});
    const CCRect back = backArrowArea(), forward = forwardArrowArea(), thumb = thumbArea();
    context->drawBitmap(back_, CCPoint{back.left, back.top}, CCPoint{0, 0});
    context->drawBitmap(forward_, CCPoint{forward.left, forward.top}, CCPoint{0, 0});
    context->saveClip();
    context->clipTo(track);
    context->drawBitmap(thumb_, CCPoint{thumb.left, thumb.top}, CCPoint{0, 0});
    context->restoreClip();
}

int CCScroller::onMouse(CCMouseMsg* msg) {
    if (!usable())
        return 0;
    const int x = msg->x, y = msg->y;
    switch (msg->code) {
    case MSG_LBUTTON_DOWN: {
        if (!inside(rect_, x, y))
            return 0;
        const bool forward = inside(forwardArrowArea(), x, y);
        if (forward || inside(backArrowArea(), x, y)) {
            page(forward);
            (forward ? forwardHeld_ : backHeld_) = true;
            if (CCTimerObject* timers = timerObjectOf())
                timers->startTimer(kRepeatTimer, kRepeatMs);
            // The release must come here wherever it happens, or the repeat runs on.
            setCapture(true);
            return 1;
        }
        const CCRect thumb = thumbArea();
        grabOffset_ = inside(thumb, x, y) ? along(x, y) - along(thumb.left, thumb.top) : thumbLength() / 2;
        setCapture(true);
        dragging_ = true;
        return 1;
    }
    case MSG_LBUTTON_UP:
        // Only a release that ends this scroller's own press: others belong elsewhere.
        if (!dragging_ && !arrowHeld() && !hasCapture_)
            return 0;
        stopRepeat();
        dragging_ = false;
        if (hasCapture_)
            setCapture(false);
        return 1;
    case MSG_MOUSE_MOVE: {
        if (!hasCapture_ || !dragging_)
            return 0;
        const int travel = trackLength();
        if (travel <= 0 || pageCount_ <= 0 || !target_)
            return 1; // a thumb with nowhere to go
        const long long offset = along(x, y) - start() - backLength() - grabOffset_;
        const int wanted = static_cast<int>(std::clamp<long long>(offset * pageCount_ / travel, 0, pageCount_));
        if (const int delta = position_ - wanted)
            target_->scrollPixels(vertical_ ? 0 : delta, vertical_ ? delta : 0);
        return 1;
    }
    case MSG_MOUSE_WHEEL:
        if (!inside(rect_, x, y))
            return 0;
        page(msg->first >= 1);
        return 1;
    default:
        return 0;
    }
}

int CCScroller::onParameterMessage(CCMsg* msg) {
    if (msg->code != MSG_TIMER || uint32_t(msg->first) != kRepeatTimer || !arrowHeld())
        return 0;
    page(forwardHeld_);
    return 1;
}
