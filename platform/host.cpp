#include "platform/host.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>

#include "platform/machine.h"
#include "platform/usb/libusb/libusb_bus.h"
#include "platform/usb/named_bus.h"

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

// The emulated bus with the devices QELUSB_EMULATED names, from the emulators'
// library beside the driver: loaded only for it, and never unloaded, since
// the devices it makes live as long as the machine.
std::unique_ptr<usb::BusBackend> NamedDevicesBus(const std::string& directory)
{
    const std::string path = directory + "/" + usb::kEmulatorLibrary;
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        std::fprintf(stderr, "QELUSB_BUS=emulated: cannot load the emulators: %s\n", dlerror());
        return nullptr;
    }
    auto make = reinterpret_cast<usb::MakeNamedBusFunction>(dlsym(library, usb::kMakeNamedBus));
    if (!make) {
        std::fprintf(stderr, "QELUSB_BUS=emulated: %s has no %s\n", path.c_str(), usb::kMakeNamedBus);
        return nullptr;
    }
    return std::unique_ptr<usb::BusBackend>(make(Environment("QELUSB_EMULATED").c_str()));
}

}  // namespace

bool Start(const DriverInstallation& driver)
{
    std::lock_guard<std::mutex> guard(hostLock);
    if (machine) {
        if (machine->Backend().UserStartedAgain())
            machine->WaitIdle();
        return true;
    }
    if (shutDown)
        return false;
    const std::string bus = Environment("QELUSB_BUS");
    std::unique_ptr<usb::BusBackend> backend;
    if (bus == "emulated") {
        backend = NamedDevicesBus(driver.Directory);
        if (!backend)
            return false;
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
    if (bus == "emulated")
        machine->WaitIdle();  // present, with their driver started, before anyone looks
    std::atexit(Shutdown);
    return true;
}

usb::BusBackend* Backend()
{
    std::lock_guard<std::mutex> guard(hostLock);
    return machine ? &machine->Backend() : nullptr;
}

bool Running()
{
    std::lock_guard<std::mutex> guard(hostLock);
    return machine != nullptr;
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
