#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

// An auto-reset event: signal wakes one waiter (or the next one to wait), and the
// wait consumes the signal. The worker signals it whenever the device's presence
// changes.
class CEvent {
public:
    CEvent() = default;
    virtual ~CEvent() = default;
    CEvent(const CEvent&) = delete;
    CEvent& operator=(const CEvent&) = delete;

    void signal() {
        {
            std::lock_guard<std::mutex> guard(lock_);
            signalled_ = true;
        }
        changed_.notify_one();
    }

    // True when signalled within the time; the signal is then consumed.
    template <class Rep, class Period>
    bool wait(std::chrono::duration<Rep, Period> timeout) {
        std::unique_lock<std::mutex> guard(lock_);
        if (!changed_.wait_for(guard, timeout, [this] { return signalled_; }))
            return false;
        signalled_ = false;
        return true;
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    bool signalled_ = false;
};
