#include "tests/platform/usb/libusb/usbfs_bus.h"

#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <umockdev.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>

#include "platform/usb/descriptors.h"

namespace kovrin::testing {

using platform::usb::DeviceSide;
using platform::usb::EmulatedDevice;
using platform::usb::OutResult;

namespace {

constexpr int kBus = 1;
constexpr unsigned kUsbDeviceMajor = 189;
constexpr size_t kSetupSize = 8;
constexpr uint32_t kCapabilities = USBDEVFS_CAP_ZERO_PACKET | USBDEVFS_CAP_BULK_CONTINUATION |
                                   USBDEVFS_CAP_NO_PACKET_SIZE_LIM | USBDEVFS_CAP_REAP_AFTER_DISCONNECT;

// A submitted URB: its copy in this process, synced back to the client when reaped.
struct Urb {
    UMockdevIoctlData* Data = nullptr;  // the usbdevfs_urb, referenced
    uint8_t* Buffer = nullptr;          // its data, owned by Data

    usbdevfs_urb& Fields() const { return *reinterpret_cast<usbdevfs_urb*>(Data->data); }
};

struct Endpoint {
    uint8_t Address = 0;
    uint16_t MaximumPacketSize = 64;
    std::deque<std::vector<uint8_t>> InPackets;
    std::deque<Urb> Pending;
    bool Halted = false;
    int ClearHalts = 0;

    bool In() const { return (Address & 0x80) != 0; }
};

}  // namespace

struct UsbfsPort;

// The device's hands on the port while it handles a transfer; the port is locked.
class PortSide : public DeviceSide {
public:
    explicit PortSide(UsbfsPort& port) : port_(port) {}
    void SendIn(uint8_t endpoint, const std::vector<uint8_t>& data, bool zeroLengthPacketAfterFull) override;
    void Stall(uint8_t endpoint) override;

private:
    UsbfsPort& port_;
};

struct UsbfsPort {
    int Number = 0;
    int Address = 0;
    std::string SysPath;
    std::string Node;
    std::shared_ptr<EmulatedDevice> Device;
    UMockdevIoctlBase* Handler = nullptr;

    std::mutex Lock;
    bool Plugged = true;
    std::map<uint8_t, Endpoint> Endpoints;
    std::deque<Urb> Done;
    int SetConfigurations = 0;
    bool Claimed = false;
    int Discards = 0;
    std::vector<UMockdevIoctlClient*> Clients;  // referenced

    // ---- under Lock
    void FinishLocked(Urb urb, int status)
    {
        urb.Fields().status = status;
        Done.push_back(urb);
    }

    void QueueInLocked(Endpoint& endpoint, const std::vector<uint8_t>& data, bool zlpAfterFull)
    {
        size_t size = endpoint.MaximumPacketSize;
        for (size_t at = 0; at < data.size(); at += size)
            endpoint.InPackets.emplace_back(data.begin() + at, data.begin() + std::min(data.size(), at + size));
        if (data.empty() || (zlpAfterFull && data.size() % size == 0))
            endpoint.InPackets.emplace_back();
        ServiceInLocked(endpoint);
    }

    // The packets waiting on an IN endpoint fill its URBs in order.
    void ServiceInLocked(Endpoint& endpoint)
    {
        while (!endpoint.Pending.empty()) {
            Urb urb = endpoint.Pending.front();
            usbdevfs_urb& f = urb.Fields();
            if (endpoint.Halted) {
                endpoint.Pending.pop_front();
                FinishLocked(urb, -EPIPE);
                continue;
            }
            if (endpoint.InPackets.empty())
                return;
            std::vector<uint8_t> packet = std::move(endpoint.InPackets.front());
            endpoint.InPackets.pop_front();
            size_t room = size_t(f.buffer_length - f.actual_length);
            size_t n = std::min(room, packet.size());
            if (n)
                std::memcpy(urb.Buffer + f.actual_length, packet.data(), n);
            f.actual_length += int(n);
            if (packet.size() > room) {
                endpoint.Pending.pop_front();
                FinishLocked(urb, -EOVERFLOW);
                continue;
            }
            bool shortPacket = packet.size() < endpoint.MaximumPacketSize;
            if (shortPacket || f.actual_length == f.buffer_length) {
                endpoint.Pending.pop_front();
                bool tooShort = shortPacket && (f.flags & USBDEVFS_URB_SHORT_NOT_OK) && f.actual_length < f.buffer_length;
                FinishLocked(urb, tooShort ? -EREMOTEIO : 0);
            }
        }
    }

