#include "CCBitmapCache.h"

#include "Trace.h"

#include <new>

CCBitmapCache::CCBitmapCache(ResourceLookup lookup)
    : lookup_(lookup ? std::move(lookup) : ResourceLookup(findBitmapResource)),
      entries_(kCapacity) {}

CCBitmapCache::~CCBitmapCache() {
    for (Entry& entry : entries_)
        delete entry.bitmap;
}

template <class T, class Make> T* CCBitmapCache::get(int id, bool stripWanted, Make make) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    uint16_t seen = 0;
    for (Entry& entry : entries_) {
        if (seen >= used_)
            break;
        if (!entry.bitmap)
            continue;
        ++seen;
        if (entry.id != id || entry.count == 0)
            continue;
        if (!stripWanted) {
            ++entry.count;
            ++total_;
            return static_cast<T*>(entry.bitmap);
        }
        if (auto* strip = dynamic_cast<T*>(entry.bitmap)) {
            ++entry.count;
            ++total_;
            return strip;
        }
        // Cached as a plain bitmap: the strip gets an entry of its own.
        debugTrace("\n!! BITMAP %u is NOT a CCImageStrip", static_cast<unsigned>(id));
    }

    Entry* free = nullptr;
    for (Entry& entry : entries_)
        if (!entry.bitmap) {
            free = &entry;
            break;
        }
    if (!free)
        return nullptr;
    const uint8_t* data = nullptr;
    size_t size = 0;
    if (!lookup_(id, data, size))
        return nullptr;
    T* bitmap = make(data, size);
    if (!bitmap) {
        debugTrace("!! BITMAP new failed %d\n", id);
        return nullptr;
    }
    if (!bitmap->valid()) {
        delete bitmap;
        return nullptr;
    }
    *free = Entry{bitmap, id, 1};
    ++used_;
    ++total_;
    return bitmap;
}

CCBitmap* CCBitmapCache::getBitmap(int id) {
    return get<CCBitmap>(id, false, [](const uint8_t* data, size_t size) {
        return new (std::nothrow) CCBitmap(data, size);
    });
}

CCImageStrip* CCBitmapCache::getStripByWidth(int id, int frameWidth) {
    return get<CCImageStrip>(id, true, [frameWidth](const uint8_t* data, size_t size) {
        return new (std::nothrow) CCImageStrip(data, size, CCImageStrip::By::FrameWidth, frameWidth);
    });
}

CCImageStrip* CCBitmapCache::getStripByCount(int id, int frameCount) {
    return get<CCImageStrip>(id, true, [frameCount](const uint8_t* data, size_t size) {
        return new (std::nothrow) CCImageStrip(data, size, CCImageStrip::By::FrameCount, frameCount);
    });
}

void CCBitmapCache::release(const CCBitmap* bitmap) {
    if (!bitmap)
        return;
    std::lock_guard<std::recursive_mutex> guard(lock_);
    for (Entry& entry : entries_) {
        if (entry.bitmap != bitmap)
            continue;
        if (entry.count == 0)
            return;
        --entry.count;
        --total_;
        if (entry.count == 0) {
            entry.id = 0;
            if (!keep_)
                delete entry.bitmap;
            entry.bitmap = nullptr;
            --used_;
        }
        return;
    }
}

std::pair<int, int> CCBitmapCache::getBitmapSize(int id) {
    CCBitmap* bitmap = getBitmap(id);
    if (!bitmap)
        return {0, 0};
    const auto* strip = dynamic_cast<const CCImageStrip*>(bitmap);
    const std::pair<int, int> size{strip ? strip->frameWidth() : bitmap->width(), bitmap->height()};
    release(bitmap);
    return size;
}

void CCBitmapCache::dumpReferences() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    for (const Entry& entry : entries_)
        if (entry.bitmap && entry.count)
            debugTrace("\nREF ID=%u; count=%u", static_cast<unsigned>(entry.id),
                       static_cast<unsigned>(entry.count));
}

int CCBitmapCache::referenceCount(const CCBitmap* bitmap) {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    for (const Entry& entry : entries_)
        if (entry.bitmap && entry.bitmap == bitmap)
            return entry.count;
    return 0;
}

uint16_t CCBitmapCache::usedEntries() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return used_;
}

uint16_t CCBitmapCache::totalReferences() {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    return total_;
}
