#pragma once

#include "AEffEditor.h"
#include "CCBitmap.h"
#include "CCDrawContext.h"
#include "CCPageManager.h"
#include "ShellDependencies.h"
#include "UiPlatform.h"

#include <memory>
#include <thread>

class CBackPage;
class CPrefs;

// The editor: the page manager of the window's contents, with the off-screen image
// the page is drawn into, the update page, and the translation of the window's
// input into page messages. The OS window is reached only through the UI platform.
class CCEditor : public AEffEditor, public CCPageManager, public WindowHandler {
public:
    static constexpr int kWidth = 480;
    static constexpr int kHeight = 240;
    static constexpr int kBackgroundId = 200;
    static constexpr uint32_t kFrameTimer = 8192;
    static constexpr uint32_t kFrameTimerMs = 20;
    static constexpr uint32_t kPageTimer = 4099;
    static constexpr uint32_t kPageTimerMs = 50;
    static constexpr const char* kWebSite = "https://quorix.example/firmware";
    static constexpr const char* kWindowClass = "TVL-VST-001";

    CCEditor(AudioEffect* effect, const ShellDependencies& dependencies);
    ~CCEditor() override;

    bool GetRect(ERect** rect) override;
    bool Open(PlatformWindow* parent) override;
    void Close() override;
    void Idle() override;
    virtual void BuildPage();
    // The page the editor shows: the update page here; other programs of the
    // framework show their own.
    virtual CCPageObject* createPage();

    void present(const CCRect& rect) override;
    int handleManagerMessage(CCMsg* msg) override;

    // The editor's own window: input, timers, painting, the file dialog's answer
    // and the edit popup's end.
    void onWindowEvent(PlatformWindow* window, const WindowEvent& event) override;
    void onWindowEvent(const WindowEvent& event);
    // True while an event of its window is being handled (the OS's move loop runs
    // other windows' events inside one).
    bool handlingEvent() const { return eventDepth_ > 0; }
    // A close of the main window that came during such an event: posted again once
    // the event is done.
    void closeAfterEvent() { closeAfterEvent_ = true; }

    CBackPage* page() const { return page_; }
    CCPageObject* content() const { return content_; }
    CPrefs* prefs() const { return prefs_.get(); }
    const CCBitmap* offscreenImage() const { return offscreen_.get(); }
    bool ready() const { return ready_; }

    // Keypad digits arrive as the digits' own codes.
    static uint32_t translateKey(uint32_t virtualKey);

private:
    void createOffscreen();
    static CCMouseMsg mouseMessage(uint16_t code, const WindowEvent& event);
    void dispatchMouse(uint16_t code, const WindowEvent& event);

    PlatformWindow* child_ = nullptr;
    int eventDepth_ = 0;
    bool closeAfterEvent_ = false;
    std::unique_ptr<CCBitmap> offscreen_;
    std::unique_ptr<CCDrawContext> context_;
    CCPageObject* content_ = nullptr; // owned by the tree
    CBackPage* page_ = nullptr;       // the content, when it is the update page
    std::unique_ptr<CPrefs> prefs_;
    int bitmapId_ = kBackgroundId;
    int16_t openCount_ = 0;
    CCRect pageRect_{0, 0, kWidth, kHeight};
    bool ready_ = false;
    bool lastShift_ = false;
    bool lastControl_ = false;
    bool building_ = false;
    ShellDependencies dependencies_;
    // Only the user-interface thread talks to the OS: presents the fade thread asks
    // for are collected here (under the manager lock) and made on that thread.
    const std::thread::id uiThread_ = std::this_thread::get_id();
    bool presentPending_ = false;
    CCRect pendingRect_;
};
