#pragma once
// One emulated computer: the kernel model with its threads, the USB bus driver
// and a bus backend (the emulators' EmulatedMachine gives it the emulated bus).

#include <functional>
#include <memory>

#include "platform/kernel/pnp_manager.h"
#include "platform/kernel/system.h"
#include "platform/usb/backend.h"
#include "platform/usb/bus_driver.h"

namespace kovrin::platform {

class Machine {
public:
    // `prepare` runs before the bus reports its first device: the place to
    // install drivers, so that devices present at start find theirs.
    explicit Machine(std::unique_ptr<usb::BusBackend> backend, const std::function<void(Machine&)>& prepare = {});
    // Closes the handles still open, unplugs every device, lets removal finish.
    virtual ~Machine();
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;

    System& Kernel() { return *system_; }
    PnpManager& Pnp() { return system_->Pnp(); }
    usb::BusDriver& Bus() { return *busDriver_; }
    usb::BusBackend& Backend() { return *backend_; }

    // Until nothing is queued or running anywhere (held completions aside).
    void WaitIdle() { system_->WaitIdle(); }

private:
    std::unique_ptr<usb::BusBackend> backend_;
    std::unique_ptr<System> system_;
    std::unique_ptr<usb::BusDriver> busDriver_;
};

}  // namespace kovrin::platform
