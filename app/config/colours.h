#pragma once
// Colours as the program writes them: 24-bit values 0x00BBGGRR, red in the low byte.

#include <cstdint>

namespace kovrin {

constexpr int32_t ColourBlack = 0x000000;
constexpr int32_t ColourRed = 0x0000FF;
constexpr int32_t ColourGreen = 0x00FF00;
constexpr int32_t ColourYellow = 0x00FFFF;
constexpr int32_t ColourLightBlue = 0xFFC0C0;
constexpr int32_t ColourLightRed = 0x8080FF;

}  // namespace kovrin
