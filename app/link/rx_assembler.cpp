#include "app/link/rx_assembler.h"

namespace kovrin {

bool IsReplyHeader(const Bytes& b)
{
    return b.size() >= FrameHeaderLength && b[0] == FrameStartByte && b[1] == AcceptorFrameAddress &&
           b[2] + b[3] == 256 && b[2] >= FrameHeaderLength;
}

void RxAssembler::Clear()
{
    buffer_.clear();
    RxHeaderFound = false;
}

bool RxAssembler::SearchHeader(uint8_t& ReplyCode)
{
    const auto found = [&] {
        RxHeaderFound = true;
        ReplyCode = buffer_[4];
        return true;
    };
    if (IsReplyHeader(buffer_))
        return found();
    const Bytes held = buffer_;
    buffer_.erase(buffer_.begin());  // one stray byte before the frame
    if (IsReplyHeader(buffer_))
        return found();
    if (InsertRxHeader) {
        // The boot loader's first reply may come without its first two bytes.
        InsertRxHeader = false;
        buffer_ = {FrameStartByte, AcceptorFrameAddress};
        buffer_.insert(buffer_.end(), held.begin(), held.end());
        if (IsReplyHeader(buffer_))
            return found();
    }
    buffer_.clear();
    return false;
}

std::optional<RxAssembler::Frame> RxAssembler::Feed(const Bytes& bytes, uint8_t& ReplyCode)
{
    // Bytes held without a header are dropped by the next event.
    if (!RxHeaderFound)
        buffer_ = bytes;
    else
        buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());

    // A reply that lost its first two bytes may hold only four; the repair still applies.
    const size_t searchable = InsertRxHeader ? FrameHeaderLength - 2 : FrameHeaderLength;
    if (!RxHeaderFound && buffer_.size() >= searchable)
        SearchHeader(ReplyCode);

    if (!RxHeaderFound || buffer_.size() < buffer_[2])
        return std::nullopt;
    Frame frame;
    frame.bytes.assign(buffer_.begin(), buffer_.begin() + buffer_[2]);  // bytes beyond N go with it
    frame.checksumOk = CheckReplyChecksum(frame.bytes);
    Clear();
    return frame;
}

}  // namespace kovrin
