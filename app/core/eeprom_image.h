#pragma once

#include <array>
#include <cstdint>

namespace kovrin {

// The acceptor's 256-byte configuration memory; 16-bit values in it are big-endian.
using EepromImage = std::array<uint8_t, 256>;

}  // namespace kovrin
