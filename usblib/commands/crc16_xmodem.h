#pragma once
// CRC-16/XMODEM: polynomial 0x1021, initial value 0, no reflection, no final XOR.

#include <cstdint>
#include <span>

namespace kovrin::usblib::commands {

uint16_t Crc16Xmodem(std::span<const uint8_t> bytes);

}  // namespace kovrin::usblib::commands
