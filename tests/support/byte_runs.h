#pragma once
// Byte runs for the USB tests: joined requests and recognisable contents.

#include <cstdint>
#include <vector>

namespace kovrin::test {

inline std::vector<uint8_t> Join(std::vector<uint8_t> a, const std::vector<uint8_t>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// `n` bytes in which no short run repeats.
inline std::vector<uint8_t> Pattern(size_t n)
{
    std::vector<uint8_t> data(n);
    for (size_t i = 0; i < n; ++i)
        data[i] = uint8_t(i * 13 + 5);
    return data;
}

}  // namespace kovrin::test
