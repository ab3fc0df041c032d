#pragma once
// The library on the emulated bus, started from the test's thread; devices of
// the tests' own plugged and unplugged through the host; the callback's events
// recorded. Waits are for events: Settle() returns once every notice the
// machine produced has been dispatched.

#include <gtest/gtest.h>
#include <poll.h>

#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "driver/qelusb_public.h"
#include "emulators/usb/bus/emulated_machine.h"
#include "emulators/usb/bus/simple_device.h"
#include "platform/host.h"
#include "platform/user/message_queue.h"
#include "platform/user/time_limits.h"
#include "usblib/device_manager.h"
#include "usblib/qel_usb.h"
#include "usblib/transport.h"

namespace kovrin::usblib::testing {

using namespace kovrin::platform;
using namespace kovrin::platform::usb;

constexpr uint8_t kOut = 0x01;
constexpr uint8_t kIn = 0x81;

inline SimpleDeviceConfig DeviceOf(uint16_t product, uint16_t vendor = qelusb::UsbVendorId)
{
    SimpleDeviceConfig config;
    config.VendorId = vendor;
    config.ProductId = product;
    config.Endpoints = {{kOut, 64}, {kIn, 64}};
    return config;
}
inline SimpleDeviceConfig Kdu() { return DeviceOf(qelusb::ProductProgrammingModule); }

struct DeviceEvent {
    UsbDevice Device;
    int32_t Event;
    DeviceType Type;
    std::thread::id Thread;
};

class UsbLibTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(StartHost());
        bus_ = host::EmulatedBus();
        ASSERT_NE(bus_, nullptr) << "the tests run on the emulated bus (QELUSB_BUS=emulated)";
        current_ = this;
    }

    void TearDown() override
    {
        VoskUsb_Remove();
        for (int port : ports_)
            bus_->Unplug(port);
        Settle();
        user::SetTimeLimitScale(1);
        current_ = nullptr;
    }

    int Plug(const SimpleDeviceConfig& config = Kdu())
    {
        device_ = std::make_shared<SimpleDevice>(config);
        int port = bus_->Plug(device_);
        ports_.push_back(port);
        host::WaitIdle();
        return port;
    }

    // Until the machine is idle and no notification waits.
    static void Settle()
    {
        for (;;) {
            host::WaitIdle();
            int descriptor = VoskUsb_NotificationDescriptor();
            if (descriptor < 0)
                return;
            pollfd waiting{descriptor, POLLIN, 0};
            if (poll(&waiting, 1, 0) <= 0)
                return;
            VoskUsb_DispatchNotifications();
        }
    }

    int32_t Initialise() { return VoskUsb_Initialise(&Callback); }

    // Starts the library with one device present; returns its handle.
    UsbDevice StartWithOne(const SimpleDeviceConfig& config = Kdu())
    {
        port_ = Plug(config);
        EXPECT_EQ(Initialise(), 1);
        EXPECT_EQ(events_.size(), 1u);
        return events_.empty() ? 0 : events_[0].Device;
    }

    UsbDevice OpenOne(const SimpleDeviceConfig& config = Kdu())
    {
        UsbDevice device = StartWithOne(config);
        EXPECT_EQ(VoskUsb_OpenDevice(device), USB_RESULT_SUCCESS);
        return device;
    }

    std::vector<uint8_t> Read(UsbDevice device, UsbResult expected = USB_RESULT_SUCCESS, uint32_t capacity = 4096)
    {
        std::vector<uint8_t> buffer(capacity);
        uint32_t count = 0;
        EXPECT_EQ(PipeRead(device, buffer.data(), capacity, &count), expected);
        buffer.resize(count);
        return buffer;
    }

    void Write(UsbDevice device, const std::vector<uint8_t>& bytes, UsbResult expected = USB_RESULT_SUCCESS)
    {
        EXPECT_EQ(PipeWrite(device, bytes.data(), uint32_t(bytes.size())), expected);
    }

    static void Callback(UsbDevice device, int32_t event, DeviceType type)
    {
        UsbLibTest& test = *current_;
        test.events_.push_back({device, event, type, std::this_thread::get_id()});
        if (test.onEvent_)
            test.onEvent_(device, event);
    }

    static inline UsbLibTest* current_ = nullptr;
    EmulatedBus* bus_ = nullptr;
    std::vector<int> ports_;
    int port_ = 0;
    std::shared_ptr<SimpleDevice> device_;
    std::vector<DeviceEvent> events_;
    std::function<void(UsbDevice, int32_t)> onEvent_;
};

}  // namespace kovrin::usblib::testing
