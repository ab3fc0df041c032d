#pragma once
// Events and spin locks.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "platform/kernel/level.h"

namespace kovrin::platform {

enum class EventType {
    Notification,     // stays set until cleared; releases every waiter
    Synchronization,  // releases one waiter and clears itself
};

class Event {
public:
    explicit Event(EventType type = EventType::Notification, bool signaled = false);
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void Set();
    void Clear();
    bool IsSet() const;
    // Blocking: passive level only.
    void Wait();
    // False on time-out. A zero time-out only polls and is allowed at any level.
    bool WaitFor(std::chrono::milliseconds timeout);

private:
    bool Satisfied(uint64_t generationAtStart) const;

    const EventType type_;
    mutable std::mutex lock_;
    std::condition_variable changed_;
    bool signaled_;
    // Counts Set calls, so that a waiter on a notification event is released
    // by a Set even when a Clear follows before it runs.
    uint64_t generation_ = 0;
};

// A spin lock raises the holder to dispatch level.
class SpinLock {
public:
    SpinLock() = default;
    SpinLock(const SpinLock&) = delete;
    SpinLock& operator=(const SpinLock&) = delete;

    ExecutionLevel Acquire();
    void Release(ExecutionLevel previous);

private:
    std::mutex lock_;
};

class SpinLockGuard {
public:
    explicit SpinLockGuard(SpinLock& lock) : lock_(lock), previous_(lock.Acquire()) {}
    ~SpinLockGuard() { lock_.Release(previous_); }
    SpinLockGuard(const SpinLockGuard&) = delete;
    SpinLockGuard& operator=(const SpinLockGuard&) = delete;

private:
    SpinLock& lock_;
    ExecutionLevel previous_;
};

}  // namespace kovrin::platform
