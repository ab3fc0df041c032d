#include "emulators/usb/usb_emulators.h"

#include "driver/qelusb_public.h"
#include "emulators/usb/bus/device_registry.h"
#include "emulators/usb/knurl_emulator.h"
#include "emulators/usb/module_emulator.h"
#include "emulators/usb/module_seed.h"

namespace kovrin::emulator::usb {
namespace {

constexpr uint8_t kOldSoftware = 4;

}  // namespace

const std::vector<std::string>& UsbEmulatorNames()
{
    static const std::vector<std::string> names = {"kdu", "kdu-old", "rdu", "knurl"};
    return names;
}

MadeEmulator MakeUsbEmulator(std::string_view name, const std::string& seedFolder)
{
    if (name == "knurl") {
        if (!seedFolder.empty())
            return {nullptr, "knurl takes no seed folder"};
        return {std::make_shared<KnurlEmulator>(), {}};
    }
    ModuleOptions options;
    if (name == "rdu")
        options.ProductId = qelusb::ProductSecondModule;
    else if (name == "kdu-old")
        options.Revision[0] = kOldSoftware;
    else if (name != "kdu")
        return {nullptr, "no emulated USB device \"" + std::string(name) + "\" (kdu, kdu-old, rdu, knurl)"};
    auto module = std::make_shared<ModuleEmulator>(options);
    if (!seedFolder.empty()) {
        std::string error = module->WithFiles([&](ModuleFiles& files) { return SeedModuleFiles(seedFolder, files); });
        if (!error.empty())
            return {nullptr, std::string(name) + ": " + error};
    }
    return {module, {}};
}

MadeEmulator MakeUsbEmulatorFromText(std::string_view text)
{
    size_t colon = text.find(':');
    if (colon == std::string_view::npos)
        return MakeUsbEmulator(text);
    return MakeUsbEmulator(text.substr(0, colon), std::string(text.substr(colon + 1)));
}

void RegisterUsbEmulators()
{
    for (const std::string& name : UsbEmulatorNames())
        platform::usb::RegisterEmulatedDevice(name, [name](const std::string& argument, std::string& error) {
            MadeEmulator made = MakeUsbEmulator(name, argument);
            error = made.Error;
            return made.Device;
        });
}

}  // namespace kovrin::emulator::usb
