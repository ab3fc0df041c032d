#pragma once
// What can go wrong with one request to an emulated USB device.

#include <cstddef>
#include <cstdint>

#include "emulators/common/fault_queue.h"

namespace kovrin::emulator::usb {

enum class UsbFaultKind {
    NoReply,       // the request is carried out, but no reply ever comes
    ShortReply,    // the reply loses its last `bytes` bytes
    LongReply,     // `bytes` bytes of 0 are added to the reply
    Status,        // the request is refused with `status` and not carried out
    LateReply,     // the reply is held until the test releases it (TakeHeldReplies)
    Unplug,        // the device takes the request and leaves the bus before replying
    StallReply,    // the IN endpoint halts in place of the reply
    StallRequest,  // the OUT endpoint halts: the request is not taken
};

struct UsbFault {
    UsbFaultKind kind = UsbFaultKind::NoReply;
    int times = 1;       // requests spoilt before the device answers well again
    int skip = 0;        // good replies to this command before the first spoilt one
    size_t bytes = 1;    // ShortReply, LongReply
    uint8_t status = 1;  // Status
};

using UsbFaultPlan = FaultQueue<UsbFault>;

}  // namespace kovrin::emulator::usb
