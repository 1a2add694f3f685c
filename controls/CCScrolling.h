#pragma once

#include "CCPanels.h"

#include <optional>

class CCScroller;

// A panel whose children are a content larger than the panel's view, moved by two
// scrollers that it puts beside itself in its own parent (below and right of it) at
// its first move. Scroll offsets are 0 or negative: the content's shift.
class CCScrollingPanel : public CCPanel {
public:
    static constexpr int32_t kHorizontalScrollerTag = 1000;
    static constexpr int32_t kVerticalScrollerTag = 1001;
    static constexpr int kScrollerThickness = 15;

    CCScrollingPanel(int32_t tag, const CCRect& rect, int backgroundId, int ignored, CCPageObject* listener,
                     uint16_t viewBits);
    // The scrollers go with the panel.
    ~CCScrollingPanel() override;

    void onMoved() override;
    void onChildAdded(CCPageObject* child) override;
    void onDescendantRemoved(CCPageObject* object) override;
    // Presses outside the view do not reach children scrolled out of it.
    bool passesToChildren(const CCMsg* msg) override;

    // Measures the children, sets the scrollers' maxima (hiding a scroller with
    // nothing to scroll) and brings the offsets back within them.
    void updateExtent();
    // dx, dy in -1, 0, 1: a page is the first child's width or height. Negative
    // moves the content forward (towards its end).
    void scrollPages(int dx, int dy);
    void scrollPixels(int dx, int dy);
    // Remembers the scroll position, and later scrolls back to it (once).
    void saveScroll();
    void restoreScroll();

    void setMargins(int x, int y) { marginX_ = x, marginY_ = y; }
    const CCRect& contentExtent() const { return extent_; }
    int scrollX() const { return scrollX_; }
    int scrollY() const { return scrollY_; }
    int maximumX() const { return maximumX_; }
    int maximumY() const { return maximumY_; }
    CCScroller* horizontalScroller() const { return horizontal_; }
    CCScroller* verticalScroller() const { return vertical_; }

private:
    friend class CCScroller;
    void scrollTo(int x, int y);
    void scrollerGone(CCScroller* scroller);

    CCRect extent_; // relative to the panel's top-left, unscrolled
    int marginX_ = 0, marginY_ = 0;
    int viewWidth_, viewHeight_;
    int scrollX_ = 0, scrollY_ = 0;
    int maximumX_ = 0, maximumY_ = 0;
    std::optional<CCPoint> saved_; // a scroll position (the offsets negated)
    CCScroller* horizontal_ = nullptr;
    CCScroller* vertical_ = nullptr;
};

// A scroll bar: a back arrow, a track with a thumb and a forward arrow. Arrows scroll
// its panel a page per press and repeat while held; the thumb is dragged; the wheel
// scrolls a page. Shown only while there is something to scroll.
class CCScroller : public CControl {
public:
    static constexpr uint32_t kRepeatTimer = 4098;
    static constexpr uint32_t kRepeatMs = 150;
    // Horizontal: back, forward, thumb; vertical likewise.
    static constexpr int kHorizontalBitmaps[3] = {1000, 1001, 1005};
    static constexpr int kVerticalBitmaps[3] = {1002, 1003, 1004};
    static constexpr CCBrush kTrackColour{220, 227, 234, 255};

    CCScroller(int32_t tag, const CCRect& rect, bool vertical, CCScrollingPanel* target,
               CCPageObject* listener, uint16_t viewBits);
    ~CCScroller() override;

    // The panel's maximum scroll: what a drag along the whole track spans.
    void setMaximum(int maximum);
    void setPosition(int position);
    int maximum() const { return pageCount_; }
    int position() const { return position_; }
    bool vertical() const { return vertical_; }
    bool dragging() const { return dragging_; }
    bool arrowHeld() const { return forwardHeld_ || backHeld_; }
    CCScrollingPanel* target() const { return target_; }

    // Where the parts are now, in window coordinates.
    CCRect backArrowArea() const;
    CCRect forwardArrowArea() const;
    CCRect trackArea() const;
    CCRect thumbArea() const;
    // How far the thumb travels: the track less the thumb.
    int trackLength() const;

    void setShown(bool shown) override;
    void onEnabledChanged(bool enabled) override;
    void onCaptureLost() override;
    void onLeavingTree() override;
    void drawContents(CCDrawContext* context) override;
    int onMouse(CCMouseMsg* msg) override;
    int onParameterMessage(CCMsg* msg) override;

private:
    friend class CCScrollingPanel;
    // Along the scroller's axis.
    int along(int x, int y) const { return vertical_ ? y : x; }
    int start() const { return vertical_ ? rect_.top : rect_.left; }
    int end() const { return vertical_ ? rect_.bottom : rect_.right; }
    int thickness() const { return vertical_ ? rect_.width() : rect_.height(); }
    int lengthOf(const CCBitmap* bitmap, int fallback) const;
    int backLength() const;
    int forwardLength() const;
    int thumbLength() const;
    // One page towards the end (forward) or the start.
    void page(bool forward);
    void stopRepeat();
    // Redraws the scroller's area, also once it is no longer shown.
    void redrawArea();

    int pageCount_ = 0;
    bool vertical_;
    CCScrollingPanel* target_;
    int position_ = 0;
    bool dragging_ = false;
    bool forwardHeld_ = false;
    bool backHeld_ = false;
    int grabOffset_ = 0; // where on the thumb the drag holds it
    CCBitmap* back_ = nullptr;
    CCBitmap* forward_ = nullptr;
    CCBitmap* thumb_ = nullptr;
};
