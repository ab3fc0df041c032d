#include "platform/usb/emulated/device_registry.h"

#include <map>
#include <mutex>

namespace kovrin::platform::usb {

namespace {

std::mutex registryLock;

std::map<std::string, EmulatedDeviceFactory>& Registry()
{
    static std::map<std::string, EmulatedDeviceFactory> factories;
    return factories;
}

std::string Trimmed(const std::string& text)
{
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

}  // namespace

void RegisterEmulatedDevice(const std::string& name, EmulatedDeviceFactory factory)
{
    std::lock_guard<std::mutex> guard(registryLock);
    Registry()[name] = std::move(factory);
}

void UnregisterEmulatedDevice(const std::string& name)
{
    std::lock_guard<std::mutex> guard(registryLock);
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
        // Only the first colon separates: an argument may be a path with colons.
        size_t colon = item.find(':');
        if (colon == std::string::npos)
            requests.push_back({item, {}});
        else
            requests.push_back({Trimmed(item.substr(0, colon)), Trimmed(item.substr(colon + 1))});
    }
    return requests;
}

std::shared_ptr<EmulatedDevice> MakeEmulatedDevice(const EmulatedDeviceRequest& request, std::string& error)
{
    EmulatedDeviceFactory factory;
    {
        std::lock_guard<std::mutex> guard(registryLock);
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
