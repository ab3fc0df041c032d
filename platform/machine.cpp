#include "platform/machine.h"

#include <cstdio>
#include <cstdlib>

#include "platform/user/user_io.h"

namespace kovrin::platform {

Machine::Machine() : Machine(std::make_unique<usb::EmulatedBus>()) {}

Machine::Machine(std::unique_ptr<usb::BusBackend> backend, const std::function<void(Machine&)>& prepare)
    : backend_(std::move(backend))
{
    system_ = std::make_unique<System>();
    if (prepare)
        prepare(*this);
    busDriver_ = std::make_unique<usb::BusDriver>(*backend_);
}

Machine::~Machine()
{
    user::CloseAllHandles();
    backend_->Stop();
    system_->WaitIdle();
    busDriver_.reset();
    system_.reset();
    backend_.reset();
}

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
