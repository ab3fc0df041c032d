#include "platform/kernel/pnp_manager.h"

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include "platform/kernel/device_interface.h"
#include "platform/kernel/io_internal.h"
#include "platform/kernel/level.h"
#include "platform/kernel/pool.h"
#include "platform/kernel/request.h"
#include "platform/kernel/sync.h"
#include "platform/kernel/system.h"
#include "platform/kernel/text.h"

namespace kovrin::platform {

struct LoadedDriver {
    std::string Name;
    void* Library = nullptr;
    DriverEntryRoutine Entry = nullptr;
    std::vector<std::unique_ptr<DriverObject>> Objects;  // the last is in use
    bool Initialised = false;
    int Devices = 0;
    int EntryCalls = 0;
};

struct DeviceInterfaceEntry {
    Guid Interface;
    std::u16string Link;
    DeviceNode* Node = nullptr;
    bool Enabled = false;
    bool Announced = false;
};

struct DeviceNode {
    DeviceObject* Pdo = nullptr;  // referenced
    HardwareId Id;
    std::string InstanceId;
    LoadedDriver* Driver = nullptr;
    DeviceObject* Fdo = nullptr;  // referenced
    NodeState State = NodeState::NoDriver;
    Status StartStatus = Status::Success;
    bool Present = true;
    bool Removing = false;  // interfaces hidden; no new opens
    bool RemoveWanted = false;
    bool RemoveSent = false;
    int OpenFiles = 0;
    std::map<int, HandleNotice> Watchers;
};

namespace {

constexpr uint32_t kNameTag = MakePoolTag("Name");

std::string ProgramDirectory()
{
    char path[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return ".";
    path[n] = 0;
    std::string text(path);
    size_t slash = text.rfind('/');
    return slash == std::string::npos ? "." : text.substr(0, slash);
}

}  // namespace

const char* NodeStateName(NodeState state)
{
    switch (state) {
    case NodeState::Added: return "Added";
    case NodeState::Started: return "Started";
    case NodeState::StartFailed: return "StartFailed";
    case NodeState::Stopped: return "Stopped";
    case NodeState::SurpriseRemoved: return "SurpriseRemoved";
    case NodeState::Removed: return "Removed";
    case NodeState::NoDriver: return "NoDriver";
    case NodeState::Gone: return "Gone";
    }
    return "?";
}

PnpManager::PnpManager() : driverDirectory_(ProgramDirectory()) {}

PnpManager::~PnpManager()
{
    for (auto& node : nodes_) {
        if (node->Fdo)
            DereferenceDevice(node->Fdo);
        if (node->Pdo)
            DereferenceDevice(node->Pdo);
    }
    // Unloaded only now, when no thread can still be running driver code.
    for (auto& driver : drivers_)
        if (driver->Library)
            dlclose(driver->Library);
}

void PnpManager::InstallDriver(const std::string& name, const std::vector<HardwareId>& ids)
{
    std::lock_guard<std::mutex> guard(lock_);
    for (const HardwareId& id : ids)
        bindings_.emplace_back(id, name);
}

void PnpManager::SetDriverDirectory(const std::string& directory)
{
    std::lock_guard<std::mutex> guard(lock_);
    driverDirectory_ = directory;
}

void PnpManager::SetOptions(const Options& options)
{
    std::lock_guard<std::mutex> guard(lock_);
    options_ = options;
}

// ---- arrival, start, removal (on the PnP thread)

DeviceNode* PnpManager::DeviceArrived(DeviceObject* physicalDevice, HardwareId id, const std::string& instanceId)
{
    auto node = std::make_unique<DeviceNode>();
    node->Pdo = physicalDevice;
    ReferenceDevice(physicalDevice);
    node->Id = id;
    node->InstanceId = instanceId;
    DeviceNode* raw = node.get();
    {
        std::lock_guard<std::mutex> guard(lock_);
        nodes_.push_back(std::move(node));
    }
    System::Current().PnpThread().Post([this, raw] { Arrive(raw); });
    return raw;
}

void PnpManager::DeviceDeparted(DeviceObject* physicalDevice)
{
    DeviceNode* node;
    {
        std::lock_guard<std::mutex> guard(lock_);
        node = NodeOfLocked(physicalDevice);
    }
    if (node)
        System::Current().PnpThread().Post([this, node] { Depart(node); });
}

LoadedDriver* PnpManager::LoadDriver(const std::string& name)
{
    std::string directory;
    {
        std::lock_guard<std::mutex> guard(lock_);
        for (auto& driver : drivers_)
            if (driver->Name == name)
                return driver.get();
        directory = driverDirectory_;
    }
    std::string path = directory + "/" + name + ".so";
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char* error = dlerror();
        RecordViolation("cannot load driver " + path + ": " + (error ? error : "?"));
        return nullptr;
    }
    auto entry = reinterpret_cast<DriverEntryRoutine>(dlsym(library, kDriverEntryName));
    if (!entry) {
        RecordViolation("driver " + path + " has no " + kDriverEntryName);
        dlclose(library);
        return nullptr;
    }
    auto driver = std::make_unique<LoadedDriver>();
    driver->Name = name;
    driver->Library = library;
    driver->Entry = entry;
    LoadedDriver* raw = driver.get();
    std::lock_guard<std::mutex> guard(lock_);
    drivers_.push_back(std::move(driver));
    return raw;
}

void PnpManager::Arrive(DeviceNode* node)
{
    std::string name;
    {
        std::lock_guard<std::mutex> guard(lock_);
        for (auto& [id, driverName] : bindings_)
            if (id == node->Id)
                name = driverName;
    }
    LoadedDriver* driver = name.empty() ? nullptr : LoadDriver(name);
    if (!driver)
        return;  // stays NoDriver
    if (!driver->Initialised) {
        auto object = std::make_unique<DriverObject>();
        object->Name = name;
        std::u16string registry = u"services/" + WidenText(name);
        UnicodeString registryPath{uint16_t(registry.size() * 2), uint16_t(registry.size() * 2), registry.data()};
        Status status = driver->Entry(object.get(), &registryPath);
        std::lock_guard<std::mutex> guard(lock_);
        ++driver->EntryCalls;
        driver->Objects.push_back(std::move(object));
        if (!IsSuccess(status))
            return;
        driver->Initialised = true;
    }
    DriverObject* object = driver->Objects.back().get();
    if (!object->AddDevice)
        return;
    Status status = object->AddDevice(object, node->Pdo);
    if (!IsSuccess(status))
        return;
    DeviceObject* top = ReferenceTopOfStack(node->Pdo);
    if (!top || top == node->Pdo) {
        RecordViolation("add-device of " + name + " succeeded without attaching a device");
        if (top)
            DereferenceDevice(top);
        return;
    }
    if (top->Flags & DeviceFlagInitializing)
        RecordViolation("add-device of " + name + " left the device initialising");
    {
        std::lock_guard<std::mutex> guard(lock_);
        node->Fdo = top;
        node->Driver = driver;
        ++driver->Devices;
        node->State = NodeState::Added;
    }
    Start(node);
}

void PnpManager::Start(DeviceNode* node)
{
    Status status = Send(node, PnpMinor::StartDevice);
    bool removeNow = false;
    {
        std::lock_guard<std::mutex> guard(lock_);
        node->StartStatus = status;
        if (IsSuccess(status)) {
            node->State = NodeState::Started;
            for (auto& entry : interfaces_)
                if (entry->Node == node && entry->Enabled && !entry->Announced && !node->Removing)
                    AnnounceLocked(*entry, true);
        } else {
            node->State = NodeState::StartFailed;
            removeNow = options_.RemoveAfterFailedStart;
        }
    }
    if (removeNow)
        Remove(node);
}

void PnpManager::Depart(DeviceNode* node)
{
    NodeState state;
    {
        std::lock_guard<std::mutex> guard(lock_);
        node->Present = false;
        node->Removing = true;
        HideInterfacesLocked(node);
        NotifyHandlesLocked(node);
        state = node->State;
    }
    if (state == NodeState::Started || state == NodeState::Stopped) {
        Send(node, PnpMinor::SurpriseRemoval);
        std::lock_guard<std::mutex> guard(lock_);
        node->State = NodeState::SurpriseRemoved;
    }
    RemoveWhenClosed(node);
}

void PnpManager::RemoveWhenClosed(DeviceNode* node)
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        node->RemoveWanted = true;
        if (node->OpenFiles != 0 || node->RemoveSent)
            return;
        node->RemoveSent = true;
    }
    Remove(node);
}

