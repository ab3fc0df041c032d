#pragma once
// I/O requests with stack locations, completion routines, pending and cancel.

#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

#include "platform/kernel/objects.h"
#include "platform/kernel/power_types.h"

namespace kovrin::platform {

struct IoStatusBlock {
    kovrin::platform::Status Status = kovrin::platform::Status::Success;
    uintptr_t Information = 0;
};

using CompletionRoutine = Status (*)(DeviceObject* device, Request* request, void* context);
using CancelRoutine = void (*)(DeviceObject* device, Request* request);

struct StackLocation {
    MajorFunction Major = MajorFunction::Create;
    uint8_t Minor = 0;  // a PnpMinor or PowerMinor
    DeviceObject* Device = nullptr;
    FileObject* File = nullptr;

    struct {
        uint32_t Length = 0;
    } ReadWrite;
    struct {
        uint32_t OutputBufferLength = 0;
        uint32_t InputBufferLength = 0;
        uint32_t IoControlCode = 0;
    } DeviceIoControl;
    struct {
        void* Argument1 = nullptr;
        void* Argument2 = nullptr;
    } Others;
    struct {
        DeviceCapabilities* Capabilities = nullptr;
    } QueryCapabilities;
    struct {
        PowerStateType Type = PowerStateType::Device;
        uint32_t State = 0;  // a SystemPowerState or DevicePowerState
    } Power;

    // Set by the driver above, called when this location completes.
    CompletionRoutine Completion = nullptr;
    void* CompletionContext = nullptr;
    bool InvokeOnSuccess = false;
    bool InvokeOnError = false;
    bool InvokeOnCancel = false;
    bool PendingReturned = false;
};

class RequestPrivate;

struct Request {
    IoStatusBlock IoStatus;
    // Whether the location below the one now completing was marked pending.
    bool PendingReturned = false;
    std::atomic<bool> Cancel{false};
    MemoryDescriptor* Mdl = nullptr;
    void* SystemBuffer = nullptr;  // buffered device control: input in, output out
    std::vector<StackLocation> Stack;
    int CurrentLocation = -1;  // -1: with the originator, before the first CallDriver
    RequestPrivate* Private = nullptr;
};

StackLocation* CurrentStackLocation(Request* request);
StackLocation* NextStackLocation(Request* request);
void CopyCurrentStackLocationToNext(Request* request);
void SkipCurrentStackLocation(Request* request);
void MarkPending(Request* request);
void SetCompletionRoutine(Request* request, CompletionRoutine routine, void* context, bool onSuccess, bool onError,
                          bool onCancel);

// Passes the request to the driver of `device` with the next stack location.
Status CallDriver(DeviceObject* device, Request* request);
// Completes the current stack location and unwinds the completion routines.
void CompleteRequest(Request* request);

// Returns the previous routine. Guarded by the layer's cancel lock.
CancelRoutine SetCancelRoutine(Request* request, CancelRoutine routine);
// Marks the request cancelled and calls its cancel routine, if any.
void CancelRequest(Request* request);

// A request with `stackSize` locations that the caller owns and frees.
Request* AllocateRequest(int stackSize);
void FreeRequest(Request* request);

// A request for a device control (or internal device control) to `device`,
// owned by the layer: on completion its status goes to `ioStatus`, `done` is
// set and the request is freed. Input goes through `Others` for internal
// requests and the system buffer otherwise.
Request* BuildDeviceControlRequest(uint32_t code, DeviceObject* device, const void* input, uint32_t inputLength,
                                   void* output, uint32_t outputLength, bool internal, class Event* done,
                                   IoStatusBlock* ioStatus);

}  // namespace kovrin::platform
