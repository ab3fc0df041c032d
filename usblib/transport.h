#pragma once
// The pipe transport: one request and one reply over a device's bulk pipes,
// each transfer limited to 10 000 ms.

#include <cstdint>

#include "platform/user/user_io.h"
#include "usblib/qel_usb.h"

namespace kovrin::usblib {

// Writes `length` bytes to the OUT pipe as one transfer, after emptying the
// IN pipe of anything a former exchange left there. 0, 1, 2, 3, 6, 7 or 11.
UsbResult PipeWrite(UsbDevice device, const uint8_t* bytes, uint32_t length);
// Reads one transfer of at most `capacity` bytes from the IN pipe; `count`
// gets the bytes received (0 on failure). 0, 1, 2, 3, 6 or 11.
UsbResult PipeRead(UsbDevice device, uint8_t* buffer, uint32_t capacity, uint32_t* count);
// Resets the pipe of a pipe handle; true when the driver did.
bool ResetPipe(platform::user::Handle handle);
// Resets the device's IN pipe: 0, 1, 2, 3 or 6.
UsbResult ResetInPipe(UsbDevice device);

}  // namespace kovrin::usblib
