#pragma once
// What QelUsb offers its users (the library qel_usb and the tests): the ids
// it binds, its device interface and its control requests. The ids come from
// the build's configuration; the interface GUID is our own, defined here once.

#include <cstdint>
#include <vector>

#include "driver/qelusb_ids.h"
#include "platform/kernel/guid.h"
#include "platform/kernel/pnp_manager.h"

namespace kovrin::qelusb {

// The acceptor family's USB vendor identifier (ours to choose) and product ids,
// from the KOVRIN_USB_* CMake cache variables (0x7B5A, 0x0100, 0x0200, 0x0300).
constexpr uint16_t UsbVendorId = ConfiguredVendorId;
constexpr uint16_t ProductUsbAcceptor = ConfiguredProductAcceptor;           // DeviceType 1, "Knurl"
constexpr uint16_t ProductProgrammingModule = ConfiguredProductModule;       // DeviceType 2, "KDU"
constexpr uint16_t ProductSecondModule = ConfiguredProductSecondModule;      // DeviceType 3, "RDU"

// {8c1f2d4e-6b3a-4f57-9e21-5d7a0c3b9f64}
constexpr platform::Guid QelUsbInterfaceGuid{0x8c1f2d4e, 0x6b3a, 0x4f57, {0x9e, 0x21, 0x5d, 0x7a, 0x0c, 0x3b, 0x9f, 0x64}};

// Control requests on the interface path (device type 0x22, buffered, any access).
constexpr uint32_t IOCTL_QELUSB_GET_DEVICE_DESCRIPTOR = 0x220000;
constexpr uint32_t IOCTL_QELUSB_GET_CONFIG_DESCRIPTOR = 0x220004;
constexpr uint32_t IOCTL_QELUSB_GET_INTERFACE_INFO = 0x220008;
constexpr uint32_t IOCTL_QELUSB_RESET_DEVICE = 0x22000C;
constexpr uint32_t IOCTL_QELUSB_RESET_PIPE = 0x220010;

// The shared object's name (QelUsb.so), and the devices it is installed for.
constexpr const char* kDriverName = "QelUsb";
inline std::vector<platform::HardwareId> DriverHardwareIds()
{
    return {{UsbVendorId, ProductUsbAcceptor}, {UsbVendorId, ProductProgrammingModule},
            {UsbVendorId, ProductSecondModule}};
}

}  // namespace kovrin::qelusb
