// Power: system and device set-power, wait-wake, and idle
// power-down while no pipe is open.

#include "driver/qelusb.h"

namespace kovrin::qelusb {

namespace {

// The device state for a system state: D0 when working; while wait-wake is
// pending the capabilities' mapping (D3 where that is unspecified); else D3.
uint32_t WantedDeviceState(DeviceExtension* ext, uint32_t systemState)
{
    if (systemState == SystemWorking)
        return D0;
    if (ext->WaitWakePending && systemState < SystemStateCount && ext->Capabilities.DeviceState[systemState])
        return ext->Capabilities.DeviceState[systemState];
    return D3;
}

Status PassPowerDown(DeviceObject* device, Request* request)
{
    StartNextPowerRequest(request);
    SkipCurrentStackLocation(request);
    Status status = CallPowerDriver(ExtensionOf(device)->LowerDevice, request);
    DecrementIoCount(device);
    return status;
}

Status HandleWaitWake(DeviceObject* device, Request* request)
{
    DeviceExtension* ext = ExtensionOf(device);
    ext->PowerDownLevel = ext->Capabilities.DeviceWake;
    if (ext->DevicePowerState == D0 || ext->Capabilities.DeviceWake > ext->DevicePowerState) {
        StartNextPowerRequest(request);
        CompleteWith(request, Status::InvalidDeviceState);
        DecrementIoCount(device);
        return Status::InvalidDeviceState;
    }
    ext->WaitWakePending = true;
    Event done;
    CopyCurrentStackLocationToNext(request);
    SetCompletionRoutine(request, SignalEventCompletion, &done, true, true, true);
    StartNextPowerRequest(request);
    Status status = CallPowerDriver(ext->LowerDevice, request);
    if (status == Status::Pending)
        done.Wait();
    status = request->IoStatus.Status;
    SelfSuspendOrActivate(device, false);
    ext->WaitWakePending = false;
    CompleteRequest(request);
    DecrementIoCount(device);
    return status;
}

Status HandleSystemSetPower(DeviceObject* device, Request* request)
{
    DeviceExtension* ext = ExtensionOf(device);
    uint32_t wanted = WantedDeviceState(ext, CurrentStackLocation(request)->Power.State);
    if (wanted == ext->DevicePowerState)
        return PassPowerDown(device, request);
    ext->HeldSystemPowerRequest = request;
    MarkPending(request);
    Status status =
        RequestPowerRequest(ext->PhysicalDevice, PowerMinor::SetPower, wanted, DevicePowerCompletion, device);
    if (!IsSuccess(status)) {
        // The device request could not be issued: the held request ends here.
        ext->HeldSystemPowerRequest = nullptr;
        StartNextPowerRequest(request);
        CompleteWith(request, status);
        DecrementIoCount(device);
    }
    return Status::Pending;
}

}  // namespace

Status DispatchPower(DeviceObject* device, Request* request)
{
    StackLocation* stack = CurrentStackLocation(request);
    IncrementIoCount(device);
    switch (PowerMinor(stack->Minor)) {
    case PowerMinor::WaitWake:
        return HandleWaitWake(device, request);
    case PowerMinor::SetPower:
        if (stack->Power.Type == PowerStateType::System)
            return HandleSystemSetPower(device, request);
        return SetDevicePowerState(device, request);
    default:
        return PassPowerDown(device, request);
    }
}

Status SetDevicePowerState(DeviceObject* device, Request* request)
{
    DeviceExtension* ext = ExtensionOf(device);
    uint32_t state = CurrentStackLocation(request)->Power.State;
    if (state == D0) {
        // Recorded once the device below has powered up.
        CopyCurrentStackLocationToNext(request);
        SetCompletionRoutine(request, PowerUpCompletion, nullptr, true, true, true);
        MarkPending(request);
        CallPowerDriver(ext->LowerDevice, request);
        return Status::Pending;
    }
    ext->DevicePowerState = state;
    SetPowerState(device, PowerStateType::Device, state);
    return PassPowerDown(device, request);
}

Status PowerUpCompletion(DeviceObject* device, Request* request, void*)
{
    DeviceExtension* ext = ExtensionOf(device);
    if (request->PendingReturned)
        MarkPending(request);
    if (IsSuccess(request->IoStatus.Status)) {
        ext->DevicePowerState = D0;
        SetPowerState(device, PowerStateType::Device, D0);
    }
    StartNextPowerRequest(request);
    DecrementIoCount(device);
    return Status::Success;
}

void DevicePowerCompletion(DeviceObject*, PowerMinor, uint32_t, void* context, const IoStatusBlock& ioStatus)
{
    auto* device = static_cast<DeviceObject*>(context);
    DeviceExtension* ext = ExtensionOf(device);
    Request* system = ext->HeldSystemPowerRequest.exchange(nullptr);
    if (system) {
        StartNextPowerRequest(system);
        if (IsSuccess(ioStatus.Status)) {
            SkipCurrentStackLocation(system);
            CallPowerDriver(ext->LowerDevice, system);
        } else {
            // A failed device transition still ends the system request.
            CompleteWith(system, ioStatus.Status);
        }
    }
    DecrementIoCount(device);
}

Status SelfSuspendOrActivate(DeviceObject* device, bool suspend)
{
    DeviceExtension* ext = ExtensionOf(device);
    if (!CanAcceptRequests(device))
        return Status::DeletePending;
    if (ext->HeldSystemPowerRequest.load() || ext->SelfPowerRequestPending)
        return Status::Success;
    int32_t open;
    {
        SpinLockGuard guard(ext->CountLock);
        open = ext->OpenPipeCount;
    }
    if ((suspend && open > 0) || (!suspend && open == 0))
        return Status::Success;
    uint32_t level = ext->PowerDownLevel;
    if (level < D1 || level > D3)
        return Status::Success;
    return RequestDevicePowerState(device, suspend ? level : uint32_t(D0));
}

Status RequestDevicePowerState(DeviceObject* device, uint32_t state)
{
    DeviceExtension* ext = ExtensionOf(device);
    if (ext->DevicePowerState == state)
        return Status::Success;
    IncrementIoCount(device);
    ext->SelfPowerRequestPending = true;
    bool powerUp = state < ext->PowerDownLevel;
    if (powerUp)
        ext->PowerUpEvent.Clear();  // so that this power-up is waited for, not an earlier one
    Status status = RequestPowerRequest(ext->PhysicalDevice, PowerMinor::SetPower, state, SelfPowerCompletion, device);
    if (status == Status::Pending) {
        if (powerUp)
            ext->PowerUpEvent.Wait();
        ext->SelfPowerRequestPending = false;
        return Status::Success;
    }
    ext->SelfPowerRequestPending = false;
    DecrementIoCount(device);
    return status;
}

void SelfPowerCompletion(DeviceObject*, PowerMinor, uint32_t state, void* context, const IoStatusBlock&)
{
    auto* device = static_cast<DeviceObject*>(context);
    DeviceExtension* ext = ExtensionOf(device);
    if (state < ext->PowerDownLevel)
        ext->PowerUpEvent.Set();
    DecrementIoCount(device);
}

}  // namespace kovrin::qelusb
