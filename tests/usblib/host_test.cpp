// How the environment selects the bus and the emulated devices. Each case
// runs in a process of its own, since a process hosts one machine.

#include <cstdio>
#include <cstdlib>

#include "emulators/usb/bus/device_registry.h"
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

TEST(EmulatedDeviceList, NamesArgumentsAndSchedules)
{
    struct Item {
        std::string name, argument;
        double arrive = 0, leave = -1;
        bool operator==(const Item&) const = default;
    };
    struct Case {
        const char* text;
        std::vector<Item> expected;
    };
    const std::vector<Case> cases = {
        {"", {}},
        {" , ,", {}},
        {"kdu", {{"kdu", ""}}},
        {"kdu:/seed/a,knurl", {{"kdu", "/seed/a"}, {"knurl", ""}}},
        {" rdu : x:y ", {{"rdu", "x:y"}}},
        {"kdu-old:", {{"kdu-old", ""}}},
        {"kdu@2", {{"kdu", "", 2}}},
        {"kdu:emulators/usb/demo-seed@1-20", {{"kdu", "emulators/usb/demo-seed", 1, 20}}},
        {"knurl@0.5-1.25,kdu", {{"knurl", "", 0.5, 1.25}, {"kdu", ""}}},
        // Not a schedule: the text stays the argument.
        {"kdu:/seed/me@home", {{"kdu", "/seed/me@home"}}},
        {"kdu:/a@b@3", {{"kdu", "/a@b", 3}}},
        {"kdu@5-2", {{"kdu@5-2", ""}}},
        {"kdu@1.2.3", {{"kdu@1.2.3", ""}}},
    };
    for (const Case& c : cases) {
        std::vector<Item> got;
        for (const EmulatedDeviceRequest& request : ParseEmulatedDeviceList(c.text))
            got.push_back({request.Name, request.Argument, request.ArriveAfter, request.LeaveAfter});
        EXPECT_TRUE(got == c.expected) << c.text;
    }
}

}  // namespace
}  // namespace kovrin::usblib::testing
