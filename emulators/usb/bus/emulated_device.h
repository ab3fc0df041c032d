#pragma once
// What an emulated USB device implements: its descriptors and power table,
// and what it does with each OUT transfer. The bus splits transfers into
// packets and applies the short-packet rules; the device only sees whole OUT
// transfers and queues whole IN replies.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/usb/backend.h"

namespace kovrin::platform::usb {

// Given to the device while it handles a bus event; valid only during the call.
class DeviceSide {
public:
    virtual ~DeviceSide() = default;
    // Queues `data` on an IN endpoint as packets of its maximum size; a reply
    // that fills its last packet is followed by a zero-length packet when
    // `zeroLengthPacketAfterFull` (an empty reply is always one zero-length packet).
    virtual void SendIn(uint8_t endpoint, const std::vector<uint8_t>& data, bool zeroLengthPacketAfterFull = true) = 0;
    virtual void Stall(uint8_t endpoint) = 0;
    // The device leaves the bus once the current event is handled (after the
    // OUT transfer being handled has completed). A backend that cannot unplug
    // a device on its own ignores it.
    virtual void Unplug() {}
};

enum class OutResult {
    Accept,  // the transfer completes
    Stall,   // the endpoint halts; the transfer fails
    Nak,     // the device does not take it; it stays pending until cancelled
};

class EmulatedDevice {
public:
    virtual ~EmulatedDevice() = default;
    virtual std::vector<uint8_t> DeviceDescriptor() = 0;
    // The whole configuration descriptor, as long as its total length.
    virtual std::vector<uint8_t> ConfigurationDescriptor() = 0;
    virtual PowerCapabilities Power() = 0;
    // Empty: the bus names the device by its port.
    virtual std::string InstanceId() { return {}; }
    // Called on the bus thread with the bus locked: use only `side`.
    virtual OutResult OnOutTransfer(uint8_t endpoint, std::span<const uint8_t> data, DeviceSide& side) = 0;
    // The host asks for data on an IN endpoint that has none queued: a device
    // that answers in several transfers sends its next one now. Same rules as above.
    virtual void OnInTransfer(uint8_t /*endpoint*/, DeviceSide& /*side*/) {}
    virtual void OnConfigured(uint8_t /*value*/) {}
    virtual void OnReset() {}
};

}  // namespace kovrin::platform::usb