    void StallLocked(uint8_t address)
    {
        auto it = Endpoints.find(address);
        if (it == Endpoints.end())
            return;
        it->second.Halted = true;
        while (!it->second.Pending.empty()) {
            FinishLocked(it->second.Pending.front(), -EPIPE);
            it->second.Pending.pop_front();
        }
    }

    // A standard request on endpoint 0: descriptors from the device; anything else stalls.
    int ControlLocked(Urb& urb)
    {
        usbdevfs_urb& f = urb.Fields();
        if (f.buffer_length < int(kSetupSize))
            return -EINVAL;
        const uint8_t* s = urb.Buffer;
        uint16_t value = uint16_t(s[2] | s[3] << 8);
        uint16_t length = uint16_t(s[6] | s[7] << 8);
        if (s[0] != 0x80 || s[1] != 0x06)
            return -EPIPE;
        std::vector<uint8_t> data;
        if (value >> 8 == platform::usb::DescriptorTypeDevice)
            data = Device->DeviceDescriptor();
        else if (value >> 8 == platform::usb::DescriptorTypeConfiguration)
            data = Device->ConfigurationDescriptor();
        else
            return -EPIPE;
        size_t n = std::min<size_t>({length, data.size(), size_t(f.buffer_length) - kSetupSize});
        std::memcpy(urb.Buffer + kSetupSize, data.data(), n);
        f.actual_length = int(n);
        return 0;
    }

    void SubmitLocked(Urb urb)
    {
        usbdevfs_urb& f = urb.Fields();
        f.actual_length = 0;
        if (f.type == USBDEVFS_URB_TYPE_CONTROL) {
            FinishLocked(urb, ControlLocked(urb));
            return;
        }
        auto it = Endpoints.find(f.endpoint);
        if (it == Endpoints.end()) {
            FinishLocked(urb, -ENOENT);
            return;
        }
        Endpoint& endpoint = it->second;
        if (endpoint.Halted) {
            FinishLocked(urb, -EPIPE);
            return;
        }
        if (endpoint.In()) {
            endpoint.Pending.push_back(urb);
            if (endpoint.InPackets.empty()) {
                PortSide side(*this);
                Device->OnInTransfer(endpoint.Address, side);
            }
            ServiceInLocked(endpoint);
            return;
        }
        PortSide side(*this);
        OutResult result = Device->OnOutTransfer(
            endpoint.Address, std::span<const uint8_t>(urb.Buffer, size_t(f.buffer_length)), side);
        switch (result) {
        case OutResult::Accept:
            f.actual_length = f.buffer_length;
            FinishLocked(urb, 0);
            break;
        case OutResult::Stall:
            endpoint.Halted = true;
            FinishLocked(urb, -EPIPE);
            break;
        case OutResult::Nak:
            endpoint.Pending.push_back(urb);
            break;
        }
        for (auto& [address, in] : Endpoints)
            if (in.In())
                ServiceInLocked(in);
    }

    bool DiscardLocked(uint64_t clientAddress)
    {
        for (auto& [address, endpoint] : Endpoints)
            for (auto it = endpoint.Pending.begin(); it != endpoint.Pending.end(); ++it)
                if (it->Data->client_addr == clientAddress) {
                    Urb urb = *it;
                    endpoint.Pending.erase(it);
                    FinishLocked(urb, -ENOENT);
                    ++Discards;
                    return true;
                }
        return false;
    }

    void UnplugLocked()
    {
        Plugged = false;
        // As the kernel does: every URB in flight is given back, failed.
        for (auto& [address, endpoint] : Endpoints) {
            for (Urb& urb : endpoint.Pending)
                FinishLocked(urb, -ESHUTDOWN);
            endpoint.Pending.clear();
            endpoint.InPackets.clear();
        }
    }

    // ---- the ioctls, on umockdev's thread
    static gboolean OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self)
    {
        auto* port = static_cast<UsbfsPort*>(self);
        int error = port->Ioctl(umockdev_ioctl_client_get_request(client), umockdev_ioctl_client_get_arg(client));
        umockdev_ioctl_client_complete(client, error ? -1 : 0, error);
        return TRUE;
    }
    // Each open of the node; whether it is still open is the client's "connected".
    static void OnConnected(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self)
    {
        auto* port = static_cast<UsbfsPort*>(self);
        std::lock_guard<std::mutex> guard(port->Lock);
        port->Clients.push_back(UMOCKDEV_IOCTL_CLIENT(g_object_ref(client)));
    }

