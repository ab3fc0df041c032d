#include "work_items.h"

#include "io_internal.h"
#include "pool.h"
#include "system.h"

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
