#include "CCEditor.h"

#include "AudioEffect.h"
#include "CBackPage.h"
#include "CCEditCtrl.h"
#include "CommandTags.h"
#include "CPrefs.h"
#include "CVSProcess.h"
#include "PlatformHelpers.h"

#include <algorithm>
#include <mutex>

namespace {

// Filled from the first editor that asks, as the plug-in interface expects.
AEffEditor::ERect sharedRect;

} // namespace

CCEditor::CCEditor(AudioEffect* effect, const ShellDependencies& dependencies)
    : AEffEditor(effect),
      CCPageManager(CCRect{0, 0, kWidth, kHeight}, Options{dependencies.fadeClock, dependencies.fadeThread}),
      dependencies_(dependencies) {
    if (effect) {
        effect->setEditor(this);
        effect->HasEditor(true);
    }
}

CCEditor::~CCEditor() {
    // The page (and its worker) go with the tree, after the fades were stopped.
    animator().disable();
    std::lock_guard<CCLock> guard(lock());
    setPreferenceAccess(nullptr);
    prefs_.reset(); // it speaks to this page manager
    if (openCount_ > 0)
        Close();
}

bool CCEditor::GetRect(ERect** rect) {
    if (sharedRect.right == 0) {
        sharedRect.right = static_cast<short>(kWidth);
        sharedRect.bottom = static_cast<short>(kHeight);
    }
    if (rect)
        *rect = &sharedRect;
    return true;
}

bool CCEditor::Open(PlatformWindow* parent) {
    std::lock_guard<CCLock> guard(lock());
    ++openCount_;
    systemWindow_ = parent;
    if (!child_ && parent) {
        WindowRequest request;
        request.title = "Window";
        request.className = kWindowClass;
        request.width = kWidth;
        request.height = kHeight;
        request.acceptFiles = false;
        request.parent = parent;
        request.oneShotTimers = true;
        child_ = uiPlatform().createWindow(request, this);
    }
    setWindow(child_); // timers, captures and presents are the child's
    if (!offscreen_)
        createOffscreen();
    BuildPage();
    setCanDraw(false); // the first full draw is the main window's
    timerObject()->startTimer(kFrameTimer, kFrameTimerMs);
    return true;
}

void CCEditor::createOffscreen() {
    std::lock_guard<CCLock> guard(lock());
    setOffscreenContext(nullptr);
    context_.reset();
    offscreen_ = std::make_unique<CCBitmap>();
    if (!offscreen_->createDibSection(kWidth, kHeight)) {
        offscreen_.reset();
        return; // nothing to draw into: drawing has no target
    }
    offscreen_->setDrawingTarget(true);
    context_ = std::make_unique<CCDrawContext>(offscreen_.get());
    setOffscreenContext(context_.get());
}

void CCEditor::Close() {
    std::lock_guard<CCLock> guard(lock());
    --openCount_;
    endEditing(); // its popup lives on the child window
    timerObject()->stopTimer(kFrameTimer);
    timerObject()->stopTimer(kPageTimer);
    setActive(false);
    setCanDraw(false);
    setOffscreenContext(nullptr);
    context_.reset();
    offscreen_.reset();
    if (child_) {
        PlatformWindow* child = child_;
        child_ = nullptr;
        setWindow(nullptr);
        uiPlatform().destroyWindow(child);
    }
    systemWindow_ = nullptr;
}

void CCEditor::BuildPage() {
    building_ = true;
    CVSProcess* queue = changeQueue();
    if (queue)
        queue->UnbindAll();
    if (!content_) {
        content_ = createPage();
        page_ = dynamic_cast<CBackPage*>(content_);
        if (content_)
            addChild(content_); // builds its controls
    }
    if (prefs_) {
        prefs_->loadAll();
    } else {
        prefs_ = std::make_unique<CPrefs>(CPrefs::kKey, this);
        prefs_->created();
        setPreferenceAccess(prefs_.get());
    }
    if (queue) {
        // Bound again to the new page, then every bound object takes its value.
        queue->setRoot(this);
        queue->Attach();
        queue->Queue(CVSProcess::kFullRefresh);
        queue->Drain();
        queue->setPreferences(prefs_.get());
    }
    setCanDraw(true);
    ready_ = true;
    building_ = false;
    timerObject()->startTimer(kPageTimer, kPageTimerMs);
}

CCPageObject* CCEditor::createPage() { return new CBackPage(pageRect_, bitmapId_, this, dependencies_); }

void CCEditor::Idle() {
    bool shift = false, control = false;
    uiPlatform().keyboardModifiers(shift, control);
    if (shift != lastShift_) {
        lastShift_ = shift;
        CCMsg key(shift ? MSG_KEY_DOWN : MSG_KEY_UP, 16);
        dispatchMessage(&key);
    }
    if (control != lastControl_) {
        lastControl_ = control;
        CCMsg key(control ? MSG_KEY_DOWN : MSG_KEY_UP, 17);
        dispatchMessage(&key);
    }
}

void CCEditor::present(const CCRect& rect) {
    if (!offscreen_ || !window())
        return;
    // Never past the image, whatever rectangle was collected.
    const CCRect area = CCDrawContext::intersect(rect, CCRect{0, 0, kWidth, kHeight});
    if (area.width() <= 0 || area.height() <= 0)
        return;
    if (std::this_thread::get_id() != uiThread_) {
        std::lock_guard<CCLock> guard(lock());
        if (!presentPending_)
            pendingRect_ = area;
        pendingRect_ = CCRect{std::min(pendingRect_.left, area.left), std::min(pendingRect_.top, area.top),
                              std::max(pendingRect_.right, area.right), std::max(pendingRect_.bottom, area.bottom)};
        presentPending_ = true;
        uiPlatform().requestPresent(window());
        return;
    }
    const PixelImage image{offscreen_->pixels(), offscreen_->width(), offscreen_->height(),
                           offscreen_->rowBytes()};
    uiPlatform().present(window(), image, PixelRect{area.left, area.top, area.right, area.bottom});
}

