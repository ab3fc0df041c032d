// Start: the driver loaded by name, descriptors read, the interface
// information block, the five control requests and their output lengths.

#include <cstring>

#include "tests/driver/driver_fixture.h"

namespace kovrin::qelusb::testing {
namespace {

TEST_F(DriverTest, DriverIsLoadedByNameWhenADeviceOfTheFamilyArrives)
{
    EXPECT_EQ(Pnp().DriverEntryCalls(kDriverName), 0);
    SimpleDeviceConfig stranger = MinimalModule();
    stranger.VendorId = 0x1234;
    int other = Plug(stranger);
    EXPECT_EQ(Pnp().DriverEntryCalls(kDriverName), 0);
    EXPECT_EQ(Pnp().StateOf(Emulated().NodeOfPort(other)), NodeState::NoDriver);

    int port = Plug();
    EXPECT_EQ(Pnp().DriverEntryCalls(kDriverName), 1);
    EXPECT_EQ(Pnp().StateOf(Emulated().NodeOfPort(port)), NodeState::Started);
    std::string path = OnlyInterface();
    EXPECT_NE(path.find(GuidText(QelUsbInterfaceGuid)), std::string::npos);
}

TEST_F(DriverTest, ControlCodesAreThePartsValues)
{
    EXPECT_EQ(IOCTL_QELUSB_GET_DEVICE_DESCRIPTOR, 0x220000u);
    EXPECT_EQ(IOCTL_QELUSB_GET_CONFIG_DESCRIPTOR, 0x220004u);
    EXPECT_EQ(IOCTL_QELUSB_GET_INTERFACE_INFO, 0x220008u);
    EXPECT_EQ(IOCTL_QELUSB_RESET_DEVICE, 0x22000Cu);
    EXPECT_EQ(IOCTL_QELUSB_RESET_PIPE, 0x220010u);
}

TEST_F(DriverTest, ConfigurationDescriptorOf600BytesIsReadInTwoRequests)
{
    SimpleDeviceConfig config = MinimalModule();
    config.ConfigurationLength = 600;
    int port = Plug(config);
    std::vector<ControlRecord> control = Bus().ControlRequests(port);
    ASSERT_EQ(control.size(), 4u);
    EXPECT_EQ(control[0].Value, 0x0100);  // device descriptor
    EXPECT_EQ(control[0].Length, 18);
    EXPECT_EQ(control[1].Value, 0x0200);  // configuration descriptor
    EXPECT_EQ(control[1].Length, 521);
    EXPECT_EQ(control[2].Value, 0x0200);
    EXPECT_EQ(control[2].Length, 600);
    EXPECT_EQ(control[3].Request, 0x09);  // set configuration
    EXPECT_EQ(control[3].Value, 1);

    Handle device = OpenOk(OnlyInterface());
    std::vector<uint8_t> buffer(1024);
    size_t returned = 0;
    EXPECT_EQ(DeviceIoControl(device, IOCTL_QELUSB_GET_CONFIG_DESCRIPTOR, nullptr, 0, buffer.data(), buffer.size(),
                              &returned),
              Status::Success);
    ASSERT_EQ(returned, 600u);
    buffer.resize(returned);
    EXPECT_EQ(buffer, device_->ConfigurationDescriptor());
    EXPECT_EQ(DeviceIoControl(device, IOCTL_QELUSB_GET_CONFIG_DESCRIPTOR, nullptr, 0, buffer.data(), 9, &returned),
              Status::Success);
    EXPECT_EQ(returned, 9u);
    Close(device);
}

TEST_F(DriverTest, ShortConfigurationDescriptorIsReadOnce)
{
    int port = Plug();
    std::vector<ControlRecord> control = Bus().ControlRequests(port);
    ASSERT_EQ(control.size(), 3u);
    EXPECT_EQ(control[1].Length, 521);
    EXPECT_EQ(control[2].Request, 0x09);
}

TEST_F(DriverTest, DeviceDescriptorOutputLengths)
{
    Plug();
    Handle device = OpenOk(OnlyInterface());
    std::vector<uint8_t> buffer(64);
    size_t returned = 0;
    EXPECT_EQ(DeviceIoControl(device, IOCTL_QELUSB_GET_DEVICE_DESCRIPTOR, nullptr, 0, buffer.data(), 8, &returned),
              Status::Success);
    EXPECT_EQ(returned, 8u);
    EXPECT_EQ(DeviceIoControl(device, IOCTL_QELUSB_GET_DEVICE_DESCRIPTOR, nullptr, 0, buffer.data(), 64, &returned),
              Status::Success);
    ASSERT_EQ(returned, 18u);
    EXPECT_EQ(Le16(&buffer[8]), UsbVendorId);
    EXPECT_EQ(Le16(&buffer[10]), ProductProgrammingModule);
    EXPECT_EQ(DeviceIoControl(device, IOCTL_QELUSB_GET_DEVICE_DESCRIPTOR, nullptr, 0, nullptr, 0, &returned),
              Status::InvalidParameter);
    EXPECT_EQ(DeviceIoControl(device, 0x220014, nullptr, 0, buffer.data(), 64, &returned), Status::InvalidParameter);
    Close(device);
}

// A descriptor's own length is not trusted beyond the bytes that were read.
class LongDeviceDescriptor : public SimpleDevice {
public:
    LongDeviceDescriptor() : SimpleDevice(MinimalModule()) {}
    std::vector<uint8_t> DeviceDescriptor() override
    {
        std::vector<uint8_t> d = SimpleDevice::DeviceDescriptor();
        d[0] = 64;
        return d;
    }
};

TEST_F(DriverTest, DescriptorCopyIsBoundedByTheBytesRead)
{
    Bus().Plug(std::make_shared<LongDeviceDescriptor>());
    machine_->WaitIdle();
    Handle device = OpenOk(OnlyInterface());
    std::vector<uint8_t> buffer(64);
    size_t returned = 0;
    EXPECT_EQ(DeviceIoControl(device, IOCTL_QELUSB_GET_DEVICE_DESCRIPTOR, nullptr, 0, buffer.data(), 64, &returned),
              Status::Success);
    EXPECT_EQ(returned, 18u);
    Close(device);
}

TEST_F(DriverTest, InterfaceInformationLayout)
{
    Plug();
    Handle device = OpenOk(OnlyInterface());
    std::vector<uint8_t> info(116);
    size_t returned = 0;
    ASSERT_EQ(DeviceIoControl(device, IOCTL_QELUSB_GET_INTERFACE_INFO, nullptr, 0, info.data(), info.size(), &returned),
              Status::Success);
    ASSERT_EQ(returned, 16u + 2 * 20u);
    EXPECT_EQ(Le16(&info[0]), 56);  // length of the whole block
    EXPECT_EQ(info[2], 0);          // interface number
    EXPECT_EQ(info[3], 0);          // alternate setting
    EXPECT_EQ(info[4], 0xFF);       // class
    EXPECT_NE(Le32(&info[8]), 0u);  // interface handle
    EXPECT_EQ(Le32(&info[12]), 2u); // pipe count
    const uint8_t expected[2] = {kOut, kIn};
    for (int i = 0; i < 2; ++i) {
        const uint8_t* pipe = &info[16 + 20 * i];
        EXPECT_EQ(Le16(pipe + 0), 64);                  // maximum packet size
        EXPECT_EQ(pipe[2], expected[i]);                // endpoint address
        EXPECT_EQ(Le32(pipe + 4), uint32_t(UsbPipeBulk));  // pipe type
        EXPECT_NE(Le32(pipe + 8), 0u);                  // pipe handle
        EXPECT_EQ(Le32(pipe + 12), 4096u);              // maximum transfer size
    }
    EXPECT_EQ(DeviceIoControl(device, IOCTL_QELUSB_GET_INTERFACE_INFO, nullptr, 0, info.data(), 10, &returned),
              Status::Success);
    EXPECT_EQ(returned, 10u);
    Close(device);
}

TEST_F(DriverTest, ResetPipeOnDeviceAndPipeHandles)
{
    int port = Plug();
    std::string path = OnlyInterface();
    Handle device = OpenOk(path);
    Handle in = OpenOk(path + "\\1");
    size_t returned = 0;
    EXPECT_EQ(DeviceIoControl(device, IOCTL_QELUSB_RESET_PIPE, nullptr, 0, nullptr, 0, &returned),
              Status::InvalidParameter);
    EXPECT_EQ(DeviceIoControl(in, IOCTL_QELUSB_RESET_PIPE, nullptr, 0, nullptr, 0, &returned), Status::Success);
    EXPECT_EQ(Bus().ClearHaltCount(port, kIn), 1);
    // A failed reset is reported.
    Bus().FailClearHalt(port, true);
    EXPECT_EQ(DeviceIoControl(in, IOCTL_QELUSB_RESET_PIPE, nullptr, 0, nullptr, 0, &returned), Status::Unsuccessful);
    Close(in);
    Close(device);
}

TEST_F(DriverTest, ResetDeviceResetsOnlyAConnectedPortThatIsNotEnabled)
{
    int port = Plug();
    Handle device = OpenOk(OnlyInterface());
    size_t returned = 0;
    EXPECT_EQ(DeviceIoControl(device, IOCTL_QELUSB_RESET_DEVICE, nullptr, 0, nullptr, 0, &returned), Status::Success);
    EXPECT_EQ(Bus().PortResetCount(port), 0);
    Bus().DisablePort(port);
    EXPECT_EQ(DeviceIoControl(device, IOCTL_QELUSB_RESET_DEVICE, nullptr, 0, nullptr, 0, &returned), Status::Success);
    EXPECT_EQ(Bus().PortResetCount(port), 1);
    // The port reset's own failure is what the caller gets.
    Bus().DisablePort(port);
    Bus().FailPortReset(port, true);
    EXPECT_EQ(DeviceIoControl(device, IOCTL_QELUSB_RESET_DEVICE, nullptr, 0, nullptr, 0, &returned),
              Status::Unsuccessful);
    Close(device);
}

// Configuration descriptors that must fail the start.
class BadConfiguration : public SimpleDevice {
public:
    explicit BadConfiguration(size_t keep, uint16_t claimedTotal) : SimpleDevice(MinimalModule()), keep_(keep), total_(claimedTotal) {}
    std::vector<uint8_t> ConfigurationDescriptor() override
    {
        std::vector<uint8_t> d = SimpleDevice::ConfigurationDescriptor();
        if (total_) {
            d[2] = uint8_t(total_);
            d[3] = uint8_t(total_ >> 8);
        }
        d.resize(std::min(d.size(), keep_));
        return d;
    }

private:
    size_t keep_;
    uint16_t total_;
};

TEST_F(DriverTest, ConfigurationReadShorterThanItsHeadFailsTheStart)
{
    int port = Bus().Plug(std::make_shared<BadConfiguration>(5, 0));
    machine_->WaitIdle();
    DeviceNode* node = Emulated().NodeOfPort(port);
    EXPECT_EQ(Pnp().StartStatusOf(node), Status::DeviceDataError);
    EXPECT_EQ(Pnp().StateOf(node), NodeState::Removed);
    EXPECT_TRUE(EnumerateInterfaces(QelUsbInterfaceGuid).empty());
}

TEST_F(DriverTest, ConfigurationReadShorterThanItsTotalLengthFailsTheStart)
{
    int port = Bus().Plug(std::make_shared<BadConfiguration>(300, 600));
    machine_->WaitIdle();
    EXPECT_EQ(Pnp().StartStatusOf(Emulated().NodeOfPort(port)), Status::DeviceDataError);
    std::vector<ControlRecord> control = Bus().ControlRequests(port);
    ASSERT_EQ(control.size(), 3u);
    EXPECT_EQ(control[2].Length, 600);
}

TEST_F(DriverTest, InterfaceLinkNameIsKeptAtItsRealLength)
{
    // The link name "\\?\usb#<instance>#<38-character GUID>" has 47 characters besides the instance.
    SimpleDeviceConfig fits = MinimalModule();
    fits.InstanceId = std::string(255 - 47, 'a');
    int port = Plug(fits);
    DeviceNode* node = Emulated().NodeOfPort(port);
    std::string path = OnlyInterface();
    EXPECT_EQ(path.size(), 255u);
    Handle device = OpenOk(path);
    Close(device);
    Bus().Unplug(port);
    machine_->WaitIdle();
    // Removal disabled the interface by the stored name (an unknown name is a violation).
    EXPECT_EQ(Pnp().StateOf(node), NodeState::Gone);
}

TEST_F(DriverTest, InterfaceLinkNameTooLongForTheExtensionIsRefused)
{
    SimpleDeviceConfig tooLong = MinimalModule();
    tooLong.InstanceId = std::string(256 - 47, 'b');
    int port = Plug(tooLong);
    EXPECT_EQ(Pnp().StateOf(Emulated().NodeOfPort(port)), NodeState::NoDriver);
    EXPECT_TRUE(EnumerateInterfaces(QelUsbInterfaceGuid).empty());
}

}  // namespace
}  // namespace kovrin::qelusb::testing
