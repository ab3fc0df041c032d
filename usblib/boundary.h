#pragma once
// Nothing that C++ throws may cross into a C host: every export ends in a
// handler that turns it into the export's documented result.

#include "usblib/qel_usb.h"

namespace kovrin::usblib {

// Only inside a catch handler: 10 when memory for a copy of the caller's
// arguments ran out (std::bad_alloc), 6 for anything else (the transfer could
// not run).
UsbResult ResultOfException() noexcept;

}  // namespace kovrin::usblib
