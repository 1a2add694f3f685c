#include "HeadlessPlatform.h"

#include <algorithm>
#include <chrono>

void HeadlessPlatform::startTimer(PlatformWindow* window, uint32_t id, uint32_t milliseconds) {
    auto* headless = dynamic_cast<HeadlessWindow*>(window);
    timers_.start(window, id, milliseconds, now_, headless && headless->request.oneShotTimers);
}

void HeadlessPlatform::stopTimer(PlatformWindow* window, uint32_t id) {
    timers_.stop(window, id);
}

bool HeadlessPlatform::setCursorKind(int kind) {
    // The program has no cursors of its own: only the system's four are known.
    if (kind != 0 && (kind < 304 || kind > 306))
        return false;
    cursorKind = kind;
    return true;
}

void HeadlessPlatform::showCursor(bool shown) {
    ++showCursorCalls;
    cursorShown = shown;
}

void HeadlessPlatform::clientToScreen(PlatformWindow* window, int& x, int& y) {
    if (auto* headless = dynamic_cast<HeadlessWindow*>(window)) {
        if (headless->parent)
            headless = headless->parent; // a child sits at the parent's (0, 0)
        x += headless->x;
        y += headless->y;
    }
}

void HeadlessPlatform::setCursorPosition(int screenX, int screenY) {
    cursorX = screenX;
    cursorY = screenY;
}

int HeadlessPlatform::trackPopupMenu(PlatformWindow*, const std::vector<PopupItem>& items,
                                     int screenX, int screenY) {
    menus.push_back(MenuShown{items, screenX, screenY});
    if (popupAnswers.empty())
        return 0;
    const int answer = popupAnswers.front();
    popupAnswers.pop_front();
    return answer;
}

bool HeadlessPlatform::askYesNo(PlatformWindow*, const std::string& caption, const std::string& text) {
    questions.emplace_back(caption, text);
    if (yesNoAnswers.empty())
        return false;
    const bool answer = yesNoAnswers.front();
    yesNoAnswers.pop_front();
    return answer;
}

std::optional<std::string> HeadlessPlatform::openFileDialog(PlatformWindow*,
                                                            const FileDialogRequest& request) {
    fileDialogs.push_back(request);
    if (fileAnswers.empty())
        return std::nullopt;
    std::optional<std::string> answer = fileAnswers.front();
    fileAnswers.pop_front();
    return answer;
}

bool HeadlessPlatform::beginOpenFileDialog(PlatformWindow* owner, const FileDialogRequest& request) {
    if (dialogOwner_ || !dialogsInstalled)
        return false;
    fileDialogs.push_back(request);
    dialogOwner_ = owner;
    return true;
}

bool HeadlessPlatform::answerFileDialog(std::optional<std::string> answer) {
    PlatformWindow* owner = dialogOwner_;
    if (!owner)
        return false;
    dialogOwner_ = nullptr; // answered: another may open from the handler
    WindowEvent chosen;
    chosen.kind = WindowEvent::Kind::FileChosen;
    if (answer)
        chosen.paths.push_back(*answer);
    deliver(owner, chosen);
    return true;
}

bool HeadlessPlatform::openWithShell(const std::string& address) {
    shellOpened.push_back(address);
    return true;
}

void HeadlessPlatform::screenSize(int& width, int& height) {
    width = screenWidth;
    height = screenHeight;
}

void HeadlessPlatform::moveWindow(PlatformWindow* window, int x, int y) {
    if (auto* headless = dynamic_cast<HeadlessWindow*>(window)) {
        headless->x = x;
        headless->y = y;
    }
}

void HeadlessPlatform::windowSize(PlatformWindow* window, int& width, int& height) {
    width = height = 0;
    if (auto* headless = dynamic_cast<HeadlessWindow*>(window)) {
        width = headless->width;
        height = headless->height;
    }
}

void HeadlessPlatform::advance(uint32_t milliseconds, const TimerDelivery& deliver) {
    // The clock steps from one due time to the next, so every tick in the span fires.
    const uint64_t end = now_ + milliseconds;
    for (std::optional<uint64_t> next = timers_.nextDue(); next && *next <= end; next = timers_.nextDue()) {
        now_ = std::max(now_, *next);
        PlatformWindow* window = nullptr;
        uint32_t id = 0;
        while (timers_.takeDue(now_, window, id)) {
            if (deliver) {
                deliver(window, id);
            } else {
                WindowEvent timer;
                timer.kind = WindowEvent::Kind::Timer;
                timer.timerId = id;
                this->deliver(window, timer);
            }
        }
    }
    now_ = end;
}

