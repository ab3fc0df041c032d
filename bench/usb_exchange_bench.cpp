// Request/reply exchanges through the library's transport against a module on
// the emulated bus with its frame clock on (1 ms frames, at most 19 packets of
// 64 bytes each): exchanges and reply bytes per second for several reply
// sizes, and the measured time against the least time the frames allow.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench/frame_clock.h"
#include "driver/qelusb_public.h"
#include "emulators/usb/bus/emulated_machine.h"
#include "emulators/usb/bus/simple_device.h"
#include "platform/host.h"
#include "usblib/device_manager.h"
#include "usblib/transport.h"

namespace {

using namespace kovrin;
using platform::usb::EmulatedBus;

constexpr uint8_t kOut = 0x01;
constexpr uint8_t kIn = 0x81;
using bench::kPacketSize;
constexpr uint32_t kReadCapacity = 4096;
const std::vector<uint8_t> kRequest = {0x34, 0x00, 0x01};

// A module that answers every request with a reply of the size set.
class ReplyDevice : public platform::usb::SimpleDevice {
public:
    ReplyDevice() : SimpleDevice(Config()) {}
    void SetReplySize(uint32_t size) { size_ = size; }

    platform::usb::OutResult OnOutTransfer(uint8_t, std::span<const uint8_t>, platform::usb::DeviceSide& side) override
    {
        side.SendIn(kIn, std::vector<uint8_t>(size_.load(), 0xA5));
        return platform::usb::OutResult::Accept;
    }

private:
    static platform::usb::SimpleDeviceConfig Config()
    {
        platform::usb::SimpleDeviceConfig config;
        config.VendorId = qelusb::UsbVendorId;
        config.ProductId = qelusb::ProductProgrammingModule;
        config.Endpoints = {{kOut, kPacketSize}, {kIn, kPacketSize}};
        return config;
    }

    std::atomic<uint32_t> size_{8};
};

UsbDevice module = 0;
void Arrived(UsbDevice device, int32_t event, DeviceType)
{
    if (event == USB_DEVICE_ARRIVED)
        module = device;
}

uint32_t LeastFramesPerExchange(uint32_t replySize)
{
    return bench::LeastFramesPerExchange(uint32_t(kRequest.size()), replySize, kReadCapacity);
}

bool Exchange(uint32_t replySize)
{
    static std::vector<uint8_t> reply(kReadCapacity);
    uint32_t count = 0;
    return usblib::PipeWrite(module, kRequest.data(), uint32_t(kRequest.size())) == USB_RESULT_SUCCESS &&
           usblib::PipeRead(module, reply.data(), kReadCapacity, &count) == USB_RESULT_SUCCESS && count == replySize;
}

}  // namespace

int main()
{
    setenv("QELUSB_BUS", "emulated", 1);
    unsetenv("QELUSB_EMULATED");
    if (!usblib::StartHost() || !platform::host::EmulatedBus()) {
        std::fprintf(stderr, "usb-exchange-bench: no emulated bus\n");
        return 1;
    }
    EmulatedBus& bus = *platform::host::EmulatedBus();
    auto device = std::make_shared<ReplyDevice>();
    bus.Plug(device);
    platform::host::WaitIdle();
    if (VoskUsb_Initialise(&Arrived) != 1 || !module || VoskUsb_OpenDevice(module) != USB_RESULT_SUCCESS) {
        std::fprintf(stderr, "usb-exchange-bench: the module was not found or did not open\n");
        return 1;
    }
    bus.SetFrameClock(true);

    std::printf("request %zu bytes; frames of 1 ms, at most %d packets of %u bytes; reads of up to %u bytes\n",
                kRequest.size(), EmulatedBus::kPacketsPerFrame, kPacketSize, kReadCapacity);
    std::printf("%8s %10s %12s %14s %12s %12s %8s\n", "reply", "exchanges", "exchanges/s", "reply bytes/s",
                "least (ms)", "measured", "ratio");
    bool goalMet = true;
    for (uint32_t size : {8u, 64u, 255u, 4096u}) {
        device->SetReplySize(size);
        const uint32_t frames = LeastFramesPerExchange(size);
        const int exchanges = int(1500 / frames);  // about 1.5 s of frames each
        for (int i = 0; i < 20; ++i)
            if (!Exchange(size)) {
                std::fprintf(stderr, "usb-exchange-bench: an exchange of %u bytes failed\n", size);
                return 1;
            }
        auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < exchanges; ++i)
            if (!Exchange(size)) {
                std::fprintf(stderr, "usb-exchange-bench: an exchange of %u bytes failed\n", size);
                return 1;
            }
        double measured = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        double least = exchanges * frames * 1e-3;
        double ratio = least / measured;
        goalMet = goalMet && ratio >= 0.8;
        std::printf("%8u %10d %12.1f %14.0f %12.0f %12.0f %8.3f\n", size, exchanges, exchanges / measured,
                    exchanges * double(size) / measured, least * 1e3, measured * 1e3, ratio);
    }
    std::printf("ratio = least time / measured time; goal: 0.8 or more for every size: %s\n",
                goalMet ? "met" : "NOT met");
    VoskUsb_Remove();
    return 0;
}
