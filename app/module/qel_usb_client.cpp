#include "app/module/qel_usb_client.h"

#include <QLibrary>

#include "app/main/program_folder.h"

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

}  // namespace

int32_t VoskUsb_Initialise(DeviceChangeCallbackFn callback)
{
    using Fn = int32_t (*)(DeviceChangeCallbackFn);
    const auto fn = reinterpret_cast<Fn>(Export("VoskUsb_Initialise"));
    return fn ? fn(callback) : 0;
}

int32_t VoskUsb_Remove()
{
    using Fn = int32_t (*)();
    const auto fn = reinterpret_cast<Fn>(Export("VoskUsb_Remove"));
    return fn ? fn() : 1;
}

void DeviceChangeCallback(UsbDevice, int32_t, int32_t)
{
    // The module list comes with the programming-module client.
}

}  // namespace kovrin
