#pragma once

#include "Win32State.h"

#include <string>

// A top-level window of a class of its own, registered on creation, with the one
// window procedure every such class shares: it finds the object in the window's
// user data, turns the input and timers into events and leaves the rest to the
// object's WindowProc.
class CBaseWindow : public Win32Window {
public:
    CBaseWindow(Win32State& owner, const WindowRequest& windowRequest, WindowHandler* windowHandler);
    virtual ~CBaseWindow();
    CBaseWindow(const CBaseWindow&) = delete;
    CBaseWindow& operator=(const CBaseWindow&) = delete;

    // Makes the window if there is none yet; its handle, null when it could not be made.
    virtual HWND Create(const char* title);
    virtual void Destroy();
    virtual LRESULT WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // Just before the class is registered.
    virtual void PrepareClass(WNDCLASSEXA&) {}
    virtual void OnCreated(HWND) {}

    static LRESULT CALLBACK ClassWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

protected:
    HWND parentHandle_ = nullptr;
    HINSTANCE instance_ = nullptr;
    std::string className_;
    bool destroying_ = false;
    bool registerClass_ = true;
    int x_ = 100, y_ = 100, width_ = 50, height_ = 50;
    DWORD style_ = WS_POPUP;
    DWORD exStyle_ = 0;

private:
    void raiseWithChildren();
    int raiseGuard_ = 0;
};
