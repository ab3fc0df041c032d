#include <gtest/gtest.h>

#include "app/link/serial_frame.h"

namespace kovrin {
namespace {

Bytes Sent(int16_t code, uint8_t address)
{
    TxBuffer tx{};
    if (!BuildFixedFrame(tx, code, address))
        return {};
    return CompleteFrame(tx);
}

TEST(SerialFrame, FixedFramesAreByteExact)
{
    EXPECT_EQ(Sent(CmdPoll, 4), (Bytes{0x27, 0x04, 0x06, 0xFA, 0x06, 0xFE}));
    EXPECT_EQ(Sent(CmdPoll, 0), (Bytes{0x27, 0x00, 0x06, 0xFA, 0x06, 0xFA}));
    EXPECT_EQ(Sent(CmdStartUpdate, 0), (Bytes{0x27, 0x00, 0x0A, 0xF6, 0x11, 0x55, 0xA0, 0x55, 0x88, 0xC5}));
}

TEST(SerialFrame, OnlyTheFixedCodesAreBuilt)
{
    for (int16_t code : {0x02, 0x06, 0x11, 0x20, 0x24, 0x35}) {
        TxBuffer tx{};
        EXPECT_TRUE(BuildFixedFrame(tx, code, 4)) << code;
        EXPECT_EQ(tx[2] + tx[3], 256) << code;
        EXPECT_EQ(tx[4], code) << code;
    }
    for (int16_t code : {0x00, 0x12, 0x13, 0x21, 0x34, 0x99, 0x100}) {
        TxBuffer tx{};
        tx[4] = 0x77;
        EXPECT_FALSE(BuildFixedFrame(tx, code, 4)) << code;
        EXPECT_EQ(tx[4], 0x77) << "code byte untouched for " << code;
    }
}

TEST(SerialFrame, MemoryReadKeepsTheCallersData)
{
    TxBuffer tx{};
    tx[5] = 0x00;
    tx[6] = 0x01;
    tx[7] = 0x80;
    tx[8] = 0x80;
    ASSERT_TRUE(BuildFixedFrame(tx, CmdReadMemory, 4));
    const Bytes f = CompleteFrame(tx);
    ASSERT_EQ(f.size(), 10u);
    EXPECT_EQ(f[6], 0x01);
    EXPECT_EQ(f[8], 0x80);
    EXPECT_TRUE(CheckReplyChecksum(Bytes{0x27, 0x08, f[2], f[3], f[4], f[5], f[6], f[7], f[8],
                                         uint8_t(f[9] ^ 0x04 ^ 0x08)}));
}

TEST(SerialFrame, ChecksumNeedsTheWholeFrame)
{
    const Bytes poll = {0x27, 0x08, 0x06, 0xFA, 0x06, 0xF2};
    EXPECT_TRUE(CheckReplyChecksum(poll));
    Bytes bad = poll;
    bad[5] ^= 1;
    EXPECT_FALSE(CheckReplyChecksum(bad));
    EXPECT_FALSE(CheckReplyChecksum(Bytes(poll.begin(), poll.end() - 1)));
    EXPECT_FALSE(CheckReplyChecksum(Bytes{0x27, 0x08, 0x02, 0xFE, 0x0A, 0x00}));
}

}  // namespace
}  // namespace kovrin
