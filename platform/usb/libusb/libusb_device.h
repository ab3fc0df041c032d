#pragma once
// One opened USB device behind the bus driver. The handle is closed when the
// last owner lets go, which is after the bus driver has forgotten the device.

#include <libusb.h>

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>

#include "platform/usb/backend.h"
#include "platform/usb/libusb/event_loop.h"

namespace kovrin::platform::usb {

class LibusbDevice : public DeviceBackend, public std::enable_shared_from_this<LibusbDevice> {
public:
    // Takes over `handle`; `loop` outlives every device.
    LibusbDevice(std::shared_ptr<EventLoop> loop, libusb_device_handle* handle, std::string instanceId,
                 std::vector<uint8_t> deviceDescriptor);
    ~LibusbDevice() override;
    LibusbDevice(const LibusbDevice&) = delete;
    LibusbDevice& operator=(const LibusbDevice&) = delete;

    std::string InstanceId() const override { return instanceId_; }
    std::vector<uint8_t> CachedDeviceDescriptor() const override { return descriptor_; }
    PowerCapabilities Power() const override;
    void Submit(const TransferPtr& transfer) override;
    void Cancel(const TransferPtr& transfer) override;
    TransferStatus ClearHalt(uint8_t endpoint) override;
    TransferStatus ResetDevice() override;
    uint32_t PortStatus() override;
    void Suspend(std::function<void(TransferStatus)> done) override;
    void Resume(std::function<void(TransferStatus)> done) override;
    void SetRemoteWakeHandler(std::function<void()> handler) override;

    // The device left the bus: from now on every request fails with NoDevice.
    void MarkGone();
    // Cancels every transfer in flight and waits until each has completed.
    void CancelAndDrain();

private:
    struct InFlight;
    static void LIBUSB_CALL Completed(libusb_transfer* transfer);
    bool Gone();
    // SET_CONFIGURATION: the configuration and interface 0 claimed; value 0 releases it.
    TransferStatus Configure(uint8_t value);
    void Finish(const TransferPtr& transfer, TransferStatus status, uint32_t actual);
    TransferStatus StatusOfError(int error);

    const std::shared_ptr<EventLoop> loop_;
    libusb_device_handle* const handle_;
    const std::string instanceId_;
    const std::vector<uint8_t> descriptor_;

    std::mutex lock_;
    std::condition_variable drained_;
    bool gone_ = false;
    bool claimed_ = false;
    std::map<Transfer*, libusb_transfer*> inFlight_;
    int completing_ = 0;  // completions running their Done
};

}  // namespace kovrin::platform::usb
