// The firmware file: Intel HEX text into records, records into the image and
// its block table, and the configuration the image carries. Input: the text.

#include <set>

#include "app/core/firmware_image.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/support/hex_writer.h"

using namespace kovrin;

namespace {

uint8_t BankAfter(const FlashBlock& block, uint8_t bank)
{
    if (block.type != HexSegmentAddress || block.data.empty())
        return bank;
    switch (block.data[0]) {
    case 0x00: return 0;
    case 0x10: return 1;
    case 0x20: return 2;
    case 0x30: return 3;
    default: return bank;
    }
}

void CheckRecords(const std::vector<HexRecord>& records)
{
    FUZZ_CHECK(!records.empty() && records.back().type == HexEndOfFile);
    int line = 0;
    for (const HexRecord& r : records) {
        FUZZ_CHECK(r.type == HexData || r.type == HexEndOfFile || r.type == HexSegmentAddress);
        FUZZ_CHECK(r.data.size() <= 255);
        FUZZ_CHECK(r.line > line);
        line = r.line;
    }
    FUZZ_CHECK(CheckRecordsProgrammable(records).empty());

    // Written out again, the records read back the same.
    std::vector<test::HexRecordLine> lines;
    for (const HexRecord& r : records)
        lines.push_back({r.address, r.type, r.data});
    const HexParseResult again = ParseHexText(test::HexText(lines));
    FUZZ_CHECK(again.error.empty());
    FUZZ_CHECK(again.records.size() == records.size());
    for (size_t i = 0; i < records.size() && i < again.records.size(); ++i) {
        FUZZ_CHECK(again.records[i].address == records[i].address);
        FUZZ_CHECK(again.records[i].type == records[i].type);
        FUZZ_CHECK(again.records[i].data == records[i].data);
    }
}

void CheckImage(const std::vector<HexRecord>& records, const FirmwareImage& image)
{
    uint32_t sum = 0;
    size_t dataBytes = 0;
    for (const HexRecord& r : records) {
        if (r.type != HexData)
            continue;
        for (uint8_t b : r.data)
            sum += b;
        dataBytes += r.data.size();
    }
    FUZZ_CHECK(image.ImageChecksum == sum % 65536);
    FUZZ_CHECK(image.memory.size() <= dataBytes);

    const uint8_t v = image.ImageVariant;
    FUZZ_CHECK(v == 0 || v == 1 || v == 2 || v == 4 || v == 5 || v == 6 || v == 7 || v == 9);
    FUZZ_CHECK(image.analysed == (v == 4 || v == 5 || v == 6 || v == 7 || v == 9));
    if (!image.analysed)
        FUZZ_CHECK(image.BlockTable.empty());

    // Every data block is part of one page from the image's start on, holds
    // what the file puts there, and no address is programmed twice.
    uint8_t bank = 0;
    size_t blockBytes = 0;
    std::set<uint32_t> programmed;
    for (const FlashBlock& block : image.BlockTable) {
        bank = BankAfter(block, bank);
        if (block.type != HexData)
            continue;
        FUZZ_CHECK(!block.data.empty() && block.data.size() <= FlashPage);
        FUZZ_CHECK(block.address >= ImageStart);
        FUZZ_CHECK(block.address / FlashPage == (block.address + block.data.size() - 1) / FlashPage);
        for (size_t i = 0; i < block.data.size(); ++i) {
            const uint16_t address = uint16_t(block.address + i);
            FUZZ_CHECK(image.ByteAt(bank, address) == block.data[i]);
            FUZZ_CHECK(programmed.insert(uint32_t(bank) << 16 | address).second);
        }
        blockBytes += block.data.size();
    }
    FUZZ_CHECK(blockBytes <= dataBytes);

    if (const auto config = ExtractConfigFromImage(image)) {
        for (size_t i = 0; i < config->size(); ++i)
            FUZZ_CHECK(image.ByteAt(image.descriptionBank, uint16_t(image.eepromAddress + i)) == (*config)[i]);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const HexParseResult parsed = ParseHexText(text);
    if (!parsed.error.empty()) {
        FUZZ_CHECK(parsed.records.empty());
        return 0;
    }
    CheckRecords(parsed.records);
    CheckImage(parsed.records, AnalyzeHexRecords(parsed.records));
    return 0;
}
