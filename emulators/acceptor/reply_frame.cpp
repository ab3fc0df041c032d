#include "emulators/acceptor/reply_frame.h"

#include <algorithm>

namespace kovrin::emulator {

namespace {
constexpr size_t kLongestFrame = 255;
constexpr size_t kFrameOverhead = 6;
}  // namespace

uint8_t checkByteFor(const std::vector<uint8_t>& frameWithoutCheck)
{
    uint8_t x = 0;
    for (size_t i = 1; i < frameWithoutCheck.size(); ++i) x ^= frameWithoutCheck[i];
    return x;
}

std::vector<uint8_t> buildReply(uint8_t code, const std::vector<uint8_t>& data)
{
    const size_t dataLength = std::min(data.size(), kLongestFrame - kFrameOverhead);
    const auto length = static_cast<uint8_t>(dataLength + kFrameOverhead);
    std::vector<uint8_t> frame{0x27, kReplyAddress, length, static_cast<uint8_t>(256 - length), code};
    frame.insert(frame.end(), data.begin(), data.begin() + static_cast<std::ptrdiff_t>(dataLength));
    frame.push_back(checkByteFor(frame));
    return frame;
}

}  // namespace kovrin::emulator
