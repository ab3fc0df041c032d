#include "emulators/usb/bus/emulated_machine.h"

#include "platform/host.h"

namespace kovrin::platform {

EmulatedMachine::EmulatedMachine() : Machine(std::make_unique<usb::EmulatedBus>()) {}

usb::EmulatedBus& EmulatedMachine::Emulated()
{
    // Made with it, and nothing replaces a machine's bus.
    return static_cast<usb::EmulatedBus&>(Backend());
}

DeviceNode* EmulatedMachine::NodeOfPort(int port)
{
    auto backend = Emulated().BackendOf(port);
    if (!backend)
        return nullptr;
    DeviceObject* pdo = Bus().PhysicalDeviceOf(backend.get());
    return pdo ? Pnp().NodeOf(pdo) : nullptr;
}

uint32_t EmulatedMachine::DevicePowerStateOfPort(int port)
{
    auto backend = Emulated().BackendOf(port);
    return backend ? Bus().DevicePowerStateOf(backend.get()) : 0;
}

}  // namespace kovrin::platform

namespace kovrin::platform::host {

usb::EmulatedBus* EmulatedBus()
{
    return dynamic_cast<usb::EmulatedBus*>(Backend());
}

}  // namespace kovrin::platform::host
