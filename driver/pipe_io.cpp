// Pipe files: open and close, and each read or write as one bulk
// transfer, with a halted pipe reset before the caller is told.

#include "driver/qelusb.h"

namespace kovrin::qelusb {

namespace {

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// Longer numbers than this select no pipe (the count is far smaller).
constexpr int kMaximumPipeDigits = 9;

Status FinishReadWrite(DeviceObject* device, Request* request, Status status)
{
    CompleteWith(request, status);
    DecrementIoCount(device);
    return status;
}

}  // namespace

int PipeFlagFromName(DeviceObject* device, std::u16string_view name)
{
    if (name.empty())
        return -1;
    // From the end, the last digit; index 0 never belongs to the number.
    size_t at = name.size() - 1;
    while (at > 0 && !IsDigit(name[at]))
        --at;
    if (at == 0)
        return -1;
    uint32_t number = 0;
    uint32_t scale = 1;
    int digits = 0;
    for (; at > 0 && IsDigit(name[at]); --at) {
        if (++digits > kMaximumPipeDigits)
            return -1;
        number += uint32_t(name[at] - u'0') * scale;
        scale *= 10;
    }
    DeviceExtension* ext = ExtensionOf(device);
    SpinLockGuard guard(ext->CountLock);
    if (!ext->PipeOpenCounts || number >= ext->PipeCount)
        return -1;
    return int(number);
}

Status DispatchCreate(DeviceObject* device, Request* request)
{
    DeviceExtension* ext = ExtensionOf(device);
    FileObject* file = CurrentStackLocation(request)->File;
    IncrementIoCount(device);
    file->Context = nullptr;
    Status status;
    if (!CanAcceptRequests(device)) {
        status = Status::DeletePending;
    } else if (file->FileName.empty()) {
        status = Status::Success;  // a device handle, for the control requests
    } else {
        int index = PipeFlagFromName(device, file->FileName);
        if (index < 0) {
            status = Status::InsufficientResources;
        } else {
            file->Context = PipeContext(uint32_t(index));
            {
                SpinLockGuard guard(ext->CountLock);
                if (ext->PipeOpenCounts[index]++ == 0)
                    ++ext->OpenPipeCount;
            }
            SelfSuspendOrActivate(device, false);
            status = Status::Success;
        }
    }
    CompleteWith(request, status);
    DecrementIoCount(device);
    return status;
}

Status DispatchClose(DeviceObject* device, Request* request)
{
    DeviceExtension* ext = ExtensionOf(device);
    FileObject* file = CurrentStackLocation(request)->File;
    IncrementIoCount(device);
    if (IsPipeHandle(file)) {
        uint32_t index = PipeIndexOf(file);
        SpinLockGuard guard(ext->CountLock);
        if (index < ext->PipeCount && ext->PipeOpenCounts[index] > 0 && --ext->PipeOpenCounts[index] == 0)
            --ext->OpenPipeCount;
    }
    CompleteWith(request, Status::Success);
    SelfSuspendOrActivate(device, true);
    DecrementIoCount(device);
    return Status::Success;
}

Status DispatchRead(DeviceObject* device, Request* request) { return DispatchReadWrite(device, request, true); }

Status DispatchWrite(DeviceObject* device, Request* request) { return DispatchReadWrite(device, request, false); }

Status DispatchReadWrite(DeviceObject* device, Request* request, bool read)
{
    DeviceExtension* ext = ExtensionOf(device);
    FileObject* file = CurrentStackLocation(request)->File;
    request->IoStatus.Information = 0;
    // Counted in before the check, so that removal and stop wait for it.
    IncrementIoCount(device);
    if (!CanAcceptRequests(device))
        return FinishReadWrite(device, request, Status::DeletePending);
    uint32_t length = request->Mdl ? request->Mdl->ByteCount : 0;
    if (length > ext->MaximumTransferSize)
        return FinishReadWrite(device, request, Status::InvalidParameter);
    if (!IsPipeHandle(file))
        return FinishReadWrite(device, request, Status::InvalidHandle);
    uint32_t index = PipeIndexOf(file);
    uint32_t pipeHandle;
    {
        SpinLockGuard guard(ext->CountLock);
        if (index >= ext->PipeCount || !ext->InterfaceInformation)
            return FinishReadWrite(device, request, Status::InvalidHandle);
        pipeHandle = PipeAt(ext->InterfaceInformation, index)->PipeHandle;
    }
    auto* context = static_cast<TransferContext*>(AllocatePool(sizeof(TransferContext), kPoolTag));
    UrbBulkOrInterruptTransfer* urb = context ? BuildBulkUrb(device, request, pipeHandle, read) : nullptr;
    if (!urb) {
        FreePool(context);
        return FinishReadWrite(device, request, Status::InsufficientResources);
    }
    *context = TransferContext{urb, device, request, read, index, pipeHandle, nullptr};
    StackLocation* next = NextStackLocation(request);
    next->Major = MajorFunction::InternalDeviceControl;
    next->DeviceIoControl.IoControlCode = kIoctlInternalSubmitUrb;
    next->Others.Argument1 = urb;
    next->File = file;
    SetCompletionRoutine(request, ReadWriteCompletion, context, true, true, true);
    return CallDriver(ext->LowerDevice, request);
}

Status ReadWriteCompletion(DeviceObject* device, Request* request, void* context)
{
    auto* transfer = static_cast<TransferContext*>(context);
    UrbBulkOrInterruptTransfer* urb = transfer->Urb;
    if (request->PendingReturned)
        MarkPending(request);
    request->IoStatus.Information = urb->TransferBufferLength;
    if (!IsSuccess(request->IoStatus.Status) && UsbdHalted(urb->Header.Status)) {
        // The reset is a synchronous request: it waits for passive level.
        if (WorkItem* item = AllocateWorkItem(device)) {
            transfer->WorkItem = item;
            FreePool(urb);
            transfer->Urb = nullptr;
            QueueWorkItem(item, ResetPipeWorkItem, WorkQueue::Delayed, transfer);
            return Status::MoreProcessingRequired;
        }
    }
    CompleteRequest(request);
    FreePool(urb);
    FreePool(transfer);
    DecrementIoCount(device);
    return Status::MoreProcessingRequired;
}

void ResetPipeWorkItem(DeviceObject* device, void* context)
{
    auto* transfer = static_cast<TransferContext*>(context);
    ResetPipeUrb(device, transfer->PipeHandle);  // its result is not looked at
    CompleteRequest(transfer->Request);          // with the transfer's failure
    FreeWorkItem(transfer->WorkItem);
    FreePool(transfer);
    DecrementIoCount(device);
}

}  // namespace kovrin::qelusb
