#include "CCPageManager.h"

#include "PlatformHelpers.h"

#include <algorithm>
#include <utility>

CCPageManager::CCPageManager() : CCPageManager(CCRect{}, Options{}) {}

CCPageManager::CCPageManager(const CCRect& rect) : CCPageManager(rect, Options{}) {}

CCPageManager::CCPageManager(const CCRect& rect, Options options)
    : CCPageObject(rect.left, rect.top, rect.right, rect.bottom),
      animator_(lock_, options.clock, options.animatorThread),
      timerObject_(std::make_unique<CCTimerObject>(this)) {}

CCPageManager::~CCPageManager() {
    // No fade may touch the tree while it is torn down.
    animator_.disable();
    animator_.shutdown();
    std::lock_guard<CCLock> guard(lock_);
    if (CCEditObject* edit = std::exchange(edit_, nullptr)) {
        edit->forgetOwner(); // the tree goes now: no one to tell
        delete edit;
    }
    modal_ = nullptr;
    while (firstChild_)
        delete firstChild_;
    for (CCPageObject* closed : closedModals_)
        delete closed;
    closedModals_.clear();
}

void CCPageManager::beginDefer() {
    std::lock_guard<CCLock> guard(lock_);
    if (deferCount_ == 0)
        dirty_ = false;
    ++deferCount_;
}

void CCPageManager::endDefer() {
    std::lock_guard<CCLock> guard(lock_);
    if (--deferCount_ == 0 && dirty_) {
        dirty_ = false;
        if (context_)
            present(dirtyRect_);
    }
}

int CCPageManager::handleMessage(CCMsg* msg) {
    beginDefer();
    const int result = handleManagerMessage(msg);
    endDefer();
    return result;
}

int CCPageManager::handleManagerMessage(CCMsg* msg) {
    if (msg->code == MSG_INVALIDATE) {
        if (msg->sender)
            redrawRect(msg->sender->rect(), msg->onlyThisObject ? msg->sender : nullptr);
        return 1;
    }
    if (msg->code == MSG_TIMER && msg->first == int32_t(kHoverTimer)) {
        CCMsg hover(MSG_HOVER, hover_, false);
        if (firstChild_)
            firstChild_->deliverDown(&hover);
        return 1;
    }
    return 0;
}

void CCPageManager::invalidate(bool onlySelf) {
    if (!active_)
        return;
    CCMsg msg(MSG_INVALIDATE, this, onlySelf);
    handleMessage(&msg);
}

void CCPageManager::drawClipped(CCDrawContext* context, CCPageObject* object) {
    if (!canDraw_ || !context)
        return;
    std::lock_guard<CCLock> guard(lock_);
    ++context->overlayCounter;
    CCPageObject::drawClipped(context, object);
    if (modal_)
        modal_->drawClipped(context, nullptr);
    --context->overlayCounter;
}

bool CCPageManager::dispatchMessage(CCMsg* msg) {
    if (!msg)
        return false;
    std::lock_guard<CCLock> guard(lock_);
    ++dispatchDepth_;
    // Everything redrawn while this message is handled reaches the screen once.
    beginDefer();
    bool handled = false;
    try {
        handled = [&]() -> bool {
            if (deliverTo(msg))
                return true;
            auto* mouse = dynamic_cast<CCMouseMsg*>(msg);
            const bool move = mouse && msg->code == MSG_MOUSE_MOVE;
            if (move) {
                previousHover_ = hover_;
                hover_ = nullptr;
            }
            if (modal_) {
                if (!mouse)
                    return false;
                CCPageObject* modal = modal_;
                if (msg->code == MSG_PRESS_PROBE) {
                    // Its own controls may claim the press; the dismiss mode may too.
                    if (modal->hitTest(mouse->x, mouse->y))
                        modal->deliverDown(msg);
                    if (modalDismissMode_ == 1 || modalDismissMode_ == 2)
                        msg->sender = modal;
                } else if (modal->hitTest(mouse->x, mouse->y)) {
                    if (!modal->deliverDown(msg) && msg->code == MSG_LBUTTON_DOWN &&
                        (modalDismissMode_ == 0 || modalDismissMode_ == 2) && modal_ == modal)
                        closeModal();
                } else if (msg->code == MSG_LBUTTON_DOWN && modal_ == modal) {
                    closeModal();
                }
            } else {
                const bool captured = mouse && capture_ && capture_->deliverTo(msg);
                if (!captured)
                    for (CCPageObject* child = firstChild_; child;) {
                        CCPageObject* next = child->nextSibling();
                        if (child->deliverDown(msg))
                            return true;
                        child = next;
                    }
            }
            if (move && hover_ != previousHover_) {
                if (previousHover_)
                    previousHover_->hoverFade(false);
                if (hover_)
                    hover_->hoverFade(true);
                if (!hover_ && previousHover_)
                    timerObject_->startTimer(kHoverTimer, kHoverDelayMs);
            }
            if (mouse && enabled_)
                setCursorKind((hover_ ? hover_ : this)->cursorAt(mouse->x, mouse->y));
            return false;
        }();
    } catch (const CCPageException&) {
        handled = false;
    }
    endDefer();
    // Closed modal objects go once no handler of theirs can still be running.
    if (--dispatchDepth_ == 0 && !animator_.inPass()) {
        std::vector<CCPageObject*> closed;
        closed.swap(closedModals_);
        for (CCPageObject* object : closed)
            delete object;
    }
    return handled;
}

