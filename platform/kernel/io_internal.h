#pragma once
// The layer's own view of objects and requests; not for drivers.

#include <functional>
#include <vector>

#include "platform/kernel/io_manager.h"
#include "platform/kernel/request.h"

namespace kovrin::platform {

struct DeviceNode;

class DeviceObjectPrivate {
public:
    std::atomic<int> References{1};
    bool Deleted = false;              // guarded by the stack lock
    DeviceObject* AttachedAbove = nullptr;  // guarded by the stack lock
    DeviceObject* AttachedBelow = nullptr;  // guarded by the stack lock
    void* ExtensionStorage = nullptr;
    size_t ExtensionSize = 0;
};

class RequestPrivate {
public:
    // Called once the last completion routine has let the request go.
    std::function<void(Request*)> OnFinalCompletion;
    bool Completed = false;
    CancelRoutine Cancel = nullptr;  // guarded by the cancel lock
};

// Device creation that is not counted by the allocation failure injection.
Status CreateDeviceUncounted(DriverObject* driver, size_t extensionSize, uint32_t deviceType, DeviceObject** device);
void ReferenceDevice(DeviceObject* device);
void DereferenceDevice(DeviceObject* device);
// The top of the stack that `device` is in, referenced; null if it was deleted.
DeviceObject* ReferenceTopOfStack(DeviceObject* device);

Request* AllocateRequestUncounted(int stackSize);
void SetFinalCompletion(Request* request, std::function<void(Request*)> onFinal);

}  // namespace kovrin::platform
