// The firmware file: Intel HEX text into records, records into the image and
// its block table, and the configuration the image carries. Input: the text.
//
// Every value the loader gives is also read here from the records by address,
// written from the file's layout, not from the loader: the description bytes
// at 0x4000 to 0x401D, the checksum, the pages of the block table. An input
// that does not begin as a file does (with ':') also describes an image that
// is written out here as a file, loaded, and compared with what was put in.

#include <map>
#include <set>

#include "app/core/firmware_image.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/support/hex_writer.h"

using namespace kovrin;
using kovrin::fuzz::Input;

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

// ---- the records read here, by the file's layout

constexpr uint32_t kImageStart = 0x4000;    // the image's first page, which describes it
constexpr uint32_t kBankZeroEnd = 0xF600;   // bank 0 is not programmed from here on
constexpr uint32_t kPage = 128;

uint32_t Key(uint8_t bank, uint32_t address)
{
    return uint32_t(bank) << 16 | address;
}

// An extended-address record's first data byte names the bank; others leave it.
uint8_t BankOfCode(uint8_t code, uint8_t bank)
{
    return code == 0x00 ? 0 : code == 0x10 ? 1 : code == 0x20 ? 2 : code == 0x30 ? 3 : bank;
}

bool Erased(const Bytes& data)
{
    for (uint8_t b : data)
        if (b != 0xFF)
            return false;
    return true;
}

// The file's data bytes by bank and address, their sum, and the first data
// record at 0x4000 that holds something, which describes the image.
struct Reading {
    std::map<uint32_t, uint8_t> memory;
    uint32_t sum = 0;
    bool described = false;
    uint8_t bank = 0;
    uint8_t variantByte = 0;

    uint8_t At(uint32_t address) const
    {
        const auto it = memory.find(Key(bank, address));
        return it == memory.end() ? 0 : it->second;
    }
    std::string Text(uint32_t first, int count) const
    {
        std::string s;
        for (int i = 0; i < count; ++i)
            s += char(At(first + uint32_t(i)));
        return s;
    }
};

Reading Read(const std::vector<HexRecord>& records)
{
    Reading r;
    uint8_t bank = 0;
    for (const HexRecord& record : records) {
        if (record.type == 0x02 && !record.data.empty())
            bank = BankOfCode(record.data[0], bank);
        if (record.type != 0x00)
            continue;
        for (size_t i = 0; i < record.data.size(); ++i) {
            r.memory[Key(bank, record.address + uint32_t(i))] = record.data[i];
            r.sum += record.data[i];
        }
        if (!r.described && record.address == kImageStart && !record.data.empty() && !Erased(record.data)) {
            r.described = true;
            r.bank = bank;
            r.variantByte = record.data[0];
        }
    }
    return r;
}

// Variant codes an image may carry, with the name shown for it; 3 and 8 have no images.
bool Recognised(uint8_t code)
{
    return code == 1 || code == 2 || code == 4 || code == 5 || code == 6 || code == 7 || code == 9;
}
bool Packed(uint8_t variant)
{
    return variant == 4 || variant == 5 || variant == 6 || variant == 7 || variant == 9;
}
std::string ImageName(uint8_t variant)
{
    switch (variant) {
    case 0: return "UNKNOWN";
    case 4: return "Dastin Plus";
    case 5: return "Tyx Sarnel";
    case 6: return "Orvel Plus";
    case 7: return "Tyx Tekra";
    case 9: return "Dastin ++";
    default: return "";
    }
}

// The block table by the layout: a data block starts at a record that does
// not follow on from the open block, and holds at most the rest of its page;
// records that cross a page end are cut there. The page at 0x4000 always
// starts a block; an erased piece (all 0xFF) ends one and is not programmed;
// nothing below 0x4000, nor in bank 0 from 0xF600 on, is programmed. Every
// other record is a block of its own.
std::vector<FlashBlock> Blocks(const std::vector<HexRecord>& records)
{
    std::vector<FlashBlock> table;
    bool open = false;
    uint32_t pageLast = 0, next = 0;
    uint8_t bank = 0;
    for (const HexRecord& record : records) {
        if (record.type != 0x00) {
            open = false;
            if (record.type == 0x02 && !record.data.empty())
                bank = BankOfCode(record.data[0], bank);
            table.push_back({record.address, record.type, record.data});
            continue;
        }
        for (size_t done = 0; done < record.data.size();) {
            const uint32_t x = record.address + uint32_t(done);
            const size_t n = std::min<size_t>(kPage - x % kPage, record.data.size() - done);
            const Bytes piece(record.data.begin() + long(done), record.data.begin() + long(done + n));
            done += n;
            if (x < kImageStart)
                continue;
            const bool follows = open && x == next && x <= pageLast;
            if (x != kImageStart && follows) {
                if (Erased(piece)) {
                    open = false;
                    continue;
                }
                table.back().data.insert(table.back().data.end(), piece.begin(), piece.end());
                next = x + uint32_t(n);
                continue;
            }
            open = false;
            if (x != kImageStart && (Erased(piece) || (bank == 0 && x >= kBankZeroEnd)))
                continue;
            table.push_back({uint16_t(x), 0x00, piece});
            open = true;
            pageLast = x - x % kPage + kPage - 1;
            next = x + uint32_t(n);
        }
    }
    return table;
}

