#pragma once
// The program's side of the USB communications library, loaded by name from
// the program's folder on the first call.

#include <cstdint>

namespace kovrin {

// The library's 32-bit handle of a device.
using UsbDevice = uint32_t;
using DeviceChangeCallbackFn = void (*)(UsbDevice device, int32_t event, int32_t deviceType);

// Starts the library; 1 when started, anything else when it is not (also
// when the library cannot be loaded).
int32_t VoskUsb_Initialise(DeviceChangeCallbackFn callback);
// Stops the library (nothing when it was never loaded).
int32_t VoskUsb_Remove();

// Told of modules arriving and leaving.
void DeviceChangeCallback(UsbDevice device, int32_t event, int32_t deviceType);

}  // namespace kovrin
