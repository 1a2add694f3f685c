#pragma once

#include "TimerQueue.h"
#include "UiPlatform.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <atomic>
#include <map>
#include <mutex>
#include <thread>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// A window that exists only in memory: a place and a size on a pretend screen, and
// the pixels presented to it (top-down B, G, R rows; colour-key pixels are holes).
// A child presents into its parent's pixels, which it covers from (0, 0).
struct HeadlessWindow : PlatformWindow {
    HeadlessWindow* parent = nullptr;
    HeadlessWindow* child = nullptr;
    int x = 0, y = 0;
    int width = 0, height = 0;
    WindowRequest request;
    WindowHandler* handler = nullptr;
    bool shown = false;
    ShowCommand showCommand = ShowCommand::Normal;
    bool destroyed = false;
    std::vector<uint8_t> screen;     // width × height × 3
    std::vector<uint8_t> hole;       // width × height: 1 where the key colour cut the window
    int presents = 0;
    PixelRect lastPresented;
};

// The user interface without an OS: timers run on a test clock, dialogs and menus
// answer from a script, and everything asked of the OS is recorded. Tests (and any
// run without a display) install it with setUiPlatform.
class HeadlessPlatform : public UiPlatform {
public:
    static constexpr uint32_t kFirstRepeatingTimer = TimerQueue::kFirstRepeatingId;

    void startTimer(PlatformWindow* window, uint32_t id, uint32_t milliseconds) override;
    void stopTimer(PlatformWindow* window, uint32_t id) override;
    bool setCursorKind(int kind) override;
    void showCursor(bool shown) override;
    void clientToScreen(PlatformWindow* window, int& x, int& y) override;
    void setCursorPosition(int screenX, int screenY) override;
    int trackPopupMenu(PlatformWindow* owner, const std::vector<PopupItem>& items, int screenX,
                       int screenY) override;
    bool askYesNo(PlatformWindow* owner, const std::string& caption, const std::string& text) override;
    std::optional<std::string> openFileDialog(PlatformWindow* owner,
                                              const FileDialogRequest& request) override;
    // The answer comes from fileAnswers at the next pump, or when a test calls
    // answerFileDialog; until then the dialog is open.
    bool beginOpenFileDialog(PlatformWindow* owner, const FileDialogRequest& request) override;
    bool openWithShell(const std::string& address) override;
    bool dialogsAvailable() override { return dialogsInstalled; }
    void screenSize(int& width, int& height) override;
    void moveWindow(PlatformWindow* window, int x, int y) override;
    void windowSize(PlatformWindow* window, int& width, int& height) override;
    PlatformWindow* createWindow(const WindowRequest& request, WindowHandler* handler) override;
    void destroyWindow(PlatformWindow* window) override;
    void showWindow(PlatformWindow* window, ShowCommand command) override;
    void setFocus(PlatformWindow* window) override { focused = window; }
    void windowPosition(PlatformWindow* window, int& x, int& y) override;
    void workArea(int& width, int& height) override;
    void captureMouse(PlatformWindow* window) override;
    void releaseMouse(PlatformWindow* window) override;
    void startWindowDrag(PlatformWindow* window, int screenX, int screenY) override;
    void present(PlatformWindow* window, const PixelImage& image, const PixelRect& rect) override;
    void postClose(PlatformWindow* window) override;
    void requestPresent(PlatformWindow* window) override;
    bool activateRunningInstance(const std::string& className) override;
    void runEventLoop() override;
    void postQuit() override;
    void keyboardModifiers(bool& shift, bool& control) override {
        shift = shiftDown;
        control = controlDown;
    }

    bool openEditPopup(PlatformWindow* window, const EditPopupRequest& request) override;
    std::optional<std::string> closeEditPopup(PlatformWindow* window) override;
    std::optional<std::string> editPopupText(PlatformWindow* window) override;
    // What the user has typed into the window's open popup so far.
    bool typeIntoEditPopup(PlatformWindow* window, const std::string& text);
    // The user ends the window's open popup: EditEnded with the text typed into it
    // (or, when none is given, the text it opened with). False when none is open.
    bool endEditPopup(PlatformWindow* window, WindowEvent::EditEnding ending,
                      std::optional<std::string> typed = std::nullopt);
    bool editPopupOpen(PlatformWindow* window) const { return editPopups_.count(window) != 0; }

