#include "usblib/device_manager.h"

#include <dlfcn.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "driver/qelusb_public.h"
#include "platform/host.h"
#include "platform/user/message_queue.h"
#include "usblib/handle_table.h"
#include "usblib/transport.h"

namespace kovrin::usblib {

namespace {

using qelusb::QelUsbInterfaceGuid;

constexpr size_t kDeviceDescriptorLength = 18;
// Room for the interface information head and five pipe entries.
constexpr size_t kInterfaceInfoLength = 116;
constexpr size_t kInterfaceHeadLength = 16;
constexpr size_t kPipeEntryLength = 20;
constexpr uint32_t kBulkPipe = 2;

struct LibraryState {
    std::mutex Lock;
    // Everything below is guarded by Lock.
    bool Started = false;
    // Counts starts and stops; work queued under an older session is dropped.
    uint64_t Session = 0;
    DeviceChangeCallback Callback = nullptr;
    // The notices for the thread that started the library; its own queue, so
    // that stopping lets go of every notice still waiting.
    std::shared_ptr<user::MessageQueue> Queue;
    std::thread::id Owner;
    int InterfaceRegistration = 0;
    std::vector<std::shared_ptr<UsbDeviceRecord>> List;  // newest first
    HandleTable Handles;
    uint64_t NextNoticeToken = 1;
};

// Not destroyed at exit: notices and other threads may still reach it then.
LibraryState* state = new LibraryState;

LibraryState& State() { return *state; }

bool IsCurrent(uint64_t session)
{
    LibraryState& s = State();
    std::lock_guard<std::mutex> guard(s.Lock);
    return s.Started && s.Session == session;
}

DeviceType TypeOfProduct(uint16_t product)
{
    switch (product) {
    case qelusb::ProductUsbAcceptor: return USB_DEVICE_KNURL;
    case qelusb::ProductProgrammingModule: return USB_DEVICE_KDU;
    case qelusb::ProductSecondModule: return USB_DEVICE_RDU;
    default: return 0;
    }
}

uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t Le32(const uint8_t* p) { return uint32_t(p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24); }

struct BulkPipes {
    int Out = -1;
    int In = -1;
};

// The first bulk OUT and the first bulk IN pipe, looking only at the entries
// that the returned bytes hold.
BulkPipes FindBulkPipes(const uint8_t* info, size_t returned)
{
    BulkPipes pipes;
    if (returned < kInterfaceHeadLength)
        return pipes;
    size_t entries = std::min<size_t>(Le32(info + 12), (returned - kInterfaceHeadLength) / kPipeEntryLength);
    for (size_t i = 0; i < entries && (pipes.Out < 0 || pipes.In < 0); ++i) {
        const uint8_t* entry = info + kInterfaceHeadLength + i * kPipeEntryLength;
        if (Le32(entry + 4) != kBulkPipe)
            continue;
        bool in = (entry[2] & 0x80) != 0;
        int& slot = in ? pipes.In : pipes.Out;
        if (slot < 0)
            slot = int(i);
    }
    return pipes;
}

user::Handle OpenOrInvalid(const std::string& path)
{
    user::Handle handle = user::kInvalidHandle;
    if (!IsSuccess(user::Open(path, &handle)))
        return user::kInvalidHandle;
    return handle;
}

std::string PipeFileName(const std::string& path, int pipe) { return path + "\\" + std::to_string(pipe); }

bool Control(user::Handle handle, uint32_t code)
{
    return IsSuccess(user::DeviceIoControl(handle, code, nullptr, 0, nullptr, 0, nullptr));
}

// The first checks of every device export: started, then a handle it holds.
UsbResult FindDeviceLocked(UsbDevice device, std::shared_ptr<UsbDeviceRecord>& record)
{
    LibraryState& s = State();
    if (!s.Started)
        return USB_RESULT_NOT_INITIALISED;
    record = s.Handles.Find(device);
    return record ? USB_RESULT_SUCCESS : USB_RESULT_BAD_HANDLE;
}

std::shared_ptr<UsbDeviceRecord> FindDeviceByPathLocked(const std::string& path)
{
    for (auto& record : State().List)
        if (record->Path == path)
            return record;
    return nullptr;
}

std::shared_ptr<UsbDeviceRecord> FindDeviceByPath(const std::string& path)
{
    std::lock_guard<std::mutex> guard(State().Lock);
    return FindDeviceByPathLocked(path);
}

// Lets go of the record's handles: stops its handle notices, cancels what is
// under way on its pipes; the handles close when the last transfer lets go.
void ReleaseFiles(UsbDeviceRecord& record)
{
    std::shared_ptr<DeviceFiles> files;
    int notification;
    {
        std::lock_guard<std::mutex> guard(State().Lock);
        files = std::move(record.Files);
        notification = record.HandleNotification;
        record.HandleNotification = 0;
    }
    if (!files)
        return;
    if (notification)
        user::UnregisterHandleNotification(files->Device, notification);
    files->Closing = true;
    for (user::Handle pipe : {files->In, files->Out})
        if (pipe != user::kInvalidHandle)
            user::CancelIo(pipe);
}

void OnInterfaceNotice(uint64_t session, platform::InterfaceEvent event, const std::string& path);
void OnHandleNotice(uint64_t session, uint64_t token);

void AttachDevice(uint64_t session, const std::string& path)
{
    // Announced again after the enumeration found it: already listed.
    if (FindDeviceByPath(path))
        return;
    auto files = std::make_shared<DeviceFiles>();
    files->Device = OpenOrInvalid(path);
    if (files->Device == user::kInvalidHandle)
        return;

    uint8_t descriptor[kDeviceDescriptorLength] = {};
    size_t returned = 0;
    if (!IsSuccess(user::DeviceIoControl(files->Device, qelusb::IOCTL_QELUSB_GET_DEVICE_DESCRIPTOR, nullptr, 0,
                                         descriptor, sizeof descriptor, &returned)) ||
        returned < 12)
        return;
    if (Le16(descriptor + 8) != qelusb::UsbVendorId)
        return;
    DeviceType type = TypeOfProduct(Le16(descriptor + 10));
    if (!type)
        return;

    uint8_t info[kInterfaceInfoLength] = {};
    if (!IsSuccess(user::DeviceIoControl(files->Device, qelusb::IOCTL_QELUSB_GET_INTERFACE_INFO, nullptr, 0, info,
                                         sizeof info, &returned)))
        return;
    BulkPipes pipes = FindBulkPipes(info, returned);
    if (pipes.Out < 0 || pipes.In < 0)
        return;
    files->Out = OpenOrInvalid(PipeFileName(path, pipes.Out));
    files->In = OpenOrInvalid(PipeFileName(path, pipes.In));

    auto record = std::make_shared<UsbDeviceRecord>();
    record->Type = type;
    record->Path = path;
    std::shared_ptr<user::MessageQueue> queue;
    uint64_t token;
    {
        LibraryState& s = State();
        std::lock_guard<std::mutex> guard(s.Lock);
        if (!s.Started || s.Session != session || FindDeviceByPathLocked(path))
            return;
        record->Handle = s.Handles.Add(record);
        if (!record->Handle)
            return;
        record->Files = files;
        record->Listed = true;
        token = record->NoticeToken = s.NextNoticeToken++;
        s.List.insert(s.List.begin(), record);
        queue = s.Queue;
    }

    int notification = user::RegisterHandleNotification(files->Device, [queue, session, token](platform::HandleEvent) {
        queue->Post([session, token] { OnHandleNotice(session, token); });
    });
    if (!notification)
        return;  // listed, but never reported
    bool letGo;
    {
        std::lock_guard<std::mutex> guard(State().Lock);
        letGo = !record->Files;  // the library was stopped from another thread meanwhile
        if (!letGo)
            record->HandleNotification = notification;
    }
    if (letGo) {
        user::UnregisterHandleNotification(files->Device, notification);
        return;
    }

    // Their results count only when the device is opened.
    Control(files->Device, qelusb::IOCTL_QELUSB_RESET_DEVICE);
    Control(files->Out, qelusb::IOCTL_QELUSB_RESET_PIPE);
    Control(files->In, qelusb::IOCTL_QELUSB_RESET_PIPE);

    DeviceChangeCallback callback;
    {
        LibraryState& s = State();
        std::lock_guard<std::mutex> guard(s.Lock);
        callback = s.Started && s.Session == session && record->Listed ? s.Callback : nullptr;
    }
    if (callback)
        callback(record->Handle, USB_DEVICE_ARRIVED, record->Type);
}

void DetachDevice(const std::shared_ptr<UsbDeviceRecord>& record)
{
    DeviceChangeCallback callback;
    {
        LibraryState& s = State();
        std::lock_guard<std::mutex> guard(s.Lock);
        if (!record->Listed)
            return;
        record->Listed = false;
        s.List.erase(std::find(s.List.begin(), s.List.end(), record));
        callback = s.Callback;
    }
    ReleaseFiles(*record);
    // The handle stays good during the callback, so that the program can close it.
    if (callback)
        callback(record->Handle, USB_DEVICE_REMOVED, record->Type);
    std::lock_guard<std::mutex> guard(State().Lock);
    State().Handles.Remove(record->Handle);
}

void EnumeratePresentDevices(uint64_t session)
{
    for (const std::string& path : user::EnumerateInterfaces(QelUsbInterfaceGuid)) {
        // A callback may have stopped the library.
        if (!IsCurrent(session))
            return;
        AttachDevice(session, path);
    }
}

void OnInterfaceNotice(uint64_t session, platform::InterfaceEvent event, const std::string& path)
{
    if (!IsCurrent(session))
        return;
    if (event == platform::InterfaceEvent::Arrival) {
        AttachDevice(session, path);
    } else if (auto record = FindDeviceByPath(path)) {
        DetachDevice(record);
    }
}

void OnHandleNotice(uint64_t session, uint64_t token)
{
    std::shared_ptr<UsbDeviceRecord> found;
    {
        LibraryState& s = State();
        std::lock_guard<std::mutex> guard(s.Lock);
        if (!s.Started || s.Session != session)
            return;
        for (auto& record : s.List)
            if (record->NoticeToken == token)
                found = record;
    }
    if (found)
        DetachDevice(found);
}

std::string Directory(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

// The folder of the object this code was loaded from (the library, or a
// program that links it in).
std::string LibraryDirectory()
{
    Dl_info info{};
    char resolved[PATH_MAX];
    if (dladdr(reinterpret_cast<void*>(&LibraryDirectory), &info) && info.dli_fname &&
        realpath(info.dli_fname, resolved))
        return Directory(resolved);
    if (realpath("/proc/self/exe", resolved))
        return Directory(resolved);
    return ".";
}

// A host that unloads the library without stopping it has it stopped here,
// while its code is still mapped. At process exit the machine may be gone
// already, and with it everything the library held.
struct StopAtUnload {
    ~StopAtUnload()
    {
        bool everStarted = state->Session != 0;
        if (everStarted && !platform::host::Running())
            return;
        Remove();
        // Unloaded while the machine runs on (or before there was one): nothing holds the state any more.
        delete state;
        state = nullptr;
    }
} stopAtUnload;

}  // namespace

bool StartHost()
{
    return platform::host::Start({qelusb::kDriverName, qelusb::DriverHardwareIds(), LibraryDirectory()});
}

bool IsInitialised()
{
    LibraryState& s = State();
    std::lock_guard<std::mutex> guard(s.Lock);
    return s.Started;
}

int32_t Initialise(DeviceChangeCallback callback)
{
    LibraryState& s = State();
    uint64_t session;
    std::shared_ptr<user::MessageQueue> queue;
    {
        std::lock_guard<std::mutex> guard(s.Lock);
        if (s.Started)
            return 1;
        queue = std::make_shared<user::MessageQueue>();
        s.Started = true;
        session = ++s.Session;
        s.Callback = callback;
        s.Queue = queue;
        s.Owner = std::this_thread::get_id();
    }
    if (!StartHost())
        return 0;
    int registration = user::RegisterInterfaceNotification(
        QelUsbInterfaceGuid, [queue, session](platform::InterfaceEvent event, const std::string& path) {
            queue->Post([session, event, path] { OnInterfaceNotice(session, event, path); });
        });
    bool current;
    {
        std::lock_guard<std::mutex> guard(s.Lock);
        current = s.Started && s.Session == session;
        if (current)
            s.InterfaceRegistration = registration;
    }
    if (!current) {
        // Stopped from another thread meanwhile.
        user::UnregisterInterfaceNotification(registration);
        return 1;
    }
    EnumeratePresentDevices(session);
    return 1;
}

int32_t Remove()
{
    LibraryState& s = State();
    std::vector<std::shared_ptr<UsbDeviceRecord>> records;
    int registration;
    {
        std::lock_guard<std::mutex> guard(s.Lock);
        if (!s.Started)
            return 1;
        s.Started = false;
        ++s.Session;
        s.Callback = nullptr;
        s.Queue.reset();
        records.swap(s.List);
        for (auto& record : records) {
            record->Listed = false;
            s.Handles.Remove(record->Handle);
        }
        registration = s.InterfaceRegistration;
        s.InterfaceRegistration = 0;
    }
    if (registration)
        user::UnregisterInterfaceNotification(registration);
    for (auto& record : records)
        ReleaseFiles(*record);
    return 1;
}

int32_t NotificationDescriptor()
{
    LibraryState& s = State();
    std::lock_guard<std::mutex> guard(s.Lock);
    return s.Started ? s.Queue->Descriptor() : -1;
}

int32_t DispatchNotifications()
{
    std::shared_ptr<user::MessageQueue> queue;
    {
        LibraryState& s = State();
        std::lock_guard<std::mutex> guard(s.Lock);
        if (!s.Started || s.Owner != std::this_thread::get_id())
            return -1;
        queue = s.Queue;  // held: a callback may stop the library
    }
    return queue->Dispatch();
}

UsbResult FindDevice(UsbDevice device, std::shared_ptr<UsbDeviceRecord>& record)
{
    std::lock_guard<std::mutex> guard(State().Lock);
    return FindDeviceLocked(device, record);
}

UsbResult AcquireOpenDevice(UsbDevice device, std::shared_ptr<UsbDeviceRecord>& record,
                            std::shared_ptr<DeviceFiles>& files)
{
    std::lock_guard<std::mutex> guard(State().Lock);
    if (UsbResult result = FindDeviceLocked(device, record))
        return result;
    if (!record->Open)
        return USB_RESULT_NOT_OPEN;
    files = record->Files;
    return files ? USB_RESULT_SUCCESS : USB_RESULT_LINK_FAILED;
}

UsbResult OpenDevice(UsbDevice device)
{
    LibraryState& s = State();
    std::shared_ptr<UsbDeviceRecord> record;
    std::shared_ptr<DeviceFiles> files;
    {
        std::lock_guard<std::mutex> guard(s.Lock);
        if (UsbResult result = FindDeviceLocked(device, record))
            return result;
        if (record->Open)
            return USB_RESULT_ALREADY_OPEN;
        files = record->Files;
    }
    bool ready = files && files->AllOpen() && Control(files->Device, qelusb::IOCTL_QELUSB_RESET_DEVICE) &&
                 Control(files->Out, qelusb::IOCTL_QELUSB_RESET_PIPE) &&
                 Control(files->In, qelusb::IOCTL_QELUSB_RESET_PIPE);
    if (ready) {
        std::lock_guard<std::mutex> guard(s.Lock);
        // Let go of meanwhile (unplugged, or the library stopped): not opened.
        if (record->Files == files) {
            record->Open = true;
            return USB_RESULT_SUCCESS;
        }
    }
    // Unusable until it is plugged in again.
    ReleaseFiles(*record);
    return USB_RESULT_OPEN_FAILED;
}

UsbResult CloseDevice(UsbDevice device)
{
    std::lock_guard<std::mutex> guard(State().Lock);
    std::shared_ptr<UsbDeviceRecord> record;
    if (UsbResult result = FindDeviceLocked(device, record))
        return result;
    record->Open = false;
    return USB_RESULT_SUCCESS;
}

DeviceFiles::~DeviceFiles()
{
    for (user::Handle handle : {Device, Out, In})
        if (handle != user::kInvalidHandle)
            user::Close(handle);
}

bool DeviceFiles::AllOpen() const
{
    return Device != user::kInvalidHandle && Out != user::kInvalidHandle && In != user::kInvalidHandle;
}

}  // namespace kovrin::usblib
