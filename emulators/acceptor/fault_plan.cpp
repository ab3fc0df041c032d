#include "fault_plan.h"

#include <algorithm>

namespace kovrin::emulator {

void FaultPlan::add(int command, const Fault& fault)
{
    if (fault.times > 0) entries_.push_back({command, fault});
}

void FaultPlan::clear()
{
    entries_.clear();
}

std::optional<Fault> FaultPlan::take(uint8_t command)
{
    // Faults ordered first are used first.
    auto it = std::find_if(entries_.begin(), entries_.end(), [command](const Entry& e) {
        return e.command == kAnyCommand || e.command == command;
    });
    if (it == entries_.end()) return std::nullopt;
    Fault fault = it->fault;
    if (--it->fault.times <= 0) entries_.erase(it);
    return fault;
}

SpoiltReply spoil(const std::vector<uint8_t>& frame, const Fault& fault)
{
    SpoiltReply out;
    switch (fault.kind) {
    case FaultKind::NoReply:
        break;
    case FaultKind::StrayLeadingBytes: {
        std::vector<uint8_t> bytes = fault.strayBytes;
        bytes.insert(bytes.end(), frame.begin(), frame.end());
        out.parts.push_back(std::move(bytes));
        break;
    }
    case FaultKind::BadCheckByte: {
        std::vector<uint8_t> bytes = frame;
        if (!bytes.empty()) bytes.back() ^= 0xFF;
        out.parts.push_back(std::move(bytes));
        break;
    }
    case FaultKind::SplitReply: {
        const auto cut = static_cast<std::ptrdiff_t>(std::min(fault.splitAt, frame.size()));
        out.parts.emplace_back(frame.begin(), frame.begin() + cut);
        out.parts.emplace_back(frame.begin() + cut, frame.end());
        out.pause = fault.pause;
        break;
    }
    }
    return out;
}

}  // namespace kovrin::emulator
