#pragma once

#include <cstdint>
#include <string>

class CCPageManager;
struct PlatformWindow;

// The page framework's small doors to the OS, over the installed UiPlatform.

// 0 arrow, 304/305 sizing arrows, 306 hand; other kinds are program cursors and
// leave the cursor unchanged when there is none.
void setCursorKind(int kind);
// Remembers the point; hides the cursor once however often it is called.
void hideCursor(int x, int y);
bool cursorShown();
bool openWithShell(const char* address);
// Centres the window on the screen, keeping its size.
void centreWindow(PlatformWindow* window);
// The folder part of a path (quotes and leading spaces skipped; a drive or file
// system root keeps its separator; a bare name gives ""). Returns the end index.
int directoryOf(const char* path, std::string& destination, bool stopAtSpace);
// An open-file dialog with one filter entry per extension ("%s (*.%s)", "*.%s"),
// entries that would not fit the system's 260-byte filter text left out. file is
// emptied first unless keep; with keep and a directory, the chosen file's folder
// is written there for next time. True when a file was chosen.
bool openFileDialog(PlatformWindow* owner, const char* title, const char* const* extensions,
                    const char* const* descriptions, int count, std::string* directory,
                    std::string& file, bool keep);
// The same dialog without waiting for it (no file proposed): the answer comes to the
// owner window as a FileChosen event. False when no dialog could be opened.
bool beginOpenFileDialog(PlatformWindow* owner, const char* title, const char* const* extensions,
                         const char* const* descriptions, int count, const std::string* directory);
// The filter text as the system dialog takes it: entries and patterns each
// zero-terminated, a final zero closing the list; at most 260 bytes.
std::string buildFileFilter(const char* const* extensions, const char* const* descriptions, int count);
// The name in an open-file dialog once its type changes to the entry with this
// pattern ("*.qfu"): an extension the name has becomes the pattern's. A name
// without one, or a pattern whose extension is a wildcard ("*.*"), keeps the name.
std::string fileNameForFilter(const std::string& name, const std::string& pattern);

// String table: entry 0 is the application name used in message-box captions.
void setAppString(uint32_t id, const std::string& text);
std::string appString(uint32_t id);

// Window timers and the cursor for one page manager's window.
class CCTimerObject {
public:
    explicit CCTimerObject(CCPageManager* manager) : manager_(manager) {}

    // Ids below 4097 fire once.
    void startTimer(uint32_t id, uint32_t milliseconds);
    // A repeating id (4097 or above) that no other user of this window has: not
    // one of the program's fixed ids, not one handed out before.
    uint32_t newRepeatingTimerId();
    void stopTimer(uint32_t id);
    // (x, y) in the window's client coordinates; only when the cursor is hidden.
    void showCursorAt(int x, int y);
    bool askYesNo(const char* text);

private:
    CCPageManager* manager_;
    uint32_t nextRepeatingId_ = 4100;
};