// A record as a line of the file: count, address, type, data, and the byte
// that makes them all add up to 0.
std::string RecordText(uint32_t address, uint8_t type, const Bytes& data, bool lower = false)
{
    const char* digits = lower ? "0123456789abcdef" : "0123456789ABCDEF";
    Bytes bytes = {uint8_t(data.size()), uint8_t(address >> 8), uint8_t(address), type};
    bytes.insert(bytes.end(), data.begin(), data.end());
    uint8_t sum = 0;
    for (uint8_t b : bytes)
        sum = uint8_t(sum + b);
    bytes.push_back(uint8_t(0x100 - sum));
    std::string text = ":";
    for (uint8_t b : bytes) {
        text += digits[b >> 4];
        text += digits[b & 0xF];
    }
    return text;
}

bool SameBlocks(const std::vector<FlashBlock>& a, const std::vector<FlashBlock>& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].address != b[i].address || a[i].type != b[i].type || a[i].data != b[i].data)
            return false;
    return true;
}

void CheckImageByReading(const std::vector<HexRecord>& records, const FirmwareImage& image)
{
    const Reading r = Read(records);
    FUZZ_CHECK(image.ImageChecksum == (r.sum & 0xFFFF));

    const uint8_t variant = r.described && Recognised(r.variantByte) ? r.variantByte : 0;
    FUZZ_CHECK(image.ImageVariant == variant);
    FUZZ_CHECK(ImageVariantName(image.ImageVariant) == ImageName(variant));
    FUZZ_CHECK(image.analysed == Packed(variant));

    // The description: 9 and 11 characters of names, a 4-character revision,
    // the code, two revisions, and the configuration's address high byte first.
    FUZZ_CHECK(image.name == (r.described ? r.Text(0x4001, 9) : ""));
    FUZZ_CHECK(image.description == (r.described ? r.Text(0x400A, 11) : ""));
    FUZZ_CHECK(image.revision == (r.described ? r.Text(0x4015, 4) : ""));
    const auto at = [&](uint32_t address) { return r.described ? r.At(address) : 0; };
    FUZZ_CHECK(image.ImageCode == at(0x4019));
    FUZZ_CHECK(image.setupRevision == at(0x401A));
    FUZZ_CHECK(image.calibrationRevision == at(0x401B));
    const uint32_t eeprom = at(0x401C) * 256u + at(0x401D);
    FUZZ_CHECK(image.eepromAddress == eeprom);
    if (r.described)
        FUZZ_CHECK(image.descriptionBank == r.bank);

    FUZZ_CHECK(SameBlocks(image.BlockTable, image.analysed ? Blocks(records) : std::vector<FlashBlock>{}));

    // The configuration: 256 bytes from that address in the describing bank, or nothing.
    std::optional<EepromImage> config = EepromImage{};
    for (uint32_t i = 0; i < 256 && config; ++i) {
        const auto it = r.memory.find(Key(r.described ? r.bank : 0, eeprom + i));
        if (eeprom + i > 0xFFFF || it == r.memory.end())
            config.reset();
        else
            (*config)[i] = it->second;
    }
    FUZZ_CHECK(ExtractConfigFromImage(image) == config);

    // The block table as a file for the module: one record a block.
    const std::vector<std::string> lines = BlockTableRecords(image);
    FUZZ_CHECK(lines.size() == image.BlockTable.size());
    std::string file;
    for (size_t i = 0; i < lines.size(); ++i) {
        const FlashBlock& b = image.BlockTable[i];
        FUZZ_CHECK(lines[i] == RecordText(b.address, b.type, b.data));
        file += lines[i] + "\r\n";
    }
    FUZZ_CHECK(HexFileText(image) == file);
}

