#include <gtest/gtest.h>

#include <numeric>

#include "app/core/firmware_image.h"
#include "tests/support/hex_writer.h"

namespace kovrin {
namespace {

using test::Bank;
using test::Description;
using test::Eof;
using test::HexRecordLine;
using test::HexText;
using test::Ramp;

FirmwareImage Load(const std::string& text)
{
    const HexParseResult parsed = ParseHexText(text);
    EXPECT_EQ(parsed.error, "");
    return AnalyzeHexRecords(parsed.records);
}

TEST(HexFile, BadFilesAreRefusedNamingTheLine)
{
    const HexRecordLine good = {0x4000, 0, Description(5)};
    struct Case {
        const char* name;
        std::string text;
        const char* error;
    };
    const Case cases[] = {
        {"bad checksum", HexText({good, {0x4020, 0, Ramp(16, 1), 0, 1}, Eof()}), "Line 2 "},
        {"bad count", HexText({good, {0x4020, 0, Ramp(16, 1), 1}, Eof()}), "Line 2 "},
        {"missing end of file", HexText({good, {0x4020, 0, Ramp(16, 1)}}), "no end-of-file record"},
        {"record type 04", HexText({good, {0, 0x04, {0x00, 0x01}}, Eof()}), "Line 2 "},
        {"no colon", HexText({good}) + "0000000001FF\r\n", "Line 2 "},
        {"not hex", ":10400000ZZ" + HexText({Eof()}), "Line 1 "},
        {"odd length", ":0000000" + std::string("\r\n") + HexText({Eof()}), "Line 1 "},
        {"empty file", "", "no end-of-file record"},
    };
    for (const Case& c : cases) {
        const HexParseResult parsed = ParseHexText(c.text);
        EXPECT_TRUE(parsed.records.empty()) << c.name;
        EXPECT_NE(parsed.error.find(c.error), std::string::npos) << c.name << ": " << parsed.error;
    }
}

TEST(HexFile, RecordsTheBootLoaderCouldNotProgramAsWrittenAreRefused)
{
    const HexRecordLine head = {0x4000, 0, Description(5)};
    struct Case {
        const char* name;
        std::vector<HexRecordLine> lines;
        const char* error;  // empty: accepted
    };
    const Case cases[] = {
        {"same address twice", {head, {0x4100, 0, Ramp(16, 1)}, {0x4100, 0, Ramp(16, 9)}, Eof()},
         "Line 3 of the firmware file writes address 4100, which line 2 writes already."},
        {"overlapping by one byte", {head, {0x4100, 0, Ramp(16, 1)}, {0x410F, 0, Ramp(4, 9)}, Eof()},
         "Line 3 of the firmware file writes address 410F, which line 2 writes already."},
        {"past FFFF", {head, {0xFFF8, 0, Ramp(16, 1)}, Eof()},
         "Line 2 of the firmware file runs past address FFFF; its end could not be programmed."},
        {"past FFFF in another bank", {head, Bank(0x10), {0xFFFF, 0, Ramp(2, 1)}, Eof()}, "Line 3 "},
        {"up to FFFF", {head, Bank(0x10), {0xFFF0, 0, Ramp(16, 1)}, Eof()}, ""},
        {"same address in two banks", {head, {0x8000, 0, Ramp(16, 1)}, Bank(0x10), {0x8000, 0, Ramp(16, 1)}, Eof()},
         ""},
        {"back to bank 0", {head, Bank(0x10), {0x8000, 0, Ramp(16, 1)}, Bank(0x00), {0x4000, 0, Ramp(4, 1)}, Eof()},
         "Line 5 of the firmware file writes address 4000, which line 1 writes already."},
        {"adjoining records", {head, {0x4100, 0, Ramp(16, 1)}, {0x4110, 0, Ramp(16, 1)}, Eof()}, ""},
    };
    for (const Case& c : cases) {
        const HexParseResult parsed = ParseHexText(HexText(c.lines));
        if (std::string(c.error).empty()) {
            EXPECT_EQ(parsed.error, "") << c.name;
            EXPECT_FALSE(parsed.records.empty()) << c.name;
        } else {
            EXPECT_TRUE(parsed.records.empty()) << c.name;
            EXPECT_EQ(parsed.error.rfind(c.error, 0), 0u) << c.name << ": " << parsed.error;
        }
    }
}

TEST(HexFile, AcceptsLineEndsCaseAndSkippableRecords)
{
    const std::vector<HexRecordLine> lines = {{0, 0x05, {0, 0, 0x40, 0}}, {0x4000, 0, Description(7)},
                                            {0, 0x03, {0, 0, 0x40, 0}}, Eof()};
    for (const char* eol : {"\r\n", "\n"}) {
        for (bool lower : {false, true}) {
            const HexParseResult parsed = ParseHexText(HexText(lines, eol, lower) + "\r\n\r\ntrailing text");
            ASSERT_EQ(parsed.error, "") << eol << lower;
            ASSERT_EQ(parsed.records.size(), 2u);  // 03 and 05 left out, nothing after the end
            EXPECT_EQ(parsed.records[0].address, 0x4000);
            EXPECT_EQ(parsed.records[1].type, HexEndOfFile);
        }
    }
}

TEST(HexFile, DescribesTheImageByAddress)
{
    // The same image twice: once plain, once behind a bank record and in two records.
    const Bytes d = Description(5, "0043", 0x21, 0x5000);
    const std::string plain = HexText({{0x4000, 0, d}, Eof()});
    const std::string banked = HexText({Bank(0x00), {0x4000, 0, Bytes(d.begin(), d.begin() + 12)},
                                        {0x400C, 0, Bytes(d.begin() + 12, d.end())}, Eof()});
    for (const std::string& text : {plain, banked}) {
        const FirmwareImage image = Load(text);
        EXPECT_EQ(image.ImageVariant, 5);
        EXPECT_EQ(image.name, "SARNELAPP");
        EXPECT_EQ(image.description, "TYX SARNEL ");
        EXPECT_EQ(image.revision, "0043");
        EXPECT_EQ(image.ImageCode, 0x21);
        EXPECT_EQ(image.setupRevision, 0x02);
        EXPECT_EQ(image.calibrationRevision, 0x04);
        EXPECT_EQ(image.eepromAddress, 0x5000);
        EXPECT_TRUE(image.analysed);
    }
}

TEST(HexFile, VariantOfTheImage)
{
    const std::pair<uint8_t, uint8_t> cases[] = {{1, 1}, {2, 2}, {3, 0}, {4, 4}, {5, 5},
                                                 {6, 6}, {7, 7}, {8, 0}, {9, 9}, {0x42, 0}};
    for (auto [byte, variant] : cases) {
        const FirmwareImage image = Load(HexText({{0x4000, 0, Description(byte)}, Eof()}));
        EXPECT_EQ(image.ImageVariant, variant) << int(byte);
        EXPECT_EQ(image.analysed, variant >= 4) << "only these get a block table: " << int(byte);
    }
    // No record at 0x4000: no variant, and no block table to send.
    const FirmwareImage none = Load(HexText({{0x5000, 0, Ramp(16, 1)}, Eof()}));
    EXPECT_EQ(none.ImageVariant, 0);
    EXPECT_FALSE(none.analysed);
    EXPECT_TRUE(none.BlockTable.empty());
    EXPECT_EQ(ImageVariantName(6), "Orvel Plus");
    EXPECT_EQ(ImageVariantName(0), "UNKNOWN");
}

struct BlockShape {
    uint16_t address;
    uint8_t type;
    size_t length;
};

std::vector<BlockShape> Shapes(const FirmwareImage& image)
{
    std::vector<BlockShape> s;
    for (const FlashBlock& b : image.BlockTable)
        s.push_back({b.address, b.type, b.data.size()});
    return s;
}

bool operator==(const BlockShape& a, const BlockShape& b)
{
    return a.address == b.address && a.type == b.type && a.length == b.length;
}

void PrintTo(const BlockShape& s, std::ostream* os)
{
    *os << std::hex << s.address << "/" << int(s.type) << "/" << std::dec << s.length;
}

TEST(HexFile, BlocksFollowPagesBanksAndBlanks)
{
    const Bytes d = Description(5);
    const Bytes ff(16, 0xFF);
    const FirmwareImage image = Load(HexText({
        {0x3FF0, 0, Ramp(16, 1)},                // below the image: left out
        {0x4000, 0, d},                         // 30 bytes
        {0x401E, 0, Ramp(2, 1)},                 // contiguous: appended
        {0x4020, 0, Ramp(16, 1)},
        {0x4030, 0, ff},                        // blank inside a page ends the block
        {0x4040, 0, Ramp(16, 2)},                // a new block although it follows on
        {0x4078, 0, Ramp(16, 3)},                // runs past the page end: split there
        {0x4100, 0, ff},                        // blank starting a page: nothing
        {0xF5F0, 0, Ramp(16, 4)},
        {0xF600, 0, Ramp(16, 5)},                // bank 0 holds no image from here
        Bank(0x10),
        {0xF600, 0, Ramp(16, 6)},                // in bank 1 it does
        Bank(0x00),
        {0xF680, 0, Ramp(16, 7)},                // back in bank 0: left out again
        Eof(),
    }));
    const std::vector<BlockShape> expected = {
        {0x4000, 0, 48}, {0x4040, 0, 16}, {0x4078, 0, 8}, {0x4080, 0, 8}, {0xF5F0, 0, 16},
        {0x0000, 2, 2},  {0xF600, 0, 16}, {0x0000, 2, 2}, {0x0000, 1, 0},
    };
    EXPECT_EQ(Shapes(image), expected);
    // Every data byte of the file counts, those left out of the table too.
    uint32_t sum = 0;
    for (const Bytes& b : {Ramp(16, 1), d, Ramp(2, 1), Ramp(16, 1), ff, Ramp(16, 2), Ramp(16, 3), ff, Ramp(16, 4),
                           Ramp(16, 5), Ramp(16, 6), Ramp(16, 7)})
        sum = std::accumulate(b.begin(), b.end(), sum);
    EXPECT_EQ(image.ImageChecksum, sum % 65536);
    for (const FlashBlock& b : image.BlockTable)
        EXPECT_LE(b.data.size(), 128u);
}

TEST(HexFile, WholePagesMakeWholeBlocks)
{
    std::vector<HexRecordLine> lines = {{0x4000, 0, Description(7)}};
    lines[0].data.resize(32, 0x11);
    for (uint16_t a = 0x4020; a < 0x4200; a += 32)
        lines.push_back({a, 0, Ramp(32, uint8_t(a))});
    lines.push_back(Eof());
    const FirmwareImage image = Load(HexText(lines));
    ASSERT_EQ(image.BlockTable.size(), 5u);  // four pages and the end
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(image.BlockTable[i].address, 0x4000 + 128 * i);
        EXPECT_EQ(image.BlockTable[i].data.size(), 128u);
    }
}

TEST(HexFile, ConfigurationIsTakenByAddress)
{
    Bytes config = Ramp(256, 0x10, 7);
    // The configuration behind a bank record, in records that cross pages.
    std::vector<HexRecordLine> lines = {Bank(0x00), {0x4000, 0, Description(5, "0043", 0x21, 0x5010)}};
    for (size_t i = 0; i < 256; i += 48)
        lines.push_back({uint16_t(0x5010 + i), 0, Bytes(config.begin() + i, config.begin() + std::min<size_t>(i + 48, 256))});
    lines.push_back(Eof());
    const auto extracted = ExtractConfigFromImage(Load(HexText(lines)));
    ASSERT_TRUE(extracted);
    EXPECT_TRUE(std::equal(config.begin(), config.end(), extracted->begin()));

    // One byte short: no configuration rather than a shifted one.
    lines[lines.size() - 2].data.pop_back();
    EXPECT_FALSE(ExtractConfigFromImage(Load(HexText(lines))));
}

// Files that exercise every kind of block: banks, blanks inside and at the
// start of a page, records split at a page end, left-out ranges, and a
// configuration behind a bank record.
std::vector<std::string> RoundTripFiles()
{
    const Bytes ff(16, 0xFF);
    std::vector<HexRecordLine> withConfig = {Bank(0x00), {0x4000, 0, Description(5, "0043", 0x21, 0x5010)}};
    const Bytes config = Ramp(256, 0x10, 7);
    for (size_t i = 0; i < 256; i += 48)
        withConfig.push_back(
            {uint16_t(0x5010 + i), 0, Bytes(config.begin() + i, config.begin() + std::min<size_t>(i + 48, 256))});
    withConfig.push_back(Eof());
    return {
        HexText({{0x3FF0, 0, Ramp(16, 1)}, {0x4000, 0, Description(9)}, {0x401E, 0, Ramp(2, 1)},
                 {0x4020, 0, Ramp(16, 1)}, {0x4030, 0, ff}, {0x4040, 0, Ramp(16, 2)}, {0x4078, 0, Ramp(16, 3)},
                 {0x4100, 0, ff}, {0xF5F0, 0, Ramp(16, 4)}, {0xF600, 0, Ramp(16, 5)}, Bank(0x10),
                 {0xF600, 0, Ramp(16, 6)}, Bank(0x20), {0x0000, 0, Ramp(16, 8)}, Bank(0x00),
                 {0xF680, 0, Ramp(16, 7)}, Eof()}),
        HexText(withConfig),
    };
}

TEST(HexFile, TheWrittenBlockTableReadsBackAsTheSameImage)
{
    for (const std::string& file : RoundTripFiles()) {
        const FirmwareImage first = Load(file);
        ASSERT_TRUE(first.analysed);
        const std::string written = HexFileText(first);
        const FirmwareImage second = Load(written);

        ASSERT_EQ(second.BlockTable.size(), first.BlockTable.size());
        for (size_t b = 0; b < first.BlockTable.size(); ++b) {
            EXPECT_EQ(second.BlockTable[b].address, first.BlockTable[b].address) << "block " << b;
            EXPECT_EQ(second.BlockTable[b].type, first.BlockTable[b].type) << "block " << b;
            EXPECT_EQ(second.BlockTable[b].data, first.BlockTable[b].data) << "block " << b;
        }
        EXPECT_EQ(second.ImageVariant, first.ImageVariant);
        EXPECT_EQ(second.descriptionBank, first.descriptionBank);
        EXPECT_EQ(second.name, first.name);
        EXPECT_EQ(second.description, first.description);
        EXPECT_EQ(second.revision, first.revision);
        EXPECT_EQ(second.ImageCode, first.ImageCode);
        EXPECT_EQ(second.setupRevision, first.setupRevision);
        EXPECT_EQ(second.calibrationRevision, first.calibrationRevision);
        EXPECT_EQ(second.eepromAddress, first.eepromAddress);
        EXPECT_EQ(ExtractConfigFromImage(second), ExtractConfigFromImage(first));
        // The written file holds only what the table holds, so its checksum is the sum of the data blocks.
        uint32_t tableSum = 0;
        for (const FlashBlock& b : first.BlockTable)
            if (b.type == HexData)
                tableSum = std::accumulate(b.data.begin(), b.data.end(), tableSum);
        EXPECT_EQ(second.ImageChecksum, tableSum % 65536);

        // Writing what was read back gives the same text, byte for byte.
        EXPECT_EQ(HexFileText(second), written);
    }
}

TEST(HexFile, RecordsAreWrittenAsIntelHex)
{
    EXPECT_EQ(HexRecordText(0, HexEndOfFile, {}), ":00000001FF");
    EXPECT_EQ(HexRecordText(0, HexSegmentAddress, {0x10, 0x00}), ":020000021000EC");
    EXPECT_EQ(HexRecordText(0xABCD, HexData, {0x01, 0xFF}), ":02ABCD0001FF86");
    FirmwareImage image;
    image.BlockTable = {{0x4000, HexData, {0x05}}, {0, HexEndOfFile, {}}};
    EXPECT_EQ(HexFileText(image), ":0140000005BA\r\n:00000001FF\r\n");
}

}  // namespace
}  // namespace kovrin
