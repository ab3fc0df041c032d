#include "app/module/qel_usb_client.h"

#include <QLibrary>
#include <QSocketNotifier>

#include <memory>

#include "app/settings/program_folder.h"

namespace kovrin {

namespace {

QLibrary& Library()
{
    static QLibrary library;
    return library;
}

QFunctionPointer Export(const char* name)
{
    QLibrary& lib = Library();
    if (!lib.isLoaded()) {
        lib.setFileName(ProgramFolder() + "/libqel_usb.so");
        if (!lib.load())
            return nullptr;
    }
    return lib.resolve(name);
}

// A device export by name; while the library or the export is missing it answers "not initialised".
template <class... Args>
std::function<UsbResult(UsbDevice, Args...)> DeviceExport(const char* name)
{
    return [name](UsbDevice device, Args... args) -> UsbResult {
        using Fn = UsbResult (*)(UsbDevice, Args...);
        const auto fn = reinterpret_cast<Fn>(Export(name));
        return fn ? fn(device, args...) : USB_RESULT_NOT_INITIALISED;
    };
}

std::function<void(UsbDevice, int32_t, int32_t)>& Listener()
{
    static std::function<void(UsbDevice, int32_t, int32_t)> listener;
    return listener;
}

int32_t CallPlain(const char* name, int32_t missing)
{
    using Fn = int32_t (*)();
    const auto fn = reinterpret_cast<Fn>(Export(name));
    return fn ? fn() : missing;
}

// Watches the library's notification descriptor while the library runs.
std::unique_ptr<QSocketNotifier>& Notices()
{
    static std::unique_ptr<QSocketNotifier> notices;
    return notices;
}

}  // namespace

int32_t VoskUsb_Initialise(DeviceChangeCallbackFn callback)
{
    using Fn = int32_t (*)(DeviceChangeCallbackFn);
    const auto fn = reinterpret_cast<Fn>(Export("VoskUsb_Initialise"));
    if (!fn)
        return 0;
    int32_t started = fn(callback);
    // A callback during the start may have stopped the library again.
    int32_t descriptor = CallPlain("VoskUsb_NotificationDescriptor", -1);
    if (descriptor >= 0 && !Notices()) {
        Notices() = std::make_unique<QSocketNotifier>(descriptor, QSocketNotifier::Read);
        QObject::connect(Notices().get(), &QSocketNotifier::activated, [] { VoskUsb_DispatchNotifications(); });
    }
    return started;
}

int32_t VoskUsb_Remove()
{
    // Deleted later: the stop may come from a callback that the notifier's own signal runs.
    if (Notices())
        Notices().release()->deleteLater();
    return CallPlain("VoskUsb_Remove", 1);
}

int32_t VoskUsb_DispatchNotifications() { return CallPlain("VoskUsb_DispatchNotifications", -1); }

const ModuleExports& QelUsbExports()
{
    static const ModuleExports exports{
        DeviceExport<>("VoskUsb_OpenDevice"),
        DeviceExport<>("VoskUsb_CloseDevice"),
        DeviceExport<uint8_t*>("VoskUsb_PMGetFWRev"),
        DeviceExport<uint32_t, uint8_t*, KduFileInfo*>("VoskUsb_PMEnumFile"),
        DeviceExport<uint8_t*, uint32_t>("VoskUsb_PMOpenFileForRead"),
        DeviceExport<uint8_t*, uint8_t*, uint16_t*>("VoskUsb_PMReadFile"),
        DeviceExport<uint8_t*, const KduFileInfo*>("VoskUsb_PMCreateFile"),
        DeviceExport<uint8_t*, const uint8_t*, uint32_t>("VoskUsb_PMWriteFile"),
        DeviceExport<uint8_t*>("VoskUsb_PMCloseFile"),
        DeviceExport<uint8_t*, uint32_t>("VoskUsb_PMDeleteFile"),
    };
    return exports;
}

void DeviceChangeCallback(UsbDevice device, int32_t event, int32_t deviceType)
{
    // A copy: the listener may replace itself while it runs.
    if (auto listener = Listener())
        listener(device, event, deviceType);
}

void SetDeviceChangeListener(std::function<void(UsbDevice, int32_t, int32_t)> listener)
{
    Listener() = std::move(listener);
}

}  // namespace kovrin
