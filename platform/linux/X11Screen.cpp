#include "X11Platform.h"

#include "X11State.h"

#include <X11/Xatom.h>

void X11Platform::screenSize(int& width, int& height) {
    width = DisplayWidth(x_->display, x_->screen);
    height = DisplayHeight(x_->display, x_->screen);
}

void X11Platform::workArea(int& width, int& height) {
    screenSize(width, height);
    auto cardinals = [this](Atom property, long count, std::vector<long>& values) {
        Atom type = 0;
        int format = 0;
        unsigned long got = 0, after = 0;
        unsigned char* data = nullptr;
        values.clear();
        if (XGetWindowProperty(x_->display, x_->root, property, 0, count, False, XA_CARDINAL, &type,
                               &format, &got, &after, &data) == Success &&
            data && format == 32)
            values.assign(reinterpret_cast<long*>(data), reinterpret_cast<long*>(data) + got);
        if (data)
            XFree(data);
    };
    std::vector<long> desktop, areas;
    cardinals(x_->atoms.netCurrentDesktop, 1, desktop);
    cardinals(x_->atoms.netWorkarea, 4 * 64, areas);
    // Xlib hands 32-bit values sign-extended: read them back as 32 bits, and take
    // an out-of-range desktop as no answer.
    const size_t index = desktop.empty() ? 0 : size_t(uint32_t(desktop[0]));
    if (index < areas.size() / 4 && areas[4 * index + 2] > 0 && areas[4 * index + 3] > 0) {
        width = int(areas[4 * index + 2]);
        height = int(areas[4 * index + 3]);
    }
}
