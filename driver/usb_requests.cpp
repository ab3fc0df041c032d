// Requests to the USB stack below: pipe reset and abort, port
// status and reset, and the bulk transfer URB.

#include "driver/qelusb.h"

namespace kovrin::qelusb {

namespace {

Status SendPortRequest(DeviceObject* device, uint32_t code, uint32_t* portStatus)
{
    RequirePassive("port request");
    DeviceExtension* ext = ExtensionOf(device);
    Event done;
    IoStatusBlock ioStatus;
    Request* request = BuildDeviceControlRequest(code, ext->LowerDevice, nullptr, 0, nullptr, 0, true, &done, &ioStatus);
    if (!request)
        return Status::InsufficientResources;
    NextStackLocation(request)->Others.Argument1 = portStatus;
    if (CallDriver(ext->LowerDevice, request) == Status::Pending)
        done.Wait();
    return ioStatus.Status;
}

}  // namespace

UrbBulkOrInterruptTransfer* BuildBulkUrb(DeviceObject*, Request* request, uint32_t pipeHandle, bool read)
{
    auto* urb =
        static_cast<UrbBulkOrInterruptTransfer*>(AllocatePool(sizeof(UrbBulkOrInterruptTransfer), kPoolTag));
    if (!urb)
        return nullptr;
    uint32_t length = request->Mdl ? request->Mdl->ByteCount : 0;
    uint32_t flags = read ? (UsbTransferDirectionIn | UsbShortTransferOk) : 0;
    BuildBulkTransferUrb(urb, pipeHandle, request->Mdl, length, flags);
    return urb;
}

Status ResetPipeUrb(DeviceObject* device, uint32_t pipeHandle)
{
    auto* urb = static_cast<UrbPipeRequest*>(AllocatePool(sizeof(UrbPipeRequest), kPoolTag));
    if (!urb)
        return Status::InsufficientResources;
    BuildPipeRequestUrb(urb, UrbFunctionSyncResetPipeAndClearStall, pipeHandle);
    Status status = SubmitUrbSync(device, &urb->Header);
    FreePool(urb);
    return status;
}

Status AbortOpenPipes(DeviceObject* device)
{
    DeviceExtension* ext = ExtensionOf(device);
    Status first = Status::Success;
    uint32_t pipes;
    {
        SpinLockGuard guard(ext->CountLock);
        pipes = ext->PipeCount;
    }
    // Every open pipe is tried; the first failure is the result.
    for (uint32_t i = 0; i < pipes; ++i) {
        uint32_t handle = 0;
        bool open;
        {
            SpinLockGuard guard(ext->CountLock);
            open = i < ext->PipeCount && ext->PipeOpenCounts && ext->PipeOpenCounts[i] > 0 && ext->InterfaceInformation;
            if (open)
                handle = PipeAt(ext->InterfaceInformation, i)->PipeHandle;
        }
        if (!open)
            continue;
        Status status = Status::InsufficientResources;
        if (auto* urb = static_cast<UrbPipeRequest*>(AllocatePool(sizeof(UrbPipeRequest), kPoolTag))) {
            BuildPipeRequestUrb(urb, UrbFunctionAbortPipe, handle);
            status = SubmitUrbSync(device, &urb->Header);
            FreePool(urb);
        }
        if (!IsSuccess(status)) {
            if (IsSuccess(first))
                first = status;
            continue;
        }
        SpinLockGuard guard(ext->CountLock);
        if (i < ext->PipeCount && ext->PipeOpenCounts[i] > 0) {
            ext->PipeOpenCounts[i] = 0;
            --ext->OpenPipeCount;
        }
    }
    return first;
}

Status GetPortStatus(DeviceObject* device, uint32_t* portStatus)
{
    *portStatus = 0;
    return SendPortRequest(device, kIoctlInternalGetPortStatus, portStatus);
}

Status ResetPort(DeviceObject* device) { return SendPortRequest(device, kIoctlInternalResetPort, nullptr); }

Status ResetDevice(DeviceObject* device)
{
    uint32_t portStatus = 0;
    Status status = GetPortStatus(device, &portStatus);
    if (!IsSuccess(status))
        return status;
    if ((portStatus & PortConnected) && !(portStatus & PortEnabled))
        return ResetPort(device);
    return status;
}

}  // namespace kovrin::qelusb
