#include "emulators/usb/bus/device_registry.h"

#include <map>
#include <mutex>

namespace kovrin::platform::usb {

namespace {

// Never destroyed, like the lock: a library that registered may take its
// names out while the process exits.
std::mutex& RegistryLock()
{
    static std::mutex* lock = new std::mutex;
    return *lock;
}

std::map<std::string, EmulatedDeviceFactory>& Registry()
{
    static auto* factories = new std::map<std::string, EmulatedDeviceFactory>;
    return *factories;
}

std::string Trimmed(const std::string& text)
{
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

// Seconds as "12", "0.5" or "1.25": digits with at most one decimal point.
bool ParseSeconds(const std::string& text, double& seconds)
{
    if (text.empty() || text == "." || text.find_first_not_of("0123456789.") != std::string::npos ||
        text.find('.') != text.rfind('.'))
        return false;
    // By hand: the process's locale may not write decimals with a point.
    double value = 0, scale = 1;
    bool fraction = false;
    for (char c : text) {
        if (c == '.')
            fraction = true;
        else if (fraction)
            value += (c - '0') * (scale /= 10);
        else
            value = value * 10 + (c - '0');
    }
    seconds = value;
    return true;
}

// "A" or "A-B" after the item's last '@'.
bool ParseSchedule(const std::string& text, EmulatedDeviceRequest& request)
{
    size_t dash = text.find('-');
    double arrive = 0, leave = -1;
    if (!ParseSeconds(Trimmed(text.substr(0, dash)), arrive))
        return false;
    if (dash != std::string::npos && (!ParseSeconds(Trimmed(text.substr(dash + 1)), leave) || leave <= arrive))
        return false;
    request.ArriveAfter = arrive;
    request.LeaveAfter = leave;
    return true;
}

}  // namespace

void RegisterEmulatedDevice(const std::string& name, EmulatedDeviceFactory factory)
{
    std::lock_guard<std::mutex> guard(RegistryLock());
    Registry()[name] = std::move(factory);
}

void UnregisterEmulatedDevice(const std::string& name)
{
    std::lock_guard<std::mutex> guard(RegistryLock());
    Registry().erase(name);
}

std::vector<EmulatedDeviceRequest> ParseEmulatedDeviceList(const std::string& list)
{
    std::vector<EmulatedDeviceRequest> requests;
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(',', start);
        if (comma == std::string::npos)
            comma = list.size();
        std::string item = Trimmed(list.substr(start, comma - start));
        start = comma + 1;
        if (item.empty())
            continue;
        EmulatedDeviceRequest request;
        size_t at = item.rfind('@');
        if (at != std::string::npos && ParseSchedule(item.substr(at + 1), request))
            item = Trimmed(item.substr(0, at));
        // Only the first colon separates: an argument may be a path with colons.
        size_t colon = item.find(':');
        if (colon == std::string::npos) {
            request.Name = item;
        } else {
            request.Name = Trimmed(item.substr(0, colon));
            request.Argument = Trimmed(item.substr(colon + 1));
        }
        requests.push_back(std::move(request));
    }
    return requests;
}

std::shared_ptr<EmulatedDevice> MakeEmulatedDevice(const EmulatedDeviceRequest& request, std::string& error)
{
    EmulatedDeviceFactory factory;
    {
        std::lock_guard<std::mutex> guard(RegistryLock());
        auto it = Registry().find(request.Name);
        if (it != Registry().end())
            factory = it->second;
    }
    if (!factory) {
        error = "no emulated device is called \"" + request.Name + "\"";
        return nullptr;
    }
    std::shared_ptr<EmulatedDevice> device = factory(request.Argument, error);
    if (!device && error.empty())
        error = "the emulated device \"" + request.Name + "\" refused \"" + request.Argument + "\"";
    return device;
}

}  // namespace kovrin::platform::usb