    // Resolves `size` bytes at the address the argument holds; the caller unreferences the result.
    static UMockdevIoctlData* Pointee(UMockdevIoctlData* arg, size_t size)
    {
        return umockdev_ioctl_data_resolve(arg, 0, size, nullptr);
    }

    static unsigned UnsignedAt(UMockdevIoctlData* arg)
    {
        UMockdevIoctlData* data = Pointee(arg, sizeof(unsigned));
        unsigned value = 0;
        if (data) {
            std::memcpy(&value, data->data, sizeof value);
            g_object_unref(data);
        }
        return value;
    }

    // Returns errno, 0 for success.
    int Ioctl(unsigned long request, UMockdevIoctlData* arg)
    {
        std::lock_guard<std::mutex> guard(Lock);
        switch (request) {
        case USBDEVFS_GET_CAPABILITIES: {
            UMockdevIoctlData* data = Pointee(arg, sizeof kCapabilities);
            if (!data)
                return EFAULT;
            std::memcpy(data->data, &kCapabilities, sizeof kCapabilities);
            g_object_unref(data);
            return 0;
        }
        case USBDEVFS_REAPURBNDELAY: {
            if (Done.empty())
                return Plugged ? EAGAIN : ENODEV;
            UMockdevIoctlData* slot = Pointee(arg, sizeof(void*));
            if (!slot)
                return EFAULT;
            Urb urb = Done.front();
            Done.pop_front();
            umockdev_ioctl_data_set_ptr(slot, 0, urb.Data);
            g_object_unref(slot);
            g_object_unref(urb.Data);
            return 0;
        }
        case USBDEVFS_GETDRIVER:
        case USBDEVFS_IOCTL:
            return ENODATA;  // no kernel driver is bound to the interface
        }
        if (!Plugged)
            return ENODEV;
        switch (request) {
        case USBDEVFS_SUBMITURB: {
            Urb urb;
            urb.Data = Pointee(arg, sizeof(usbdevfs_urb));
            if (!urb.Data)
                return EFAULT;
            usbdevfs_urb& f = urb.Fields();
            if (f.buffer_length < 0 || (f.type != USBDEVFS_URB_TYPE_BULK && f.type != USBDEVFS_URB_TYPE_CONTROL)) {
                g_object_unref(urb.Data);
                return EINVAL;
            }
            UMockdevIoctlData* buffer =
                umockdev_ioctl_data_resolve(urb.Data, offsetof(usbdevfs_urb, buffer), size_t(f.buffer_length), nullptr);
            if (!buffer) {
                g_object_unref(urb.Data);
                return EFAULT;
            }
            urb.Buffer = buffer->data;
            g_object_unref(buffer);  // the URB's data keeps it
            SubmitLocked(urb);
            return 0;
        }
        case USBDEVFS_DISCARDURB: {
            uint64_t address = 0;
            std::memcpy(&address, arg->data, std::min<size_t>(sizeof address, size_t(arg->data_len)));
            return DiscardLocked(address) ? 0 : EINVAL;
        }
        case USBDEVFS_SETCONFIGURATION: {
            unsigned value = UnsignedAt(arg);
            ++SetConfigurations;
            Device->OnConfigured(uint8_t(value));
            for (auto& [address, endpoint] : Endpoints)
                endpoint.Halted = false;
            return 0;
        }
        case USBDEVFS_CLAIMINTERFACE:
        case USBDEVFS_DISCONNECT_CLAIM:
            Claimed = true;
            return 0;
        case USBDEVFS_RELEASEINTERFACE:
            Claimed = false;
            return 0;
        case USBDEVFS_CLEAR_HALT: {
            auto it = Endpoints.find(uint8_t(UnsignedAt(arg)));
            if (it == Endpoints.end())
                return EINVAL;
            it->second.Halted = false;
            ++it->second.ClearHalts;
            return 0;
        }
        case USBDEVFS_RESET:
            for (auto& [address, endpoint] : Endpoints)
                endpoint.Halted = false;
            Device->OnReset();
            return 0;
        default:
            return ENOTTY;
        }
    }
};

