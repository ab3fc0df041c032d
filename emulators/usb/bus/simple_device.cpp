#include "emulators/usb/bus/simple_device.h"

#include "platform/kernel/power_types.h"
#include "platform/usb/descriptors.h"

namespace kovrin::platform::usb {

PowerCapabilities SimpleDeviceConfig::DefaultPower()
{
    PowerCapabilities power;
    power.DeviceState = {DeviceStateUnspecified, D0, D2, D2,
                         D2,          D3, D3};
    power.DeviceWake = D2;
    power.SystemWake = SystemSleeping3;
    return power;
}

SimpleDevice::SimpleDevice(SimpleDeviceConfig config) : config_(std::move(config)) {}

void SimpleDevice::SetMode(Mode mode)
{
    std::lock_guard<std::mutex> guard(lock_);
    mode_ = mode;
}

void SimpleDevice::QueueReply(std::vector<uint8_t> reply)
{
    std::lock_guard<std::mutex> guard(lock_);
    replies_.push_back(std::move(reply));
}

void SimpleDevice::SetZeroLengthPacketAfterFull(bool on)
{
    std::lock_guard<std::mutex> guard(lock_);
    zlpAfterFull_ = on;
}

std::vector<std::vector<uint8_t>> SimpleDevice::Received()
{
    std::lock_guard<std::mutex> guard(lock_);
    return received_;
}

std::vector<uint8_t> DeviceDescriptorOf(const SimpleDeviceConfig& config)
{
    const auto lo = [](uint16_t v) { return uint8_t(v); };
    const auto hi = [](uint16_t v) { return uint8_t(v >> 8); };
    return {18,   DescriptorTypeDevice, 0x00, 0x02, 0, 0, 0, 64, lo(config.VendorId), hi(config.VendorId),
            lo(config.ProductId), hi(config.ProductId), lo(config.DeviceRelease), hi(config.DeviceRelease),
            0, 0, 0, 1};
}

std::vector<uint8_t> ConfigurationDescriptorOf(const SimpleDeviceConfig& config)
{
    std::vector<uint8_t> d = {9, DescriptorTypeConfiguration, 0, 0, 1, 1, 0, 0xA0, 50};
    d.insert(d.end(), {9, DescriptorTypeInterface, 0, 0, uint8_t(config.Endpoints.size()), 0xFF, 0, 0, 0});
    for (const auto& e : config.Endpoints)
        d.insert(d.end(), {7, DescriptorTypeEndpoint, e.Address, 2, uint8_t(e.MaximumPacketSize),
                           uint8_t(e.MaximumPacketSize >> 8), 0});
    // Padding: vendor-specific descriptors of at most 255 bytes, none shorter than 2.
    size_t missing = config.ConfigurationLength > d.size() ? config.ConfigurationLength - d.size() : 0;
    while (missing > 0) {
        size_t piece = missing > 255 ? 255 : missing;
        if (missing - piece == 1)
            --piece;
        if (piece < 2)
            piece = 2;
        d.push_back(uint8_t(piece));
        d.push_back(0xFF);
        d.insert(d.end(), piece - 2, 0x5A);
        missing -= piece < missing ? piece : missing;
    }
    d[2] = uint8_t(d.size());
    d[3] = uint8_t(d.size() >> 8);
    return d;
}

std::vector<uint8_t> SimpleDevice::DeviceDescriptor() { return DeviceDescriptorOf(config_); }

std::vector<uint8_t> SimpleDevice::ConfigurationDescriptor() { return ConfigurationDescriptorOf(config_); }

PowerCapabilities SimpleDevice::Power() { return config_.Power; }

std::string SimpleDevice::InstanceId() { return config_.InstanceId; }

uint8_t SimpleDevice::FirstInEndpoint() const
{
    for (const auto& e : config_.Endpoints)
        if (e.Address & 0x80)
            return e.Address;
    return 0;
}

OutResult SimpleDevice::OnOutTransfer(uint8_t, std::span<const uint8_t> data, DeviceSide& side)
{
    std::lock_guard<std::mutex> guard(lock_);
    received_.emplace_back(data.begin(), data.end());
    uint8_t in = FirstInEndpoint();
    if (!in)
        return OutResult::Accept;
    if (!replies_.empty()) {
        side.SendIn(in, replies_.front(), zlpAfterFull_);
        replies_.pop_front();
    } else if (mode_ == Mode::Echo) {
        side.SendIn(in, std::vector<uint8_t>(data.begin(), data.end()), zlpAfterFull_);
    }
    return OutResult::Accept;
}

}  // namespace kovrin::platform::usb
