#pragma once
// Images written by hand from the layouts' byte maps, 16 bytes a row.

#include <sstream>
#include <string>

#include "app/config/eeprom_record.h"

namespace kovrin::test {

inline EepromImage ImageFromHex(const std::string& text)
{
    EepromImage image{};
    std::istringstream in(text);
    unsigned value = 0;
    size_t i = 0;
    while (in >> std::hex >> value)
        image.at(i++) = static_cast<uint8_t>(value);
    if (i != image.size())
        throw std::runtime_error("fixture holds " + std::to_string(i) + " bytes");
    return image;
}

// Layout 5/9 defaults of a variant 5 acceptor.
inline const char* kDefaultsV5Hex = R"(
55 07 00 00 00 FF FF FF 01 00 01 00 64 02 92 02
00 01 00 05 00 0A 00 14 00 32 00 64 00 00 00 00
00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00
00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00
01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10
11 12 13 14 15 16 17 18 01 05 0A 14 32 64 00 00
00 00 00 00 00 00 00 00 32 32 1E 00 28 31 97 05
30 30 30 00 00 00 00 00 00 00 00 00 00 00 00 00
00 00 00 00 30 30 30 30 30 30 30 30 30 30 30 00
00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00
00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00
FA FA FA FA FA FA 33 33 33 33 33 33 88 88 88 88
88 88 78 78 78 78 78 78 9B 78 78 78 78 78 78 9B
A0 A0 A0 A0 A0 A0 A0 A0 A0 A0 A0 A0 33 33 33 33
33 33 33 33 33 33 33 33 77 77 77 77 00 00 80 80
80 80 80 80 FF FF FF FF FF FF 00 02 05 04 00 00
)";

// Layout 6/7 defaults of a variant 7 acceptor, encoded into an image of zeros.
inline const char* kDefaultsV6Hex = R"(
55 07 00 00 00 FF FF FF 01 00 01 00 64 02 03 82
01 05 0A 14 32 64 00 00 00 00 00 00 00 00 00 00
00 00 00 00 00 00 00 00 01 02 03 04 05 06 07 08
09 0A 0B 0C 0D 0E 0F 10 11 12 13 14 15 16 17 18
01 05 0A 14 32 64 00 00 00 00 00 00 00 00 00 00
00 00 1E 00 28 31 97 05 30 30 30 00 30 30 30 30
30 30 30 30 30 30 30 32 32 00 00 00 00 00 00 00
00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00
00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00
00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00
00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00
00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00
00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00
00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00
00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00
00 00 00 00 00 00 00 00 00 00 00 01 07 01 00 00
)";

// A pattern with a different value in neighbouring bytes, so a swapped or
// shifted field shows.
inline uint8_t Pattern(int i) { return static_cast<uint8_t>((i * 37 + 11) & 0xFF); }

inline EepromImage PatternImage()
{
    EepromImage image{};
    for (int i = 0; i < 256; ++i)
        image[i] = Pattern(i);
    return image;
}

}  // namespace kovrin::test
