#include "platform/kernel/power_manager.h"

#include "platform/kernel/io_internal.h"
#include "platform/kernel/pool.h"

namespace kovrin::platform {

Status RequestPowerRequest(DeviceObject* physicalDevice, PowerMinor minor, uint32_t state,
                           PowerCompletionRoutine completion, void* context)
{
    if (!TakeAllocation())
        return Status::InsufficientResources;
    DeviceObject* top = ReferenceTopOfStack(physicalDevice);
    if (!top)
        return Status::NoSuchDevice;
    Request* request = AllocateRequestUncounted(top->StackSize);
    StackLocation* next = NextStackLocation(request);
    next->Major = MajorFunction::Power;
    next->Minor = uint8_t(minor);
    next->Power.Type = PowerStateType::Device;
    next->Power.State = state;
    SetFinalCompletion(request, [=](Request* r) {
        IoStatusBlock ioStatus = r->IoStatus;
        FreeRequest(r);
        if (completion)
            completion(physicalDevice, minor, state, context, ioStatus);
    });
    CallDriver(top, request);
    DereferenceDevice(top);
    return Status::Pending;
}

void StartNextPowerRequest(Request*) {}

Status CallPowerDriver(DeviceObject* device, Request* request) { return CallDriver(device, request); }

void SetPowerState(DeviceObject*, PowerStateType, uint32_t) {}

}  // namespace kovrin::platform
