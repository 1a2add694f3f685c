#include "KeyTranslation.h"

#include <X11/keysym.h>

uint32_t virtualKeyOfKeysym(unsigned long keysym) {
    if (keysym >= XK_a && keysym <= XK_z)
        return uint32_t(keysym - XK_a) + 'A';
    if (keysym >= XK_A && keysym <= XK_Z)
        return uint32_t(keysym - XK_A) + 'A';
    if (keysym >= XK_0 && keysym <= XK_9)
        return uint32_t(keysym - XK_0) + '0';
    if (keysym >= XK_KP_0 && keysym <= XK_KP_9) // the editor takes keypad digits as digits
        return uint32_t(keysym - XK_KP_0) + '0';
    if (keysym >= XK_F1 && keysym <= XK_F12)
        return uint32_t(keysym - XK_F1) + 112;
    switch (keysym) {
    case XK_Shift_L:
    case XK_Shift_R:
        return 16;
    case XK_Control_L:
    case XK_Control_R:
        return 17;
    case XK_Return:
    case XK_KP_Enter:
        return 13;
    case XK_Escape:
        return 27;
    case XK_BackSpace:
        return 8;
    case XK_Tab:
    case XK_ISO_Left_Tab: // Shift+Tab
        return 9;
    case XK_space:
        return 32;
    case XK_Left:
    case XK_KP_Left:
        return 37;
    case XK_Up:
    case XK_KP_Up:
        return 38;
    case XK_Right:
    case XK_KP_Right:
        return 39;
    case XK_Down:
    case XK_KP_Down:
        return 40;
    case XK_Delete:
    case XK_KP_Delete:
        return 46;
    default:
        return 0;
    }
}
