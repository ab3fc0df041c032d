#include "platform/kernel/sync.h"

namespace kovrin::platform {

Event::Event(EventType type, bool signaled) : type_(type), signaled_(signaled) {}

void Event::Set()
{
    std::lock_guard<std::mutex> guard(lock_);
    signaled_ = true;
    ++generation_;
    if (type_ == EventType::Notification)
        changed_.notify_all();
    else
        changed_.notify_one();
}

void Event::Clear()
{
    std::lock_guard<std::mutex> guard(lock_);
    signaled_ = false;
}

bool Event::IsSet() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return signaled_;
}

bool Event::Satisfied(uint64_t generationAtStart) const
{
    if (type_ == EventType::Synchronization)
        return signaled_;
    return signaled_ || generation_ != generationAtStart;
}

void Event::Wait()
{
    RequirePassive("Event::Wait");
    std::unique_lock<std::mutex> guard(lock_);
    uint64_t start = generation_;
    changed_.wait(guard, [&] { return Satisfied(start); });
    if (type_ == EventType::Synchronization)
        signaled_ = false;
}

bool Event::WaitFor(std::chrono::milliseconds timeout)
{
    if (timeout.count() != 0)
        RequirePassive("Event::WaitFor");
    std::unique_lock<std::mutex> guard(lock_);
    uint64_t start = generation_;
    if (!changed_.wait_for(guard, timeout, [&] { return Satisfied(start); }))
        return false;
    if (type_ == EventType::Synchronization)
        signaled_ = false;
    return true;
}

ExecutionLevel SpinLock::Acquire()
{
    ExecutionLevel previous = RaiseLevel(ExecutionLevel::Dispatch);
    lock_.lock();
    return previous;
}

void SpinLock::Release(ExecutionLevel previous)
{
    lock_.unlock();
    LowerLevel(previous);
}

}  // namespace kovrin::platform
