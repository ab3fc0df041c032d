#pragma once
// The fixed texts of the programming-module client and the hexadecimal padding
// its file formats use.

#include <cstdint>
#include <string>

namespace kovrin {

// Message for a non-zero UsbResult (only its low 16 bits count).
std::string UsbErrorText(int32_t result);
// Text of a module's status byte; empty for values without a text.
std::string KduReplyText(uint8_t status);
// Display name of a DeviceType: "Unknown", "Knurl", "KDU", "RDU".
std::string UnitName(int32_t unitType);

// Upper-case hexadecimal of `value` (a negative one in its 32-bit two's
// complement), padded with "0" to `width` or cut to its rightmost `width` digits.
std::string HexPad(int32_t value, uint8_t width);

}  // namespace kovrin