    // Hands an event to the window's handler now, as the OS would.
    void deliver(PlatformWindow* window, const WindowEvent& event);
    // Delivers the posted events (closes); true while quit has not been posted.
    bool pump();
    HeadlessWindow* lastWindow() const { return windows_.empty() ? nullptr : windows_.back().get(); }
    // The last top-level window made, and its child (the editor's window).
    HeadlessWindow* lastTopLevel() const;
    HeadlessWindow* childOf(PlatformWindow* window) const;
    bool quitPosted() const { return quit_; }
    // An open asynchronous dialog answers now (nothing: cancelled); false when none is open.
    bool answerFileDialog(std::optional<std::string> answer);
    bool fileDialogOpen() const { return dialogOwner_ != nullptr; }

    // The test clock. Advancing it fires every timer that falls due, in time order,
    // through deliver (which may start and stop timers itself); without one, as
    // timer events to the windows' handlers.
    using TimerDelivery = std::function<void(PlatformWindow* window, uint32_t id)>;
    void advance(uint32_t milliseconds, const TimerDelivery& deliver = nullptr);
    uint64_t now() const { return now_; }
    bool timerRunning(PlatformWindow* window, uint32_t id) const;
    // Interval of a running timer, 0 when it is not running.
    uint32_t timerInterval(PlatformWindow* window, uint32_t id) const;

    // Scripted answers, taken from the front; an empty script answers "nothing
    // chosen", "No" and "cancelled".
    std::deque<int> popupAnswers;
    std::deque<bool> yesNoAnswers;
    std::deque<std::optional<std::string>> fileAnswers;
    // Asynchronous dialogs answer at the next pump; off, they stay open until
    // answerFileDialog.
    bool answerDialogsAtPump = true;

    // What was asked of the OS.
    struct MenuShown {
        std::vector<PopupItem> items;
        int screenX = 0, screenY = 0;
    };
    std::vector<MenuShown> menus;
    std::vector<std::pair<std::string, std::string>> questions; // caption, text
    std::vector<FileDialogRequest> fileDialogs;
    std::vector<std::string> shellOpened;
    int cursorKind = 0;
    bool cursorShown = true;
    int showCursorCalls = 0; // every show or hide that changed nothing is a fault
    int cursorX = 0, cursorY = 0;
    int screenWidth = 1920, screenHeight = 1080;
    int workWidth = 1920, workHeight = 1050;
    PlatformWindow* captured = nullptr;
    PlatformWindow* focused = nullptr;
    std::vector<EditPopupRequest> editPopupsOpened;
    int drags = 0;
    // Runs inside startWindowDrag, as an OS's move loop runs events meanwhile.
    std::function<void()> duringDrag;
    // Presents made on a thread other than the one that made the platform.
    std::atomic<int> presentsOffThread{0};
    bool shiftDown = false, controlDown = false;
    bool dialogsInstalled = true;
    // Class names of windows of "other processes" that a second start would find.
    std::vector<std::string> runningInstances;
    std::vector<std::string> activated;

private:
    TimerQueue timers_;
    uint64_t now_ = 0;
    std::vector<std::unique_ptr<HeadlessWindow>> windows_;
    std::vector<PlatformWindow*> closes_;
    PlatformWindow* dialogOwner_ = nullptr; // the open asynchronous dialog's owner
    std::map<PlatformWindow*, EditPopupRequest> editPopups_; // open popups by window
    std::mutex presentRequestsLock_;
    std::vector<PlatformWindow*> presentRequests_; // guarded by presentRequestsLock_
    const std::thread::id owner_ = std::this_thread::get_id();
    bool quit_ = false;
};
