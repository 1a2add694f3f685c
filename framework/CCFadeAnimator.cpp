#include "CCFadeAnimator.h"

#include "CCMsg.h"
#include "CCPageObject.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <vector>

namespace {

class SteadyClock : public FadeClock {
public:
    uint32_t nowMs() override {
        return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                         std::chrono::steady_clock::now().time_since_epoch())
                                         .count());
    }
};

SteadyClock steadyClock;

} // namespace

CCFadeAnimator::CCFadeAnimator(CCLock& managerLock, FadeClock* clock, bool runThread)
    : managerLock_(managerLock), clock_(clock ? clock : &steadyClock) {
    if (runThread)
        thread_ = std::thread([this] { threadMain(); });
}

CCFadeAnimator::~CCFadeAnimator() {
    shutdown();
}

void CCFadeAnimator::shutdown() {
    quit_.store(true);
    wake();
    if (thread_.joinable())
        thread_.join(); // the thread never waits for the manager lock while quitting
}

void CCFadeAnimator::wake() {
    {
        std::lock_guard<std::mutex> guard(wakeMutex_);
        woken_ = true;
    }
    wakeSignal_.notify_one();
}

void CCFadeAnimator::add(CCPageObject* object, uint8_t target, int step, uint16_t code) {
    if (!object || disabled_.load())
        return;
    {
        std::lock_guard<CCLock> guard(lock_);
        if (disabled_.load())
            return;
        entries_.remove_if([object](const Entry& entry) { return entry.object == object; });
        object->markFading(true);
        Entry entry;
        entry.start = clock_->nowMs();
        entry.object = object;
        entry.startAlpha = object->alpha();
        entry.target = target;
        const int distance = std::abs(int(target) - int(entry.startAlpha));
        entry.duration = static_cast<uint32_t>(std::max(step, 0) * distance / 10);
        entry.code = code;
        entry.immediate = target == entry.startAlpha;
        entry.serial = nextSerial_++;
        entries_.push_back(entry);
    }
    wake();
}

void CCFadeAnimator::cancel(CCPageObject* object) {
    std::lock_guard<CCLock> guard(lock_);
    entries_.remove_if([object](const Entry& entry) { return entry.object == object; });
}

void CCFadeAnimator::disable() {
    std::lock_guard<CCLock> manager(managerLock_);
    std::lock_guard<CCLock> guard(lock_);
    disabled_.store(true);
    entries_.clear();
}

size_t CCFadeAnimator::entryCount() {
    std::lock_guard<CCLock> guard(lock_);
    return entries_.size();
}

bool CCFadeAnimator::hasEntry(const CCPageObject* object) {
    std::lock_guard<CCLock> guard(lock_);
    return std::any_of(entries_.begin(), entries_.end(),
                       [object](const Entry& entry) { return entry.object == object; });
}

uint8_t CCFadeAnimator::alphaAt(const Entry& entry, uint32_t now) const {
    const uint32_t elapsed = now - entry.start;
    if (entry.duration == 0 || elapsed > entry.duration)
        return entry.target;
    const int64_t span = int64_t(entry.target) - int64_t(entry.startAlpha);
    const int64_t alpha = entry.startAlpha + span * int64_t(elapsed) / int64_t(entry.duration);
    return static_cast<uint8_t>(std::clamp<int64_t>(alpha, 0, 255));
}

uint32_t CCFadeAnimator::step(const Entry& entry, uint32_t now) {
    CCPageObject* object = entry.object;
    if (entry.immediate) {
        // Whatever set the alpha meanwhile, the fade ends where it was asked to.
        object->setAlpha(entry.target);
        object->invalidate(true);
        if (entry.code && object->alpha() == entry.target) {
            CCMsg done(entry.code);
            object->deliverDown(&done);
        }
        return 0;
    }
    const uint8_t alpha = alphaAt(entry, now);
    if (alpha != object->alpha()) {
        object->setAlpha(alpha);
        object->invalidate(true);
    }
    if (alpha == entry.target) {
        if (entry.code) {
            CCMsg done(entry.code);
            object->deliverDown(&done);
        }
        return 0;
    }
    // The moment the alpha moves one whole unit on, rounded up so that a pass
    // made then sees it moved (rounding down would wake the thread early and spin).
    const int64_t span = int64_t(entry.target) - int64_t(entry.startAlpha);
    const int64_t next = alpha + (span > 0 ? 1 : -1) - int64_t(entry.startAlpha);
    const int64_t at = (int64_t(entry.duration) * next + span - (span > 0 ? 1 : -1)) / span;
    const int64_t elapsed = int64_t(uint32_t(now - entry.start));
    return static_cast<uint32_t>(std::max<int64_t>(at - elapsed, 1));
}

uint32_t CCFadeAnimator::runPass() {
    std::lock_guard<CCLock> manager(managerLock_);
    return passLocked();
}

uint32_t CCFadeAnimator::passLocked() {
    std::lock_guard<CCLock> guard(lock_);
    passes_.fetch_add(1);
    struct PassMark {
        bool& flag;
        explicit PassMark(bool& f) : flag(f) { flag = true; }
        ~PassMark() { flag = false; }
    } mark(inPass_);
    const uint32_t now = clock_->nowMs();
    uint32_t wait = kForever;
    // A step delivers messages whose handlers may start or cancel fades: walk a
    // copy and skip entries that are gone or were replaced meanwhile.
    const std::vector<Entry> snapshot(entries_.begin(), entries_.end());
    auto current = [this](uint64_t serial) {
        return std::find_if(entries_.begin(), entries_.end(),
                            [serial](const Entry& e) { return e.serial == serial; });
    };
    for (const Entry& entry : snapshot) {
        if (current(entry.serial) == entries_.end())
            continue;
        const uint32_t next = step(entry, now);
        auto it = current(entry.serial);
        if (it == entries_.end())
            continue;
        if (entry.object->alpha() == entry.target) {
            entry.object->markFading(false);
            entries_.erase(it);
        } else {
            wait = std::min(wait, next);
        }
    }
    return wait;
}

void CCFadeAnimator::threadMain() {
    uint32_t wait = kForever;
    std::unique_lock<std::mutex> wakeGuard(wakeMutex_);
    for (;;) {
        auto woken = [this] { return woken_ || quit_.load(); };
        if (wait == kForever)
            wakeSignal_.wait(wakeGuard, woken);
        else
            wakeSignal_.wait_for(wakeGuard, std::chrono::milliseconds(wait), woken);
        if (quit_.load())
            return;
        woken_ = false;
        wakeGuard.unlock();
        // Never block on the manager lock: its holder may be waiting for this
        // thread to end.
        bool locked = false;
        while (!quit_.load() && !(locked = managerLock_.try_lock()))
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (locked) {
            wait = passLocked();
            managerLock_.unlock();
        }
        wakeGuard.lock();
    }
}
