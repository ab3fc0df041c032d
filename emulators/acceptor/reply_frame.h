#pragma once
// Frames the unit sends: start byte, address 0x08, length, its complement, code, data, check byte.

#include <cstdint>
#include <vector>

namespace kovrin::emulator {

inline constexpr uint8_t kReplyAddress = 0x08;

// A whole reply frame with its check byte; data longer than a frame allows is cut.
std::vector<uint8_t> buildReply(uint8_t code, const std::vector<uint8_t>& data);

// XOR of bytes 1 to N-2: the check byte a frame of these bytes (without its check byte) needs.
uint8_t checkByteFor(const std::vector<uint8_t>& frameWithoutCheck);

}  // namespace kovrin::emulator
