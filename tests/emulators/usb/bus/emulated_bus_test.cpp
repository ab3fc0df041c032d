// The emulated bus on its own: packets and the short-packet and zero-length
// packet rules, halts, cancel, held completions and unplugging at a point.

#include <gtest/gtest.h>

#include <mutex>

#include "emulators/usb/bus/emulated_bus.h"
#include "emulators/usb/bus/simple_device.h"
#include "platform/kernel/level.h"
#include "platform/kernel/sync.h"
#include "platform/usb/urb.h"

namespace kovrin::platform::usb {
namespace {

class Listener : public HotplugListener {
public:
    void DeviceArrived(const std::shared_ptr<DeviceBackend>&) override { ++arrived; }
    void DeviceLeft(const std::shared_ptr<DeviceBackend>&) override { ++left; }
    std::atomic<int> arrived{0};
    std::atomic<int> left{0};
};

struct Outcome {
    Event Done;
    TransferStatus Status = TransferStatus::Error;
    uint32_t Actual = 0;
    ExecutionLevel Level = ExecutionLevel::Passive;
};

class EmulatedBusTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SimpleDeviceConfig config;
        config.VendorId = 0x1111;
        config.ProductId = 0x2222;
        device_ = std::make_shared<SimpleDevice>(config);
        bus_.Start(&listener_, &activity_);
        port_ = bus_.Plug(device_);
        backend_ = bus_.BackendOf(port_);
    }
    void TearDown() override
    {
        bus_.Stop();
        activity_.WaitZero();
    }

    TransferPtr Bulk(uint8_t endpoint, std::vector<uint8_t>& buffer, uint32_t length, Outcome& outcome,
                     DeviceBackend* backend = nullptr)
    {
        auto transfer = std::make_shared<Transfer>();
        transfer->Endpoint = endpoint;
        transfer->Buffer = buffer.data();
        transfer->Length = length;
        transfer->Done = [&outcome](TransferStatus status, uint32_t actual) {
            outcome.Status = status;
            outcome.Actual = actual;
            outcome.Level = CurrentLevel();
            outcome.Done.Set();
        };
        (backend ? backend : backend_.get())->Submit(transfer);
        return transfer;
    }

    Outcome& Run(uint8_t endpoint, std::vector<uint8_t>& buffer, uint32_t length)
    {
        outcomes_.emplace_back(std::make_unique<Outcome>());
        Outcome& outcome = *outcomes_.back();
        Bulk(endpoint, buffer, length, outcome);
        outcome.Done.Wait();
        return outcome;
    }

    ActivityCounter activity_;
    EmulatedBus bus_;
    Listener listener_;
    std::shared_ptr<SimpleDevice> device_;
    std::shared_ptr<DeviceBackend> backend_;
    int port_ = 0;
    std::vector<std::unique_ptr<Outcome>> outcomes_;
};

TEST_F(EmulatedBusTest, DeviceIsReportedWithItsDescriptor)
{
    EXPECT_EQ(listener_.arrived, 1);
    std::vector<uint8_t> d = backend_->CachedDeviceDescriptor();
    ASSERT_EQ(d.size(), 18u);
    EXPECT_EQ(d[8] | d[9] << 8, 0x1111);
    EXPECT_EQ(backend_->PortStatus(), uint32_t(PortConnected | PortEnabled));
}

TEST_F(EmulatedBusTest, OutTransfersAreSplitIntoPackets)
{
    std::vector<uint8_t> data(200, 3);
    EXPECT_EQ(Run(0x01, data, 0).Status, TransferStatus::Completed);
    EXPECT_EQ(Run(0x01, data, 64).Actual, 64u);
    EXPECT_EQ(Run(0x01, data, 200).Actual, 200u);
    // No zero-length packet is added after a full last packet.
    EXPECT_EQ(bus_.OutPacketSizes(port_, 0x01), (std::vector<size_t>{0, 64, 64, 64, 64, 8}));
}

