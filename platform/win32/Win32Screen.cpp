#include "Win32Platform.h"

#include "Win32State.h"

void Win32Platform::screenSize(int& width, int& height) {
    width = GetSystemMetrics(SM_CXSCREEN);
    height = GetSystemMetrics(SM_CYSCREEN);
}

void Win32Platform::workArea(int& width, int& height) {
    width = GetSystemMetrics(SM_CXMAXIMIZED);
    height = GetSystemMetrics(SM_CYMAXIMIZED);
}
