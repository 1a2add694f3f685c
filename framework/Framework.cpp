#include "Framework.h"

#include "CCBitmapCache.h"
#include "PlatformGraphics.h"

#include <atomic>
#include <mutex>

namespace {
std::atomic<int> startCount{0};
std::once_flag cacheOnce;
CCBitmapCache* cache = nullptr;
} // namespace

void startFramework() {
    if (startCount++ == 0) {
        platformStartGraphics();
        bitmapCache();
    }
}

CCBitmapCache& bitmapCache() {
    // Lives until the process ends: bitmaps may be released from static destructors.
    std::call_once(cacheOnce, [] { cache = new CCBitmapCache(); });
    return *cache;
}
