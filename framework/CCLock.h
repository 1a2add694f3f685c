#pragma once

#include <atomic>
#include <mutex>

// The framework's lock: recursive, with a depth counter raised after entering and
// lowered before leaving, so that code can tell whether it runs inside it.
class CCLock {
public:
    void lock() {
        mutex_.lock();
        depth_.fetch_add(1, std::memory_order_relaxed);
    }
    bool try_lock() {
        if (!mutex_.try_lock())
            return false;
        depth_.fetch_add(1, std::memory_order_relaxed);
        return true;
    }
    void unlock() {
        depth_.fetch_sub(1, std::memory_order_relaxed);
        mutex_.unlock();
    }
    // Entries by all threads; meaningful to the holder.
    int depth() const { return depth_.load(std::memory_order_relaxed); }

private:
    std::recursive_mutex mutex_;
    std::atomic<int> depth_{0};
};
