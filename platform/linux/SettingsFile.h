#pragma once

#include "UiPlatform.h"

#include <cstdint>
#include <map>
#include <string>

// Settings kept in a small text file:
//
//   quorix-settings 1
//   WindowX=dword:0x00000064
//
// Read once, then served from memory; every write rewrites the whole file through a
// temp file in the same folder and a rename, so a crash leaves the old file or the
// new one, never half of either. A file that is not exactly this format is ignored
// whole (defaults apply) and replaced by the next write.
class SettingsFile : public SettingsStore {
public:
    static constexpr size_t kMaxFileBytes = 64 * 1024;

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

    const std::string& path() const { return path_; }

private:
    void load();
    bool save(const std::map<std::string, uint32_t>& values) const;

    std::string path_;
    bool loaded_ = false;
    std::map<std::string, uint32_t> values_;
};
