#include "emulators/acceptor/frame_reader.h"

namespace kovrin::emulator {

namespace {

constexpr uint8_t kStartByte = 0x27;
constexpr size_t kHeaderLength = 5;
constexpr size_t kShortestFrame = 6;

bool headerIsGood(const std::vector<uint8_t>& b)
{
    return b[0] == kStartByte && b[2] >= kShortestFrame && b[2] + b[3] == 256;
}

bool checkIsGood(const std::vector<uint8_t>& b, size_t length)
{
    uint8_t x = 0;
    for (size_t i = 1; i < length; ++i) x ^= b[i];
    return x == 0;
}

}  // namespace

std::vector<HostFrame> FrameReader::feed(const uint8_t* bytes, size_t count)
{
    held_.insert(held_.end(), bytes, bytes + count);
    std::vector<HostFrame> frames;
    while (!held_.empty()) {
        if (held_[0] != kStartByte) {
            held_.erase(held_.begin());
            continue;
        }
        if (held_.size() < kHeaderLength) break;
        if (!headerIsGood(held_)) {
            held_.erase(held_.begin());
            continue;
        }
        const size_t length = held_[2];
        if (held_.size() < length) break;
        if (checkIsGood(held_, length)) {
            frames.push_back({held_[1], held_[4],
                              std::vector<uint8_t>(held_.begin() + kHeaderLength, held_.begin() + length - 1)});
            held_.erase(held_.begin(), held_.begin() + length);
        } else {
            // A start byte inside a spoilt frame may begin a good one.
            held_.erase(held_.begin());
        }
    }
    return frames;
}

void FrameReader::reset()
{
    held_.clear();
}

}  // namespace kovrin::emulator
