#include <gtest/gtest.h>

#include "app/link/config_frames.h"
#include "tests/support/reply_frame.h"

namespace kovrin {
namespace {

using test::ReplyFrame;

EepromImage Patterned(uint8_t seed)
{
    EepromImage image{};
    for (size_t i = 0; i < image.size(); ++i)
        image[i] = uint8_t(i * 7 + seed);
    return image;
}

TEST(ConfigurationWrite, FrameCarriesTheMarkerAndTheImageAfterByteZero)
{
    const EepromImage image = Patterned(3);
    const struct {
        int16_t length;
        uint8_t n, complement;
    } cases[] = {{176, 182, 74}, {143, 149, 107}};
    for (const auto& c : cases) {
        TxBuffer tx{};
        ASSERT_TRUE(BuildConfigurationWrite(tx, image, c.length, 4));
        const Bytes frame = CompleteFrame(tx);
        ASSERT_EQ(frame.size(), c.n);
        EXPECT_EQ(frame[1], 4);
        EXPECT_EQ(frame[2], c.n);
        EXPECT_EQ(frame[3], c.complement);
        EXPECT_EQ(frame[4], CmdWriteConfiguration);
        EXPECT_EQ(frame[5], 0x62) << "whatever image byte 0 holds";
        for (int i = 1; i < c.length; ++i)
            ASSERT_EQ(frame[size_t(i + 5)], image[size_t(i)]) << i;
    }
    TxBuffer tx{};
    EXPECT_FALSE(BuildConfigurationWrite(tx, image, 0, 4));
    EXPECT_FALSE(BuildConfigurationWrite(tx, image, 250, 4));
}

TEST(ConfigurationWrite, AuditCountersComeFromTheUnitsReadReply)
{
    const EepromImage edited = Patterned(1);
    const EepromImage unit = Patterned(100);
    const Bytes fullRead = ReplyFrame(CmdReadConfiguration, Bytes(unit.begin(), unit.begin() + 176));

    EepromImage image = edited;
    ASSERT_TRUE(SpliceAuditCounters(image, fullRead, EepromLayout::V5));
    for (size_t i = 0; i < image.size(); ++i) {
        const bool counter = i >= 143 && i <= 162;
        EXPECT_EQ(image[i], counter ? unit[i] : edited[i]) << "byte " << i;
    }
    EXPECT_TRUE(WriteCarriesAuditCounters(EepromLayout::V5));
    EXPECT_FALSE(WriteCarriesAuditCounters(EepromLayout::V6)) << "layout 6/7 has no audit area";
    EXPECT_FALSE(WriteCarriesAuditCounters(EepromLayout::None));
}

TEST(ConfigurationWrite, ARefusedSpliceChangesNothing)
{
    const EepromImage edited = Patterned(1);
    const EepromImage unit = Patterned(100);
    const struct {
        const char* name;
        Bytes reply;
        EepromLayout layout;
    } cases[] = {
        {"20 bytes", ReplyFrame(CmdReadConfiguration, Bytes(unit.begin(), unit.begin() + 20)), EepromLayout::V5},
        {"one short", ReplyFrame(CmdReadConfiguration, Bytes(unit.begin(), unit.begin() + 175)), EepromLayout::V5},
        {"acknowledgement", ReplyFrame(ReplyAcknowledge), EepromLayout::V5},
        {"nothing", {}, EepromLayout::V5},
        {"no audit area", ReplyFrame(CmdReadConfiguration, Bytes(unit.begin(), unit.begin() + 143)),
         EepromLayout::V6},
    };
    for (const auto& c : cases) {
        EepromImage image = edited;
        EXPECT_FALSE(SpliceAuditCounters(image, c.reply, c.layout)) << c.name;
        EXPECT_EQ(image, edited) << c.name;
    }
}

}  // namespace
}  // namespace kovrin
