// The programming module's exports: each is a row of the command table
// with the caller's arguments and outputs.

#include <array>

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
{
    return RunModuleCall(device, {.Command = C::GetStatus, .Status = status, .Values = {first, second, third}});
}

UsbResult VoskUsb_PMGetFWRev(UsbDevice device, uint8_t* record)
{
    return RunModuleCall(device, {.Command = C::GetFWRev, .Block = Out(record, kRevisionRecord)});
}

UsbResult VoskUsb_PMGetUnitData(UsbDevice device, uint8_t* status, uint32_t index, uint8_t* record)
{
    return RunModuleCall(device, {.Command = C::GetUnitData, .Parameters = {index}, .Status = status,
                                  .Block = Out(record, kUnitRecord)});
}

UsbResult VoskUsb_PMSetUnitData(UsbDevice device, uint8_t* status, uint32_t index, const uint8_t* record)
{
    return RunModuleCall(
        device, {.Command = C::SetUnitData, .Parameters = {index}, .Data = In(record, kUnitRecord), .Status = status});
}

UsbResult VoskUsb_PMGetErrorLog(UsbDevice device, uint8_t* count, uint8_t* buffer)
{
    return RunModuleCall(device,
                         {.Command = C::GetErrorLog, .Values = {count}, .Block = Buffer(buffer, kErrorLogBuffer)});
}

UsbResult VoskUsb_PMClearErrorLog(UsbDevice device) { return RunModuleCall(device, {.Command = C::ClearErrorLog}); }

UsbResult VoskUsb_PMClearPowerCount(UsbDevice device)
{
    return RunModuleCall(device, {.Command = C::ClearPowerCount});
}

UsbResult VoskUsb_PMGetItem(UsbDevice device, uint8_t* status, uint32_t item, uint8_t* value)
{
    return RunModuleCall(device, {.Command = C::GetItem, .Parameters = {item}, .Status = status, .Values = {value}});
}

UsbResult VoskUsb_PMSetItem(UsbDevice device, uint8_t* status, uint32_t item, uint32_t value)
{
    return StatusOnly(device, C::SetItem, status, {item, value});
}

UsbResult VoskUsb_PMCheckFilingSystem(UsbDevice device, uint8_t* status)
{
    return StatusOnly(device, C::CheckFilingSystem, status);
}

UsbResult VoskUsb_PMFormatFilingSystem(UsbDevice device, uint8_t* status)
{
    return StatusOnly(device, C::FormatFilingSystem, status);
}

UsbResult VoskUsb_PMOpenFileForRead(UsbDevice device, uint8_t* status, uint32_t number)
{
    return StatusOnly(device, C::OpenFileForRead, status, {number});
}

UsbResult VoskUsb_PMReadFile(UsbDevice device, uint8_t* status, uint8_t* buffer, uint16_t* length)
{
    return RunModuleCall(device, {.Command = C::ReadFile, .Status = status, .Block = Buffer(buffer, kReadBuffer),
                                  .BlockLength = length});
}

UsbResult VoskUsb_PMCreateFile(UsbDevice device, uint8_t* status, const KduFileInfo* entry)
{
    std::array<uint8_t, layout::kCreateLength> bytes{};
    if (entry)
        bytes = kovrin::usblib::commands::CreateEntryFromFileInfo(
            std::span<const uint8_t, layout::kSize>(reinterpret_cast<const uint8_t*>(entry), layout::kSize));
    return RunModuleCall(
        device, {.Command = C::CreateFile, .Data = In(entry ? bytes.data() : nullptr, bytes.size()), .Status = status});
}

UsbResult VoskUsb_PMWriteFile(UsbDevice device, uint8_t* status, const uint8_t* data, uint32_t length)
{
    return RunModuleCall(device, {.Command = C::WriteFile, .Data = In(data, length & kLengthMask), .Status = status});
}

UsbResult VoskUsb_PMCloseFile(UsbDevice device, uint8_t* status) { return StatusOnly(device, C::CloseFile, status); }

UsbResult VoskUsb_PMDeleteFile(UsbDevice device, uint8_t* status, uint32_t number)
{
    return StatusOnly(device, C::DeleteFile, status, {number});
}

UsbResult VoskUsb_PMEnumFile(UsbDevice device, uint32_t index, uint8_t* status, KduFileInfo* entry)
{
    return RunModuleCall(device, {.Command = C::EnumFile, .Parameters = {index}, .Status = status, .Entry = entry,
                                  .HasEntry = true});
}

UsbResult VoskUsb_PMGetCapacity(UsbDevice device, uint8_t* status, uint32_t* capacity)
{
    return RunModuleCall(device, {.Command = C::GetCapacity, .Status = status, .Values = {capacity}});
}

UsbResult VoskUsb_PMRunBootloader(UsbDevice device, uint8_t* status)
{
    return StatusOnly(device, C::RunBootloader, status);
}

UsbResult VoskUsb_PMSelfTest(UsbDevice device, uint8_t* status, uint32_t test)
{
    return StatusOnly(device, C::SelfTest, status, {test});
}

UsbResult VoskUsb_PMBLDeleteApp(UsbDevice device, uint8_t* status)
{
    return StatusOnly(device, C::BLDeleteApp, status);
}

UsbResult VoskUsb_PMBLLoadApp(UsbDevice device, uint8_t* status, uint32_t address)
{
    return StatusOnly(device, C::BLLoadApp, status, {address});
}

UsbResult VoskUsb_PMBLRunApp(UsbDevice device, uint8_t* status) { return StatusOnly(device, C::BLRunApp, status); }

UsbResult VoskUsb_PMBLUpdateSecBL(UsbDevice device, uint8_t* status, uint32_t first, uint32_t second)
{
    return StatusOnly(device, C::BLUpdateSecBL, status, {first, second});
}

UsbResult VoskUsb_PMBLDeleteUtility(UsbDevice device, uint8_t* status, uint32_t utility)
{
    return StatusOnly(device, C::BLDeleteUtility, status, {utility});
}

UsbResult VoskUsb_PMBLLoadUtility(UsbDevice device, uint8_t* status, uint32_t utility, uint32_t value)
{
    return StatusOnly(device, C::BLLoadUtility, status, {utility, value});
}

UsbResult VoskUsb_PMBLRunUtility(UsbDevice device, uint8_t* status, uint32_t utility)
{
    return StatusOnly(device, C::BLRunUtility, status, {utility});
}

UsbResult VoskUsb_PMBLDownload(UsbDevice device, uint8_t* status, uint32_t address, const uint8_t* data,
                               uint32_t length)
{
    return RunModuleCall(device, {.Command = C::BLDownload, .Parameters = {address},
                                  .Data = In(data, length & kLengthMask), .Status = status});
}

UsbResult VoskUsb_PMBLDownloadEnd(UsbDevice device, uint8_t* status)
{
    return StatusOnly(device, C::BLDownloadEnd, status);
}

}  // extern "C"
