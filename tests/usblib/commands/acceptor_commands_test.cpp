// The GSA and Dru tables: payload bytes, and how each kind of export takes
// a reply (acknowledgement, exact lengths, Dru echo bytes).

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "usblib/commands/acceptor_commands.h"

namespace kovrin::usblib::commands {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(GsaCommands, PayloadBytes)
{
    struct Case {
        uint8_t Command;
        std::vector<uint32_t> Parameters;
        Bytes Data;
        Bytes Expected;
    };
    const Case cases[] = {
        {0x80, {}, {}, {0x80}},
        {0x41, {0}, {}, {0x41, 0x00, 0x00}},
        {0x41, {0xFFFF1234}, {}, {0x41, 0x12, 0x34}},
        {0x43, {0x1FE}, {}, {0x43, 0xFE}},
        {0x62, {0x01020304, 0xAABB0506}, {}, {0x62, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06}},
        {0x64, {0x0102, 0x0304}, {}, {0x64, 0x01, 0x02, 0x03, 0x04}},
        {0x65, {0x0010, 2}, {0xAA, 0xBB}, {0x65, 0x00, 0x10, 0x00, 0x02, 0xAA, 0xBB}},
        {0xDE, {}, {}, {0xDE, 0x00, 0x00}},
    };
    for (const Case& c : cases) {
        Bytes payload;
        EXPECT_EQ(BuildGsaPayload(GsaRow(c.Command), c.Parameters, c.Data, payload), Result::Success);
        EXPECT_EQ(payload, c.Expected) << GsaRow(c.Command).Export;
    }
}

TEST(GsaCommands, PacketOf2048BytesIsOneFrameOf2058)
{
    Bytes payload;
    Bytes data(2048, 0x5A);
    ASSERT_EQ(BuildGsaPayload(GsaRow(0x65), std::vector<uint32_t>{0, 2048}, data, payload), Result::Success);
    EXPECT_EQ(payload.size(), 2053u);
    Bytes frame;
    ASSERT_EQ(BuildAcceptorFrame(payload, frame), Result::Success);
    EXPECT_EQ(frame.size(), 2058u);
    data.push_back(0);
    EXPECT_EQ(BuildGsaPayload(GsaRow(0x65), std::vector<uint32_t>{0, 2049}, data, payload), Result::BadArgument);
    EXPECT_EQ(BuildGsaPayload(GsaRow(0x80), {}, Bytes{1}, payload), Result::BadArgument);
}

TEST(AcceptorCommands, TablesHoldEveryCommandOnce)
{
    std::set<uint8_t> gsa;
    std::set<std::string> names;
    for (const GsaCommandRow& row : GsaCommands()) {
        gsa.insert(row.Command);
        names.insert(row.Export);
    }
    std::set<int> dru;
    for (const DruCommandRow& row : DruCommands()) {
        dru.insert(row.Class << 8 | row.Sub);
        names.insert(row.Export);
    }
    EXPECT_EQ(gsa.size(), 29u);
    EXPECT_EQ(dru.size(), 18u);  // and three with the caller's class and sub-command
    EXPECT_EQ(names.size(), 29u + 18u);
}

Bytes Frame(const Bytes& payload)
{
    Bytes frame;
    EXPECT_EQ(BuildAcceptorFrame(payload, frame), Result::Success);
    return frame;
}

// A handled reply that owns its data, so that it outlives the frame.
struct Handled {
    Result Outcome;
    Bytes Data;
};

Handled Own(const HandledReply& h) { return {h.Outcome, Bytes(h.Data.begin(), h.Data.end())}; }

Handled Handle(ReplyHandling handling, const Bytes& frame, size_t exact = 0)
{
    return Own(HandleAcceptorReply(handling, exact, ParseAcceptorReply(frame)));
}

Bytes DataOf(const Handled& h) { return h.Data; }

TEST(AcceptorCommands, Acknowledgements)
{
    struct Case {
        Bytes Payload;
        Result Expected;
    };
    const Case cases[] = {
        {{0x00}, Result::Success},
        {{0x00, 0x07}, Result::Success},  // an acknowledgement that carries data
        {{0x42, 0x00}, Result::Success},  // first data byte 0
        {{0x42, 0x01}, Result::BadReply},
        {{0x42}, Result::BadReply},       // no error, but no acknowledgement either
        {{0x55}, Result::BadReply},       // a second "not ready" is a reply without data
        {{0xE2}, Result(17)},
        {{0x99}, Result::NotSupported},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Handle(ReplyHandling::Acknowledged, Frame(c.Payload)).Outcome, c.Expected);
    EXPECT_EQ(Handle(ReplyHandling::Result, Frame({0x55})).Outcome, Result::Success);
}

TEST(AcceptorCommands, DataOfAnAcknowledgementStartAtTheFirstDataByte)
{
    Handled h = Handle(ReplyHandling::Data, Frame({0x00, 0x11, 0x22, 0x33}));
    EXPECT_EQ(h.Outcome, Result::Success);
    EXPECT_EQ(DataOf(h), (Bytes{0x11, 0x22, 0x33}));
    EXPECT_EQ(DataOf(Handle(ReplyHandling::Data, Frame({0xD2, 0x41, 0x42}))), (Bytes{0x41, 0x42}));
    EXPECT_TRUE(Handle(ReplyHandling::Data, Frame({0x00})).Data.empty());
}

TEST(AcceptorCommands, ExactLengths)
{
    EXPECT_EQ(Handle(ReplyHandling::Exactly, Frame({0xD5, 1, 2, 3, 4, 5, 6}), 6).Outcome, Result::Success);
    EXPECT_EQ(Handle(ReplyHandling::Exactly, Frame({0xD5, 1, 2, 3, 4, 5}), 6).Outcome, Result::BadReply);
    EXPECT_EQ(Handle(ReplyHandling::Exactly, Frame({0xD5, 1, 2, 3, 4, 5, 6, 7}), 6).Outcome, Result::BadReply);
    EXPECT_TRUE(Handle(ReplyHandling::Exactly, Frame({0xD5, 1}), 6).Data.empty());
    EXPECT_EQ(Handle(ReplyHandling::Exactly, Frame({0xFF}), 6).Outcome, Result::Refused);
}

TEST(AcceptorCommands, DruReadsDropTheEchoAndNeedIt)
{
    Handled h = Handle(ReplyHandling::DruRead, Frame({0x01, 0xAA, 0x02, 0x01, 0x10, 0x20}));
    EXPECT_EQ(h.Outcome, Result::Success);
    EXPECT_EQ(DataOf(h), (Bytes{0x10, 0x20}));
    EXPECT_TRUE(Handle(ReplyHandling::DruRead, Frame({0x01, 0xAA, 0x02, 0x01})).Data.empty());
    for (const Bytes& payload : {Bytes{0x01}, Bytes{0x01, 0xAA}, Bytes{0x01, 0xAA, 0x02}}) {
        Handled bad = Handle(ReplyHandling::DruRead, Frame(payload));
        EXPECT_EQ(bad.Outcome, Result::BadReply) << payload.size();
        EXPECT_TRUE(bad.Data.empty());
    }
}

TEST(AcceptorCommands, GenericRepliesLoseADruEcho)
{
    auto generic = [](const Bytes& payload) {
        Bytes frame = Frame(payload);
        return Own(HandleGenericAcceptorReply(ParseAcceptorReply(frame)));
    };
    EXPECT_EQ(DataOf(generic({0x01, 0xAA, 0x02, 0x01, 0x33})), (Bytes{0x33}));
    EXPECT_EQ(DataOf(generic({0x00, 0xAA, 0x02, 0x01})), Bytes{});
    EXPECT_EQ(DataOf(generic({0x00, 0x10, 0xAA})), (Bytes{0x10, 0xAA}));
    EXPECT_EQ(generic({0x00, 0xAA, 0x02}).Outcome, Result::BadReply);
    EXPECT_EQ(generic({0xE0}).Outcome, Result(15));
    EXPECT_EQ(generic({0x42}).Outcome, Result::Success);
}

}  // namespace
}  // namespace kovrin::usblib::commands
