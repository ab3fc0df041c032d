// The programming module's replies and requests, without a device. Input: a
// command selector, two parameters (4 bytes each), request data (a length
// byte and bytes), then the reply; its first 62 bytes also serve as a
// directory entry, and its first 68 as a record to create a file from. Each
// is checked against a decoding of its own here, written from the protocol's
// tables by offset, not from the library's.

#include <algorithm>
#include <optional>

#include "tests/fuzz/fuzz_support.h"
#include "usblib/commands/kdu_file_info.h"
#include "usblib/commands/module_commands.h"

using namespace kovrin::usblib::commands;
using kovrin::fuzz::Input;
using kovrin::fuzz::Inside;

namespace {

void CheckRequest(const ModuleCommandRow& row, const std::vector<uint32_t>& given, const std::vector<uint8_t>& data)
{
    std::vector<uint32_t> parameters;
    size_t widths = 0;
    for (const ModuleParameter& p : row.Parameters) {
        if (p.Width == 0)
            continue;
        parameters.push_back(given[parameters.size()]);
        widths += p.Width;
    }
    std::vector<uint8_t> request = {0xEE};
    const Result built = BuildModuleRequest(row, parameters, data, request);
    if (built != Result::Success) {
        FUZZ_CHECK(built == Result::BadArgument && request.empty());
        return;
    }
    FUZZ_CHECK(data.size() >= row.DataMin && data.size() <= row.DataMax);
    FUZZ_CHECK(request.size() == 1 + widths + data.size());
    FUZZ_CHECK(request[0] == uint8_t(row.Command));
    FUZZ_CHECK(std::equal(data.begin(), data.end(), request.end() - long(data.size())));
}

void CheckReply(const ModuleCommandRow& row, std::span<const uint8_t> reply)
{
    ModuleReply decoded;
    decoded.Status = 0xEE;
    decoded.Values = {1, 2, 3};
    const Result result = DecodeModuleReply(row, reply, decoded);
    if (result != Result::Success) {
        FUZZ_CHECK(result == Result::BadReply);
        FUZZ_CHECK(decoded.Status == 0xEE && decoded.Values == (std::array<uint32_t, 3>{1, 2, 3}));
        FUZZ_CHECK(decoded.Block.empty());
        return;
    }
    FUZZ_CHECK(ModuleReplyLengthAccepted(row, reply.size()));
    FUZZ_CHECK(!reply.empty() && decoded.Status == reply[0]);
    if (row.Rule == ModuleReplyRule::ZeroByte)
        FUZZ_CHECK(reply[0] == 0);
    // The block lies in the reply after its offset, within the caller's room.
    FUZZ_CHECK(Inside(decoded.Block, reply));
    if (!decoded.Block.empty())
        FUZZ_CHECK(decoded.Block.data() >= reply.data() + row.Block.Offset);
    if (row.Rule == ModuleReplyRule::CountedBytes)
        FUZZ_CHECK(decoded.Block.size() == size_t(std::max(0, int(int8_t(reply[0])))));
    else
        FUZZ_CHECK(decoded.Block.size() <= row.Block.Max);
    for (size_t i = 0; i < row.Fields.size(); ++i) {
        const ReplyField& f = row.Fields[i];
        uint32_t expected = 0;
        if (f.Width != 0 && size_t(f.Offset) + f.Width <= reply.size())
            for (size_t k = 0; k < f.Width; ++k)
                expected = expected << 8 | reply[f.Offset + k];
        FUZZ_CHECK(decoded.Values[i] == expected);
    }
}

// A directory entry fills the record's wire fields only, and the create
// request built from that record carries the same fields as they came.
void CheckFileInfo(std::span<const uint8_t> reply)
{
    using namespace kdu_file_info;
    if (reply.size() < kEntryLength)
        return;
    const auto entry = reply.first<kEntryLength>();
    std::array<uint8_t, kSize> record;
    record.fill(0x5A);
    FillFileInfoFromEntry(entry, record);
    for (size_t kept : {kFileNumber + 2, kFileNumber + 3, kFileName + kWireNameLength, size_t(58), size_t(59)})
        FUZZ_CHECK(record[kept] == 0x5A);
    FUZZ_CHECK(record[kFileNumber] == entry[1] && record[kFileNumber + 1] == entry[0]);
    FUZZ_CHECK(std::equal(entry.begin() + 25, entry.begin() + 25 + kWireNameLength, record.begin() + kFileName));
    const auto create = CreateEntryFromFileInfo(record);
    FUZZ_CHECK(std::equal(create.begin(), create.end(), entry.begin() + 2));
}

// The protocol's table, written out again: request parameters, reply lengths and fields.
struct Row {
    uint8_t command;
    std::vector<uint8_t> widths;  // parameter bytes on the wire, in order
    size_t dataMin = 0, dataMax = 0;
    bool utility = false;  // the first parameter is a utility number, 0 or 1
};

const Row* RowOf(uint8_t command)
{
    static const std::vector<Row> rows = {
        {0x10, {}}, {0x11, {}}, {0x1B, {1}}, {0x1C, {1}, 16, 16}, {0x1D, {}}, {0x1E, {}}, {0x1F, {}},
        {0x2B, {1}}, {0x2C, {1, 1}}, {0x30, {}}, {0x31, {}}, {0x33, {2}}, {0x34, {}}, {0x36, {}, 52, 52},
        {0x37, {}, 1, 128}, {0x38, {}}, {0x39, {2}}, {0x3A, {2}}, {0x3B, {}}, {0x44, {}}, {0x45, {1}},
        {0x50, {}}, {0x51, {3}}, {0x52, {}}, {0x53, {3, 3}}, {0x54, {1}, 0, 0, true}, {0x55, {1, 2}, 0, 0, true},
        {0x56, {1}, 0, 0, true}, {0x5E, {3}, 0, 128}, {0x5F, {}},
    };
    for (const Row& r : rows)
        if (r.command == command)
            return &r;
    return nullptr;
}

uint32_t BigEndian(std::span<const uint8_t> bytes)
{
    uint32_t v = 0;
    for (uint8_t b : bytes)
        v = v << 8 | b;
    return v;
}

void CheckRequestByTable(const ModuleCommandRow& tableRow, const std::vector<uint32_t>& given,
                         const std::vector<uint8_t>& data)
{
    const Row* row = RowOf(uint8_t(tableRow.Command));
    FUZZ_CHECK(row != nullptr);
    std::vector<uint32_t> parameters(given.begin(), given.begin() + long(row->widths.size()));
    std::vector<uint8_t> request;
    const Result built = BuildModuleRequest(tableRow, parameters, data, request);
    const bool fits = data.size() >= row->dataMin && data.size() <= row->dataMax &&
                      (!row->utility || (given[0] & 0xFFFF) <= 1);
    FUZZ_CHECK((built == Result::Success) == fits);
    if (!fits)
        return;
    std::vector<uint8_t> expected = {row->command};
    for (size_t i = 0; i < row->widths.size(); ++i)
        for (int k = row->widths[i] - 1; k >= 0; --k)
            expected.push_back(uint8_t(given[i] >> (8 * k)));
    expected.insert(expected.end(), data.begin(), data.end());
    FUZZ_CHECK(request == expected);
}

void CheckReplyByTable(const ModuleCommandRow& tableRow, std::span<const uint8_t> reply)
{
    const size_t n = reply.size();
    const uint8_t command = uint8_t(tableRow.Command);
    bool accepted = n == 1;
    std::array<uint32_t, 3> values{};
    std::span<const uint8_t> block;
    std::optional<size_t> counted;
    switch (command) {
    case 0x10:
        accepted = n == 6;
        if (accepted)
            values = {BigEndian(reply.subspan(1, 2)), BigEndian(reply.subspan(3, 2)), reply[5]};
        break;
    case 0x11:
        accepted = n >= 7 && n <= 256;
        if (accepted)
            block = reply.first(7);
        break;
    case 0x1B:
        accepted = n == 1 || n == 17;
        if (n == 17)
            block = reply.subspan(1, 16);
        break;
    case 0x1D:
        accepted = n >= 1 && n <= 256;
        if (accepted) {
            values[0] = reply[0];
            counted = size_t(std::max(0, int(int8_t(reply[0]))));
        }
        break;
    case 0x1E:
    case 0x1F:
        accepted = n == 1 && reply[0] == 0;
        break;
    case 0x2B:
        accepted = n == 1 || n == 2;
        if (n == 2)
            values[0] = reply[1];
        break;
    case 0x34:
        accepted = n >= 1 && n <= 256;
        if (n > 1)
            block = reply.subspan(1);
        break;
    case 0x36:
        accepted = n >= 1 && n <= 256;
        break;
    case 0x3A:
        accepted = n == 1 || (n >= 63 && n <= 256);
        if (n >= 63)
            block = reply.subspan(1, 62);
        break;
    case 0x3B:
        accepted = n == 1 || n == 5;
        if (n == 5)
            values[0] = BigEndian(reply.subspan(1, 4));
        break;
    default:
        break;
    }
    ModuleReply decoded;
    const Result result = DecodeModuleReply(tableRow, reply, decoded);
    if (counted && *counted + 1 > n) {
        // A count beyond the bytes received: refused, or as many as came.
        FUZZ_CHECK(result != Result::Success || decoded.Block.size() <= n - 1);
        return;
    }
    if (counted && *counted > 0)
        block = reply.subspan(1, *counted);
    FUZZ_CHECK((result == Result::Success) == accepted);
    if (!accepted)
        return;
    FUZZ_CHECK(decoded.Status == reply[0]);
    FUZZ_CHECK(decoded.Values == values);
    FUZZ_CHECK(decoded.Block.size() == block.size());
    FUZZ_CHECK(std::equal(block.begin(), block.end(), decoded.Block.begin()));
}

// The record from an entry and the create request from a record, by the record table's offsets:
// little-endian in the record, big-endian on the wire.
void CheckFileInfoByTable(std::span<const uint8_t> reply)
{
    using namespace kdu_file_info;
    if (reply.size() >= 62) {
        const auto e = reply.first<62>();
        std::array<uint8_t, 68> record;
        record.fill(0xA5);
        FillFileInfoFromEntry(e, record);
        std::array<uint8_t, 68> expected;
        expected.fill(0xA5);
        const auto wire = [&](size_t at, size_t from, size_t width) {
            for (size_t k = 0; k < width; ++k)
                expected[at + k] = e[from + width - 1 - k];
        };
        wire(0, 0, 2);    // reply bytes 1-2
        wire(4, 2, 4);    // 3-6
        wire(8, 6, 4);    // 7-10
        wire(12, 10, 4);  // 11-14
        wire(16, 14, 2);  // 15-16
        wire(18, 16, 2);
        wire(20, 18, 2);
        wire(22, 20, 2);
        wire(24, 22, 2);
        expected[26] = e[24];  // byte 25, sign-extended
        expected[27] = (e[24] & 0x80) ? 0xFF : 0x00;
        std::copy(e.begin() + 25, e.begin() + 54, expected.begin() + 28);  // bytes 26-54
        wire(60, 54, 4);  // 55-58
        wire(64, 58, 4);  // 59-62
        FUZZ_CHECK(record == expected);
    }
    if (reply.size() >= 68) {
        std::array<uint8_t, 68> record;
        std::copy(reply.begin(), reply.begin() + 68, record.begin());
        const auto create = CreateEntryFromFileInfo(record);
        std::array<uint8_t, 52> expected{};
        const auto wire = [&](size_t to, size_t at, size_t width) {
            for (size_t k = 0; k < width; ++k)
                expected[to + k] = record[at + width - 1 - k];
        };
        wire(0, 4, 4);  // request bytes 1-4
        wire(4, 8, 4);
        wire(8, 12, 4);
        wire(12, 16, 2);
        wire(14, 18, 2);
        wire(16, 20, 2);
        wire(18, 22, 2);
        wire(20, 24, 2);
        expected[22] = record[26];  // byte 23: the class's low byte
        std::copy(record.begin() + 28, record.begin() + 57, expected.begin() + 23);  // bytes 24-52
        FUZZ_CHECK(create == expected);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input in(data, size);
    const auto rows = ModuleCommands();
    const ModuleCommandRow& row = rows[in.Byte() % rows.size()];
    const std::vector<uint32_t> parameters = {in.Long(), in.Long()};
    const std::vector<uint8_t> requestData = in.ShortRun();
    const std::vector<uint8_t> reply = in.Rest();

    CheckRequest(row, parameters, requestData);
    CheckRequestByTable(row, parameters, requestData);
    CheckReply(row, reply);
    CheckReplyByTable(row, reply);
    CheckFileInfo(reply);
    CheckFileInfoByTable(reply);
    return 0;
}
