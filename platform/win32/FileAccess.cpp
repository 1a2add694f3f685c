#include "FileAccess.h"

#include "WideText.h"

std::FILE* openFile(const std::string& path, const char* mode) {
    // The wide call: fopen would read the path in the code page.
    return _wfopen(wideFromUtf8(path).c_str(), wideFromUtf8(mode).c_str());
}