void PnpManager::Remove(DeviceNode* node)
{
    bool hadFunctionDevice;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (node->State == NodeState::Gone)
            return;  // a departure queued behind the removal that finished it
        hadFunctionDevice = node->Fdo && node->State != NodeState::Removed;
    }
    std::vector<DeviceObject*> released;
    Send(node, PnpMinor::RemoveDevice);
    DriverObject* unload = nullptr;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (hadFunctionDevice) {
            if (--node->Driver->Devices == 0) {
                unload = node->Driver->Objects.back().get();
                node->Driver->Initialised = false;
            }
            if (!IsDeviceDeleted(node->Fdo))
                RecordViolation("remove request left the function device in place");
        }
        node->State = IsDeviceDeleted(node->Pdo) ? NodeState::Gone : NodeState::Removed;
        node->RemoveSent = node->RemoveWanted = false;
        node->Removing = node->State == NodeState::Gone;
        if (node->State == NodeState::Gone)
            released = ReleaseLocked(node);
    }
    if (unload && unload->DriverUnload)
        unload->DriverUnload(unload);
    // Outside the lock: the last reference frees the object.
    for (DeviceObject* device : released)
        DereferenceDevice(device);
}

// A node whose physical device is deleted keeps only its state and start
// status (what tests read), so that plugging in and out all day does not grow
// the program; the node itself stays, as user-mode files, queued PnP jobs and
// tests may still hold its address.
std::vector<DeviceObject*> PnpManager::ReleaseLocked(DeviceNode* node)
{
    std::vector<DeviceObject*> released;
    if (node->Fdo)
        released.push_back(node->Fdo);
    if (node->Pdo)
        released.push_back(node->Pdo);
    node->Fdo = node->Pdo = nullptr;
    node->Driver = nullptr;
    std::string().swap(node->InstanceId);
    node->Watchers.clear();
    std::erase_if(interfaces_, [node](const auto& entry) { return entry->Node == node; });
    return released;
}

