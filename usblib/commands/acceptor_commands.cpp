#include "usblib/commands/acceptor_commands.h"

#include <cstdlib>

namespace kovrin::usblib::commands {
namespace {

using H = ReplyHandling;
using F = ExactForm;

constexpr uint16_t kPacketMax = 2048;

constexpr GsaCommandRow Plain(const char* name, uint8_t command, H handling)
{
    return {name, command, {0, 0}, 0, 0, handling, 0, F::Bytes};
}

constexpr GsaCommandRow Exactly(const char* name, uint8_t command, uint8_t n, F form = F::Bytes)
{
    return {name, command, {0, 0}, 0, 0, H::Exactly, n, form};
}

constexpr GsaCommandRow kGsa[] = {
    Plain("VoskUsb_GSARequestManCode", 0xD1, H::Data),
    Plain("VoskUsb_GSARequestSN", 0xD2, H::Data),
    Exactly("VoskUsb_GSARequestProdDate", 0xD5, 6),
    Plain("VoskUsb_GSABillTable", 0xE2, H::Data),
    Plain("VoskUsb_GSAResetStats", 0x32, H::Result),
    Plain("VoskUsb_GSAResetBillCounter", 0x34, H::Result),
    Plain("VoskUsb_GSAResetBA", 0x36, H::Result),
    Plain("VoskUsb_GSAStartDownload", 0x61, H::Acknowledged),
    {"VoskUsb_GSASendCRCparam", 0x62, {4, 2}, 0, 0, H::Acknowledged, 0, F::Bytes},
    Exactly("VoskUsb_GSARequestSWCRC", 0x63, 2, F::BigEndian16),
    {"VoskUsb_GSADLDimensions", 0x64, {2, 2}, 0, 0, H::Acknowledged, 0, F::Bytes},
    {"VoskUsb_GSADLPacket", 0x65, {2, 2}, kPacketMax, 0, H::Acknowledged, 0, F::Bytes},
    Plain("VoskUsb_GSACancelDownload", 0x66, H::Acknowledged),
    Plain("VoskUsb_GSAEndDownload", 0x67, H::Result),
    Plain("VoskUsb_GSAFinishDownload", 0x68, H::Result),
    {"VoskUsb_GSASetInhibits", 0x41, {2, 0}, 0, 0, H::Acknowledged, 0, F::Bytes},
    {"VoskUsb_GSASetOrientation", 0x43, {1, 0}, 0, 0, H::Acknowledged, 0, F::Bytes},
    Plain("VoskUsb_GSAAcceptBill", 0x80, H::Acknowledged),
    Plain("VoskUsb_GSAReturnBill", 0x81, H::Acknowledged),
    Plain("VoskUsb_GSAClearEventFlags", 0x83, H::Acknowledged),
    Exactly("VoskUsb_GSARequestBillInhib", 0xC1, 5),
    Exactly("VoskUsb_GSARequestOrientation", 0xC3, 2, F::Stored16),
    Exactly("VoskUsb_GSARequestStatus", 0xCC, 6),
    Exactly("VoskUsb_GSARequestProgRev", 0xD8, 9),
    Exactly("VoskUsb_GSARequestLastFive", 0xD9, 6),
    Plain("VoskUsb_GSAStackedBillInfo", 0xDC, H::Data),
    Plain("VoskUsb_GSARequestStats", 0xDD, H::Data),
    // Two bytes follow the command; they carry nothing, so they are sent as zeros.
    {"VoskUsb_GSABLinkSupported", 0xDE, {0, 0}, 0, 2, H::Exactly, 3, F::Stored16},
    Plain("VoskUsb_GSARequestBarCode", 0xE3, H::Data),
};

constexpr DruCommandRow kDru[] = {
    {"VoskUsb_DruClearStdPerformanceData", 0x01, 0x03, H::Acknowledged},
    {"VoskUsb_DruClearExdPerformanceData", 0x01, 0x04, H::Acknowledged},
    {"VoskUsb_DruClear50Exceptions", 0x01, 0x05, H::Acknowledged},
    {"VoskUsb_DruClearBillsBtwJams", 0x01, 0x06, H::Acknowledged},
    {"VoskUsb_DruStdAudit", 0x01, 0x07, H::DruRead},
    {"VoskUsb_DruExtAudit", 0x01, 0x08, H::DruRead},
    {"VoskUsb_DruClearLifeTotals", 0x01, 0x09, H::Acknowledged},
    {"VoskUsb_DruReadBillTable", 0x01, 0x0A, H::DruRead},
    {"VoskUsb_DruReadConfig", 0x02, 0x01, H::DruRead},
    {"VoskUsb_DruWriteConfig", 0x02, 0x02, H::Acknowledged},
    {"VoskUsb_DruReadInhibits", 0x02, 0x03, H::DruRead},
    {"VoskUsb_DruWriteInhibits", 0x02, 0x04, H::Acknowledged},
    {"VoskUsb_DruReadSecurity", 0x02, 0x05, H::DruRead},
    {"VoskUsb_DruWriteSecurity", 0x02, 0x06, H::Acknowledged},
    {"VoskUsb_DruCalibrateMode", 0x03, 0x01, H::Acknowledged},
    {"VoskUsb_DruStartSMtrFoward", 0x03, 0x02, H::Acknowledged},
    {"VoskUsb_DruStartSMtrReverse", 0x03, 0x03, H::Acknowledged},
    {"VoskUsb_DruStopSMtr", 0x03, 0x04, H::Acknowledged},
};

}  // namespace

std::span<const GsaCommandRow> GsaCommands() { return kGsa; }
std::span<const DruCommandRow> DruCommands() { return kDru; }

const GsaCommandRow& GsaRow(uint8_t command)
{
    for (const GsaCommandRow& row : kGsa)
        if (row.Command == command)
            return row;
    std::abort();  // callers name commands of the table
}

const DruCommandRow& DruRow(uint8_t cls, uint8_t sub)
{
    for (const DruCommandRow& row : kDru)
        if (row.Class == cls && row.Sub == sub)
            return row;
    std::abort();  // callers name commands of the table
}

Result BuildGsaPayload(const GsaCommandRow& row, std::span<const uint32_t> parameters,
                       std::span<const uint8_t> data, std::vector<uint8_t>& payload)
{
    payload.clear();
    if (data.size() > row.DataMax)
        return Result::BadArgument;
    std::vector<uint8_t> bytes{row.Command};
    bytes.insert(bytes.end(), row.ZeroBytes, 0x00);
    size_t next = 0;
    for (uint8_t width : row.Parameters) {
        if (width == 0)
            continue;
        if (next >= parameters.size())
            std::abort();  // a caller that does not match its own table row
        uint32_t value = parameters[next++];
        for (int i = width - 1; i >= 0; --i)
            bytes.push_back(uint8_t(value >> (8 * i)));
    }
    bytes.insert(bytes.end(), data.begin(), data.end());
    payload = std::move(bytes);
    return Result::Success;
}

std::vector<uint8_t> DruBlock(uint8_t cls, uint8_t sub, std::span<const uint8_t> data)
{
    std::vector<uint8_t> block{cls, sub};
    block.insert(block.end(), data.begin(), data.end());
    return block;
}

HandledReply HandleAcceptorReply(ReplyHandling handling, size_t exact, const AcceptorReply& reply)
{
    HandledReply handled{reply.Outcome, {}};
    if (reply.Outcome != Result::Success)
        return handled;
    handled.Data = reply.Data;
    switch (handling) {
    case ReplyHandling::Result:
    case ReplyHandling::Data:
        break;
    case ReplyHandling::Acknowledged:
        if (reply.Code != reply_code::Acknowledged && (reply.Data.empty() || reply.Data[0] != 0))
            handled.Outcome = Result::BadReply;
        break;
    case ReplyHandling::Exactly:
        if (reply.Data.size() != exact)
            handled.Outcome = Result::BadReply;
        break;
    case ReplyHandling::DruRead:
        // Fewer bytes than the echo is a bad reply, never a negative length.
        if (reply.Data.size() < kDruEchoLength)
            handled.Outcome = Result::BadReply;
        else
            handled.Data = reply.Data.subspan(kDruEchoLength);
        break;
    }
    if (handled.Outcome != Result::Success)
        handled.Data = {};
    return handled;
}

HandledReply HandleGenericAcceptorReply(const AcceptorReply& reply)
{
    HandledReply handled = HandleAcceptorReply(ReplyHandling::Data, 0, reply);
    if (handled.Outcome == Result::Success && !handled.Data.empty() && handled.Data[0] == kDruEcho)
        return HandleAcceptorReply(ReplyHandling::DruRead, 0, reply);
    return handled;
}

}  // namespace kovrin::usblib::commands
