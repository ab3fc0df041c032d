#pragma once
// The USB bus driver: one physical device object per USB device; carries out
// URBs, port requests, power and plug-and-play requests on it through the
// device's backend.

#include <map>
#include <memory>
#include <mutex>

#include "platform/kernel/objects.h"
#include "platform/usb/backend.h"

namespace kovrin::platform::usb {

struct BusDevice;

class BusDriver : public HotplugListener {
public:
    explicit BusDriver(BusBackend& backend);
    ~BusDriver() override;
    BusDriver(const BusDriver&) = delete;
    BusDriver& operator=(const BusDriver&) = delete;

    // The physical device object of a device on the bus, or null.
    DeviceObject* PhysicalDeviceOf(const DeviceBackend* device);
    uint32_t DevicePowerStateOf(const DeviceBackend* device);

    void DeviceArrived(const std::shared_ptr<DeviceBackend>& device) override;
    void DeviceLeft(const std::shared_ptr<DeviceBackend>& device) override;

    // Called by the physical device when its remove request has deleted it.
    void Forget(BusDevice* device);

private:
    BusBackend& backend_;
    DriverObject driver_;
    std::mutex lock_;
    std::map<BusDevice*, std::shared_ptr<BusDevice>> devices_;
};

}  // namespace kovrin::platform::usb