void PortSide::SendIn(uint8_t endpoint, const std::vector<uint8_t>& data, bool zeroLengthPacketAfterFull)
{
    auto it = port_.Endpoints.find(endpoint);
    if (it != port_.Endpoints.end() && it->second.In())
        port_.QueueInLocked(it->second, data, zeroLengthPacketAfterFull);
}

void PortSide::Stall(uint8_t endpoint) { port_.StallLocked(endpoint); }

struct UsbfsBus::Impl {
    UMockdevTestbed* Testbed = nullptr;
    std::mutex Lock;
    std::map<int, std::unique_ptr<UsbfsPort>> Ports;
    int NextPort = 1;

    UsbfsPort& Port(int number)
    {
        std::lock_guard<std::mutex> guard(Lock);
        auto it = Ports.find(number);
        if (it == Ports.end()) {
            std::fprintf(stderr, "usbfs bus: no port %d\n", number);
            std::abort();
        }
        return *it->second;
    }

    // Runs `f` on the port under its lock.
    template <typename F>
    auto Locked(int number, F f)
    {
        UsbfsPort& port = Port(number);
        std::lock_guard<std::mutex> guard(port.Lock);
        return f(port);
    }
};

UsbfsBus::UsbfsBus() : impl_(std::make_unique<Impl>())
{
    const char* preload = std::getenv("LD_PRELOAD");
    if (!preload || !std::strstr(preload, "libumockdev-preload")) {
        std::fprintf(stderr, "usbfs bus: not running under umockdev's preload (tests/platform/usb/libusb/under_umockdev)\n");
        std::abort();
    }
    impl_->Testbed = umockdev_testbed_new();
}

UsbfsBus::~UsbfsBus()
{
    for (auto& [number, port] : impl_->Ports) {
        umockdev_testbed_detach_ioctl(impl_->Testbed, port->Node.c_str(), nullptr);
        g_object_unref(port->Handler);
        for (UMockdevIoctlClient* client : port->Clients)
            g_object_unref(client);
        for (Urb& urb : port->Done)
            g_object_unref(urb.Data);
        for (auto& [address, endpoint] : port->Endpoints)
            for (Urb& urb : endpoint.Pending)
                g_object_unref(urb.Data);
    }
    g_object_unref(impl_->Testbed);
}

