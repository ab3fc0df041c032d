#pragma once
// What the emulated programming module and the emulated USB acceptor share:
// the family's descriptors (bulk OUT 0x01 and IN 0x81 of 64 bytes), the log
// of requests, faults per command and replies held back for a late delivery.
// Each OUT transfer is one request; each reply is one IN transfer. An answer
// of several replies sends the first at once and each further one when the
// host next asks for data (until the next request).

#include <deque>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "emulators/usb/bus/simple_device.h"
#include "emulators/usb/usb_fault.h"

namespace kovrin::emulator::usb {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t kOutEndpoint = 0x01;
constexpr uint8_t kInEndpoint = 0x81;

class UsbEmulatorDevice : public platform::usb::EmulatedDevice {
public:
    explicit UsbEmulatorDevice(uint16_t productId);

    // Spoils the next fault.times requests whose command is `command` (kAnyCommand: every request).
    void AddFault(int command, const UsbFault& fault);
    void ClearFaults();
    // Every request taken so far, in order (also refused and spoilt ones).
    std::vector<Bytes> Requests() const;
    // Empties that log, so that a long run does not keep every request.
    void ForgetRequests();
    // Replies held back by LateReply faults, oldest first. Whoever plugged the
    // device delivers them on kInEndpoint when it wants them to arrive.
    std::vector<Bytes> TakeHeldReplies();

    std::vector<uint8_t> DeviceDescriptor() override;
    std::vector<uint8_t> ConfigurationDescriptor() override;
    platform::usb::PowerCapabilities Power() override;
    platform::usb::OutResult OnOutTransfer(uint8_t endpoint, std::span<const uint8_t> data,
                                           platform::usb::DeviceSide& side) override;
    void OnInTransfer(uint8_t endpoint, platform::usb::DeviceSide& side) override;

protected:
    // Called with `lock_` held.
    // The key that faults name for this request.
    virtual int CommandOf(std::span<const uint8_t> request) const = 0;
    // Carries out the request; the IN transfers that answer it, in order.
    virtual std::vector<Bytes> Answer(std::span<const uint8_t> request) = 0;
    // The reply that refuses the request with `status`.
    virtual Bytes Refusal(std::span<const uint8_t> request, uint8_t status) const = 0;

    mutable std::mutex lock_;

private:
    platform::usb::SimpleDeviceConfig config_;
    UsbFaultPlan faults_;
    std::vector<Bytes> requests_;
    std::vector<Bytes> held_;
    std::deque<Bytes> followUps_;  // further replies of the last answer, sent one per host read
};

}  // namespace kovrin::emulator::usb
