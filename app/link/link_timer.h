#pragma once
// A timer of the link as the session drives it: the window's poll and guard
// timers are the real ones, tests count ticks themselves.

namespace kovrin {

class LinkTimer {
public:
    virtual ~LinkTimer() = default;
    // Runs at the interval it has.
    virtual void Start() = 0;
    // Runs every `ms` milliseconds from now on.
    virtual void Start(int ms) = 0;
    virtual void Stop() = 0;
};

}  // namespace kovrin