// Sends a request the manager made itself down the stack and waits for its
// status; the request and the reference on `top` are released afterwards.
Status PnpManager::CallAndWait(DeviceObject* top, Request* request)
{
    Event done;
    IoStatusBlock result;
    SetFinalCompletion(request, [&](Request* r) {
        result = r->IoStatus;
        done.Set();
    });
    CallDriver(top, request);
    done.Wait();
    FreeRequest(request);
    DereferenceDevice(top);
    return result.Status;
}

Status PnpManager::Send(DeviceNode* node, PnpMinor minor)
{
    DeviceObject* top = ReferenceTopOf(node);
    if (!top)
        return Status::NoSuchDevice;
    Request* request = AllocateRequestUncounted(top->StackSize);
    request->IoStatus.Status = Status::NotSupported;  // what a driver that ignores the request leaves
    StackLocation* next = NextStackLocation(request);
    next->Major = MajorFunction::Pnp;
    next->Minor = uint8_t(minor);
    DeviceCapabilities capabilities{};
    if (minor == PnpMinor::QueryCapabilities) {
        capabilities.Size = sizeof capabilities;
        capabilities.Version = 1;
        next->QueryCapabilities.Capabilities = &capabilities;
    }
    return CallAndWait(top, request);
}

Status PnpManager::SendPower(DeviceNode* node, SystemPowerState state)
{
    DeviceObject* top = ReferenceTopOf(node);
    if (!top)
        return Status::NoSuchDevice;
    Request* request = AllocateRequestUncounted(top->StackSize);
    StackLocation* next = NextStackLocation(request);
    next->Major = MajorFunction::Power;
    next->Minor = uint8_t(PowerMinor::SetPower);
    next->Power.Type = PowerStateType::System;
    next->Power.State = state;
    return CallAndWait(top, request);
}

