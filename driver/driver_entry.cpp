// Entry point, add-device, the I/O counter and the helpers that
// every dispatch routine uses.

#include <cstring>
#include <new>

#include "driver/qelusb.h"

namespace kovrin::qelusb {

void DriverUnload(DriverObject*) {}

Status CompleteWith(Request* request, Status status, uintptr_t information)
{
    request->IoStatus = {status, information};
    CompleteRequest(request);
    return status;
}

Status PassDown(DeviceObject* device, Request* request)
{
    SkipCurrentStackLocation(request);
    return CallDriver(ExtensionOf(device)->LowerDevice, request);
}

Status SignalEventCompletion(DeviceObject*, Request*, void* context)
{
    static_cast<Event*>(context)->Set();
    return Status::MoreProcessingRequired;
}

Status ForwardAndWait(DeviceObject* device, Request* request)
{
    Event done;
    CopyCurrentStackLocationToNext(request);
    SetCompletionRoutine(request, SignalEventCompletion, &done, true, true, true);
    Status status = CallDriver(ExtensionOf(device)->LowerDevice, request);
    if (status == Status::Pending) {
        done.Wait();
        status = request->IoStatus.Status;
    }
    return status;
}

bool CanAcceptRequests(DeviceObject* device)
{
    DeviceExtension* ext = ExtensionOf(device);
    return !ext->Removing && ext->Started && !ext->RemovePending && !ext->StopPending;
}

// The stop event is kept equal to "no request in progress" (count 1): set when
// the count reaches 1, cleared when it rises above, so that a query that waits
// on it really waits for the requests in progress.
int32_t IncrementIoCount(DeviceObject* device)
{
    DeviceExtension* ext = ExtensionOf(device);
    SpinLockGuard guard(ext->CountLock);
    int32_t count = ++ext->PendingIoCount;
    if (count == 1)
        ext->StopEvent.Set();
    else if (count == 2)
        ext->StopEvent.Clear();
    return count;
}

int32_t DecrementIoCount(DeviceObject* device)
{
    DeviceExtension* ext = ExtensionOf(device);
    int32_t count;
    {
        SpinLockGuard guard(ext->CountLock);
        count = --ext->PendingIoCount;
        if (count == 1)
            ext->StopEvent.Set();
    }
    // Last touch of the extension: removal may go on as soon as this is set.
    if (count == 0)
        ext->RemoveEvent.Set();
    return count;
}

Status SubmitUrbSync(DeviceObject* device, UrbHeader* urb)
{
    RequirePassive("SubmitUrbSync");
    DeviceExtension* ext = ExtensionOf(device);
    Event done;
    IoStatusBlock ioStatus;
    Request* request =
        BuildDeviceControlRequest(kIoctlInternalSubmitUrb, ext->LowerDevice, nullptr, 0, nullptr, 0, true, &done, &ioStatus);
    if (!request)
        return Status::InsufficientResources;
    NextStackLocation(request)->Others.Argument1 = urb;
    Status status = CallDriver(ext->LowerDevice, request);
    if (status == Status::Pending)
        done.Wait();
    return ioStatus.Status;
}

Status DispatchSystemControl(DeviceObject* device, Request* request)
{
    IncrementIoCount(device);
    Status status = PassDown(device, request);
    DecrementIoCount(device);
    return status;
}

Status QueryCapabilities(DeviceObject* lowerDevice, DeviceCapabilities* capabilities)
{
    Request* request = AllocateRequest(lowerDevice->StackSize);
    if (!request)
        return Status::InsufficientResources;
    std::memset(capabilities, 0, sizeof *capabilities);
    capabilities->Size = sizeof *capabilities;
    capabilities->Version = 1;
    capabilities->Address = 0xFFFFFFFF;
    capabilities->UiNumber = 0xFFFFFFFF;
    StackLocation* next = NextStackLocation(request);
    next->Major = MajorFunction::Pnp;
    next->Minor = uint8_t(PnpMinor::QueryCapabilities);
    next->QueryCapabilities.Capabilities = capabilities;
    request->IoStatus.Status = Status::NotSupported;
    Event done;
    SetCompletionRoutine(request, SignalEventCompletion, &done, true, true, true);
    Status status = CallDriver(lowerDevice, request);
    if (status == Status::Pending)
        done.Wait();
    status = request->IoStatus.Status;
    FreeRequest(request);
    return status;
}

Status RegisterInterface(DeviceObject* physicalDevice, UnicodeString* linkName)
{
    Status status = RegisterDeviceInterface(physicalDevice, &QelUsbInterfaceGuid, nullptr, linkName);
    if (!IsSuccess(status))
        return status;
    status = SetDeviceInterfaceState(linkName, true);
    if (!IsSuccess(status))
        FreeUnicodeString(linkName);
    return status;
}

Status CreateDeviceObject(DriverObject* driver, DeviceObject* physicalDevice, DeviceObject** device)
{
    *device = nullptr;
    UnicodeString linkName;
    Status status = RegisterInterface(physicalDevice, &linkName);
    if (!IsSuccess(status))
        return status;
    size_t characters = linkName.Length / sizeof(char16_t);
    // A name that does not fit the extension's field is refused: a shortened
    // one would not find the interface again on removal.
    if (characters >= kLinkNameCharacters)
        status = Status::NameTooLong;
    if (IsSuccess(status))
        status = CreateDevice(driver, sizeof(DeviceExtension), nullptr, kDeviceTypeUnknown,
                              DeviceCharacteristicAutogeneratedName, false, device);
    if (!IsSuccess(status)) {
        SetDeviceInterfaceState(&linkName, false);
        FreeUnicodeString(&linkName);
        return status;
    }
    auto* ext = new ((*device)->DeviceExtension) DeviceExtension;
    ext->MaximumTransferSize = kMaximumTransferSize;
    std::memcpy(ext->InterfaceLinkName, linkName.Buffer, characters * sizeof(char16_t));
    ext->InterfaceLinkName[characters] = 0;
    ext->InterfaceLinkNameLength = uint16_t(characters);
    FreeUnicodeString(&linkName);
    return Status::Success;
}

Status AddDevice(DriverObject* driver, DeviceObject* physicalDevice)
{
    DeviceObject* device;
    Status status = CreateDeviceObject(driver, physicalDevice, &device);
    if (!IsSuccess(status))
        return status;
    DeviceExtension* ext = ExtensionOf(device);
    device->Flags |= DeviceFlagDirectIo | DeviceFlagPowerPageable;
    ext->PhysicalDevice = physicalDevice;
    ext->LowerDevice = AttachDeviceToDeviceStack(device, physicalDevice);
    if (!ext->LowerDevice) {
        UnicodeString link{uint16_t(ext->InterfaceLinkNameLength * 2), uint16_t(sizeof ext->InterfaceLinkName),
                           ext->InterfaceLinkName};
        SetDeviceInterfaceState(&link, false);
        ext->~DeviceExtension();
        DeleteDevice(device);
        return Status::NoSuchDevice;
    }
    QueryCapabilities(ext->LowerDevice, &ext->Capabilities);  // the result is not acted on
    uint32_t level = 0;
    for (uint32_t state : {SystemSleeping1, SystemSleeping2, SystemSleeping3})
        if (ext->Capabilities.DeviceState[state] < D3)
            level = ext->Capabilities.DeviceState[state];
    ext->PowerDownLevel = level;
    IncrementIoCount(device);  // taken back by removal
    device->Flags &= ~DeviceFlagInitializing;
    return status;
}

}  // namespace kovrin::qelusb

extern "C" __attribute__((visibility("default"))) kovrin::platform::Status DriverEntry(
    kovrin::platform::DriverObject* driver, const kovrin::platform::UnicodeString*)
{
    using namespace kovrin::qelusb;
    driver->Dispatch[size_t(MajorFunction::Create)] = DispatchCreate;
    driver->Dispatch[size_t(MajorFunction::Close)] = DispatchClose;
    driver->Dispatch[size_t(MajorFunction::Read)] = DispatchRead;
    driver->Dispatch[size_t(MajorFunction::Write)] = DispatchWrite;
    driver->Dispatch[size_t(MajorFunction::DeviceControl)] = DispatchDeviceControl;
    driver->Dispatch[size_t(MajorFunction::Power)] = DispatchPower;
    driver->Dispatch[size_t(MajorFunction::SystemControl)] = DispatchSystemControl;
    driver->Dispatch[size_t(MajorFunction::Pnp)] = DispatchPnp;
    driver->DriverUnload = DriverUnload;
    driver->AddDevice = AddDevice;
    return kovrin::platform::Status::Success;
}
