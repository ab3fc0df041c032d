#pragma once
// The boundary between the bus driver and what carries transfers: one object
// per USB device and one per bus. The emulated bus implements it for tests; a
// libusb backend fits the same calls (asynchronous transfers with a completion
// callback, cancel, clear halt, device reset, hotplug).

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/kernel/activity.h"

namespace kovrin::platform::usb {

enum class TransferStatus { Completed, Stall, Overflow, Cancelled, NoDevice, Error };

struct Transfer {
    enum class Type { Control, Bulk };
    Type Kind = Type::Bulk;
    uint8_t Endpoint = 0;  // bit 7 set: IN
    std::array<uint8_t, 8> Setup{};  // control transfers
    uint8_t* Buffer = nullptr;
    uint32_t Length = 0;
    bool ShortOk = true;
    // Called once, on the backend's event thread, at dispatch level.
    std::function<void(TransferStatus status, uint32_t actualLength)> Done;

    // The backend's own bookkeeping, guarded by the backend.
    enum class Stage { Created, Queued, Finished };
    Stage State = Stage::Created;
    bool CancelRequested = false;
    uint32_t Actual = 0;
    uint64_t Frame = 0;  // with a frame clock: the first frame that may carry it
};
using TransferPtr = std::shared_ptr<Transfer>;

// The power capabilities a device reports, indexed by system power state.
struct PowerCapabilities {
    std::array<uint32_t, 7> DeviceState{};
    uint32_t DeviceWake = 0;
    uint32_t SystemWake = 0;
    bool DeviceD1 = true;
    bool DeviceD2 = true;
};

class DeviceBackend {
public:
    virtual ~DeviceBackend() = default;
    // Unique on the bus; part of the interface link names.
    virtual std::string InstanceId() const = 0;
    virtual std::vector<uint8_t> CachedDeviceDescriptor() const = 0;
    virtual PowerCapabilities Power() const = 0;
    virtual void Submit(const TransferPtr& transfer) = 0;
    // The transfer's Done follows with Cancelled unless it finished already.
    virtual void Cancel(const TransferPtr& transfer) = 0;
    virtual TransferStatus ClearHalt(uint8_t endpoint) = 0;
    virtual TransferStatus ResetDevice() = 0;
    virtual uint32_t PortStatus() = 0;  // PortStatusBits
    virtual void Suspend(std::function<void(TransferStatus)> done) = 0;
    virtual void Resume(std::function<void(TransferStatus)> done) = 0;
    virtual void SetRemoteWakeHandler(std::function<void()> handler) = 0;
};

class HotplugListener {
public:
    virtual ~HotplugListener() = default;
    virtual void DeviceArrived(const std::shared_ptr<DeviceBackend>& device) = 0;
    virtual void DeviceLeft(const std::shared_ptr<DeviceBackend>& device) = 0;
};

class BusBackend {
public:
    virtual ~BusBackend() = default;
    // Reports present devices, then arrivals and departures. Work queued for the
    // event thread is counted in `activity`.
    virtual void Start(HotplugListener* listener, ActivityCounter* activity) = 0;
    // Every device leaves.
    virtual void Stop() = 0;
    // The machine's user starts again (the USB library after a stop, or loaded
    // anew): a bus whose devices come and go at times after the start counts
    // them from now. True when devices came or went meanwhile.
    virtual bool UserStartedAgain() { return false; }
};

}  // namespace kovrin::platform::usb
