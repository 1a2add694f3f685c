#pragma once

#include "CCDrawContext.h"
#include "CCMsg.h"

#include <atomic>
#include <cstdint>

class CCBitmap;
class CCFont;
class CCPageManager;
class CCTimerObject;

// Thrown by nothing in this program; message dispatch catches it.
class CCPageException {};

// A node of the page tree. Rectangles are relative to the parent while detached and
// absolute (window coordinates) while attached. Children are owned.
class CCPageObject {
public:
    static constexpr uint32_t kTypeDefault = 4096;
    static constexpr uint32_t kTypeInert = 4097; // created disabled, alpha 48
    static constexpr uint16_t kFadeDone = MSG_FADE_DONE;
    static constexpr int kMaxDrawDepth = 7;

    CCPageObject();
    CCPageObject(int left, int top, int right, int bottom);
    CCPageObject(int left, int top, int right, int bottom, CCPageObject* listener, uint32_t type,
                 uint16_t viewBits);
    virtual ~CCPageObject();
    CCPageObject(const CCPageObject&) = delete;
    CCPageObject& operator=(const CCPageObject&) = delete;

    virtual void onMoved() {}
    virtual void onChildAdded(CCPageObject* child) { (void)child; }
    // Handlers return a handled flag: only exactly 1 counts as handled.
    virtual int handleMessage(CCMsg* msg) { (void)msg; return 0; }
    virtual int handleMouse(CCMouseMsg* msg) { (void)msg; return 0; }
    virtual void setEnabled(bool enabled, uint8_t alpha);
    virtual void onEnabledChanged(bool enabled) { (void)enabled; }
    virtual void setShown(bool shown);
    virtual void onVisibilityChanged(bool visible) { (void)visible; }
    virtual bool hitTest(int x, int y);
    virtual void invalidate(bool onlySelf);
    virtual void draw(CCDrawContext* context) { (void)context; }
    virtual void drawClipped(CCDrawContext* context, CCPageObject* object);
    virtual uint16_t changeViewBits(uint16_t set, uint16_t clear);
    virtual int cursorAt(int x, int y) { (void)x, (void)y; return 0; }
    virtual CCFont* getFont() { return font_; }
    // Called on each former ancestor after an object left the subtree (removed or
    // being destroyed), under the manager lock when there is one.
    virtual void onDescendantRemoved(CCPageObject* object) { (void)object; }
    // Called on each object of a subtree about to leave its manager's tree, while
    // it is still linked: what runs on the window's timers stops here.
    virtual void onLeavingTree() {}
    // The capture was taken away (a modal opened, another object took it): the
    // release that would end this object's press will not come.
    virtual void onCaptureLost() {}
    // Whether deliverDown hands a message this object did not handle on to its
    // children; a scrolling panel keeps presses off children scrolled out of view.
    virtual bool passesToChildren(const CCMsg* msg) { (void)msg; return true; }

    // The tree.
    void addChild(CCPageObject* child);
    // Searched through the whole subtree; the object is returned, not destroyed.
    // Both take the manager lock, so they may run beside the fade thread. An
    // attached object is deleted after removeChild (delete parent->removeChild(o)):
    // deleting it while attached leaves it reachable until its base destructor.
    CCPageObject* removeChild(CCPageObject* object);
    CCPageObject* findChild(uint32_t type, bool recursive) const;
    // Whether the object is this one or lies below it (compared, never followed).
    bool contains(const CCPageObject* object) const;
    void setRect(const CCRect& rect);
    void moveBy(int dx, int dy);
    CCPoint toLocal(int x, int y) const { return CCPoint{x - rect_.left, y - rect_.top}; }
    CCPageObject* parent() const { return parent_; }
    CCPageObject* firstChild() const { return firstChild_; }
    CCPageObject* nextSibling() const { return nextSibling_; }
    CCPageObject* listener() const { return listener_; }
    const CCRect& rect() const { return rect_; }
    void setHitRect(const CCRect& rect) { hitRect_ = rect; }

