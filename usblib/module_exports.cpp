// The programming module's exports: each is a row of the command table
// with the caller's arguments and outputs.

#include <array>

#include "usblib/boundary.h"
#include "usblib/command_runner.h"
#include "usblib/commands/kdu_file_info.h"
#include "usblib/qel_usb.h"

using kovrin::usblib::Buffer;
using kovrin::usblib::In;
using kovrin::usblib::ModuleCall;
using kovrin::usblib::Out;
using kovrin::usblib::RunModuleCall;
using C = kovrin::usblib::commands::ModuleCommand;
namespace layout = kovrin::usblib::commands::kdu_file_info;

namespace {

constexpr size_t kRevisionRecord = 7;
constexpr size_t kUnitRecord = 16;
constexpr size_t kErrorLogBuffer = 127;
constexpr size_t kReadBuffer = 255;
constexpr uint32_t kLengthMask = 0xFFFF;

// The common shape: a command whose only output is the status byte.
UsbResult StatusOnly(UsbDevice device, C command, uint8_t* status, std::vector<uint32_t> parameters = {})
{
    return RunModuleCall(device, {.Command = command, .Parameters = std::move(parameters), .Status = status});
}

}  // namespace

extern "C" {

UsbResult VoskUsb_PMGetStatus(UsbDevice device, uint8_t* status, uint16_t* first, uint16_t* second, uint8_t* third)
try {
    return RunModuleCall(device, {.Command = C::GetStatus, .Status = status, .Values = {first, second, third}});
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_PMGetFWRev(UsbDevice device, uint8_t* record)
try {
    return RunModuleCall(device, {.Command = C::GetFWRev, .Block = Out(record, kRevisionRecord)});
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_PMGetUnitData(UsbDevice device, uint8_t* status, uint32_t index, uint8_t* record)
try {
    return RunModuleCall(device, {.Command = C::GetUnitData, .Parameters = {index}, .Status = status,
                                  .Block = Out(record, kUnitRecord)});
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_PMSetUnitData(UsbDevice device, uint8_t* status, uint32_t index, const uint8_t* record)
try {
    return RunModuleCall(
        device, {.Command = C::SetUnitData, .Parameters = {index}, .Data = In(record, kUnitRecord), .Status = status});
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_PMGetErrorLog(UsbDevice device, uint8_t* count, uint8_t* buffer)
try {
    return RunModuleCall(device,
                         {.Command = C::GetErrorLog, .Values = {count}, .Block = Buffer(buffer, kErrorLogBuffer)});
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_PMClearErrorLog(UsbDevice device)
try {
    return RunModuleCall(device, {.Command = C::ClearErrorLog});
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_PMClearPowerCount(UsbDevice device)
try {
    return RunModuleCall(device, {.Command = C::ClearPowerCount});
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_PMGetItem(UsbDevice device, uint8_t* status, uint32_t item, uint8_t* value)
try {
    return RunModuleCall(device, {.Command = C::GetItem, .Parameters = {item}, .Status = status, .Values = {value}});
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_PMSetItem(UsbDevice device, uint8_t* status, uint32_t item, uint32_t value)
try {
    return StatusOnly(device, C::SetItem, status, {item, value});
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_PMCheckFilingSystem(UsbDevice device, uint8_t* status)
try {
    return StatusOnly(device, C::CheckFilingSystem, status);
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_PMFormatFilingSystem(UsbDevice device, uint8_t* status)
try {
    return StatusOnly(device, C::FormatFilingSystem, status);
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_PMOpenFileForRead(UsbDevice device, uint8_t* status, uint32_t number)
try {
    return StatusOnly(device, C::OpenFileForRead, status, {number});
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_PMReadFile(UsbDevice device, uint8_t* status, uint8_t* buffer, uint16_t* length)
try {
    return RunModuleCall(device, {.Command = C::ReadFile, .Status = status, .Block = Buffer(buffer, kReadBuffer),
                                  .BlockLength = length});
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_PMCreateFile(UsbDevice device, uint8_t* status, const KduFileInfo* entry)
try {
    std::array<uint8_t, layout::kCreateLength> bytes{};
    if (entry)
        bytes = kovrin::usblib::commands::CreateEntryFromFileInfo(
            std::span<const uint8_t, layout::kSize>(reinterpret_cast<const uint8_t*>(entry), layout::kSize));
    return RunModuleCall(
        device, {.Command = C::CreateFile, .Data = In(entry ? bytes.data() : nullptr, bytes.size()), .Status = status});
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_PMWriteFile(UsbDevice device, uint8_t* status, const uint8_t* data, uint32_t length)
try {
    return RunModuleCall(device, {.Command = C::WriteFile, .Data = In(data, length & kLengthMask), .Status = status});
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_PMCloseFile(UsbDevice device, uint8_t* status)
try {
    return StatusOnly(device, C::CloseFile, status);
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_PMDeleteFile(UsbDevice device, uint8_t* status, uint32_t number)
try {
    return StatusOnly(device, C::DeleteFile, status, {number});
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_PMEnumFile(UsbDevice device, uint32_t index, uint8_t* status, KduFileInfo* entry)
try {
    return RunModuleCall(device, {.Command = C::EnumFile, .Parameters = {index}, .Status = status, .Entry = entry,
                                  .HasEntry = true});
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_PMGetCapacity(UsbDevice device, uint8_t* status, uint32_t* capacity)
try {
    return RunModuleCall(device, {.Command = C::GetCapacity, .Status = status, .Values = {capacity}});
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_PMRunBootloader(UsbDevice device, uint8_t* status)
try {
    return StatusOnly(device, C::RunBootloader, status);
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_PMSelfTest(UsbDevice device, uint8_t* status, uint32_t test)
try {
    return StatusOnly(device, C::SelfTest, status, {test});
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_PMBLDeleteApp(UsbDevice device, uint8_t* status)
try {
    return StatusOnly(device, C::BLDeleteApp, status);
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_PMBLLoadApp(UsbDevice device, uint8_t* status, uint32_t address)
try {
    return StatusOnly(device, C::BLLoadApp, status, {address});
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_PMBLRunApp(UsbDevice device, uint8_t* status)
try {
    return StatusOnly(device, C::BLRunApp, status);
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_PMBLUpdateSecBL(UsbDevice device, uint8_t* status, uint32_t first, uint32_t second)
try {
    return StatusOnly(device, C::BLUpdateSecBL, status, {first, second});
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_PMBLDeleteUtility(UsbDevice device, uint8_t* status, uint32_t utility)
try {
    return StatusOnly(device, C::BLDeleteUtility, status, {utility});
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_PMBLLoadUtility(UsbDevice device, uint8_t* status, uint32_t utility, uint32_t value)
try {
    return StatusOnly(device, C::BLLoadUtility, status, {utility, value});
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_PMBLRunUtility(UsbDevice device, uint8_t* status, uint32_t utility)
try {
    return StatusOnly(device, C::BLRunUtility, status, {utility});
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_PMBLDownload(UsbDevice device, uint8_t* status, uint32_t address, const uint8_t* data,
                               uint32_t length)
try {
    return RunModuleCall(device, {.Command = C::BLDownload, .Parameters = {address},
                                  .Data = In(data, length & kLengthMask), .Status = status});
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

UsbResult VoskUsb_PMBLDownloadEnd(UsbDevice device, uint8_t* status)
try {
    return StatusOnly(device, C::BLDownloadEnd, status);
} catch (...) {
    return kovrin::usblib::ResultOfException();
}

}  // extern "C"
