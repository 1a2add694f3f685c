#include "PixelSupport.h"

#include "CCBitmapCache.h"
#include "Trace.h"

#include <gtest/gtest.h>

namespace {

// Every id from 100 to 4999 is a 255 x 24 32-bit picture, like button strip 204.
struct FakeResources {
    FakeResources()
        : data(makeResource(255, 24, 32, [](int x, int) {
              return std::vector<uint8_t>{uint8_t(x), 0, 0, 255};
          })) {}
    CCBitmapCache::ResourceLookup lookup() {
        return [this](int id, const uint8_t*& bytes, size_t& size) {
            ++lookups;
            if (id < 100 || id >= 5000)
                return false;
            bytes = data.data();
            size = id == 666 ? 39 : data.size(); // 666: broken data
            return true;
        };
    }
    std::vector<uint8_t> data;
    int lookups = 0;
};

struct TraceCapture {
    TraceCapture() {
        previous = setTraceSink([this](const std::string& text) { texts += text; });
    }
    ~TraceCapture() { setTraceSink(previous); }
    std::string texts;
    std::function<void(const std::string&)> previous;
};

} // namespace

TEST(BitmapCache, ReferencesAreCountedAndTheLastReleaseDeletes) {
    FakeResources resources;
    CCBitmapCache cache(resources.lookup());
    CCBitmap* first = cache.getBitmap(204);
    CCBitmap* second = cache.getBitmap(204);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    EXPECT_EQ(cache.referenceCount(first), 2);
    EXPECT_EQ(resources.lookups, 1); // loaded once
    EXPECT_EQ(cache.usedEntries(), 1);
    cache.release(first);
    cache.release(second);
    EXPECT_EQ(cache.usedEntries(), 0);
    EXPECT_EQ(cache.totalReferences(), 0);
    cache.release(second); // no longer held: nothing happens
    CCBitmap* third = cache.getBitmap(204);
    ASSERT_NE(third, nullptr);
    EXPECT_EQ(resources.lookups, 2); // loaded anew
    EXPECT_EQ(cache.referenceCount(third), 1);
    cache.release(third);
    cache.release(nullptr);
}

TEST(BitmapCache, AStripAfterAPlainBitmapIsASecondEntry) {
    FakeResources resources;
    CCBitmapCache cache(resources.lookup());
    TraceCapture trace;
    CCBitmap* plain = cache.getBitmap(204);
    CCImageStrip* strip = cache.getStripByCount(204, 3);
    ASSERT_NE(strip, nullptr);
    EXPECT_NE(static_cast<CCBitmap*>(strip), plain);
    EXPECT_EQ(strip->frameWidth(), 85);
    EXPECT_EQ(strip->frameCount(), 3);
    EXPECT_EQ(cache.usedEntries(), 2);
    EXPECT_EQ(cache.referenceCount(plain), 1); // asking for the strip left it alone
    EXPECT_NE(trace.texts.find("\n!! BITMAP 204 is NOT a CCImageStrip"), std::string::npos);
    // The strip is found again; frame arguments only count at the first load.
    EXPECT_EQ(cache.getStripByWidth(204, 10), strip);
    EXPECT_EQ(cache.getBitmapSize(204), (std::pair<int, int>{255, 24}));

    cache.dumpReferences();
    EXPECT_NE(trace.texts.find("\nREF ID=204; count=1"), std::string::npos) << trace.texts;
    EXPECT_NE(trace.texts.find("\nREF ID=204; count=2"), std::string::npos) << trace.texts;

    // Releasing the plain bitmap frees its entry only; the strip stays in use.
    cache.release(plain);
    EXPECT_EQ(cache.usedEntries(), 1);
    EXPECT_EQ(cache.referenceCount(strip), 2);
    EXPECT_EQ(cache.getStripByCount(204, 3), strip);
}

TEST(BitmapCache, MissingOrBrokenResourcesUseNoEntry) {
    FakeResources resources;
    CCBitmapCache cache(resources.lookup());
    EXPECT_EQ(cache.getBitmap(42), nullptr);
    EXPECT_EQ(cache.getBitmap(666), nullptr);
    EXPECT_EQ(cache.getStripByCount(42, 3), nullptr);
    EXPECT_EQ(cache.usedEntries(), 0);
    EXPECT_EQ(cache.getBitmapSize(42), (std::pair<int, int>{0, 0}));
}

TEST(BitmapCache, AFullTableGivesNothingMore) {
    FakeResources resources;
    CCBitmapCache cache(resources.lookup());
    std::vector<CCBitmap*> held;
    for (int id = 1000; id < 1000 + CCBitmapCache::kCapacity; ++id)
        held.push_back(cache.getBitmap(id));
    EXPECT_EQ(cache.usedEntries(), CCBitmapCache::kCapacity);
    EXPECT_EQ(cache.getBitmap(4000), nullptr);
    cache.release(held.front());
    EXPECT_NE(cache.getBitmap(4000), nullptr); // the freed entry is used again
}