    // Looks and state.
    void setHighlightFade(uint8_t alpha, int inStep, int outStep);
    void setHighlighted(bool on);
    void setCapture(bool on);
    // The manager's side of a capture taken away: the flag goes, the object hears.
    void loseCapture();
    void selectGroup(uint16_t mask, uint16_t limit);
    void setVisibleInGroup(bool visible);
    // Fades the nearest object (this or an ancestor) that has a hover look.
    void hoverFade(bool on);
    void setHoverFade(uint8_t alpha, int inStep, int outStep);
    void setDisabledAlpha(uint8_t alpha) { disabledAlpha_ = alpha; }
    void setIsolateVisibility(bool on) { isolateVisibility_ = on; }
    void setFont(CCFont* font) { font_ = font; }
    // Takes a bitmap from the cache (0 drops it); the old one is released.
    void setBackgroundBitmap(int id);
    void setAlpha(uint8_t alpha) { alpha_.store(alpha, std::memory_order_relaxed); }

    bool enabled() const { return enabled_; }
    bool visible() const { return visible_; }
    bool shown() const { return shown_; }
    bool highlighted() const { return highlighted_; }
    bool hasCapture() const { return hasCapture_; }
    bool isGroupContainer() const { return groupContainer_; }
    bool fading() const { return fading_.load(std::memory_order_relaxed); }
    bool overlapsSibling() const { return overlapsSibling_; }
    uint16_t viewBits() const { return viewBits_; }
    uint16_t groupMask() const { return groupMask_; }
    uint32_t type() const { return type_; }
    uint8_t alpha() const { return alpha_.load(std::memory_order_relaxed); }
    uint8_t normalAlpha() const { return normalAlpha_; }
    uint8_t disabledAlpha() const { return disabledAlpha_; }
    CCBitmap* backgroundBitmap() const { return background_; }

    CCPageManager* managerOf() const;
    CCTimerObject* timerObjectOf() const;

    // Delivery. Only a handler result of exactly 1 counts as handled.
    bool deliverTo(CCMsg* msg);
    bool deliverDown(CCMsg* msg);
    bool bubbleUp(CCMsg* msg);
    bool notifyListeners(CCMsg* msg);

    // Drawing paths of the manager.
    void drawTree(CCDrawContext* context, bool withChildren);
    void drawWithBackdrop(CCDrawContext* context, CCPageObject* object, bool skipSelf);

    // Marks (or clears) the fading flag on the subtree.
    void markFading(bool on);

protected:
    void recomputeOverlaps();
    void unlinkChild(CCPageObject* child);
    // The object's parent when it lies in this subtree, else null.
    CCPageObject* parentInSubtree(const CCPageObject* object);

    CCPageObject* parent_ = nullptr;
    CCPageObject* firstChild_ = nullptr;
    CCPageObject* nextSibling_ = nullptr;
    CCPageObject* listener_ = nullptr;
    CCRect rect_;
    CCRect hitRect_;
    bool hasCapture_ = false;
    bool enabled_ = true;
    bool visible_ = true;
    bool highlighted_ = false;
    bool shown_ = true;
    bool groupContainer_ = false;
    std::atomic<bool> fading_{false}; // set by the animator thread too
    uint16_t viewBits_ = 0;
    uint16_t groupMask_ = 0;
    uint32_t type_ = kTypeDefault;
    std::atomic<uint8_t> alpha_{255}; // stepped by the animator thread
    CCFont* font_ = nullptr;
    CCBitmap* background_ = nullptr;
    uint8_t drawDepth_ = 0;
    uint8_t normalAlpha_ = 255;
    uint8_t highlightAlpha_ = 255;
    uint8_t disabledAlpha_ = 48;
    uint8_t hoverAlpha_ = 255;
    int highlightFadeOutStep_ = 0;
    int highlightFadeInStep_ = 0;
    int hoverFadeInStep_ = 0;
    int hoverFadeOutStep_ = 0;
    bool overlapsSibling_ = false;
    bool isolateVisibility_ = false;
};
