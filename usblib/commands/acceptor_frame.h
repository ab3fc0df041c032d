#pragma once
// AcceptorFrame, the USB acceptor's frame in both directions: 0x02, the whole
// frame's length (big-endian), the payload, and the CRC-16/XMODEM of all that
// precedes it, high byte first. A DruFrame's payload is 0xFF 0xAA, class,
// sub-command and data. A reply's payload is its code and data.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "usblib/commands/usb_result.h"

namespace kovrin::usblib::commands {

constexpr uint8_t kFrameStart = 0x02;
constexpr size_t kFrameOverhead = 5;  // start byte, length, CRC
constexpr size_t kAcceptorFrameMax = 4096;
constexpr size_t kReplyHeader = 4;  // start byte, length, code
constexpr size_t kShortReply = 6;   // a reply that carries its code alone
constexpr uint8_t kDruMarker[] = {0xFF, 0xAA};
constexpr uint8_t kDruEcho = 0xAA;  // first data byte of a Dru reply, before class and sub-command
constexpr size_t kDruEchoLength = 3;

namespace reply_code {
constexpr uint8_t Acknowledged = 0x00;
constexpr uint8_t NotReady = 0x55;
constexpr uint8_t NotSupported = 0x99;
constexpr uint8_t FirstError = 0xE0;
constexpr uint8_t LastError = 0xE4;
constexpr uint8_t Refused = 0xFF;
}  // namespace reply_code

// BadArgument (and an empty frame) when the frame would be longer than 4096 bytes.
Result BuildAcceptorFrame(std::span<const uint8_t> payload, std::vector<uint8_t>& frame);
// `block` is the class, the sub-command and the data.
Result BuildDruFrame(std::span<const uint8_t> block, std::vector<uint8_t>& frame);

struct AcceptorReply {
    Result Outcome = Result::BadReply;
    // A short reply with code 0x55: the acceptor is not ready and the reply follows.
    bool NotReady = false;
    uint8_t Code = 0;
    std::span<const uint8_t> Data;  // after the code, before the CRC; points into the frame
};

// Checks one received reply: at least 6 bytes, the start byte, the length
// field equal to the bytes received, and the CRC; a short reply's code gives
// the outcome.
AcceptorReply ParseAcceptorReply(std::span<const uint8_t> frame);

}  // namespace kovrin::usblib::commands
