#include "platform/usb/libusb/libusb_device.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/kernel/level.h"
#include "platform/kernel/power_types.h"
#include "platform/usb/urb.h"

namespace kovrin::platform::usb {

namespace {

constexpr uint8_t kRequestTypeStandardToDevice = 0x00;
constexpr uint8_t kRequestSetConfiguration = 0x09;
constexpr int kInterface = 0;
// Cancelled transfers complete promptly; past this the device or libusb is stuck.
constexpr auto kDrainLimit = std::chrono::seconds(10);

TransferStatus StatusOfTransfer(libusb_transfer_status status)
{
    switch (status) {
    case LIBUSB_TRANSFER_COMPLETED: return TransferStatus::Completed;
    case LIBUSB_TRANSFER_STALL: return TransferStatus::Stall;
    case LIBUSB_TRANSFER_OVERFLOW: return TransferStatus::Overflow;
    case LIBUSB_TRANSFER_CANCELLED: return TransferStatus::Cancelled;
    case LIBUSB_TRANSFER_NO_DEVICE: return TransferStatus::NoDevice;
    case LIBUSB_TRANSFER_ERROR:
    case LIBUSB_TRANSFER_TIMED_OUT: return TransferStatus::Error;
    }
    return TransferStatus::Error;
}

}  // namespace

// What libusb carries for one of our transfers; a control transfer's setup
// packet and data share one buffer, as libusb wants them.
struct LibusbDevice::InFlight {
    std::shared_ptr<LibusbDevice> Device;
    TransferPtr Transfer;
    std::vector<uint8_t> ControlBuffer;
};

LibusbDevice::LibusbDevice(std::shared_ptr<EventLoop> loop, libusb_device_handle* handle, std::string instanceId,
                           std::vector<uint8_t> deviceDescriptor)
    : loop_(std::move(loop)), handle_(handle), instanceId_(std::move(instanceId)),
      descriptor_(std::move(deviceDescriptor))
{
}

LibusbDevice::~LibusbDevice()
{
    // No transfer is in flight: each one holds the device until it completes.
    if (claimed_)
        libusb_release_interface(handle_, kInterface);
    libusb_close(handle_);
}

PowerCapabilities LibusbDevice::Power() const
{
    // The host suspends nothing on its own: no sleep state maps below D3, so
    // the driver never powers an idle device down, and no wake is offered.
    PowerCapabilities power;
    power.DeviceState = {DeviceStateUnspecified, D0, D3, D3, D3, D3, D3};
    power.DeviceWake = DeviceStateUnspecified;
    power.SystemWake = SystemStateUnspecified;
    power.DeviceD1 = false;
    power.DeviceD2 = false;
    return power;
}

bool LibusbDevice::Gone()
{
    std::lock_guard<std::mutex> guard(lock_);
    return gone_;
}

TransferStatus LibusbDevice::StatusOfError(int error)
{
    if (error == LIBUSB_SUCCESS)
        return TransferStatus::Completed;
    if (error == LIBUSB_ERROR_NO_DEVICE || Gone())
        return TransferStatus::NoDevice;
    return TransferStatus::Error;
}

void LibusbDevice::Finish(const TransferPtr& transfer, TransferStatus status, uint32_t actual)
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        transfer->State = Transfer::Stage::Finished;
    }
    auto done = std::move(transfer->Done);
    transfer->Done = nullptr;
    if (done)
        done(status, actual);
}

