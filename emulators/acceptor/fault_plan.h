#pragma once
// Spoilt replies on order: "fail the next k replies to command X this way".

#include <chrono>
#include <cstdint>
#include <vector>

#include "emulators/common/fault_queue.h"

namespace kovrin::emulator {

enum class FaultKind {
    NoReply,            // the frame is heard but not answered
    StrayLeadingBytes,  // noise on the line before the reply
    BadCheckByte,       // the reply's check byte is wrong
    SplitReply,         // the reply leaves in two parts with a pause between them
    WrongReplyCode,     // a well-formed reply with another code
    MissingHeader,      // the reply's first two bytes are lost, as when the host reopens its port late
    WrongChecksum,      // a well-formed reply whose 16-bit value in data bytes 5 and 6 is off by one
    ShortData,          // a well-formed reply that carries only its first dataKept data bytes
};

struct Fault {
    FaultKind kind = FaultKind::NoReply;
    int times = 1;                                // replies spoilt before the unit answers well again
    int skip = 0;                                 // good replies to this command before the first spoilt one
    std::vector<uint8_t> strayBytes{0x00};        // StrayLeadingBytes
    size_t splitAt = 3;                           // SplitReply: bytes in the first part
    std::chrono::milliseconds pause{50};          // SplitReply: gap between the parts
    uint8_t wrongCode = 0x7E;                     // WrongReplyCode: a code no command is answered with
    size_t dataKept = 0;                          // ShortData
};

using FaultPlan = FaultQueue<Fault>;

// The bytes that go on the line for a spoilt reply, as parts with a pause before each part after the first.
struct SpoiltReply {
    std::vector<std::vector<uint8_t>> parts;
    std::chrono::milliseconds pause{0};
};
SpoiltReply spoil(const std::vector<uint8_t>& frame, const Fault& fault);

}  // namespace kovrin::emulator
