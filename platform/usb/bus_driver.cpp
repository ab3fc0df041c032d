#include "platform/usb/bus_driver.h"

#include <cstring>
#include <vector>

#include "platform/kernel/io_internal.h"
#include "platform/kernel/level.h"
#include "platform/kernel/pnp_manager.h"
#include "platform/kernel/power_manager.h"
#include "platform/kernel/request.h"
#include "platform/kernel/system.h"
#include "platform/usb/urb.h"

namespace kovrin::platform::usb {

struct PipeState {
    uint8_t Endpoint = 0;
    uint32_t Type = UsbPipeBulk;
    uint32_t MaximumTransferSize = kMaximumBulkTransfer;
};

struct PendingTransfer {
    TransferPtr Transfer;
    uint32_t Pipe = 0;  // 0: not on a pipe (control)
};

struct BusDevice : std::enable_shared_from_this<BusDevice> {
    BusDriver* Bus = nullptr;
    std::shared_ptr<DeviceBackend> Backend;
    DeviceObject* Pdo = nullptr;

    std::mutex Lock;
    bool Present = true;
    uint32_t PowerState = D0;
    std::map<uint32_t, PipeState> Pipes;
    std::map<Request*, PendingTransfer> Pending;
    std::vector<std::pair<uint32_t, Request*>> AbortWaiters;
    Request* WaitWake = nullptr;
};

namespace {

std::mutex handleLock;
uint32_t nextHandle = 0x1000;  // guarded by handleLock

uint32_t NewHandle()
{
    std::lock_guard<std::mutex> guard(handleLock);
    return ++nextHandle;
}

BusDevice* DeviceOf(DeviceObject* pdo) { return *static_cast<BusDevice**>(pdo->DeviceExtension); }

struct Outcome {
    UsbdStatus Usbd;
    Status Request;
};

Outcome OutcomeOf(TransferStatus status)
{
    switch (status) {
    case TransferStatus::Completed: return {UsbdStatusSuccess, Status::Success};
    case TransferStatus::Stall: return {UsbdStatusStall, Status::Unsuccessful};
    case TransferStatus::Overflow: return {UsbdStatusBufferOverrun, Status::Unsuccessful};
    case TransferStatus::Cancelled: return {UsbdStatusCancelled, Status::Cancelled};
    case TransferStatus::NoDevice: return {UsbdStatusDeviceGone, Status::DeviceNotConnected};
    case TransferStatus::Error: return {UsbdStatusDeviceNotResponding, Status::Unsuccessful};
    }
    return {UsbdStatusRequestFailed, Status::Unsuccessful};
}

// What a transfer that returns data or takes it tells its URB: the status and the bytes moved.
template <typename Urb>
auto CompletesWithLength(Urb* urb)
{
    return [urb](TransferStatus status, uint32_t actual) {
        Outcome outcome = OutcomeOf(status);
        urb->Header.Status = outcome.Usbd;
        urb->TransferBufferLength = actual;
        return outcome.Request;
    };
}

Status CompleteWith(Request* request, Status status, uintptr_t information = 0)
{
    request->IoStatus = {status, information};
    CompleteRequest(request);
    return status;
}

Status FailUrb(Request* request, UrbHeader* urb, UsbdStatus usbd, Status status)
{
    urb->Status = usbd;
    return CompleteWith(request, status);
}

void CancelTransfer(DeviceObject* pdo, Request* request)
{
    BusDevice* device = DeviceOf(pdo);
    TransferPtr transfer;
    {
        std::lock_guard<std::mutex> guard(device->Lock);
        auto it = device->Pending.find(request);
        if (it != device->Pending.end())
            transfer = it->second.Transfer;
    }
    if (transfer)
        device->Backend->Cancel(transfer);
}

// Called on the backend's event thread when a transfer of `request` is over.
void FinishTransfer(const std::shared_ptr<BusDevice>& device, Request* request,
                    const std::function<Status(TransferStatus, uint32_t)>& finish, TransferStatus status,
                    uint32_t actual)
{
    DispatchLevelScope level;
    std::vector<Request*> aborts;
    {
        std::lock_guard<std::mutex> guard(device->Lock);
        auto it = device->Pending.find(request);
        uint32_t pipe = it == device->Pending.end() ? 0 : it->second.Pipe;
        if (it != device->Pending.end())
            device->Pending.erase(it);
        if (pipe) {
            bool more = false;
            for (auto& [r, p] : device->Pending)
                more = more || p.Pipe == pipe;
            if (!more) {
                for (auto w = device->AbortWaiters.begin(); w != device->AbortWaiters.end();) {
                    if (w->first == pipe) {
                        aborts.push_back(w->second);
                        w = device->AbortWaiters.erase(w);
                    } else {
                        ++w;
                    }
                }
            }
        }
    }
    // The cancel routine, if it runs now, holds the cancel lock: this waits for it.
    SetCancelRoutine(request, nullptr);
    request->IoStatus.Status = finish(status, actual);
    CompleteRequest(request);
    for (Request* abort : aborts) {
        auto* urb = static_cast<UrbHeader*>(CurrentStackLocation(abort)->Others.Argument1);
        urb->Status = UsbdStatusSuccess;
        CompleteWith(abort, Status::Success);
    }
}

// Starts a backend transfer for `request`; `finish` sets the URB and returns the request status.
Status StartTransfer(BusDevice* device, Request* request, const TransferPtr& transfer, uint32_t pipe,
                     std::function<Status(TransferStatus, uint32_t)> finish)
{
    MarkPending(request);
    std::shared_ptr<BusDevice> self = device->shared_from_this();
    transfer->Done = [self, request, finish = std::move(finish)](TransferStatus status, uint32_t actual) {
        FinishTransfer(self, request, finish, status, actual);
    };
    {
        std::lock_guard<std::mutex> guard(device->Lock);
        device->Pending[request] = PendingTransfer{transfer, pipe};
    }
    SetCancelRoutine(request, CancelTransfer);
    if (request->Cancel && SetCancelRoutine(request, nullptr) != nullptr) {
        // Cancelled before the routine was in place: never submitted.
        transfer->Done(TransferStatus::Cancelled, 0);
        return Status::Pending;
    }
    device->Backend->Submit(transfer);
    return Status::Pending;
}

Status GetDescriptor(BusDevice* device, Request* request, UrbControlDescriptorRequest* urb)
{
    if (urb->Header.Length < sizeof *urb)
        return FailUrb(request, &urb->Header, UsbdStatusInvalidParameter, Status::InvalidParameter);
    auto transfer = std::make_shared<Transfer>();
    transfer->Kind = Transfer::Type::Control;
    transfer->Endpoint = 0x80;
    uint32_t length = urb->TransferBufferLength;
    transfer->Setup = {0x80, 0x06, urb->Index, urb->DescriptorType, uint8_t(urb->LanguageId),
                       uint8_t(urb->LanguageId >> 8), uint8_t(length), uint8_t(length >> 8)};
    transfer->Buffer = static_cast<uint8_t*>(urb->TransferBuffer);
    transfer->Length = length;
    return StartTransfer(device, request, transfer, 0, CompletesWithLength(urb));
}

Status SelectConfiguration(BusDevice* device, Request* request, UrbSelectConfiguration* urb)
{
    if (urb->Header.Length < sizeof *urb)
        return FailUrb(request, &urb->Header, UsbdStatusInvalidParameter, Status::InvalidParameter);
    const UsbConfigurationDescriptor* configuration = urb->ConfigurationDescriptor;
    std::vector<UsbPipeInformation> pipes;
    uint8_t value = 0;
    const UsbInterfaceDescriptor* interface = nullptr;
    if (configuration) {
        // The client's copy of the descriptor is trusted as far as its total length.
        interface = FindFirstInterfaceDescriptor(configuration, configuration->wTotalLength);
        uint32_t count = urb->Interface.NumberOfPipes;
        if (!interface || interface->bNumEndpoints != count || urb->Header.Length < SelectConfigurationUrbSize(count) ||
            urb->Interface.Length < InterfaceInformationSize(count))
            return FailUrb(request, &urb->Header, UsbdStatusInvalidParameter, Status::InvalidParameter);
        std::vector<const UsbEndpointDescriptor*> endpoints(count);
        if (FindEndpointDescriptors(configuration, configuration->wTotalLength, interface, endpoints.data(), count) !=
            count)
            return FailUrb(request, &urb->Header, UsbdStatusInvalidParameter, Status::InvalidParameter);
        for (uint32_t i = 0; i < count; ++i) {
            UsbPipeInformation pipe{};
            pipe.MaximumPacketSize = endpoints[i]->wMaxPacketSize;
            pipe.EndpointAddress = endpoints[i]->bEndpointAddress;
            pipe.Interval = endpoints[i]->bInterval;
            pipe.PipeType = endpoints[i]->bmAttributes & 3;
            pipes.push_back(pipe);
        }
        value = configuration->bConfigurationValue;
    }
    // Whatever ran on the old configuration's pipes is cancelled.
    std::vector<TransferPtr> cancelled;
    {
        std::lock_guard<std::mutex> guard(device->Lock);
        for (auto& [r, p] : device->Pending)
            if (p.Pipe)
                cancelled.push_back(p.Transfer);
        device->Pipes.clear();
    }
    for (auto& transfer : cancelled)
        device->Backend->Cancel(transfer);

    auto transfer = std::make_shared<Transfer>();
    transfer->Kind = Transfer::Type::Control;
    transfer->Endpoint = 0x00;
    transfer->Setup = {0x00, 0x09, value, 0, 0, 0, 0, 0};
    std::shared_ptr<BusDevice> self = device->shared_from_this();
    return StartTransfer(device, request, transfer, 0,
                         [self, urb, pipes, interface](TransferStatus status, uint32_t) mutable {
                             Outcome outcome = OutcomeOf(status);
                             urb->Header.Status = outcome.Usbd;
                             if (!IsSuccess(outcome.Request) || !interface)
                                 return outcome.Request;
                             std::lock_guard<std::mutex> guard(self->Lock);
                             urb->ConfigurationHandle = NewHandle();
                             urb->Interface.InterfaceHandle = NewHandle();
                             urb->Interface.Class = interface->bInterfaceClass;
                             urb->Interface.SubClass = interface->bInterfaceSubClass;
                             urb->Interface.Protocol = interface->bInterfaceProtocol;
                             for (uint32_t i = 0; i < pipes.size(); ++i) {
                                 UsbPipeInformation* entry = PipeAt(&urb->Interface, i);
                                 uint32_t maximumTransfer = entry->MaximumTransferSize;  // the client's choice
                                 uint32_t flags = entry->PipeFlags;
                                 *entry = pipes[i];
                                 entry->MaximumTransferSize = maximumTransfer;
                                 entry->PipeFlags = flags;
                                 entry->PipeHandle = NewHandle();
                                 uint32_t limit = maximumTransfer && maximumTransfer < kMaximumBulkTransfer
                                                      ? maximumTransfer
                                                      : kMaximumBulkTransfer;
                                 self->Pipes[entry->PipeHandle] =
                                     PipeState{entry->EndpointAddress, entry->PipeType, limit};
                             }
                             return outcome.Request;
                         });
}

Status BulkTransfer(BusDevice* device, Request* request, UrbBulkOrInterruptTransfer* urb)
{
    if (urb->Header.Length < sizeof *urb)
        return FailUrb(request, &urb->Header, UsbdStatusInvalidParameter, Status::InvalidParameter);
    PipeState pipe;
    {
        std::lock_guard<std::mutex> guard(device->Lock);
        auto it = device->Pipes.find(urb->PipeHandle);
        if (it == device->Pipes.end())
            return FailUrb(request, &urb->Header, UsbdStatusInvalidPipeHandle, Status::InvalidParameter);
        pipe = it->second;
    }
    auto transfer = std::make_shared<Transfer>();
    transfer->Kind = Transfer::Type::Bulk;
    transfer->Endpoint = pipe.Endpoint;
    transfer->Length = urb->TransferBufferLength;
    transfer->Buffer = static_cast<uint8_t*>(urb->TransferBufferMdl ? urb->TransferBufferMdl->Address
                                                                    : urb->TransferBuffer);
    if (urb->TransferBufferMdl && urb->TransferBufferMdl->ByteCount < transfer->Length)
        return FailUrb(request, &urb->Header, UsbdStatusInvalidParameter, Status::InvalidParameter);
    if (transfer->Length > pipe.MaximumTransferSize)
        return FailUrb(request, &urb->Header, UsbdStatusInvalidParameter, Status::InvalidParameter);
    transfer->ShortOk = (urb->TransferFlags & UsbShortTransferOk) != 0;
    return StartTransfer(device, request, transfer, urb->PipeHandle, CompletesWithLength(urb));
}

Status AbortPipe(BusDevice* device, Request* request, UrbPipeRequest* urb)
{
    if (urb->Header.Length < sizeof *urb)
        return FailUrb(request, &urb->Header, UsbdStatusInvalidParameter, Status::InvalidParameter);
    std::vector<TransferPtr> cancelled;
    {
        std::lock_guard<std::mutex> guard(device->Lock);
        if (!device->Pipes.count(urb->PipeHandle))
            return FailUrb(request, &urb->Header, UsbdStatusInvalidPipeHandle, Status::InvalidParameter);
        for (auto& [r, p] : device->Pending)
            if (p.Pipe == urb->PipeHandle)
                cancelled.push_back(p.Transfer);
        if (!cancelled.empty()) {
            MarkPending(request);
            device->AbortWaiters.emplace_back(urb->PipeHandle, request);
        }
    }
    if (cancelled.empty()) {
        urb->Header.Status = UsbdStatusSuccess;
        return CompleteWith(request, Status::Success);
    }
    // The abort completes once the pipe's last transfer has (FinishTransfer).
    for (auto& transfer : cancelled)
        device->Backend->Cancel(transfer);
    return Status::Pending;
}

Status ResetPipe(BusDevice* device, Request* request, UrbPipeRequest* urb)
{
    RequirePassive("reset pipe");
    if (urb->Header.Length < sizeof *urb)
        return FailUrb(request, &urb->Header, UsbdStatusInvalidParameter, Status::InvalidParameter);
    uint8_t endpoint;
    {
        std::lock_guard<std::mutex> guard(device->Lock);
        auto it = device->Pipes.find(urb->PipeHandle);
        if (it == device->Pipes.end())
            return FailUrb(request, &urb->Header, UsbdStatusInvalidPipeHandle, Status::InvalidParameter);
        endpoint = it->second.Endpoint;
    }
    Outcome outcome = OutcomeOf(device->Backend->ClearHalt(endpoint));
    urb->Header.Status = outcome.Usbd;
    return CompleteWith(request, outcome.Request);
}

Status DispatchInternalDeviceControl(DeviceObject* pdo, Request* request)
{
    BusDevice* device = DeviceOf(pdo);
    StackLocation* location = CurrentStackLocation(request);
    switch (location->DeviceIoControl.IoControlCode) {
    case kIoctlInternalSubmitUrb: {
        auto* urb = static_cast<UrbHeader*>(location->Others.Argument1);
        if (!urb)
            return CompleteWith(request, Status::InvalidParameter);
        {
            std::lock_guard<std::mutex> guard(device->Lock);
            if (!device->Present)
                return FailUrb(request, urb, UsbdStatusDeviceGone, Status::DeviceNotConnected);
        }
        switch (urb->Function) {
        case UrbFunctionGetDescriptorFromDevice:
            return GetDescriptor(device, request, reinterpret_cast<UrbControlDescriptorRequest*>(urb));
        case UrbFunctionSelectConfiguration:
            return SelectConfiguration(device, request, reinterpret_cast<UrbSelectConfiguration*>(urb));
        case UrbFunctionBulkOrInterruptTransfer:
            return BulkTransfer(device, request, reinterpret_cast<UrbBulkOrInterruptTransfer*>(urb));
        case UrbFunctionAbortPipe:
            return AbortPipe(device, request, reinterpret_cast<UrbPipeRequest*>(urb));
        case UrbFunctionSyncResetPipeAndClearStall:
            return ResetPipe(device, request, reinterpret_cast<UrbPipeRequest*>(urb));
        default:
            return FailUrb(request, urb, UsbdStatusInvalidParameter, Status::InvalidParameter);
        }
    }
    case kIoctlInternalGetPortStatus: {
        auto* word = static_cast<uint32_t*>(location->Others.Argument1);
        if (!word)
            return CompleteWith(request, Status::InvalidParameter);
        *word = device->Backend->PortStatus();
        return CompleteWith(request, Status::Success);
    }
    case kIoctlInternalResetPort:
        RequirePassive("reset port");
        return CompleteWith(request, OutcomeOf(device->Backend->ResetDevice()).Request);
    default:
        return CompleteWith(request, Status::InvalidDeviceRequest);
    }
}

void CancelWaitWake(DeviceObject* pdo, Request* request)
{
    BusDevice* device = DeviceOf(pdo);
    bool own = false;
    {
        std::lock_guard<std::mutex> guard(device->Lock);
        if (device->WaitWake == request) {
            device->WaitWake = nullptr;
            own = true;
        }
    }
    if (own)
        CompleteWith(request, Status::Cancelled);
}

// Completes the outstanding wait-wake request, unless its cancel routine has it.
void FinishWaitWake(BusDevice* device, Status status)
{
    Request* request;
    {
        std::lock_guard<std::mutex> guard(device->Lock);
        request = device->WaitWake;
    }
    if (!request || SetCancelRoutine(request, nullptr) == nullptr)
        return;
    {
        std::lock_guard<std::mutex> guard(device->Lock);
        device->WaitWake = nullptr;
    }
    DispatchLevelScope level;
    CompleteWith(request, status);
}

Status DispatchPower(DeviceObject* pdo, Request* request)
{
    BusDevice* device = DeviceOf(pdo);
    StackLocation* location = CurrentStackLocation(request);
    StartNextPowerRequest(request);
    switch (PowerMinor(location->Minor)) {
    case PowerMinor::SetPower: {
        if (location->Power.Type == PowerStateType::System)
            return CompleteWith(request, Status::Success);
        uint32_t state = location->Power.State;
        MarkPending(request);
        std::shared_ptr<BusDevice> self = device->shared_from_this();
        auto done = [self, request, state](TransferStatus status) {
            DispatchLevelScope level;
            bool ok = status == TransferStatus::Completed;
            if (ok) {
                std::lock_guard<std::mutex> guard(self->Lock);
                self->PowerState = state;
            }
            CompleteWith(request, ok ? Status::Success : Status::Unsuccessful);
        };
        if (state == D0)
            device->Backend->Resume(done);
        else
            device->Backend->Suspend(done);
        return Status::Pending;
    }
    case PowerMinor::WaitWake: {
        {
            std::lock_guard<std::mutex> guard(device->Lock);
            if (device->WaitWake || !device->Present)
                return CompleteWith(request, Status::InvalidDeviceState);
            device->WaitWake = request;
        }
        MarkPending(request);
        SetCancelRoutine(request, CancelWaitWake);
        if (request->Cancel && SetCancelRoutine(request, nullptr) != nullptr) {
            {
                std::lock_guard<std::mutex> guard(device->Lock);
                device->WaitWake = nullptr;
            }
            CompleteWith(request, Status::Cancelled);
        }
        return Status::Pending;
    }
    default:
        return CompleteWith(request, Status::Success);
    }
}

Status DispatchPnp(DeviceObject* pdo, Request* request)
{
    BusDevice* device = DeviceOf(pdo);
    StackLocation* location = CurrentStackLocation(request);
    switch (PnpMinor(location->Minor)) {
    case PnpMinor::StartDevice:
    case PnpMinor::QueryStopDevice:
    case PnpMinor::CancelStopDevice:
    case PnpMinor::StopDevice:
    case PnpMinor::QueryRemoveDevice:
    case PnpMinor::CancelRemoveDevice:
    case PnpMinor::SurpriseRemoval:
        return CompleteWith(request, Status::Success);
    case PnpMinor::QueryCapabilities: {
        DeviceCapabilities* caps = location->QueryCapabilities.Capabilities;
        PowerCapabilities power = device->Backend->Power();
        for (size_t s = 0; s < power.DeviceState.size(); ++s)
            caps->DeviceState[s] = power.DeviceState[s];
        caps->DeviceWake = power.DeviceWake;
        caps->SystemWake = power.SystemWake;
        caps->DeviceD1 = power.DeviceD1;
        caps->DeviceD2 = power.DeviceD2;
        caps->Removable = 1;
        caps->SurpriseRemovalOk = 0;
        return CompleteWith(request, Status::Success);
    }
    case PnpMinor::RemoveDevice: {
        bool present;
        {
            std::lock_guard<std::mutex> guard(device->Lock);
            present = device->Present;
        }
        CompleteWith(request, Status::Success);
        if (!present) {
            FinishWaitWake(device, Status::NoSuchDevice);
            device->Backend->SetRemoteWakeHandler(nullptr);
            DeleteDevice(pdo);
            device->Bus->Forget(device);
        }
        return Status::Success;
    }
    default: {
        Status status = request->IoStatus.Status;
        CompleteRequest(request);
        return status;
    }
    }
}

}  // namespace

BusDriver::BusDriver(BusBackend& backend) : backend_(backend)
{
    driver_.Name = "usbbus";
    driver_.Dispatch[size_t(MajorFunction::InternalDeviceControl)] = DispatchInternalDeviceControl;
    driver_.Dispatch[size_t(MajorFunction::Power)] = DispatchPower;
    driver_.Dispatch[size_t(MajorFunction::Pnp)] = DispatchPnp;
    backend_.Start(this, &System::Current().Activity());
}

BusDriver::~BusDriver() = default;

void BusDriver::DeviceArrived(const std::shared_ptr<DeviceBackend>& backend)
{
    auto device = std::make_shared<BusDevice>();
    device->Bus = this;
    device->Backend = backend;
    DeviceObject* pdo;
    CreateDeviceUncounted(&driver_, sizeof(BusDevice*), kDeviceTypeUnknown, &pdo);
    *static_cast<BusDevice**>(pdo->DeviceExtension) = device.get();
    pdo->Flags &= ~DeviceFlagInitializing;
    device->Pdo = pdo;
    {
        std::lock_guard<std::mutex> guard(lock_);
        devices_[device.get()] = device;
    }
    std::weak_ptr<BusDevice> weak = device;
    backend->SetRemoteWakeHandler([weak] {
        if (auto self = weak.lock())
            FinishWaitWake(self.get(), Status::Success);
    });
    std::vector<uint8_t> descriptor = backend->CachedDeviceDescriptor();
    HardwareId id;
    if (descriptor.size() >= sizeof(UsbDeviceDescriptor)) {
        UsbDeviceDescriptor d;
        std::memcpy(&d, descriptor.data(), sizeof d);
        id = HardwareId{d.idVendor, d.idProduct};
    }
    System::Current().Pnp().DeviceArrived(pdo, id, backend->InstanceId());
}

void BusDriver::DeviceLeft(const std::shared_ptr<DeviceBackend>& backend)
{
    std::shared_ptr<BusDevice> device;
    {
        std::lock_guard<std::mutex> guard(lock_);
        for (auto& [raw, shared] : devices_)
            if (shared->Backend == backend)
                device = shared;
    }
    if (!device)
        return;
    {
        std::lock_guard<std::mutex> guard(device->Lock);
        device->Present = false;
    }
    FinishWaitWake(device.get(), Status::NoSuchDevice);
    System::Current().Pnp().DeviceDeparted(device->Pdo);
}

void BusDriver::Forget(BusDevice* device)
{
    std::lock_guard<std::mutex> guard(lock_);
    devices_.erase(device);
}

DeviceObject* BusDriver::PhysicalDeviceOf(const DeviceBackend* backend)
{
    std::lock_guard<std::mutex> guard(lock_);
    for (auto& [raw, shared] : devices_)
        if (shared->Backend.get() == backend)
            return shared->Pdo;
    return nullptr;
}

uint32_t BusDriver::DevicePowerStateOf(const DeviceBackend* backend)
{
    std::shared_ptr<BusDevice> device;
    {
        std::lock_guard<std::mutex> guard(lock_);
        for (auto& [raw, shared] : devices_)
            if (shared->Backend.get() == backend)
                device = shared;
    }
    if (!device)
        return DeviceStateUnspecified;
    std::lock_guard<std::mutex> guard(device->Lock);
    return device->PowerState;
}

}  // namespace kovrin::platform::usb
