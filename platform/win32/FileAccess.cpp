#include "FileAccess.h"

#include "WideText.h"

#include <iterator>

std::FILE* openFile(const std::string& path, const char* mode) {
    // The wide call: fopen would read the path in the code page.
    return _wfopen(wideFromUtf8(path).c_str(), wideFromUtf8(mode).c_str());
}

std::vector<std::string> trustedKeyFolders() {
    wchar_t buffer[32768];
    SetLastError(ERROR_SUCCESS); // an empty value leaves the last error as it was
    const DWORD listLength =
        GetEnvironmentVariableW(L"QUORIX_TRUSTED_KEY_DIRS", buffer, DWORD(std::size(buffer)));
    if (listLength > 0 && listLength < std::size(buffer))
        return splitFolderList(utf8FromWide(buffer, listLength), ';');
    std::vector<std::string> folders;
    if (listLength == 0 && GetLastError() != ERROR_ENVVAR_NOT_FOUND)
        return folders; // set, and empty: no folders
    // Beside the program: where an installer (ours, or a maker's) puts keys for everyone.
    const DWORD moduleLength = GetModuleFileNameW(nullptr, buffer, DWORD(std::size(buffer)));
    if (moduleLength > 0 && moduleLength < std::size(buffer)) {
        const std::filesystem::path program(std::wstring(buffer, moduleLength));
        folders.push_back(utf8FromPath(program.parent_path() / L"trusted-keys"));
    }
    const DWORD appDataLength = GetEnvironmentVariableW(L"APPDATA", buffer, DWORD(std::size(buffer)));
    if (appDataLength > 0 && appDataLength < std::size(buffer))
        folders.push_back(utf8FromWide(buffer, appDataLength) + "\\Quorix\\trusted-keys");
    return folders;
}
