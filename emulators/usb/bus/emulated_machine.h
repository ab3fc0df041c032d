#pragma once
// The platform's machine on the emulated bus, for the tests and benchmarks
// that plug devices into it themselves, and the emulated bus of the machine
// that a process hosts (platform/host.h).

#include <cstdint>

#include "emulators/usb/bus/emulated_bus.h"
#include "platform/machine.h"

namespace kovrin::platform {

class EmulatedMachine : public Machine {
public:
    EmulatedMachine();

    usb::EmulatedBus& Emulated();
    DeviceNode* NodeOfPort(int port);
    uint32_t DevicePowerStateOfPort(int port);
};

}  // namespace kovrin::platform

namespace kovrin::platform::host {

// The running machine's emulated bus; null with the real bus or no machine.
usb::EmulatedBus* EmulatedBus();

}  // namespace kovrin::platform::host
