// The USB acceptor's exports end to end against the scripted acceptor: the
// frames they send, the replies they take and refuse, and transfer faults.

#include <cstring>
#include <functional>

#include "tests/usblib/emulator_exports_fixture.h"
#include "usblib/commands/acceptor_frame.h"

namespace kovrin::usblib::testing {
namespace {

using emulator::usb::DruKey;
using emulator::usb::ScriptedReply;

Bytes Frame(const Bytes& payload)
{
    Bytes frame;
    commands::BuildAcceptorFrame(payload, frame);
    return frame;
}

class AcceptorExportsTest : public EmulatorExportsTest {
protected:
    void SetUp() override
    {
        EmulatorExportsTest::SetUp();
        knurl_ = std::make_shared<KnurlEmulator>();
        acceptor_ = OpenEmulator(knurl_);
    }

    // The payload of the last frame the acceptor received.
    Bytes LastPayload()
    {
        std::vector<Bytes> requests = knurl_->Requests();
        if (requests.empty() || requests.back().size() < 5)
            return {};
        const Bytes& frame = requests.back();
        return Bytes(frame.begin() + 3, frame.end() - 2);
    }

    std::shared_ptr<KnurlEmulator> knurl_;
    UsbDevice acceptor_ = 0;
    uint8_t status_ = 0xEE;
    uint8_t buffer_[VOSKUSB_REPLY_DATA_MAX];
    uint16_t length_ = 0xEEEE;
};

TEST_F(AcceptorExportsTest, AcceptBillFrame)
{
    EXPECT_EQ(VoskUsb_GSAAcceptBill(acceptor_, &status_), USB_RESULT_SUCCESS);
    EXPECT_EQ(knurl_->Requests(), std::vector<Bytes>{Bytes({0x02, 0x00, 0x06, 0x80, 0xD6, 0x46})});
    EXPECT_EQ(status_, 0);
    EXPECT_EQ(knurl_->BadFrames(), 0);
}

TEST_F(AcceptorExportsTest, EveryExportsRequest)
{
    UsbDevice a = acceptor_;
    uint8_t* s = &status_;
    uint8_t* b = buffer_;
    uint16_t* l = &length_;
    uint16_t value = 0;
    VoskUsbBLinkInfo blink{};
    uint8_t unused = 0;
    const Bytes data = {0x0A, 0x0B};
    struct Case {
        const char* Export;
        std::function<UsbResult()> Call;
        Bytes Payload;
    };
    const Case cases[] = {
        {"GSARequestManCode", [&] { return VoskUsb_GSARequestManCode(a, b, l); }, {0xD1}},
        {"GSARequestSN", [&] { return VoskUsb_GSARequestSN(a, b, l); }, {0xD2}},
        {"GSARequestProdDate", [&] { return VoskUsb_GSARequestProdDate(a, b, l); }, {0xD5}},
        {"GSABillTable", [&] { return VoskUsb_GSABillTable(a, b, l); }, {0xE2}},
        {"GSAResetStats", [&] { return VoskUsb_GSAResetStats(a, s); }, {0x32}},
        {"GSAResetBillCounter", [&] { return VoskUsb_GSAResetBillCounter(a, s); }, {0x34}},
        {"GSAResetBA", [&] { return VoskUsb_GSAResetBA(a, s); }, {0x36}},
        {"GSAStartDownload", [&] { return VoskUsb_GSAStartDownload(a, s); }, {0x61}},
        {"GSASendCRCparam", [&] { return VoskUsb_GSASendCRCparam(a, 0x01020304, 0xAB0506, l, s); },
         {0x62, 1, 2, 3, 4, 5, 6}},
        {"GSARequestSWCRC", [&] { return VoskUsb_GSARequestSWCRC(a, &value, l, s); }, {0x63}},
        {"GSADLDimensions", [&] { return VoskUsb_GSADLDimensions(a, s, 0x0102, 0x10304); }, {0x64, 1, 2, 3, 4}},
        {"GSADLPacket", [&] { return VoskUsb_GSADLPacket(a, s, 0x10, 2, data.data()); },
         {0x65, 0x00, 0x10, 0x00, 0x02, 0x0A, 0x0B}},
        {"GSACancelDownload", [&] { return VoskUsb_GSACancelDownload(a, s); }, {0x66}},
        {"GSAEndDownload", [&] { return VoskUsb_GSAEndDownload(a, s); }, {0x67}},
        {"GSAFinishDownload", [&] { return VoskUsb_GSAFinishDownload(a, s); }, {0x68}},
        {"GSASetInhibits", [&] { return VoskUsb_GSASetInhibits(a, 0, 99, s); }, {0x41, 0x00, 0x00}},
        {"GSASetOrientation", [&] { return VoskUsb_GSASetOrientation(a, 0x1FE, 99, s); }, {0x43, 0xFE}},
        {"GSAAcceptBill", [&] { return VoskUsb_GSAAcceptBill(a, s); }, {0x80}},
        {"GSAReturnBill", [&] { return VoskUsb_GSAReturnBill(a, s); }, {0x81}},
        {"GSAClearEventFlags", [&] { return VoskUsb_GSAClearEventFlags(a, s); }, {0x83}},
        {"GSARequestBillInhib", [&] { return VoskUsb_GSARequestBillInhib(a, b, l, s); }, {0xC1}},
        {"GSARequestOrientation", [&] { return VoskUsb_GSARequestOrientation(a, &value, l, s); }, {0xC3}},
        {"GSARequestStatus", [&] { return VoskUsb_GSARequestStatus(a, b, l, s); }, {0xCC}},
        {"GSARequestProgRev", [&] { return VoskUsb_GSARequestProgRev(a, b, l, s); }, {0xD8}},
        {"GSARequestLastFive", [&] { return VoskUsb_GSARequestLastFive(a, b, l, s); }, {0xD9}},
        {"GSAStackedBillInfo", [&] { return VoskUsb_GSAStackedBillInfo(a, b, l); }, {0xDC}},
        {"GSARequestStats", [&] { return VoskUsb_GSARequestStats(a, b, l, s); }, {0xDD}},
        {"GSABLinkSupported", [&] { return VoskUsb_GSABLinkSupported(a, &blink, l, &unused); }, {0xDE, 0x00, 0x00}},
        {"GSARequestBarCode", [&] { return VoskUsb_GSARequestBarCode(a, b, l, s); }, {0xE3}},
        {"DruClearStdPerformanceData", [&] { return VoskUsb_DruClearStdPerformanceData(a, s); }, {0xFF, 0xAA, 1, 3}},
        {"DruClearExdPerformanceData", [&] { return VoskUsb_DruClearExdPerformanceData(a, s); }, {0xFF, 0xAA, 1, 4}},
        {"DruClear50Exceptions", [&] { return VoskUsb_DruClear50Exceptions(a, s); }, {0xFF, 0xAA, 1, 5}},
        {"DruClearBillsBtwJams", [&] { return VoskUsb_DruClearBillsBtwJams(a, s); }, {0xFF, 0xAA, 1, 6}},
        {"DruStdAudit", [&] { return VoskUsb_DruStdAudit(a, s, b, l); }, {0xFF, 0xAA, 1, 7}},
        {"DruExtAudit", [&] { return VoskUsb_DruExtAudit(a, s, b, l); }, {0xFF, 0xAA, 1, 8}},
        {"DruClearLifeTotals", [&] { return VoskUsb_DruClearLifeTotals(a, s); }, {0xFF, 0xAA, 1, 9}},
        {"DruReadBillTable", [&] { return VoskUsb_DruReadBillTable(a, s, b, l); }, {0xFF, 0xAA, 1, 0x0A}},
        {"DruReadConfig", [&] { return VoskUsb_DruReadConfig(a, s, b, l); }, {0xFF, 0xAA, 2, 1}},
        {"DruWriteConfig", [&] { return VoskUsb_DruWriteConfig(a, s, data.data(), 2); },
         {0xFF, 0xAA, 2, 2, 0x0A, 0x0B}},
        {"DruWriteConfig, no data", [&] { return VoskUsb_DruWriteConfig(a, s, data.data(), 0x10000); },
         {0xFF, 0xAA, 2, 2}},
        {"DruReadInhibits", [&] { return VoskUsb_DruReadInhibits(a, s, b, l); }, {0xFF, 0xAA, 2, 3}},
        {"DruWriteInhibits", [&] { return VoskUsb_DruWriteInhibits(a, s, data.data(), 1); }, {0xFF, 0xAA, 2, 4, 0x0A}},
        {"DruReadSecurity", [&] { return VoskUsb_DruReadSecurity(a, s, b, l); }, {0xFF, 0xAA, 2, 5}},
        {"DruWriteSecurity", [&] { return VoskUsb_DruWriteSecurity(a, s, data.data(), 2); },
         {0xFF, 0xAA, 2, 6, 0x0A, 0x0B}},
        {"DruCalibrateMode", [&] { return VoskUsb_DruCalibrateMode(a, s); }, {0xFF, 0xAA, 3, 1}},
        {"DruStartSMtrFoward", [&] { return VoskUsb_DruStartSMtrFoward(a, s); }, {0xFF, 0xAA, 3, 2}},
        {"DruStartSMtrReverse", [&] { return VoskUsb_DruStartSMtrReverse(a, s); }, {0xFF, 0xAA, 3, 3}},
        {"DruStopSMtr", [&] { return VoskUsb_DruStopSMtr(a, s); }, {0xFF, 0xAA, 3, 4}},
        {"DruSendCommand", [&] { return VoskUsb_DruSendCommand(a, 0x105, 0x206); }, {0xFF, 0xAA, 5, 6}},
        {"DruReadCommand", [&] {
             length_ = 16;
             return VoskUsb_DruReadCommand(a, 7, 8, b, l);
         }, {0xFF, 0xAA, 7, 8}},
        {"DruWriteCommand", [&] { return VoskUsb_DruWriteCommand(a, 9, 10, data.data(), 1); },
         {0xFF, 0xAA, 9, 10, 0x0A}},
        {"Generic", [&] { return VoskUsb_Generic(a, data.data(), 2, b, l); }, {0x0A, 0x0B}},
    };
    for (const Case& c : cases) {
        size_t before = knurl_->Requests().size();
        UsbResult result = c.Call();
        EXPECT_TRUE(result == USB_RESULT_SUCCESS || result == USB_RESULT_BAD_REPLY) << c.Export << " " << result;
        EXPECT_EQ(knurl_->Requests().size(), before + 1) << c.Export;
        EXPECT_EQ(LastPayload(), c.Payload) << c.Export;
    }
    EXPECT_EQ(knurl_->BadFrames(), 0);
}

TEST_F(AcceptorExportsTest, ShortRepliesAndTheirResults)
{
    struct Case {
        ScriptedReply Reply;
        UsbResult Acknowledged;  // an export of the acknowledged kind
        UsbResult Result;        // one of the result kind
    };
    const Case cases[] = {
        {ScriptedReply::Ack(), USB_RESULT_SUCCESS, USB_RESULT_SUCCESS},
        {ScriptedReply::WithCode(0x99), USB_RESULT_NOT_SUPPORTED, USB_RESULT_NOT_SUPPORTED},
        {ScriptedReply::WithCode(0xE0), 15, 15},
        {ScriptedReply::WithCode(0xE2), 17, 17},
        {ScriptedReply::WithCode(0xE4), 19, 19},
        {ScriptedReply::WithCode(0xFF), USB_RESULT_REFUSED, USB_RESULT_REFUSED},
        {ScriptedReply::WithCode(0x42), USB_RESULT_BAD_REPLY, USB_RESULT_SUCCESS},
        {ScriptedReply::WithCode(0x42, {0x00}), USB_RESULT_SUCCESS, USB_RESULT_SUCCESS},
        {ScriptedReply::Ack().AfterNotReady(), USB_RESULT_SUCCESS, USB_RESULT_SUCCESS},
        {ScriptedReply::WithCode(0xE1).AfterNotReady(), 16, 16},
        // A second "not ready" is a reply without data.
        {ScriptedReply::WithCode(0x55).AfterNotReady(), USB_RESULT_BAD_REPLY, USB_RESULT_SUCCESS},
    };
    for (const Case& c : cases) {
        knurl_->Script(c.Reply);
        status_ = 0xEE;
        EXPECT_EQ(VoskUsb_GSAReturnBill(acceptor_, &status_), c.Acknowledged) << int(c.Reply.Code);
        EXPECT_EQ(status_, 0);
        knurl_->Script(c.Reply);
        EXPECT_EQ(VoskUsb_GSAResetBA(acceptor_, &status_), c.Result) << int(c.Reply.Code);
    }
}

TEST_F(AcceptorExportsTest, MalformedRepliesAreBad)
{
    Bytes good = Frame({0xD2, 'S', 'N'});
    auto with = [&](size_t at, uint8_t v) {
        Bytes b = good;
        b[at] = v;
        return b;
    };
    const Bytes replies[] = {
        with(0, 0x03),                               // start byte
        {0x03, 0x00, 0x06, 0x00, 0x31, 0x7A},        // start byte, though its CRC is right
        with(2, 0x09),                               // length field
        with(7, uint8_t(good[7] ^ 1)),               // CRC
        with(3, 0xD3),                               // a byte that the CRC covers
        {0x02, 0x00, 0x05, 0x00, 0x00},              // five bytes
        {},                                          // nothing
    };
    for (const Bytes& reply : replies) {
        knurl_->Script(ScriptedReply::Raw(reply));
        length_ = 0xEEEE;
        buffer_[0] = 0xEE;
        EXPECT_EQ(VoskUsb_GSARequestSN(acceptor_, buffer_, &length_), USB_RESULT_BAD_REPLY) << reply.size();
        EXPECT_EQ(length_, 0);
        EXPECT_EQ(buffer_[0], 0xEE);
    }
    knurl_->Script(ScriptedReply::Raw(good));
    EXPECT_EQ(VoskUsb_GSARequestSN(acceptor_, buffer_, &length_), USB_RESULT_SUCCESS);
    EXPECT_EQ(Bytes(buffer_, buffer_ + length_), (Bytes{'S', 'N'}));
}

TEST_F(AcceptorExportsTest, DataReplies)
{
    knurl_->Script(ScriptedReply::WithCode(0xDD, {1, 2, 3}));
    EXPECT_EQ(VoskUsb_GSARequestStats(acceptor_, buffer_, &length_, &status_), USB_RESULT_SUCCESS);
    EXPECT_EQ(Bytes(buffer_, buffer_ + length_), (Bytes{1, 2, 3}));
    // An acknowledgement that carries data delivers them from the buffer's start too.
    knurl_->Script(ScriptedReply::Ack({7, 8}));
    EXPECT_EQ(VoskUsb_GSARequestBarCode(acceptor_, buffer_, &length_, &status_), USB_RESULT_SUCCESS);
    EXPECT_EQ(Bytes(buffer_, buffer_ + length_), (Bytes{7, 8}));
    knurl_->Script(ScriptedReply::Ack());
    EXPECT_EQ(VoskUsb_GSAStackedBillInfo(acceptor_, buffer_, &length_), USB_RESULT_SUCCESS);
    EXPECT_EQ(length_, 0);
    Bytes most(VOSKUSB_REPLY_DATA_MAX, 0x5A);
    knurl_->Script(ScriptedReply::WithCode(0xE2, most));
    EXPECT_EQ(VoskUsb_GSABillTable(acceptor_, buffer_, &length_), USB_RESULT_SUCCESS);
    EXPECT_EQ(length_, VOSKUSB_REPLY_DATA_MAX);
    EXPECT_EQ(buffer_[VOSKUSB_REPLY_DATA_MAX - 1], 0x5A);
}

TEST_F(AcceptorExportsTest, RepliesOfAnExactLength)
{
    uint8_t record[9];
    knurl_->Script(ScriptedReply::WithCode(0xD5, {1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(VoskUsb_GSARequestProdDate(acceptor_, record, &length_), USB_RESULT_SUCCESS);
    EXPECT_EQ(Bytes(record, record + 6), (Bytes{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(length_, 6);

    std::memset(record, 0xEE, sizeof record);
    knurl_->Script(ScriptedReply::WithCode(0xD8, {1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(VoskUsb_GSARequestProgRev(acceptor_, record, &length_, &status_), USB_RESULT_BAD_REPLY);
    EXPECT_EQ(Bytes(record, record + 9), Bytes(9, 0));  // cleared, not filled
    EXPECT_EQ(length_, 0);

    uint16_t value = 0;
    knurl_->Script(ScriptedReply::WithCode(0x63, {0x12, 0x34}));
    EXPECT_EQ(VoskUsb_GSARequestSWCRC(acceptor_, &value, &length_, &status_), USB_RESULT_SUCCESS);
    EXPECT_EQ(value, 0x1234);
    knurl_->Script(ScriptedReply::WithCode(0xC3, {0x12, 0x34}));
    EXPECT_EQ(VoskUsb_GSARequestOrientation(acceptor_, &value, &length_, &status_), USB_RESULT_SUCCESS);
    EXPECT_EQ(value, 0x3412);
    EXPECT_EQ(length_, 2);

    VoskUsbBLinkInfo blink{0xEEEE, 0xEE};
    uint8_t unused = 0x77;
    knurl_->Script(ScriptedReply::WithCode(0xDE, {0x12, 0x34, 0x56}));
    EXPECT_EQ(VoskUsb_GSABLinkSupported(acceptor_, &blink, &length_, &unused), USB_RESULT_SUCCESS);
    EXPECT_EQ(blink.Value, 0x3412);
    EXPECT_EQ(blink.Flag, 0x56);
    EXPECT_EQ(unused, 0x77);
    EXPECT_EQ(VoskUsb_GSABLinkSupported(acceptor_, &blink, &length_, nullptr), USB_RESULT_BAD_ARGUMENT);
}

TEST_F(AcceptorExportsTest, SendCrcParameterReportsTheReplysLength)
{
    knurl_->Script(ScriptedReply::Ack({0, 0, 0}));
    EXPECT_EQ(VoskUsb_GSASendCRCparam(acceptor_, 1, 2, &length_, &status_), USB_RESULT_SUCCESS);
    EXPECT_EQ(length_, 3);
    knurl_->Script(ScriptedReply::WithCode(0x42, {1}));
    EXPECT_EQ(VoskUsb_GSASendCRCparam(acceptor_, 1, 2, &length_, &status_), USB_RESULT_BAD_REPLY);
    EXPECT_EQ(length_, 1);
    knurl_->AddFault(0x62, {UsbFaultKind::StallReply});
    EXPECT_EQ(VoskUsb_GSASendCRCparam(acceptor_, 1, 2, &length_, &status_), USB_RESULT_LINK_FAILED);
    EXPECT_EQ(length_, 0);
}

TEST_F(AcceptorExportsTest, DruReads)
{
    knurl_->Script(ScriptedReply::Dru({0x10, 0x20, 0x30}, 0x01));
    EXPECT_EQ(VoskUsb_DruReadConfig(acceptor_, &status_, buffer_, &length_), USB_RESULT_SUCCESS);
    EXPECT_EQ(Bytes(buffer_, buffer_ + length_), (Bytes{0x10, 0x20, 0x30}));
    knurl_->Script(ScriptedReply::Dru({}));
    EXPECT_EQ(VoskUsb_DruStdAudit(acceptor_, &status_, buffer_, &length_), USB_RESULT_SUCCESS);
    EXPECT_EQ(length_, 0);
    // Fewer data bytes than the echo: a bad reply, never a negative length.
    for (const Bytes& data : {Bytes{}, Bytes{0xAA}, Bytes{0xAA, 0x02}}) {
        knurl_->Script(ScriptedReply::WithCode(0x01, data));
        length_ = 0xEEEE;
        EXPECT_EQ(VoskUsb_DruReadInhibits(acceptor_, &status_, buffer_, &length_), USB_RESULT_BAD_REPLY) << data.size();
        EXPECT_EQ(length_, 0);
    }
}

TEST_F(AcceptorExportsTest, DruReadWithTheCallersCapacity)
{
    Bytes ten = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    knurl_->Script(ScriptedReply::Dru(ten, 0x01));
    std::memset(buffer_, 0xEE, 8);
    length_ = 4;
    EXPECT_EQ(VoskUsb_DruReadCommand(acceptor_, 0x02, 0x01, buffer_, &length_), USB_RESULT_DATA_OVERLOAD);
    EXPECT_EQ(length_, 4);
    EXPECT_EQ(Bytes(buffer_, buffer_ + 5), (Bytes{1, 2, 3, 4, 0xEE}));
    knurl_->Script(ScriptedReply::Dru(ten, 0x01));
    length_ = 10;
    EXPECT_EQ(VoskUsb_DruReadCommand(acceptor_, 0x02, 0x01, buffer_, &length_), USB_RESULT_SUCCESS);
    EXPECT_EQ(Bytes(buffer_, buffer_ + length_), ten);
}

TEST_F(AcceptorExportsTest, GenericExchanges)
{
    const uint8_t request[] = {0xD2};
    knurl_->Script(ScriptedReply::Dru({0x44}, 0x01));
    EXPECT_EQ(VoskUsb_Generic(acceptor_, request, 1, buffer_, &length_), USB_RESULT_SUCCESS);
    EXPECT_EQ(Bytes(buffer_, buffer_ + length_), Bytes{0x44});
    knurl_->Script(ScriptedReply::Ack({0x45, 0x46}));
    EXPECT_EQ(VoskUsb_Generic(acceptor_, request, 1, buffer_, &length_), USB_RESULT_SUCCESS);
    EXPECT_EQ(Bytes(buffer_, buffer_ + length_), (Bytes{0x45, 0x46}));
    knurl_->Script(ScriptedReply::WithCode(0x01, {0xAA, 0x02}));
    EXPECT_EQ(VoskUsb_Generic(acceptor_, request, 1, buffer_, &length_), USB_RESULT_BAD_REPLY);
    EXPECT_EQ(length_, 0);
    knurl_->Script(ScriptedReply::WithCode(0xE3));
    EXPECT_EQ(VoskUsb_Generic(acceptor_, request, 1, nullptr, &length_), 18);
    knurl_->Script(ScriptedReply::Ack({1}));
    EXPECT_EQ(VoskUsb_Generic(acceptor_, request, 1, nullptr, &length_), USB_RESULT_BAD_ARGUMENT);
    EXPECT_EQ(length_, 1);
    Bytes tooLong(4092, 0);
    size_t before = knurl_->Requests().size();
    EXPECT_EQ(VoskUsb_Generic(acceptor_, tooLong.data(), uint32_t(tooLong.size()), buffer_, &length_),
              USB_RESULT_BAD_ARGUMENT);
    EXPECT_EQ(knurl_->Requests().size(), before);
}

TEST_F(AcceptorExportsTest, ArgumentsCheckedBeforeAnythingIsSent)
{
    Bytes data(4090, 0);
    const std::function<UsbResult()> calls[] = {
        [&] { return VoskUsb_GSADLPacket(acceptor_, &status_, 0, 2049, data.data()); },
        [&] { return VoskUsb_GSADLPacket(acceptor_, &status_, 0, 0, nullptr); },
        [&] { return VoskUsb_GSAAcceptBill(acceptor_, nullptr); },
        [&] { return VoskUsb_GSARequestSN(acceptor_, nullptr, &length_); },
        [&] { return VoskUsb_GSARequestSN(acceptor_, buffer_, nullptr); },
        [&] { return VoskUsb_DruReadConfig(acceptor_, nullptr, buffer_, &length_); },
        [&] { return VoskUsb_DruReadCommand(acceptor_, 1, 2, buffer_, nullptr); },
        [&] { return VoskUsb_DruWriteCommand(acceptor_, 1, 2, data.data(), 0x10000); },
        [&] { return VoskUsb_DruWriteCommand(acceptor_, 1, 2, nullptr, 1); },
        [&] { return VoskUsb_DruWriteConfig(acceptor_, &status_, data.data(), 4088); },
        [&] { return VoskUsb_Generic(acceptor_, nullptr, 1, buffer_, &length_); },
        [&] { return VoskUsb_Generic(acceptor_, data.data(), 0, buffer_, &length_); },
    };
    for (size_t i = 0; i < std::size(calls); ++i)
        EXPECT_EQ(calls[i](), USB_RESULT_BAD_ARGUMENT) << i;
    EXPECT_TRUE(knurl_->Requests().empty());
    // The longest Dru write fits one frame of 4096 bytes.
    EXPECT_EQ(VoskUsb_DruWriteConfig(acceptor_, &status_, data.data(), 4087), USB_RESULT_SUCCESS);
    ASSERT_EQ(knurl_->Requests().size(), 1u);
    EXPECT_EQ(knurl_->Requests()[0].size(), 4096u);
}

TEST_F(AcceptorExportsTest, AcceptorCommandsToAModuleAreRefused)
{
    auto module = std::make_shared<ModuleEmulator>();
    int port = bus_->Plug(module);
    ports_.push_back(port);
    Settle();
    ASSERT_EQ(events_.size(), 2u);
    UsbDevice kdu = events_.back().Device;
    ASSERT_EQ(VoskUsb_OpenDevice(kdu), USB_RESULT_SUCCESS);
    EXPECT_EQ(VoskUsb_DruReadConfig(kdu, &status_, buffer_, &length_), USB_RESULT_WRONG_DEVICE_TYPE);
    EXPECT_EQ(VoskUsb_GSAAcceptBill(kdu, &status_), USB_RESULT_WRONG_DEVICE_TYPE);
    EXPECT_TRUE(module->Requests().empty());
    VoskUsb_Remove();
    EXPECT_EQ(VoskUsb_DruReadConfig(acceptor_, &status_, buffer_, &length_), USB_RESULT_NOT_INITIALISED);
}

// ---- faults of the acceptor, seen through the exports

TEST_F(AcceptorExportsTest, SpoiltReplies)
{
    struct Case {
        const char* What;
        UsbFault Fault;
        UsbResult Expected;
    };
    const Case cases[] = {
        {"a byte short", {UsbFaultKind::ShortReply}, USB_RESULT_BAD_REPLY},
        {"a byte long", {UsbFaultKind::LongReply}, USB_RESULT_BAD_REPLY},
        {"status 0xE0", {UsbFaultKind::Status, 1, 0, 1, 0xE0}, 15},
        {"status 0x99", {UsbFaultKind::Status, 1, 0, 1, 0x99}, USB_RESULT_NOT_SUPPORTED},
    };
    for (const Case& c : cases) {
        knurl_->AddFault(DruKey(0x02, 0x01), c.Fault);
        knurl_->Script(ScriptedReply::Dru({1, 2}));
        EXPECT_EQ(VoskUsb_DruReadConfig(acceptor_, &status_, buffer_, &length_), c.Expected) << c.What;
        knurl_->Script(ScriptedReply::Dru({1, 2}));
        EXPECT_EQ(VoskUsb_DruReadConfig(acceptor_, &status_, buffer_, &length_), USB_RESULT_SUCCESS) << c.What;
        EXPECT_EQ(length_, 2) << c.What;
    }
}

TEST_F(AcceptorExportsTest, TransferFaultsAndTheExchangeAfterThem)
{
    struct Case {
        const char* What;
        UsbFault Fault;
        UsbResult Expected;
    };
    const Case cases[] = {
        {"no reply", {UsbFaultKind::NoReply}, USB_RESULT_TIME_OUT},
        {"late reply", {UsbFaultKind::LateReply}, USB_RESULT_TIME_OUT},
        {"stalled reply", {UsbFaultKind::StallReply}, USB_RESULT_LINK_FAILED},
        {"stalled request", {UsbFaultKind::StallRequest}, USB_RESULT_WRITE_FAILED},
    };
    for (const Case& c : cases) {
        knurl_->AddFault(0xD2, c.Fault);
        // A stalled request never reaches the acceptor, so it takes no reply off the script.
        if (c.Fault.kind != UsbFaultKind::StallRequest)
            knurl_->Script(ScriptedReply::WithCode(0xD2, {'o', 'l', 'd'}));
        if (c.Expected == USB_RESULT_TIME_OUT)
            user::SetTimeLimitScale(kShortTimeLimits);
        EXPECT_EQ(VoskUsb_GSARequestSN(acceptor_, buffer_, &length_), c.Expected) << c.What;
        user::SetTimeLimitScale(1);
        ReleaseLateReplies(*knurl_);
        knurl_->Script(ScriptedReply::WithCode(0xD2, {'n', 'e', 'w'}));
        EXPECT_EQ(VoskUsb_GSARequestSN(acceptor_, buffer_, &length_), USB_RESULT_SUCCESS) << c.What;
        EXPECT_EQ(Bytes(buffer_, buffer_ + length_), (Bytes{'n', 'e', 'w'})) << c.What;
    }
}

TEST_F(AcceptorExportsTest, UnplugBetweenRequestAndReply)
{
    knurl_->AddFault(0x80, {UsbFaultKind::Unplug});
    EXPECT_EQ(VoskUsb_GSAAcceptBill(acceptor_, &status_), USB_RESULT_LINK_FAILED);
    Settle();
    ASSERT_EQ(events_.size(), 2u);
    EXPECT_EQ(events_[1].Event, USB_DEVICE_REMOVED);
    EXPECT_EQ(events_[1].Type, USB_DEVICE_KNURL);
}

}  // namespace
}  // namespace kovrin::usblib::testing