int UsbfsBus::Plug(std::shared_ptr<EmulatedDevice> device, bool configured)
{
    auto port = std::make_unique<UsbfsPort>();
    port->Device = device;
    std::vector<uint8_t> deviceDescriptor = device->DeviceDescriptor();
    std::vector<uint8_t> configuration = device->ConfigurationDescriptor();
    using namespace platform::usb;
    if (configuration.size() >= sizeof(UsbConfigurationDescriptor)) {
        auto* header = reinterpret_cast<const UsbConfigurationDescriptor*>(configuration.data());
        if (const UsbInterfaceDescriptor* interface = FindFirstInterfaceDescriptor(header, configuration.size())) {
            const UsbEndpointDescriptor* found[32];
            size_t n = FindEndpointDescriptors(header, configuration.size(), interface, found, 32);
            for (size_t i = 0; i < n; ++i) {
                Endpoint endpoint;
                endpoint.Address = found[i]->bEndpointAddress;
                endpoint.MaximumPacketSize = found[i]->wMaxPacketSize ? found[i]->wMaxPacketSize : 64;
                port->Endpoints[endpoint.Address] = std::move(endpoint);
            }
        }
    }
    uint8_t configurationValue = configuration.size() > 5 ? configuration[5] : 1;

    int number;
    {
        std::lock_guard<std::mutex> guard(impl_->Lock);
        number = impl_->NextPort++;
    }
    port->Number = number;
    port->Address = number + 1;  // address 1 is the root hub's
    char node[32], busnum[8], devnum[8];
    std::snprintf(node, sizeof node, "/dev/bus/usb/%03d/%03d", kBus, port->Address);
    std::snprintf(busnum, sizeof busnum, "%03d", kBus);
    std::snprintf(devnum, sizeof devnum, "%03d", port->Address);
    const std::string name = std::to_string(kBus) + "-" + std::to_string(number);
    const std::string bus = std::to_string(kBus) + "\n";
    const std::string address = std::to_string(port->Address) + "\n";
    const std::string dev =
        std::to_string(kUsbDeviceMajor) + ":" + std::to_string((kBus - 1) * 128 + port->Address - 1) + "\n";
    // The kernel leaves an unconfigured device's value empty.
    const std::string value = configured ? std::to_string(configurationValue) + "\n" : "";
    port->Node = node;
    // The node must exist in the testbed for the preload to take an open of it there.
    gchar* root = umockdev_testbed_get_root_dir(impl_->Testbed);
    std::filesystem::path file = std::filesystem::path(root) / (node + 1);
    g_free(root);
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file).flush();

    if (configured)
        device->OnConfigured(configurationValue);
    port->Handler = umockdev_ioctl_base_new();
    g_signal_connect(port->Handler, "handle-ioctl", G_CALLBACK(UsbfsPort::OnIoctl), port.get());
    g_signal_connect(port->Handler, "client-connected", G_CALLBACK(UsbfsPort::OnConnected), port.get());
    GError* error = nullptr;
    if (!umockdev_testbed_attach_ioctl(impl_->Testbed, node, port->Handler, &error)) {
        std::fprintf(stderr, "usbfs bus: %s: %s\n", node, error->message);
        std::abort();
    }
    // umockdev announces the device as it adds it, and libusb opens it at once:
    // the node and its handler are in place before, and the descriptors, written
    // after, are either there or not yet readable (then the "add" below announces it).
    gchar* syspath = umockdev_testbed_add_device(impl_->Testbed, "usb", name.c_str(), nullptr,
                                                 // attributes
                                                 "busnum", bus.c_str(), "devnum", address.c_str(), "speed", "12\n",
                                                 "bConfigurationValue", value.c_str(), "dev", dev.c_str(), nullptr,
                                                 // properties
                                                 "DEVNAME", node, "DEVTYPE", "usb_device", "BUSNUM", busnum,
                                                 "DEVNUM", devnum, nullptr);
    port->SysPath = syspath;
    g_free(syspath);
    std::vector<uint8_t> descriptors = deviceDescriptor;
    descriptors.insert(descriptors.end(), configuration.begin(), configuration.end());
    umockdev_testbed_set_attribute_binary(impl_->Testbed, port->SysPath.c_str(), "descriptors", descriptors.data(),
                                          int(descriptors.size()));

    std::string sysPath = port->SysPath;
    {
        std::lock_guard<std::mutex> guard(impl_->Lock);
        impl_->Ports[number] = std::move(port);
    }
    umockdev_testbed_uevent(impl_->Testbed, sysPath.c_str(), "add");
    return number;
}

void UsbfsBus::Unplug(int number)
{
    UsbfsPort& port = impl_->Port(number);
    {
        std::lock_guard<std::mutex> guard(port.Lock);
        if (!port.Plugged)
            return;
        port.UnplugLocked();
    }
    umockdev_testbed_uevent(impl_->Testbed, port.SysPath.c_str(), "remove");
    umockdev_testbed_remove_device(impl_->Testbed, port.SysPath.c_str());
}

void UsbfsBus::Stall(int number, uint8_t endpoint)
{
    impl_->Locked(number, [&](UsbfsPort& port) { port.StallLocked(endpoint); });
}

int UsbfsBus::SetConfigurationCount(int number)
{
    return impl_->Locked(number, [](UsbfsPort& port) { return port.SetConfigurations; });
}

bool UsbfsBus::InterfaceClaimed(int number)
{
    return impl_->Locked(number, [](UsbfsPort& port) { return port.Claimed; });
}

int UsbfsBus::ClearHaltCount(int number, uint8_t endpoint)
{
    return impl_->Locked(number, [&](UsbfsPort& port) {
        auto it = port.Endpoints.find(endpoint);
        return it == port.Endpoints.end() ? 0 : it->second.ClearHalts;
    });
}

int UsbfsBus::DiscardCount(int number)
{
    return impl_->Locked(number, [](UsbfsPort& port) { return port.Discards; });
}

size_t UsbfsBus::PendingUrbs(int number)
{
    return impl_->Locked(number, [](UsbfsPort& port) {
        size_t n = 0;
        for (auto& [address, endpoint] : port.Endpoints)
            n += endpoint.Pending.size();
        return n;
    });
}

int UsbfsBus::OpenHandles(int number)
{
    return impl_->Locked(number, [](UsbfsPort& port) {
        return int(std::count_if(port.Clients.begin(), port.Clients.end(), [](UMockdevIoctlClient* client) {
            return umockdev_ioctl_client_get_connected(client);
        }));
    });
}

}  // namespace kovrin::testing
