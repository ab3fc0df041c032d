#pragma once
// What the program stores on a programming module: the firmware as Intel HEX
// text with its checksum and date records, and the acceptor configuration.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/config/eeprom_record.h"
#include "app/core/firmware_image.h"
#include "app/module/qel_usb_client.h"

namespace kovrin {

// One module write carries at most this many characters of firmware text.
constexpr size_t FirmwareWriteLength = 126;
// and at most this many bytes of a configuration.
constexpr size_t ConfigWriteLength = 128;

// The firmware file's records: one per block, then the image checksum and the date record.
std::vector<std::string> ModuleFirmwareRecords(const FirmwareImage& image, const std::array<uint8_t, 5>& date);
// A record as the module writes it: pieces of at most FirmwareWriteLength characters.
std::vector<Bytes> RecordWrites(const std::string& record);

// Whether the date record carries the calendar date rather than the day count.
bool ModuleDateUsesCalendar(const std::string& variantName, const std::string& revision);

// "Ver", three blanks, the revision (hexadecimal text) in three decimal digits,
// a blank, "TYX_FW.HEX"; nothing when the revision is not hexadecimal or does not fit three digits.
std::optional<std::string> FirmwareFileName(const std::string& revision);
KduFileInfo FirmwareFileEntry(uint32_t variantId, const std::string& name);

// The configuration file for the image's variant: name, variant and revisions.
KduFileInfo ConfigFileEntry(uint8_t imageVariant, uint16_t setupRevision, uint16_t calibrationRevision);
// The leading `length` bytes of the image, the first one the write marker.
Bytes ModuleConfigContents(const EepromImage& image, int16_t length);
// `bytes` in pieces of at most `most` bytes.
std::vector<Bytes> Pieces(const Bytes& bytes, size_t most);

}  // namespace kovrin
