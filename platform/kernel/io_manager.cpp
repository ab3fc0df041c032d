#include "platform/kernel/io_manager.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/kernel/io_internal.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
// A deleted device's extension is poisoned: a driver that touches it after
// DeleteDevice is caught, though the memory lives on while referenced.
#define POISON_EXTENSION(p, n) __asan_poison_memory_region((p), (n))
#define UNPOISON_EXTENSION(p, n) __asan_unpoison_memory_region((p), (n))
#else
#define POISON_EXTENSION(p, n) ((void)(p), (void)(n))
#define UNPOISON_EXTENSION(p, n) ((void)(p), (void)(n))
#endif
#include "platform/kernel/level.h"
#include "platform/kernel/pool.h"
#include "platform/kernel/sync.h"

namespace kovrin::platform {

namespace {

std::mutex stackLock;   // device stacks: attach, detach, delete
std::mutex cancelLock;  // cancel routines

[[noreturn]] void Fatal(const char* what)
{
    std::fprintf(stderr, "platform: %s\n", what);
    std::abort();
}

DeviceObject* NewDevice(DriverObject* driver, size_t extensionSize, uint32_t deviceType)
{
    auto* device = new DeviceObject;
    device->Private = new DeviceObjectPrivate;
    device->Driver = driver;
    device->DeviceType = deviceType;
    device->Flags = DeviceFlagInitializing;
    if (extensionSize) {
        device->Private->ExtensionStorage = std::calloc(1, extensionSize);
        device->Private->ExtensionSize = extensionSize;
        device->DeviceExtension = device->Private->ExtensionStorage;
    }
    return device;
}

}  // namespace

Status CreateDevice(DriverObject* driver, size_t extensionSize, const UnicodeString* name, uint32_t deviceType,
                    uint32_t characteristics, bool exclusive, DeviceObject** device)
{
    *device = nullptr;
    if (!TakeAllocation())
        return Status::InsufficientResources;
    DeviceObject* created = NewDevice(driver, extensionSize, deviceType);
    if (name && name->Buffer)
        created->Name.assign(name->Buffer, name->Length / sizeof(char16_t));
    created->Characteristics = characteristics;
    created->Exclusive = exclusive;
    *device = created;
    return Status::Success;
}

Status CreateDeviceUncounted(DriverObject* driver, size_t extensionSize, uint32_t deviceType, DeviceObject** device)
{
    *device = NewDevice(driver, extensionSize, deviceType);
    return Status::Success;
}

void ReferenceDevice(DeviceObject* device) { device->Private->References.fetch_add(1); }

void DereferenceDevice(DeviceObject* device)
{
    if (device->Private->References.fetch_sub(1) != 1)
        return;
    UNPOISON_EXTENSION(device->Private->ExtensionStorage, device->Private->ExtensionSize);
    std::free(device->Private->ExtensionStorage);
    delete device->Private;
    delete device;
}

void DeleteDevice(DeviceObject* device)
{
    {
        std::lock_guard<std::mutex> guard(stackLock);
        if (device->Private->Deleted)
            Fatal("DeleteDevice called twice");
        device->Private->Deleted = true;
    }
    if (device->Private->ExtensionStorage)
        POISON_EXTENSION(device->Private->ExtensionStorage, device->Private->ExtensionSize);
    DereferenceDevice(device);
}

bool IsDeviceDeleted(DeviceObject* device)
{
    std::lock_guard<std::mutex> guard(stackLock);
    return device->Private->Deleted;
}

DeviceObject* ReferenceTopOfStack(DeviceObject* device)
{
    std::lock_guard<std::mutex> guard(stackLock);
    if (device->Private->Deleted)
        return nullptr;
    while (device->Private->AttachedAbove)
        device = device->Private->AttachedAbove;
    ReferenceDevice(device);
    return device;
}

DeviceObject* AttachDeviceToDeviceStack(DeviceObject* source, DeviceObject* target)
{
    std::lock_guard<std::mutex> guard(stackLock);
    if (target->Private->Deleted)
        return nullptr;
    DeviceObject* top = target;
    while (top->Private->AttachedAbove)
        top = top->Private->AttachedAbove;
    top->Private->AttachedAbove = source;
    source->Private->AttachedBelow = top;
    source->StackSize = top->StackSize + 1;
    return top;
}

void DetachDevice(DeviceObject* lower)
{
    std::lock_guard<std::mutex> guard(stackLock);
    DeviceObject* above = lower->Private->AttachedAbove;
    if (!above)
        return;
    above->Private->AttachedBelow = nullptr;
    lower->Private->AttachedAbove = nullptr;
}

// ---- requests

StackLocation* CurrentStackLocation(Request* request)
{
    if (request->CurrentLocation < 0)
        return nullptr;
    return &request->Stack[request->CurrentLocation];
}

StackLocation* NextStackLocation(Request* request)
{
    int next = request->CurrentLocation + 1;
    if (next >= int(request->Stack.size()))
        Fatal("request has no further stack location");
    return &request->Stack[next];
}

void CopyCurrentStackLocationToNext(Request* request)
{
    StackLocation* next = NextStackLocation(request);
    *next = *CurrentStackLocation(request);
    next->Completion = nullptr;
    next->CompletionContext = nullptr;
    next->InvokeOnSuccess = next->InvokeOnError = next->InvokeOnCancel = false;
    next->PendingReturned = false;
}

void SkipCurrentStackLocation(Request* request) { --request->CurrentLocation; }

void MarkPending(Request* request) { CurrentStackLocation(request)->PendingReturned = true; }

void SetCompletionRoutine(Request* request, CompletionRoutine routine, void* context, bool onSuccess, bool onError,
                          bool onCancel)
{
    StackLocation* next = NextStackLocation(request);
    next->Completion = routine;
    next->CompletionContext = context;
    next->InvokeOnSuccess = onSuccess;
    next->InvokeOnError = onError;
    next->InvokeOnCancel = onCancel;
}

Status CallDriver(DeviceObject* device, Request* request)
{
    int next = request->CurrentLocation + 1;
    if (next >= int(request->Stack.size()))
        Fatal("CallDriver: request has no stack location for the device");
    request->CurrentLocation = next;
    StackLocation& location = request->Stack[next];
    location.Device = device;
    location.PendingReturned = false;
    DispatchRoutine routine = device->Driver->Dispatch[size_t(location.Major)];
    if (!routine) {
        request->IoStatus = {Status::InvalidDeviceRequest, 0};
        CompleteRequest(request);
        return Status::InvalidDeviceRequest;
    }
    return routine(device, request);
}

void CompleteRequest(Request* request)
{
    RequestPrivate* p = request->Private;
    if (p->Completed || request->CurrentLocation < 0)
        Fatal("CompleteRequest on a request that is not in a driver");
    if (request->IoStatus.Status == Status::Pending)
        Fatal("CompleteRequest with status Pending");
    while (request->CurrentLocation >= 0) {
        StackLocation& location = request->Stack[request->CurrentLocation];
        request->PendingReturned = location.PendingReturned;
        --request->CurrentLocation;
        DeviceObject* owner = request->CurrentLocation >= 0 ? request->Stack[request->CurrentLocation].Device : nullptr;
        CompletionRoutine routine = location.Completion;
        bool ok = IsSuccess(request->IoStatus.Status);
        bool invoke = routine && ((ok && location.InvokeOnSuccess) || (!ok && location.InvokeOnError) ||
                                  (request->Cancel && location.InvokeOnCancel));
        if (invoke) {
            location.Completion = nullptr;
            if (routine(owner, request, location.CompletionContext) == Status::MoreProcessingRequired)
                return;
        } else if (request->PendingReturned && request->CurrentLocation >= 0) {
            request->Stack[request->CurrentLocation].PendingReturned = true;
        }
    }
    p->Completed = true;
    // Moved out first: the final completion usually frees the request.
    std::function<void(Request*)> onFinal = std::move(p->OnFinalCompletion);
    if (onFinal)
        onFinal(request);
}

CancelRoutine SetCancelRoutine(Request* request, CancelRoutine routine)
{
    std::lock_guard<std::mutex> guard(cancelLock);
    CancelRoutine previous = request->Private->Cancel;
    request->Private->Cancel = routine;
    return previous;
}

void CancelRequest(Request* request)
{
    DispatchLevelScope level;
    std::lock_guard<std::mutex> guard(cancelLock);
    request->Cancel = true;
    CancelRoutine routine = request->Private->Cancel;
    request->Private->Cancel = nullptr;
    if (routine) {
        StackLocation* location = CurrentStackLocation(request);
        routine(location ? location->Device : nullptr, request);
    }
}

Request* AllocateRequestUncounted(int stackSize)
{
    auto* request = new Request;
    request->Private = new RequestPrivate;
    request->Stack.resize(size_t(stackSize > 0 ? stackSize : 1));
    request->IoStatus = {Status::Success, 0};
    return request;
}

Request* AllocateRequest(int stackSize)
{
    if (!TakeAllocation())
        return nullptr;
    return AllocateRequestUncounted(stackSize);
}

void FreeRequest(Request* request)
{
    if (!request)
        return;
    delete request->Private;
    delete request;
}

void SetFinalCompletion(Request* request, std::function<void(Request*)> onFinal)
{
    request->Private->OnFinalCompletion = std::move(onFinal);
}

Request* BuildDeviceControlRequest(uint32_t code, DeviceObject* device, const void* input, uint32_t inputLength,
                                   void* output, uint32_t outputLength, bool internal, Event* done,
                                   IoStatusBlock* ioStatus)
{
    Request* request = AllocateRequest(device->StackSize);
    if (!request)
        return nullptr;
    StackLocation* next = NextStackLocation(request);
    next->Major = internal ? MajorFunction::InternalDeviceControl : MajorFunction::DeviceControl;
    next->DeviceIoControl.IoControlCode = code;
    next->DeviceIoControl.InputBufferLength = inputLength;
    next->DeviceIoControl.OutputBufferLength = outputLength;
    std::vector<uint8_t>* buffer = nullptr;
    if (!internal && (inputLength || outputLength)) {
        buffer = new std::vector<uint8_t>(std::max(inputLength, outputLength));
        if (inputLength)
            std::memcpy(buffer->data(), input, inputLength);
        request->SystemBuffer = buffer->data();
    }
    SetFinalCompletion(request, [=](Request* r) {
        *ioStatus = r->IoStatus;
        if (buffer) {
            size_t n = std::min<size_t>(r->IoStatus.Information, outputLength);
            if (IsSuccess(r->IoStatus.Status) && n)
                std::memcpy(output, buffer->data(), n);
            delete buffer;
        }
        FreeRequest(r);
        if (done)
            done->Set();
    });
    return request;
}

}  // namespace kovrin::platform
