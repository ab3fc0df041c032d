#pragma once
// Device objects and device stacks.

#include <cstddef>

#include "platform/kernel/objects.h"
#include "platform/kernel/request.h"

namespace kovrin::platform {

// A new device object with a zeroed extension of `extensionSize` bytes; the
// Initializing flag is set until the creator clears it.
Status CreateDevice(DriverObject* driver, size_t extensionSize, const UnicodeString* name, uint32_t deviceType,
                    uint32_t characteristics, bool exclusive, DeviceObject** device);
// The object goes away once nothing refers to it any more.
void DeleteDevice(DeviceObject* device);

// Attaches `source` on top of the stack that `target` is in; returns the
// device it was attached to (the former top), or null.
DeviceObject* AttachDeviceToDeviceStack(DeviceObject* source, DeviceObject* target);
// Detaches whatever is attached above `lower`.
void DetachDevice(DeviceObject* lower);

// Whether DeleteDevice was called on it (for tests; the object must still be referenced).
bool IsDeviceDeleted(DeviceObject* device);

}  // namespace kovrin::platform
