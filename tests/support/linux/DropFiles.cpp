// Test helper for the end-to-end runs: drags files onto a window from another X
// client, as a file manager does (XDND), and reports whether the drop was taken.
//
//   x11-drop-files WINDOW ROOT_X ROOT_Y FILE...
//
// Exit status: 0 the window accepted and finished the drop, 1 it did not, 2 usage.
#include "X11DropSource.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

// Until the condition holds or two seconds have passed.
template <class Condition> bool stepUntil(X11DropSource& source, Condition done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        source.step();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 5)
        return 2;
    const unsigned long window = std::strtoul(argv[1], nullptr, 0);
    const int x = std::atoi(argv[2]), y = std::atoi(argv[3]);
    std::string uris;
    for (int i = 4; i < argc; ++i)
        uris += std::string("file://") + argv[i] + "\r\n";
    std::unique_ptr<X11DropSource> source = X11DropSource::open();
    if (!source) {
        std::fprintf(stderr, "x11-drop-files: no display\n");
        return 2;
    }
    source->enter(window, {"text/uri-list"}, uris, x, y);
    if (!stepUntil(*source, [&] { return source->statusSeen; }) || !source->accepted) {
        std::fprintf(stderr, "x11-drop-files: the window does not take the files\n");
        return 1;
    }
    source->drop();
    if (!stepUntil(*source, [&] { return source->finished; }) || !source->finishedSuccess) {
        std::fprintf(stderr, "x11-drop-files: the drop did not finish\n");
        return 1;
    }
    return 0;
}
