// The five control requests.

#include <algorithm>
#include <cstring>

#include "driver/qelusb.h"

namespace kovrin::qelusb {

namespace {

// Copies at most the caller's length and the data's own length, which is
// itself bounded by the bytes that were read from the device.
Status CopyKept(Request* request, const void* data, uint32_t length, uintptr_t* information)
{
    uint32_t outputLength = CurrentStackLocation(request)->DeviceIoControl.OutputBufferLength;
    if (!data)
        return Status::DeviceDataError;
    if (outputLength == 0 || !request->SystemBuffer)
        return Status::InvalidParameter;
    uint32_t n = std::min(outputLength, length);
    std::memcpy(request->SystemBuffer, data, n);
    *information = n;
    return Status::Success;
}

}  // namespace

Status DispatchDeviceControl(DeviceObject* device, Request* request)
{
    DeviceExtension* ext = ExtensionOf(device);
    StackLocation* stack = CurrentStackLocation(request);
    IncrementIoCount(device);
    Status status;
    uintptr_t information = 0;
    if (!CanAcceptRequests(device)) {
        status = Status::DeletePending;
    } else {
        switch (stack->DeviceIoControl.IoControlCode) {
        case IOCTL_QELUSB_GET_DEVICE_DESCRIPTOR: {
            const UsbDeviceDescriptor* d = ext->DeviceDescriptor;
            uint32_t length = d ? std::min<uint32_t>(d->bLength, ext->DeviceDescriptorLength) : 0;
            status = CopyKept(request, d, length, &information);
            break;
        }
        case IOCTL_QELUSB_GET_CONFIG_DESCRIPTOR: {
            const UsbConfigurationDescriptor* d = ext->ConfigurationDescriptor;
            uint32_t length = d ? std::min<uint32_t>(d->wTotalLength, ext->ConfigurationDescriptorLength) : 0;
            status = CopyKept(request, d, length, &information);
            break;
        }
        case IOCTL_QELUSB_GET_INTERFACE_INFO: {
            SpinLockGuard guard(ext->CountLock);
            const UsbInterfaceInformation* d = ext->InterfaceInformation;
            uint32_t length = d ? std::min<uint32_t>(d->Length, ext->InterfaceInformationLength) : 0;
            status = CopyKept(request, d, length, &information);
            break;
        }
        case IOCTL_QELUSB_RESET_DEVICE:
            status = ResetDevice(device);  // completed with the status it returns
            break;
        case IOCTL_QELUSB_RESET_PIPE: {
            FileObject* file = stack->File;
            if (!IsPipeHandle(file)) {
                status = Status::InvalidParameter;
                break;
            }
            uint32_t index = PipeIndexOf(file);
            uint32_t handle = 0;
            bool known;
            {
                SpinLockGuard guard(ext->CountLock);
                known = index < ext->PipeCount && ext->InterfaceInformation;
                if (known)
                    handle = PipeAt(ext->InterfaceInformation, index)->PipeHandle;
            }
            status = known ? ResetPipeUrb(device, handle) : Status::InvalidParameter;  // a failed reset is reported
            break;
        }
        default:
            status = Status::InvalidParameter;
            break;
        }
    }
    CompleteWith(request, status, information);
    DecrementIoCount(device);
    return status;
}

}  // namespace kovrin::qelusb
