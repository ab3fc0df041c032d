#pragma once
// The programming module's command set as a table: per command its byte, the
// parameters and data of the request, the reply lengths it accepts and how
// the reply is decoded. Requests are one command byte and big-endian
// parameters; replies start with the module's status byte.

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "usblib/commands/usb_result.h"

namespace kovrin::usblib::commands {

enum class ModuleCommand : uint8_t {
    GetStatus = 0x10,
    GetFWRev = 0x11,
    GetUnitData = 0x1B,
    SetUnitData = 0x1C,
    GetErrorLog = 0x1D,
    ClearErrorLog = 0x1E,
    ClearPowerCount = 0x1F,
    GetItem = 0x2B,
    SetItem = 0x2C,
    CheckFilingSystem = 0x30,
    FormatFilingSystem = 0x31,
    OpenFileForRead = 0x33,
    ReadFile = 0x34,
    CreateFile = 0x36,
    WriteFile = 0x37,
    CloseFile = 0x38,
    DeleteFile = 0x39,
    EnumFile = 0x3A,
    GetCapacity = 0x3B,
    RunBootloader = 0x44,
    SelfTest = 0x45,
    BLDeleteApp = 0x50,
    BLLoadApp = 0x51,
    BLRunApp = 0x52,
    BLUpdateSecBL = 0x53,
    BLDeleteUtility = 0x54,
    BLLoadUtility = 0x55,
    BLRunUtility = 0x56,
    BLDownload = 0x5E,
    BLDownloadEnd = 0x5F,
};

// The longest reply a module sends.
constexpr size_t kModuleReplyCapacity = 256;

enum class ModuleReplyRule {
    Plain,         // byte 0 is the status
    ZeroByte,      // the reply must be the single byte 0 (the clear commands)
    CountedBytes,  // byte 0 counts the bytes after it, which the reply must hold (the error log)
};

struct ModuleParameter {
    uint8_t Width = 0;          // bytes on the wire, big-endian (0: no parameter)
    uint8_t Bits = 0;           // low bits of the caller's 32-bit argument that count
    uint32_t Max = 0xFFFFFFFF;  // largest accepted value of those bits
};

struct LengthRange {
    uint16_t From = 0;
    uint16_t To = 0;  // inclusive; 0..0 is no range
};

struct ReplyField {
    uint8_t Offset = 0;
    uint8_t Width = 0;  // 0: no field
};

struct ReplyBlock {
    uint8_t Offset = 0;
    uint16_t Max = 0;  // 0: no block
};

struct ModuleCommandRow {
    ModuleCommand Command;
    const char* Export;
    std::array<ModuleParameter, 2> Parameters;
    uint16_t DataMin;  // caller data after the parameters
    uint16_t DataMax;
    std::array<LengthRange, 2> Replies;
    ModuleReplyRule Rule;
    // Big-endian integers that the reply carries, taken when the reply is long enough.
    std::array<ReplyField, 3> Fields;
    // Bytes for the caller's record or buffer: from Offset to the reply's end, at most Max.
    ReplyBlock Block;
};

std::span<const ModuleCommandRow> ModuleCommands();
const ModuleCommandRow& ModuleRow(ModuleCommand command);

// Fills `request`, or gives BadArgument (and leaves it empty) when a parameter
// or the data length is out of range.
Result BuildModuleRequest(const ModuleCommandRow& row, std::span<const uint32_t> parameters,
                          std::span<const uint8_t> data, std::vector<uint8_t>& request);

bool ModuleReplyLengthAccepted(const ModuleCommandRow& row, size_t length);

struct ModuleReply {
    uint8_t Status = 0;
    std::array<uint32_t, 3> Values{};  // the row's fields, in order; 0 when not carried
    std::span<const uint8_t> Block;    // points into the reply
};

// BadReply for a reply the command does not accept; then `decoded` is untouched.
Result DecodeModuleReply(const ModuleCommandRow& row, std::span<const uint8_t> reply, ModuleReply& decoded);

}  // namespace kovrin::usblib::commands
