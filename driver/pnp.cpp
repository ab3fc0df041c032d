// Plug and play: start (descriptors, configuration, pipe table),
// stop, and removal.

#include <algorithm>
#include <cstring>

#include "driver/qelusb.h"

namespace kovrin::qelusb {

namespace {

// What a start allocates, freed by the next start and by removal; the pipe
// handle counts stay, as the handles they count stay open.
void FreeStartBuffers(DeviceExtension* ext)
{
    FreePool(ext->DeviceDescriptor);
    ext->DeviceDescriptor = nullptr;
    ext->DeviceDescriptorLength = 0;
    FreePool(ext->ConfigurationDescriptor);
    ext->ConfigurationDescriptor = nullptr;
    ext->ConfigurationDescriptorLength = 0;
    UsbInterfaceInformation* information;
    {
        SpinLockGuard guard(ext->CountLock);
        information = ext->InterfaceInformation;
        ext->InterfaceInformation = nullptr;
        ext->InterfaceInformationLength = 0;
    }
    FreePool(information);
}

// Query-remove and query-stop wait until the requests in progress (other than
// the query itself) have finished. Newcomers see the pending flag and leave.
void WaitForRequestsInProgress(DeviceObject* device)
{
    DeviceExtension* ext = ExtensionOf(device);
    DecrementIoCount(device);
    ext->StopEvent.Wait();
    IncrementIoCount(device);
}

Status HandleRemove(DeviceObject* device, Request* request)
{
    DeviceExtension* ext = ExtensionOf(device);
    DecrementIoCount(device);  // this request's
    ext->Removing = true;
    AbortOpenPipes(device);
    DecrementIoCount(device);  // add-device's
    // Waited for before the request goes down, so that nothing of ours is
    // still on the physical device when the bus driver lets it go.
    ext->RemoveEvent.Wait();
    request->IoStatus.Status = Status::Success;
    Status status = PassDown(device, request);
    RemoveCleanup(device);
    DeviceObject* lower = ext->LowerDevice;
    ext->~DeviceExtension();
    DetachDevice(lower);
    DeleteDevice(device);  // nothing touches the extension from here on
    return status;
}

}  // namespace

Status DispatchPnp(DeviceObject* device, Request* request)
{
    DeviceExtension* ext = ExtensionOf(device);
    StackLocation* stack = CurrentStackLocation(request);
    IncrementIoCount(device);
    Status status;
    switch (PnpMinor(stack->Minor)) {
    case PnpMinor::StartDevice:
        status = ForwardAndWait(device, request);
        if (IsSuccess(status))
            status = StartDevice(device);
        CompleteWith(request, status);
        break;
    case PnpMinor::QueryRemoveDevice:
        if (!ext->Started) {
            status = PassDown(device, request);
            break;
        }
        ext->RemovePending = true;
        WaitForRequestsInProgress(device);
        request->IoStatus.Status = Status::Success;
        status = PassDown(device, request);
        break;
    case PnpMinor::RemoveDevice:
        return HandleRemove(device, request);
    case PnpMinor::CancelRemoveDevice:
        if (ext->Started) {
            ext->RemovePending = false;
            request->IoStatus.Status = Status::Success;
        }
        status = PassDown(device, request);
        break;
    case PnpMinor::StopDevice:
        status = StopDevice(device);
        if (IsSuccess(status)) {
            request->IoStatus.Status = status;
            status = PassDown(device, request);
        } else {
            CompleteWith(request, status);
        }
        break;
    case PnpMinor::QueryStopDevice:
        if (!ext->Started) {
            status = PassDown(device, request);
            break;
        }
        ext->StopPending = true;
        WaitForRequestsInProgress(device);
        request->IoStatus.Status = Status::Success;
        status = PassDown(device, request);
        break;
    case PnpMinor::CancelStopDevice:
        if (ext->Started) {
            ext->StopPending = false;
            request->IoStatus.Status = Status::Success;
        }
        status = PassDown(device, request);
        break;
    case PnpMinor::QueryCapabilities: {
        status = ForwardAndWait(device, request);
        DeviceCapabilities* capabilities = stack->QueryCapabilities.Capabilities;
        if (IsSuccess(status) && capabilities && capabilities->Version >= 1)
            capabilities->SurpriseRemovalOk = 1;
        CompleteWith(request, status);
        break;
    }
    case PnpMinor::SurpriseRemoval:
        DecrementIoCount(device);
        ext->Removing = true;
        AbortOpenPipes(device);
        request->IoStatus.Status = Status::Success;
        return PassDown(device, request);
    default:
        status = PassDown(device, request);
        break;
    }
    DecrementIoCount(device);
    return status;
}

Status StartDevice(DeviceObject* device)
{
    DeviceExtension* ext = ExtensionOf(device);
    FreeStartBuffers(ext);
    auto* descriptor = static_cast<UsbDeviceDescriptor*>(AllocatePool(sizeof(UsbDeviceDescriptor), kPoolTag));
    auto* urb = static_cast<UrbControlDescriptorRequest*>(AllocatePool(sizeof(UrbControlDescriptorRequest), kPoolTag));
    if (!descriptor || !urb) {
        FreePool(descriptor);
        FreePool(urb);
        return Status::InsufficientResources;
    }
    BuildGetDescriptorUrb(urb, DescriptorTypeDevice, 0, 0, descriptor, sizeof *descriptor);
    Status status = SubmitUrbSync(device, &urb->Header);
    if (IsSuccess(status) && urb->TransferBufferLength < sizeof *descriptor)
        status = Status::DeviceDataError;
    if (IsSuccess(status)) {
        ext->DeviceDescriptor = descriptor;
        ext->DeviceDescriptorLength = urb->TransferBufferLength;
    } else {
        FreePool(descriptor);
    }
    FreePool(urb);
    if (IsSuccess(status))
        status = ReadConfigurationDescriptor(device);
    if (IsSuccess(status))
        ext->Started = true;
    return status;
}

Status ReadConfigurationDescriptor(DeviceObject* device)
{
    DeviceExtension* ext = ExtensionOf(device);
    auto* urb = static_cast<UrbControlDescriptorRequest*>(AllocatePool(sizeof(UrbControlDescriptorRequest), kPoolTag));
    auto* buffer = static_cast<UsbConfigurationDescriptor*>(AllocatePool(kFirstConfigurationRead, kPoolTag));
    if (!urb || !buffer) {
        FreePool(urb);
        FreePool(buffer);
        return Status::InsufficientResources;
    }
    BuildGetDescriptorUrb(urb, DescriptorTypeConfiguration, 0, 0, buffer, kFirstConfigurationRead);
    Status status = SubmitUrbSync(device, &urb->Header);
    uint32_t bytes = urb->TransferBufferLength;
    uint32_t total = 0;
    // The read must succeed and give at least the 9-byte head and then the
    // whole total length, else the start fails.
    if (IsSuccess(status) && bytes < sizeof(UsbConfigurationDescriptor))
        status = Status::DeviceDataError;
    if (IsSuccess(status)) {
        total = buffer->wTotalLength;
        if (total < sizeof(UsbConfigurationDescriptor))
            status = Status::DeviceDataError;
    }
    if (IsSuccess(status) && total > kFirstConfigurationRead) {
        FreePool(buffer);
        buffer = static_cast<UsbConfigurationDescriptor*>(AllocatePool(total, kPoolTag));
        if (!buffer) {
            status = Status::InsufficientResources;
        } else {
            BuildGetDescriptorUrb(urb, DescriptorTypeConfiguration, 0, 0, buffer, total);
            status = SubmitUrbSync(device, &urb->Header);
            bytes = urb->TransferBufferLength;
        }
    }
    if (IsSuccess(status) && bytes < total)
        status = Status::DeviceDataError;
    FreePool(urb);
    if (!IsSuccess(status)) {
        FreePool(buffer);
        return status;
    }
    uint32_t length = std::min<uint32_t>(bytes, buffer->wTotalLength);
    ext->ConfigurationDescriptor = buffer;
    ext->ConfigurationDescriptorLength = length;
    return SelectConfiguration(device, buffer, length);
}

Status SelectConfiguration(DeviceObject* device, UsbConfigurationDescriptor* descriptor, uint32_t length)
{
    DeviceExtension* ext = ExtensionOf(device);
    const UsbInterfaceDescriptor* interface = FindFirstInterfaceDescriptor(descriptor, length);
    UrbSelectConfiguration* urb = interface ? CreateSelectConfigurationUrb(descriptor, interface) : nullptr;
    if (!urb)
        return Status::InsufficientResources;
    uint32_t pipes = urb->Interface.NumberOfPipes;
    auto* counts = static_cast<uint32_t*>(AllocatePool(std::max<uint32_t>(pipes, 1) * sizeof(uint32_t), kPoolTag));
    if (!counts) {
        FreePool(urb);
        return Status::InsufficientResources;
    }
    std::memset(counts, 0, std::max<uint32_t>(pipes, 1) * sizeof(uint32_t));
    for (uint32_t i = 0; i < pipes; ++i)
        PipeAt(&urb->Interface, i)->MaximumTransferSize = kMaximumTransferSize;
    Status status = SubmitUrbSync(device, &urb->Header);
    UsbInterfaceInformation* information = nullptr;
    uint32_t size = 0;
    if (IsSuccess(status)) {
        ext->ConfigurationHandle = urb->ConfigurationHandle;
        size = std::min<uint32_t>(urb->Interface.Length, InterfaceInformationSize(pipes));
        information = static_cast<UsbInterfaceInformation*>(AllocatePool(size, kPoolTag));
        if (information)
            std::memcpy(information, &urb->Interface, size);
        else
            status = Status::InsufficientResources;
    }
    if (!IsSuccess(status)) {
        FreePool(counts);
        FreePool(urb);
        return status;
    }
    uint32_t* old;
    {
        // Handles left open over a stop keep their counts.
        SpinLockGuard guard(ext->CountLock);
        old = ext->PipeOpenCounts;
        ext->OpenPipeCount = 0;
        for (uint32_t i = 0; i < pipes; ++i) {
            if (old && i < ext->PipeCount)
                counts[i] = old[i];
            if (counts[i])
                ++ext->OpenPipeCount;
        }
        ext->PipeOpenCounts = counts;
        ext->PipeCount = pipes;
        ext->InterfaceInformation = information;
        ext->InterfaceInformationLength = size;
    }
    FreePool(old);
    FreePool(urb);
    return status;
}

Status StopDevice(DeviceObject* device)
{
    DeviceExtension* ext = ExtensionOf(device);
    auto* urb = static_cast<UrbSelectConfiguration*>(AllocatePool(sizeof(UrbSelectConfiguration), kPoolTag));
    Status status = Status::InsufficientResources;
    if (urb) {
        BuildDeconfigureUrb(urb);
        status = SubmitUrbSync(device, &urb->Header);
        FreePool(urb);
    }
    if (IsSuccess(status))
        ext->Started = false;
    ext->StopPending = false;
    return status;
}

Status RemoveCleanup(DeviceObject* device)
{
    DeviceExtension* ext = ExtensionOf(device);
    UnicodeString link{uint16_t(ext->InterfaceLinkNameLength * sizeof(char16_t)),
                       uint16_t(sizeof ext->InterfaceLinkName), ext->InterfaceLinkName};
    Status status = SetDeviceInterfaceState(&link, false);
    FreeStartBuffers(ext);
    uint32_t* counts;
    {
        SpinLockGuard guard(ext->CountLock);
        counts = ext->PipeOpenCounts;
        ext->PipeOpenCounts = nullptr;
        ext->PipeCount = 0;
    }
    FreePool(counts);
    return status;
}

}  // namespace kovrin::qelusb
