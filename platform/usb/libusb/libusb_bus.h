#pragma once
// The bus backend for real USB devices, on libusb-1.0: hotplug (or polling
// where libusb has no hotplug) reports the devices whose ids are listed, each
// opened off the hotplug callback; transfers complete on one event thread.

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

#include "platform/kernel/pnp_manager.h"
#include "platform/usb/backend.h"

struct libusb_device;
struct libusb_device_handle;

namespace kovrin::platform::usb {

struct LibusbBusOptions {
    // Only devices with one of these ids are opened and reported.
    std::vector<HardwareId> Devices;
    // Off: poll the device list even where libusb offers hotplug.
    bool UseHotplug = true;
    std::chrono::milliseconds PollInterval{500};
    // While udev applies the rule's permissions, an open is refused; it is tried again this long.
    std::chrono::milliseconds OpenRetryTime{1000};
    std::chrono::milliseconds OpenRetryStep{50};
    // How a device is opened (libusb_open unless set); returns a libusb error code.
    std::function<int(libusb_device*, libusb_device_handle**)> Open;
};

// Never fails: without a usable libusb it reports no devices and says why on stderr.
std::unique_ptr<BusBackend> MakeLibusbBus(LibusbBusOptions options);

}  // namespace kovrin::platform::usb
