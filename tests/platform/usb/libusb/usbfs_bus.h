#pragma once
// Emulated devices (emulators/usb/bus/emulated_device.h) presented to the
// real libusb through umockdev: a sysfs entry and a device node per device,
// whose usbdevfs ioctls are answered here with the same packet rules as the
// emulated bus (short packets end an IN transfer, a full reply is followed by
// a zero-length packet, more than the buffer holds is an overflow), and
// uevents for plug and unplug. The process must run under umockdev's preload
// (tests/platform/usb/libusb/under_umockdev).

#include <memory>
#include <string>
#include <vector>

#include "emulators/usb/bus/emulated_device.h"

namespace kovrin::testing {

class UsbfsBus {
public:
    UsbfsBus();
    ~UsbfsBus();
    UsbfsBus(const UsbfsBus&) = delete;
    UsbfsBus& operator=(const UsbfsBus&) = delete;

    // Adds the device, configured as the kernel leaves a new device unless
    // `configured` is false, and announces it with an "add" uevent: a running
    // libusb sees it arrive, one started later finds it present. Returns the port.
    int Plug(std::shared_ptr<platform::usb::EmulatedDevice> device, bool configured = true);
    // Transfers in flight fail as on a real unplug; a "remove" uevent follows.
    void Unplug(int port);

    void Stall(int port, uint8_t endpoint);

    // ---- what the host did
    int SetConfigurationCount(int port);
    bool InterfaceClaimed(int port);
    int ClearHaltCount(int port, uint8_t endpoint);
    int DiscardCount(int port);
    size_t PendingUrbs(int port);
    // Opens of the device node still not closed.
    int OpenHandles(int port);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace kovrin::testing
