#pragma once
// Builders for audit test data.

#include <array>
#include <cstdint>
#include <vector>

#include "tests/support/reply_frame.h"

namespace kovrin::test {

using Block = std::array<uint8_t, 20>;

// Sets `width` bits of `value` from `firstBit` on, written independently of the decoder.
inline void PutBits(Block& block, int firstBit, int width, uint32_t value)
{
    for (int bit = 0; bit < width; ++bit)
        if ((value >> bit) & 1u)
            block[size_t((firstBit + bit) / 8)] |= uint8_t(1u << ((firstBit + bit) % 8));
}

inline void PutBigEndian32(std::vector<uint8_t>& data, uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        data.push_back(uint8_t(v >> shift));
}

// Data of an older 0x35 reply: 7 unused bytes, year, month, day, hour, minute,
// then motor starts, stacked, rejected, cheats and power-ups.
inline std::vector<uint8_t> OlderReplyData(std::array<uint8_t, 5> stamp, std::array<uint32_t, 5> counters)
{
    std::vector<uint8_t> d(7, 0);
    d.insert(d.end(), stamp.begin(), stamp.end());
    for (uint32_t c : counters)
        PutBigEndian32(d, c);
    return d;
}

}  // namespace kovrin::test
