#include "CCPageObject.h"

#include "CCBitmapCache.h"
#include "CCPageManager.h"
#include "Framework.h"
#include "Trace.h"

#include <mutex>
#include <vector>

namespace {

uint8_t combineAlpha(uint8_t a, uint8_t b) {
    return static_cast<uint8_t>(a * b / 255);
}

bool nonEmpty(const CCRect& r) {
    return r.width() > 0 && r.height() > 0;
}

bool overlap(const CCRect& a, const CCRect& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

// Listener chains are built by hand; a cycle must not hang delivery.
constexpr int kMaxListenerChain = 64;
constexpr size_t kMaxBackdropChain = 32;

} // namespace

CCPageObject::CCPageObject() = default;

CCPageObject::CCPageObject(int left, int top, int right, int bottom)
    : rect_{left, top, right, bottom} {}

CCPageObject::CCPageObject(int left, int top, int right, int bottom, CCPageObject* listener,
                           uint32_t type, uint16_t viewBits)
    : listener_(listener), rect_{left, top, right, bottom}, viewBits_(viewBits), type_(type) {
    if (type == kTypeInert) {
        enabled_ = false;
        alpha_ = 48;
    }
}

CCPageObject::~CCPageObject() {
    if (parent_)
        parent_->removeChild(this);
    while (firstChild_)
        delete firstChild_; // each child unlinks itself
    setBackgroundBitmap(0);
}

void CCPageObject::setBackgroundBitmap(int id) {
    if (background_)
        bitmapCache().release(background_);
    background_ = id ? bitmapCache().getBitmap(id) : nullptr;
}

void CCPageObject::setEnabled(bool enabled, uint8_t alpha) {
    if (type_ == kTypeInert || enabled_ == enabled)
        return;
    enabled_ = enabled;
    onEnabledChanged(enabled);
    if (alpha != 0) {
        if (CCPageManager* manager = managerOf()) {
            manager->animator().cancel(this); // or a running fade takes the alpha back
            markFading(false);
        }
        setAlpha(alpha);
        invalidate(true);
    } else if (CCPageManager* manager = managerOf()) {
        manager->fadeTo(this, enabled ? normalAlpha_ : disabledAlpha_, 20, MSG_FADE_DONE);
    }
}

void CCPageObject::setShown(bool shown) {
    shown_ = shown;
    for (CCPageObject* child = firstChild_; child; child = child->nextSibling_)
        child->setShown(shown);
}

bool CCPageObject::hitTest(int x, int y) {
    const CCRect& r = hitRect_.width() != 0 ? hitRect_ : rect_;
    return r.left <= x && x < r.right && r.top <= y && y < r.bottom;
}

void CCPageObject::invalidate(bool onlySelf) {
    if (!visible_ || !shown_)
        return;
    CCMsg msg(MSG_INVALIDATE, this, onlySelf);
    bubbleUp(&msg);
}

uint16_t CCPageObject::changeViewBits(uint16_t set, uint16_t clear) {
    viewBits_ = static_cast<uint16_t>((viewBits_ | set) & ~clear);
    return viewBits_;
}

void CCPageObject::addChild(CCPageObject* child) {
    if (!child)
        return;
    // The fade thread walks the tree under the manager lock.
    CCPageManager* manager = managerOf();
    std::unique_lock<CCLock> guard;
    if (manager)
        guard = std::unique_lock<CCLock>(manager->lock());
    if (child->viewBits_)
        groupContainer_ = true;
    CCPageObject** link = &firstChild_;
    while (*link)
        link = &(*link)->nextSibling_;
    *link = child;
    child->nextSibling_ = nullptr;
    child->parent_ = this;
    child->moveBy(rect_.left, rect_.top);
    recomputeOverlaps();
    child->setShown(true);
    child->onMoved();
    onChildAdded(child);
}

void CCPageObject::unlinkChild(CCPageObject* child) {
    for (CCPageObject** link = &firstChild_; *link; link = &(*link)->nextSibling_)
        if (*link == child) {
            *link = child->nextSibling_;
            break;
        }
    child->nextSibling_ = nullptr;
    child->parent_ = nullptr;
}

CCPageObject* CCPageObject::removeChild(CCPageObject* object) {
    if (!object)
        return nullptr;
    // Forgetting and unlinking under one hold of the manager lock: once this
    // returns, no fade pass can reach the object, so it may be deleted at once.
    CCPageManager* manager = managerOf();
    std::unique_lock<CCLock> guard;
    if (manager)
        guard = std::unique_lock<CCLock>(manager->lock());
    CCPageObject* parent = parentInSubtree(object);
    if (!parent)
        return nullptr;
    if (manager)
        manager->forget(object);
    parent->unlinkChild(object);
    object->moveBy(-parent->rect_.left, -parent->rect_.top);
    object->setShown(false);
    parent->recomputeOverlaps();
    for (CCPageObject* ancestor = parent; ancestor; ancestor = ancestor->parent_)
        ancestor->onDescendantRemoved(object);
    return object;
}

CCPageObject* CCPageObject::parentInSubtree(const CCPageObject* object) {
    // Compared, never followed: a caller may ask about an object that is gone.
    for (CCPageObject* child = firstChild_; child; child = child->nextSibling_) {
        if (child == object)
            return this;
        if (CCPageObject* found = child->parentInSubtree(object))
            return found;
    }
    return nullptr;
}

bool CCPageObject::contains(const CCPageObject* object) const {
    if (object == this)
        return true;
    for (const CCPageObject* child = firstChild_; child; child = child->nextSibling_)
        if (child->contains(object))
            return true;
    return false;
}

CCPageObject* CCPageObject::findChild(uint32_t type, bool recursive) const {
    for (CCPageObject* child = firstChild_; child; child = child->nextSibling_) {
        if (child->type_ == type)
            return child;
        if (recursive)
            if (CCPageObject* found = child->findChild(type, true))
                return found;
    }
    return nullptr;
}

void CCPageObject::setRect(const CCRect& rect) {
    moveBy(rect.left - rect_.left, rect.top - rect_.top);
    rect_ = rect;
}

void CCPageObject::moveBy(int dx, int dy) {
    rect_ = CCRect{rect_.left + dx, rect_.top + dy, rect_.right + dx, rect_.bottom + dy};
    hitRect_ = CCRect{hitRect_.left + dx, hitRect_.top + dy, hitRect_.right + dx, hitRect_.bottom + dy};
    for (CCPageObject* child = firstChild_; child; child = child->nextSibling_) {
        child->moveBy(dx, dy);
        child->onMoved();
    }
}

void CCPageObject::recomputeOverlaps() {
    for (CCPageObject* child = firstChild_; child; child = child->nextSibling_)
        child->overlapsSibling_ = false;
    for (CCPageObject* a = firstChild_; a; a = a->nextSibling_)
        for (CCPageObject* b = a->nextSibling_; b; b = b->nextSibling_)
            if (overlap(a->rect_, b->rect_))
                a->overlapsSibling_ = b->overlapsSibling_ = true;
}

void CCPageObject::setHighlightFade(uint8_t alpha, int inStep, int outStep) {
    if (inStep == 0) {
        highlightAlpha_ = 255;
        highlightFadeInStep_ = highlightFadeOutStep_ = 0;
        return;
    }
    highlightAlpha_ = alpha;
    highlightFadeInStep_ = inStep;
    highlightFadeOutStep_ = outStep ? outStep : inStep;
}

void CCPageObject::setHoverFade(uint8_t alpha, int inStep, int outStep) {
    hoverAlpha_ = alpha;
    hoverFadeInStep_ = inStep;
    hoverFadeOutStep_ = outStep;
}

void CCPageObject::setHighlighted(bool on) {
    // A highlight fade that was interrupted runs again.
    if (highlighted_ == on && highlightFadeInStep_ && on && alpha() != highlightAlpha_)
        highlighted_ = !on;
    if (highlighted_ == on)
        return;
    highlighted_ = on;
    if (highlightFadeInStep_) {
        if (CCPageManager* manager = managerOf())
            manager->fadeTo(this, on ? highlightAlpha_ : 255,
                            on ? highlightFadeInStep_ : highlightFadeOutStep_, MSG_FADE_DONE);
    } else {
        invalidate(false);
    }
    struct Copy {
        static void down(CCPageObject* object, bool value) {
            for (CCPageObject* child = object->firstChild_; child; child = child->nextSibling_) {
                child->highlighted_ = value;
                down(child, value);
            }
        }
    };
    Copy::down(this, on);
}

void CCPageObject::setCapture(bool on) {
    if (CCPageManager* manager = managerOf()) {
        CCPageObject* holder = manager->captureObject();
        if (on && holder && holder != this)
            holder->loseCapture();
        manager->setCaptureObject(on ? this : nullptr);
    } else {
        debugTrace("PageManager == NULL\n");
    }
    hasCapture_ = on;
    invalidate(false);
}

void CCPageObject::loseCapture() {
    setCapture(false);
    onCaptureLost();
}

void CCPageObject::selectGroup(uint16_t mask, uint16_t limit) {
    if (!groupContainer_)
        return;
    groupMask_ = mask;
    for (CCPageObject* child = firstChild_; child; child = child->nextSibling_) {
        if (!child->viewBits_)
            continue;
        if (child->viewBits_ & mask)
            child->setVisibleInGroup(true);
        else if (limit == 0 || (child->viewBits_ & limit))
            child->setVisibleInGroup(false);
    }
}

void CCPageObject::setVisibleInGroup(bool visible) {
    if (parent_ && parent_->groupContainer_ && viewBits_)
        visible_ = (viewBits_ & parent_->groupMask_) != 0;
    else
        visible_ = visible;
    onVisibilityChanged(visible_);
    if (isolateVisibility_)
        return;
    for (CCPageObject* child = firstChild_; child; child = child->nextSibling_)
        child->setVisibleInGroup(visible);
}

void CCPageObject::hoverFade(bool on) {
    CCPageObject* object = this;
    while (object && object->hoverAlpha_ == object->normalAlpha_)
        object = object->parent_;
    if (!object)
        return;
    CCPageManager* manager = managerOf();
    if (!manager)
        return;
    if (on && !object->highlighted_)
        manager->fadeTo(object, object->hoverAlpha_, object->hoverFadeInStep_, MSG_FADE_DONE);
    else
        manager->fadeTo(object, object->normalAlpha_, object->hoverFadeOutStep_, MSG_FADE_DONE);
}

void CCPageObject::markFading(bool on) {
    fading_.store(on, std::memory_order_relaxed);
    for (CCPageObject* child = firstChild_; child; child = child->nextSibling_)
        child->markFading(on);
}

CCPageManager* CCPageObject::managerOf() const {
    const CCPageObject* root = this;
    while (root->parent_)
        root = root->parent_;
    return dynamic_cast<CCPageManager*>(const_cast<CCPageObject*>(root));
}

CCTimerObject* CCPageObject::timerObjectOf() const {
    CCPageManager* manager = managerOf();
    if (!manager) {
        debugTrace("PageManager == NULL\n");
        return nullptr;
    }
    return manager->timerObject();
}

bool CCPageObject::deliverTo(CCMsg* msg) {
    if (!msg)
        return false;
    if (auto* mouse = dynamic_cast<CCMouseMsg*>(msg))
        return handleMouse(mouse) == 1;
    return handleMessage(msg) == 1;
}

bool CCPageObject::deliverDown(CCMsg* msg) {
    if (!msg || !enabled_)
        return false;
    if ((!visible_ || !shown_) && !msg->toHiddenObjects)
        return false;
    if (deliverTo(msg))
        return true;
    if (!passesToChildren(msg))
        return false;
    for (CCPageObject* child = firstChild_; child;) {
        CCPageObject* next = child->nextSibling_;
        if (child->deliverDown(msg))
            return true;
        child = next;
    }
    return false;
}

bool CCPageObject::bubbleUp(CCMsg* msg) {
    for (CCPageObject* object = parent_; object; object = object->parent_)
        if (object->deliverTo(msg))
            return true;
    return false;
}

bool CCPageObject::notifyListeners(CCMsg* msg) {
    int steps = 0;
    for (CCPageObject* object = listener_; object && steps < kMaxListenerChain;
         object = object->listener_, ++steps)
        if (object->deliverTo(msg))
            return true;
    return false;
}

void CCPageObject::drawTree(CCDrawContext* context, bool withChildren) {
    if (!visible_ || !shown_)
        return;
    context->saveClip();
    context->clipTo(rect_);
    if (nonEmpty(context->clip())) {
        const uint8_t before = context->alpha();
        const uint8_t combined = combineAlpha(before, alpha());
        context->setAlpha(combined);
        if (combined) {
            draw(context);
            if (withChildren)
                for (CCPageObject* child = firstChild_; child; child = child->nextSibling_)
                    child->drawTree(context, true);
        }
        context->setAlpha(before);
    }
    context->restoreClip();
}

void CCPageObject::drawClipped(CCDrawContext* context, CCPageObject* object) {
    if (!context)
        return;
    if (++drawDepth_ > kMaxDrawDepth) {
        --drawDepth_;
        return;
    }
    if (!object) {
        for (CCPageObject* sibling = this; sibling; sibling = sibling->nextSibling_)
            sibling->drawTree(context, true);
        --drawDepth_;
        return;
    }
    const uint8_t savedAlpha = context->alpha();
    context->saveClip();
    uint8_t alpha = savedAlpha;
    for (CCPageObject* ancestor = object->parent_; ancestor && alpha; ancestor = ancestor->parent_) {
        context->clipTo(ancestor->rect_);
        alpha = combineAlpha(alpha, ancestor->alpha());
    }
    if (alpha) {
        // The ancestors' alphas are applied again as the tree is walked down, so
        // both paths start from the caller's alpha; the walk above only decides.
        if (object->overlapsSibling_)
            CCPageObject::drawClipped(context, nullptr); // the manager adds its modal object itself
        else
            drawWithBackdrop(context, object, false);
    }
    context->setAlpha(savedAlpha);
    context->restoreClip();
    --drawDepth_;
}

void CCPageObject::drawWithBackdrop(CCDrawContext* context, CCPageObject* object, bool skipSelf) {
    ++context->partialRedrawCounter;
    const uint8_t savedAlpha = context->alpha();
    context->saveClip();
    context->clipTo(object->rect_);
    std::vector<CCPageObject*> chain; // object, parent, …, root
    bool drawable = savedAlpha != 0 && nonEmpty(context->clip());
    for (CCPageObject* entry = object; drawable && entry && chain.size() < kMaxBackdropChain;
         entry = entry->parent_) {
        if (!entry->visible_ || !entry->shown_)
            drawable = false;
        chain.push_back(entry);
    }
    if (drawable) {
        const size_t lowest = skipSelf ? 1 : 0;
        size_t start = chain.size() - 1;
        if (savedAlpha == 255) {
            // An opaque background hides everything above it.
            for (size_t i = chain.size(); i-- > lowest;) {
                CCPageObject* entry = chain[i];
                if (entry->alpha() != 255)
                    break;
                if (entry->background_ && entry->background_->valid() && !entry->background_->hasAlpha())
                    start = i;
            }
        }
        // Start from the alpha the ancestors above the start would have given.
        uint8_t alpha = savedAlpha;
        for (size_t i = chain.size(); i-- > start + 1;)
            alpha = combineAlpha(alpha, chain[i]->alpha());
        for (size_t i = start + 1; i-- > lowest;) {
            context->setAlpha(alpha);
            chain[i]->drawTree(context, false);
            alpha = combineAlpha(alpha, chain[i]->alpha());
        }
        if (!skipSelf) {
            context->setAlpha(alpha);
            for (CCPageObject* child = object->firstChild_; child; child = child->nextSibling_)
                child->drawTree(context, true);
        }
    }
    context->setAlpha(savedAlpha);
    context->restoreClip();
    --context->partialRedrawCounter;
}
