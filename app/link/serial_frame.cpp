#include "app/link/serial_frame.h"

namespace kovrin {

uint8_t XorOfBytes1To(const uint8_t* frame, size_t n)
{
    uint8_t x = 0;
    for (size_t i = 1; i < n; ++i)
        x ^= frame[i];
    return x;
}

bool BuildFixedFrame(TxBuffer& TxFrame, int16_t code, uint8_t address)
{
    TxFrame[0] = FrameStartByte;
    TxFrame[1] = address;
    uint8_t n = 0;
    switch (code) {
    case CmdCalibrate:
    case CmdPoll:
    case CmdReadConfiguration:
    case CmdReadAudit:
        n = 6;
        break;
    case CmdReadMemory:  // bytes 5 to 8 are the caller's
        n = 10;
        break;
    case CmdStartUpdate:
        n = 10;
        TxFrame[5] = 0x55;
        TxFrame[6] = 0xA0;
        TxFrame[7] = 0x55;
        TxFrame[8] = 0x88;
        break;
    default:
        return false;
    }
    TxFrame[2] = n;
    TxFrame[3] = static_cast<uint8_t>(256 - n);
    TxFrame[4] = static_cast<uint8_t>(code);
    return true;
}

Bytes CompleteFrame(const TxBuffer& TxFrame)
{
    const size_t n = TxFrame[2];
    if (n < FrameHeaderLength)
        return {};
    Bytes frame(TxFrame.begin(), TxFrame.begin() + n);
    frame[n - 1] = XorOfBytes1To(frame.data(), n - 1);
    return frame;
}

bool CheckReplyChecksum(const Bytes& frame)
{
    if (frame.size() < FrameHeaderLength)
        return false;
    const size_t n = frame[2];
    if (n < FrameHeaderLength || frame.size() < n)
        return false;
    return XorOfBytes1To(frame.data(), n) == 0;
}

}  // namespace kovrin
