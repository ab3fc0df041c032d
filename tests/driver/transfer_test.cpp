// Bulk transfers through the emulated module: echo, fixed replies, a stall
// with the pipe reset by the work item, cancel, and an unplug mid-way.

#include "tests/driver/driver_fixture.h"

namespace kovrin::qelusb::testing {
namespace {

class TransferTest : public DriverTest {
protected:
    void SetUp() override
    {
        DriverTest::SetUp();
        port_ = Plug();
        std::string path = OnlyInterface();
        out_ = OpenOk(path + "\\0");
        in_ = OpenOk(path + "\\1");
    }
    void TearDown() override
    {
        Close(in_);
        Close(out_);
        DriverTest::TearDown();
    }
    int port_ = 0;
    Handle out_ = kInvalidHandle;
    Handle in_ = kInvalidHandle;
};

TEST_F(TransferTest, WriteAndReadThroughTheEmulatedDevice)
{
    std::vector<uint8_t> data = Bytes(100);
    EXPECT_EQ(Exchange(out_, in_, data), data);
    EXPECT_EQ(Bus().OutPacketSizes(port_, kOut), (std::vector<size_t>{64, 36}));
    ASSERT_EQ(device_->Received().size(), 1u);
    EXPECT_EQ(device_->Received()[0], data);
    // A reply of whole packets ends with a zero-length packet, so a larger read completes.
    std::vector<uint8_t> whole = Bytes(128, 9);
    EXPECT_EQ(Exchange(out_, in_, whole, 4096), whole);
}

TEST_F(TransferTest, FixedReplies)
{
    device_->QueueReply({0x00, 0x41, 0x42});
    EXPECT_EQ(Exchange(out_, in_, {0x10}), (std::vector<uint8_t>{0x00, 0x41, 0x42}));
    EXPECT_EQ(Exchange(out_, in_, {0x20}), (std::vector<uint8_t>{0x20}));  // echo again
}

TEST_F(TransferTest, OverlappedReadCompletesLater)
{
    std::vector<uint8_t> buffer(64);
    Overlapped read;
    EXPECT_EQ(Read(in_, buffer.data(), buffer.size(), read), Status::Pending);
    size_t bytes = 0;
    EXPECT_EQ(GetOverlappedResult(read, &bytes, false), Status::Pending);
    Bus().SendIn(port_, kIn, {1, 2, 3});
    EXPECT_EQ(GetOverlappedResult(read, &bytes, true), Status::Success);
    EXPECT_EQ(bytes, 3u);
}

TEST_F(TransferTest, StalledReadFailsAfterThePipeIsResetAndTheNextReadWorks)
{
    Bus().Stall(port_, kIn);
    std::vector<uint8_t> buffer(64);
    Overlapped read;
    read.OnComplete = [&](Overlapped&) {
        // Told only after the work item has reset the pipe.
        EXPECT_EQ(Bus().ClearHaltCount(port_, kIn), 1);
    };
    Read(in_, buffer.data(), buffer.size(), read);
    size_t bytes = 0;
    EXPECT_EQ(GetOverlappedResult(read, &bytes, true), Status::Unsuccessful);
    EXPECT_EQ(Bus().ClearHaltCount(port_, kIn), 1);
    std::vector<uint8_t> data = Bytes(20);
    EXPECT_EQ(Exchange(out_, in_, data), data);
}

TEST_F(TransferTest, StallOfAPendingRead)
{
    std::vector<uint8_t> buffer(64);
    Overlapped read;
    EXPECT_EQ(Read(in_, buffer.data(), buffer.size(), read), Status::Pending);
    Bus().Stall(port_, kIn);
    EXPECT_EQ(GetOverlappedResult(read, nullptr, true), Status::Unsuccessful);
    EXPECT_EQ(Bus().ClearHaltCount(port_, kIn), 1);
    std::vector<uint8_t> data = Bytes(5);
    EXPECT_EQ(Exchange(out_, in_, data), data);
}

TEST_F(TransferTest, ReplyLargerThanTheReadIsAFailureAndThePipeIsReset)
{
    std::vector<uint8_t> data = Bytes(100);
    size_t bytes = 0;
    ASSERT_EQ(WriteSync(out_, data.data(), data.size(), &bytes), Status::Success);
    std::vector<uint8_t> buffer(50);
    EXPECT_EQ(ReadSync(in_, buffer.data(), buffer.size(), &bytes), Status::Unsuccessful);
    EXPECT_EQ(Bus().ClearHaltCount(port_, kIn), 1);
}

TEST_F(TransferTest, CancelOfAPendingRead)
{
    std::vector<uint8_t> buffer(64);
    Overlapped read;
    EXPECT_EQ(Read(in_, buffer.data(), buffer.size(), read), Status::Pending);
    EXPECT_EQ(CancelIo(in_), Status::Success);
    size_t bytes = 0;
    EXPECT_EQ(GetOverlappedResult(read, &bytes, true), Status::Cancelled);
    EXPECT_EQ(bytes, 0u);
    EXPECT_EQ(Bus().ClearHaltCount(port_, kIn), 0);  // a cancel is not a halt
    EXPECT_EQ(Bus().PendingTransfers(port_), 0u);
    std::vector<uint8_t> data = Bytes(7);
    EXPECT_EQ(Exchange(out_, in_, data), data);
}

TEST_F(TransferTest, CancelOfAWriteTheDeviceNeverTakes)
{
    Bus().SetNoReply(port_, kOut, true);
    std::vector<uint8_t> data = Bytes(10);
    Overlapped write;
    EXPECT_EQ(Write(out_, data.data(), data.size(), write), Status::Pending);
    CancelIo(out_);
    EXPECT_EQ(GetOverlappedResult(write, nullptr, true), Status::Cancelled);
    Bus().SetNoReply(port_, kOut, false);
    EXPECT_EQ(Exchange(out_, in_, data), data);
}

TEST_F(TransferTest, DelayedCompletions)
{
    Bus().SetCompletionDelay(port_, std::chrono::milliseconds(5));
    std::vector<uint8_t> data = Bytes(70);
    EXPECT_EQ(Exchange(out_, in_, data), data);
}

TEST_F(TransferTest, UnplugAtTheNextWrite)
{
    DeviceNode* node = Emulated().NodeOfPort(port_);
    Bus().UnplugAt(port_, UnplugPoint::OutTransfer);
    std::vector<uint8_t> data = Bytes(10);
    size_t bytes = 0;
    EXPECT_EQ(WriteSync(out_, data.data(), data.size(), &bytes), Status::DeviceNotConnected);
    machine_->WaitIdle();
    EXPECT_EQ(Pnp().StateOf(node), NodeState::SurpriseRemoved);
    std::vector<uint8_t> buffer(64);
    EXPECT_EQ(ReadSync(in_, buffer.data(), buffer.size(), &bytes), Status::DeletePending);
    Close(in_);
    Close(out_);
    in_ = out_ = kInvalidHandle;
    machine_->WaitIdle();
    EXPECT_EQ(Pnp().StateOf(node), NodeState::Gone);
}

}  // namespace
}  // namespace kovrin::qelusb::testing
