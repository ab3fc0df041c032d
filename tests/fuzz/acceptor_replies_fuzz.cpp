// The USB acceptor's frames and the ways its replies are taken. Input: a mode
// byte (bit 0: the rest is a payload that gets its frame built around it, so
// that the check bytes hold; else the rest is the received frame; bits 1-3
// equal to 001: a payload near the 4096-byte limit is framed too, 4089 to
// 4092 bytes by bits 4-5), then the bytes. Frames are also checked byte for byte against the
// frame's table as written out here, with a CRC of its own; the outcome of a
// reply by the reply-code table; each handling by the protocol's rules, with its
// exact bytes; and the same bytes serve as a GSA or Dru request (a command by
// the first byte, two parameters from the next eight, data after them),
// checked against the command tables as written out here.

#include <algorithm>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "tests/fuzz/fuzz_support.h"
#include "usblib/commands/acceptor_commands.h"
#include "usblib/commands/acceptor_frame.h"
#include "usblib/commands/crc16_xmodem.h"

using namespace kovrin::usblib::commands;
using kovrin::fuzz::Input;
using kovrin::fuzz::Inside;

namespace {

const ReplyHandling kHandlings[] = {ReplyHandling::Result, ReplyHandling::Acknowledged, ReplyHandling::Data,
                                    ReplyHandling::Exactly, ReplyHandling::DruRead};

// CRC-16/XMODEM: polynomial 0x1021, initial value 0, no reflection, no final XOR.
uint16_t Crc(std::span<const uint8_t> bytes)
{
    uint16_t crc = 0;
    for (uint8_t b : bytes) {
        crc ^= uint16_t(b << 8);
        for (int i = 0; i < 8; ++i)
            crc = uint16_t(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return crc;
}

// 0x02, the whole length L (big-endian), the payload, the CRC of bytes 0 to L-3 (high byte first).
std::vector<uint8_t> Frame(const std::vector<uint8_t>& payload)
{
    const size_t length = payload.size() + 5;
    std::vector<uint8_t> frame = {0x02, uint8_t(length >> 8), uint8_t(length)};
    frame.insert(frame.end(), payload.begin(), payload.end());
    const uint16_t crc = Crc(frame);
    frame.push_back(uint8_t(crc >> 8));
    frame.push_back(uint8_t(crc));
    return frame;
}

// The outcome of a whole reply by the reply-code table (UsbResult numbers), for a 6-byte reply only.
int32_t OutcomeByTable(std::span<const uint8_t> frame)
{
    if (frame.size() != 6)
        return 0;
    const uint8_t code = frame[3];
    if (code == 0x99)
        return 13;
    if (code == 0xFF)
        return 12;
    if (code >= 0xE0 && code <= 0xE4)
        return 15 + (code - 0xE0);
    return 0;
}

bool SameBytes(std::span<const uint8_t> a, std::span<const uint8_t> b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}

// Each handling by the protocol's rules: the outcome and, on success, exactly which bytes of the reply go on.
void CheckHandlingByRules(ReplyHandling handling, size_t exact, const AcceptorReply& reply,
                          const HandledReply& handled)
{
    if (reply.Outcome != Result::Success) {
        FUZZ_CHECK(handled.Outcome == reply.Outcome && handled.Data.empty());
        return;
    }
    const std::span<const uint8_t> d = reply.Data;
    switch (handling) {
    case ReplyHandling::Result:
    case ReplyHandling::Data:
        FUZZ_CHECK(handled.Outcome == Result::Success);
        FUZZ_CHECK(handled.Data.data() == d.data() && handled.Data.size() == d.size());
        break;
    case ReplyHandling::Acknowledged: {
        // The reader's first buffer byte: 0 for code 0x00, else the first data byte (0x02 for a 6-byte reply).
        const uint8_t first = reply.Code == 0x00 ? 0 : d.empty() ? 0x02 : d[0];
        FUZZ_CHECK((handled.Outcome == Result::Success) == (first == 0));
        if (first != 0)
            FUZZ_CHECK(handled.Outcome == Result::BadReply && handled.Data.empty());
        break;
    }
    case ReplyHandling::Exactly:
        FUZZ_CHECK((handled.Outcome == Result::Success) == (d.size() == exact));
        if (d.size() == exact)
            FUZZ_CHECK(handled.Data.data() == d.data() && handled.Data.size() == exact);
        else
            FUZZ_CHECK(handled.Outcome == Result::BadReply);
        break;
    case ReplyHandling::DruRead:
        // d - 3 bytes after the echo; no data at all is a bad reply (1 or 2 bytes: the implementer's choice).
        if (d.size() >= 3) {
            FUZZ_CHECK(handled.Outcome == Result::Success);
            FUZZ_CHECK(handled.Data.data() == d.data() + 3 && handled.Data.size() == d.size() - 3);
        } else if (d.empty()) {
            FUZZ_CHECK(handled.Outcome == Result::BadReply);
        }
        break;
    }
}

// The GSA command table, written out again: command, parameter widths, data allowed, zero bytes
// after the command, handling and exact length.
struct ExpectedGsa {
    const char* name;
    uint8_t command;
    uint8_t widths[2];
    size_t dataMax;
    uint8_t zeros;
    ReplyHandling handling;
    uint8_t exact;
};

const ExpectedGsa kGsaRows[] = {
    {"VoskUsb_GSARequestManCode", 0xD1, {0, 0}, 0, 0, ReplyHandling::Data, 0},
    {"VoskUsb_GSARequestSN", 0xD2, {0, 0}, 0, 0, ReplyHandling::Data, 0},
    {"VoskUsb_GSARequestProdDate", 0xD5, {0, 0}, 0, 0, ReplyHandling::Exactly, 6},
    {"VoskUsb_GSABillTable", 0xE2, {0, 0}, 0, 0, ReplyHandling::Data, 0},
    {"VoskUsb_GSAResetStats", 0x32, {0, 0}, 0, 0, ReplyHandling::Result, 0},
    {"VoskUsb_GSAResetBillCounter", 0x34, {0, 0}, 0, 0, ReplyHandling::Result, 0},
    {"VoskUsb_GSAResetBA", 0x36, {0, 0}, 0, 0, ReplyHandling::Result, 0},
    {"VoskUsb_GSAStartDownload", 0x61, {0, 0}, 0, 0, ReplyHandling::Acknowledged, 0},
    {"VoskUsb_GSASendCRCparam", 0x62, {4, 2}, 0, 0, ReplyHandling::Acknowledged, 0},
    {"VoskUsb_GSARequestSWCRC", 0x63, {0, 0}, 0, 0, ReplyHandling::Exactly, 2},
    {"VoskUsb_GSADLDimensions", 0x64, {2, 2}, 0, 0, ReplyHandling::Acknowledged, 0},
    {"VoskUsb_GSADLPacket", 0x65, {2, 2}, 2048, 0, ReplyHandling::Acknowledged, 0},
    {"VoskUsb_GSACancelDownload", 0x66, {0, 0}, 0, 0, ReplyHandling::Acknowledged, 0},
    {"VoskUsb_GSAEndDownload", 0x67, {0, 0}, 0, 0, ReplyHandling::Result, 0},
    {"VoskUsb_GSAFinishDownload", 0x68, {0, 0}, 0, 0, ReplyHandling::Result, 0},
    {"VoskUsb_GSASetInhibits", 0x41, {2, 0}, 0, 0, ReplyHandling::Acknowledged, 0},
    {"VoskUsb_GSASetOrientation", 0x43, {1, 0}, 0, 0, ReplyHandling::Acknowledged, 0},
    {"VoskUsb_GSAAcceptBill", 0x80, {0, 0}, 0, 0, ReplyHandling::Acknowledged, 0},
    {"VoskUsb_GSAReturnBill", 0x81, {0, 0}, 0, 0, ReplyHandling::Acknowledged, 0},
    {"VoskUsb_GSAClearEventFlags", 0x83, {0, 0}, 0, 0, ReplyHandling::Acknowledged, 0},
    {"VoskUsb_GSARequestBillInhib", 0xC1, {0, 0}, 0, 0, ReplyHandling::Exactly, 5},
    {"VoskUsb_GSARequestOrientation", 0xC3, {0, 0}, 0, 0, ReplyHandling::Exactly, 2},
    {"VoskUsb_GSARequestStatus", 0xCC, {0, 0}, 0, 0, ReplyHandling::Exactly, 6},
    {"VoskUsb_GSARequestProgRev", 0xD8, {0, 0}, 0, 0, ReplyHandling::Exactly, 9},
    {"VoskUsb_GSARequestLastFive", 0xD9, {0, 0}, 0, 0, ReplyHandling::Exactly, 6},
    {"VoskUsb_GSAStackedBillInfo", 0xDC, {0, 0}, 0, 0, ReplyHandling::Data, 0},
    {"VoskUsb_GSARequestStats", 0xDD, {0, 0}, 0, 0, ReplyHandling::Data, 0},
    {"VoskUsb_GSABLinkSupported", 0xDE, {0, 0}, 0, 2, ReplyHandling::Exactly, 3},
    {"VoskUsb_GSARequestBarCode", 0xE3, {0, 0}, 0, 0, ReplyHandling::Data, 0},
};

struct ExpectedDru {
    const char* name;
    uint8_t cls, sub;
    ReplyHandling handling;
};

const ExpectedDru kDruRows[] = {
    {"VoskUsb_DruClearStdPerformanceData", 0x01, 0x03, ReplyHandling::Acknowledged},
    {"VoskUsb_DruClearExdPerformanceData", 0x01, 0x04, ReplyHandling::Acknowledged},
    {"VoskUsb_DruClear50Exceptions", 0x01, 0x05, ReplyHandling::Acknowledged},
    {"VoskUsb_DruClearBillsBtwJams", 0x01, 0x06, ReplyHandling::Acknowledged},
    {"VoskUsb_DruStdAudit", 0x01, 0x07, ReplyHandling::DruRead},
    {"VoskUsb_DruExtAudit", 0x01, 0x08, ReplyHandling::DruRead},
    {"VoskUsb_DruClearLifeTotals", 0x01, 0x09, ReplyHandling::Acknowledged},
    {"VoskUsb_DruReadBillTable", 0x01, 0x0A, ReplyHandling::DruRead},
    {"VoskUsb_DruReadConfig", 0x02, 0x01, ReplyHandling::DruRead},
    {"VoskUsb_DruWriteConfig", 0x02, 0x02, ReplyHandling::Acknowledged},
    {"VoskUsb_DruReadInhibits", 0x02, 0x03, ReplyHandling::DruRead},
    {"VoskUsb_DruWriteInhibits", 0x02, 0x04, ReplyHandling::Acknowledged},
    {"VoskUsb_DruReadSecurity", 0x02, 0x05, ReplyHandling::DruRead},
    {"VoskUsb_DruWriteSecurity", 0x02, 0x06, ReplyHandling::Acknowledged},
    {"VoskUsb_DruCalibrateMode", 0x03, 0x01, ReplyHandling::Acknowledged},
    {"VoskUsb_DruStartSMtrFoward", 0x03, 0x02, ReplyHandling::Acknowledged},
    {"VoskUsb_DruStartSMtrReverse", 0x03, 0x03, ReplyHandling::Acknowledged},
    {"VoskUsb_DruStopSMtr", 0x03, 0x04, ReplyHandling::Acknowledged},
};

// The command tables match the protocol's, row for row, and the payload of a GSA command, a Dru block and its
// frame are built byte for byte: the command, any zero bytes, each parameter big-endian in its width, the data.
void CheckTables()
{
    const auto gsa = GsaCommands();
    FUZZ_CHECK(gsa.size() == std::size(kGsaRows));
    for (size_t i = 0; i < gsa.size(); ++i) {
        const ExpectedGsa& row = kGsaRows[i];
        const GsaCommandRow& code = gsa[i];
        FUZZ_CHECK(std::string(code.Export) == row.name && code.Command == row.command);
        FUZZ_CHECK(code.Parameters[0] == row.widths[0] && code.Parameters[1] == row.widths[1]);
        FUZZ_CHECK(code.DataMax == row.dataMax && code.ZeroBytes == row.zeros && code.Handling == row.handling);
        FUZZ_CHECK(row.handling != ReplyHandling::Exactly || code.Exact == row.exact);
        FUZZ_CHECK(&GsaRow(row.command) == &code);
    }
    const auto dru = DruCommands();
    FUZZ_CHECK(dru.size() == std::size(kDruRows));
    for (size_t i = 0; i < dru.size(); ++i) {
        FUZZ_CHECK(std::string(dru[i].Export) == kDruRows[i].name && dru[i].Class == kDruRows[i].cls &&
                   dru[i].Sub == kDruRows[i].sub && dru[i].Handling == kDruRows[i].handling);
        FUZZ_CHECK(&DruRow(kDruRows[i].cls, kDruRows[i].sub) == &dru[i]);
    }
}

void CheckRequests(std::span<const uint8_t> bytes)
{
    Input in(bytes.data(), bytes.size());
    const size_t pick = in.Byte();
    const ExpectedGsa& row = kGsaRows[pick % std::size(kGsaRows)];
    const std::vector<uint32_t> given = {in.Long(), in.Long()};
    const std::vector<uint8_t> data = in.Rest();
    std::vector<uint32_t> parameters;
    for (uint8_t w : row.widths)
        if (w != 0)
            parameters.push_back(given[parameters.size()]);
    std::vector<uint8_t> payload = {0xEE};
    const Result built = BuildGsaPayload(GsaRow(row.command), parameters, data, payload);
    FUZZ_CHECK((built == Result::Success) == (data.size() <= row.dataMax));
    if (built == Result::Success) {
        std::vector<uint8_t> expected = {row.command};
        expected.insert(expected.end(), row.zeros, 0x00);
        for (size_t k = 0; k < parameters.size(); ++k)
            for (int b = row.widths[k] - 1; b >= 0; --b)
                expected.push_back(uint8_t(parameters[k] >> (8 * b)));
        expected.insert(expected.end(), data.begin(), data.end());
        FUZZ_CHECK(payload == expected);
    } else {
        FUZZ_CHECK(payload.empty());
    }

    // A Dru block is class, sub-command and data; its frame puts 0xFF 0xAA before the block: L = data + 9.
    const ExpectedDru& dr = kDruRows[pick % std::size(kDruRows)];
    const std::vector<uint8_t> block = DruBlock(dr.cls, dr.sub, data);
    std::vector<uint8_t> expectedBlock = {dr.cls, dr.sub};
    expectedBlock.insert(expectedBlock.end(), data.begin(), data.end());
    FUZZ_CHECK(block == expectedBlock);
    std::vector<uint8_t> frame;
    const Result druBuilt = BuildDruFrame(block, frame);
    FUZZ_CHECK((druBuilt == Result::Success) == (block.size() + 7 <= 4096));
    if (druBuilt == Result::Success) {
        std::vector<uint8_t> marked = {0xFF, 0xAA};
        marked.insert(marked.end(), block.begin(), block.end());
        FUZZ_CHECK(frame == Frame(marked));
        FUZZ_CHECK(frame.size() == data.size() + 9);
    } else {
        FUZZ_CHECK(frame.empty());
    }
}

void CheckHandled(const HandledReply& handled, const AcceptorReply& reply)
{
    if (handled.Outcome != Result::Success)
        FUZZ_CHECK(handled.Data.empty());
    FUZZ_CHECK(Inside(handled.Data, reply.Data));
    FUZZ_CHECK(handled.Data.size() <= 4096 - 6);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input in(data, size);
    const uint8_t mode = in.Byte();
    const bool build = mode & 1;
    const std::vector<uint8_t> rest = in.Rest();
    static const bool tables = (CheckTables(), true);
    (void)tables;
    CheckRequests(rest);
    if ((mode & 0x0E) == 0x02) {
        // A payload at the frame's limit: 4091 bytes make a 4096-byte frame, one more is refused.
        std::vector<uint8_t> large = rest;
        large.resize(4089 + (mode >> 4) % 4, 0x5A);
        std::vector<uint8_t> framed = {0xEE};
        const Result built = BuildAcceptorFrame(large, framed);
        FUZZ_CHECK((built == Result::Success) == (large.size() + 5 <= 4096));
        FUZZ_CHECK(built == Result::Success ? framed == Frame(large) : framed.empty());
        if (built == Result::Success) {
            const AcceptorReply big = ParseAcceptorReply(framed);
            FUZZ_CHECK(big.Outcome == Result::Success && big.Code == large[0]);
            FUZZ_CHECK(SameBytes(big.Data, std::span<const uint8_t>(large).subspan(1)));
        }
    }
    std::vector<uint8_t> frame = rest;
    if (build) {
        const Result built = BuildAcceptorFrame(rest, frame);
        FUZZ_CHECK((built == Result::Success) == (rest.size() + 5 <= 4096));
        if (built != Result::Success) {
            FUZZ_CHECK(frame.empty());
            return 0;
        }
        FUZZ_CHECK(frame.size() == rest.size() + 5);
        FUZZ_CHECK(frame == Frame(rest));
    }
    // Taken whole: 6 to 4096 bytes, the start byte, its own length, and a CRC that holds.
    const bool sound = frame.size() >= 6 && frame.size() <= 4096 && frame[0] == 0x02 &&
                       size_t(frame[1] << 8 | frame[2]) == frame.size() &&
                       Crc(std::span<const uint8_t>(frame).first(frame.size() - 2)) ==
                           uint16_t(frame[frame.size() - 2] << 8 | frame[frame.size() - 1]);

    const AcceptorReply reply = ParseAcceptorReply(frame);
    const bool whole = frame.size() >= 6 && frame.size() <= 4096 && frame[0] == 0x02 &&
                       size_t(frame[1] << 8 | frame[2]) == frame.size() &&
                       Crc16Xmodem(frame) == 0;  // a frame followed by its CRC checks to 0
    if (build)
        FUZZ_CHECK(whole == (rest.size() >= 1));
    FUZZ_CHECK(whole == sound);
    if (!whole) {
        FUZZ_CHECK(reply.Outcome == Result::BadReply && reply.Data.empty());
        return 0;
    }
    FUZZ_CHECK(reply.Code == frame[3]);
    // The outcome by the reply-code table; a 6-byte 0x55 reply is not ready, with outcome 0.
    FUZZ_CHECK(int32_t(reply.Outcome) == OutcomeByTable(frame));
    FUZZ_CHECK(reply.NotReady == (frame.size() == 6 && frame[3] == 0x55));
    FUZZ_CHECK(Inside(reply.Data, frame));
    FUZZ_CHECK(reply.Data.size() == frame.size() - 6);
    FUZZ_CHECK(std::equal(reply.Data.begin(), reply.Data.end(), frame.begin() + 4));
    if (build)
        FUZZ_CHECK(std::equal(reply.Data.begin(), reply.Data.end(), rest.begin() + 1));
    FUZZ_CHECK(!reply.NotReady || (frame.size() == 6 && reply.Code == 0x55));

    for (ReplyHandling handling : kHandlings) {
        for (size_t exact : {size_t(0), size_t(2), size_t(3), size_t(6), size_t(9)}) {
            const HandledReply handled = HandleAcceptorReply(handling, exact, reply);
            CheckHandled(handled, reply);
            CheckHandlingByRules(handling, exact, reply, handled);
            if (handled.Outcome == Result::Success && handling == ReplyHandling::Exactly)
                FUZZ_CHECK(handled.Data.size() == exact);
            if (handled.Outcome == Result::Success && handling == ReplyHandling::DruRead)
                FUZZ_CHECK(handled.Data.size() + 3 == reply.Data.size());
        }
    }
    // A raw request's reply: a Dru reply (first data byte 0xAA) loses its three echo bytes, any other goes whole.
    const HandledReply generic = HandleGenericAcceptorReply(reply);
    CheckHandled(generic, reply);
    const bool druEcho = reply.Outcome == Result::Success && !reply.Data.empty() && reply.Data[0] == 0xAA;
    CheckHandlingByRules(druEcho ? ReplyHandling::DruRead : ReplyHandling::Data, 0, reply, generic);
    return 0;
}
