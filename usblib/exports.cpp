// The library's C exports of the device manager.

#include "usblib/boundary.h"
#include "usblib/device_manager.h"
#include "usblib/qel_usb.h"

extern "C" {

int32_t VoskUsb_Initialise(DeviceChangeCallback callback)
try {
    return kovrin::usblib::Initialise(callback);
} catch (...) {
    return 0;
}

int32_t VoskUsb_Remove(void)
try {
    return kovrin::usblib::Remove();
} catch (...) {
    return 1;
}

int32_t VoskUsb_NotificationDescriptor(void)
try {
    return kovrin::usblib::NotificationDescriptor();
} catch (...) {
    return -1;
}

int32_t VoskUsb_DispatchNotifications(void)
try {
    return kovrin::usblib::DispatchNotifications();
} catch (...) {
    return -1;
}

UsbResult VoskUsb_OpenDevice(UsbDevice device)
try {
    return kovrin::usblib::OpenDevice(device);
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_CloseDevice(UsbDevice device)
try {
    return kovrin::usblib::CloseDevice(device);
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

void VoskUsb_Version(uint8_t* major, uint8_t* minor)
{
    if (major)
        *major = 0;
    if (minor)
        *minor = 1;
}

uint32_t HiByte(uint32_t value) { return value >> 8; }

uint8_t LoByte(uint32_t value) { return uint8_t(value & 0xFF); }

}  // extern "C"
