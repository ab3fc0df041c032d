#include "platform/usb/libusb/libusb_bus.h"

#include <libusb.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "platform/usb/libusb/event_loop.h"
#include "platform/usb/libusb/libusb_device.h"

namespace kovrin::platform::usb {

namespace {

std::string InstanceIdOf(libusb_device* device)
{
    char id[32];
    std::snprintf(id, sizeof id, "usb-%03u-%03u", libusb_get_bus_number(device), libusb_get_device_address(device));
    return id;
}

class LibusbBus : public BusBackend {
public:
    explicit LibusbBus(LibusbBusOptions options);
    ~LibusbBus() override;
    LibusbBus(const LibusbBus&) = delete;
    LibusbBus& operator=(const LibusbBus&) = delete;

    void Start(HotplugListener* listener, ActivityCounter* activity) override;
    void Stop() override;

private:
    // Hotplug and polling both come down to these, in the order libusb saw them.
    struct Event {
        bool Arrived;
        libusb_device* Device;  // referenced while queued
    };

    static int LIBUSB_CALL HotplugCallback(libusb_context*, libusb_device* device, libusb_hotplug_event event,
                                           void* self);
    bool Wanted(libusb_device* device) const;
    void Queue(bool arrived, libusb_device* device);
    void Work();
    void Arrive(libusb_device* device);
    void Leave(libusb_device* device);
    libusb_device_handle* OpenWithRetry(libusb_device* device);
    void Poll();
    void PollOnce(std::set<libusb_device*>& present);

    const LibusbBusOptions options_;
    const std::shared_ptr<EventLoop> loop_;
    HotplugListener* listener_ = nullptr;
    ActivityCounter* activity_ = nullptr;
    libusb_hotplug_callback_handle hotplug_ = 0;
    bool hotplugRegistered_ = false;

    std::mutex lock_;
    std::condition_variable changed_;
    std::deque<Event> events_;
    uint64_t queued_ = 0;     // events ever queued
    uint64_t processed_ = 0;  // events the worker has finished
    std::set<libusb_device*> leaving_;  // a departure is queued: stop trying to open
    bool stopping_ = false;
    bool stopped_ = false;
    std::map<libusb_device*, std::shared_ptr<LibusbDevice>> devices_;  // reported to the listener
    std::thread worker_;
    std::thread poller_;
};

LibusbBus::LibusbBus(LibusbBusOptions options) : options_(std::move(options)), loop_(std::make_shared<EventLoop>())
{
    if (!loop_->Context())
        std::fprintf(stderr, "platform: USB is not available (libusb: %s); no USB devices will be found\n",
                     libusb_strerror(loop_->Error()));
}

LibusbBus::~LibusbBus() { Stop(); }

bool LibusbBus::Wanted(libusb_device* device) const
{
    libusb_device_descriptor d;
    if (libusb_get_device_descriptor(device, &d) != LIBUSB_SUCCESS)
        return false;
    return std::any_of(options_.Devices.begin(), options_.Devices.end(), [&](const HardwareId& id) {
        return id.VendorId == d.idVendor && id.ProductId == d.idProduct;
    });
}

void LibusbBus::Queue(bool arrived, libusb_device* device)
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (stopping_)
            return;
        if (activity_)
            activity_->Add();
        if (!arrived)
            leaving_.insert(device);
        events_.push_back({arrived, libusb_ref_device(device)});
        ++queued_;
    }
    changed_.notify_all();
}

int LIBUSB_CALL LibusbBus::HotplugCallback(libusb_context*, libusb_device* device, libusb_hotplug_event event,
                                           void* self)
{
    auto* bus = static_cast<LibusbBus*>(self);
    if (bus->Wanted(device))
        bus->Queue(event == LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED, device);
    return 0;  // stay registered
}

void LibusbBus::Start(HotplugListener* listener, ActivityCounter* activity)
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        listener_ = listener;
        activity_ = activity;
    }
    if (!loop_->Context())
        return;
    loop_->Start(activity);
    worker_ = std::thread([this] { Work(); });

    bool hotplug = options_.UseHotplug && libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG);
    if (hotplug) {
        // One vendor narrows what libusb reports; the products are checked in the callback.
        int vendor = LIBUSB_HOTPLUG_MATCH_ANY;
        if (!options_.Devices.empty() &&
            std::all_of(options_.Devices.begin(), options_.Devices.end(),
                        [&](const HardwareId& id) { return id.VendorId == options_.Devices[0].VendorId; }))
            vendor = options_.Devices[0].VendorId;
        // The devices already present are reported from inside the call.
        int error = libusb_hotplug_register_callback(
            loop_->Context(),
            libusb_hotplug_event(LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED | LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT),
            LIBUSB_HOTPLUG_ENUMERATE, vendor, LIBUSB_HOTPLUG_MATCH_ANY, LIBUSB_HOTPLUG_MATCH_ANY, HotplugCallback,
            this, &hotplug_);
        hotplugRegistered_ = error == LIBUSB_SUCCESS;
        if (!hotplugRegistered_) {
            std::fprintf(stderr, "platform: USB hotplug not available (libusb: %s); polling instead\n",
                         libusb_strerror(error));
            hotplug = false;
        }
    }
    if (!hotplug) {
        std::set<libusb_device*> present;
        PollOnce(present);
        poller_ = std::thread([this, present]() mutable {
            std::unique_lock<std::mutex> guard(lock_);
            while (!stopping_) {
                changed_.wait_for(guard, options_.PollInterval, [&] { return stopping_; });
                if (stopping_)
                    break;
                guard.unlock();
                PollOnce(present);
                guard.lock();
            }
            guard.unlock();
            for (libusb_device* device : present)
                libusb_unref_device(device);
        });
    }

    // Like the emulated bus, the devices present at start are reported before Start returns.
    std::unique_lock<std::mutex> guard(lock_);
    uint64_t initial = queued_;
    changed_.wait(guard, [&] { return processed_ >= initial || stopping_; });
}

