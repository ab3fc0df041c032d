// The USB acceptor's frames and the ways its replies are taken. Input: a mode
// byte (bit 0: the rest is a payload that gets its frame built around it, so
// that the check bytes hold; else the rest is the received frame), then the bytes.
// Frames are also checked byte for byte against the frame's table as written
// out here, with a CRC of its own.

#include <span>
#include <vector>

#include "tests/fuzz/fuzz_support.h"
#include "usblib/commands/acceptor_commands.h"
#include "usblib/commands/acceptor_frame.h"
#include "usblib/commands/crc16_xmodem.h"

using namespace kovrin::usblib::commands;
using kovrin::fuzz::Input;
using kovrin::fuzz::Inside;

namespace {

const ReplyHandling kHandlings[] = {ReplyHandling::Result, ReplyHandling::Acknowledged, ReplyHandling::Data,
                                    ReplyHandling::Exactly, ReplyHandling::DruRead};

// CRC-16/XMODEM: polynomial 0x1021, initial value 0, no reflection, no final XOR.
uint16_t Crc(std::span<const uint8_t> bytes)
{
    uint16_t crc = 0;
    for (uint8_t b : bytes) {
        crc ^= uint16_t(b << 8);
        for (int i = 0; i < 8; ++i)
            crc = uint16_t(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return crc;
}

// 0x02, the whole length L (big-endian), the payload, the CRC of bytes 0 to L-3 (high byte first).
std::vector<uint8_t> Frame(const std::vector<uint8_t>& payload)
{
    const size_t length = payload.size() + 5;
    std::vector<uint8_t> frame = {0x02, uint8_t(length >> 8), uint8_t(length)};
    frame.insert(frame.end(), payload.begin(), payload.end());
    const uint16_t crc = Crc(frame);
    frame.push_back(uint8_t(crc >> 8));
    frame.push_back(uint8_t(crc));
    return frame;
}

void CheckHandled(const HandledReply& handled, const AcceptorReply& reply)
{
    if (handled.Outcome != Result::Success)
        FUZZ_CHECK(handled.Data.empty());
    FUZZ_CHECK(Inside(handled.Data, reply.Data));
    FUZZ_CHECK(handled.Data.size() <= kAcceptorFrameMax - kShortReply);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input in(data, size);
    const bool build = in.Byte() & 1;
    const std::vector<uint8_t> rest = in.Rest();
    std::vector<uint8_t> frame = rest;
    if (build) {
        const Result built = BuildAcceptorFrame(rest, frame);
        FUZZ_CHECK((built == Result::Success) == (rest.size() + kFrameOverhead <= kAcceptorFrameMax));
        if (built != Result::Success) {
            FUZZ_CHECK(frame.empty());
            return 0;
        }
        FUZZ_CHECK(frame.size() == rest.size() + kFrameOverhead);
        FUZZ_CHECK(frame == Frame(rest));
    }
    // Taken whole: 6 to 4096 bytes, the start byte, its own length, and a CRC that holds.
    const bool sound = frame.size() >= 6 && frame.size() <= 4096 && frame[0] == 0x02 &&
                       size_t(frame[1] << 8 | frame[2]) == frame.size() &&
                       Crc(std::span<const uint8_t>(frame).first(frame.size() - 2)) ==
                           uint16_t(frame[frame.size() - 2] << 8 | frame[frame.size() - 1]);

    const AcceptorReply reply = ParseAcceptorReply(frame);
    const bool whole = frame.size() >= kShortReply && frame.size() <= kAcceptorFrameMax && frame[0] == kFrameStart &&
                       size_t(frame[1] << 8 | frame[2]) == frame.size() &&
                       Crc16Xmodem(frame) == 0;  // a frame followed by its CRC checks to 0
    if (build)
        FUZZ_CHECK(whole == (rest.size() >= 1));
    FUZZ_CHECK(whole == sound);
    if (!whole) {
        FUZZ_CHECK(reply.Outcome == Result::BadReply && reply.Data.empty());
        return 0;
    }
    FUZZ_CHECK(reply.Code == frame[3]);
    FUZZ_CHECK(Inside(reply.Data, frame));
    FUZZ_CHECK(reply.Data.size() == frame.size() - 6);
    FUZZ_CHECK(std::equal(reply.Data.begin(), reply.Data.end(), frame.begin() + 4));
    if (build)
        FUZZ_CHECK(std::equal(reply.Data.begin(), reply.Data.end(), rest.begin() + 1));
    FUZZ_CHECK(!reply.NotReady || (frame.size() == kShortReply && reply.Code == reply_code::NotReady));

    for (ReplyHandling handling : kHandlings) {
        for (size_t exact : {size_t(0), size_t(2), size_t(3), size_t(6), size_t(9)}) {
            const HandledReply handled = HandleAcceptorReply(handling, exact, reply);
            CheckHandled(handled, reply);
            if (handled.Outcome == Result::Success && handling == ReplyHandling::Exactly)
                FUZZ_CHECK(handled.Data.size() == exact);
            if (handled.Outcome == Result::Success && handling == ReplyHandling::DruRead)
                FUZZ_CHECK(handled.Data.size() + kDruEchoLength == reply.Data.size());
        }
    }
    CheckHandled(HandleGenericAcceptorReply(reply), reply);
    return 0;
}
