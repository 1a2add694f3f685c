#pragma once

#include "CCEditObject.h"
#include "CCFadeAnimator.h"
#include "CCLock.h"
#include "CCPageObject.h"
#include "ParameterAccess.h"

#include <cstddef>
#include <memory>
#include <vector>

struct PlatformWindow;
class CCTimerObject;
class CVSProcess;

// The root of the page tree: dispatches the window's messages, keeps the capture,
// hover and modal objects, turns redraw requests into drawing into the off-screen
// context and presentation, and runs the fades.
class CCPageManager : public CCPageObject {
public:
    static constexpr uint32_t kHoverTimer = 256;
    static constexpr uint32_t kHoverDelayMs = 400;

    struct Options {
        FadeClock* clock = nullptr;  // the steady clock when null
        bool animatorThread = true; // false: fades step only through animator().runPass()
    };

    CCPageManager();
    explicit CCPageManager(const CCRect& rect);
    CCPageManager(const CCRect& rect, Options options);
    // A derived manager that owns what is drawn into or presented to must stop the
    // fades in its own destructor (animator().disable()): they run until here.
    ~CCPageManager() override;

    int handleMessage(CCMsg* msg) override; // deferred handling
    void invalidate(bool onlySelf) override;
    void drawClipped(CCDrawContext* context, CCPageObject* object) override;

    // Every message from the window enters here, under the manager lock.
    virtual bool dispatchMessage(CCMsg* msg);
    // Copies that rectangle of the off-screen image to the screen.
    virtual void present(const CCRect& rect) = 0;
    // 515 (redraw) and the hover timer; false for the rest.
    virtual int handleManagerMessage(CCMsg* msg);

    void setHover(CCPageObject* object);
    // Replaces the modal object (owned; the old one is destroyed) and announces it
    // with 529. Dismiss mode: 0 a left press outside or unclaimed closes it; 1 it
    // claims the press probe; 2 both.
    void setModal(CCPageObject* object, int dismissMode = 0);
    void redrawRect(const CCRect& rect, CCPageObject* object);
    void presentOrCollect(const CCRect& rect);
    void fadeTo(CCPageObject* object, uint8_t target, int step, uint16_t code);
    void forget(CCPageObject* object);

    CCPageObject* captureObject() const { return capture_; }
    void setCaptureObject(CCPageObject* object) { capture_ = object; }
    CCPageObject* hoverObject() const { return hover_; }
    CCPageObject* previousHoverObject() const { return previousHover_; }
    CCPageObject* modalObject() const { return modal_; }
    // The open edit (owned): a new one ends the one held before; ending or the
    // user's end of its popup deletes it, so its owner hears exactly once.
    CCEditObject* editObject() const { return edit_; }
    void holdEdit(CCEditObject* edit);
    void endEditing();
    // Ends the held edit for one about to open: while the old one's owner hears
    // back, the incoming edit is told if its own owner leaves the tree.
    void endEditingFor(CCEditObject* incoming);
    void editPopupEnded(bool committed, const std::string& text);

    PlatformWindow* window() const { return window_; }
    void setWindow(PlatformWindow* window) { window_ = window; }
    CCTimerObject* timerObject() const { return timerObject_.get(); }
    CCLock& lock() { return lock_; }
    CCFadeAnimator& animator() { return animator_; }

    bool active() const { return active_; }
    void setActive(bool active) { active_ = active; }
    bool canDraw() const { return canDraw_; }
    void setCanDraw(bool canDraw) { canDraw_ = canDraw; }
    CCDrawContext* offscreenContext() const { return context_; }
    // The change queue that carries parameter changes to bound objects; controls
    // reach the parameter manager through it. None in the updater.
    CVSProcess* changeQueue() const { return changeQueue_; }
    // The queue hears of every object that leaves the tree; it must outlive the
    // tree or be set to null first. Queue is CVSProcess or derived from it.
    template <class Queue>
    void setChangeQueue(Queue* queue) {
        changeQueue_ = queue;
        bindings_ = queue;
    }
    void setChangeQueue(std::nullptr_t) {
        changeQueue_ = nullptr;
        bindings_ = nullptr;
    }
    PreferenceAccess* preferenceAccess() const { return preferences_; }
    void setPreferenceAccess(PreferenceAccess* preferences) { preferences_ = preferences; }
    void setOffscreenContext(CCDrawContext* context) { context_ = context; }

protected:
    // Presentation is collected while a message is handled and done once after.
    void beginDefer();
    void endDefer();

private:
    void closeModal();
    void forgetTree(CCPageObject* object);

    PlatformWindow* window_ = nullptr;
    CCLock lock_;
    CCFadeAnimator animator_;
    CCPageObject* capture_ = nullptr;
    CCPageObject* hover_ = nullptr;
    CCPageObject* previousHover_ = nullptr;
    CCPageObject* modal_ = nullptr;
    int modalDismissMode_ = 0;
    CCEditObject* edit_ = nullptr;
    CCEditObject* incomingEdit_ = nullptr;
    std::unique_ptr<CCTimerObject> timerObject_;
    bool active_ = false;
    CCDrawContext* context_ = nullptr;
    bool dirty_ = false;
    CCRect dirtyRect_;
    int16_t deferCount_ = 0;
    bool canDraw_ = false;
    CVSProcess* changeQueue_ = nullptr;
    ObjectBindings* bindings_ = nullptr;
    PreferenceAccess* preferences_ = nullptr;
    int dispatchDepth_ = 0;
    // Modal objects closed while a message was being dispatched (possibly to
    // them): destroyed when the dispatch is over.
    std::vector<CCPageObject*> closedModals_;
};
