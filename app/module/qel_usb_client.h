#pragma once
// The program's side of the USB communications library, loaded by name from
// the program's folder on the first call.

#include <cstdint>
#include <functional>

#include "usblib/qel_usb.h"

namespace kovrin {

using ::KduFileInfo;
using ::UsbDevice;
using ::UsbResult;
using DeviceChangeCallbackFn = void (*)(UsbDevice device, int32_t event, int32_t deviceType);

// Starts the library; 1 when started, anything else when it is not (also
// when the library cannot be loaded). While it runs, the event loop of the
// calling thread hands the library's notifications of later arrivals and
// removals on (VoskUsb_DispatchNotifications).
int32_t VoskUsb_Initialise(DeviceChangeCallbackFn callback);
// Stops the library (nothing when it was never loaded).
int32_t VoskUsb_Remove();
// Handles the library's waiting notifications now; -1 when it is not running.
int32_t VoskUsb_DispatchNotifications();

// The device exports the module client calls. Tests stand a fake in for them.
struct ModuleExports {
    std::function<UsbResult(UsbDevice)> OpenDevice;
    std::function<UsbResult(UsbDevice)> CloseDevice;
    std::function<UsbResult(UsbDevice, uint8_t* record)> PMGetFWRev;
    std::function<UsbResult(UsbDevice, uint32_t index, uint8_t* status, KduFileInfo*)> PMEnumFile;
    std::function<UsbResult(UsbDevice, uint8_t* status, uint32_t number)> PMOpenFileForRead;
    std::function<UsbResult(UsbDevice, uint8_t* status, uint8_t* buffer, uint16_t* length)> PMReadFile;
    std::function<UsbResult(UsbDevice, uint8_t* status, const KduFileInfo*)> PMCreateFile;
    std::function<UsbResult(UsbDevice, uint8_t* status, const uint8_t* data, uint32_t length)> PMWriteFile;
    std::function<UsbResult(UsbDevice, uint8_t* status)> PMCloseFile;
    std::function<UsbResult(UsbDevice, uint8_t* status, uint32_t number)> PMDeleteFile;
};

// The exports of the library in the program's folder; each answers 1 (not
// initialised) when the library or the export cannot be found.
const ModuleExports& QelUsbExports();

// The library calls this with units arriving (event 0) and leaving (event 1);
// it hands them to the listener set here (none: ignored).
void DeviceChangeCallback(UsbDevice device, int32_t event, int32_t deviceType);
void SetDeviceChangeListener(std::function<void(UsbDevice, int32_t, int32_t)> listener);

}  // namespace kovrin
