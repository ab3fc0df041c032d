#include "platform/user/user_io.h"

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>

#include "platform/kernel/io_internal.h"
#include "platform/kernel/level.h"
#include "platform/kernel/system.h"

namespace kovrin::platform {

// What the I/O manager keeps for an open file.
class FileObjectPrivate {
public:
    DeviceNode* Node = nullptr;
    std::mutex Lock;
    std::set<Request*> Outstanding;  // guarded by Lock
    bool Closing = false;            // guarded by Lock
};

}  // namespace kovrin::platform

namespace kovrin::platform::user {

namespace {

std::mutex handlesLock;
std::map<Handle, FileObject*> handles;
Handle nextHandle = 1;

FileObject* FileOf(Handle handle)
{
    std::lock_guard<std::mutex> guard(handlesLock);
    auto it = handles.find(handle);
    return it == handles.end() ? nullptr : it->second;
}

// Sends a create or close request for `file` and waits for it.
Status SendFileRequest(FileObject* file, MajorFunction major)
{
    DeviceObject* device = file->Device;
    Request* request = AllocateRequestUncounted(device->StackSize);
    StackLocation* next = NextStackLocation(request);
    next->Major = major;
    next->File = file;
    Event done;
    IoStatusBlock result;
    SetFinalCompletion(request, [&](Request* r) {
        result = r->IoStatus;
        done.Set();
    });
    CallDriver(device, request);
    done.Wait();
    FreeRequest(request);
    return result.Status;
}

void ReleaseFile(FileObject* file)
{
    SendFileRequest(file, MajorFunction::Close);
    DeviceNode* node = file->Private->Node;
    DereferenceDevice(file->Device);
    delete file->Private;
    delete file;
    System::Current().Pnp().FileClosed(node);
}

// After a request of `file` finished: a close that was waiting for it goes out
// now, from the worker thread (a close is sent at passive level).
void RequestFinished(FileObject* file, Request* request)
{
    bool release;
    {
        std::lock_guard<std::mutex> guard(file->Private->Lock);
        file->Private->Outstanding.erase(request);
        release = file->Private->Closing && file->Private->Outstanding.empty();
    }
    if (release)
        System::Current().Worker().Post([file] { ReleaseFile(file); });
}

void Finish(Overlapped& overlapped, Status status, size_t bytes)
{
    overlapped.Result = status;
    overlapped.Bytes = bytes;
    overlapped.Completed = true;
    if (overlapped.OnComplete)
        overlapped.OnComplete(overlapped);
    overlapped.Done.Set();  // the waiter may free `overlapped` from here on
}

// Looks the handle up and counts a new request as the file's in one step, so
// that a close on another thread waits for the request.
Request* BeginRequest(Handle handle, FileObject** file)
{
    std::lock_guard<std::mutex> guard(handlesLock);
    auto it = handles.find(handle);
    if (it == handles.end())
        return nullptr;
    *file = it->second;
    Request* request = AllocateRequestUncounted((*file)->Device->StackSize);
    std::lock_guard<std::mutex> fileGuard((*file)->Private->Lock);
    (*file)->Private->Outstanding.insert(request);
    return request;
}

Status Transfer(Handle handle, void* buffer, size_t length, Overlapped& overlapped, MajorFunction major)
{
    overlapped.Completed = false;
    overlapped.Result = Status::Pending;
    overlapped.Bytes = 0;
    overlapped.Done.Clear();
    FileObject* file = nullptr;
    Request* request = BeginRequest(handle, &file);
    if (!request) {
        Finish(overlapped, Status::InvalidHandle, 0);
        return Status::InvalidHandle;
    }
    DeviceObject* device = file->Device;
    auto* mdl = new MemoryDescriptor{buffer, uint32_t(length)};
    bool direct = (device->Flags & DeviceFlagDirectIo) != 0;
    if (length && direct)
        request->Mdl = mdl;
    else if (length)
        request->SystemBuffer = buffer;  // buffered transfers are not used by our drivers
    StackLocation* next = NextStackLocation(request);
    next->Major = major;
    next->File = file;
    next->ReadWrite.Length = uint32_t(length);
    SetFinalCompletion(request, [file, mdl, &overlapped](Request* r) {
        Status status = r->IoStatus.Status;
        size_t bytes = IsSuccess(status) ? r->IoStatus.Information : 0;
        RequestFinished(file, r);
        FreeRequest(r);
        delete mdl;
        Finish(overlapped, status, bytes);
    });
    Status status = CallDriver(device, request);
    if (status == Status::Pending)
        return Status::Pending;
    if (!overlapped.Completed.load())
        RecordViolation("a driver returned a final status for a request it had not completed");
    return status;
}

}  // namespace

std::vector<std::string> EnumerateInterfaces(const Guid& guid)
{
    return System::Current().Pnp().EnabledInterfaces(guid);
}

Status Open(const std::string& path, Handle* handle)
{
    *handle = kInvalidHandle;
    PnpManager& pnp = System::Current().Pnp();
    std::u16string remainder;
    DeviceNode* node = pnp.ResolvePath(path, &remainder);
    if (!node)
        return Status::ObjectNameNotFound;
    // The top of the node's stack, which starts at its physical device.
    DeviceObject* top = pnp.ReferenceTopOf(node);
    if (!top)
        return Status::NoSuchDevice;
    auto* file = new FileObject;
    file->Private = new FileObjectPrivate;
    file->Private->Node = node;
    file->Device = top;
    file->FileName = remainder;
    pnp.FileOpened(node);
    Status status = SendFileRequest(file, MajorFunction::Create);
    if (!IsSuccess(status)) {
        DereferenceDevice(top);
        delete file->Private;
        delete file;
        pnp.FileClosed(node);
        return status;
    }
    std::lock_guard<std::mutex> guard(handlesLock);
    *handle = nextHandle++;
    handles[*handle] = file;
    return status;
}

void Close(Handle handle)
{
    FileObject* file;
    {
        std::lock_guard<std::mutex> guard(handlesLock);
        auto it = handles.find(handle);
        if (it == handles.end())
            return;
        file = it->second;
        handles.erase(it);
    }
    bool release;
    {
        std::lock_guard<std::mutex> guard(file->Private->Lock);
        file->Private->Closing = true;
        release = file->Private->Outstanding.empty();
    }
    if (release)
        ReleaseFile(file);
}

void CloseAllHandles()
{
    std::vector<Handle> open;
    {
        std::lock_guard<std::mutex> guard(handlesLock);
        for (auto& [handle, file] : handles)
            open.push_back(handle);
    }
    for (Handle handle : open)
        Close(handle);
}

Status Read(Handle handle, void* buffer, size_t length, Overlapped& overlapped)
{
    return Transfer(handle, buffer, length, overlapped, MajorFunction::Read);
}

Status Write(Handle handle, const void* buffer, size_t length, Overlapped& overlapped)
{
    return Transfer(handle, const_cast<void*>(buffer), length, overlapped, MajorFunction::Write);
}

Status GetOverlappedResult(Overlapped& overlapped, size_t* bytes, bool wait)
{
    if (wait)
        overlapped.Done.Wait();
    else if (!overlapped.Done.IsSet())
        return Status::Pending;
    if (bytes)
        *bytes = overlapped.Bytes;
    return overlapped.Result;
}

Status CancelIo(Handle handle)
{
    FileObject* file = FileOf(handle);
    if (!file)
        return Status::InvalidHandle;
    std::lock_guard<std::mutex> guard(file->Private->Lock);
    for (Request* request : file->Private->Outstanding)
        CancelRequest(request);
    return Status::Success;
}

Status ReadSync(Handle handle, void* buffer, size_t length, size_t* bytes)
{
    Overlapped overlapped;
    Read(handle, buffer, length, overlapped);
    return GetOverlappedResult(overlapped, bytes, true);
}

Status WriteSync(Handle handle, const void* buffer, size_t length, size_t* bytes)
{
    Overlapped overlapped;
    Write(handle, buffer, length, overlapped);
    return GetOverlappedResult(overlapped, bytes, true);
}

Status DeviceIoControl(Handle handle, uint32_t code, const void* input, size_t inputLength, void* output,
                       size_t outputLength, size_t* returned)
{
    if (returned)
        *returned = 0;
    FileObject* file = nullptr;
    Request* request = BeginRequest(handle, &file);
    if (!request)
        return Status::InvalidHandle;
    DeviceObject* device = file->Device;
    std::vector<uint8_t> buffer(std::max(inputLength, outputLength));
    if (inputLength)
        std::memcpy(buffer.data(), input, inputLength);
    request->SystemBuffer = buffer.empty() ? nullptr : buffer.data();
    StackLocation* next = NextStackLocation(request);
    next->Major = MajorFunction::DeviceControl;
    next->File = file;
    next->DeviceIoControl.IoControlCode = code;
    next->DeviceIoControl.InputBufferLength = uint32_t(inputLength);
    next->DeviceIoControl.OutputBufferLength = uint32_t(outputLength);
    Event done;
    IoStatusBlock result;
    SetFinalCompletion(request, [&, file](Request* r) {
        result = r->IoStatus;
        RequestFinished(file, r);
        done.Set();
    });
    CallDriver(device, request);
    done.Wait();
    FreeRequest(request);
    size_t copied = std::min<size_t>(result.Information, outputLength);
    if (copied && output)
        std::memcpy(output, buffer.data(), copied);
    if (returned)
        *returned = copied;
    return result.Status;
}

int RegisterInterfaceNotification(const Guid& guid, InterfaceNotice notice)
{
    return System::Current().Pnp().SubscribeInterfaces(guid, std::move(notice));
}

namespace {

// Notices already on their way hold copies of the callback: let them run out.
void AwaitNoticesOnTheirWay()
{
    JobThread& notifier = System::Current().Notifier();
    if (!notifier.OnThisThread())
        notifier.WaitIdle();
}

}  // namespace

void UnregisterInterfaceNotification(int registration)
{
    System::Current().Pnp().Unsubscribe(registration);
    AwaitNoticesOnTheirWay();
}

int RegisterHandleNotification(Handle handle, HandleNotice notice)
{
    FileObject* file = FileOf(handle);
    if (!file)
        return 0;
    return System::Current().Pnp().WatchHandle(file->Private->Node, std::move(notice));
}

void UnregisterHandleNotification(Handle handle, int registration)
{
    FileObject* file = FileOf(handle);
    if (file)
        System::Current().Pnp().UnwatchHandle(file->Private->Node, registration);
    AwaitNoticesOnTheirWay();
}

}  // namespace kovrin::platform::user
