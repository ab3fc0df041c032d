// Acceptor frames out and replies in: the frame bytes, the size limit, and
// every check and code mapping of a received reply.

#include <gtest/gtest.h>

#include <vector>

#include "usblib/commands/acceptor_frame.h"

namespace kovrin::usblib::commands {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(AcceptorFrame, AcceptBillFrame)
{
    Bytes frame;
    ASSERT_EQ(BuildAcceptorFrame(Bytes{0x80}, frame), Result::Success);
    EXPECT_EQ(frame, (Bytes{0x02, 0x00, 0x06, 0x80, 0xD6, 0x46}));
}

TEST(AcceptorFrame, DruFrameCarriesTheMarker)
{
    Bytes frame;
    ASSERT_EQ(BuildDruFrame(Bytes{0x02, 0x01}, frame), Result::Success);
    EXPECT_EQ(frame, (Bytes{0x02, 0x00, 0x09, 0xFF, 0xAA, 0x02, 0x01, 0x8F, 0x22}));
}

TEST(AcceptorFrame, LongestFrameIs4096Bytes)
{
    Bytes frame;
    EXPECT_EQ(BuildAcceptorFrame(Bytes(4091, 0), frame), Result::Success);
    EXPECT_EQ(frame.size(), 4096u);
    EXPECT_EQ(frame[1], 0x10);
    EXPECT_EQ(frame[2], 0x00);
    EXPECT_EQ(BuildAcceptorFrame(Bytes(4092, 0), frame), Result::BadArgument);
    EXPECT_TRUE(frame.empty());
    EXPECT_EQ(BuildDruFrame(Bytes(4089, 0), frame), Result::Success);
    EXPECT_EQ(BuildDruFrame(Bytes(4090, 0), frame), Result::BadArgument);
}

Bytes Reply(const Bytes& payload)
{
    Bytes frame;
    EXPECT_EQ(BuildAcceptorFrame(payload, frame), Result::Success);
    return frame;
}

TEST(AcceptorReplies, ShortReplyCodes)
{
    struct Case {
        uint8_t Code;
        Result Expected;
    };
    const Case cases[] = {
        {0x00, Result::Success},      {0x99, Result::NotSupported}, {0xE0, Result(15)}, {0xE1, Result(16)},
        {0xE2, Result(17)},           {0xE3, Result(18)},           {0xE4, Result(19)}, {0xFF, Result::Refused},
        {0x42, Result::Success},      {0xE5, Result::Success},      {0xDF, Result::Success},
    };
    for (const Case& c : cases) {
        Bytes frame = Reply({c.Code});
        AcceptorReply reply = ParseAcceptorReply(frame);
        EXPECT_EQ(reply.Outcome, c.Expected) << int(c.Code);
        EXPECT_EQ(reply.Code, c.Code);
        EXPECT_TRUE(reply.Data.empty());
        EXPECT_FALSE(reply.NotReady);
    }
    // A hand-written frame, not built by the code under test.
    EXPECT_EQ(ParseAcceptorReply(Bytes{0x02, 0x00, 0x06, 0xE2, 0x9A, 0xA2}).Outcome, Result(17));
}

TEST(AcceptorReplies, NotReadyIsOnlyTheShortReply)
{
    Bytes notReady{0x02, 0x00, 0x06, 0x55, 0x4D, 0x9E};
    AcceptorReply reply = ParseAcceptorReply(notReady);
    EXPECT_TRUE(reply.NotReady);
    EXPECT_EQ(reply.Outcome, Result::Success);
    Bytes withData = Reply({0x55, 0x01});
    EXPECT_FALSE(ParseAcceptorReply(withData).NotReady);
}

TEST(AcceptorReplies, DataFollowTheCode)
{
    Bytes frame{0x02, 0x00, 0x08, 0x00, 0x11, 0x22, 0x3A, 0xE1};
    AcceptorReply reply = ParseAcceptorReply(frame);
    EXPECT_EQ(reply.Outcome, Result::Success);
    EXPECT_EQ(reply.Code, 0x00);
    EXPECT_EQ(Bytes(reply.Data.begin(), reply.Data.end()), (Bytes{0x11, 0x22}));
    // Longer replies are not mapped by their code.
    Bytes refusedWithData = Reply({0xFF, 0x01});
    EXPECT_EQ(ParseAcceptorReply(refusedWithData).Outcome, Result::Success);
}

TEST(AcceptorReplies, MalformedRepliesAreBad)
{
    Bytes good{0x02, 0x00, 0x08, 0x00, 0x11, 0x22, 0x3A, 0xE1};
    auto with = [&](size_t at, uint8_t value) {
        Bytes b = good;
        b[at] = value;
        return b;
    };
    const Bytes cases[] = {
        {},
        {0x02, 0x00, 0x05, 0x00, 0x00},  // five bytes
        {0x02, 0x00, 0x06, 0x00, 0x47},  // a six-byte reply cut short
        with(2, 0x09),                   // length field larger than the reply
        with(2, 0x07),                   // length field smaller
        with(7, 0xE0),                   // CRC low byte
        with(6, 0x3B),                   // CRC high byte
        with(4, 0x12),                   // a data byte changed
        {0x03, 0x00, 0x06, 0x00, 0x31, 0x7A},  // not 0x02, though its CRC is right
    };
    for (const Bytes& frame : cases)
        EXPECT_EQ(ParseAcceptorReply(frame).Outcome, Result::BadReply) << frame.size();
    EXPECT_EQ(ParseAcceptorReply(Bytes(4097, 0x02)).Outcome, Result::BadReply);
}

}  // namespace
}  // namespace kovrin::usblib::commands
