// Starting and stopping the library, which devices it reports, handles, and
// plug and unplug as the program sees them through its callback.

#include <set>

#include "tests/usblib/usblib_fixture.h"

namespace kovrin::usblib::testing {
namespace {

using DeviceManagerTest = UsbLibTest;

TEST_F(DeviceManagerTest, NothingWorksBeforeTheStartAndRemoveOfAStoppedLibraryIsFine)
{
    EXPECT_FALSE(IsInitialised());
    EXPECT_EQ(VoskUsb_Remove(), 1);
    EXPECT_EQ(VoskUsb_OpenDevice(0x1001), USB_RESULT_NOT_INITIALISED);
    EXPECT_EQ(VoskUsb_CloseDevice(0x1001), USB_RESULT_NOT_INITIALISED);
    Write(0x1001, {1}, USB_RESULT_NOT_INITIALISED);
    Read(0x1001, USB_RESULT_NOT_INITIALISED);
}

TEST_F(DeviceManagerTest, APresentDeviceIsReportedFromInsideInitialiseAndOnlyOnce)
{
    Plug();
    ASSERT_EQ(Initialise(), 1);
    ASSERT_EQ(events_.size(), 1u);
    EXPECT_EQ(events_[0].Event, USB_DEVICE_ARRIVED);
    EXPECT_EQ(events_[0].Type, USB_DEVICE_KDU);
    EXPECT_NE(events_[0].Device, 0u);
    EXPECT_TRUE(IsInitialised());

    EXPECT_EQ(Initialise(), 1);
    Settle();
    EXPECT_EQ(events_.size(), 1u);
}

TEST_F(DeviceManagerTest, ADevicePluggedWhileStartingIsReportedOnce)
{
    // Its arrival may be announced before, during or after the enumeration.
    ports_.push_back(bus_->Plug(std::make_shared<SimpleDevice>(Kdu())));
    ASSERT_EQ(Initialise(), 1);
    Settle();
    ASSERT_EQ(events_.size(), 1u);
    EXPECT_EQ(events_[0].Event, USB_DEVICE_ARRIVED);
}

// Bound by the driver as a module, then shows the library other identifiers.
class Misreporting : public SimpleDevice {
public:
    Misreporting(uint16_t vendor, uint16_t product) : SimpleDevice(Kdu()), vendor_(vendor), product_(product) {}
    std::vector<uint8_t> DeviceDescriptor() override
    {
        std::vector<uint8_t> d = SimpleDevice::DeviceDescriptor();
        if (bound_++ > 0) {
            d[8] = uint8_t(vendor_), d[9] = uint8_t(vendor_ >> 8);
            d[10] = uint8_t(product_), d[11] = uint8_t(product_ >> 8);
        }
        return d;
    }

private:
    const uint16_t vendor_, product_;
    int bound_ = 0;  // the bus reads it once at the plug, for binding
};

TEST_F(DeviceManagerTest, OnlyTheFamilysProductsWithBothBulkPipesAreReported)
{
    struct Case {
        const char* what;
        std::shared_ptr<SimpleDevice> device;
        DeviceType expected;  // 0: ignored
    };
    const auto plain = [](const SimpleDeviceConfig& config) { return std::make_shared<SimpleDevice>(config); };
    SimpleDeviceConfig noIn = Kdu();
    noIn.Endpoints = {{kOut, 64}};
    SimpleDeviceConfig noOut = Kdu();
    noOut.Endpoints = {{kIn, 64}};
    SimpleDeviceConfig twoOut = DeviceOf(qelusb::ProductSecondModule);
    twoOut.Endpoints = {{0x02, 64}, {kOut, 64}, {kIn, 64}};
    const std::vector<Case> cases = {
        {"acceptor", plain(DeviceOf(0x0100)), USB_DEVICE_KNURL},
        {"module", plain(DeviceOf(0x0200)), USB_DEVICE_KDU},
        {"second module", plain(DeviceOf(0x0300)), USB_DEVICE_RDU},
        {"two OUT pipes", plain(twoOut), USB_DEVICE_RDU},
        {"no bulk IN pipe", plain(noIn), 0},
        {"no bulk OUT pipe", plain(noOut), 0},
        {"product 0x0400, not bound", plain(DeviceOf(0x0400)), 0},
        {"product 0x0400", std::make_shared<Misreporting>(qelusb::UsbVendorId, 0x0400), 0},
        {"other vendor", std::make_shared<Misreporting>(0x1234, qelusb::ProductProgrammingModule), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        events_.clear();
        int port = bus_->Plug(c.device);
        host::WaitIdle();
        ASSERT_EQ(Initialise(), 1);
        if (c.expected) {
            ASSERT_EQ(events_.size(), 1u);
            EXPECT_EQ(events_[0].Type, c.expected);
        } else {
            EXPECT_TRUE(events_.empty());
        }
        VoskUsb_Remove();
        bus_->Unplug(port);
        Settle();
    }
}

TEST_F(DeviceManagerTest, UnplugReportsRemovalOnceAndTheHandleGoesStale)
{
    UsbDevice device = StartWithOne();
    UsbResult closeDuringRemoval = -1;
    onEvent_ = [&](UsbDevice d, int32_t event) {
        if (event == USB_DEVICE_REMOVED)
            closeDuringRemoval = VoskUsb_CloseDevice(d);
    };
    bus_->Unplug(port_);
    Settle();
    ASSERT_EQ(events_.size(), 2u);
    EXPECT_EQ(events_[1].Event, USB_DEVICE_REMOVED);
    EXPECT_EQ(events_[1].Device, device);
    EXPECT_EQ(events_[1].Type, USB_DEVICE_KDU);
    // The program may still close it while it is told; afterwards the handle is refused.
    EXPECT_EQ(closeDuringRemoval, USB_RESULT_SUCCESS);
    EXPECT_EQ(VoskUsb_OpenDevice(device), USB_RESULT_BAD_HANDLE);
    EXPECT_EQ(VoskUsb_CloseDevice(device), USB_RESULT_BAD_HANDLE);
    Write(device, {1}, USB_RESULT_BAD_HANDLE);
}

TEST_F(DeviceManagerTest, HandlesNotGivenOutAreRefused)
{
    UsbDevice device = OpenOne();
    for (UsbDevice forged : {UsbDevice(0), UsbDevice(0xFFFFFFFF), device + 1, device ^ 0x1000u, device + 0x1000u,
                             device - 0x1000u}) {
        SCOPED_TRACE(forged);
        EXPECT_EQ(VoskUsb_OpenDevice(forged), USB_RESULT_BAD_HANDLE);
        EXPECT_EQ(VoskUsb_CloseDevice(forged), USB_RESULT_BAD_HANDLE);
        Write(forged, {1}, USB_RESULT_BAD_HANDLE);
        Read(forged, USB_RESULT_BAD_HANDLE);
    }
    Write(device, {5});
    EXPECT_EQ(Read(device), std::vector<uint8_t>{5});
}

TEST_F(DeviceManagerTest, ARestartReportsThePresentDevicesAgainWithNewHandles)
{
    UsbDevice first = StartWithOne();
    EXPECT_EQ(VoskUsb_Remove(), 1);
    EXPECT_FALSE(IsInitialised());
    EXPECT_EQ(VoskUsb_OpenDevice(first), USB_RESULT_NOT_INITIALISED);
    Settle();
    EXPECT_EQ(events_.size(), 1u);  // stopped without callbacks

    ASSERT_EQ(Initialise(), 1);
    ASSERT_EQ(events_.size(), 2u);
    UsbDevice second = events_[1].Device;
    EXPECT_NE(second, first);
    EXPECT_EQ(VoskUsb_OpenDevice(first), USB_RESULT_BAD_HANDLE);
    EXPECT_EQ(VoskUsb_OpenDevice(second), USB_RESULT_SUCCESS);
}

TEST_F(DeviceManagerTest, RemoveInsideTheCallbackStopsTheEnumeration)
{
    Plug();
    Plug();
    onEvent_ = [](UsbDevice, int32_t) { EXPECT_EQ(VoskUsb_Remove(), 1); };
    EXPECT_EQ(Initialise(), 1);
    EXPECT_EQ(events_.size(), 1u);
    EXPECT_FALSE(IsInitialised());
    EXPECT_EQ(VoskUsb_OpenDevice(events_[0].Device), USB_RESULT_NOT_INITIALISED);
    Settle();
    EXPECT_EQ(events_.size(), 1u);
}

TEST_F(DeviceManagerTest, RemoveInsideANoticeDropsTheNoticesStillWaiting)
{
    ASSERT_EQ(Initialise(), 1);
    onEvent_ = [](UsbDevice, int32_t) { VoskUsb_Remove(); };
    // Both arrivals wait in the queue before the first is dispatched.
    Plug();
    Plug();
    Settle();
    EXPECT_EQ(events_.size(), 1u);
    EXPECT_FALSE(IsInitialised());
}

TEST_F(DeviceManagerTest, RemoveInsideTheRemovalCallback)
{
    StartWithOne();
    Plug();
    Settle();
    ASSERT_EQ(events_.size(), 2u);
    onEvent_ = [](UsbDevice, int32_t event) {
        if (event == USB_DEVICE_REMOVED)
            VoskUsb_Remove();
    };
    bus_->Unplug(port_);
    Settle();
    ASSERT_EQ(events_.size(), 3u);
    EXPECT_EQ(events_[2].Event, USB_DEVICE_REMOVED);
    EXPECT_EQ(VoskUsb_OpenDevice(events_[1].Device), USB_RESULT_NOT_INITIALISED);
}

TEST_F(DeviceManagerTest, AnUnplugDispatchedInsideTheArrivalCallbackKeepsTheRecordUntilItReturns)
{
    // As when the program shows a message box (a nested event loop) on arrival.
    port_ = Plug();
    UsbResult afterRemoval = -1;
    onEvent_ = [&](UsbDevice device, int32_t event) {
        if (event != USB_DEVICE_ARRIVED)
            return;
        bus_->Unplug(port_);
        Settle();
        afterRemoval = VoskUsb_OpenDevice(device);
    };
    ASSERT_EQ(Initialise(), 1);
    ASSERT_EQ(events_.size(), 2u);
    EXPECT_EQ(events_[1].Event, USB_DEVICE_REMOVED);
    EXPECT_EQ(afterRemoval, USB_RESULT_BAD_HANDLE);
}

TEST_F(DeviceManagerTest, CallbacksRunOnTheStartingThreadOnly)
{
    ASSERT_EQ(Initialise(), 1);
    std::vector<int> ports;
    std::thread([&] {
        ports.push_back(bus_->Plug(std::make_shared<SimpleDevice>(Kdu())));
        ports.push_back(bus_->Plug(std::make_shared<SimpleDevice>(DeviceOf(qelusb::ProductUsbAcceptor))));
    }).join();
    Settle();
    std::thread([&] {
        for (int port : ports)
            bus_->Unplug(port);
    }).join();
    Settle();
    ASSERT_EQ(events_.size(), 4u);
    for (const DeviceEvent& event : events_)
        EXPECT_EQ(event.Thread, std::this_thread::get_id());
}

TEST_F(DeviceManagerTest, AllHandlesOfAStartAreDistinct)
{
    for (int i = 0; i < 3; ++i)
        Plug();
    ASSERT_EQ(Initialise(), 1);
    std::set<UsbDevice> handles;
    for (const DeviceEvent& event : events_)
        handles.insert(event.Device);
    EXPECT_EQ(handles.size(), 3u);
}

TEST(LibraryHelpers, VersionAndBytes)
{
    uint8_t major = 9, minor = 9;
    VoskUsb_Version(&major, &minor);
    EXPECT_EQ(major, 0);
    EXPECT_EQ(minor, 1);
    VoskUsb_Version(nullptr, &minor);
    VoskUsb_Version(&major, nullptr);
    struct Case {
        uint32_t value;
        uint32_t hi;
        uint8_t lo;
    };
    for (const Case& c : {Case{0x1234, 0x12, 0x34}, Case{0xFF, 0, 0xFF}, Case{0x12345678, 0x123456, 0x78},
                          Case{0, 0, 0}}) {
        EXPECT_EQ(HiByte(c.value), c.hi) << c.value;
        EXPECT_EQ(LoByte(c.value), c.lo) << c.value;
    }
}

}  // namespace
}  // namespace kovrin::usblib::testing
