#pragma once

// A file drop as the shell hands it to a window of this process: a DROPFILES block
// of wide paths (as Explorer sends them) in movable global memory, freed by the
// window's DragFinish. The paths are given in UTF-8.
#include "WideText.h"

#include <shlobj.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

inline HDROP makeDrop(const std::vector<std::string>& paths) {
    std::wstring list;
    for (const std::string& path : paths) {
        list += wideFromUtf8(path);
        list.push_back(L'\0');
    }
    list.push_back(L'\0');
    const size_t bytes = sizeof(DROPFILES) + list.size() * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GHND, bytes);
    auto* drop = memory ? static_cast<DROPFILES*>(GlobalLock(memory)) : nullptr;
    if (!drop)
        return nullptr;
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    std::memcpy(drop + 1, list.data(), list.size() * sizeof(wchar_t));
    GlobalUnlock(memory);
    return static_cast<HDROP>(memory);
}
