#pragma once
// The least time the emulated bus's frame clock allows for an exchange: 1 ms
// frames of at most EmulatedBus::kPacketsPerFrame packets; the request's
// frames, then the reply's, which start in the frame after.

#include <algorithm>
#include <cstdint>

#include "emulators/usb/bus/emulated_bus.h"

namespace kovrin::bench {

constexpr uint32_t kPacketSize = 64;

inline uint32_t FramesFor(uint32_t packets)
{
    using platform::usb::EmulatedBus;
    return (packets + EmulatedBus::kPacketsPerFrame - 1) / EmulatedBus::kPacketsPerFrame;
}

// `readCapacity`: the most the host's read takes; a reply that fills its last
// packet ends with a zero-length one, unless it fills the read.
inline uint32_t LeastFramesPerExchange(uint32_t requestSize, uint32_t replySize, uint32_t readCapacity)
{
    const uint32_t requestPackets = std::max<uint32_t>(1, (requestSize + kPacketSize - 1) / kPacketSize);
    uint32_t replyPackets = (replySize + kPacketSize - 1) / kPacketSize;
    if (replySize % kPacketSize == 0 && replySize < readCapacity)
        ++replyPackets;
    return FramesFor(requestPackets) + FramesFor(std::max<uint32_t>(replyPackets, 1));
}

}  // namespace kovrin::bench
