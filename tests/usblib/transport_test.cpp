// Opening devices and the pipe transport: results, time-outs and what a late
// reply must not do.

#include "tests/usblib/usblib_fixture.h"

namespace kovrin::usblib::testing {
namespace {

using TransportTest = UsbLibTest;

// Time-outs in these tests run out after a hundredth of the real limit.
constexpr double kShortLimits = 0.01;

TEST_F(TransportTest, ARequestGetsItsReplyOnceTheDeviceIsOpen)
{
    UsbDevice device = StartWithOne();
    Write(device, {1}, USB_RESULT_NOT_OPEN);
    Read(device, USB_RESULT_NOT_OPEN);
    ASSERT_EQ(VoskUsb_OpenDevice(device), USB_RESULT_SUCCESS);
    for (size_t size : {1, 63, 64, 65, 255, 4000}) {
        std::vector<uint8_t> request(size);
        for (size_t i = 0; i < size; ++i)
            request[i] = uint8_t(i * 13 + size);
        Write(device, request);
        EXPECT_EQ(Read(device), request) << size;
    }
}

TEST_F(TransportTest, OpeningTwiceGivesAlreadyOpenAndTheDeviceKeepsWorking)
{
    UsbDevice device = OpenOne();
    EXPECT_EQ(VoskUsb_OpenDevice(device), USB_RESULT_ALREADY_OPEN);
    Write(device, {7, 8});
    EXPECT_EQ(Read(device), (std::vector<uint8_t>{7, 8}));
}

TEST_F(TransportTest, AfterCloseATransferGivesNotOpenAndAReopenWorks)
{
    UsbDevice device = OpenOne();
    EXPECT_EQ(VoskUsb_CloseDevice(device), USB_RESULT_SUCCESS);
    Write(device, {1}, USB_RESULT_NOT_OPEN);
    Read(device, USB_RESULT_NOT_OPEN);
    EXPECT_TRUE(device_->Received().empty());
    ASSERT_EQ(VoskUsb_OpenDevice(device), USB_RESULT_SUCCESS);
    Write(device, {2});
    EXPECT_EQ(Read(device), std::vector<uint8_t>{2});
}

TEST_F(TransportTest, AFailedResetFailsTheOpenForGood)
{
    UsbDevice device = StartWithOne();
    bus_->FailClearHalt(port_, true);
    EXPECT_EQ(VoskUsb_OpenDevice(device), USB_RESULT_OPEN_FAILED);
    bus_->FailClearHalt(port_, false);
    // Its handles are closed: it stays unusable until it is plugged in again.
    EXPECT_EQ(VoskUsb_OpenDevice(device), USB_RESULT_OPEN_FAILED);
    bus_->Unplug(port_);
    Settle();
    ASSERT_EQ(events_.size(), 2u);
    EXPECT_EQ(events_[1].Event, USB_DEVICE_REMOVED);
}

TEST_F(TransportTest, OfTwoBulkInPipesTheFirstIsUsed)
{
    SimpleDeviceConfig config = Kdu();
    config.Endpoints = {{kOut, 64}, {0x82, 64}, {kIn, 64}};
    UsbDevice device = OpenOne(config);
    bus_->SendIn(port_, kIn, {1});
    bus_->SendIn(port_, 0x82, {2});
    EXPECT_EQ(Read(device), std::vector<uint8_t>{2});
}

TEST_F(TransportTest, UnplugWhileAReadIsUnderWayFailsItThenReportsTheRemoval)
{
    UsbDevice device = OpenOne();
    bus_->UnplugAt(port_, UnplugPoint::InTransfer);
    Read(device, USB_RESULT_LINK_FAILED);
    EXPECT_EQ(events_.size(), 1u);
    Settle();
    ASSERT_EQ(events_.size(), 2u);
    EXPECT_EQ(events_[1].Event, USB_DEVICE_REMOVED);
}

TEST_F(TransportTest, TransfersAfterTheUnplugFailUntilTheRemovalIsReported)
{
    UsbDevice device = OpenOne();
    bus_->Unplug(port_);
    host::WaitIdle();
    Write(device, {1}, USB_RESULT_LINK_FAILED);
    Read(device, USB_RESULT_LINK_FAILED);
    Settle();
    Write(device, {1}, USB_RESULT_BAD_HANDLE);
}

TEST_F(TransportTest, ARequestTheDeviceNeverTakesTimesOut)
{
    UsbDevice device = OpenOne();
    bus_->SetNoReply(port_, kOut, true);
    user::SetTimeLimitScale(kShortLimits);
    Write(device, {1}, USB_RESULT_TIME_OUT);
    user::SetTimeLimitScale(1);
    bus_->SetNoReply(port_, kOut, false);
    Write(device, {2});
    EXPECT_EQ(Read(device), std::vector<uint8_t>{2});
}

TEST_F(TransportTest, AMissingReplyTimesOutAndTheNextExchangeGetsItsOwnReply)
{
    for (bool lateReply : {false, true}) {
        SCOPED_TRACE(lateReply ? "late reply" : "no reply");
        UsbDevice device = OpenOne();
        device_->SetMode(SimpleDevice::Mode::Silent);
        Write(device, {1});
        user::SetTimeLimitScale(kShortLimits);
        Read(device, USB_RESULT_TIME_OUT);
        user::SetTimeLimitScale(1);
        if (lateReply)
            bus_->SendIn(port_, kIn, {0xEE, 0xEE});
        device_->SetMode(SimpleDevice::Mode::Echo);
        Write(device, {2, 3});
        EXPECT_EQ(Read(device), (std::vector<uint8_t>{2, 3}));
        VoskUsb_Remove();
        bus_->Unplug(port_);
        Settle();
        events_.clear();
    }
}

TEST_F(TransportTest, AReplyThatFillsTheBufferLeavesNothingForTheNextExchange)
{
    UsbDevice device = OpenOne();
    // 128 bytes are followed by a zero-length packet that a 128-byte read leaves behind.
    std::vector<uint8_t> full(128, 0x5A);
    Write(device, full);
    EXPECT_EQ(Read(device, USB_RESULT_SUCCESS, 128), full);
    Write(device, {4});
    EXPECT_EQ(Read(device), std::vector<uint8_t>{4});
}

TEST_F(TransportTest, ResettingTheInPipeDropsWhatWaitsInIt)
{
    UsbDevice device = StartWithOne();
    EXPECT_EQ(ResetInPipe(device), USB_RESULT_NOT_OPEN);
    ASSERT_EQ(VoskUsb_OpenDevice(device), USB_RESULT_SUCCESS);
    bus_->SendIn(port_, kIn, {9, 9});
    EXPECT_EQ(ResetInPipe(device), USB_RESULT_SUCCESS);
    bus_->SendIn(port_, kIn, {1});
    EXPECT_EQ(Read(device), std::vector<uint8_t>{1});
}

TEST_F(TransportTest, RemoveEndsAReadWaitingOnAnotherThread)
{
    UsbDevice device = OpenOne();
    device_->SetMode(SimpleDevice::Mode::Silent);
    Write(device, {1});
    UsbResult result = -1;
    std::thread reader([&] {
        std::vector<uint8_t> buffer(64);
        uint32_t count = 0;
        result = PipeRead(device, buffer.data(), 64, &count);
    });
    // Whether the read has begun or not, it ends without its full time.
    VoskUsb_Remove();
    reader.join();
    EXPECT_TRUE(result == USB_RESULT_LINK_FAILED || result == USB_RESULT_NOT_INITIALISED ||
                result == USB_RESULT_BAD_HANDLE)
        << result;
}

TEST_F(TransportTest, RemoveEndsAPendingWriteWithWriteFailed)
{
    UsbDevice device = OpenOne();
    bus_->SetNoReply(port_, kOut, true);
    UsbResult result = -1;
    std::thread writer([&] {
        const uint8_t byte = 1;
        result = PipeWrite(device, &byte, 1);
    });
    // The write is under way on the bus before the library stops.
    while (bus_->PendingTransfers(port_) == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    VoskUsb_Remove();
    writer.join();
    EXPECT_EQ(result, USB_RESULT_WRITE_FAILED);
}

}  // namespace
}  // namespace kovrin::usblib::testing
