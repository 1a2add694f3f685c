#pragma once

#include "../ShellDriver.h"

#include <memory>
#include <string>

// The shell's user over the Win32 backend, in real time: posted mouse messages to
// the editor's window, WM_DROPFILES with a real HDROP, WM_CLOSE, the window's pixels
// read back from its DC, capture and focus as the system reports them, the open-file
// dialog answered through its controls, and the settings in the registry under a
// key of the test's own that goes with the driver. Null, with whyNot, when no
// window can be made (under Wine, no X display).
std::unique_ptr<ShellDriver> openWin32ShellDriver(std::string& whyNot);
