// The family's emulated devices by name, as a program started with
// QELUSB_BUS=emulated and QELUSB_EMULATED finds them. Each case runs in a
// process of its own, since a process hosts one machine.

#include <cstdlib>
#include <string>

#include "tests/usblib/usblib_fixture.h"

namespace kovrin::usblib::testing {
namespace {

int found[4] = {};
UsbDevice lastFound = 0;
void Count(UsbDevice device, int32_t event, DeviceType type)
{
    if (event == USB_DEVICE_ARRIVED && type >= 1 && type <= 3) {
        ++found[type];
        lastFound = device;
    }
}

// Exits with the devices found, per type, as the decimal digits knurls, KDUs, RDUs.
void StartWith(const std::string& devices)
{
    setenv("QELUSB_EMULATED", devices.c_str(), 1);
    if (VoskUsb_Initialise(&Count) != 1)
        std::exit(100);
    std::exit(found[1] * 100 + found[2] * 10 + found[3]);
}

TEST(EmulatorRegistration, EveryNameIsADeviceOfItsType)
{
    EXPECT_EXIT(StartWith("kdu,kdu-old,rdu,knurl"), ::testing::ExitedWithCode(121), "");
}

// Exits with 3 when the seeded module lists the demo seed's third file.
void ListSeededModule()
{
    setenv("QELUSB_EMULATED", "kdu:" DEMO_SEED, 1);
    if (VoskUsb_Initialise(&Count) != 1 || found[2] != 1 || VoskUsb_OpenDevice(lastFound) != USB_RESULT_SUCCESS)
        std::exit(100);
    uint8_t status = 0xEE;
    KduFileInfo entry{};
    if (VoskUsb_PMEnumFile(lastFound, 2, &status, &entry) != USB_RESULT_SUCCESS || status != 0)
        std::exit(101);
    std::exit(std::string(entry.FileName) == "TyxTekraAuditData.bin" ? 3 : 102);
}

TEST(EmulatorRegistration, AModuleWithItsSeedFiles)
{
    EXPECT_EXIT(ListSeededModule(), ::testing::ExitedWithCode(3), "");
}

TEST(EmulatorRegistration, ABadSeedFolderIsLeftOutWithAMessage)
{
    EXPECT_EXIT(StartWith("kdu:/no/such/folder,knurl:seed,rdu"), ::testing::ExitedWithCode(1),
                "kdu: no seed folder /no/such/folder(.|\n)*knurl takes no seed folder");
}

}  // namespace
}  // namespace kovrin::usblib::testing
