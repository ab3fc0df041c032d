#pragma once
// Counts work that is queued or running on the layer's threads, so that a
// test can wait until everything it set going has settled.

#include <condition_variable>
#include <mutex>

namespace kovrin::platform {

class ActivityCounter {
public:
    void Add()
    {
        std::lock_guard<std::mutex> guard(lock_);
        ++count_;
    }
    void Done()
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (--count_ == 0)
            zero_.notify_all();
    }
    void WaitZero()
    {
        std::unique_lock<std::mutex> guard(lock_);
        zero_.wait(guard, [&] { return count_ == 0; });
    }

private:
    std::mutex lock_;
    std::condition_variable zero_;
    int count_ = 0;
};

}  // namespace kovrin::platform
