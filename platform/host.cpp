#include "platform/host.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>

#include "platform/machine.h"
#include "platform/usb/emulated/device_registry.h"
#include "platform/usb/libusb/libusb_bus.h"

namespace kovrin::platform::host {

namespace {

std::mutex hostLock;
std::shared_ptr<Machine> machine;  // guarded by hostLock
bool shutDown = false;       // guarded by hostLock

// Real devices, as far as the driver is installed for them.
std::unique_ptr<usb::BusBackend> RealBus(const DriverInstallation& driver)
{
    usb::LibusbBusOptions options;
    options.Devices = driver.Ids;
    return usb::MakeLibusbBus(std::move(options));
}

std::string Environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

void PlugNamedDevices(usb::EmulatedBus& bus, const std::string& list)
{
    for (const usb::EmulatedDeviceRequest& request : usb::ParseEmulatedDeviceList(list)) {
        std::string error;
        std::shared_ptr<usb::EmulatedDevice> device = usb::MakeEmulatedDevice(request, error);
        if (device)
            bus.Plug(device);
        else
            std::fprintf(stderr, "QELUSB_EMULATED: %s; left out\n", error.c_str());
    }
}

}  // namespace

bool Start(const DriverInstallation& driver)
{
    std::lock_guard<std::mutex> guard(hostLock);
    if (machine)
        return true;
    if (shutDown)
        return false;
    const std::string bus = Environment("QELUSB_BUS");
    std::unique_ptr<usb::BusBackend> backend;
    if (bus == "emulated") {
        backend = std::make_unique<usb::EmulatedBus>();
    } else if (bus.empty()) {
        backend = RealBus(driver);
    } else {
        std::fprintf(stderr, "QELUSB_BUS=%s: unknown bus; set it to \"emulated\" or leave it unset\n", bus.c_str());
        return false;
    }
    // The driver goes in before the bus reports anything, so devices present at start find it.
    machine = std::make_shared<Machine>(std::move(backend), [&driver](Machine& m) {
        m.Pnp().SetDriverDirectory(driver.Directory);
        m.Pnp().InstallDriver(driver.Name, driver.Ids);
    });
    if (bus == "emulated") {
        PlugNamedDevices(machine->Emulated(), Environment("QELUSB_EMULATED"));
        machine->WaitIdle();  // present, with their driver started, before anyone looks
    }
    std::atexit(Shutdown);
    return true;
}

usb::EmulatedBus* EmulatedBus()
{
    std::lock_guard<std::mutex> guard(hostLock);
    return machine ? dynamic_cast<usb::EmulatedBus*>(&machine->Backend()) : nullptr;
}

void WaitIdle()
{
    std::shared_ptr<Machine> running;
    {
        std::lock_guard<std::mutex> guard(hostLock);
        running = machine;
    }
    if (running)
        running->WaitIdle();
}

void Shutdown()
{
    std::shared_ptr<Machine> stopping;
    {
        std::lock_guard<std::mutex> guard(hostLock);
        stopping = std::move(machine);
        shutDown = true;
    }
}

}  // namespace kovrin::platform::host
