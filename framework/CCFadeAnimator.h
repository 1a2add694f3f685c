#pragma once

#include "CCLock.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <list>
#include <mutex>
#include <thread>

class CCPageObject;

// Milliseconds for fades; tests put their own clock in.
class FadeClock {
public:
    virtual ~FadeClock() = default;
    virtual uint32_t nowMs() = 0;
};

// Runs the alpha fades of one page manager on a thread of its own that sleeps
// until the next whole alpha step of the fastest fade, and indefinitely when none
// runs. Lock order: the manager's lock, then this one.
class CCFadeAnimator {
public:
    static constexpr uint32_t kForever = UINT32_MAX;

    // runThread false: nothing steps the fades but runPass (tests drive it).
    CCFadeAnimator(CCLock& managerLock, FadeClock* clock, bool runThread);
    ~CCFadeAnimator();
    CCFadeAnimator(const CCFadeAnimator&) = delete;
    CCFadeAnimator& operator=(const CCFadeAnimator&) = delete;

    // Replaces any fade of the object. A step is a speed: the fade lasts
    // step × |target − alpha| / 10 ms.
    void add(CCPageObject* object, uint8_t target, int step, uint16_t code);
    void cancel(CCPageObject* object);
    // Drops every fade and ignores new ones; before the tree is torn down.
    void disable();
    // Ends the thread (bounded); idempotent.
    void shutdown();

    // One pass over the fades under both locks; the milliseconds until the next
    // step is due, kForever when none is left.
    uint32_t runPass();

    size_t entryCount();
    bool hasEntry(const CCPageObject* object);
    bool disabled() const { return disabled_.load(); }
    // Passes made so far (any thread).
    uint64_t passes() const { return passes_.load(); }
    // A pass is stepping fades now; read under the manager's lock.
    bool inPass() const { return inPass_; }

private:
    struct Entry {
        uint32_t start = 0;
        CCPageObject* object = nullptr;
        uint32_t duration = 0;
        uint16_t code = 0;
        uint8_t startAlpha = 0;
        uint8_t target = 0;
        bool immediate = false;
        uint64_t serial = 0;
    };

    uint8_t alphaAt(const Entry& entry, uint32_t now) const;
    uint32_t step(const Entry& entry, uint32_t now);
    uint32_t passLocked();
    void threadMain();
    void wake();

    CCLock& managerLock_;
    FadeClock* clock_;
    CCLock lock_;
    std::list<Entry> entries_;
    uint64_t nextSerial_ = 1;
    std::mutex wakeMutex_;
    std::condition_variable wakeSignal_;
    bool woken_ = false;
    bool inPass_ = false; // written under the manager's lock
    std::atomic<bool> quit_{false};
    std::atomic<bool> disabled_{false};
    std::atomic<uint64_t> passes_{0};
    std::thread thread_;
};
