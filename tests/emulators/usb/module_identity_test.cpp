// Each emulated device by its factory name: the ids the driver sees and,
// for the modules, the revision bytes.

#include "emulators/usb/usb_emulators.h"
#include "tests/emulators/usb/emulator_fixture.h"

namespace kovrin::emulator::usb::testing {
namespace {

struct Identity {
    const char* Name;
    uint16_t Product;
    int RevisionByte1;  // -1: not a module
};

void PrintTo(const Identity& identity, std::ostream* out) { *out << identity.Name; }

class IdentityTest : public EmulatorTest, public ::testing::WithParamInterface<Identity> {};

TEST_P(IdentityTest, IdsAndRevision)
{
    MadeEmulator made = MakeUsbEmulator(GetParam().Name);
    ASSERT_TRUE(made.Device) << made.Error;
    Plug(std::dynamic_pointer_cast<UsbEmulatorDevice>(made.Device));

    Handle device = kInvalidHandle;
    ASSERT_EQ(Open(path_, &device), Status::Success);
    uint8_t descriptor[18] = {};
    size_t returned = 0;
    ASSERT_EQ(DeviceIoControl(device, qelusb::IOCTL_QELUSB_GET_DEVICE_DESCRIPTOR, nullptr, 0, descriptor,
                              sizeof descriptor, &returned),
              Status::Success);
    Close(device);
    EXPECT_EQ(descriptor[8] | descriptor[9] << 8, qelusb::UsbVendorId);
    EXPECT_EQ(descriptor[10] | descriptor[11] << 8, GetParam().Product);

    if (GetParam().RevisionByte1 >= 0) {
        Bytes revision = Exchange({0x11});
        ASSERT_EQ(revision.size(), 7u);
        EXPECT_EQ(revision[0], 0);
        EXPECT_EQ(revision[1], GetParam().RevisionByte1);
    }
}

INSTANTIATE_TEST_SUITE_P(ByName, IdentityTest,
                         ::testing::Values(Identity{"kdu", 0x0200, 5}, Identity{"kdu-old", 0x0200, 4},
                                           Identity{"rdu", 0x0300, 5}, Identity{"knurl", 0x0100, -1}),
                         [](const auto& info) {
                             std::string name = info.param.Name;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

TEST(UsbEmulatorNames, UnknownNamesAndMisplacedSeedsAreRefused)
{
    EXPECT_EQ(UsbEmulatorNames(), (std::vector<std::string>{"kdu", "kdu-old", "rdu", "knurl"}));
    MadeEmulator unknown = MakeUsbEmulator("kdu2");
    EXPECT_FALSE(unknown.Device);
    EXPECT_EQ(unknown.Error, "no emulated USB device \"kdu2\" (kdu, kdu-old, rdu, knurl)");
    EXPECT_FALSE(MakeUsbEmulatorFromText("knurl:/tmp").Device);
    EXPECT_TRUE(MakeUsbEmulatorFromText("rdu").Device);
}

}  // namespace
}  // namespace kovrin::emulator::usb::testing
