#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

// A private folder under the system's temp directory, removed with everything in it.
class TempDir {
public:
    TempDir() {
        static std::atomic<unsigned> counter{0};
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        path_ = std::filesystem::temp_directory_path() /
                ("quorix-test-" + std::to_string(stamp) + "-" + std::to_string(counter++));
        std::filesystem::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // Names and paths are UTF-8, as the program's own texts are on every system.
    std::string file(const std::string& name) const {
        const std::u8string text = (path_ / u8(name)).u8string();
        return std::string(text.begin(), text.end());
    }

    std::string write(const std::string& name, const std::vector<uint8_t>& bytes) const {
        const std::string target = file(name);
        std::ofstream out(u8(target), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        return target;
    }

    static std::vector<uint8_t> read(const std::string& path) {
        std::ifstream in(u8(path), std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
    }

private:
    static std::filesystem::path u8(const std::string& text) {
        return std::filesystem::path(std::u8string(text.begin(), text.end()));
    }
    std::filesystem::path path_;
};