TEST_F(EmulatedBusTest, InTransferEndsAtAShortPacketOrAFullBuffer)
{
    std::vector<uint8_t> buffer(4096);
    bus_.SendIn(port_, 0x81, std::vector<uint8_t>(100, 1));
    Outcome& shortEnd = Run(0x81, buffer, 4096);
    EXPECT_EQ(shortEnd.Status, TransferStatus::Completed);
    EXPECT_EQ(shortEnd.Actual, 100u);
    EXPECT_EQ(shortEnd.Level, ExecutionLevel::Dispatch);  // completions are interrupt-time work

    bus_.SendIn(port_, 0x81, std::vector<uint8_t>(128, 2));  // ends with a zero-length packet
    EXPECT_EQ(Run(0x81, buffer, 4096).Actual, 128u);

    bus_.SendIn(port_, 0x81, std::vector<uint8_t>(128, 3), false);  // no zero-length packet
    EXPECT_EQ(Run(0x81, buffer, 128).Actual, 128u);                 // full buffer

    bus_.SendIn(port_, 0x81, std::vector<uint8_t>(100, 4));
    Outcome& overflow = Run(0x81, buffer, 50);
    EXPECT_EQ(overflow.Status, TransferStatus::Overflow);
}

TEST_F(EmulatedBusTest, InTransferWaitsForPackets)
{
    std::vector<uint8_t> buffer(64);
    Outcome outcome;
    Bulk(0x81, buffer, 64, outcome);
    EXPECT_FALSE(outcome.Done.WaitFor(std::chrono::milliseconds(0)));
    EXPECT_EQ(bus_.PendingTransfers(port_), 1u);
    bus_.SendIn(port_, 0x81, {9});
    outcome.Done.Wait();
    EXPECT_EQ(outcome.Actual, 1u);
    EXPECT_EQ(buffer[0], 9);
}

TEST_F(EmulatedBusTest, StallUntilTheHaltIsCleared)
{
    bus_.Stall(port_, 0x81);
    std::vector<uint8_t> buffer(64);
    EXPECT_EQ(Run(0x81, buffer, 64).Status, TransferStatus::Stall);
    EXPECT_EQ(Run(0x81, buffer, 64).Status, TransferStatus::Stall);
    EXPECT_EQ(backend_->ClearHalt(0x81), TransferStatus::Completed);
    EXPECT_EQ(bus_.ClearHaltCount(port_, 0x81), 1);
    bus_.SendIn(port_, 0x81, {1, 2});
    EXPECT_EQ(Run(0x81, buffer, 64).Actual, 2u);
}

TEST_F(EmulatedBusTest, ClearingTheHaltEmptiesTheInEndpoint)
{
    bus_.SendIn(port_, 0x81, {1, 2, 3});
    EXPECT_EQ(backend_->ClearHalt(0x81), TransferStatus::Completed);
    std::vector<uint8_t> buffer(64);
    Outcome outcome;
    Bulk(0x81, buffer, 64, outcome);
    bus_.SendIn(port_, 0x81, {4});
    outcome.Done.Wait();
    EXPECT_EQ(outcome.Actual, 1u);
    EXPECT_EQ(buffer[0], 4);
}

TEST_F(EmulatedBusTest, WithTheFrameClockTransfersCarryTheSameData)
{
    bus_.SetFrameClock(true);
    std::vector<uint8_t> request(4096);
    for (size_t i = 0; i < request.size(); ++i)
        request[i] = uint8_t(i * 7);
    EXPECT_EQ(Run(0x01, request, 4096).Actual, 4096u);
    std::vector<uint8_t> reply(4096);
    Outcome& echo = Run(0x81, reply, 4096);
    EXPECT_EQ(echo.Status, TransferStatus::Completed);
    EXPECT_EQ(reply, request);
    // The zero-length packet after the full reply is still carried.
    EXPECT_EQ(Run(0x81, reply, 64).Actual, 0u);

    Outcome last;
    Bulk(0x01, request, 100, last);
    bus_.SetFrameClock(false);  // what waits for a frame goes at once
    last.Done.Wait();
    EXPECT_EQ(last.Status, TransferStatus::Completed);
    EXPECT_EQ(last.Actual, 100u);
}

TEST_F(EmulatedBusTest, CancelBeforeAndAfterSubmit)
{
    std::vector<uint8_t> buffer(64);
    Outcome pending;
    TransferPtr transfer = Bulk(0x81, buffer, 64, pending);
    backend_->Cancel(transfer);
    pending.Done.Wait();
    EXPECT_EQ(pending.Status, TransferStatus::Cancelled);

    Outcome early;
    auto notYet = std::make_shared<Transfer>();
    notYet->Endpoint = 0x81;
    notYet->Buffer = buffer.data();
    notYet->Length = 64;
    notYet->Done = [&](TransferStatus status, uint32_t) {
        early.Status = status;
        early.Done.Set();
    };
    backend_->Cancel(notYet);
    backend_->Submit(notYet);
    early.Done.Wait();
    EXPECT_EQ(early.Status, TransferStatus::Cancelled);
}

