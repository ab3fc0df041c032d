// The scripted USB acceptor: its check of each request frame and the
// replies of its script, through the driver.

#include "emulators/usb/knurl_emulator.h"
#include "tests/emulators/usb/emulator_fixture.h"
#include "usblib/commands/acceptor_frame.h"

namespace kovrin::emulator::usb::testing {
namespace {

namespace commands = usblib::commands;

Bytes Frame(const Bytes& payload)
{
    Bytes frame;
    commands::BuildAcceptorFrame(payload, frame);
    return frame;
}

const Bytes kAcceptBill = {0x02, 0x00, 0x06, 0x80, 0xD6, 0x46};
const Bytes kAcknowledged = {0x02, 0x00, 0x06, 0x00, 0x47, 0xCE};
const Bytes kRefused = {0x02, 0x00, 0x06, 0xFF, 0x59, 0x3E};

class KnurlTest : public EmulatorTest {
protected:
    void SetUp() override
    {
        EmulatorTest::SetUp();
        knurl_ = std::make_shared<KnurlEmulator>();
        Plug(knurl_);
    }
    std::shared_ptr<KnurlEmulator> knurl_;
};

TEST_F(KnurlTest, AcknowledgesWhenNothingIsScripted)
{
    EXPECT_EQ(Exchange(kAcceptBill), kAcknowledged);
    EXPECT_EQ(knurl_->BadFrames(), 0);
}

TEST_F(KnurlTest, RefusesMalformedFrames)
{
    auto with = [](size_t at, uint8_t value) {
        Bytes b = kAcceptBill;
        b[at] = value;
        return b;
    };
    const Bytes bad[] = {
        with(0, 0x03),                      // start byte
        with(2, 0x07),                      // length field
        with(5, 0x47),                      // CRC
        {0x02, 0x00, 0x05, 0x31, 0x7A},     // no payload
        Join(kAcceptBill, {0x00}),          // a byte more than the length says
    };
    for (const Bytes& frame : bad)
        EXPECT_EQ(Exchange(frame), kRefused);
    EXPECT_EQ(knurl_->BadFrames(), 5);
    EXPECT_EQ(knurl_->Requests().size(), 5u);
}

TEST_F(KnurlTest, ScriptedRepliesInOrder)
{
    const ScriptedReply script[] = {
        ScriptedReply::Ack({0x10, 0x20}),
        ScriptedReply::WithCode(0x99),
        ScriptedReply::WithCode(0xE3),
        ScriptedReply::WithCode(0xFF),
        ScriptedReply::WithCode(0xD2, {'S', 'N', '1'}),
        ScriptedReply::Raw({0x02, 0x00}),
    };
    for (const ScriptedReply& r : script)
        knurl_->Script(r);
    EXPECT_EQ(Exchange(kAcceptBill), Frame({0x00, 0x10, 0x20}));
    EXPECT_EQ(Exchange(kAcceptBill), Frame({0x99}));
    EXPECT_EQ(Exchange(kAcceptBill), Frame({0xE3}));
    EXPECT_EQ(Exchange(kAcceptBill), kRefused);
    EXPECT_EQ(Exchange(Frame({0xD2})), Frame({0xD2, 'S', 'N', '1'}));
    EXPECT_EQ(Exchange(kAcceptBill), (Bytes{0x02, 0x00}));
    EXPECT_EQ(Exchange(kAcceptBill), kAcknowledged);
}

TEST_F(KnurlTest, NotReadyThenTheReplyWhenAskedAgain)
{
    knurl_->Script(ScriptedReply::WithCode(0xD1, {1, 2, 3}).AfterNotReady());
    ASSERT_EQ(Send(Frame({0xD1})), Status::Success);
    EXPECT_EQ(Receive(), Frame({0x55}));
    // A host resets its IN pipe after each read; the reply comes when it reads again.
    EXPECT_EQ(DeviceIoControl(in_, qelusb::IOCTL_QELUSB_RESET_PIPE, nullptr, 0, nullptr, 0, nullptr), Status::Success);
    EXPECT_EQ(Receive(), Frame({0xD1, 1, 2, 3}));
    // A new request forgets a reply that was never asked for.
    knurl_->Script(ScriptedReply::Ack().AfterNotReady());
    EXPECT_EQ(Exchange(kAcceptBill), Frame({0x55}));
    EXPECT_EQ(Exchange(kAcceptBill), kAcknowledged);
}

TEST_F(KnurlTest, DruRepliesEchoClassAndSubCommand)
{
    knurl_->Script(ScriptedReply::Dru({0x42, 0x43}, 0x01));
    knurl_->Script(ScriptedReply::Dru({}));
    Bytes readConfig;
    commands::BuildDruFrame(Bytes{0x02, 0x01}, readConfig);
    EXPECT_EQ(Exchange(readConfig), Frame({0x01, 0xAA, 0x02, 0x01, 0x42, 0x43}));
    Bytes stdAudit;
    commands::BuildDruFrame(Bytes{0x01, 0x07}, stdAudit);
    EXPECT_EQ(Exchange(stdAudit), Frame({0x00, 0xAA, 0x01, 0x07}));
}

TEST_F(KnurlTest, FaultsNameGsaAndDruCommands)
{
    knurl_->AddFault(DruKey(0x02, 0x01), {UsbFaultKind::Status, 1, 0, 1, 0xE1});
    knurl_->AddFault(0x80, {UsbFaultKind::ShortReply, 1, 0, 2});
    Bytes readConfig;
    commands::BuildDruFrame(Bytes{0x02, 0x01}, readConfig);
    Bytes readInhibits;
    commands::BuildDruFrame(Bytes{0x02, 0x03}, readInhibits);
    EXPECT_EQ(Exchange(readInhibits), kAcknowledged);
    EXPECT_EQ(Exchange(readConfig), Frame({0xE1}));
    EXPECT_EQ(Exchange(kAcceptBill), (Bytes{0x02, 0x00, 0x06, 0x00}));
    EXPECT_EQ(Exchange(kAcceptBill), kAcknowledged);
}

}  // namespace
}  // namespace kovrin::emulator::usb::testing
