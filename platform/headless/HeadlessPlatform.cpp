#include "HeadlessPlatform.h"

void HeadlessPlatform::startTimer(PlatformWindow* window, uint32_t id, uint32_t milliseconds) {
    // Starting a running timer restarts it, as SetTimer does.
    timers_[{window, id}] = Timer{milliseconds, now_ + milliseconds};
}

void HeadlessPlatform::stopTimer(PlatformWindow* window, uint32_t id) {
    timers_.erase({window, id});
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
    const uint64_t end = now_ + milliseconds;
    for (;;) {
        auto next = timers_.end();
        for (auto it = timers_.begin(); it != timers_.end(); ++it)
            if (it->second.due <= end && (next == timers_.end() || it->second.due < next->second.due))
                next = it;
        if (next == timers_.end())
            break;
        now_ = next->second.due;
        const auto [window, id] = next->first;
        if (id < kFirstRepeatingTimer)
            timers_.erase(next);
        else
            next->second.due += next->second.interval ? next->second.interval : 1;
        if (deliver)
            deliver(window, id);
    }
    now_ = end;
}

bool HeadlessPlatform::timerRunning(PlatformWindow* window, uint32_t id) const {
    return timers_.count({window, id}) != 0;
}

uint32_t HeadlessPlatform::timerInterval(PlatformWindow* window, uint32_t id) const {
    auto it = timers_.find({window, id});
    return it == timers_.end() ? 0 : it->second.interval;
}
