#include "usblib/commands/acceptor_frame.h"

#include "usblib/commands/crc16_xmodem.h"

namespace kovrin::usblib::commands {

Result BuildAcceptorFrame(std::span<const uint8_t> payload, std::vector<uint8_t>& frame)
{
    frame.clear();
    size_t length = payload.size() + kFrameOverhead;
    if (length > kAcceptorFrameMax)
        return Result::BadArgument;
    frame.reserve(length);
    frame.push_back(kFrameStart);
    frame.push_back(uint8_t(length >> 8));
    frame.push_back(uint8_t(length));
    frame.insert(frame.end(), payload.begin(), payload.end());
    uint16_t crc = Crc16Xmodem(frame);
    frame.push_back(uint8_t(crc >> 8));
    frame.push_back(uint8_t(crc));
    return Result::Success;
}

Result BuildDruFrame(std::span<const uint8_t> block, std::vector<uint8_t>& frame)
{
    std::vector<uint8_t> payload(std::begin(kDruMarker), std::end(kDruMarker));
    payload.insert(payload.end(), block.begin(), block.end());
    return BuildAcceptorFrame(payload, frame);
}

AcceptorReply ParseAcceptorReply(std::span<const uint8_t> frame)
{
    AcceptorReply reply;
    if (frame.size() < kShortReply || frame.size() > kAcceptorFrameMax || frame[0] != kFrameStart)
        return reply;
    if (size_t(frame[1] << 8 | frame[2]) != frame.size())
        return reply;
    uint16_t crc = Crc16Xmodem(frame.first(frame.size() - 2));
    if (frame[frame.size() - 2] != uint8_t(crc >> 8) || frame[frame.size() - 1] != uint8_t(crc))
        return reply;
    reply.Code = frame[3];
    reply.Data = frame.subspan(kReplyHeader, frame.size() - kShortReply);
    reply.Outcome = Result::Success;
    if (frame.size() != kShortReply)
        return reply;
    switch (reply.Code) {
    case reply_code::NotReady:
        reply.NotReady = true;
        break;
    case reply_code::NotSupported:
        reply.Outcome = Result::NotSupported;
        break;
    case reply_code::Refused:
        reply.Outcome = Result::Refused;
        break;
    default:
        if (reply.Code >= reply_code::FirstError && reply.Code <= reply_code::LastError)
            reply.Outcome = Result(int32_t(Result::AcceptorError0) + (reply.Code - reply_code::FirstError));
        break;
    }
    return reply;
}

}  // namespace kovrin::usblib::commands
