#include "FileAccess.h"

#include <cstdlib>

std::FILE* openFile(const std::string& path, const char* mode) {
    return std::fopen(path.c_str(), mode); // paths are bytes here
}

std::vector<std::string> trustedKeyFolders() {
    if (const char* list = std::getenv("QUORIX_TRUSTED_KEY_DIRS"))
        return splitFolderList(list, ':');
    std::vector<std::string> folders{"/etc/quorix/trusted-keys"};
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    // A relative XDG_CONFIG_HOME is invalid and ignored.
    if (config && config[0] == '/')
        folders.push_back(std::string(config) + "/quorix/trusted-keys");
    else if (home && home[0] == '/')
        folders.push_back(std::string(home) + "/.config/quorix/trusted-keys");
    return folders;
}
