// The libusb backend under QelUsb, with the real libusb talking usbdevfs to
// emulated devices that umockdev presents: devices present at start, hotplug
// (and polling) arrivals and removals, exchanges, a stall, a cancel, an unplug
// mid-transfer, refused opens, and stopping with a read in flight.

#include <libusb.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "emulators/usb/knurl_emulator.h"
#include "emulators/usb/module_emulator.h"
#include "platform/usb/libusb/libusb_bus.h"
#include "tests/driver/driver_fixture.h"
#include "tests/platform/usb/libusb/usbfs_bus.h"

namespace kovrin::qelusb::testing {
namespace {

using kovrin::testing::UsbfsBus;

// Bounds every wait for something libusb or udev does on their own threads.
constexpr auto kPatience = std::chrono::seconds(20);

template <typename Predicate>
bool WaitUntil(Predicate done)
{
    auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

class LibusbBusTest : public DriverTest {
protected:
    void SetUp() override
    {
        ClearViolations();
        pool_faults::Reset();
        usbfs_ = std::make_unique<UsbfsBus>();
    }

    void TearDown() override
    {
        if (notices_ && machine_)
            UnregisterInterfaceNotification(notices_);
        DriverTest::TearDown();
        usbfs_.reset();
    }

    static LibusbBusOptions Options()
    {
        LibusbBusOptions options;
        options.Devices = DriverHardwareIds();
        options.PollInterval = std::chrono::milliseconds(20);
        return options;
    }

    // A machine on the libusb bus, with QelUsb installed before the bus reports any device.
    void Start(LibusbBusOptions options = Options())
    {
        machine_ = std::make_unique<Machine>(MakeLibusbBus(std::move(options)), [](Machine& machine) {
            machine.Pnp().InstallDriver(kDriverName, DriverHardwareIds());
        });
        notices_ = RegisterInterfaceNotification(QelUsbInterfaceGuid, [this](InterfaceEvent event, const std::string&) {
            std::lock_guard<std::mutex> guard(lock_);
            ++(event == InterfaceEvent::Arrival ? arrivals_ : removals_);
            changed_.notify_all();
        });
        machine_->WaitIdle();
    }

    int PlugModule(bool configured = true)
    {
        device_ = std::make_shared<SimpleDevice>(MinimalModule());
        return usbfs_->Plug(device_, configured);
    }

    // Until `count` interface notices of the kind have come, and their device has settled.
    bool WaitForNotices(InterfaceEvent event, int count = 1)
    {
        std::unique_lock<std::mutex> guard(lock_);
        bool came = changed_.wait_for(guard, kPatience, [&] {
            return (event == InterfaceEvent::Arrival ? arrivals_ : removals_) >= count;
        });
        guard.unlock();
        machine_->WaitIdle();
        return came;
    }

    // The module present at start, its pipes open.
    int StartWithOpenModule()
    {
        int port = PlugModule();
        Start();
        OpenPipes();
        return port;
    }

    void OpenPipes()
    {
        std::string path = OnlyInterface();
        out_ = OpenOk(path + "\\0");
        in_ = OpenOk(path + "\\1");
    }

    void ClosePipes()
    {
        Close(in_);
        Close(out_);
        in_ = out_ = kInvalidHandle;
    }

    // A read that the device has been asked for and not answered.
    void StartPendingRead(int port, std::vector<uint8_t>& buffer, Overlapped& read)
    {
        ASSERT_EQ(Read(in_, buffer.data(), buffer.size(), read), Status::Pending);
        ASSERT_TRUE(WaitUntil([&] { return usbfs_->PendingUrbs(port) == 1; }));
    }

    std::unique_ptr<UsbfsBus> usbfs_;
    int notices_ = 0;
    std::mutex lock_;
    std::condition_variable changed_;
    int arrivals_ = 0;
    int removals_ = 0;
    Handle out_ = kInvalidHandle;
    Handle in_ = kInvalidHandle;
};

// ---- present at start, configured by the kernel already or not

class PresentAtStartTest : public LibusbBusTest, public ::testing::WithParamInterface<bool> {};

TEST_P(PresentAtStartTest, IsReportedByStartConfiguredOnlyWhenNeededAndClaimed)
{
    const bool configured = GetParam();
    int port = PlugModule(configured);
    Start();
    OpenPipes();
    EXPECT_EQ(usbfs_->SetConfigurationCount(port), configured ? 0 : 1);
    EXPECT_TRUE(usbfs_->InterfaceClaimed(port));
    std::vector<uint8_t> data = Bytes(100);
    EXPECT_EQ(Exchange(out_, in_, data), data);
    ClosePipes();
}

INSTANTIATE_TEST_SUITE_P(Configured, PresentAtStartTest, ::testing::Bool());

// ---- exchanges

TEST_F(LibusbBusTest, RepliesOfEverySizeArriveWhole)
{
    StartWithOpenModule();
    // Status only, short, one short of a packet, a whole packet (ends with a
    // zero-length packet), more than a packet, a file piece.
    for (size_t size : {0, 1, 63, 64, 65, 255}) {
        std::vector<uint8_t> reply = Bytes(size, uint8_t(size));
        device_->QueueReply(reply);
        EXPECT_EQ(Exchange(out_, in_, {0x40, uint8_t(size)}), reply) << size << " bytes";
    }
    // The most one transfer carries, both ways (the echo).
    std::vector<uint8_t> longest = Bytes(4096, 3);
    EXPECT_EQ(Exchange(out_, in_, longest), longest);
    ASSERT_FALSE(device_->Received().empty());
    EXPECT_EQ(device_->Received().back(), longest);
    ClosePipes();
}

// The family's emulated devices behind the real libusb, as behind the emulated bus.
TEST_F(LibusbBusTest, TheEmulatedModuleAnswersItsCommands)
{
    usbfs_->Plug(std::make_shared<emulator::usb::ModuleEmulator>());
    Start();
    OpenPipes();
    EXPECT_EQ(Exchange(out_, in_, {0x11}), (std::vector<uint8_t>{0, 5, 2, 0, 1, 0, 0}));
    EXPECT_EQ(Exchange(out_, in_, {0x3A, 0x00, 0x00}), std::vector<uint8_t>{5});
    ClosePipes();
}

TEST_F(LibusbBusTest, TheEmulatedAcceptorsReplyFollowsNotReadyWhenAskedAgain)
{
    using emulator::usb::ScriptedReply;
    auto knurl = std::make_shared<emulator::usb::KnurlEmulator>();
    knurl->Script(ScriptedReply::Ack({0x42}).AfterNotReady());
    usbfs_->Plug(knurl);
    Start();
    OpenPipes();
    const std::vector<uint8_t> acceptBill = {0x02, 0x00, 0x06, 0x80, 0xD6, 0x46};
    EXPECT_EQ(Exchange(out_, in_, acceptBill), (std::vector<uint8_t>{0x02, 0x00, 0x06, 0x55, 0x4D, 0x9E}));
    ASSERT_EQ(DeviceIoControl(in_, IOCTL_QELUSB_RESET_PIPE, nullptr, 0, nullptr, 0, nullptr), Status::Success);
    std::vector<uint8_t> reply(64);
    size_t bytes = 0;
    ASSERT_EQ(ReadSync(in_, reply.data(), reply.size(), &bytes), Status::Success);
    reply.resize(bytes);
    EXPECT_EQ(reply, (std::vector<uint8_t>{0x02, 0x00, 0x07, 0x00, 0x42, 0xA9, 0x95}));
    ClosePipes();
}

TEST_F(LibusbBusTest, DescriptorsComeFromTheDevice)
{
    PlugModule();
    Start();
    Handle device = OpenOk(OnlyInterface());
    std::vector<uint8_t> buffer(64);
    size_t bytes = 0;
    ASSERT_EQ(DeviceIoControl(device, IOCTL_QELUSB_GET_DEVICE_DESCRIPTOR, nullptr, 0, buffer.data(), buffer.size(),
                              &bytes),
              Status::Success);
    EXPECT_EQ(bytes, 18u);
    EXPECT_EQ(Le16(&buffer[8]), UsbVendorId);
    EXPECT_EQ(Le16(&buffer[10]), ProductProgrammingModule);
    Close(device);
}

TEST_F(LibusbBusTest, StalledReadFailsThePipeIsResetAndTheNextExchangeWorks)
{
    int port = StartWithOpenModule();
    usbfs_->Stall(port, kIn);
    std::vector<uint8_t> buffer(64);
    size_t bytes = 0;
    EXPECT_EQ(ReadSync(in_, buffer.data(), buffer.size(), &bytes), Status::Unsuccessful);
    EXPECT_EQ(usbfs_->ClearHaltCount(port, kIn), 1);
    std::vector<uint8_t> data = Bytes(20);
    EXPECT_EQ(Exchange(out_, in_, data), data);
    ClosePipes();
}

TEST_F(LibusbBusTest, PendingReadIsCancelledAndTheNextExchangeWorks)
{
    int port = StartWithOpenModule();
    std::vector<uint8_t> buffer(64);
    Overlapped read;
    StartPendingRead(port, buffer, read);
    EXPECT_EQ(CancelIo(in_), Status::Success);
    size_t bytes = 0;
    EXPECT_EQ(GetOverlappedResult(read, &bytes, true), Status::Cancelled);
    EXPECT_EQ(bytes, 0u);
    EXPECT_EQ(usbfs_->DiscardCount(port), 1);
    EXPECT_EQ(usbfs_->ClearHaltCount(port, kIn), 0);  // a cancel is not a halt
    std::vector<uint8_t> data = Bytes(7);
    EXPECT_EQ(Exchange(out_, in_, data), data);
    ClosePipes();
}

// ---- arrival and removal

class HotplugTest : public LibusbBusTest, public ::testing::WithParamInterface<bool> {};

TEST_P(HotplugTest, ArrivalAndRemovalThroughUevents)
{
    LibusbBusOptions options = Options();
    options.UseHotplug = GetParam();
    Start(options);
    EXPECT_TRUE(EnumerateInterfaces(QelUsbInterfaceGuid).empty());

    int port = PlugModule();
    ASSERT_TRUE(WaitForNotices(InterfaceEvent::Arrival));
    OpenPipes();
    std::vector<uint8_t> data = Bytes(70);
    EXPECT_EQ(Exchange(out_, in_, data), data);

    usbfs_->Unplug(port);
    ASSERT_TRUE(WaitForNotices(InterfaceEvent::Removal));
    EXPECT_TRUE(EnumerateInterfaces(QelUsbInterfaceGuid).empty());
    // The device stays open while the driver still has handles on it.
    EXPECT_EQ(usbfs_->OpenHandles(port), 1);
    ClosePipes();
    machine_->WaitIdle();
    EXPECT_TRUE(WaitUntil([&] { return usbfs_->OpenHandles(port) == 0; }));

    // The same module plugged in again is a new device.
    PlugModule();
    ASSERT_TRUE(WaitForNotices(InterfaceEvent::Arrival, 2));
    OpenPipes();
    EXPECT_EQ(Exchange(out_, in_, data), data);
    ClosePipes();
}

INSTANTIATE_TEST_SUITE_P(HotplugOrPolling, HotplugTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "Hotplug" : "Polling";
                         });

TEST_F(LibusbBusTest, UnplugWithAReadInFlight)
{
    Start();
    int port = PlugModule();
    ASSERT_TRUE(WaitForNotices(InterfaceEvent::Arrival));
    OpenPipes();
    std::vector<uint8_t> buffer(64);
    Overlapped read;
    StartPendingRead(port, buffer, read);
    usbfs_->Unplug(port);
    EXPECT_EQ(GetOverlappedResult(read, nullptr, true), Status::DeviceNotConnected);
    ASSERT_TRUE(WaitForNotices(InterfaceEvent::Removal));
    size_t bytes = 0;
    EXPECT_EQ(WriteSync(out_, buffer.data(), 1, &bytes), Status::DeletePending);
    ClosePipes();
    machine_->WaitIdle();
    EXPECT_TRUE(WaitUntil([&] { return usbfs_->OpenHandles(port) == 0; }));
}

TEST_F(LibusbBusTest, StopWithAReadInFlight)
{
    int port = StartWithOpenModule();
    std::vector<uint8_t> buffer(64);
    Overlapped read;
    StartPendingRead(port, buffer, read);
    machine_.reset();  // closes the handles, reports the device gone, drains, joins
    EXPECT_NE(GetOverlappedResult(read, nullptr, false), Status::Pending);
    EXPECT_EQ(usbfs_->PendingUrbs(port), 0u);
    EXPECT_TRUE(WaitUntil([&] { return usbfs_->OpenHandles(port) == 0; }));
    in_ = out_ = kInvalidHandle;
}

// ---- opens refused while udev applies permissions, or for good

TEST_F(LibusbBusTest, OpenRefusedAtFirstIsTriedAgain)
{
    int port = PlugModule();
    std::atomic<int> attempts{0};
    LibusbBusOptions options = Options();
    options.Open = [&](libusb_device* device, libusb_device_handle** handle) {
        return ++attempts <= 2 ? int(LIBUSB_ERROR_ACCESS) : libusb_open(device, handle);
    };
    Start(options);
    EXPECT_EQ(attempts, 3);
    OpenPipes();
    EXPECT_TRUE(usbfs_->InterfaceClaimed(port));
    ClosePipes();
}

TEST_F(LibusbBusTest, OpenRefusedForGoodLeavesNoDevice)
{
    PlugModule();
    std::atomic<int> attempts{0};
    LibusbBusOptions options = Options();
    options.OpenRetryTime = std::chrono::milliseconds(100);
    options.OpenRetryStep = std::chrono::milliseconds(10);
    options.Open = [&](libusb_device*, libusb_device_handle**) {
        ++attempts;
        return int(LIBUSB_ERROR_ACCESS);
    };
    Start(options);
    EXPECT_GT(attempts, 1);
    EXPECT_TRUE(EnumerateInterfaces(QelUsbInterfaceGuid).empty());
}

TEST_F(LibusbBusTest, DevicesOfOtherIdsAreNotOpened)
{
    SimpleDeviceConfig other = MinimalModule();
    other.ProductId = 0x0400;
    int port = usbfs_->Plug(std::make_shared<SimpleDevice>(other));
    Start();
    EXPECT_TRUE(EnumerateInterfaces(QelUsbInterfaceGuid).empty());
    EXPECT_EQ(usbfs_->OpenHandles(port), 0);
}

}  // namespace
}  // namespace kovrin::qelusb::testing
