#pragma once
// The library started with one of the family's emulated devices, opened for
// commands; what the device received is in its request log.

#include <memory>

#include "emulators/usb/knurl_emulator.h"
#include "emulators/usb/module_emulator.h"
#include "tests/usblib/usblib_fixture.h"

namespace kovrin::usblib::testing {

using emulator::usb::KnurlEmulator;
using emulator::usb::ModuleEmulator;
using emulator::usb::UsbEmulatorDevice;
using emulator::usb::UsbFault;
using emulator::usb::UsbFaultKind;
using Bytes = std::vector<uint8_t>;

// Transfers that are meant to run out of time do so after a tenth of a second.
constexpr double kShortTimeLimits = 0.01;

class EmulatorExportsTest : public UsbLibTest {
protected:
    // Plugs the device, starts the library and opens the device.
    UsbDevice OpenEmulator(std::shared_ptr<UsbEmulatorDevice> device)
    {
        port_ = bus_->Plug(device);
        ports_.push_back(port_);
        host::WaitIdle();
        EXPECT_EQ(Initialise(), 1);
        EXPECT_FALSE(events_.empty());
        UsbDevice handle = events_.empty() ? 0 : events_.back().Device;
        EXPECT_EQ(VoskUsb_OpenDevice(handle), USB_RESULT_SUCCESS);
        return handle;
    }

    // Hands the replies a LateReply fault held back to the host now.
    void ReleaseLateReplies(UsbEmulatorDevice& device)
    {
        for (const Bytes& reply : device.TakeHeldReplies())
            bus_->SendIn(port_, emulator::usb::kInEndpoint, reply);
        host::WaitIdle();
    }
};

}  // namespace kovrin::usblib::testing
