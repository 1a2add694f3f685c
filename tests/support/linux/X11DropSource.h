#pragma once

#include <memory>
#include <string>
#include <vector>

struct X11DropSourceState;

// Another program dragging files onto a window, over its own X connection: the
// source side of XDND, stepped by the caller, for checking the target side.
class X11DropSource {
public:
    // Null when the display cannot be opened.
    static std::unique_ptr<X11DropSource> open();
    ~X11DropSource();

    // Enters `target` offering `types` and moves to (rootX, rootY); `data` is what a
    // request for text/uri-list gets. More than three types go in XdndTypeList.
    void enter(unsigned long target, const std::vector<std::string>& types, std::string data, int rootX,
               int rootY);
    void drop();
    // Handles what has arrived: status, requests for the data, the finish.
    void step();

    bool statusSeen = false, accepted = false, actionCopy = false;
    bool finished = false, finishedSuccess = false;

private:
    explicit X11DropSource(std::unique_ptr<X11DropSourceState> state);
    std::unique_ptr<X11DropSourceState> x_;
};
