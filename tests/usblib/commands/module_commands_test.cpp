// The programming module's command table: request bytes, the reply lengths
// each command accepts and refuses, and what the decoder takes from a reply.

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "usblib/commands/module_commands.h"

namespace kovrin::usblib::commands {
namespace {

using C = ModuleCommand;
using Bytes = std::vector<uint8_t>;

struct RequestCase {
    C Command;
    std::vector<uint32_t> Parameters;
    Bytes Data;
    Bytes Expected;
};

Bytes Repeat(size_t n, uint8_t value) { return Bytes(n, value); }

Bytes Join(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(ModuleCommands, RequestBytes)
{
    const RequestCase cases[] = {
        {C::GetStatus, {}, {}, {0x10}},
        {C::GetFWRev, {}, {}, {0x11}},
        {C::GetUnitData, {0x1234}, {}, {0x1B, 0x34}},
        {C::SetUnitData, {7}, Repeat(16, 0xA5), Join({0x1C, 0x07}, Repeat(16, 0xA5))},
        {C::GetErrorLog, {}, {}, {0x1D}},
        {C::ClearErrorLog, {}, {}, {0x1E}},
        {C::ClearPowerCount, {}, {}, {0x1F}},
        {C::GetItem, {0x105}, {}, {0x2B, 0x05}},
        {C::SetItem, {3, 0x1FF}, {}, {0x2C, 0x03, 0xFF}},
        {C::CheckFilingSystem, {}, {}, {0x30}},
        {C::FormatFilingSystem, {}, {}, {0x31}},
        {C::OpenFileForRead, {0x12345}, {}, {0x33, 0x23, 0x45}},
        {C::ReadFile, {}, {}, {0x34}},
        {C::CreateFile, {}, Repeat(52, 0x11), Join({0x36}, Repeat(52, 0x11))},
        {C::WriteFile, {}, Repeat(128, 0x22), Join({0x37}, Repeat(128, 0x22))},
        {C::WriteFile, {}, {0x00}, {0x37, 0x00}},
        {C::CloseFile, {}, {}, {0x38}},
        {C::DeleteFile, {0x0102}, {}, {0x39, 0x01, 0x02}},
        {C::EnumFile, {0xFFFF0003}, {}, {0x3A, 0x00, 0x03}},
        {C::GetCapacity, {}, {}, {0x3B}},
        {C::RunBootloader, {}, {}, {0x44}},
        {C::SelfTest, {9}, {}, {0x45, 0x09}},
        {C::BLDeleteApp, {}, {}, {0x50}},
        {C::BLLoadApp, {0xAB123456}, {}, {0x51, 0x12, 0x34, 0x56}},
        {C::BLRunApp, {}, {}, {0x52}},
        {C::BLUpdateSecBL, {0x010203, 0x040506}, {}, {0x53, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06}},
        {C::BLDeleteUtility, {1}, {}, {0x54, 0x01}},
        {C::BLLoadUtility, {0x10000, 0xBEEF}, {}, {0x55, 0x00, 0xBE, 0xEF}},
        {C::BLRunUtility, {0}, {}, {0x56, 0x00}},
        {C::BLDownload, {0x123456}, {}, {0x5E, 0x12, 0x34, 0x56}},
        {C::BLDownload, {0x000100}, Repeat(128, 0x33), Join({0x5E, 0x00, 0x01, 0x00}, Repeat(128, 0x33))},
        {C::BLDownloadEnd, {}, {}, {0x5F}},
    };
    std::set<C> seen;
    for (const RequestCase& c : cases) {
        std::vector<uint8_t> request;
        const ModuleCommandRow& row = ModuleRow(c.Command);
        EXPECT_EQ(BuildModuleRequest(row, c.Parameters, c.Data, request), Result::Success) << row.Export;
        EXPECT_EQ(request, c.Expected) << row.Export;
        seen.insert(c.Command);
    }
    EXPECT_EQ(seen.size(), ModuleCommands().size());
}

TEST(ModuleCommands, OutOfRangeArgumentsSendNothing)
{
    struct Case {
        C Command;
        std::vector<uint32_t> Parameters;
        size_t DataLength;
    };
    const Case cases[] = {
        {C::WriteFile, {}, 0},
        {C::WriteFile, {}, 129},
        {C::BLDownload, {0}, 129},
        {C::BLDeleteUtility, {2}, 0},
        {C::BLRunUtility, {0xFFFF}, 0},
        {C::BLLoadUtility, {2, 0}, 0},
        {C::SetUnitData, {0}, 15},
        {C::CreateFile, {}, 51},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> request{0xEE};
        Bytes data(c.DataLength, 1);
        const ModuleCommandRow& row = ModuleRow(c.Command);
        EXPECT_EQ(BuildModuleRequest(row, c.Parameters, data, request), Result::BadArgument) << row.Export;
        EXPECT_TRUE(request.empty()) << row.Export;
    }
}

TEST(ModuleCommands, AcceptedAndRefusedReplyLengths)
{
    struct Case {
        C Command;
        std::vector<size_t> Accepted;
        std::vector<size_t> Refused;
    };
    const std::vector<size_t> onlyOne{1};
    const std::vector<size_t> notOne{0, 2, 6, 256};
    const std::vector<size_t> anyLength{1, 2, 63, 255, 256};
    const Case cases[] = {
        {C::GetStatus, {6}, {0, 1, 5, 7}},
        {C::GetFWRev, {7, 8, 256}, {0, 1, 6}},
        {C::GetUnitData, {1, 17}, {0, 2, 16, 18}},
        {C::SetUnitData, onlyOne, notOne},
        {C::GetErrorLog, anyLength, {0}},
        {C::ClearErrorLog, onlyOne, notOne},
        {C::ClearPowerCount, onlyOne, notOne},
        {C::GetItem, {1, 2}, {0, 3}},
        {C::SetItem, onlyOne, notOne},
        {C::CheckFilingSystem, onlyOne, notOne},
        {C::FormatFilingSystem, onlyOne, notOne},
        {C::OpenFileForRead, onlyOne, notOne},
        {C::ReadFile, anyLength, {0}},
        {C::CreateFile, anyLength, {0}},
        {C::WriteFile, onlyOne, notOne},
        {C::CloseFile, onlyOne, notOne},
        {C::DeleteFile, onlyOne, notOne},
        {C::EnumFile, {1, 63, 64, 200, 256}, {0, 2, 3, 62}},
        {C::GetCapacity, {1, 5}, {0, 2, 4, 6}},
        {C::RunBootloader, onlyOne, notOne},
        {C::SelfTest, onlyOne, notOne},
        {C::BLDeleteApp, onlyOne, notOne},
        {C::BLLoadApp, onlyOne, notOne},
        {C::BLRunApp, onlyOne, notOne},
        {C::BLUpdateSecBL, onlyOne, notOne},
        {C::BLDeleteUtility, onlyOne, notOne},
        {C::BLLoadUtility, onlyOne, notOne},
        {C::BLRunUtility, onlyOne, notOne},
        {C::BLDownload, onlyOne, notOne},
        {C::BLDownloadEnd, onlyOne, notOne},
    };
    ASSERT_EQ(std::size(cases), ModuleCommands().size());
    for (const Case& c : cases) {
        const ModuleCommandRow& row = ModuleRow(c.Command);
        for (size_t n : c.Accepted)
            EXPECT_TRUE(ModuleReplyLengthAccepted(row, n)) << row.Export << " " << n;
        for (size_t n : c.Refused) {
            EXPECT_FALSE(ModuleReplyLengthAccepted(row, n)) << row.Export << " " << n;
            ModuleReply decoded;
            decoded.Status = 0x77;
            Bytes reply(n, 0);
            EXPECT_EQ(DecodeModuleReply(row, reply, decoded), Result::BadReply) << row.Export << " " << n;
            EXPECT_EQ(decoded.Status, 0x77) << "a refused reply leaves the outputs alone";
        }
    }
}

ModuleReply DecodeOk(C command, const Bytes& reply)
{
    ModuleReply decoded;
    EXPECT_EQ(DecodeModuleReply(ModuleRow(command), reply, decoded), Result::Success);
    return decoded;
}

Bytes BlockOf(const ModuleReply& r) { return Bytes(r.Block.begin(), r.Block.end()); }

TEST(ModuleCommands, DecodedFields)
{
    ModuleReply status = DecodeOk(C::GetStatus, {0x03, 0x12, 0x34, 0xAB, 0xCD, 0x7F});
    EXPECT_EQ(status.Status, 0x03);
    EXPECT_EQ(status.Values, (std::array<uint32_t, 3>{0x1234, 0xABCD, 0x7F}));

    EXPECT_EQ(DecodeOk(C::GetCapacity, {0x00, 0x00, 0x08, 0x00, 0x01}).Values[0], 0x080001u);
    EXPECT_EQ(DecodeOk(C::GetCapacity, {0x02}).Values[0], 0u);
    EXPECT_EQ(DecodeOk(C::GetItem, {0x00, 0x9C}).Values[0], 0x9Cu);
    EXPECT_EQ(DecodeOk(C::GetItem, {0x05}).Values[0], 0u);
    EXPECT_EQ(DecodeOk(C::GetItem, {0x05}).Status, 0x05);
}

TEST(ModuleCommands, DecodedBlocks)
{
    Bytes revision = {0x00, 0x05, 0x01, 0x02, 0x03, 0x04, 0x05, 0xEE, 0xEE};
    EXPECT_EQ(BlockOf(DecodeOk(C::GetFWRev, revision)), Bytes(revision.begin(), revision.begin() + 7));

    Bytes unit = Join({0x00}, Repeat(16, 0x5A));
    EXPECT_EQ(BlockOf(DecodeOk(C::GetUnitData, unit)), Repeat(16, 0x5A));
    EXPECT_TRUE(DecodeOk(C::GetUnitData, {0x01}).Block.empty());

    // A 256-byte piece delivers 255 bytes; a status-only reply none.
    Bytes piece = Join({0x00}, Repeat(255, 0x42));
    EXPECT_EQ(DecodeOk(C::ReadFile, piece).Block.size(), 255u);
    EXPECT_TRUE(DecodeOk(C::ReadFile, {0x00}).Block.empty());

    Bytes entry = Join({0x00}, Repeat(62, 0x61));
    EXPECT_EQ(BlockOf(DecodeOk(C::EnumFile, entry)), Repeat(62, 0x61));
    EXPECT_TRUE(DecodeOk(C::EnumFile, {0x05}).Block.empty());
    // A longer reply fills the entry from bytes 1 to 62 all the same.
    for (size_t extra : {1u, 193u})
        EXPECT_EQ(BlockOf(DecodeOk(C::EnumFile, Join(entry, Repeat(extra, 0x7E)))), Repeat(62, 0x61)) << extra;
}

TEST(ModuleCommands, ErrorLogCountIsBoundedByTheReply)
{
    struct Case {
        Bytes Reply;
        Result Expected;
        size_t Copied;
    };
    const Case cases[] = {
        {{0x00}, Result::Success, 0},
        {{0x03, 1, 2, 3}, Result::Success, 3},
        {{0x02, 1, 2, 3}, Result::Success, 2},
        {{0x03, 1, 2}, Result::BadReply, 0},
        {{0x7F}, Result::BadReply, 0},
        {Join({0x7F}, Repeat(127, 9)), Result::Success, 127},
        {{0x80, 1, 2}, Result::Success, 0},  // a negative count names no bytes
        {{0xFF}, Result::Success, 0},
    };
    for (const Case& c : cases) {
        ModuleReply decoded;
        EXPECT_EQ(DecodeModuleReply(ModuleRow(C::GetErrorLog), c.Reply, decoded), c.Expected);
        if (c.Expected == Result::Success) {
            EXPECT_EQ(decoded.Values[0], c.Reply[0]);
            EXPECT_EQ(decoded.Block.size(), c.Copied);
        }
    }
}

TEST(ModuleCommands, ClearCommandsNeedTheSingleByteZero)
{
    for (C command : {C::ClearErrorLog, C::ClearPowerCount}) {
        ModuleReply decoded;
        EXPECT_EQ(DecodeModuleReply(ModuleRow(command), Bytes{0x00}, decoded), Result::Success);
        EXPECT_EQ(DecodeModuleReply(ModuleRow(command), Bytes{0x01}, decoded), Result::BadReply);
    }
}

TEST(ModuleCommands, EveryRowHasItsOwnCommandAndExport)
{
    std::set<uint8_t> commands;
    std::set<std::string> exports;
    for (const ModuleCommandRow& row : ModuleCommands()) {
        commands.insert(uint8_t(row.Command));
        exports.insert(row.Export);
    }
    EXPECT_EQ(commands.size(), 30u);
    EXPECT_EQ(exports.size(), 30u);
}

}  // namespace
}  // namespace kovrin::usblib::commands
