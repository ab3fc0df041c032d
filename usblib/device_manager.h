#pragma once
// The device manager: the library's started state, the device list, device
// arrival and removal, and opening devices for commands.

#include <memory>

#include "usblib/device_record.h"
#include "usblib/qel_usb.h"

namespace kovrin::usblib {

// The C header's type by its global name: a program's kovrin::DeviceChangeCallback
// function in the same unit must not hide it.
int32_t Initialise(::DeviceChangeCallback callback);
int32_t Remove();
UsbResult OpenDevice(UsbDevice device);
UsbResult CloseDevice(UsbDevice device);

bool IsInitialised();

// The descriptor that is readable while notices wait; -1 when not started.
int32_t NotificationDescriptor();
// Runs the waiting notices on the starting thread; how many ran, or -1 on
// another thread or when not started.
int32_t DispatchNotifications();

// The checks every device export starts with: 1 when not started, 3 for a
// handle the library does not hold; else 0 with the record.
UsbResult FindDevice(UsbDevice device, std::shared_ptr<UsbDeviceRecord>& record);
// As FindDevice, then 2 when the device is not open and 6 when its handles
// are let go already (it is going away); else 0 with its handles.
UsbResult AcquireOpenDevice(UsbDevice device, std::shared_ptr<UsbDeviceRecord>& record,
                            std::shared_ptr<DeviceFiles>& files);

// Makes the process's machine with QelUsb installed from the folder this
// library was loaded from; true once it runs.
bool StartHost();

}  // namespace kovrin::usblib
