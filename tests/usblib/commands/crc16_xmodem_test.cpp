#include <gtest/gtest.h>

#include <string_view>

#include "usblib/commands/crc16_xmodem.h"

namespace kovrin::usblib::commands {
namespace {

uint16_t CrcOf(std::string_view text)
{
    return Crc16Xmodem(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

TEST(Crc16Xmodem, KnownValues)
{
    EXPECT_EQ(CrcOf("123456789"), 0x31C3);
    EXPECT_EQ(CrcOf(""), 0x0000);
    const uint8_t acceptBill[] = {0x02, 0x00, 0x06, 0x80};
    EXPECT_EQ(Crc16Xmodem(acceptBill), 0xD646);
}

}  // namespace
}  // namespace kovrin::usblib::commands
