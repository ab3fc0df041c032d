#pragma once
// USB descriptors and the interface-information block, little-endian, packed.

#include <cstddef>
#include <cstdint>

namespace kovrin::platform::usb {

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the packed layouts are little-endian");

enum DescriptorType : uint8_t {
    DescriptorTypeDevice = 1,
    DescriptorTypeConfiguration = 2,
    DescriptorTypeInterface = 4,
    DescriptorTypeEndpoint = 5,
};

enum UsbPipeType : uint32_t { UsbPipeControl = 0, UsbPipeIsochronous = 1, UsbPipeBulk = 2, UsbPipeInterrupt = 3 };

#pragma pack(push, 1)

struct UsbDeviceDescriptor {
    uint8_t bLength;
    uint8_t bDescriptorType;
    uint16_t bcdUSB;
    uint8_t bDeviceClass;
    uint8_t bDeviceSubClass;
    uint8_t bDeviceProtocol;
    uint8_t bMaxPacketSize0;
    uint16_t idVendor;
    uint16_t idProduct;
    uint16_t bcdDevice;
    uint8_t iManufacturer;
    uint8_t iProduct;
    uint8_t iSerialNumber;
    uint8_t bNumConfigurations;
};
static_assert(sizeof(UsbDeviceDescriptor) == 18);

struct UsbConfigurationDescriptor {
    uint8_t bLength;
    uint8_t bDescriptorType;
    uint16_t wTotalLength;
    uint8_t bNumInterfaces;
    uint8_t bConfigurationValue;
    uint8_t iConfiguration;
    uint8_t bmAttributes;
    uint8_t MaxPower;
};
static_assert(sizeof(UsbConfigurationDescriptor) == 9);

struct UsbInterfaceDescriptor {
    uint8_t bLength;
    uint8_t bDescriptorType;
    uint8_t bInterfaceNumber;
    uint8_t bAlternateSetting;
    uint8_t bNumEndpoints;
    uint8_t bInterfaceClass;
    uint8_t bInterfaceSubClass;
    uint8_t bInterfaceProtocol;
    uint8_t iInterface;
};
static_assert(sizeof(UsbInterfaceDescriptor) == 9);

struct UsbEndpointDescriptor {
    uint8_t bLength;
    uint8_t bDescriptorType;
    uint8_t bEndpointAddress;
    uint8_t bmAttributes;
    uint16_t wMaxPacketSize;
    uint8_t bInterval;
};
static_assert(sizeof(UsbEndpointDescriptor) == 7);

// One pipe of the selected interface: 20 bytes.
struct UsbPipeInformation {
    uint16_t MaximumPacketSize;
    uint8_t EndpointAddress;
    uint8_t Interval;
    uint32_t PipeType;
    uint32_t PipeHandle;
    uint32_t MaximumTransferSize;
    uint32_t PipeFlags;
};
static_assert(sizeof(UsbPipeInformation) == 20);

// The head of the selected interface's information: 16 bytes; the pipe entries follow.
struct UsbInterfaceInformation {
    uint16_t Length;  // of the head and all pipe entries
    uint8_t InterfaceNumber;
    uint8_t AlternateSetting;
    uint8_t Class;
    uint8_t SubClass;
    uint8_t Protocol;
    uint8_t Reserved;
    uint32_t InterfaceHandle;
    uint32_t NumberOfPipes;
};
static_assert(sizeof(UsbInterfaceInformation) == 16);

#pragma pack(pop)

constexpr uint32_t InterfaceInformationSize(uint32_t pipes)
{
    return uint32_t(sizeof(UsbInterfaceInformation)) + pipes * uint32_t(sizeof(UsbPipeInformation));
}

inline UsbPipeInformation* PipeAt(UsbInterfaceInformation* info, uint32_t index)
{
    return reinterpret_cast<UsbPipeInformation*>(reinterpret_cast<uint8_t*>(info) + sizeof(UsbInterfaceInformation) +
                                                 index * sizeof(UsbPipeInformation));
}
inline const UsbPipeInformation* PipeAt(const UsbInterfaceInformation* info, uint32_t index)
{
    return PipeAt(const_cast<UsbInterfaceInformation*>(info), index);
}

// The first interface descriptor in the configuration, looking no further than
// `length` bytes nor the descriptor's total length; null if there is none or
// the descriptors are malformed.
const UsbInterfaceDescriptor* FindFirstInterfaceDescriptor(const UsbConfigurationDescriptor* configuration,
                                                           size_t length);
// The endpoint descriptors that follow `interface` within the same bounds; at
// most `capacity` are stored; returns how many were found.
size_t FindEndpointDescriptors(const UsbConfigurationDescriptor* configuration, size_t length,
                               const UsbInterfaceDescriptor* interface, const UsbEndpointDescriptor** endpoints,
                               size_t capacity);

}  // namespace kovrin::platform::usb
