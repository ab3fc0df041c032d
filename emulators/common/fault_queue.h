#pragma once
// Faults on order, shared by the emulators: "spoil the next `times` replies to
// command X, after `skip` good ones". A fault type has `times` and `skip`.

#include <algorithm>
#include <deque>
#include <optional>

namespace kovrin::emulator {

inline constexpr int kAnyCommand = -1;

template <class Fault>
class FaultQueue {
public:
    void add(int command, const Fault& fault)
    {
        if (fault.times > 0)
            entries_.push_back({command, fault});
    }

    void clear() { entries_.clear(); }

    // The fault for this reply, if one is due; each call uses up one of its skips or times.
    std::optional<Fault> take(int command)
    {
        // Faults ordered first are used first.
        auto it = std::find_if(entries_.begin(), entries_.end(), [command](const Entry& e) {
            return e.command == kAnyCommand || e.command == command;
        });
        if (it == entries_.end())
            return std::nullopt;
        if (it->fault.skip > 0) {
            --it->fault.skip;
            return std::nullopt;
        }
        Fault fault = it->fault;
        if (--it->fault.times <= 0)
            entries_.erase(it);
        return fault;
    }

private:
    struct Entry {
        int command;
        Fault fault;
    };
    std::deque<Entry> entries_;
};

}  // namespace kovrin::emulator
