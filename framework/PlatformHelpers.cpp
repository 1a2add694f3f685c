#include "PlatformHelpers.h"

#include "CCPageManager.h"
#include "UiPlatform.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>

namespace {

constexpr size_t kFilterBufferSize = 260;

// The cursor's shown flag and remembered point: the user-interface thread only.
struct CursorState {
    bool shown = true;
    int x = 0, y = 0;
} cursor;

std::mutex& stringLock() {
    static std::mutex lock;
    return lock;
}

std::map<uint32_t, std::string>& strings() {
    static std::map<uint32_t, std::string> table;
    return table;
}

bool isSeparator(char c) {
    return c == '\\' || c == '/';
}

} // namespace

void setCursorKind(int kind) {
    uiPlatform().setCursorKind(kind);
}

void hideCursor(int x, int y) {
    cursor.x = x;
    cursor.y = y;
    if (cursor.shown) {
        uiPlatform().showCursor(false);
        cursor.shown = false;
    }
}

bool cursorShown() {
    return cursor.shown;
}

bool openWithShell(const char* address) {
    return address && *address && uiPlatform().openWithShell(address);
}

void centreWindow(PlatformWindow* window) {
    int screenWidth = 0, screenHeight = 0, width = 0, height = 0;
    uiPlatform().screenSize(screenWidth, screenHeight);
    uiPlatform().windowSize(window, width, height);
    uiPlatform().moveWindow(window, screenWidth / 2 - width / 2, screenHeight / 2 - height / 2);
}

int directoryOf(const char* path, std::string& destination, bool stopAtSpace) {
    destination.clear();
    if (!path)
        return 0;
    const int length = static_cast<int>(std::strlen(path));
    int start = 0;
    while (start < length && (path[start] == ' ' || path[start] == '"'))
        ++start;
    const bool quoted = start > 0 && path[start - 1] == '"';
    int end = start;
    while (end < length && path[end] != '"' && !(path[end] == ' ' && !quoted && stopAtSpace))
        ++end;
    while (end > 0 && !isSeparator(path[end]))
        --end;
    if (end < start || !isSeparator(path[end]))
        return end; // a bare name
    // A root keeps its separator ("C:\", "/"); a folder loses it.
    if (end > start && path[end - 1] != ':')
        --end;
    destination.assign(path + start, path + end + 1);
    return end;
}

std::string buildFileFilter(const char* const* extensions, const char* const* descriptions, int count) {
    std::string filter;
    for (int i = 0; i < count; ++i) {
        if (!extensions || !descriptions || !extensions[i] || !descriptions[i])
            break;
        std::string entry = std::string(descriptions[i]) + " (*." + extensions[i] + ")";
        entry.push_back('\0');
        entry += std::string("*.") + extensions[i];
        entry.push_back('\0');
        if (filter.size() + entry.size() + 1 > kFilterBufferSize)
            break; // the rest would not fit the system's buffer
        filter += entry;
    }
    filter.push_back('\0');
    return filter;
}

std::string fileNameForFilter(const std::string& name, const std::string& pattern) {
    const size_t dot = pattern.find('.');
    if (dot == std::string::npos)
        return name;
    const size_t end = pattern.find(';', dot); // the first of several patterns
    const std::string extension = pattern.substr(dot + 1, end == std::string::npos ? end : end - dot - 1);
    if (extension.empty() || extension.find_first_of("*?") != std::string::npos)
        return name;
    // A dot in a folder of a typed path is no extension.
    const size_t folderEnd = name.find_last_of("\\/:");
    const size_t lastDot = name.rfind('.');
    if (lastDot == std::string::npos || (folderEnd != std::string::npos && lastDot < folderEnd))
        return name;
    return name.substr(0, lastDot + 1) + extension;
}

namespace {

FileDialogRequest fileDialogRequest(const char* title, const char* const* extensions,
                                    const char* const* descriptions, int count,
                                    const std::string* directory, const std::string& file) {
    FileDialogRequest request;
    request.title = title ? title : "";
    const std::string filter = buildFileFilter(extensions, descriptions, count);
    for (size_t at = 0; at < filter.size() && filter[at];) {
        const std::string entry(filter.c_str() + at);
        at += entry.size() + 1;
        const std::string pattern(filter.c_str() + at);
        at += pattern.size() + 1;
        request.filters.emplace_back(entry, pattern);
    }
    if (count > 0 && extensions && extensions[0])
        request.defaultExtension = extensions[0];
    if (directory)
        request.initialDirectory = *directory;
    request.initialFile = file;
    return request;
}

} // namespace

bool beginOpenFileDialog(PlatformWindow* owner, const char* title, const char* const* extensions,
                         const char* const* descriptions, int count, const std::string* directory) {
    return uiPlatform().beginOpenFileDialog(
        owner, fileDialogRequest(title, extensions, descriptions, count, directory, std::string()));
}

bool openFileDialog(PlatformWindow* owner, const char* title, const char* const* extensions,
                    const char* const* descriptions, int count, std::string* directory,
                    std::string& file, bool keep) {
    if (!keep)
        file.clear();
    const FileDialogRequest request =
        fileDialogRequest(title, extensions, descriptions, count, directory, file);
    std::optional<std::string> chosen = uiPlatform().openFileDialog(owner, request);
    if (!chosen)
        return false;
    file = *chosen;
    if (keep && directory)
        directoryOf(file.c_str(), *directory, false);
    return true;
}

void setAppString(uint32_t id, const std::string& text) {
    std::lock_guard<std::mutex> guard(stringLock());
    strings()[id] = text;
}

std::string appString(uint32_t id) {
    std::lock_guard<std::mutex> guard(stringLock());
    auto it = strings().find(id);
    return it == strings().end() ? std::string() : it->second;
}

void CCTimerObject::startTimer(uint32_t id, uint32_t milliseconds) {
    uiPlatform().startTimer(manager_->window(), id, milliseconds);
}

uint32_t CCTimerObject::newRepeatingTimerId() {
    // Fixed ids: the scrollers' auto-repeat, the page tick, the editor's frame.
    constexpr uint32_t kFixed[] = {4098, 4099, 8192};
    uint32_t id = 0;
    do {
        id = nextRepeatingId_++;
        if (nextRepeatingId_ < 4097)
            nextRepeatingId_ = 4100; // after four billion buttons
    } while (std::find(std::begin(kFixed), std::end(kFixed), id) != std::end(kFixed));
    return id;
}

void CCTimerObject::stopTimer(uint32_t id) {
    uiPlatform().stopTimer(manager_->window(), id);
}

void CCTimerObject::showCursorAt(int x, int y) {
    if (cursor.shown)
        return;
    uiPlatform().clientToScreen(manager_->window(), x, y);
    uiPlatform().setCursorPosition(x, y);
    uiPlatform().showCursor(true);
    cursor.shown = true;
}

bool CCTimerObject::askYesNo(const char* text) {
    return uiPlatform().askYesNo(manager_->window(), appString(0), text ? text : "");
}
