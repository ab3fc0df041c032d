// Faults injected per command, seen from the host's side of the driver:
// spoilt replies, refusals, silence, late replies, unplugging and stalls.

#include "emulators/usb/module_emulator.h"
#include "tests/emulators/usb/emulator_fixture.h"

namespace kovrin::emulator::usb::testing {
namespace {

const Bytes kRevision = {0, 5, 2, 0, 1, 0, 0};

class FaultsTest : public EmulatorTest {
protected:
    void SetUp() override
    {
        EmulatorTest::SetUp();
        module_ = std::make_shared<ModuleEmulator>();
        Plug(module_);
    }

    // Starts a read that the test finishes.
    Status StartRead(Overlapped& read)
    {
        buffer_.assign(4096, 0);
        return Read(in_, buffer_.data(), buffer_.size(), read);
    }

    std::shared_ptr<ModuleEmulator> module_;
    Bytes buffer_;
};

TEST_F(FaultsTest, SpoiltRepliesThenGoodOnes)
{
    struct Case {
        const char* What;
        UsbFault Fault;
        Bytes Request;
        Bytes Reply;
        Bytes Next;
    };
    const Case cases[] = {
        {"one byte short", {UsbFaultKind::ShortReply, 1, 0, 1}, {0x11}, Bytes(kRevision.begin(), kRevision.end() - 1),
         kRevision},
        {"nothing left", {UsbFaultKind::ShortReply, 1, 0, 20}, {0x11}, {}, kRevision},
        {"two bytes long", {UsbFaultKind::LongReply, 1, 0, 2}, {0x11}, Join(kRevision, {0, 0}), kRevision},
        {"a status of its own", {UsbFaultKind::Status, 1, 0, 1, 3}, {0x3A, 0x00, 0x00}, {3}, {5}},
    };
    for (const Case& c : cases) {
        module_->AddFault(c.Request[0], c.Fault);
        EXPECT_EQ(Exchange(c.Request), c.Reply) << c.What;
        EXPECT_EQ(Exchange(c.Request), c.Next) << c.What;
    }
}

TEST_F(FaultsTest, OnlyTheNamedCommandAfterItsSkips)
{
    module_->AddFault(0x11, {UsbFaultKind::Status, 2, 1, 1, 6});
    EXPECT_EQ(Exchange({0x10}).size(), 6u);  // another command
    EXPECT_EQ(Exchange({0x11}), kRevision);  // skipped
    EXPECT_EQ(Exchange({0x11}), Bytes{6});
    EXPECT_EQ(Exchange({0x11}), Bytes{6});
    EXPECT_EQ(Exchange({0x11}), kRevision);
    module_->AddFault(kAnyCommand, {UsbFaultKind::Status, 1, 0, 1, 2});
    EXPECT_EQ(Exchange({0x10}), Bytes{2});
}

TEST_F(FaultsTest, RefusedRequestIsNotCarriedOut)
{
    module_->AddFault(0x2C, {UsbFaultKind::Status, 1, 0, 1, 1});
    EXPECT_EQ(Exchange({0x2C, 0x01, 0x77}), Bytes{1});
    EXPECT_EQ(Exchange({0x2B, 0x01}), (Bytes{0, 0}));
}

TEST_F(FaultsTest, NoReplyButTheRequestIsCarriedOut)
{
    module_->AddFault(0x2C, {UsbFaultKind::NoReply});
    ASSERT_EQ(Send({0x2C, 0x01, 0x77}), Status::Success);
    Overlapped read;
    ASSERT_EQ(StartRead(read), Status::Pending);
    machine_->WaitIdle();
    EXPECT_EQ(GetOverlappedResult(read, nullptr, false), Status::Pending);
    CancelIo(in_);
    EXPECT_EQ(GetOverlappedResult(read, nullptr, true), Status::Cancelled);
    EXPECT_EQ(Exchange({0x2B, 0x01}), (Bytes{0, 0x77}));
}

TEST_F(FaultsTest, LateReplyArrivesWhenReleased)
{
    module_->AddFault(0x11, {UsbFaultKind::LateReply});
    ASSERT_EQ(Send({0x11}), Status::Success);
    Overlapped read;
    ASSERT_EQ(StartRead(read), Status::Pending);
    machine_->WaitIdle();
    EXPECT_EQ(GetOverlappedResult(read, nullptr, false), Status::Pending);
    std::vector<Bytes> held = module_->TakeHeldReplies();
    ASSERT_EQ(held, std::vector<Bytes>{kRevision});
    EXPECT_TRUE(module_->TakeHeldReplies().empty());
    Bus().SendIn(port_, kInEndpoint, held[0]);
    size_t bytes = 0;
    EXPECT_EQ(GetOverlappedResult(read, &bytes, true), Status::Success);
    EXPECT_EQ(Bytes(buffer_.begin(), buffer_.begin() + bytes), kRevision);
}

TEST_F(FaultsTest, UnplugBetweenRequestAndReply)
{
    module_->AddFault(0x3A, {UsbFaultKind::Unplug});
    Overlapped read;
    ASSERT_EQ(StartRead(read), Status::Pending);
    EXPECT_EQ(Send({0x3A, 0x00, 0x00}), Status::Success);
    EXPECT_NE(GetOverlappedResult(read, nullptr, true), Status::Success);
    CloseHandles();
    machine_->WaitIdle();
    EXPECT_TRUE(EnumerateInterfaces(qelusb::QelUsbInterfaceGuid).empty());
    EXPECT_EQ(module_->Requests(), std::vector<Bytes>{Bytes({0x3A, 0x00, 0x00})});
}

TEST_F(FaultsTest, StalledReplyFailsTheReadOnly)
{
    module_->AddFault(0x11, {UsbFaultKind::StallReply});
    ASSERT_EQ(Send({0x11}), Status::Success);
    std::vector<uint8_t> reply(64);
    size_t bytes = 0;
    EXPECT_EQ(ReadSync(in_, reply.data(), reply.size(), &bytes), Status::Unsuccessful);
    EXPECT_EQ(Bus().ClearHaltCount(port_, kInEndpoint), 1);  // the driver reset the pipe
    EXPECT_EQ(Exchange({0x11}), kRevision);
}

TEST_F(FaultsTest, StalledRequestIsNotTaken)
{
    module_->AddFault(0x2C, {UsbFaultKind::StallRequest});
    EXPECT_EQ(Send({0x2C, 0x01, 0x77}), Status::Unsuccessful);
    EXPECT_EQ(Bus().ClearHaltCount(port_, kOutEndpoint), 1);
    EXPECT_TRUE(module_->Requests().empty());
    EXPECT_EQ(Exchange({0x2B, 0x01}), (Bytes{0, 0}));
}

}  // namespace
}  // namespace kovrin::emulator::usb::testing
