// The emulated bus that the host asks the emulators' library for: the named
// devices, some of them on a schedule.

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>

#include "emulators/usb/bus/device_registry.h"
#include "emulators/usb/bus/emulated_bus.h"
#include "emulators/usb/usb_emulators.h"
#include "platform/usb/named_bus.h"

namespace kovrin::platform::usb {

namespace {

using Clock = std::chrono::steady_clock;

// Plugs and unplugs the emulated devices that carry a schedule, at their
// times, on a thread of its own.
class DeviceSchedule {
public:
    struct Step {
        Clock::time_point At;
        std::shared_ptr<EmulatedDevice> Device;
        bool Arrives;
    };

    DeviceSchedule(EmulatedBus& bus, std::vector<Step> steps) : bus_(bus), steps_(std::move(steps))
    {
        std::stable_sort(steps_.begin(), steps_.end(), [](const Step& a, const Step& b) { return a.At < b.At; });
        thread_ = std::thread([this] { Run(); });
    }
    ~DeviceSchedule()
    {
        {
            std::lock_guard<std::mutex> guard(lock_);
            stopping_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }

private:
    void Run()
    {
        std::vector<std::pair<EmulatedDevice*, int>> ports;
        for (const Step& step : steps_) {
            {
                std::unique_lock<std::mutex> guard(lock_);
                if (changed_.wait_until(guard, step.At, [this] { return stopping_; }))
                    return;
            }
            if (step.Arrives) {
                ports.emplace_back(step.Device.get(), bus_.Plug(step.Device));
                continue;
            }
            for (auto& [device, port] : ports)
                if (device == step.Device.get())
                    bus_.Unplug(port);
        }
    }

    EmulatedBus& bus_;
    std::vector<Step> steps_;
    std::mutex lock_;
    std::condition_variable changed_;
    bool stopping_ = false;  // guarded by lock_
    std::thread thread_;
};

// Plugs the devices present at the start; returns the steps of the others.
std::vector<DeviceSchedule::Step> PlugNamedDevices(EmulatedBus& bus, const std::string& list,
                                                   Clock::time_point start)
{
    std::vector<DeviceSchedule::Step> steps;
    auto after = [start](double seconds) {
        return start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    };
    for (const EmulatedDeviceRequest& request : ParseEmulatedDeviceList(list)) {
        std::string error;
        std::shared_ptr<EmulatedDevice> device = MakeEmulatedDevice(request, error);
        if (!device) {
            std::fprintf(stderr, "QELUSB_EMULATED: %s; left out\n", error.c_str());
            continue;
        }
        if (request.ArriveAfter > 0)
            steps.push_back({after(request.ArriveAfter), device, true});
        else
            bus.Plug(device);
        if (request.LeaveAfter >= 0)
            steps.push_back({after(request.LeaveAfter), device, false});
    }
    return steps;
}


// Plugs the devices present at the start before it starts (they are reported
// with the start); runs the schedule while it runs.
class NamedBus : public EmulatedBus {
public:
    explicit NamedBus(const std::string& devices) : steps_(PlugNamedDevices(*this, devices, std::chrono::steady_clock::now())) {}
    ~NamedBus() override { schedule_.reset(); }

    void Start(HotplugListener* listener, ActivityCounter* activity) override
    {
        EmulatedBus::Start(listener, activity);
        if (!steps_.empty())
            schedule_ = std::make_unique<DeviceSchedule>(*this, std::move(steps_));
    }
    void Stop() override
    {
        schedule_.reset();  // before the devices leave
        EmulatedBus::Stop();
    }

private:
    std::vector<DeviceSchedule::Step> steps_;
    std::unique_ptr<DeviceSchedule> schedule_;
};

}  // namespace

}  // namespace kovrin::platform::usb

extern "C" __attribute__((visibility("default"))) kovrin::platform::usb::BusBackend* KovrinMakeNamedEmulatedBus(
    const char* devices)
{
    // The family's devices by name (kdu, kdu-old, rdu, knurl), beside any a test registered.
    static std::once_flag registered;
    std::call_once(registered, kovrin::emulator::usb::RegisterUsbEmulators);
    return new kovrin::platform::usb::NamedBus(devices ? devices : "");
}
