#include "platform/kernel/work_items.h"

#include "platform/kernel/io_internal.h"
#include "platform/kernel/pool.h"
#include "platform/kernel/system.h"

namespace kovrin::platform {

struct WorkItem {
    DeviceObject* Device;
};

WorkItem* AllocateWorkItem(DeviceObject* device)
{
    if (!TakeAllocation())
        return nullptr;
    return new WorkItem{device};
}

void QueueWorkItem(WorkItem* item, WorkItemRoutine routine, WorkQueue, void* context)
{
    DeviceObject* device = item->Device;
    ReferenceDevice(device);
    System::Current().Worker().Post([device, routine, context] {
        routine(device, context);
        DereferenceDevice(device);
    });
}

void FreeWorkItem(WorkItem* item) { delete item; }

}  // namespace kovrin::platform
