#include <gtest/gtest.h>

#include "app/link/update_frames.h"

namespace kovrin {
namespace {

TEST(UpdateFrames, BlockFramesByteForByte)
{
    FlashBlock small{0x4010, HexData, {}};
    for (int i = 0; i < 16; ++i)
        small.data.push_back(uint8_t(i));
    const Bytes f = FlashBlockFrame(small, 1, 4);
    ASSERT_EQ(f.size(), 25u);
    EXPECT_EQ(f[2], 25);
    EXPECT_EQ(f[3], 231);
    const Bytes head = {0x27, 0x04, 25, 231, 0x12, 0x01, 0x40, 0x10, 0x00, 0x01};
    EXPECT_TRUE(std::equal(head.begin(), head.end(), f.begin()));
    uint8_t x = 0;
    for (size_t i = 1; i + 1 < f.size(); ++i)
        x ^= f[i];
    EXPECT_EQ(f.back(), x);

    FlashBlock page{0xF580, HexData, Bytes(128, 0xA5)};
    const Bytes p = FlashBlockFrame(page, 0, 4);
    ASSERT_EQ(p.size(), 137u);
    EXPECT_EQ(p[2], 137);
    EXPECT_EQ(p[3], 119);
    EXPECT_EQ(p[6], 0xF5);
    EXPECT_EQ(p[7], 0x80);
    EXPECT_EQ(p[8], 0xA5);
    EXPECT_EQ(p[135], 0xA5);
}

TEST(UpdateFrames, FixedFrames)
{
    TxBuffer tx{};
    BuildEraseMemory(tx, 4);
    EXPECT_EQ(CompleteFrame(tx), (Bytes{0x27, 0x04, 0x08, 0xF8, 0x14, 0x55, 0xA0, uint8_t(0x04 ^ 0x08 ^ 0xF8 ^ 0x14 ^ 0x55 ^ 0xA0)}));
    BuildVerifyChecksum(tx, 4);
    EXPECT_EQ(CompleteFrame(tx).size(), 6u);
    EXPECT_EQ(CompleteFrame(tx)[4], 0x13);
}

TEST(UpdateFrames, DateStampEncodingByImageRevision)
{
    const struct {
        uint8_t variant;
        const char* revision;
        bool dayCount;
    } cases[] = {
        {7, "0017", false}, {7, "0018", true}, {7, "0100", true}, {5, "0042", false},
        {5, "0043", true},  {5, "0043X", true}, {4, "9999", false}, {0, "0043", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DateStampUsesDayCount(c.variant, c.revision), c.dayCount) << int(c.variant) << c.revision;

    using Stamp = std::array<uint8_t, 5>;
    EXPECT_EQ(DateStampData({2010, 1, 1, 9, 30}, true), (Stamp{0, 0, 0, 0, 0}));
    EXPECT_EQ(DateStampData({2010, 1, 2, 9, 30}, true), (Stamp{1, 0, 0, 0, 0}));
    EXPECT_EQ(DateStampData({2026, 12, 10, 8, 5}, true), (Stamp{0x2B, 0x18, 0, 0, 0}));  // 6187 days
    EXPECT_EQ(DateStampData({2026, 12, 10, 8, 5}, false), (Stamp{26, 12, 10, 8, 5}));
}

}  // namespace
}  // namespace kovrin
