#pragma once
// Emulated devices by name, so that a process can be started with devices on
// the emulated bus ("kdu:/path/to/seed") without the bus knowing them: the
// emulators (or a test) register a factory per name, the named bus
// (named_bus.h) makes the devices.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "emulators/usb/bus/emulated_device.h"

namespace kovrin::platform::usb {

// Makes a device from the text after the name's colon (empty when there is
// none); on refusal returns null and says why in `error`.
using EmulatedDeviceFactory =
    std::function<std::shared_ptr<EmulatedDevice>(const std::string& argument, std::string& error)>;

// A later registration of the same name replaces the earlier one.
void RegisterEmulatedDevice(const std::string& name, EmulatedDeviceFactory factory);
void UnregisterEmulatedDevice(const std::string& name);

struct EmulatedDeviceRequest {
    std::string Name;
    std::string Argument;
    // Seconds after the start: when the device arrives (0: present at the
    // start) and when it leaves again (negative: it stays).
    double ArriveAfter = 0;
    double LeaveAfter = -1;
};
// "name[:argument][@schedule]" items of a comma list; blank items are skipped.
// The schedule "A" or "A-B" (seconds, decimals allowed, B above A) has the
// device arrive A seconds after the start and leave at B; an ending that is not
// such a schedule stays part of the argument.
std::vector<EmulatedDeviceRequest> ParseEmulatedDeviceList(const std::string& list);

// The device a request names; null with the reason in `error` when the name
// is unknown or its factory refuses the argument.
std::shared_ptr<EmulatedDevice> MakeEmulatedDevice(const EmulatedDeviceRequest& request, std::string& error);

}  // namespace kovrin::platform::usb