// ---- device interfaces

Status PnpManager::RegisterInterface(DeviceObject* physicalDevice, const Guid& guid, const UnicodeString* reference,
                                     UnicodeString* linkName)
{
    std::lock_guard<std::mutex> guard(lock_);
    DeviceNode* node = NodeOfLocked(physicalDevice);
    if (!node)
        return Status::NoSuchDevice;
    std::u16string link = u"\\\\?\\usb#" + WidenText(node->InstanceId) + u"#" + WidenText(GuidText(guid));
    if (reference && reference->Buffer)
        link += u"\\" + std::u16string(reference->Buffer, reference->Length / 2);
    bool known = false;
    for (auto& entry : interfaces_)
        known = known || (entry->Node == node && entry->Link == link);
    if (!known) {
        auto entry = std::make_unique<DeviceInterfaceEntry>();
        entry->Interface = guid;
        entry->Link = link;
        entry->Node = node;
        interfaces_.push_back(std::move(entry));
    }
    if (link.size() >= 0x7FFF)
        return Status::NameTooLong;
    auto* buffer = static_cast<char16_t*>(AllocatePool((link.size() + 1) * sizeof(char16_t), kNameTag));
    if (!buffer)
        return Status::InsufficientResources;
    std::memcpy(buffer, link.c_str(), (link.size() + 1) * sizeof(char16_t));
    linkName->Buffer = buffer;
    linkName->Length = uint16_t(link.size() * sizeof(char16_t));
    linkName->MaximumLength = uint16_t((link.size() + 1) * sizeof(char16_t));
    return Status::Success;
}

Status PnpManager::SetInterfaceState(const UnicodeString* linkName, bool enable)
{
    std::u16string link(linkName->Buffer, linkName->Length / sizeof(char16_t));
    std::lock_guard<std::mutex> guard(lock_);
    for (auto& entry : interfaces_) {
        if (entry->Link != link)
            continue;
        entry->Enabled = enable;
        DeviceNode* node = entry->Node;
        if (enable && node->State == NodeState::Started && !node->Removing && !entry->Announced)
            AnnounceLocked(*entry, true);
        if (!enable && entry->Announced)
            AnnounceLocked(*entry, false);
        return Status::Success;
    }
    RecordViolation("SetDeviceInterfaceState: no interface " + NarrowText(link));
    return Status::ObjectNameNotFound;
}

void PnpManager::AnnounceLocked(DeviceInterfaceEntry& entry, bool arrival)
{
    entry.Announced = arrival;
    std::vector<InterfaceNotice> notices;
    for (auto& [id, subscription] : subscriptions_)
        if (subscription.Interface == entry.Interface)
            notices.push_back(subscription.Notice);
    std::string path = NarrowText(entry.Link);
    InterfaceEvent event = arrival ? InterfaceEvent::Arrival : InterfaceEvent::Removal;
    System::Current().Notifier().Post([notices = std::move(notices), path, event] {
        for (auto& notice : notices)
            notice(event, path);
    });
}

void PnpManager::HideInterfacesLocked(DeviceNode* node)
{
    for (auto& entry : interfaces_)
        if (entry->Node == node && entry->Announced)
            AnnounceLocked(*entry, false);
}

void PnpManager::NotifyHandlesLocked(DeviceNode* node)
{
    std::vector<HandleNotice> notices;
    for (auto& [id, notice] : node->Watchers)
        notices.push_back(notice);
    System::Current().Notifier().Post([notices = std::move(notices)] {
        for (auto& notice : notices)
            notice(HandleEvent::RemoveComplete);
    });
}

// ---- user mode