bool HeadlessPlatform::timerRunning(PlatformWindow* window, uint32_t id) const {
    return timers_.running(window, id);
}

uint32_t HeadlessPlatform::timerInterval(PlatformWindow* window, uint32_t id) const {
    return timers_.interval(window, id);
}

PlatformWindow* HeadlessPlatform::createWindow(const WindowRequest& request, WindowHandler* handler) {
    if (request.width <= 0 || request.height <= 0)
        return nullptr;
    auto* parent = dynamic_cast<HeadlessWindow*>(request.parent);
    if (request.parent && (!parent || parent->destroyed || parent->parent || parent->child))
        return nullptr; // one child per top-level window
    auto window = std::make_unique<HeadlessWindow>();
    window->parent = parent;
    if (parent)
        parent->child = window.get();
    window->request = request;
    window->handler = handler;
    window->width = request.width;
    window->height = request.height;
    window->screen.assign(size_t(request.width) * size_t(request.height) * 3, 0);
    window->hole.assign(size_t(request.width) * size_t(request.height), 0);
    windows_.push_back(std::move(window));
    return windows_.back().get();
}

void HeadlessPlatform::destroyWindow(PlatformWindow* window) {
    if (auto* headless = dynamic_cast<HeadlessWindow*>(window)) {
        if (headless->destroyed)
            return;
        if (headless->child)
            destroyWindow(headless->child);
        if (headless->parent)
            headless->parent->child = nullptr;
        editPopups_.erase(window);
        if (focused == window)
            focused = nullptr;
        headless->destroyed = true;
        headless->handler = nullptr;
        if (dialogOwner_ == window)
            dialogOwner_ = nullptr; // closed unanswered
        timers_.forget(window);
        if (captured == window)
            captured = nullptr;
    }
}

void HeadlessPlatform::showWindow(PlatformWindow* window, ShowCommand command) {
    if (auto* headless = dynamic_cast<HeadlessWindow*>(window)) {
        headless->shown = true;
        headless->showCommand = command;
    }
}

HeadlessWindow* HeadlessPlatform::lastTopLevel() const {
    for (auto it = windows_.rbegin(); it != windows_.rend(); ++it)
        if (!(*it)->parent)
            return it->get();
    return nullptr;
}

HeadlessWindow* HeadlessPlatform::childOf(PlatformWindow* window) const {
    auto* headless = dynamic_cast<HeadlessWindow*>(window);
    return headless ? headless->child : nullptr;
}

bool HeadlessPlatform::openEditPopup(PlatformWindow* window, const EditPopupRequest& request) {
    auto* headless = dynamic_cast<HeadlessWindow*>(window);
    if (!headless || headless->destroyed)
        return false;
    editPopups_[window] = request; // replaces an open one unanswered
    editPopupsOpened.push_back(request);
    return true;
}

std::optional<std::string> HeadlessPlatform::closeEditPopup(PlatformWindow* window) {
    const auto it = editPopups_.find(window);
    if (it == editPopups_.end())
        return std::nullopt;
    std::string text = it->second.text;
    editPopups_.erase(it);
    return text;
}

std::optional<std::string> HeadlessPlatform::editPopupText(PlatformWindow* window) {
    const auto it = editPopups_.find(window);
    return it == editPopups_.end() ? std::nullopt : std::optional<std::string>(it->second.text);
}

bool HeadlessPlatform::typeIntoEditPopup(PlatformWindow* window, const std::string& text) {
    const auto it = editPopups_.find(window);
    if (it == editPopups_.end())
        return false;
    it->second.text = text.substr(0, size_t(std::max(it->second.maxLength, 0)));
    return true;
}

bool HeadlessPlatform::endEditPopup(PlatformWindow* window, WindowEvent::EditEnding ending,
                                    std::optional<std::string> typed) {
    const std::optional<std::string> opened = closeEditPopup(window);
    if (!opened)
        return false;
    WindowEvent ended;
    ended.kind = WindowEvent::Kind::EditEnded;
    ended.editEnding = ending;
    ended.text = typed ? *typed : *opened;
    deliver(window, ended);
    return true;
}

