// The machine's members that name the emulated bus, built into the emulators'
// library so that the platform itself holds no emulator code.

#include <cstdio>
#include <cstdlib>

#include "platform/machine.h"
#include "platform/usb/emulated/emulated_bus.h"

namespace kovrin::platform {

Machine::Machine() : Machine(std::make_unique<usb::EmulatedBus>()) {}

usb::EmulatedBus& Machine::Emulated()
{
    auto* bus = dynamic_cast<usb::EmulatedBus*>(backend_.get());
    if (!bus) {
        std::fprintf(stderr, "platform: this machine has no emulated bus\n");
        std::abort();
    }
    return *bus;
}

DeviceNode* Machine::NodeOfPort(int port)
{
    auto backend = Emulated().BackendOf(port);
    if (!backend)
        return nullptr;
    DeviceObject* pdo = busDriver_->PhysicalDeviceOf(backend.get());
    return pdo ? Pnp().NodeOf(pdo) : nullptr;
}

uint32_t Machine::DevicePowerStateOfPort(int port)
{
    auto backend = Emulated().BackendOf(port);
    return backend ? busDriver_->DevicePowerStateOf(backend.get()) : 0;
}

}  // namespace kovrin::platform