// ---- an image put together from the input, written out, loaded back

struct Line {
    uint32_t address;
    uint8_t type;
    Bytes data;
};

struct Built {
    std::vector<Line> lines;
    std::vector<FlashBlock> blocks;  // as the update sends them
    Bytes description;               // 0x4000 to 0x401D
    uint8_t bank = 0;                // where the image describes itself
    uint32_t sum = 0;
    std::optional<EepromImage> config;
};

class Builder {
public:
    explicit Builder(Input& in) : in_(in) {}

    // Data at `address` of the current bank as records of `chunk` bytes; no
    // record is all 0xFF, so none ends a page early.
    Bytes Put(uint32_t address, Bytes data)
    {
        const size_t chunk = 1 + in_.Byte() % 32;
        for (size_t at = 0; at < data.size(); at += chunk) {
            Bytes piece(data.begin() + long(at), data.begin() + long(std::min(data.size(), at + chunk)));
            if (Erased(piece)) {
                piece[0] = 0xFE;
                data[at] = 0xFE;
            }
            for (uint8_t b : piece)
                built_.sum += b;
            built_.lines.push_back({address + uint32_t(at), 0x00, piece});
        }
        return data;
    }
    void Page(uint32_t address, const Bytes& data) { built_.blocks.push_back({uint16_t(address), 0x00, Put(address, data)}); }
    void SetBank(uint8_t bank)
    {
        const Bytes code = {uint8_t(bank * 0x10), 0x00};
        built_.lines.push_back({0, 0x02, code});
        built_.blocks.push_back({0, 0x02, code});
        bank_ = bank;
    }
    uint8_t CurrentBank() const { return bank_; }
    Built& Result() { return built_; }
    Input& In() { return in_; }

private:
    Input& in_;
    Built built_;
    uint8_t bank_ = 0;
};

// The input's bytes, made up to `length` once it runs out.
Bytes Padded(Bytes bytes, size_t length)
{
    bytes.resize(length, 0x11);
    return bytes;
}

Built BuildImage(Input& in, uint8_t& variant)
{
    static const uint8_t kVariants[] = {4, 5, 6, 7, 9, 1, 2, 3, 8, 0};
    const uint8_t pick = in.Byte();
    variant = pick % 11 < 10 ? kVariants[pick % 11] : uint8_t(std::min<int>(in.Byte(), 0xFE));
    const uint8_t flags = in.Byte();
    const bool withConfig = flags & 1;

    Builder b(in);
    Built& built = b.Result();
    built.bank = (flags >> 1) % 4;
    if (built.bank != 0)
        b.SetBank(built.bank);
    std::array<uint32_t, 4> next = {kImageStart, kImageStart, kImageStart, kImageStart};  // per bank
    std::array<uint32_t, 4> low = {0, 0, 0, 0};
    uint32_t high = kBankZeroEnd;

    // The description page, with the configuration's two pages after it.
    Bytes page = {variant};
    const Bytes described = in.Bytes(29);
    page.insert(page.end(), described.begin(), described.end());
    page.resize(30, 0x20);
    const uint32_t configAt = kImageStart + kPage * (1 + in.Byte() % 3);
    if (withConfig) {
        page[28] = uint8_t(configAt >> 8);
        page[29] = uint8_t(configAt);
    }
    const Bytes more = in.Bytes(in.Byte() % (kPage - 30 + 1));
    page.insert(page.end(), more.begin(), more.end());
    const Bytes put = b.Put(kImageStart, page);
    built.description.assign(put.begin(), put.begin() + 30);
    built.blocks.push_back({uint16_t(kImageStart), 0x00, put});
    next[built.bank] = kImageStart + kPage;
    if (withConfig) {
        Bytes config = in.Bytes(256);
        config.resize(256, 0x5A);
        const Bytes first = b.Put(configAt, Bytes(config.begin(), config.begin() + 128));
        const Bytes second = b.Put(configAt + kPage, Bytes(config.begin() + 128, config.end()));
        built.blocks.push_back({uint16_t(configAt), 0x00, first});
        built.blocks.push_back({uint16_t(configAt + kPage), 0x00, second});
        built.config = EepromImage{};
        std::copy(first.begin(), first.end(), built.config->begin());
        std::copy(second.begin(), second.end(), built.config->begin() + 128);
        next[built.bank] = configAt + 2 * kPage;
    }

    const int items = in.Byte() % 10;
    for (int i = 0; i < items && !in.Empty(); ++i) {
        const uint8_t bank = b.CurrentBank();
        switch (in.Byte() % 5) {
        case 0:
        case 1: {
            // A page's worth or less, from a page start or within it.
            const uint32_t pageStart = (next[bank] + kPage - 1) / kPage * kPage + kPage * (in.Byte() % 3);
            const uint32_t offset = in.Byte() % kPage;
            const uint32_t length = 1 + in.Byte() % (kPage - offset);
            const uint32_t address = pageStart + offset;
            if (address + length > (bank == 0 ? kBankZeroEnd : 0x10000))
                break;
            b.Page(address, Padded(in.Bytes(length), length));
            next[bank] = address + length;
            break;
        }
        case 2:
            b.SetBank(in.Byte() % 4);
            break;
        case 3: {
            // Below the image: counted in the checksum, never programmed.
            const uint32_t address = low[bank] + in.Byte();
            const uint32_t length = 1 + in.Byte() % 32;
            if (address + length > kImageStart)
                break;
            b.Put(address, Padded(in.Bytes(length), length));
            low[bank] = address + length;
            break;
        }
        default: {
            // Bank 0 past the image's end: the same.
            if (bank != 0)
                break;
            const uint32_t address = high + in.Byte() % 64;
            const uint32_t length = 1 + in.Byte() % 32;
            if (address + length > 0x10000)
                break;
            b.Put(address, Padded(in.Bytes(length), length));
            high = address + length;
            break;
        }
        }
    }
    built.lines.push_back({0, 0x01, {}});
    built.blocks.push_back({0, 0x01, {}});
    return built;
}

