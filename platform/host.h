#pragma once
// The machine that a process hosts its drivers on. The first user makes it,
// installs its driver and selects the bus from the environment:
//   QELUSB_BUS=emulated   the emulated bus, with the devices that QELUSB_EMULATED
//                         names ("kdu:/seed/folder,knurl@2-5"), from the emulators'
//                         library beside the driver (usb/named_bus.h)
//   QELUSB_BUS unset      the real USB devices
// It lives until the process exits, where it is shut down once.

#include <string>
#include <vector>

#include "platform/kernel/pnp_manager.h"
#include "platform/usb/backend.h"

namespace kovrin::platform::host {

struct DriverInstallation {
    std::string Name;  // the driver's shared object, without ".so"
    std::vector<HardwareId> Ids;
    std::string Directory;
};

// True once the machine runs; the first call makes it with `driver`. A later
// call is its user starting again: the bus's device times count from it, and
// the devices have come or gone as at the first start before it returns.
// False, with the reason on stderr, when the bus that the environment names
// cannot be set up.
bool Start(const DriverInstallation& driver);

// The running machine's bus; null with no machine.
usb::BusBackend* Backend();
bool Running();
// Until everything the machine set going has settled (plug-ins, removals, notices).
void WaitIdle();
// Closes what is still open and unplugs every device. Registered to run at
// exit by the first Start; later calls do nothing.
void Shutdown();

}  // namespace kovrin::platform::host
