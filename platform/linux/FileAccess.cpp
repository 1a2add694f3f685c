#include "FileAccess.h"

std::FILE* openFile(const std::string& path, const char* mode) {
    return std::fopen(path.c_str(), mode); // paths are bytes here
}