std::vector<std::string> PnpManager::EnabledInterfaces(const Guid& guid)
{
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<std::string> paths;
    for (auto& entry : interfaces_)
        if (entry->Interface == guid && entry->Enabled && entry->Announced && !entry->Node->Removing)
            paths.push_back(NarrowText(entry->Link));
    return paths;
}

int PnpManager::SubscribeInterfaces(const Guid& guid, InterfaceNotice notice)
{
    std::lock_guard<std::mutex> guard(lock_);
    int id = nextId_++;
    subscriptions_[id] = Subscription{guid, std::move(notice)};
    return id;
}

void PnpManager::Unsubscribe(int subscription)
{
    std::lock_guard<std::mutex> guard(lock_);
    subscriptions_.erase(subscription);
}

DeviceNode* PnpManager::ResolvePath(const std::string& path, std::u16string* remainder)
{
    std::u16string wide = WidenText(path);
    std::lock_guard<std::mutex> guard(lock_);
    DeviceInterfaceEntry* best = nullptr;
    for (auto& entry : interfaces_) {
        const std::u16string& link = entry->Link;
        if (!entry->Enabled || entry->Node->Removing || wide.compare(0, link.size(), link) != 0)
            continue;
        if (wide.size() != link.size() && wide[link.size()] != u'\\')
            continue;
        if (!best || link.size() > best->Link.size())
            best = entry.get();
    }
    if (!best)
        return nullptr;
    *remainder = wide.substr(best->Link.size());
    return best->Node;
}

void PnpManager::FileOpened(DeviceNode* node)
{
    std::lock_guard<std::mutex> guard(lock_);
    ++node->OpenFiles;
}

void PnpManager::FileClosed(DeviceNode* node)
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (--node->OpenFiles != 0 || !node->RemoveWanted || node->RemoveSent)
            return;
        node->RemoveSent = true;
    }
    System::Current().PnpThread().Post([this, node] { Remove(node); });
}

int PnpManager::WatchHandle(DeviceNode* node, HandleNotice notice)
{
    std::lock_guard<std::mutex> guard(lock_);
    int id = nextId_++;
    node->Watchers[id] = std::move(notice);
    return id;
}

void PnpManager::UnwatchHandle(DeviceNode* node, int watch)
{
    std::lock_guard<std::mutex> guard(lock_);
    node->Watchers.erase(watch);
}

// ---- tests

DeviceNode* PnpManager::NodeOfLocked(DeviceObject* physicalDevice)
{
    for (auto& node : nodes_)
        if (node->Pdo == physicalDevice && node->State != NodeState::Gone)
            return node.get();
    return nullptr;
}

DeviceNode* PnpManager::NodeOf(DeviceObject* physicalDevice)
{
    std::lock_guard<std::mutex> guard(lock_);
    return NodeOfLocked(physicalDevice);
}

NodeState PnpManager::StateOf(DeviceNode* node)
{
    std::lock_guard<std::mutex> guard(lock_);
    return node->State;
}

Status PnpManager::StartStatusOf(DeviceNode* node)
{
    std::lock_guard<std::mutex> guard(lock_);
    return node->StartStatus;
}

DeviceObject* PnpManager::PhysicalDeviceOf(DeviceNode* node)
{
    std::lock_guard<std::mutex> guard(lock_);
    return node->Pdo;
}

// Under the lock, as a gone node's physical device is let go on the PnP thread.
DeviceObject* PnpManager::ReferenceTopOf(DeviceNode* node)
{
    std::lock_guard<std::mutex> guard(lock_);
    return node->Pdo ? ReferenceTopOfStack(node->Pdo) : nullptr;
}

DeviceObject* PnpManager::FunctionDeviceOf(DeviceNode* node)
{
    std::lock_guard<std::mutex> guard(lock_);
    return node->Fdo;
}

std::vector<std::string> PnpManager::InterfacePathsOf(DeviceNode* node)
{
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<std::string> paths;
    for (auto& entry : interfaces_)
        if (entry->Node == node)
            paths.push_back(NarrowText(entry->Link));
    return paths;
}

