#pragma once
// Frames of the acceptor's serial link: 0x27, address, N, 256 - N, code, data,
// XOR check byte of bytes 1 to N - 2.

#include <array>
#include <cstddef>
#include <cstdint>

#include "app/core/bytes.h"

namespace kovrin {

constexpr uint8_t FrameStartByte = 0x27;
constexpr uint8_t AcceptorFrameAddress = 0x08;  // byte 1 of every frame from the acceptor
constexpr size_t FrameHeaderLength = 6;         // header, code and check byte
constexpr uint8_t WakeByte = 0x37;

// Command and reply codes.
enum : uint8_t {
    CmdCalibrate = 0x02,
    CmdPoll = 0x06,
    CmdStartUpdate = 0x11,
    CmdFlashBlock = 0x12,
    CmdVerifyChecksum = 0x13,
    CmdEraseMemory = 0x14,
    CmdUpdateBootstrap = 0x15,
    CmdResetAuditData = 0x1F,
    CmdReadConfiguration = 0x20,
    CmdWriteConfiguration = 0x21,
    CmdReadMemory = 0x24,
    CmdDateStamp = 0x34,
    CmdReadAudit = 0x35,
    ReplyAcknowledge = 0x99,
    ReplyTimeOut = 0xAA,  // no reply within the guard time, used only inside the program
};

// The transmit buffer; builders write bytes 0 to N - 2, the sender adds the check byte.
using TxBuffer = std::array<uint8_t, 257>;

// XOR of bytes 1 to n - 1 of a frame's first n bytes, which is the check byte
// of a frame of n + 1 bytes.
uint8_t XorOfBytes1To(const uint8_t* frame, size_t n);

// Writes the fixed part of a frame without variable data into TxFrame, as
// PDTCommand does; false (and only bytes 0 and 1 written) for other codes.
bool BuildFixedFrame(TxBuffer& TxFrame, int16_t code, uint8_t address);

// The N bytes to send for the frame in TxFrame, check byte appended; empty
// when TxFrame's length byte cannot be a frame.
Bytes CompleteFrame(const TxBuffer& TxFrame);

// True when the XOR of bytes 1 to N - 1 is 0 (N = byte 2) and all N bytes are there.
bool CheckReplyChecksum(const Bytes& frame);

}  // namespace kovrin
