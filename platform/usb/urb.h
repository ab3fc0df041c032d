#pragma once
// The USB bus driver interface: internal control codes, URBs and USB statuses.
// The control codes and status values are those the USB driver expects of its bus.

#include <cstdint>

#include "platform/kernel/objects.h"
#include "platform/usb/descriptors.h"

namespace kovrin::platform::usb {

// Internal device control codes served by the bus driver's physical device.
constexpr uint32_t kIoctlInternalSubmitUrb = 0x220003;
constexpr uint32_t kIoctlInternalResetPort = 0x220007;
constexpr uint32_t kIoctlInternalGetPortStatus = 0x220013;

// The largest bulk transfer the bus carries in one URB.
constexpr uint32_t kMaximumBulkTransfer = 4096;

// Port status word bits.
enum PortStatusBits : uint32_t { PortEnabled = 0x1, PortConnected = 0x2 };

enum UrbFunction : uint16_t {
    UrbFunctionSelectConfiguration = 0x0000,
    UrbFunctionAbortPipe = 0x0002,
    UrbFunctionBulkOrInterruptTransfer = 0x0009,
    UrbFunctionGetDescriptorFromDevice = 0x000B,
    UrbFunctionSyncResetPipeAndClearStall = 0x001E,
};

// USB status of a URB: bit 31 failure; bits 31 and 30 both set: the halted class,
// after which the endpoint must be reset.
using UsbdStatus = uint32_t;
constexpr UsbdStatus UsbdStatusSuccess = 0x00000000;
constexpr UsbdStatus UsbdStatusPending = 0x40000000;
constexpr UsbdStatus UsbdStatusStall = 0xC0000004;
constexpr UsbdStatus UsbdStatusDeviceNotResponding = 0xC0000005;
constexpr UsbdStatus UsbdStatusBufferOverrun = 0xC000000C;
constexpr UsbdStatus UsbdStatusCancelled = 0x80010000;
constexpr UsbdStatus UsbdStatusDeviceGone = 0x80020000;
constexpr UsbdStatus UsbdStatusInvalidParameter = 0x80000300;
constexpr UsbdStatus UsbdStatusInvalidPipeHandle = 0x80000600;
constexpr UsbdStatus UsbdStatusRequestFailed = 0x80000500;

constexpr bool UsbdSucceeded(UsbdStatus s) { return (s & 0x80000000u) == 0; }
constexpr bool UsbdHalted(UsbdStatus s) { return (s >> 30) == 3; }

struct UrbHeader {
    uint16_t Length;  // bytes of the whole URB
    uint16_t Function;
    UsbdStatus Status;
};

struct UrbControlDescriptorRequest {
    UrbHeader Header;
    void* TransferBuffer;
    uint32_t TransferBufferLength;  // in: buffer size; out: bytes returned
    uint8_t Index;
    uint8_t DescriptorType;
    uint16_t LanguageId;
};

// Select configuration; a null descriptor deconfigures the device. For one
// interface, its information block follows (head and pipe entries).
struct UrbSelectConfiguration {
    UrbHeader Header;
    const UsbConfigurationDescriptor* ConfigurationDescriptor;
    uint32_t ConfigurationHandle;
    uint32_t Reserved;
    UsbInterfaceInformation Interface;  // then Interface.NumberOfPipes pipe entries
};

enum UsbTransferFlags : uint32_t { UsbTransferDirectionIn = 0x1, UsbShortTransferOk = 0x2 };

struct UrbBulkOrInterruptTransfer {
    UrbHeader Header;
    uint32_t PipeHandle;
    uint32_t TransferFlags;
    uint32_t TransferBufferLength;  // in: length; out: bytes moved
    void* TransferBuffer;           // used when there is no memory descriptor
    MemoryDescriptor* TransferBufferMdl;
    void* UrbLink;
};

struct UrbPipeRequest {
    UrbHeader Header;
    uint32_t PipeHandle;
    uint32_t Reserved;
};

// ---- helpers of the bus driver interface (allocations are from pool, counted)

void BuildGetDescriptorUrb(UrbControlDescriptorRequest* urb, uint8_t descriptorType, uint8_t index,
                           uint16_t languageId, void* buffer, uint32_t length);
void BuildDeconfigureUrb(UrbSelectConfiguration* urb);
void BuildPipeRequestUrb(UrbPipeRequest* urb, UrbFunction function, uint32_t pipeHandle);
void BuildBulkTransferUrb(UrbBulkOrInterruptTransfer* urb, uint32_t pipeHandle, MemoryDescriptor* mdl,
                          uint32_t length, uint32_t flags);

// A select-configuration URB for one interface of the configuration, with an
// entry per endpoint of that interface; null when pool is short. Free with FreePool.
UrbSelectConfiguration* CreateSelectConfigurationUrb(const UsbConfigurationDescriptor* configuration,
                                                     const UsbInterfaceDescriptor* interface);
constexpr uint32_t SelectConfigurationUrbSize(uint32_t pipes)
{
    return uint32_t(sizeof(UrbSelectConfiguration)) + pipes * uint32_t(sizeof(UsbPipeInformation));
}

}  // namespace kovrin::platform::usb
