#pragma once
// Work items: routines run later at passive level on the layer's worker thread.

#include "platform/kernel/objects.h"

namespace kovrin::platform {

struct WorkItem;
using WorkItemRoutine = void (*)(DeviceObject* device, void* context);
enum class WorkQueue { Delayed, Critical };

// Null when pool is short. The device object stays alive while the item is queued or runs.
WorkItem* AllocateWorkItem(DeviceObject* device);
void QueueWorkItem(WorkItem* item, WorkItemRoutine routine, WorkQueue queue, void* context);
// May be called from the item's own routine.
void FreeWorkItem(WorkItem* item);

}  // namespace kovrin::platform
