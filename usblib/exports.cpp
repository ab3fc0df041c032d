// The library's C exports of the device manager.

#include "usblib/device_manager.h"
#include "usblib/qel_usb.h"

extern "C" {

int32_t VoskUsb_Initialise(DeviceChangeCallback callback) { return kovrin::usblib::Initialise(callback); }

int32_t VoskUsb_Remove(void) { return kovrin::usblib::Remove(); }

UsbResult VoskUsb_OpenDevice(UsbDevice device) { return kovrin::usblib::OpenDevice(device); }

UsbResult VoskUsb_CloseDevice(UsbDevice device) { return kovrin::usblib::CloseDevice(device); }

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
