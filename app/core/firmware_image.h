#pragma once
// The firmware image: read from Intel HEX text into the block table that an
// update sends, and written back from it as Intel HEX records.

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/core/bytes.h"
#include "app/core/eeprom_image.h"

namespace kovrin {

enum : uint8_t { HexData = 0x00, HexEndOfFile = 0x01, HexSegmentAddress = 0x02 };

struct HexRecord {
    uint16_t address = 0;
    uint8_t type = 0;
    Bytes data;
    int line = 0;  // 1-based line of the file
};

// Every record of the text, checked: ':' start, hex digits of either case,
// count matching the length, record checksum, an end-of-file record. Record
// types 03 and 05 are left out; any other unknown type refuses the file.
struct HexParseResult {
    std::vector<HexRecord> records;  // up to and including the end-of-file record
    std::string error;               // names the line; empty when the text is good
};
HexParseResult ParseHexText(std::string_view text);

// Why the boot loader could not program these records as they are written
// (a data record running past address FFFF, two records writing one
// address), naming the line; empty when it could. ParseHexText applies it.
std::string CheckRecordsProgrammable(const std::vector<HexRecord>& records);

// One entry of the block table: address, record type, data (at most one
// 128-byte page for data blocks).
struct FlashBlock {
    uint16_t address = 0;
    uint8_t type = 0;
    Bytes data;
    // As the table stores it: address high, address low, type, data.
    size_t BlockLength() const { return 3 + data.size(); }
};

constexpr uint16_t ImageStart = 0x4000;         // the image describes itself from here
constexpr uint16_t BankZeroImageEnd = 0xF600;   // bank 0 holds no image from here on
constexpr size_t FlashPage = 128;

// The loaded firmware image.
struct FirmwareImage {
    std::vector<FlashBlock> BlockTable;  // BlockCount = BlockTable.size()
    uint8_t ImageVariant = 0;            // a recognised variant code, or 0
    uint32_t ImageChecksum = 0;          // sum of all data bytes, low 16 bits
    bool analysed = false;               // a block table was built (the variant row says whether)
    // Where the image describes itself (the bank of its record at 0x4000).
    uint8_t descriptionBank = 0;
    std::string name;           // 0x4001..0x4009, 9 characters
    std::string description;    // 0x400A..0x4014, 11 characters
    std::string revision;       // 0x4015..0x4018, the firmware revision text
    uint16_t ImageCode = 0;     // 0x4019
    uint8_t setupRevision = 0;  // 0x401A
    uint8_t calibrationRevision = 0;  // 0x401B
    uint16_t eepromAddress = 0;       // 0x401C, 0x401D big-endian

    // Every data byte of the file by bank and address.
    std::map<uint32_t, uint8_t> memory;
    std::optional<uint8_t> ByteAt(uint8_t bank, uint16_t address) const;
};

// Image variant of a variant byte: a code whose variant row names its images, else 0.
uint8_t ImageVariantOf(uint8_t code);
// Name shown for an image's variant; empty for 1 and 2.
std::string ImageVariantName(uint8_t variant);

// Builds the image from the records of a good file.
FirmwareImage AnalyzeHexRecords(const std::vector<HexRecord>& records);

// The 256-byte configuration the image carries, read by address from its
// eepromAddress; nothing when the image does not hold all of it.
std::optional<EepromImage> ExtractConfigFromImage(const FirmwareImage& image);

// One Intel HEX record: ":", count, address, type, data, checksum; upper-case digits.
std::string HexRecordText(uint16_t address, uint8_t type, const Bytes& data);
// The block table as records, one per block in table order.
std::vector<std::string> BlockTableRecords(const FirmwareImage& image);
// Those records as a file: one a line, CR LF.
std::string HexFileText(const FirmwareImage& image);

}  // namespace kovrin
