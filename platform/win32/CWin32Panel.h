#pragma once

#include "CBaseWindow.h"

// The program's top-level window: a borderless layered popup with the colour key
// cut out, accepting dropped files. It reports drops, closes and activation; the
// editor's child window inside it takes everything else.
class CWin32Panel : public CBaseWindow {
public:
    CWin32Panel(Win32State& owner, const WindowRequest& windowRequest, WindowHandler* windowHandler);

    void OnCreated(HWND window) override;
    LRESULT WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void dropped(HDROP drop);
};
