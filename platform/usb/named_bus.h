#pragma once
// How the host reaches the emulated bus, which lives in a library of its own
// (the emulators' library, beside the driver) so that nothing of it is in the
// platform or in qel_usb: the host loads the library by name only for
// QELUSB_BUS=emulated and asks it for a bus with the devices QELUSB_EMULATED names.

#include "platform/usb/backend.h"

namespace kovrin::platform::usb {

inline constexpr const char* kEmulatorLibrary = "libqel_usb_emulators.so";
inline constexpr const char* kMakeNamedBus = "KovrinMakeNamedEmulatedBus";

// A new emulated bus with the devices of `devices` (a QELUSB_EMULATED list):
// those without a schedule plugged before it starts, the others plugged and
// unplugged at their times once it runs. Devices that cannot be made are left
// out with a message on stderr. The caller owns the bus.
using MakeNamedBusFunction = BusBackend* (*)(const char* devices);

}  // namespace kovrin::platform::usb
