// How the environment selects the bus and the emulated devices. Each case
// runs in a process of its own, since a process hosts one machine.

#include <cstdio>
#include <cstdlib>

#include "platform/usb/emulated/device_registry.h"
#include "tests/usblib/usblib_fixture.h"

namespace kovrin::usblib::testing {
namespace {

int reported = 0;
void Count(UsbDevice, int32_t event, DeviceType type)
{
    if (event == USB_DEVICE_ARRIVED && type == USB_DEVICE_KDU)
        ++reported;
}

// Exits with the number of modules reported by a start in this environment,
// or 100 when the start fails; `bus` null leaves QELUSB_BUS unset.
void StartIn(const char* bus, const char* devices)
{
    RegisterEmulatedDevice("test-module", [](const std::string& argument, std::string& error) {
        if (argument == "refuse") {
            error = "test-module refuses";
            return std::shared_ptr<EmulatedDevice>();
        }
        return std::shared_ptr<EmulatedDevice>(std::make_shared<SimpleDevice>(Kdu()));
    });
    if (bus)
        setenv("QELUSB_BUS", bus, 1);
    else
        unsetenv("QELUSB_BUS");
    setenv("QELUSB_EMULATED", devices, 1);
    if (VoskUsb_Initialise(&Count) != 1)
        std::exit(100);
    std::exit(reported);
}

TEST(HostTest, TheNamedEmulatedDevicesArePluggedAtTheStart)
{
    EXPECT_EXIT(StartIn("emulated", "test-module, test-module:seed"), ::testing::ExitedWithCode(2), "");
}

TEST(HostTest, AnUnknownOrRefusedDeviceIsLeftOutWithAMessage)
{
    EXPECT_EXIT(StartIn("emulated", "no-such-device,test-module,test-module:refuse"), ::testing::ExitedWithCode(1),
                "no emulated device is called \"no-such-device\"(.|\n)*test-module refuses");
}

TEST(HostTest, WithoutABusNamedTheRealBusHasNoDevicesYet)
{
    EXPECT_EXIT(StartIn(nullptr, "test-module"), ::testing::ExitedWithCode(0), "");
}

TEST(HostTest, AnUnknownBusFailsTheStartWithAMessage)
{
    EXPECT_EXIT(StartIn("serial", ""), ::testing::ExitedWithCode(100), "QELUSB_BUS=serial: unknown bus");
}

TEST(EmulatedDeviceList, NamesAndArguments)
{
    struct Case {
        const char* text;
        std::vector<std::pair<std::string, std::string>> expected;
    };
    const std::vector<Case> cases = {
        {"", {}},
        {" , ,", {}},
        {"kdu", {{"kdu", ""}}},
        {"kdu:/seed/a,knurl", {{"kdu", "/seed/a"}, {"knurl", ""}}},
        {" rdu : x:y ", {{"rdu", "x:y"}}},
        {"kdu-old:", {{"kdu-old", ""}}},
    };
    for (const Case& c : cases) {
        std::vector<std::pair<std::string, std::string>> got;
        for (const EmulatedDeviceRequest& request : ParseEmulatedDeviceList(c.text))
            got.emplace_back(request.Name, request.Argument);
        EXPECT_EQ(got, c.expected) << c.text;
    }
}

}  // namespace
}  // namespace kovrin::usblib::testing