void HeadlessPlatform::windowPosition(PlatformWindow* window, int& x, int& y) {
    x = y = 0;
    if (auto* headless = dynamic_cast<HeadlessWindow*>(window)) {
        x = headless->x;
        y = headless->y;
    }
}

void HeadlessPlatform::workArea(int& width, int& height) {
    width = workWidth;
    height = workHeight;
}

void HeadlessPlatform::captureMouse(PlatformWindow* window) {
    captured = window;
}

void HeadlessPlatform::releaseMouse(PlatformWindow* window) {
    if (captured == window)
        captured = nullptr;
}

void HeadlessPlatform::startWindowDrag(PlatformWindow*, int, int) {
    ++drags;
    if (duringDrag)
        duringDrag();
}

void HeadlessPlatform::present(PlatformWindow* window, const PixelImage& image, const PixelRect& rect) {
    auto* headless = dynamic_cast<HeadlessWindow*>(window);
    if (!headless || headless->destroyed || !image.pixels)
        return;
    if (std::this_thread::get_id() != owner_)
        ++presentsOffThread;
    ++headless->presents;
    headless->lastPresented = rect;
    if (headless->parent)
        headless = headless->parent; // the child's pixels are the window's
    const int right = std::min({rect.right, image.width, headless->width});
    const int bottom = std::min({rect.bottom, image.height, headless->height});
    const uint32_t key = headless->request.colourKey;
    for (int y = std::max(rect.top, 0); y < bottom; ++y) {
        const uint8_t* row = image.pixels + image.rowBytes * size_t(image.height - 1 - y);
        for (int x = std::max(rect.left, 0); x < right; ++x) {
            const uint8_t* p = row + size_t(x) * 4;
            const size_t at = size_t(y) * size_t(headless->width) + size_t(x);
            uint8_t* out = &headless->screen[at * 3];
            out[0] = p[0], out[1] = p[1], out[2] = p[2];
            const uint32_t rgb = uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
            headless->hole[at] = rgb == key;
        }
    }
}

void HeadlessPlatform::postClose(PlatformWindow* window) {
    closes_.push_back(window);
}

void HeadlessPlatform::requestPresent(PlatformWindow* window) {
    std::lock_guard<std::mutex> guard(presentRequestsLock_);
    if (std::find(presentRequests_.begin(), presentRequests_.end(), window) == presentRequests_.end())
        presentRequests_.push_back(window);
}

bool HeadlessPlatform::activateRunningInstance(const std::string& className) {
    const bool found =
        std::find(runningInstances.begin(), runningInstances.end(), className) != runningInstances.end();
    if (found)
        activated.push_back(className);
    return found;
}

void HeadlessPlatform::deliver(PlatformWindow* window, const WindowEvent& event) {
    auto* headless = dynamic_cast<HeadlessWindow*>(window);
    if (headless && !headless->destroyed && headless->handler)
        headless->handler->onWindowEvent(window, event);
}

bool HeadlessPlatform::pump() {
    std::vector<PlatformWindow*> presents;
    {
        std::lock_guard<std::mutex> guard(presentRequestsLock_);
        presents.swap(presentRequests_);
    }
    for (PlatformWindow* window : presents) {
        WindowEvent request;
        request.kind = WindowEvent::Kind::PresentRequest;
        deliver(window, request);
    }
    if (dialogOwner_ && answerDialogsAtPump) {
        std::optional<std::string> answer;
        if (!fileAnswers.empty()) {
            answer = fileAnswers.front();
            fileAnswers.pop_front();
        }
        answerFileDialog(answer);
    }
    std::vector<PlatformWindow*> closes;
    closes.swap(closes_);
    for (PlatformWindow* window : closes) {
        WindowEvent close;
        close.kind = WindowEvent::Kind::Close;
        deliver(window, close);
    }
    return !quit_;
}

void HeadlessPlatform::runEventLoop() {
    // Timers on the test clock, kept in step with real time, until quit.
    while (pump()) {
        advance(10);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void HeadlessPlatform::postQuit() {
    quit_ = true;
}
