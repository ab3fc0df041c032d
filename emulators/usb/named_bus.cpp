// The emulated bus that the host asks the emulators' library for: the named
// devices, some of them on a schedule.

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "emulators/usb/bus/device_registry.h"
#include "emulators/usb/bus/emulated_bus.h"
#include "emulators/usb/usb_emulators.h"
#include "platform/usb/named_bus.h"

namespace kovrin::platform::usb {

namespace {

using ScheduleClock = std::chrono::steady_clock;

// A device that comes or goes at times after the start.
struct TimedDevice {
    std::shared_ptr<EmulatedDevice> Device;
    ScheduleClock::duration Arrival{};  // zero: present at the start
    std::optional<ScheduleClock::duration> Departure;
    int Port = 0;  // while it is plugged
};

// Plugs and unplugs the timed devices at their times after `start`, on a
// thread of its own. The devices' ports are its own until it is destroyed.
class DeviceSchedule {
public:
    DeviceSchedule(EmulatedBus& bus, std::vector<TimedDevice>& devices, ScheduleClock::time_point start)
        : bus_(bus), devices_(devices)
    {
        for (size_t i = 0; i < devices_.size(); ++i) {
            if (devices_[i].Arrival > ScheduleClock::duration::zero())
                steps_.push_back({start + devices_[i].Arrival, i, true});
            if (devices_[i].Departure)
                steps_.push_back({start + *devices_[i].Departure, i, false});
        }
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
    struct Step {
        ScheduleClock::time_point At;
        size_t Device;
        bool Arrives;
    };

    void Run()
    {
        for (const Step& step : steps_) {
            {
                std::unique_lock<std::mutex> guard(lock_);
                if (changed_.wait_until(guard, step.At, [this] { return stopping_; }))
                    return;
            }
            TimedDevice& timed = devices_[step.Device];
            if (step.Arrives) {
                timed.Port = bus_.Plug(timed.Device);
            } else if (timed.Port) {
                bus_.Unplug(timed.Port);
                timed.Port = 0;
            }
        }
    }

    EmulatedBus& bus_;
    std::vector<TimedDevice>& devices_;
    std::vector<Step> steps_;
    std::mutex lock_;
    std::condition_variable changed_;
    bool stopping_ = false;  // guarded by lock_
    std::thread thread_;
};

// Plugs the devices present at the start; returns those with a time.
std::vector<TimedDevice> PlugNamedDevices(EmulatedBus& bus, const std::string& list)
{
    std::vector<TimedDevice> timed;
    auto after = [](double seconds) {
        return std::chrono::duration_cast<ScheduleClock::duration>(std::chrono::duration<double>(seconds));
    };
    for (const EmulatedDeviceRequest& request : ParseEmulatedDeviceList(list)) {
        std::string error;
        std::shared_ptr<EmulatedDevice> device = MakeEmulatedDevice(request, error);
        if (!device) {
            std::fprintf(stderr, "QELUSB_EMULATED: %s; left out\n", error.c_str());
            continue;
        }
        const bool present = request.ArriveAfter <= 0;
        const int port = present ? bus.Plug(device) : 0;
        if (present && request.LeaveAfter < 0)
            continue;
        TimedDevice entry{device, present ? ScheduleClock::duration::zero() : after(request.ArriveAfter), {}, port};
        if (request.LeaveAfter >= 0)
            entry.Departure = after(request.LeaveAfter);
        timed.push_back(std::move(entry));
    }
    return timed;
}

// Plugs the devices present at the start before it starts (they are reported
// with the start); runs the schedule while it runs, from each user's start.
class NamedBus : public EmulatedBus {
public:
    explicit NamedBus(const std::string& devices) : timed_(PlugNamedDevices(*this, devices)) {}
    ~NamedBus() override { schedule_.reset(); }

    void Start(HotplugListener* listener, ActivityCounter* activity) override
    {
        EmulatedBus::Start(listener, activity);
        RunSchedule();
    }
    // At this start the timed devices are as at the first: those that arrive
    // later are gone until then, those present at the start are back.
    bool UserStartedAgain() override
    {
        if (timed_.empty())
            return false;
        schedule_.reset();
        for (TimedDevice& timed : timed_) {
            const bool present = timed.Arrival == ScheduleClock::duration::zero();
            if (!present && timed.Port) {
                Unplug(timed.Port);
                timed.Port = 0;
            } else if (present && !timed.Port) {
                timed.Port = Plug(timed.Device);
            }
        }
        RunSchedule();
        return true;
    }
    void Stop() override
    {
        schedule_.reset();  // before the devices leave
        EmulatedBus::Stop();
    }

private:
    void RunSchedule()
    {
        if (!timed_.empty())
            schedule_ = std::make_unique<DeviceSchedule>(*this, timed_, ScheduleClock::now());
    }

    std::vector<TimedDevice> timed_;
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
