#pragma once
// An emulated device of the family whose replies are given bytes: each request
// and each read that finds nothing waiting takes the next reply of the script;
// with the script used up it answers with an empty reply, so nothing waits
// for a time-out.

#include <deque>
#include <mutex>
#include <vector>

#include "driver/qelusb_public.h"
#include "emulators/usb/bus/simple_device.h"

namespace kovrin::fuzz {

class ScriptedDevice : public platform::usb::EmulatedDevice {
public:
    using Bytes = std::vector<uint8_t>;
    static constexpr uint8_t kOut = 0x01;
    static constexpr uint8_t kIn = 0x81;

    explicit ScriptedDevice(uint16_t productId)
    {
        config_.VendorId = qelusb::UsbVendorId;
        config_.ProductId = productId;
        config_.Endpoints = {{kOut, 64}, {kIn, 64}};
    }

    // Replaces the script; forgets the replies served so far.
    void Script(std::deque<Bytes> replies)
    {
        std::lock_guard<std::mutex> guard(lock_);
        script_ = std::move(replies);
        served_.clear();
    }
    std::vector<Bytes> Served()
    {
        std::lock_guard<std::mutex> guard(lock_);
        return served_;
    }

    std::vector<uint8_t> DeviceDescriptor() override { return platform::usb::DeviceDescriptorOf(config_); }
    std::vector<uint8_t> ConfigurationDescriptor() override
    {
        return platform::usb::ConfigurationDescriptorOf(config_);
    }
    platform::usb::PowerCapabilities Power() override { return config_.Power; }
    platform::usb::OutResult OnOutTransfer(uint8_t, std::span<const uint8_t>, platform::usb::DeviceSide& side) override
    {
        Answer(side);
        return platform::usb::OutResult::Accept;
    }
    void OnInTransfer(uint8_t, platform::usb::DeviceSide& side) override { Answer(side); }

private:
    void Answer(platform::usb::DeviceSide& side)
    {
        std::lock_guard<std::mutex> guard(lock_);
        Bytes reply;
        if (!script_.empty()) {
            reply = std::move(script_.front());
            script_.pop_front();
        }
        served_.push_back(reply);
        side.SendIn(kIn, reply);
    }

    platform::usb::SimpleDeviceConfig config_;
    std::mutex lock_;
    std::deque<Bytes> script_;
    std::vector<Bytes> served_;
};

}  // namespace kovrin::fuzz
