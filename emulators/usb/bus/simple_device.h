#pragma once
// A small configurable emulated device: descriptors built from a few fields,
// one interface with bulk endpoints; it echoes each OUT transfer on its first
// IN endpoint, answers with queued fixed replies instead, or stays silent.

#include <deque>
#include <mutex>

#include "emulators/usb/bus/emulated_device.h"

namespace kovrin::platform::usb {

struct SimpleDeviceConfig {
    uint16_t VendorId = 0;
    uint16_t ProductId = 0;
    uint16_t DeviceRelease = 0x0100;
    struct Endpoint {
        uint8_t Address;
        uint16_t MaximumPacketSize;
    };
    std::vector<Endpoint> Endpoints{{0x01, 64}, {0x81, 64}};
    // Padded with vendor-specific descriptors up to this total length (0: no padding).
    uint16_t ConfigurationLength = 0;
    PowerCapabilities Power = DefaultPower();
    std::string InstanceId;

    static PowerCapabilities DefaultPower();
};

// The descriptors of a device built from `config`; other emulated devices use them too.
std::vector<uint8_t> DeviceDescriptorOf(const SimpleDeviceConfig& config);
std::vector<uint8_t> ConfigurationDescriptorOf(const SimpleDeviceConfig& config);

class SimpleDevice : public EmulatedDevice {
public:
    enum class Mode { Echo, Silent };

    explicit SimpleDevice(SimpleDeviceConfig config);

    void SetMode(Mode mode);
    // The next OUT transfer is answered with `reply` (in place of the echo).
    void QueueReply(std::vector<uint8_t> reply);
    void SetZeroLengthPacketAfterFull(bool on);
    // OUT transfers received so far.
    std::vector<std::vector<uint8_t>> Received();

    std::vector<uint8_t> DeviceDescriptor() override;
    std::vector<uint8_t> ConfigurationDescriptor() override;
    PowerCapabilities Power() override;
    std::string InstanceId() override;
    OutResult OnOutTransfer(uint8_t endpoint, std::span<const uint8_t> data, DeviceSide& side) override;

private:
    uint8_t FirstInEndpoint() const;

    const SimpleDeviceConfig config_;
    std::mutex lock_;
    Mode mode_ = Mode::Echo;
    bool zlpAfterFull_ = true;
    std::deque<std::vector<uint8_t>> replies_;
    std::vector<std::vector<uint8_t>> received_;
};

}  // namespace kovrin::platform::usb
