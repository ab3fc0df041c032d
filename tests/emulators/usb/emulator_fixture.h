#pragma once
// An emulated computer with QelUsb installed and one emulated device plugged
// in, reached as a program reaches it: through the driver's pipe files.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "driver/qelusb_public.h"
#include "emulators/usb/bus/emulated_machine.h"
#include "emulators/usb/usb_emulator_device.h"
#include "platform/user/user_io.h"
#include "tests/support/byte_runs.h"

namespace kovrin::emulator::usb::testing {

using namespace kovrin::platform;
using namespace kovrin::platform::user;

class EmulatorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        machine_ = std::make_unique<EmulatedMachine>();
        machine_->Pnp().InstallDriver(qelusb::kDriverName, qelusb::DriverHardwareIds());
    }

    void TearDown() override
    {
        CloseHandles();
        machine_.reset();
    }

    platform::usb::EmulatedBus& Bus() { return machine_->Emulated(); }

    // Plugs the device, waits until the driver has it and opens its two pipes.
    void Plug(std::shared_ptr<UsbEmulatorDevice> device)
    {
        device_ = device;
        port_ = Bus().Plug(device);
        machine_->WaitIdle();
        std::vector<std::string> paths = EnumerateInterfaces(qelusb::QelUsbInterfaceGuid);
        ASSERT_EQ(paths.size(), 1u);
        path_ = paths[0];
        ASSERT_EQ(Open(path_ + "\\0", &out_), Status::Success);
        ASSERT_EQ(Open(path_ + "\\1", &in_), Status::Success);
    }

    void CloseHandles()
    {
        for (Handle* h : {&in_, &out_})
            if (*h != kInvalidHandle) {
                Close(*h);
                *h = kInvalidHandle;
            }
    }

    Status Send(const std::vector<uint8_t>& request)
    {
        size_t written = 0;
        return WriteSync(out_, request.data(), request.size(), &written);
    }

    // One reply, as one read of up to 4096 bytes.
    std::vector<uint8_t> Receive()
    {
        std::vector<uint8_t> reply(4096);
        size_t read = 0;
        EXPECT_EQ(ReadSync(in_, reply.data(), reply.size(), &read), Status::Success);
        reply.resize(read);
        return reply;
    }

    std::vector<uint8_t> Exchange(const std::vector<uint8_t>& request)
    {
        EXPECT_EQ(Send(request), Status::Success);
        return Receive();
    }

    std::unique_ptr<EmulatedMachine> machine_;
    std::shared_ptr<UsbEmulatorDevice> device_;
    int port_ = 0;
    std::string path_;
    Handle out_ = kInvalidHandle;
    Handle in_ = kInvalidHandle;
};

using Bytes = std::vector<uint8_t>;
using test::Join;
using test::Pattern;

}  // namespace kovrin::emulator::usb::testing
