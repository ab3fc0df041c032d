// The driver's open names and control requests, on the emulated bus with the
// minimal module plugged in once per process. Input, repeated: an operation
// byte, then its arguments: open (a name below the interface path), a control
// request (handle, code, input and output lengths) or a close. At the end of
// each input every handle is closed again; nothing of the driver's pool may
// be left over and no call may have run at the wrong level.

#include <memory>

#include "driver/qelusb_public.h"
#include "emulators/usb/bus/emulated_machine.h"
#include "emulators/usb/bus/simple_device.h"
#include "platform/kernel/level.h"
#include "platform/kernel/pool.h"
#include "platform/user/user_io.h"
#include "tests/fuzz/fuzz_support.h"

using namespace kovrin::platform;
using namespace kovrin::qelusb;
using kovrin::fuzz::Input;

namespace {

const uint32_t kCodes[] = {IOCTL_QELUSB_GET_DEVICE_DESCRIPTOR, IOCTL_QELUSB_GET_CONFIG_DESCRIPTOR,
                           IOCTL_QELUSB_GET_INTERFACE_INFO, IOCTL_QELUSB_RESET_DEVICE, IOCTL_QELUSB_RESET_PIPE};

struct Bench {
    usb::SimpleDeviceConfig config;
    std::unique_ptr<EmulatedMachine> machine;
    std::string path;
    size_t poolBlocks = 0;

    Bench()
    {
        config.VendorId = UsbVendorId;
        config.ProductId = ProductProgrammingModule;
        config.Endpoints = {{0x01, 64}, {0x81, 64}};
        machine = std::make_unique<EmulatedMachine>();
        machine->Pnp().InstallDriver(kDriverName, DriverHardwareIds());
        machine->Emulated().Plug(std::make_shared<usb::SimpleDevice>(config));
        machine->WaitIdle();
        const auto paths = user::EnumerateInterfaces(QelUsbInterfaceGuid);
        FUZZ_CHECK(paths.size() == 1);
        path = paths[0];
        poolBlocks = OutstandingPoolBlocks();
        ClearViolations();
    }
};

struct Opened {
    user::Handle handle;
    bool pipe;
};

void Control(const Bench& bench, const Opened& opened, Input& in)
{
    const uint8_t which = in.Byte();
    const uint32_t code = which < std::size(kCodes) * 40 ? kCodes[which % std::size(kCodes)] : in.Long();
    const std::vector<uint8_t> input = in.ShortRun();
    const size_t outputLength = in.Word() % 600;
    // Exactly the room asked for, so that a copy past it is caught.
    auto output = std::make_unique<uint8_t[]>(outputLength ? outputLength : 1);
    size_t returned = 12345;
    const Status status = user::DeviceIoControl(opened.handle, code, input.empty() ? nullptr : input.data(),
                                                input.size(), outputLength ? output.get() : nullptr, outputLength,
                                                &returned);
    if (!IsSuccess(status))
        return;
    FUZZ_CHECK(returned <= outputLength);
    std::vector<uint8_t> expected;
    if (code == IOCTL_QELUSB_GET_DEVICE_DESCRIPTOR)
        expected = usb::DeviceDescriptorOf(bench.config);
    else if (code == IOCTL_QELUSB_GET_CONFIG_DESCRIPTOR)
        expected = usb::ConfigurationDescriptorOf(bench.config);
    else if (code == IOCTL_QELUSB_RESET_PIPE)
        FUZZ_CHECK(opened.pipe);
    else if (code != IOCTL_QELUSB_GET_INTERFACE_INFO && code != IOCTL_QELUSB_RESET_DEVICE)
        FUZZ_CHECK(false);  // an unknown request never succeeds
    if (!expected.empty()) {
        FUZZ_CHECK(returned == std::min(outputLength, expected.size()));
        FUZZ_CHECK(std::equal(output.get(), output.get() + returned, expected.begin()));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const Bench bench;
    Input in(data, size);
    std::vector<Opened> handles;
    while (!in.Empty()) {
        const uint8_t op = in.Byte();
        switch (op % 3) {
        case 0: {
            const std::string name = in.Text(in.Byte() % 40);
            user::Handle handle = user::kInvalidHandle;
            const Status status = user::Open(bench.path + name, &handle);
            if (!IsSuccess(status)) {
                FUZZ_CHECK(handle == user::kInvalidHandle);
                break;
            }
            // Only the interface itself and names below it open.
            FUZZ_CHECK(name.empty() || name[0] == '\\');
            handles.push_back({handle, !name.empty()});
            if (handles.size() > 16) {
                user::Close(handles.front().handle);
                handles.erase(handles.begin());
            }
            break;
        }
        case 1:
            if (!handles.empty())
                Control(bench, handles[in.Byte() % handles.size()], in);
            break;
        default:
            if (!handles.empty()) {
                const size_t at = in.Byte() % handles.size();
                user::Close(handles[at].handle);
                handles.erase(handles.begin() + long(at));
            }
            break;
        }
    }
    for (const Opened& opened : handles)
        user::Close(opened.handle);
    bench.machine->WaitIdle();
    FUZZ_CHECK(OutstandingPoolBlocks() == bench.poolBlocks);
    FUZZ_CHECK(Violations().empty());
    return 0;
}
