#pragma once

// A file drop as the shell hands it to a window of this process: a DROPFILES block
// of ANSI paths in movable global memory, freed by the window's DragFinish.
#include <shlobj.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

inline HDROP makeDrop(const std::vector<std::string>& paths) {
    size_t bytes = sizeof(DROPFILES) + 1;
    for (const std::string& path : paths)
        bytes += path.size() + 1;
    HGLOBAL memory = GlobalAlloc(GHND, bytes);
    auto* drop = memory ? static_cast<DROPFILES*>(GlobalLock(memory)) : nullptr;
    if (!drop)
        return nullptr;
    drop->pFiles = sizeof(DROPFILES);
    char* at = reinterpret_cast<char*>(drop + 1);
    for (const std::string& path : paths) {
        std::memcpy(at, path.c_str(), path.size() + 1);
        at += path.size() + 1;
    }
    GlobalUnlock(memory);
    return static_cast<HDROP>(memory);
}
