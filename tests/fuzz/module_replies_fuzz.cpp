// The programming module's replies and requests, without a device. Input: a
// command selector, two parameters (4 bytes each), request data (a length
// byte and bytes), then the reply; its first 62 bytes also serve as a
// directory entry.

#include <algorithm>

#include "tests/fuzz/fuzz_support.h"
#include "usblib/commands/kdu_file_info.h"
#include "usblib/commands/module_commands.h"

using namespace kovrin::usblib::commands;
using kovrin::fuzz::Input;
using kovrin::fuzz::Inside;

namespace {

void CheckRequest(const ModuleCommandSpec& spec, const std::vector<uint32_t>& given, const std::vector<uint8_t>& data)
{
    std::vector<uint32_t> parameters;
    size_t widths = 0;
    for (const ModuleParameter& p : spec.Parameters) {
        if (p.Width == 0)
            continue;
        parameters.push_back(given[parameters.size()]);
        widths += p.Width;
    }
    std::vector<uint8_t> request = {0xEE};
    const Result built = BuildModuleRequest(spec, parameters, data, request);
    if (built != Result::Success) {
        FUZZ_CHECK(built == Result::BadArgument && request.empty());
        return;
    }
    FUZZ_CHECK(data.size() >= spec.DataMin && data.size() <= spec.DataMax);
    FUZZ_CHECK(request.size() == 1 + widths + data.size());
    FUZZ_CHECK(request[0] == uint8_t(spec.Command));
    FUZZ_CHECK(std::equal(data.begin(), data.end(), request.end() - long(data.size())));
}

void CheckReply(const ModuleCommandSpec& spec, std::span<const uint8_t> reply)
{
    ModuleReply decoded;
    decoded.Status = 0xEE;
    decoded.Values = {1, 2, 3};
    const Result result = DecodeModuleReply(spec, reply, decoded);
    if (result != Result::Success) {
        FUZZ_CHECK(result == Result::BadReply);
        FUZZ_CHECK(decoded.Status == 0xEE && decoded.Values == (std::array<uint32_t, 3>{1, 2, 3}));
        FUZZ_CHECK(decoded.Block.empty());
        return;
    }
    FUZZ_CHECK(ModuleReplyLengthAccepted(spec, reply.size()));
    FUZZ_CHECK(!reply.empty() && decoded.Status == reply[0]);
    if (spec.Rule == ModuleReplyRule::ZeroByte)
        FUZZ_CHECK(reply[0] == 0);
    // The block lies in the reply after its offset, within the caller's room.
    FUZZ_CHECK(Inside(decoded.Block, reply));
    if (!decoded.Block.empty())
        FUZZ_CHECK(decoded.Block.data() >= reply.data() + spec.Block.Offset);
    if (spec.Rule == ModuleReplyRule::CountedBytes)
        FUZZ_CHECK(decoded.Block.size() == size_t(std::max(0, int(int8_t(reply[0])))));
    else
        FUZZ_CHECK(decoded.Block.size() <= spec.Block.Max);
    for (size_t i = 0; i < spec.Fields.size(); ++i) {
        const ReplyField& f = spec.Fields[i];
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input in(data, size);
    const auto specs = ModuleCommands();
    const ModuleCommandSpec& spec = specs[in.Byte() % specs.size()];
    const std::vector<uint32_t> parameters = {in.Long(), in.Long()};
    const std::vector<uint8_t> requestData = in.ShortRun();
    const std::vector<uint8_t> reply = in.Rest();

    CheckRequest(spec, parameters, requestData);
    CheckReply(spec, reply);
    CheckFileInfo(reply);
    return 0;
}