void LibusbBus::PollOnce(std::set<libusb_device*>& present)
{
    libusb_device** list = nullptr;
    ssize_t count = libusb_get_device_list(loop_->Context(), &list);
    if (count < 0)
        return;
    std::set<libusb_device*> now;
    for (ssize_t i = 0; i < count; ++i)
        if (Wanted(list[i]))
            now.insert(list[i]);
    for (libusb_device* device : now)
        if (!present.count(device)) {
            present.insert(libusb_ref_device(device));
            Queue(true, device);
        }
    for (auto it = present.begin(); it != present.end();) {
        if (now.count(*it)) {
            ++it;
            continue;
        }
        Queue(false, *it);
        libusb_unref_device(*it);
        it = present.erase(it);
    }
    libusb_free_device_list(list, 1);
}

void LibusbBus::Work()
{
    std::unique_lock<std::mutex> guard(lock_);
    for (;;) {
        changed_.wait(guard, [&] { return stopping_ || !events_.empty(); });
        if (stopping_)
            break;
        Event event = events_.front();
        events_.pop_front();
        guard.unlock();
        if (event.Arrived)
            Arrive(event.Device);
        else
            Leave(event.Device);
        libusb_unref_device(event.Device);
        guard.lock();
        ++processed_;
        if (activity_)
            activity_->Done();
        changed_.notify_all();
    }
    // What is still queued is dropped: Stop reports every device as left anyway.
    for (Event& event : events_) {
        libusb_unref_device(event.Device);
        if (activity_)
            activity_->Done();
    }
    events_.clear();
}

libusb_device_handle* LibusbBus::OpenWithRetry(libusb_device* device)
{
    auto open = options_.Open ? options_.Open : [](libusb_device* d, libusb_device_handle** h) { return libusb_open(d, h); };
    auto deadline = std::chrono::steady_clock::now() + options_.OpenRetryTime;
    for (;;) {
        libusb_device_handle* handle = nullptr;
        int error = open(device, &handle);
        if (error == LIBUSB_SUCCESS)
            return handle;
        std::unique_lock<std::mutex> guard(lock_);
        // Refused while udev applies the rule's permissions: the open is tried again for a while.
        bool retry = error == LIBUSB_ERROR_ACCESS && std::chrono::steady_clock::now() < deadline;
        if (retry)
            changed_.wait_for(guard, options_.OpenRetryStep, [&] { return stopping_ || leaving_.count(device) > 0; });
        if (retry && !stopping_ && !leaving_.count(device))
            continue;
        if (!stopping_ && !leaving_.count(device))
            std::fprintf(stderr, "platform: USB device %s could not be opened (libusb: %s)%s\n",
                         InstanceIdOf(device).c_str(), libusb_strerror(error),
                         error == LIBUSB_ERROR_ACCESS ? "; is the Kovrin udev rule installed?" : "");
        return nullptr;
    }
}

void LibusbBus::Arrive(libusb_device* device)
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (devices_.count(device))
            return;
    }
    libusb_device_handle* handle = OpenWithRetry(device);
    if (!handle)
        return;
    libusb_device_descriptor d;
    libusb_get_device_descriptor(device, &d);
    std::vector<uint8_t> descriptor(sizeof d);
    std::memcpy(descriptor.data(), &d, sizeof d);
    auto backend = std::make_shared<LibusbDevice>(loop_, handle, InstanceIdOf(device), std::move(descriptor));
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (stopping_)
            return;  // the backend closes the handle
        devices_[libusb_ref_device(device)] = backend;
    }
    listener_->DeviceArrived(backend);
}

void LibusbBus::Leave(libusb_device* device)
{
    std::shared_ptr<LibusbDevice> backend;
    {
        std::lock_guard<std::mutex> guard(lock_);
        leaving_.erase(device);
        auto it = devices_.find(device);
        if (it == devices_.end())
            return;
        backend = it->second;
        devices_.erase(it);
    }
    libusb_unref_device(device);
    backend->MarkGone();
    // The bus driver holds the backend until it has forgotten the device; then the handle closes.
    listener_->DeviceLeft(backend);
}

void LibusbBus::Stop()
{
    std::map<libusb_device*, std::shared_ptr<LibusbDevice>> left;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (stopped_)
            return;
        stopped_ = true;
    }
    if (hotplugRegistered_)
        libusb_hotplug_deregister_callback(loop_->Context(), hotplug_);
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (poller_.joinable())
        poller_.join();
    if (worker_.joinable())
        worker_.join();
    {
        std::lock_guard<std::mutex> guard(lock_);
        left.swap(devices_);
    }
    for (auto& [device, backend] : left) {
        backend->MarkGone();
        listener_->DeviceLeft(backend);
        libusb_unref_device(device);
    }
    for (auto& [device, backend] : left)
        backend->CancelAndDrain();
    loop_->Stop();
}

}  // namespace

std::unique_ptr<BusBackend> MakeLibusbBus(LibusbBusOptions options)
{
    return std::make_unique<LibusbBus>(std::move(options));
}

}  // namespace kovrin::platform::usb
