#pragma once

#include "UiPlatform.h"

#include <cstdint>
#include <map>
#include <string>

// Settings kept in a small text file:
//
//   quorix-settings 1
//   MainWindow_p=dword:0x00000064
//   Name=text:caf\xC3\xA9 \\ bar
//   Blob=binary:00ff10
//
// Read once, then served from memory; every write rewrites the whole file through a
// temp file in the same folder and a rename, so a crash leaves the old file or the
// new one, never half of either. A file without the header is not ours and is
// ignored whole; in ours, a damaged line is skipped and the others are kept (the
// first of two lines with one name wins). The next write replaces it cleanly.
class SettingsFile : public SettingsStore {
public:
    static constexpr size_t kMaxFileBytes = 256 * 1024;

    // Empty path: nothing is read and every write fails.
    explicit SettingsFile(std::string path);

    // $XDG_CONFIG_HOME/quorix/settings, else $HOME/.config/quorix/settings; empty
    // when neither is an absolute path. Null arguments are unset variables.
    static std::string defaultPath(const char* xdgConfigHome, const char* home);
    // The same from this process's environment.
    static std::string defaultPath();

    static bool validName(const std::string& name);

    bool readDword(const std::string& name, uint32_t& value) override;
    bool writeDword(const std::string& name, uint32_t value) override;
    bool readValue(const std::string& name, Kind& kind, std::string& bytes, size_t limit) override;
    bool writeText(const std::string& name, const std::string& text) override;
    bool writeBinary(const std::string& name, const std::string& bytes) override;

    const std::string& path() const { return path_; }

    struct Value {
        Kind kind = Kind::Dword;
        std::string bytes; // a dword as 4 bytes, little-endian
    };

private:
    void load();
    bool store(const std::string& name, Value value);
    bool save(const std::map<std::string, Value>& values) const;

    std::string path_;
    bool loaded_ = false;
    std::map<std::string, Value> values_;
};
