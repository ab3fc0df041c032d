#include <gtest/gtest.h>

#include "app/config/eeprom_map.h"
#include "app/core/acceptor_variants.h"
#include "app/core/firmware_image.h"
#include "app/link/acceptor_variant.h"
#include "app/link/update_frames.h"

namespace kovrin {
namespace {

// What each code means everywhere the program looks at it; codes outside the
// table behave as no acceptor.
TEST(AcceptorVariants, EachCodeKeepsItsFacts)
{
    struct Case {
        int code;
        const char* name;
        uint8_t address;
        uint8_t image;  // image variant a firmware byte of this code gives
        const char* imageName;
        EepromLayout layout;
        size_t checkedSerial;
    };
    using L = EepromLayout;
    const Case cases[] = {
        {-1, "UNKNOWN", 0, 0, "UNKNOWN", L::None, 10},
        {0, "UNKNOWN", 0, 0, "UNKNOWN", L::None, 10},
        {1, "Orvel", 0, 1, "", L::None, 10},
        {2, "Dastin", 0, 2, "", L::None, 10},
        {3, "Production", 4, 0, "UNKNOWN", L::None, 10},
        {4, "Dastin Plus", 4, 4, "Dastin Plus", L::None, 10},
        {5, "Tyx Sarnel", 4, 5, "Tyx Sarnel", L::V5, 11},
        {6, "Orvxel Plus", 4, 6, "Orvel Plus", L::V6, 11},
        {7, "Tyx Tekra", 4, 7, "Tyx Tekra", L::V6, 11},
        {8, "Pellot", 0, 0, "UNKNOWN", L::None, 10},
        {9, "Dastin ++", 4, 9, "Dastin ++", L::V5, 11},
        {10, "UNKNOWN", 0, 0, "UNKNOWN", L::None, 10},
        {255, "UNKNOWN", 0, 0, "UNKNOWN", L::None, 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(VariantName(c.code), c.name);
        EXPECT_EQ(FrameAddressOf(c.code), c.address);
        EXPECT_EQ(LayoutOfVariant(c.code), c.layout);
        EXPECT_EQ(VariantRow(c.code).CheckedSerialLength, c.checkedSerial);
        if (c.code >= 0 && c.code <= 255) {
            EXPECT_EQ(ImageVariantOf(uint8_t(c.code)), c.image);
            EXPECT_EQ(ImageVariantName(uint8_t(c.code)), c.imageName);
        }
    }
}

TEST(AcceptorVariants, DateStampRulesFollowTheImage)
{
    // The acceptor's own stamp: the day count from a revision on, else the calendar.
    EXPECT_FALSE(DateStampUsesDayCount(7, "0017"));
    EXPECT_TRUE(DateStampUsesDayCount(7, "0018"));
    EXPECT_FALSE(DateStampUsesDayCount(5, "0042"));
    EXPECT_TRUE(DateStampUsesDayCount(5, "0043"));
    EXPECT_FALSE(DateStampUsesDayCount(9, "9999"));
    EXPECT_FALSE(DateStampUsesDayCount(0, "9999"));
}

}  // namespace
}  // namespace kovrin