int CCEditor::handleManagerMessage(CCMsg* msg) {
    if (!msg)
        return 0;
    if (msg->code == MSG_VALUE_CHANGED) {
        const int tag = msg->first;
        if (tag < 2) {
            if (parent()) {
                msg->code = MSG_VALUE_FORWARD;
                parent()->handleMessage(msg);
            }
        } else if (tag >= 8 && tag <= 16) {
            switch (tag) {
            case kTagWebSite:
                if (msg->second == 0)
                    openWithShell(kWebSite);
                break;
            case kTagUpdate:
            case kTagOpen:
                if (page_)
                    page_->onControl(msg);
                break;
            case kTagClose:
                // The close button does nothing while the page holds its buttons; the
                // page's own close request always goes through.
                if (page_ && msg->sender != page_ && page_->buttonsLocked())
                    break;
                if (systemWindow_)
                    uiPlatform().postClose(systemWindow_);
                break;
            default:
                break;
            }
        }
        return 1;
    }
    if (msg->code == MSG_TIMER && msg->first == int32_t(kPageTimer) && page_)
        page_->onTick();
    return CCPageManager::handleManagerMessage(msg);
}

uint32_t CCEditor::translateKey(uint32_t virtualKey) {
    return virtualKey >= 96 && virtualKey <= 105 ? virtualKey - 96 + '0' : virtualKey;
}

CCMouseMsg CCEditor::mouseMessage(uint16_t code, const WindowEvent& event) {
    CCMouseMsg msg;
    msg.code = code;
    msg.x = event.x;
    msg.y = event.y;
    msg.screenX = event.screenX;
    msg.screenY = event.screenY;
    msg.shift = event.shift;
    msg.control = event.control;
    msg.first = event.wheelDelta;
    return msg;
}

void CCEditor::dispatchMouse(uint16_t code, const WindowEvent& event) {
    CCMouseMsg msg = mouseMessage(code, event);
    dispatchMessage(&msg);
}

void CCEditor::onWindowEvent(PlatformWindow* window, const WindowEvent& event) {
    if (!window || window != child_)
        return;
    ++eventDepth_;
    onWindowEvent(event);
    if (--eventDepth_ == 0 && closeAfterEvent_) {
        closeAfterEvent_ = false;
        if (systemWindow_)
            uiPlatform().postClose(systemWindow_);
    }
}

void CCEditor::onWindowEvent(const WindowEvent& event) {
    std::lock_guard<CCLock> guard(lock()); // for the whole message, as the fades expect
    using Button = WindowEvent::Button;
    switch (event.kind) {
    case WindowEvent::Kind::FileChosen:
        if (page_)
            page_->fileChosen(event.paths.empty() ? std::nullopt : std::optional<std::string>(event.paths.front()));
        break;
    case WindowEvent::Kind::EditEnded:
        editEnded(this, event.editEnding != WindowEvent::EditEnding::Abandon, event.text);
        break;
    case WindowEvent::Kind::Paint: {
        const PixelRect& r = event.paint;
        present(r.left == r.right ? pageRect_ : CCRect{r.left, r.top, r.right, r.bottom});
        break;
    }
    case WindowEvent::Kind::PresentRequest:
        if (presentPending_) {
            presentPending_ = false;
            present(pendingRect_);
        }
        break;
    case WindowEvent::Kind::Key:
        if (page_ && !page_->takesInput())
            break;
        {
            CCMsg key(event.keyDown ? MSG_KEY_DOWN : MSG_KEY_UP,
                      static_cast<int32_t>(translateKey(event.keyCode)));
            dispatchMessage(&key);
        }
        break;
    case WindowEvent::Kind::Timer: {
        CCMsg timer(MSG_TIMER, static_cast<int32_t>(event.timerId));
        dispatchMessage(&timer);
        break;
    }
    case WindowEvent::Kind::Mouse:
        if (page_ && !page_->takesInput())
            break; // its file dialog is open
        switch (event.button) {
        case Button::LeftDown: {
            uiPlatform().setFocus(window());
            CCMouseMsg probe = mouseMessage(MSG_PRESS_PROBE, event);
            dispatchMessage(&probe);
            if (probe.sender) {
                uiPlatform().captureMouse(window());
                dispatchMouse(MSG_LBUTTON_DOWN, event);
            } else if (systemWindow_) {
                uiPlatform().startWindowDrag(systemWindow_, event.screenX, event.screenY);
            }
            break;
        }
        case Button::LeftUp:
            uiPlatform().releaseMouse(window());
            dispatchMouse(MSG_LBUTTON_UP, event);
            break;
        case Button::LeftDouble:
            dispatchMouse(MSG_LBUTTON_DOUBLE, event);
            break;
        case Button::RightDown:
            uiPlatform().captureMouse(window());
            dispatchMouse(MSG_RBUTTON_DOWN, event);
            break;
        case Button::RightUp:
            uiPlatform().releaseMouse(window());
            dispatchMouse(MSG_RBUTTON_UP, event);
            break;
        case Button::RightDouble:
            dispatchMouse(MSG_RBUTTON_DOUBLE, event);
            break;
        case Button::Move:
            dispatchMouse(MSG_MOUSE_MOVE, event);
            break;
        case Button::Wheel:
            if (ready_)
                dispatchMouse(MSG_MOUSE_WHEEL, event);
            break;
        case Button::None:
            break;
        }
        break;
    default:
        break;
    }
}
