#include "usblib/transport.h"

#include <chrono>

#include "driver/qelusb_public.h"
#include "platform/user/time_limits.h"
#include "usblib/device_manager.h"

namespace kovrin::usblib {

namespace {

constexpr std::chrono::milliseconds kTransferTimeLimit{10000};

// Empties the IN pipe when a former exchange may have left bytes in it, so
// that they are never taken for the coming reply.
void DiscardLeftovers(UsbDeviceRecord& record, DeviceFiles& files)
{
    if (record.InPipeDirty.exchange(false))
        ResetPipe(files.In);
}

enum class Outcome { Done, Failed, TimedOut };

// Waits for a transfer that `start` began on `pipe`. A transfer that runs out
// of time is cancelled and waited for, so that nothing writes into the
// caller's buffer or the overlapped state once this returns.
Outcome Finish(DeviceFiles& files, user::Handle pipe, user::Overlapped& overlapped, Status started)
{
    if (started != Status::Pending && !IsSuccess(started))
        return Outcome::Failed;
    // Let go of meanwhile: the cancel may have come before this transfer began.
    if (files.Closing)
        user::CancelIo(pipe);
    if (!overlapped.Done.WaitFor(user::ScaledTimeLimit(kTransferTimeLimit))) {
        user::CancelIo(pipe);
        user::GetOverlappedResult(overlapped, nullptr, true);
        return Outcome::TimedOut;
    }
    return Outcome::Done;
}

}  // namespace

UsbResult PipeWrite(UsbDevice device, const uint8_t* bytes, uint32_t length)
{
    std::shared_ptr<UsbDeviceRecord> record;
    std::shared_ptr<DeviceFiles> files;
    if (UsbResult result = AcquireOpenDevice(device, record, files))
        return result;
    DiscardLeftovers(*record, *files);
    user::Overlapped overlapped;
    Status started = user::Write(files->Out, bytes, length, overlapped);
    switch (Finish(*files, files->Out, overlapped, started)) {
    case Outcome::Failed: return USB_RESULT_LINK_FAILED;
    case Outcome::TimedOut:
        // The device may still answer the part it got.
        record->InPipeDirty = true;
        return USB_RESULT_TIME_OUT;
    case Outcome::Done: break;
    }
    return IsSuccess(overlapped.Result) ? USB_RESULT_SUCCESS : USB_RESULT_WRITE_FAILED;
}

UsbResult PipeRead(UsbDevice device, uint8_t* buffer, uint32_t capacity, uint32_t* count)
{
    *count = 0;
    std::shared_ptr<UsbDeviceRecord> record;
    std::shared_ptr<DeviceFiles> files;
    if (UsbResult result = AcquireOpenDevice(device, record, files))
        return result;
    user::Overlapped overlapped;
    Status started = user::Read(files->In, buffer, capacity, overlapped);
    switch (Finish(*files, files->In, overlapped, started)) {
    case Outcome::Failed:
        record->InPipeDirty = true;
        return USB_RESULT_LINK_FAILED;
    case Outcome::TimedOut:
        ResetPipe(files->In);
        // A reply may still come; the next exchange empties the pipe again.
        record->InPipeDirty = true;
        return USB_RESULT_TIME_OUT;
    case Outcome::Done: break;
    }
    if (!IsSuccess(overlapped.Result)) {
        record->InPipeDirty = true;
        return USB_RESULT_LINK_FAILED;
    }
    *count = uint32_t(overlapped.Bytes);
    // A full buffer may have left the rest of the reply, or its closing
    // zero-length packet, in the pipe.
    if (capacity > 0 && *count == capacity)
        record->InPipeDirty = true;
    return USB_RESULT_SUCCESS;
}

bool ResetPipe(user::Handle handle)
{
    return IsSuccess(
        user::DeviceIoControl(handle, qelusb::IOCTL_QELUSB_RESET_PIPE, nullptr, 0, nullptr, 0, nullptr));
}

UsbResult ResetInPipe(UsbDevice device)
{
    std::shared_ptr<UsbDeviceRecord> record;
    std::shared_ptr<DeviceFiles> files;
    if (UsbResult result = AcquireOpenDevice(device, record, files))
        return result;
    return ResetPipe(files->In) ? USB_RESULT_SUCCESS : USB_RESULT_LINK_FAILED;
}

}  // namespace kovrin::usblib
