#pragma once
// A waitable flag in the manner of a system event: manual reset stays signalled until
// reset, auto reset releases one waiter and clears itself.
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace vorn {

class CEvent {
public:
    explicit CEvent(bool manualReset = true, bool initiallySet = false)
        : manualReset_(manualReset), signalled_(initiallySet) {}
    CEvent(const CEvent&) = delete;
    CEvent& operator=(const CEvent&) = delete;

    void Set() {
        {
            std::lock_guard lock(mutex_);
            signalled_ = true;
        }
        if (manualReset_)
            changed_.notify_all();
        else
            changed_.notify_one();
    }
    void Reset() {
        std::lock_guard lock(mutex_);
        signalled_ = false;
    }
    // Waits up to timeoutMs (negative: for ever); true when the event was signalled.
    bool Wait(int timeoutMs = -1) {
        std::unique_lock lock(mutex_);
        if (timeoutMs < 0)
            changed_.wait(lock, [this] { return signalled_; });
        else if (!changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                    [this] { return signalled_; }))
            return false;
        if (!manualReset_)
            signalled_ = false;
        return true;
    }
    // A zero time-out poll.
    bool IsSet() { return Wait(0); }

private:
    const bool manualReset_;
    std::mutex mutex_; // guards signalled_
    bool signalled_;
    std::condition_variable changed_;
};

// True when the optional event is signalled (a null event never is).
inline bool IsSignalled(CEvent* event) { return event != nullptr && event->IsSet(); }

} // namespace vorn
