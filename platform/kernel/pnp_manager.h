#pragma once
// The plug-and-play manager: device nodes, function drivers loaded by name,
// device stacks built on arrival and torn down on removal, device interfaces
// and the notices that user mode receives about them.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/kernel/guid.h"
#include "platform/kernel/objects.h"
#include "platform/kernel/power_types.h"

namespace kovrin::platform {

struct HardwareId {
    uint16_t VendorId = 0;
    uint16_t ProductId = 0;
    friend bool operator==(const HardwareId&, const HardwareId&) = default;
};

enum class NodeState {
    Added,            // function driver added, not started yet
    Started,
    StartFailed,      // kept only with Options::RemoveAfterFailedStart off
    Stopped,
    SurpriseRemoved,  // gone from the bus; remove follows the last close
    Removed,          // function device removed; the physical device remains
    NoDriver,         // no driver installed, or add-device failed
    Gone,             // the physical device object is deleted
};
const char* NodeStateName(NodeState state);

enum class InterfaceEvent { Arrival, Removal };
using InterfaceNotice = std::function<void(InterfaceEvent event, const std::string& path)>;
enum class HandleEvent { RemoveComplete };
using HandleNotice = std::function<void(HandleEvent event)>;

struct DeviceNode;
struct LoadedDriver;
struct DeviceInterfaceEntry;

class PnpManager {
public:
    struct Options {
        // As the real system: a device whose start failed is removed at once.
        bool RemoveAfterFailedStart = true;
    };

    PnpManager();
    ~PnpManager();

    // ---- installation
    void InstallDriver(const std::string& name, const std::vector<HardwareId>& ids);
    // Where driver shared objects are looked for; default: the program's folder.
    void SetDriverDirectory(const std::string& directory);
    void SetOptions(const Options& options);

    // ---- from bus drivers
    DeviceNode* DeviceArrived(DeviceObject* physicalDevice, HardwareId id, const std::string& instanceId);
    void DeviceDeparted(DeviceObject* physicalDevice);

    // ---- device interfaces (drivers use the free functions in device_interface.h)
    Status RegisterInterface(DeviceObject* physicalDevice, const Guid& guid, const UnicodeString* reference,
                             UnicodeString* linkName);
    Status SetInterfaceState(const UnicodeString* linkName, bool enable);

    // ---- user mode
    std::vector<std::string> EnabledInterfaces(const Guid& guid);
    int SubscribeInterfaces(const Guid& guid, InterfaceNotice notice);
    void Unsubscribe(int subscription);
    // The node whose enabled interface link name starts `path`, and the rest of the path.
    DeviceNode* ResolvePath(const std::string& path, std::u16string* remainder);
    // The top of the node's stack, referenced; null once the node is gone.
    DeviceObject* ReferenceTopOf(DeviceNode* node);
    void FileOpened(DeviceNode* node);
    void FileClosed(DeviceNode* node);
    int WatchHandle(DeviceNode* node, HandleNotice notice);
    void UnwatchHandle(DeviceNode* node, int watch);

    // ---- for tests: inspection and requests (these wait; not from the PnP thread)
    DeviceNode* NodeOf(DeviceObject* physicalDevice);
    NodeState StateOf(DeviceNode* node);
    Status StartStatusOf(DeviceNode* node);
    DeviceObject* PhysicalDeviceOf(DeviceNode* node);
    // The function device the driver added (kept referenced, so it can be asked whether it was deleted,
    // until the node is gone: then null, as is its physical device).
    DeviceObject* FunctionDeviceOf(DeviceNode* node);
    std::vector<std::string> InterfacePathsOf(DeviceNode* node);
    // Sends one plug-and-play request to the top of the node's stack; start,
    // stop, query and cancel requests update the node's state.
    Status SendRequest(DeviceNode* node, PnpMinor minor);
    // Query-remove; on success the interfaces are announced gone and the
    // remove request follows the last close.
    Status RequestRemoval(DeviceNode* node);
    // A system set-power request to every started device; the first failure.
    Status SetSystemPowerState(SystemPowerState state);
    int DriverEntryCalls(const std::string& name);
    // What departed devices must not pile up: device objects the manager still
    // references, nodes not yet gone, and registered device interfaces.
    size_t HeldDeviceObjects();
    size_t LiveNodes();
    size_t InterfaceCount();

private:
    Status CallAndWait(DeviceObject* top, Request* request);
    Status Send(DeviceNode* node, PnpMinor minor);
    Status SendPower(DeviceNode* node, SystemPowerState state);
    void Arrive(DeviceNode* node);
    void Start(DeviceNode* node);
    void Depart(DeviceNode* node);
    void Remove(DeviceNode* node);
    void RemoveWhenClosed(DeviceNode* node);
    LoadedDriver* LoadDriver(const std::string& name);
    void AnnounceLocked(DeviceInterfaceEntry& entry, bool arrival);
    void HideInterfacesLocked(DeviceNode* node);
    void NotifyHandlesLocked(DeviceNode* node);
    std::vector<DeviceObject*> ReleaseLocked(DeviceNode* node);
    DeviceNode* NodeOfLocked(DeviceObject* physicalDevice);
    Status RunOnPnpThread(const std::function<Status()>& job);

    std::mutex lock_;
    Options options_;
    std::string driverDirectory_;
    std::vector<std::pair<HardwareId, std::string>> bindings_;
    std::vector<std::unique_ptr<LoadedDriver>> drivers_;
    std::vector<std::unique_ptr<DeviceNode>> nodes_;
    std::vector<std::unique_ptr<DeviceInterfaceEntry>> interfaces_;
    struct Subscription {
        Guid Interface;
        InterfaceNotice Notice;
    };
    std::map<int, Subscription> subscriptions_;
    int nextId_ = 1;
};

}  // namespace kovrin::platform