void LibusbDevice::Submit(const TransferPtr& transfer)
{
    const bool setConfiguration = transfer->Kind == Transfer::Type::Control &&
                                  transfer->Setup[0] == kRequestTypeStandardToDevice &&
                                  transfer->Setup[1] == kRequestSetConfiguration;
    TransferStatus early = TransferStatus::Completed;
    bool finishEarly = true;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (transfer->CancelRequested)
            early = TransferStatus::Cancelled;
        else if (gone_)
            early = TransferStatus::NoDevice;
        else
            finishEarly = false;
    }
    if (!finishEarly && setConfiguration) {
        RequirePassive("set configuration");
        early = Configure(transfer->Setup[2]);
        finishEarly = true;
    }
    if (finishEarly) {
        loop_->Post([self = shared_from_this(), transfer, early] { self->Finish(transfer, early, 0); });
        return;
    }

    libusb_transfer* xfer = libusb_alloc_transfer(0);
    auto* record = new InFlight{shared_from_this(), transfer, {}};
    if (transfer->Kind == Transfer::Type::Control) {
        record->ControlBuffer.resize(LIBUSB_CONTROL_SETUP_SIZE + transfer->Length);
        std::memcpy(record->ControlBuffer.data(), transfer->Setup.data(), LIBUSB_CONTROL_SETUP_SIZE);
        bool out = (transfer->Setup[0] & LIBUSB_ENDPOINT_IN) == 0;
        if (out && transfer->Length)
            std::memcpy(record->ControlBuffer.data() + LIBUSB_CONTROL_SETUP_SIZE, transfer->Buffer, transfer->Length);
        // The setup packet's own length field is what the device is asked for.
        record->ControlBuffer[6] = uint8_t(transfer->Length);
        record->ControlBuffer[7] = uint8_t(transfer->Length >> 8);
        libusb_fill_control_transfer(xfer, handle_, record->ControlBuffer.data(), Completed, record, 0);
    } else {
        libusb_fill_bulk_transfer(xfer, handle_, transfer->Endpoint, transfer->Buffer, int(transfer->Length),
                                  Completed, record, 0);
        if (!transfer->ShortOk)
            xfer->flags |= LIBUSB_TRANSFER_SHORT_NOT_OK;
    }

    int error;
    {
        // Under the lock, so that a Cancel finds the transfer either not yet queued or in libusb.
        std::lock_guard<std::mutex> guard(lock_);
        transfer->State = Transfer::Stage::Queued;
        inFlight_[transfer.get()] = xfer;
        error = libusb_submit_transfer(xfer);
        if (error != LIBUSB_SUCCESS)
            inFlight_.erase(transfer.get());
    }
    if (error == LIBUSB_SUCCESS)
        return;
    delete record;
    libusb_free_transfer(xfer);
    TransferStatus status = StatusOfError(error);
    loop_->Post([self = shared_from_this(), transfer, status] { self->Finish(transfer, status, 0); });
}

void LIBUSB_CALL LibusbDevice::Completed(libusb_transfer* xfer)
{
    std::unique_ptr<InFlight> record(static_cast<InFlight*>(xfer->user_data));
    LibusbDevice& device = *record->Device;
    const TransferPtr& transfer = record->Transfer;
    {
        // From here a Cancel no longer reaches the libusb transfer, which is freed below.
        std::lock_guard<std::mutex> guard(device.lock_);
        device.inFlight_.erase(transfer.get());
        transfer->State = Transfer::Stage::Finished;
        ++device.completing_;
    }
    TransferStatus status = StatusOfTransfer(xfer->status);
    uint32_t actual = xfer->actual_length > 0 ? uint32_t(xfer->actual_length) : 0;
    if (transfer->Kind == Transfer::Type::Control && (transfer->Setup[0] & LIBUSB_ENDPOINT_IN) && actual) {
        actual = std::min(actual, transfer->Length);
        std::memcpy(transfer->Buffer, record->ControlBuffer.data() + LIBUSB_CONTROL_SETUP_SIZE, actual);
    }
    libusb_free_transfer(xfer);
    device.loop_->RunCallback([&] { device.Finish(transfer, status, actual); });
    {
        std::lock_guard<std::mutex> guard(device.lock_);
        if (--device.completing_ == 0 && device.inFlight_.empty())
            device.drained_.notify_all();
    }
    // The record's device reference goes last: it may be the last one, which closes the handle.
}

