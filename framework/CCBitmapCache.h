#pragma once

#include "CCBitmap.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <utility>
#include <vector>

// Loads each bitmap resource once and hands out counted references by id; a bitmap
// is deleted when its last reference is released. Safe from any thread.
class CCBitmapCache {
public:
    using ResourceLookup = std::function<bool(int id, const uint8_t*& data, size_t& size)>;
    static constexpr uint16_t kCapacity = 1024;

    // With no lookup, the program's own resources.
    explicit CCBitmapCache(ResourceLookup lookup = nullptr);
    ~CCBitmapCache();
    CCBitmapCache(const CCBitmapCache&) = delete;
    CCBitmapCache& operator=(const CCBitmapCache&) = delete;

    CCBitmap* getBitmap(int id);
    CCImageStrip* getStripByWidth(int id, int frameWidth);
    CCImageStrip* getStripByCount(int id, int frameCount);
    void release(const CCBitmap* bitmap);
    // A strip reports its frame width; (0, 0) when the id cannot be loaded.
    std::pair<int, int> getBitmapSize(int id);
    void dumpReferences();

    int referenceCount(const CCBitmap* bitmap);
    uint16_t usedEntries();
    uint16_t totalReferences();

private:
    struct Entry {
        CCBitmap* bitmap = nullptr;
        int id = 0;
        uint16_t count = 0;
    };

    template <class T, class Make> T* get(int id, bool stripWanted, Make make);

    ResourceLookup lookup_;
    std::recursive_mutex lock_;
    std::vector<Entry> entries_;
    uint16_t used_ = 0;
    uint16_t total_ = 0;
    bool keep_ = false;
};
