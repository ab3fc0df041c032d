#pragma once
// The user-mode calls a library makes on drivers, through the I/O manager:
// interface enumeration, open and close of paths, overlapped reads and writes
// with completion and cancel, synchronous device control, and notices of
// interface arrival and removal and of a handle's device going away.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/kernel/guid.h"
#include "platform/kernel/pnp_manager.h"
#include "platform/kernel/status.h"
#include "platform/kernel/sync.h"

namespace kovrin::platform::user {

using Handle = intptr_t;
constexpr Handle kInvalidHandle = -1;

// One overlapped read or write. The event is set when it has completed; a
// completed request's status and byte count stay here.
struct Overlapped {
    Event Done{EventType::Notification, false};
    std::atomic<bool> Completed{false};
    Status Result = Status::Pending;
    size_t Bytes = 0;
    // Called, if set, on completion (on whatever thread completed the request).
    std::function<void(Overlapped&)> OnComplete;
};

// Paths of the enabled, announced interfaces of class `guid`.
std::vector<std::string> EnumerateInterfaces(const Guid& guid);

Status Open(const std::string& path, Handle* handle);
// The handle is gone at once; the driver is told once its requests have finished.
void Close(Handle handle);
// Closes every handle still open (as at process exit).
void CloseAllHandles();

// Pending when the request is under way; else the request completed with this
// status, which is also in `overlapped`. `buffer` must stay valid until completion.
Status Read(Handle handle, void* buffer, size_t length, Overlapped& overlapped);
Status Write(Handle handle, const void* buffer, size_t length, Overlapped& overlapped);
// The final status once completed; Pending when not yet and `wait` is false.
Status GetOverlappedResult(Overlapped& overlapped, size_t* bytes, bool wait);
// Asks every request of the handle that is still under way to cancel.
Status CancelIo(Handle handle);

// Synchronous read and write, for tests.
Status ReadSync(Handle handle, void* buffer, size_t length, size_t* bytes);
Status WriteSync(Handle handle, const void* buffer, size_t length, size_t* bytes);

// Waits for completion; `returned` gets the bytes copied to `output`.
Status DeviceIoControl(Handle handle, uint32_t code, const void* input, size_t inputLength, void* output,
                       size_t outputLength, size_t* returned);

// Notices run on the layer's notifier thread. Once an unregister returns (called from any other
// thread), no notice of that registration runs or is held any more, so the code that gave it may be
// unloaded.
int RegisterInterfaceNotification(const Guid& guid, InterfaceNotice notice);
void UnregisterInterfaceNotification(int registration);
int RegisterHandleNotification(Handle handle, HandleNotice notice);
void UnregisterHandleNotification(Handle handle, int registration);

}  // namespace kovrin::platform::user
