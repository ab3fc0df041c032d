#pragma once
// QelUsb's own declarations: the device extension and the routines of its
// plug-and-play, power, pipe and control-request code, shared between its source files.

#include <atomic>
#include <cstdint>
#include <string_view>

#include "driver/qelusb_public.h"
#include "platform/kernel/device_interface.h"
#include "platform/kernel/io_manager.h"
#include "platform/kernel/pool.h"
#include "platform/kernel/power_manager.h"
#include "platform/kernel/request.h"
#include "platform/kernel/sync.h"
#include "platform/kernel/work_items.h"
#include "platform/usb/urb.h"

namespace kovrin::qelusb {

using namespace kovrin::platform;
using namespace kovrin::platform::usb;

constexpr uint32_t kPoolTag = MakePoolTag("Wdm ");
constexpr uint32_t kMaximumTransferSize = 4096;
constexpr uint32_t kFirstConfigurationRead = 521;
constexpr size_t kLinkNameCharacters = 256;  // with the terminating zero

// Counts and flags read on request threads and written on PnP and power
// threads are atomics or kept under CountLock.
struct DeviceExtension {
    DeviceObject* LowerDevice = nullptr;
    DeviceObject* PhysicalDevice = nullptr;
    std::atomic<uint32_t> DevicePowerState{D0};
    uint32_t ConfigurationHandle = 0;
    UsbConfigurationDescriptor* ConfigurationDescriptor = nullptr;
    uint32_t ConfigurationDescriptorLength = 0;  // bytes of it that were read
    UsbDeviceDescriptor* DeviceDescriptor = nullptr;
    uint32_t DeviceDescriptorLength = 0;  // bytes of it that were read
    UsbInterfaceInformation* InterfaceInformation = nullptr;  // under CountLock
    uint32_t InterfaceInformationLength = 0;
    DeviceCapabilities Capabilities{};
    std::atomic<Request*> HeldSystemPowerRequest{nullptr};
    Event RemoveEvent{EventType::Notification, false};
    Event StopEvent{EventType::Notification, false};
    Event PowerUpEvent{EventType::Notification, false};
    SpinLock CountLock;
    int32_t PendingIoCount = 0;          // under CountLock
    int32_t OpenPipeCount = 0;           // under CountLock: pipes with an open handle
    uint32_t* PipeOpenCounts = nullptr;  // under CountLock: open handles per pipe
    uint32_t PipeCount = 0;              // under CountLock
    char16_t InterfaceLinkName[kLinkNameCharacters] = {};
    uint16_t InterfaceLinkNameLength = 0;  // characters, without the terminator
    std::atomic<bool> Removing{false};
    std::atomic<bool> RemovePending{false};
    std::atomic<bool> StopPending{false};
    std::atomic<bool> Started{false};
    std::atomic<bool> WaitWakePending{false};
    std::atomic<bool> SelfPowerRequestPending{false};
    std::atomic<uint32_t> PowerDownLevel{0};
    uint32_t MaximumTransferSize = 0;
};

inline DeviceExtension* ExtensionOf(DeviceObject* device)
{
    return static_cast<DeviceExtension*>(device->DeviceExtension);
}

// A pipe handle's file context holds its pipe's index (plus one, so that a
// device handle's empty context stays null): it stays valid over stop and start.
inline void* PipeContext(uint32_t index) { return reinterpret_cast<void*>(uintptr_t(index) + 1); }
inline bool IsPipeHandle(const FileObject* file) { return file && file->Context != nullptr; }
inline uint32_t PipeIndexOf(const FileObject* file) { return uint32_t(reinterpret_cast<uintptr_t>(file->Context) - 1); }

// One bulk read or write between dispatch and completion.
struct TransferContext {
    UrbBulkOrInterruptTransfer* Urb;
    DeviceObject* Device;
    platform::Request* Request;
    bool Read;
    uint32_t PipeIndex;
    uint32_t PipeHandle;
    platform::WorkItem* WorkItem;
};

// ---- Device, plug and play, power
Status DispatchPnp(DeviceObject* device, Request* request);
Status DispatchPower(DeviceObject* device, Request* request);
Status DispatchSystemControl(DeviceObject* device, Request* request);
Status AddDevice(DriverObject* driver, DeviceObject* physicalDevice);
void DriverUnload(DriverObject* driver);

bool CanAcceptRequests(DeviceObject* device);
int32_t IncrementIoCount(DeviceObject* device);
int32_t DecrementIoCount(DeviceObject* device);
Status SubmitUrbSync(DeviceObject* device, UrbHeader* urb);
Status SelfSuspendOrActivate(DeviceObject* device, bool suspend);
Status QueryCapabilities(DeviceObject* lowerDevice, DeviceCapabilities* capabilities);
Status RegisterInterface(DeviceObject* physicalDevice, UnicodeString* linkName);
Status CreateDeviceObject(DriverObject* driver, DeviceObject* physicalDevice, DeviceObject** device);
Status StartDevice(DeviceObject* device);
Status ReadConfigurationDescriptor(DeviceObject* device);
Status SelectConfiguration(DeviceObject* device, UsbConfigurationDescriptor* descriptor, uint32_t length);
Status StopDevice(DeviceObject* device);
Status RemoveCleanup(DeviceObject* device);
Status RequestDevicePowerState(DeviceObject* device, uint32_t state);
Status SetDevicePowerState(DeviceObject* device, Request* request);
Status SignalEventCompletion(DeviceObject* device, Request* request, void* context);
void DevicePowerCompletion(DeviceObject* physicalDevice, PowerMinor minor, uint32_t state, void* context,
                           const IoStatusBlock& ioStatus);
Status PowerUpCompletion(DeviceObject* device, Request* request, void* context);
void SelfPowerCompletion(DeviceObject* physicalDevice, PowerMinor minor, uint32_t state, void* context,
                         const IoStatusBlock& ioStatus);

// ---- Pipe files, bulk transfers and control requests
Status DispatchCreate(DeviceObject* device, Request* request);
Status DispatchClose(DeviceObject* device, Request* request);
Status DispatchRead(DeviceObject* device, Request* request);
Status DispatchWrite(DeviceObject* device, Request* request);
Status DispatchDeviceControl(DeviceObject* device, Request* request);
Status DispatchReadWrite(DeviceObject* device, Request* request, bool read);
// The index of the pipe that the file name selects, or -1.
int PipeFlagFromName(DeviceObject* device, std::u16string_view name);
UrbBulkOrInterruptTransfer* BuildBulkUrb(DeviceObject* device, Request* request, uint32_t pipeHandle, bool read);
Status ReadWriteCompletion(DeviceObject* device, Request* request, void* context);
void ResetPipeWorkItem(DeviceObject* device, void* context);
Status ResetPipeUrb(DeviceObject* device, uint32_t pipeHandle);
Status AbortOpenPipes(DeviceObject* device);
Status ResetDevice(DeviceObject* device);
Status GetPortStatus(DeviceObject* device, uint32_t* portStatus);
Status ResetPort(DeviceObject* device);

// ---- small helpers
Status CompleteWith(Request* request, Status status, uintptr_t information = 0);
// Passes the request down unchanged.
Status PassDown(DeviceObject* device, Request* request);
// Passes the request down and waits until the lower drivers have completed it;
// the caller then completes it.
Status ForwardAndWait(DeviceObject* device, Request* request);

}  // namespace kovrin::qelusb
