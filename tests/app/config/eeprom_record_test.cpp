#include <gtest/gtest.h>

#include "app/config/eeprom_record.h"
#include "app/core/hex_digits.h"

namespace kovrin {
namespace {

TEST(ByteToHex, TwoUpperCaseDigits)
{
    EXPECT_EQ(ByteToHex(0), "00");
    EXPECT_EQ(ByteToHex(5), "05");
    EXPECT_EQ(ByteToHex(0x0A), "0A");
    EXPECT_EQ(ByteToHex(171), "AB");
    EXPECT_EQ(ByteToHex(255), "FF");
}

TEST(DecToBcd, PacksTwoDigitsAndRewritesTheText)
{
    struct Case {
        const char* in;
        int16_t result;
        const char* text;
    };
    const Case cases[] = {
        {"45", 0x45, "69"}, {"0", 0, "0"}, {"9", 9, "9"}, {"10", 0x10, "16"},
        {"99", 0x99, "153"}, {"", 0, "0"}, {" 07", 7, "7"}, {"12abc", 0x12, "18"},
    };
    for (const Case& c : cases) {
        std::string text = c.in;
        EXPECT_EQ(DecToBcd(text), c.result) << c.in;
        EXPECT_EQ(text, c.text) << c.in;
    }
}

}  // namespace
}  // namespace kovrin