void LibusbDevice::Cancel(const TransferPtr& transfer)
{
    std::lock_guard<std::mutex> guard(lock_);
    switch (transfer->State) {
    case Transfer::Stage::Created:
        transfer->CancelRequested = true;
        return;
    case Transfer::Stage::Finished:
        return;
    case Transfer::Stage::Queued: {
        auto it = inFlight_.find(transfer.get());
        if (it != inFlight_.end())
            libusb_cancel_transfer(it->second);
        return;
    }
    }
}

TransferStatus LibusbDevice::Configure(uint8_t value)
{
    bool claimed;
    {
        std::lock_guard<std::mutex> guard(lock_);
        claimed = claimed_;
        claimed_ = false;
    }
    if (claimed) {
        int error = libusb_release_interface(handle_, kInterface);
        if (error != LIBUSB_SUCCESS && error != LIBUSB_ERROR_NOT_FOUND)
            return StatusOfError(error);
    }
    if (value == 0)
        return TransferStatus::Completed;
    int current = -1;
    int error = libusb_get_configuration(handle_, &current);
    if (error == LIBUSB_SUCCESS && current != value)
        error = libusb_set_configuration(handle_, value);
    if (error != LIBUSB_SUCCESS)
        return StatusOfError(error);
    libusb_set_auto_detach_kernel_driver(handle_, 1);  // not supported everywhere; harmless then
    error = libusb_claim_interface(handle_, kInterface);
    if (error != LIBUSB_SUCCESS) {
        std::fprintf(stderr, "platform: USB device %s: interface %d not claimed: %s\n", instanceId_.c_str(), kInterface,
                     libusb_strerror(error));
        return StatusOfError(error);
    }
    std::lock_guard<std::mutex> guard(lock_);
    claimed_ = true;
    return TransferStatus::Completed;
}

TransferStatus LibusbDevice::ClearHalt(uint8_t endpoint)
{
    if (Gone())
        return TransferStatus::NoDevice;
    return StatusOfError(libusb_clear_halt(handle_, endpoint));
}

TransferStatus LibusbDevice::ResetDevice()
{
    if (Gone())
        return TransferStatus::NoDevice;
    int error = libusb_reset_device(handle_);
    if (error == LIBUSB_ERROR_NOT_FOUND) {
        // It came back as another device: this one is gone, and hotplug reports both.
        MarkGone();
        return TransferStatus::NoDevice;
    }
    return StatusOfError(error);
}

uint32_t LibusbDevice::PortStatus()
{
    // libusb knows no more than whether the device is still there.
    return Gone() ? 0u : uint32_t(PortConnected) | uint32_t(PortEnabled);
}

void LibusbDevice::Suspend(std::function<void(TransferStatus)> done)
{
    TransferStatus status = Gone() ? TransferStatus::NoDevice : TransferStatus::Completed;
    loop_->Post([done = std::move(done), status] { done(status); });
}

void LibusbDevice::Resume(std::function<void(TransferStatus)> done) { Suspend(std::move(done)); }

void LibusbDevice::SetRemoteWakeHandler(std::function<void()>)
{
    // No device is armed for wake (Power offers none).
}

void LibusbDevice::MarkGone()
{
    std::lock_guard<std::mutex> guard(lock_);
    gone_ = true;
}

void LibusbDevice::CancelAndDrain()
{
    std::unique_lock<std::mutex> guard(lock_);
    for (auto& [transfer, xfer] : inFlight_)
        libusb_cancel_transfer(xfer);
    if (!drained_.wait_for(guard, kDrainLimit, [&] { return inFlight_.empty() && completing_ == 0; }))
        std::fprintf(stderr, "platform: USB device %s: %zu transfers did not complete after a cancel\n",
                     instanceId_.c_str(), inFlight_.size());
}

}  // namespace kovrin::platform::usb
