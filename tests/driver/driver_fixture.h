#pragma once
// A machine with QelUsb installed, the minimal programming module, and the
// user-mode calls the library will make.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "driver/qelusb_public.h"
#include "emulators/usb/bus/emulated_machine.h"
#include "emulators/usb/bus/simple_device.h"
#include "platform/kernel/io_manager.h"
#include "platform/kernel/level.h"
#include "platform/kernel/pool.h"
#include "platform/kernel/power_manager.h"
#include "platform/usb/descriptors.h"
#include "platform/user/user_io.h"

namespace kovrin::qelusb::testing {

using namespace kovrin::platform;
using namespace kovrin::platform::usb;
using namespace kovrin::platform::user;

constexpr uint32_t kPoolTag = MakePoolTag("Wdm ");  // the driver's
constexpr uint8_t kOut = 0x01;
constexpr uint8_t kIn = 0x81;

// The programming module as far as the driver needs it: UsbVendorId, product
// 0x0200, one interface with bulk OUT 0x01 and bulk IN 0x81 of 64 bytes; it echoes.
inline SimpleDeviceConfig MinimalModule()
{
    SimpleDeviceConfig config;
    config.VendorId = UsbVendorId;
    config.ProductId = ProductProgrammingModule;
    config.Endpoints = {{kOut, 64}, {kIn, 64}};
    return config;
}

class DriverTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ClearViolations();
        pool_faults::Reset();
        auto machine = std::make_unique<EmulatedMachine>();
        emulated_ = machine.get();
        machine_ = std::move(machine);
        machine_->Pnp().InstallDriver(kDriverName, DriverHardwareIds());
    }

    void TearDown() override
    {
        emulated_ = nullptr;
        machine_.reset();
        EXPECT_EQ(OutstandingPoolBlocks(), 0u) << "pool left allocated";
        EXPECT_EQ(Violations(), std::vector<std::string>{});
    }

    // The machine on the emulated bus that SetUp made.
    EmulatedMachine& Emulated() { return *emulated_; }
    EmulatedBus& Bus() { return Emulated().Emulated(); }
    PnpManager& Pnp() { return machine_->Pnp(); }

    // Plugs a device and waits until its arrival has been handled.
    int Plug(const SimpleDeviceConfig& config = MinimalModule())
    {
        device_ = std::make_shared<SimpleDevice>(config);
        int port = Bus().Plug(device_);
        machine_->WaitIdle();
        return port;
    }

    std::string OnlyInterface()
    {
        std::vector<std::string> paths = EnumerateInterfaces(QelUsbInterfaceGuid);
        EXPECT_EQ(paths.size(), 1u);
        return paths.empty() ? std::string() : paths[0];
    }

    Handle OpenOk(const std::string& path)
    {
        Handle handle = kInvalidHandle;
        EXPECT_EQ(Open(path, &handle), Status::Success) << path;
        return handle;
    }

    Status OpenStatus(const std::string& path)
    {
        Handle handle = kInvalidHandle;
        Status status = Open(path, &handle);
        if (IsSuccess(status))
            Close(handle);
        return status;
    }

    std::vector<uint8_t> Bytes(size_t n, uint8_t seed = 1)
    {
        std::vector<uint8_t> data(n);
        for (size_t i = 0; i < n; ++i)
            data[i] = uint8_t(seed + i * 7);
        return data;
    }

    // Writes `data` and reads the echo into a buffer of `capacity`.
    std::vector<uint8_t> Exchange(Handle out, Handle in, const std::vector<uint8_t>& data, size_t capacity = 4096)
    {
        size_t written = 0;
        EXPECT_EQ(WriteSync(out, data.data(), data.size(), &written), Status::Success);
        EXPECT_EQ(written, data.size());
        std::vector<uint8_t> reply(capacity);
        size_t read = 0;
        EXPECT_EQ(ReadSync(in, reply.data(), reply.size(), &read), Status::Success);
        reply.resize(read);
        return reply;
    }

    uint32_t PowerState(int port) { return Emulated().DevicePowerStateOfPort(port); }

    std::unique_ptr<Machine> machine_;
    EmulatedMachine* emulated_ = nullptr;
    std::shared_ptr<SimpleDevice> device_;
};

// Interface information fields are little-endian, at fixed offsets in the block.
inline uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
inline uint32_t Le32(const uint8_t* p) { return uint32_t(p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24); }

}  // namespace kovrin::qelusb::testing