size_t PnpManager::HeldDeviceObjects()
{
    std::lock_guard<std::mutex> guard(lock_);
    size_t count = 0;
    for (auto& node : nodes_)
        count += (node->Pdo ? 1 : 0) + (node->Fdo ? 1 : 0);
    return count;
}

size_t PnpManager::LiveNodes()
{
    std::lock_guard<std::mutex> guard(lock_);
    return size_t(std::count_if(nodes_.begin(), nodes_.end(),
                                [](const auto& node) { return node->State != NodeState::Gone; }));
}

size_t PnpManager::InterfaceCount()
{
    std::lock_guard<std::mutex> guard(lock_);
    return interfaces_.size();
}

int PnpManager::DriverEntryCalls(const std::string& name)
{
    std::lock_guard<std::mutex> guard(lock_);
    for (auto& driver : drivers_)
        if (driver->Name == name)
            return driver->EntryCalls;
    return 0;
}

Status PnpManager::RunOnPnpThread(const std::function<Status()>& job)
{
    JobThread& thread = System::Current().PnpThread();
    if (thread.OnThisThread()) {
        RecordViolation("a waiting PnP manager call made on the PnP thread");
        return Status::InvalidDeviceState;
    }
    Event done;
    Status result = Status::Success;
    thread.Post([&] {
        result = job();
        done.Set();
    });
    done.Wait();
    return result;
}

Status PnpManager::SendRequest(DeviceNode* node, PnpMinor minor)
{
    if (minor == PnpMinor::RemoveDevice || minor == PnpMinor::SurpriseRemoval)
        return Status::InvalidParameter;  // those follow from RequestRemoval and departure
    return RunOnPnpThread([&] {
        if (minor == PnpMinor::StartDevice) {
            Start(node);
            std::lock_guard<std::mutex> guard(lock_);
            return node->StartStatus;
        }
        Status status = Send(node, minor);
        if (minor == PnpMinor::StopDevice && IsSuccess(status)) {
            std::lock_guard<std::mutex> guard(lock_);
            node->State = NodeState::Stopped;
        }
        return status;
    });
}

Status PnpManager::RequestRemoval(DeviceNode* node)
{
    return RunOnPnpThread([&] {
        Status status = Send(node, PnpMinor::QueryRemoveDevice);
        if (!IsSuccess(status)) {
            Send(node, PnpMinor::CancelRemoveDevice);
            return status;
        }
        {
            std::lock_guard<std::mutex> guard(lock_);
            node->Removing = true;
            HideInterfacesLocked(node);
            NotifyHandlesLocked(node);
        }
        RemoveWhenClosed(node);
        return status;
    });
}

Status PnpManager::SetSystemPowerState(SystemPowerState state)
{
    return RunOnPnpThread([&] {
        std::vector<DeviceNode*> started;
        {
            std::lock_guard<std::mutex> guard(lock_);
            for (auto& node : nodes_)
                if (node->State == NodeState::Started)
                    started.push_back(node.get());
        }
        Status first = Status::Success;
        for (DeviceNode* node : started) {
            Status status = SendPower(node, state);
            if (IsSuccess(first) && !IsSuccess(status))
                first = status;
        }
        return first;
    });
}

// ---- the free functions drivers call

Status RegisterDeviceInterface(DeviceObject* physicalDevice, const Guid* guid, const UnicodeString* referenceString,
                               UnicodeString* symbolicLinkName)
{
    return System::Current().Pnp().RegisterInterface(physicalDevice, *guid, referenceString, symbolicLinkName);
}

Status SetDeviceInterfaceState(const UnicodeString* symbolicLinkName, bool enable)
{
    return System::Current().Pnp().SetInterfaceState(symbolicLinkName, enable);
}

void FreeUnicodeString(UnicodeString* string)
{
    FreePool(string->Buffer);
    string->Buffer = nullptr;
    string->Length = string->MaximumLength = 0;
}

}  // namespace kovrin::platform
