#include <gtest/gtest.h>

#include "app/link/rx_assembler.h"
#include "tests/support/reply_frame.h"

namespace kovrin {
namespace {

using test::Join;
using test::ReplyFrame;

struct Outcome {
    int dispatched = 0;  // frames with a good check byte
    Bytes last;
};

Outcome FeedAll(RxAssembler& rx, const std::vector<Bytes>& events)
{
    Outcome out;
    uint8_t code = 0;
    for (const Bytes& e : events) {
        if (auto f = rx.Feed(e, code); f && f->checksumOk) {
            ++out.dispatched;
            out.last = f->bytes;
        }
    }
    return out;
}

TEST(RxAssembler, EdgeCases)
{
    const Bytes ident = ReplyFrame(0x06, Bytes(41, 0x41));
    const Bytes ack = ReplyFrame(0x99);
    const Bytes sum = ReplyFrame(0x13, {0x12, 0x34});
    Bytes badCheck = ack;
    badCheck.back() ^= 0xFF;
    const Bytes shortLength = {0x27, 0x08, 0x05, 0xFB, 0x06, 0x08, 0x27, 0x08};

    struct Case {
        const char* name;
        bool insertHeader;
        std::vector<Bytes> events;
        int dispatched;
        Bytes last;
    };
    const Case cases[] = {
        {"whole frame in one read", false, {ident}, 1, ident},
        {"one stray byte slides", false, {Join({0x55}, ident)}, 1, ident},
        {"two stray bytes are too many", false, {Join({0x55, 0x66}, ident)}, 0, {}},
        {"split after the header is completed", false,
         {Bytes(ident.begin(), ident.begin() + 10), Bytes(ident.begin() + 10, ident.end())}, 1, ident},
        {"split in three", false,
         {Bytes(ident.begin(), ident.begin() + 6), Bytes(ident.begin() + 6, ident.begin() + 30),
          Bytes(ident.begin() + 30, ident.end())},
         1, ident},
        {"five bytes first are dropped", false,
         {Bytes(ident.begin(), ident.begin() + 5), Bytes(ident.begin() + 5, ident.end())}, 0, {}},
        {"extra bytes after a frame go with it", false, {Join(ack, {0x27, 0x08, 0x06})}, 1, ack},
        {"bad check byte is dropped", false, {badCheck}, 0, {}},
        {"a bad frame does not hide the next one", false, {badCheck, ack}, 1, ack},
        {"missing first two bytes repaired once", true, {Bytes(sum.begin() + 2, sum.end())}, 1, sum},
        {"missing first two bytes without repair", false, {Bytes(sum.begin() + 2, sum.end())}, 0, {}},
        {"a plain acknowledgement is repaired too", true, {Bytes(ack.begin() + 2, ack.end())}, 1, ack},
        {"the repair is used once", true,
         {Bytes(sum.begin() + 2, sum.end()), Bytes(sum.begin() + 2, sum.end())}, 1, sum},
        {"a length below six is no header", false, {Join(shortLength, ack)}, 0, {}},
    };
    for (const Case& c : cases) {
        RxAssembler rx;
        rx.InsertRxHeader = c.insertHeader;
        const Outcome out = FeedAll(rx, c.events);
        EXPECT_EQ(out.dispatched, c.dispatched) << c.name;
        EXPECT_EQ(out.last, c.last) << c.name;
    }
}

TEST(RxAssembler, HeaderSetsTheReplyCodeBeforeTheFrameIsComplete)
{
    RxAssembler rx;
    uint8_t code = 0;
    const Bytes ack = ReplyFrame(0x99, Bytes(10, 1));
    EXPECT_FALSE(rx.Feed(Bytes(ack.begin(), ack.begin() + 7), code));
    EXPECT_EQ(code, 0x99);
    EXPECT_TRUE(rx.RxHeaderFound);
    rx.Clear();
    EXPECT_FALSE(rx.RxHeaderFound);
    EXPECT_TRUE(rx.RxFrame().empty());
    // After a clear, the rest of the old frame is no frame.
    EXPECT_FALSE(rx.Feed(Bytes(ack.begin() + 7, ack.end()), code));
}

}  // namespace
}  // namespace kovrin
