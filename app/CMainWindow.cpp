#include "CMainWindow.h"

#include "CAudioEffect.h"
#include "CBackPage.h"
#include "CCEditor.h"
#include "CCPreference.h"
#include "CommandLine.h"
#include "EditorWindow.h"
#include "PlatformHelpers.h"
#include "ProgramStart.h"

#include <algorithm>
#include <mutex>

uint32_t packWindowPosition(int left, int top) {
    return (static_cast<uint32_t>(top) << 16) | (static_cast<uint32_t>(left) & 0xFFFFu);
}

void unpackWindowPosition(uint32_t packed, int width, int height, int workWidth, int workHeight,
                          int& left, int& top) {
    left = static_cast<int16_t>(packed & 0xFFFFu);
    top = static_cast<int16_t>(packed >> 16);
    if (left < 0)
        left = 0;
    if (top < 0)
        top = 0;
    if (left + width >= workWidth)
        left = std::max(workWidth - width - 1, 0);
    if (top + height >= workHeight)
        top = std::max(workHeight - height - 1, 0);
}

CMainWindow::CMainWindow(const ShellDependencies& dependencies, SettingsStore* settings)
    : dependencies_(dependencies), settings_(settings), preferenceStore_(settings) {}

CMainWindow::~CMainWindow() {
    destroy();
}

CCEditor* CMainWindow::editor() const {
    return effect_ ? effect_->editor() : nullptr;
}

CBackPage* CMainWindow::page() const {
    CCEditor* ed = editor();
    return ed ? ed->page() : nullptr;
}

bool CMainWindow::create(ShowCommand show) {
    window_ = createEditorWindow(kTitle, kClassName, this);
    if (!window_)
        return false;
    restoreOrCentre();
    effect_ = CAudioEffect::create(dependencies_);
    if (!effect_)
        return true; // a window without contents
    openEditorWindow(*editor(), window_, show);
    uiPlatform().startTimer(window_, kForegroundTimer, kForegroundTimerMs);
    return true;
}

void CMainWindow::restoreOrCentre() {
    uint32_t packed = 0;
    if (settings_ && settings_->readDword(kPositionValue, packed)) {
        int workWidth = 0, workHeight = 0, left = 0, top = 0, width = 0, height = 0;
        uiPlatform().workArea(workWidth, workHeight);
        uiPlatform().windowSize(window_, width, height); // on screen: larger on a high-DPI one
        unpackWindowPosition(packed, width, height, workWidth, workHeight, left, top);
        uiPlatform().moveWindow(window_, left, top);
        return;
    }
    centreWindow(window_);
}

void CMainWindow::destroy() {
    if (!window_)
        return;
    PlatformWindow* window = window_;
    uiPlatform().stopTimer(window, kForegroundTimer);
    if (CCEditor* ed = editor())
        ed->Close();
    effect_.reset(); // the editor, its page and the worker go with it
    int left = 0, top = 0;
    uiPlatform().windowPosition(window, left, top);
    if (settings_)
        settings_->writeDword(kPositionValue, packWindowPosition(left, top));
    window_ = nullptr;
    uiPlatform().destroyWindow(window);
    uiPlatform().postQuit();
}

void CMainWindow::dropFiles(const std::vector<std::string>& paths) {
    CBackPage* backPage = page();
    if (!backPage || paths.empty() || !backPage->takesInput())
        return; // while the file dialog is open its answer decides
    std::lock_guard<CCLock> guard(editor()->lock());
    backPage->loadFile(paths.front().c_str());
}

void CMainWindow::startCommandLineUpdate(const std::string& path, const std::string& identity) {
    CBackPage* backPage = page();
    if (!backPage)
        return;
    {
        std::lock_guard<CCLock> guard(editor()->lock());
        backPage->prepareCommandLine(&ExitResult);
    }
    commandLinePath_ = path;
    commandLineIdentity_ = identity;
    uiPlatform().startTimer(window_, kCommandLineTimer, kCommandLineDelayMs);
}

void CMainWindow::onWindowEvent(PlatformWindow* window, const WindowEvent& event) {
    if (window != window_)
        return;
    ++eventDepth_;
    handleEvent(event);
    if (--eventDepth_ == 0 && closePending_)
        destroy(); // nothing of the window is used after this
}

void CMainWindow::handleEvent(const WindowEvent& event) {
    if (CCEditor* ed = editor()) {
        // Waits for the fade thread to finish its pass.
        std::lock_guard<CCLock> guard(ed->lock());
    }
    switch (event.kind) {
    case WindowEvent::Kind::Timer:
        if (event.timerId == kForegroundTimer)
            return; // the foreground follows the activation events
        if (event.timerId == kCommandLineTimer) {
            uiPlatform().stopTimer(window_, kCommandLineTimer); // this window's timers repeat
            if (CBackPage* backPage = page()) {
                std::lock_guard<CCLock> guard(editor()->lock());
                backPage->beginCommandLineUpdate(commandLinePath_.c_str(), commandLineIdentity_.c_str());
            }
            return;
        }
        break;
    case WindowEvent::Kind::Activate:
        inForeground_ = event.active;
        return;
    case WindowEvent::Kind::Drop:
        dropFiles(event.paths);
        return;
    case WindowEvent::Kind::Close:
        // A running update is never cut off: the window goes once it has ended.
        if (CBackPage* backPage = page()) {
            std::lock_guard<CCLock> guard(editor()->lock());
            if (backPage->deferClose())
                return;
        }
        if (CCEditor* ed = editor(); ed && ed->handlingEvent()) {
            // The editor's window is inside a press (the move loop): the close comes
            // back once that press is done.
            ed->closeAfterEvent();
            return;
        }
        closePending_ = true;
        return;
    default:
        break;
    }
    pending_.clear(); // waiting messages are dropped unread; the editor's window has its own events
}
