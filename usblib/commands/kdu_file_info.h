#pragma once
// KduFileInfo, the 68-byte directory entry of a file on the programming
// module, as a fixed byte layout: integers little-endian in the record,
// big-endian on the wire. The enumeration reply carries 62 entry bytes after
// its status byte; the create request carries 52 after its command byte.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace kovrin::usblib::commands {

namespace kdu_file_info {
constexpr size_t kSize = 68;
constexpr size_t kFileNumber = 0;
constexpr size_t kVariantId = 4;
constexpr size_t kValue1 = 8;
constexpr size_t kValue2 = 12;
constexpr size_t kDataFileKind = 16;
constexpr size_t kSetupRevision = 18;
constexpr size_t kCalibrationRevision = 20;
constexpr size_t kValue3 = 22;
constexpr size_t kValue4 = 24;
constexpr size_t kFileClass = 26;
constexpr size_t kFileName = 28;
constexpr size_t kFileNameLength = 30;
constexpr size_t kValue5 = 60;
constexpr size_t kFileSize = 64;
// Name bytes on the wire; the record's last name byte is never sent or filled.
constexpr size_t kWireNameLength = 29;
constexpr size_t kEntryLength = 62;
constexpr size_t kCreateLength = 52;
}  // namespace kdu_file_info

// Fills the record from an enumeration entry. Bytes the entry does not carry
// (upper half of the file number, last name byte, the gap) keep their values.
void FillFileInfoFromEntry(std::span<const uint8_t, kdu_file_info::kEntryLength> entry,
                           std::span<uint8_t, kdu_file_info::kSize> record);

// The create request's entry bytes built from the record.
std::array<uint8_t, kdu_file_info::kCreateLength> CreateEntryFromFileInfo(
    std::span<const uint8_t, kdu_file_info::kSize> record);

}  // namespace kovrin::usblib::commands
