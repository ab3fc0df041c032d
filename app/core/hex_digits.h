#pragma once
// Small conversions between bytes and the texts that show them.

#include <cstdint>
#include <string>

namespace kovrin {

// Two upper-case hex digits, high nibble first.
std::string ByteToHex(uint8_t value);

// Packs the two decimal digits of text's value as BCD and replaces text by the
// decimal text of the result ("45" -> 69, text "69").
int16_t DecToBcd(std::string& text);

}  // namespace kovrin
