#include "usblib/commands/crc16_xmodem.h"

#include <array>

namespace kovrin::usblib::commands {
namespace {

constexpr std::array<uint16_t, 256> MakeTable()
{
    std::array<uint16_t, 256> table{};
    for (unsigned n = 0; n < 256; ++n) {
        uint16_t crc = uint16_t(n << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? uint16_t((crc << 1) ^ 0x1021) : uint16_t(crc << 1);
        table[n] = crc;
    }
    return table;
}

constexpr std::array<uint16_t, 256> kTable = MakeTable();

}  // namespace

uint16_t Crc16Xmodem(std::span<const uint8_t> bytes)
{
    uint16_t crc = 0;
    for (uint8_t b : bytes)
        crc = uint16_t((crc << 8) ^ kTable[uint8_t(b ^ (crc >> 8))]);
    return crc;
}

}  // namespace kovrin::usblib::commands