TEST_F(EmulatedBusTest, HeldCompletionsArriveInOrderOnRelease)
{
    std::vector<uint8_t> data(10, 1);
    Outcome first;
    Outcome second;
    bus_.HoldCompletions(port_, true);
    Bulk(0x01, data, 10, first);
    Bulk(0x01, data, 5, second);
    EXPECT_FALSE(first.Done.WaitFor(std::chrono::milliseconds(0)));
    bus_.HoldCompletions(port_, false);
    first.Done.Wait();
    second.Done.Wait();
    EXPECT_EQ(first.Actual, 10u);
    EXPECT_EQ(second.Actual, 5u);
}

TEST_F(EmulatedBusTest, UnplugAtTheNextInTransfer)
{
    bus_.UnplugAt(port_, UnplugPoint::InTransfer);
    std::vector<uint8_t> buffer(64);
    EXPECT_EQ(Run(0x01, buffer, 1).Status, TransferStatus::Completed);
    EXPECT_EQ(listener_.left, 0);
    EXPECT_EQ(Run(0x81, buffer, 64).Status, TransferStatus::NoDevice);
    EXPECT_EQ(listener_.left, 1);
    EXPECT_EQ(backend_->PortStatus(), 0u);
}

// Takes one request and leaves the bus before answering it.
class LeavingDevice : public SimpleDevice {
public:
    using SimpleDevice::SimpleDevice;
    OutResult OnOutTransfer(uint8_t, std::span<const uint8_t>, DeviceSide& side) override
    {
        side.Unplug();
        return OutResult::Accept;
    }
};

TEST_F(EmulatedBusTest, DeviceLeavesBetweenRequestAndReply)
{
    for (bool frames : {false, true}) {
        bus_.SetFrameClock(frames);
        int port = bus_.Plug(std::make_shared<LeavingDevice>(SimpleDeviceConfig{}));
        std::shared_ptr<DeviceBackend> backend = bus_.BackendOf(port);
        std::vector<uint8_t> reply(64);
        std::vector<uint8_t> request{0x10};
        Outcome read;
        Outcome write;
        int leftBefore = listener_.left;
        Bulk(0x81, reply, 64, read, backend.get());
        Bulk(0x01, request, 1, write, backend.get());
        write.Done.Wait();
        read.Done.Wait();
        EXPECT_EQ(write.Status, TransferStatus::Completed) << frames;
        EXPECT_EQ(read.Status, TransferStatus::NoDevice) << frames;
        // The listener hears of it before the transfers' completions arrive.
        EXPECT_EQ(listener_.left, leftBefore + 1) << frames;
        EXPECT_EQ(backend->PortStatus(), 0u) << frames;
    }
    bus_.SetFrameClock(false);
}

TEST_F(EmulatedBusTest, UnplugFailsWhatIsPending)
{
    std::vector<uint8_t> buffer(64);
    Outcome pending;
    Bulk(0x81, buffer, 64, pending);
    bus_.Unplug(port_);
    pending.Done.Wait();
    EXPECT_EQ(pending.Status, TransferStatus::NoDevice);
    EXPECT_EQ(listener_.left, 1);
}

TEST_F(EmulatedBusTest, DescriptorsByControlTransfer)
{
    std::vector<uint8_t> buffer(521);
    Outcome outcome;
    auto transfer = std::make_shared<Transfer>();
    transfer->Kind = Transfer::Type::Control;
    transfer->Setup = {0x80, 0x06, 0, 2, 0, 0, uint8_t(521 & 0xFF), uint8_t(521 >> 8)};
    transfer->Buffer = buffer.data();
    transfer->Length = 521;
    transfer->Done = [&](TransferStatus status, uint32_t actual) {
        outcome.Status = status;
        outcome.Actual = actual;
        outcome.Done.Set();
    };
    backend_->Submit(transfer);
    outcome.Done.Wait();
    EXPECT_EQ(outcome.Status, TransferStatus::Completed);
    EXPECT_EQ(outcome.Actual, 9u + 9u + 2 * 7u);
    ASSERT_EQ(bus_.ControlRequests(port_).size(), 1u);
    EXPECT_EQ(bus_.ControlRequests(port_)[0].Length, 521);
}

}  // namespace
}  // namespace kovrin::platform::usb
