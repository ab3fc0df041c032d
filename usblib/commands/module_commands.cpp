#include "usblib/commands/module_commands.h"

#include <algorithm>
#include <cstdlib>

#include "usblib/commands/kdu_file_info.h"

namespace kovrin::usblib::commands {
namespace {

using C = ModuleCommand;
using R = ModuleReplyRule;

constexpr ModuleParameter kNone{};
constexpr ModuleParameter kByte{1, 8};
constexpr ModuleParameter kNumber{2, 16};
constexpr ModuleParameter kAddress{3, 24};
constexpr ModuleParameter kUtility{1, 16, 1};
constexpr ModuleParameter kUtilityValue{2, 16};

constexpr LengthRange kNoRange{};
constexpr LengthRange kAny{1, kModuleReplyCapacity};
constexpr LengthRange kOne{1, 1};
constexpr ReplyField kNoField{};
constexpr ReplyBlock kNoBlock{};
constexpr size_t kUnitRecord = 16;
constexpr size_t kWriteMax = 128;
constexpr size_t kErrorLogMax = 127;
constexpr size_t kReadPieceMax = 255;
constexpr size_t kRevisionRecord = 7;

constexpr uint16_t L(size_t n) { return uint16_t(n); }

// A command with a status-only reply and the given parameters and data.
constexpr ModuleCommandRow StatusOnly(C command, const char* name, ModuleParameter first = kNone,
                                       ModuleParameter second = kNone, uint16_t dataMin = 0, uint16_t dataMax = 0)
{
    return {command, name, {first, second}, dataMin, dataMax, {kOne, kNoRange}, R::Plain,
            {kNoField, kNoField, kNoField}, kNoBlock};
}

const ModuleCommandRow kCommands[] = {
    {C::GetStatus, "VoskUsb_PMGetStatus", {kNone, kNone}, 0, 0, {LengthRange{6, 6}, kNoRange}, R::Plain,
     {ReplyField{1, 2}, ReplyField{3, 2}, ReplyField{5, 1}}, kNoBlock},
    {C::GetFWRev, "VoskUsb_PMGetFWRev", {kNone, kNone}, 0, 0,
     {LengthRange{L(kRevisionRecord), L(kModuleReplyCapacity)}, kNoRange}, R::Plain, {kNoField, kNoField, kNoField},
     ReplyBlock{0, L(kRevisionRecord)}},
    {C::GetUnitData, "VoskUsb_PMGetUnitData", {kByte, kNone}, 0, 0, {kOne, LengthRange{17, 17}}, R::Plain,
     {kNoField, kNoField, kNoField}, ReplyBlock{1, L(kUnitRecord)}},
    StatusOnly(C::SetUnitData, "VoskUsb_PMSetUnitData", kByte, kNone, L(kUnitRecord), L(kUnitRecord)),
    {C::GetErrorLog, "VoskUsb_PMGetErrorLog", {kNone, kNone}, 0, 0, {kAny, kNoRange}, R::CountedBytes,
     {ReplyField{0, 1}, kNoField, kNoField}, ReplyBlock{1, L(kErrorLogMax)}},
    {C::ClearErrorLog, "VoskUsb_PMClearErrorLog", {kNone, kNone}, 0, 0, {kOne, kNoRange}, R::ZeroByte,
     {kNoField, kNoField, kNoField}, kNoBlock},
    {C::ClearPowerCount, "VoskUsb_PMClearPowerCount", {kNone, kNone}, 0, 0, {kOne, kNoRange}, R::ZeroByte,
     {kNoField, kNoField, kNoField}, kNoBlock},
    {C::GetItem, "VoskUsb_PMGetItem", {kByte, kNone}, 0, 0, {LengthRange{1, 2}, kNoRange}, R::Plain,
     {ReplyField{1, 1}, kNoField, kNoField}, kNoBlock},
    StatusOnly(C::SetItem, "VoskUsb_PMSetItem", kByte, kByte),
    StatusOnly(C::CheckFilingSystem, "VoskUsb_PMCheckFilingSystem"),
    StatusOnly(C::FormatFilingSystem, "VoskUsb_PMFormatFilingSystem"),
    StatusOnly(C::OpenFileForRead, "VoskUsb_PMOpenFileForRead", kNumber),
    {C::ReadFile, "VoskUsb_PMReadFile", {kNone, kNone}, 0, 0, {kAny, kNoRange}, R::Plain,
     {kNoField, kNoField, kNoField}, ReplyBlock{1, L(kReadPieceMax)}},
    {C::CreateFile, "VoskUsb_PMCreateFile", {kNone, kNone}, L(kdu_file_info::kCreateLength),
     L(kdu_file_info::kCreateLength), {kAny, kNoRange}, R::Plain, {kNoField, kNoField, kNoField}, kNoBlock},
    StatusOnly(C::WriteFile, "VoskUsb_PMWriteFile", kNone, kNone, 1, L(kWriteMax)),
    StatusOnly(C::CloseFile, "VoskUsb_PMCloseFile"),
    StatusOnly(C::DeleteFile, "VoskUsb_PMDeleteFile", kNumber),
    // A status-only reply or one that holds a whole entry (bytes past it are not read): a
    // reply in between would leave fields undefined.
    {C::EnumFile, "VoskUsb_PMEnumFile", {kNumber, kNone}, 0, 0,
     {kOne, LengthRange{L(1 + kdu_file_info::kEntryLength), L(kModuleReplyCapacity)}}, R::Plain,
     {kNoField, kNoField, kNoField}, ReplyBlock{1, L(kdu_file_info::kEntryLength)}},
    {C::GetCapacity, "VoskUsb_PMGetCapacity", {kNone, kNone}, 0, 0, {kOne, LengthRange{5, 5}}, R::Plain,
     {ReplyField{1, 4}, kNoField, kNoField}, kNoBlock},
    StatusOnly(C::RunBootloader, "VoskUsb_PMRunBootloader"),
    StatusOnly(C::SelfTest, "VoskUsb_PMSelfTest", kByte),
    StatusOnly(C::BLDeleteApp, "VoskUsb_PMBLDeleteApp"),
    StatusOnly(C::BLLoadApp, "VoskUsb_PMBLLoadApp", kAddress),
    StatusOnly(C::BLRunApp, "VoskUsb_PMBLRunApp"),
    StatusOnly(C::BLUpdateSecBL, "VoskUsb_PMBLUpdateSecBL", kAddress, kAddress),
    StatusOnly(C::BLDeleteUtility, "VoskUsb_PMBLDeleteUtility", kUtility),
    StatusOnly(C::BLLoadUtility, "VoskUsb_PMBLLoadUtility", kUtility, kUtilityValue),
    StatusOnly(C::BLRunUtility, "VoskUsb_PMBLRunUtility", kUtility),
    StatusOnly(C::BLDownload, "VoskUsb_PMBLDownload", kAddress, kNone, 0, L(kWriteMax)),
    StatusOnly(C::BLDownloadEnd, "VoskUsb_PMBLDownloadEnd"),
};

uint32_t LowBits(uint32_t value, uint8_t bits) { return bits >= 32 ? value : value & ((1u << bits) - 1); }

}  // namespace

std::span<const ModuleCommandRow> ModuleCommands() { return kCommands; }

const ModuleCommandRow& ModuleRow(ModuleCommand command)
{
    for (const ModuleCommandRow& row : kCommands)
        if (row.Command == command)
            return row;
    std::abort();  // every enumerator has a row
}

Result BuildModuleRequest(const ModuleCommandRow& row, std::span<const uint32_t> parameters,
                          std::span<const uint8_t> data, std::vector<uint8_t>& request)
{
    request.clear();
    if (data.size() < row.DataMin || data.size() > row.DataMax)
        return Result::BadArgument;
    size_t needed = size_t(std::count_if(row.Parameters.begin(), row.Parameters.end(),
                                         [](const ModuleParameter& p) { return p.Width != 0; }));
    if (parameters.size() != needed)
        std::abort();  // a caller that does not match its own table row
    std::vector<uint8_t> bytes{uint8_t(row.Command)};
    size_t next = 0;
    for (const ModuleParameter& p : row.Parameters) {
        if (p.Width == 0)
            continue;
        uint32_t value = LowBits(parameters[next++], p.Bits);
        if (value > p.Max)
            return Result::BadArgument;
        for (int i = p.Width - 1; i >= 0; --i)
            bytes.push_back(uint8_t(value >> (8 * i)));
    }
    bytes.insert(bytes.end(), data.begin(), data.end());
    request = std::move(bytes);
    return Result::Success;
}

bool ModuleReplyLengthAccepted(const ModuleCommandRow& row, size_t length)
{
    return std::any_of(row.Replies.begin(), row.Replies.end(),
                       [length](const LengthRange& r) { return r.From != 0 && length >= r.From && length <= r.To; });
}

Result DecodeModuleReply(const ModuleCommandRow& row, std::span<const uint8_t> reply, ModuleReply& decoded)
{
    if (!ModuleReplyLengthAccepted(row, reply.size()))
        return Result::BadReply;
    ModuleReply out;
    out.Status = reply[0];
    for (size_t i = 0; i < row.Fields.size(); ++i) {
        const ReplyField& f = row.Fields[i];
        if (f.Width == 0 || size_t(f.Offset) + f.Width > reply.size())
            continue;
        for (size_t k = 0; k < f.Width; ++k)
            out.Values[i] = out.Values[i] << 8 | reply[f.Offset + k];
    }
    size_t blockLength = 0;
    if (row.Block.Max != 0 && reply.size() > row.Block.Offset)
        blockLength = std::min<size_t>(row.Block.Max, reply.size() - row.Block.Offset);
    switch (row.Rule) {
    case ModuleReplyRule::Plain:
        break;
    case ModuleReplyRule::ZeroByte:
        if (reply[0] != 0)
            return Result::BadReply;
        break;
    case ModuleReplyRule::CountedBytes: {
        // A count of 1 to 127 (as a signed byte) names the bytes that follow; the reply must hold them.
        int count = int8_t(reply[0]);
        if (count <= 0)
            blockLength = 0;
        else if (size_t(count) > reply.size() - 1)
            return Result::BadReply;
        else
            blockLength = size_t(count);
        break;
    }
    }
    out.Block = reply.subspan(row.Block.Offset < reply.size() ? row.Block.Offset : reply.size(), blockLength);
    decoded = out;
    return Result::Success;
}

}  // namespace kovrin::usblib::commands
