#pragma once
// The power manager as drivers see it.

#include "platform/kernel/request.h"

namespace kovrin::platform {

using PowerCompletionRoutine = void (*)(DeviceObject* device, PowerMinor minor, uint32_t state, void* context,
                                        const IoStatusBlock& ioStatus);

// Has the power manager send a power request (set-power of a device state, or
// wait-wake) to the top of the stack of `physicalDevice`; `completion` is
// called when it has completed. Pending when sent, else the failure.
Status RequestPowerRequest(DeviceObject* physicalDevice, PowerMinor minor, uint32_t state,
                           PowerCompletionRoutine completion, void* context);
// Lets the next power request of the device start.
void StartNextPowerRequest(Request* request);
// Passes a power request down.
Status CallPowerDriver(DeviceObject* device, Request* request);
// Tells the power manager the state the device is in now.
void SetPowerState(DeviceObject* device, PowerStateType type, uint32_t state);

}  // namespace kovrin::platform
