#pragma once
// A thread that runs posted jobs in order, at passive level.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "platform/kernel/activity.h"

namespace kovrin::platform {

class JobThread {
public:
    JobThread(std::string name, ActivityCounter& activity);
    ~JobThread();  // runs what is queued, then stops
    JobThread(const JobThread&) = delete;
    JobThread& operator=(const JobThread&) = delete;

    void Post(std::function<void()> job);
    // Until the queue is empty and no job runs. Not from this thread.
    void WaitIdle();
    bool OnThisThread() const { return std::this_thread::get_id() == thread_.get_id(); }

private:
    void Run();

    std::string name_;
    ActivityCounter& activity_;
    std::mutex lock_;
    std::condition_variable changed_;
    std::deque<std::function<void()>> jobs_;
    bool running_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace kovrin::platform
