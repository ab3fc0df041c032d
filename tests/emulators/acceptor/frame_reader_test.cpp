#include <gtest/gtest.h>

#include "emulators/acceptor/frame_reader.h"
#include "tests/emulators/acceptor/test_line.h"

namespace kovrin::emulator::test {
namespace {

struct ReaderCase {
    const char* name;
    std::vector<Bytes> chunks;
    std::vector<uint8_t> commandsFound;
};

Bytes concat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes withBadCheck(Bytes frame)
{
    frame.back() ^= 0x40;
    return frame;
}

const Bytes kPoll = hostFrame(4, 0x06);
const Bytes kRead = hostFrame(4, 0x24, {0, 1, 0, 0x80});

const ReaderCase kCases[] = {
    {"whole frame", {kPoll}, {0x06}},
    {"wake byte and noise first", {concat({{0x37, 0x00, 0xFF}, kPoll})}, {0x06}},
    {"byte by byte", {{kRead[0]}, {kRead[1]}, {kRead[2]}, {kRead[3]}, {kRead[4]}, Bytes(kRead.begin() + 5, kRead.end())}, {0x24}},
    {"two frames in one read", {concat({kPoll, kRead})}, {0x06, 0x24}},
    {"bad check byte dropped", {withBadCheck(kPoll)}, {}},
    {"bad check then good", {concat({withBadCheck(kRead), kPoll})}, {0x06}},
    {"length below six is no header", {concat({{0x27, 0x04, 0x05, 0xFB, 0x06}, kPoll})}, {0x06}},
    {"length and complement disagree", {concat({{0x27, 0x04, 0x06, 0xF9, 0x06, 0xFE}, kPoll})}, {0x06}},
    {"frame that cuts a short one off is found", {concat({{0x27, 0x04, 0x08, 0xF8}, kPoll})}, {0x06}},
    {"unfinished frame waits for its bytes", {concat({{0x27, 0x04, 0x20, 0xE0}, kPoll})}, {}},
};

void PrintTo(const ReaderCase& c, std::ostream* os) { *os << c.name; }

class FrameReading : public ::testing::TestWithParam<ReaderCase> {};

TEST_P(FrameReading, FindsExactlyTheGoodFrames)
{
    FrameReader reader;
    std::vector<uint8_t> found;
    for (const Bytes& chunk : GetParam().chunks)
        for (const HostFrame& f : reader.feed(chunk.data(), chunk.size())) found.push_back(f.command);
    EXPECT_EQ(found, GetParam().commandsFound);
}

INSTANTIATE_TEST_SUITE_P(Cases, FrameReading, ::testing::ValuesIn(kCases),
                         [](const auto& info) {
                             std::string n = info.param.name;
                             for (char& c : n)
                                 if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                             return n;
                         });

TEST(FrameReading, KeepsAddressAndData)
{
    FrameReader reader;
    const auto frames = reader.feed(kRead.data(), kRead.size());
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].address, 4);
    EXPECT_EQ(frames[0].data, (Bytes{0, 1, 0, 0x80}));
    EXPECT_EQ(reader.held(), 0u);
}

TEST(FrameReading, ResetForgetsAHalfFrame)
{
    FrameReader reader;
    reader.feed(kRead.data(), 6);
    reader.reset();
    EXPECT_TRUE(reader.feed(kRead.data() + 6, kRead.size() - 6).empty());
    EXPECT_EQ(reader.feed(kPoll.data(), kPoll.size()).size(), 1u);
}

}  // namespace
}  // namespace kovrin::emulator::test
