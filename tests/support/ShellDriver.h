#pragma once

// How a shell scenario plays the user of the window program, over one UI platform:
// the headless one on a test clock, or an OS's real windows and messages in real
// time. Every call is made on the user-interface thread, inside run().
#include "CCBitmap.h"
#include "UiPlatform.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

class HeadlessPlatform;

class ShellDriver {
public:
    virtual ~ShellDriver() = default;

    virtual UiPlatform& platform() = 0;
    // Where the window keeps its place.
    virtual SettingsStore& settings() = 0;
    // Runs the scenario with the driver's event loop beside it, so that the OS's
    // own loops (the file dialog's, a window move's) run while it goes on.
    virtual void run(const std::function<void()>& scenario) { scenario(); }
    // The window program made its main window and the editor's window in it.
    virtual void opened(PlatformWindow*, PlatformWindow*) {}

    // Events, window timers and the worker go on until done() holds (true) or the
    // limit in real time passes (false).
    virtual bool until(const std::function<bool()>& done, int limitMs) = 0;
    // Handles everything that has arrived so far, paints included.
    virtual void pump() = 0;

    // Input as the OS delivers it, handled before the call returns: a mouse button
    // at page coordinates of a window (the editor's), files dropped on a top-level
    // window, and the window manager's close of it.
    virtual void mouse(PlatformWindow* window, WindowEvent::Button button, int x, int y) = 0;
    virtual void drop(PlatformWindow* window, const std::vector<std::string>& paths) = 0;
    virtual void close(PlatformWindow* window) = 0;

    // What the OS knows of the windows.
    virtual std::string className(PlatformWindow* window) = 0;
    virtual bool gone(PlatformWindow* window) = 0; // destroyed, the OS window too
    virtual PlatformWindow* captured() = 0;        // null: no window of the program
    virtual PlatformWindow* focused() = 0;
    virtual bool quitPosted() = 0;
    // Window moves the user was let into (the OS's move loop).
    virtual int drags() = 0;
    // A top-level window's pixels as shown; false when they cannot be read.
    virtual bool screen(PlatformWindow* window, CCBitmap& shot) = 0;
    // False where the key colour's pixels cannot be read back (a real window shows
    // the desktop there): they are left out of golden comparisons.
    virtual bool showsKeyColour() const = 0;

    // The open-file dialogs shown so far, the one open now, and the user's answer
    // to it (nothing: cancelled), delivered before the call returns.
    struct FileDialogShown {
        std::string title;
        std::string firstFilter; // the first entry of its list of types
    };
    virtual std::vector<FileDialogShown> fileDialogs() = 0;
    virtual bool fileDialogOpen() = 0;
    virtual bool answerFileDialog(const std::optional<std::string>& path) = 0;

    // The headless platform, for the checks only it can make (timer intervals, the
    // cut-out mask, presents from other threads); null elsewhere.
    virtual HeadlessPlatform* memory() { return nullptr; }
};