void CheckRoundTrip(Input& in)
{
    uint8_t variant = 0;
    const Built built = BuildImage(in, variant);
    const uint8_t style = in.Byte();
    std::string text;
    for (const Line& l : built.lines)
        text += RecordText(l.address, l.type, l.data, style & 1) + ((style & 2) ? "\n" : "\r\n");

    const HexParseResult parsed = ParseHexText(text);
    FUZZ_CHECK(parsed.error.empty());
    FUZZ_CHECK(parsed.records.size() == built.lines.size());
    for (size_t i = 0; i < parsed.records.size() && i < built.lines.size(); ++i) {
        FUZZ_CHECK(parsed.records[i].address == built.lines[i].address);
        FUZZ_CHECK(parsed.records[i].type == built.lines[i].type);
        FUZZ_CHECK(parsed.records[i].data == built.lines[i].data);
    }
    const FirmwareImage image = AnalyzeHexRecords(parsed.records);

    const Bytes& d = built.description;
    FUZZ_CHECK(image.ImageVariant == (Recognised(variant) ? variant : 0));
    FUZZ_CHECK(image.descriptionBank == built.bank);
    FUZZ_CHECK(image.name == std::string(d.begin() + 1, d.begin() + 10));
    FUZZ_CHECK(image.description == std::string(d.begin() + 10, d.begin() + 21));
    FUZZ_CHECK(image.revision == std::string(d.begin() + 21, d.begin() + 25));
    FUZZ_CHECK(image.ImageCode == d[25]);
    FUZZ_CHECK(image.setupRevision == d[26]);
    FUZZ_CHECK(image.calibrationRevision == d[27]);
    FUZZ_CHECK(image.eepromAddress == uint32_t(d[28] << 8 | d[29]));
    FUZZ_CHECK(image.ImageChecksum == built.sum % 65536);
    FUZZ_CHECK(SameBlocks(image.BlockTable, Packed(variant) ? built.blocks : std::vector<FlashBlock>{}));
    if (built.config)
        FUZZ_CHECK(ExtractConfigFromImage(image) == built.config);

    CheckImage(parsed.records, image);
    CheckImageByReading(parsed.records, image);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const HexParseResult parsed = ParseHexText(text);
    if (!parsed.error.empty()) {
        FUZZ_CHECK(parsed.records.empty());
    } else {
        CheckRecords(parsed.records);
        const FirmwareImage image = AnalyzeHexRecords(parsed.records);
        CheckImage(parsed.records, image);
        CheckImageByReading(parsed.records, image);
    }
    if (size > 0 && data[0] != ':') {
        Input in(data, size);
        CheckRoundTrip(in);
    }
    return 0;
}
