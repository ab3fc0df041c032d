#include "platform/kernel/job_thread.h"

namespace kovrin::platform {

JobThread::JobThread(std::string name, ActivityCounter& activity)
    : name_(std::move(name)), activity_(activity), thread_([this] { Run(); }) {}

JobThread::~JobThread()
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void JobThread::Post(std::function<void()> job)
{
    activity_.Add();
    {
        std::lock_guard<std::mutex> guard(lock_);
        jobs_.push_back(std::move(job));
    }
    changed_.notify_all();
}

void JobThread::WaitIdle()
{
    std::unique_lock<std::mutex> guard(lock_);
    changed_.wait(guard, [&] { return jobs_.empty() && !running_; });
}

void JobThread::Run()
{
    std::unique_lock<std::mutex> guard(lock_);
    for (;;) {
        changed_.wait(guard, [&] { return stopping_ || !jobs_.empty(); });
        if (jobs_.empty())
            return;
        std::function<void()> job = std::move(jobs_.front());
        jobs_.pop_front();
        running_ = true;
        guard.unlock();
        job();
        job = nullptr;
        guard.lock();
        running_ = false;
        changed_.notify_all();
        activity_.Done();
    }
}

}  // namespace kovrin::platform