void CCPageManager::setHover(CCPageObject* object) {
    if (object && !object->enabled())
        return;
    hover_ = object;
    if (hover_ != previousHover_)
        timerObject_->startTimer(kHoverTimer, kHoverDelayMs);
}

void CCPageManager::closeModal() {
    CCPageObject* closing = modal_;
    modal_ = nullptr;
    removeChild(closing);
    // Its own handler may still be running (a dispatch, a fade's message): it is
    // destroyed once the outermost dispatch is over.
    closedModals_.push_back(closing);
    CCMsg closed(MSG_MODAL_CLOSED);
    dispatchMessage(&closed);
}

void CCPageManager::setModal(CCPageObject* object, int dismissMode) {
    std::lock_guard<CCLock> guard(lock_);
    if (CCPageObject* holder = std::exchange(capture_, nullptr))
        holder->loseCapture(); // its release goes to the modal object now
    hover_ = previousHover_ = nullptr;
    if (object && object == modal_) {
        // Closing it would destroy the object about to be shown: it stays open.
        modalDismissMode_ = dismissMode;
        invalidate(false);
        return;
    }
    // Closed earlier in this dispatch and shown again: no longer to be destroyed.
    closedModals_.erase(std::remove(closedModals_.begin(), closedModals_.end(), object),
                        closedModals_.end());
    if (modal_)
        closeModal();
    if (object) {
        modal_ = object;
        modalDismissMode_ = dismissMode;
        addChild(object);
    }
    invalidate(false);
}

void CCPageManager::redrawRect(const CCRect& rect, CCPageObject* object) {
    std::lock_guard<CCLock> guard(lock_);
    if (!context_ || !canDraw_)
        return;
    context_->saveClip();
    const CCRect area = object ? object->rect() : rect;
    context_->clipTo(area);
    drawClipped(context_, object);
    presentOrCollect(area);
    context_->restoreClip();
}

void CCPageManager::presentOrCollect(const CCRect& rect) {
    std::lock_guard<CCLock> guard(lock_);
    if (deferCount_ == 0) {
        if (context_)
            present(rect);
        return;
    }
    if (!dirty_) {
        dirtyRect_ = rect;
    } else {
        dirtyRect_.left = std::min(dirtyRect_.left, rect.left);
        dirtyRect_.top = std::min(dirtyRect_.top, rect.top);
        dirtyRect_.right = std::max(dirtyRect_.right, rect.right);
        dirtyRect_.bottom = std::max(dirtyRect_.bottom, rect.bottom);
    }
    dirty_ = true;
}

void CCPageManager::fadeTo(CCPageObject* object, uint8_t target, int step, uint16_t code) {
    if (!object)
        return;
    if (active_ && object->visible() && object->shown()) {
        animator_.add(object, target, step, code);
        return;
    }
    // Done at once: a fade still running would take the alpha back.
    animator_.cancel(object);
    object->markFading(false);
    object->setAlpha(target);
    object->invalidate(true);
    if (code) {
        CCMsg done(code);
        object->deliverDown(&done);
    }
}

void CCPageManager::holdEdit(CCEditObject* edit) {
    std::lock_guard<CCLock> guard(lock_);
    if (edit_ == edit)
        return;
    endEditing();
    edit_ = edit;
}

void CCPageManager::endEditing() {
    std::lock_guard<CCLock> guard(lock_);
    // Let go first: what the owner does on hearing back may open the next edit.
    CCEditObject* edit = std::exchange(edit_, nullptr);
    if (!edit)
        return;
    edit->End();
    delete edit;
}

void CCPageManager::endEditingFor(CCEditObject* incoming) {
    std::lock_guard<CCLock> guard(lock_);
    CCEditObject* outer = std::exchange(incomingEdit_, incoming);
    endEditing();
    incomingEdit_ = outer;
}

void CCPageManager::editPopupEnded(bool committed, const std::string& text) {
    std::lock_guard<CCLock> guard(lock_);
    CCEditObject* edit = std::exchange(edit_, nullptr);
    if (!edit)
        return; // ended from the program's side already
    edit->popupEnded(committed, text);
    delete edit;
}

void CCPageManager::forget(CCPageObject* object) {
    // Under the manager lock the animator is between passes: once this returns
    // it cannot be touching the object.
    std::lock_guard<CCLock> guard(lock_);
    forgetTree(object);
    if (object)
        object->markFading(false);
}

void CCPageManager::forgetTree(CCPageObject* object) {
    if (!object)
        return;
    animator_.cancel(object);
    for (CCPageObject** pointer : {&capture_, &hover_, &previousHover_, &modal_})
        if (*pointer == object)
            *pointer = nullptr;
    if (edit_ && edit_->owner() == object)
        edit_->forgetOwner();
    if (incomingEdit_ && incomingEdit_->owner() == object)
        incomingEdit_->forgetOwner();
    if (bindings_)
        bindings_->unbindObject(object);
    object->onLeavingTree();
    for (CCPageObject* child = object->firstChild(); child; child = child->nextSibling())
        forgetTree(child);
}
