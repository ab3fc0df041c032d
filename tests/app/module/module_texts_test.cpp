// The module client's fixed texts and the hexadecimal padding.

#include <gtest/gtest.h>

#include "app/module/module_texts.h"

namespace kovrin {
namespace {

TEST(ModuleTexts, UsbErrorTextByResult)
{
    const struct {
        int32_t result;
        const char* text;
    } cases[] = {
        {1, "Error - Driver Not Installed"},
        {2, "Error - Port Not Open"},
        {3, "Error - Bad Handle"},
        {4, "Error - Already open"},
        {5, "Error - Open Failed"},
        {6, "Error - Link Failed"},
        {7, "Error - Write Failed"},
        {8, "Error - Invalid command for product"},
        {9, "Error - Invalid reply from product"},
        {10, "Error - Invalid parameter"},
        {11, "Error - Link Time out "},
        {12, "Error - Received Nak "},
        {13, "Error - Command not supported (99)"},
        {14, "Error - Data overload "},
        {15, "Error - Knurl being a pain"},
        {0, "Error - Unknown"},
        {16, "Error - Unknown"},
        {19, "Error - Unknown"},
        {0x10007, "Error - Write Failed"},  // only the low 16 bits count
        {-1, "Error - Unknown"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(UsbErrorText(c.result), c.text) << c.result;
}

TEST(ModuleTexts, KduReplyTextByStatus)
{
    const struct {
        uint8_t status;
        const char* text;
    } cases[] = {
        {0, "OK"}, {1, "Unable to respond"}, {2, "No Space"}, {3, "File Already Open"},
        {4, ""},   {5, "Invalid File"},      {6, "File corrupt - Format KDU"}, {7, ""}, {255, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(KduReplyText(c.status), c.text) << int(c.status);
}

TEST(ModuleTexts, UnitNames)
{
    EXPECT_EQ(UnitName(0), "Unknown");
    EXPECT_EQ(UnitName(1), "Knurl");
    EXPECT_EQ(UnitName(2), "KDU");
    EXPECT_EQ(UnitName(3), "RDU");
    EXPECT_EQ(UnitName(4), "Unknown");
    EXPECT_EQ(UnitName(-1), "Unknown");
}

TEST(ModuleTexts, HexPadPadsAndCuts)
{
    const struct {
        int32_t value;
        uint8_t width;
        const char* text;
    } cases[] = {
        {-15, 2, "F1"}, {255, 2, "FF"}, {0x1A, 4, "001A"}, {0, 2, "00"},       {0x1234, 2, "34"},
        {67, 3, "043"}, {-1, 8, "FFFFFFFF"}, {-1, 10, "00FFFFFFFF"}, {0xABC, 0, ""}, {-256, 2, "00"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HexPad(c.value, c.width), c.text) << c.value << " " << int(c.width);
}

}  // namespace
}  // namespace kovrin
