#include "app/core/firmware_image.h"

#include <algorithm>

#include "app/core/acceptor_variants.h"
#include "app/core/hex_digits.h"

namespace kovrin {

namespace {

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

std::string LineError(int line, const std::string& what)
{
    return "Line " + std::to_string(line) + " of the firmware file " + what;
}

uint32_t Key(uint8_t bank, uint16_t address)
{
    return uint32_t(bank) << 16 | address;
}

}  // namespace

HexParseResult ParseHexText(std::string_view text)
{
    HexParseResult result;
    int lineNo = 0;
    size_t pos = 0;
    bool ended = false;
    while (pos < text.size() && !ended) {
        size_t eol = text.find('\n', pos);
        if (eol == std::string_view::npos)
            eol = text.size();
        std::string_view line = text.substr(pos, eol - pos);
        pos = eol + 1;
        ++lineNo;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.remove_suffix(1);
        if (line.empty())
            continue;
        if (line[0] != ':')
            return {{}, LineError(lineNo, "does not start with ':'.")};
        if (line.size() < 11 || (line.size() - 1) % 2 != 0)
            return {{}, LineError(lineNo, "has a wrong length.")};
        Bytes bytes;
        for (size_t i = 1; i + 1 < line.size(); i += 2) {
            const int hi = HexDigit(line[i]);
            const int lo = HexDigit(line[i + 1]);
            if (hi < 0 || lo < 0)
                return {{}, LineError(lineNo, "holds a character that is not a hex digit.")};
            bytes.push_back(uint8_t(hi * 16 + lo));
        }
        if (bytes[0] + 5u != bytes.size())
            return {{}, LineError(lineNo, "has a byte count that does not match its length.")};
        uint8_t sum = 0;
        for (uint8_t b : bytes)
            sum = uint8_t(sum + b);
        if (sum != 0)
            return {{}, LineError(lineNo, "has a wrong checksum.")};
        HexRecord r;
        r.address = uint16_t(bytes[1] << 8 | bytes[2]);
        r.type = bytes[3];
        r.data.assign(bytes.begin() + 4, bytes.end() - 1);
        r.line = lineNo;
        switch (r.type) {
        case HexData:
        case HexSegmentAddress:
            result.records.push_back(std::move(r));
            break;
        case HexEndOfFile:
            result.records.push_back(std::move(r));
            ended = true;  // whatever follows is not part of the image
            break;
        case 0x03:  // start addresses mean nothing to the boot loader
        case 0x05:
            break;
        default:
            return {{}, LineError(lineNo, "has record type " + std::to_string(r.type) + ", which is not used here.")};
        }
    }
    if (!ended)
        return {{}, "The firmware file has no end-of-file record."};
    if (std::string error = CheckRecordsProgrammable(result.records); !error.empty())
        return {{}, std::move(error)};
    return result;
}

uint8_t ImageVariantOf(uint8_t code)
{
    return code == KnownVariantOr0(code) && VariantRow(code).ImageName != nullptr ? code : 0;
}

std::string ImageVariantName(uint8_t variant)
{
    const char* name = VariantRow(ImageVariantOf(variant)).ImageName;
    return name;
}

std::optional<uint8_t> FirmwareImage::ByteAt(uint8_t bank, uint16_t address) const
{
    const auto it = memory.find(Key(bank, address));
    if (it == memory.end())
        return std::nullopt;
    return it->second;
}

namespace {

uint8_t BankOf(uint8_t code, uint8_t current)
{
    switch (code) {
    case 0x00:
        return 0;
    case 0x10:
        return 1;
    case 0x20:
        return 2;
    case 0x30:
        return 3;
    default:
        return current;
    }
}

std::string Hex4(uint32_t value)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string s(4, '0');
    for (int i = 3; i >= 0; --i, value >>= 4)
        s[size_t(i)] = digits[value & 0xF];
    return s;
}

}  // namespace

std::string CheckRecordsProgrammable(const std::vector<HexRecord>& records)
{
    constexpr uint32_t BankSize = 0x10000;
    // Line that wrote each address of the four banks; 0 for none yet.
    std::vector<int> writtenBy(4 * BankSize, 0);
    uint8_t bank = 0;
    for (const HexRecord& r : records) {
        if (r.type == HexSegmentAddress && !r.data.empty())
            bank = BankOf(r.data[0], bank);
        if (r.type != HexData || r.data.empty())
            continue;
        if (uint32_t(r.address) + r.data.size() > BankSize)
            return LineError(r.line, "runs past address FFFF; its end could not be programmed.");
        for (size_t i = 0; i < r.data.size(); ++i) {
            int& by = writtenBy[bank * BankSize + r.address + i];
            if (by != 0)
                return LineError(r.line, "writes address " + Hex4(uint32_t(r.address + i)) + ", which line " +
                                             std::to_string(by) + " writes already.");
            by = r.line;
        }
    }
    return {};
}

namespace {

bool Blank(const Bytes& data)
{
    return std::all_of(data.begin(), data.end(), [](uint8_t b) { return b == 0xFF; });
}

// Packs data records into page blocks; address and end-of-file records are blocks of their own.
class BlockBuilder {
public:
    explicit BlockBuilder(std::vector<FlashBlock>& table) : table_(table) {}

    void Other(const HexRecord& r)
    {
        Close();
        if (r.type == HexSegmentAddress && !r.data.empty())
            bank_ = BankOf(r.data[0], bank_);
        table_.push_back({r.address, r.type, r.data});
    }

    void Data(uint16_t x, const Bytes& piece)
    {
        if (x < ImageStart)
            return;
        const uint32_t pageEnd = (x / FlashPage + 1) * FlashPage - 1;
        if (x == ImageStart) {
            Start(x, piece, pageEnd);  // the image's first page always opens a block
        } else if (!open_ || x > end_ || x != next_) {
            Close();
            if (Blank(piece))
                return;
            if (bank_ == 0 && x >= BankZeroImageEnd) {
                next_ = end_ = 0;
                return;
            }
            Start(x, piece, pageEnd);
        } else if (Blank(piece)) {
            Close();  // erased memory needs no programming
            next_ = end_ = 0;
        } else {
            Bytes& data = table_.back().data;
            data.insert(data.end(), piece.begin(), piece.end());
            next_ = x + uint32_t(piece.size());
        }
    }

private:
    void Start(uint16_t x, const Bytes& piece, uint32_t pageEnd)
    {
        table_.push_back({x, HexData, piece});
        open_ = true;
        end_ = pageEnd;
        next_ = x + uint32_t(piece.size());
    }
    void Close() { open_ = false; }

    std::vector<FlashBlock>& table_;
    bool open_ = false;
    uint32_t end_ = 0;
    uint32_t next_ = 0;
    uint8_t bank_ = 0;
};

}  // namespace

FirmwareImage AnalyzeHexRecords(const std::vector<HexRecord>& records)
{
    FirmwareImage image;
    uint32_t checksum = 0;
    uint8_t bank = 0;
    bool found = false;
    for (const HexRecord& r : records) {
        if (r.type == HexSegmentAddress && !r.data.empty())
            bank = BankOf(r.data[0], bank);
        if (r.type != HexData)
            continue;
        for (size_t i = 0; i < r.data.size(); ++i) {
            checksum += r.data[i];
            image.memory[Key(bank, uint16_t(r.address + i))] = r.data[i];
        }
        if (!found && r.address == ImageStart && !r.data.empty() && !Blank(r.data)) {
            found = true;
            image.ImageVariant = ImageVariantOf(r.data[0]);
            image.descriptionBank = bank;
        }
    }
    image.ImageChecksum = checksum % 65536;

    const auto text = [&](uint16_t first, int count) {
        std::string s;
        for (int i = 0; i < count; ++i)
            s += char(image.ByteAt(image.descriptionBank, uint16_t(first + i)).value_or(0));
        return s;
    };
    const auto byte = [&](uint16_t at) { return image.ByteAt(image.descriptionBank, at).value_or(0); };
    if (found) {
        image.name = text(0x4001, 9);
        image.description = text(0x400A, 11);
        image.revision = text(0x4015, 4);
        image.ImageCode = byte(0x4019);
        image.setupRevision = byte(0x401A);
        image.calibrationRevision = byte(0x401B);
        image.eepromAddress = uint16_t(byte(0x401C) << 8 | byte(0x401D));
    }

    if (!VariantRow(image.ImageVariant).ImageAnalysed)
        return image;  // no block table for these
    BlockBuilder builder(image.BlockTable);
    for (const HexRecord& r : records) {
        if (r.type != HexData) {
            builder.Other(r);
            continue;
        }
        // A record running past its page is split at the page end.
        size_t done = 0;
        while (done < r.data.size()) {
            const uint32_t x = uint32_t(r.address) + uint32_t(done);
            if (x > 0xFFFF)
                break;  // past the end of the bank's address space
            const size_t room = FlashPage - x % FlashPage;
            const size_t n = std::min(room, r.data.size() - done);
            builder.Data(uint16_t(x), Bytes(r.data.begin() + long(done), r.data.begin() + long(done + n)));
            done += n;
        }
    }
    image.analysed = true;
    return image;
}

std::optional<EepromImage> ExtractConfigFromImage(const FirmwareImage& image)
{
    EepromImage config{};
    for (size_t i = 0; i < config.size(); ++i) {
        const uint32_t address = uint32_t(image.eepromAddress) + uint32_t(i);
        if (address > 0xFFFF)
            return std::nullopt;
        const auto b = image.ByteAt(image.descriptionBank, uint16_t(address));
        if (!b)
            return std::nullopt;
        config[i] = *b;
    }
    return config;
}

std::string HexRecordText(uint16_t address, uint8_t type, const Bytes& data)
{
    const auto count = static_cast<uint8_t>(data.size());
    std::string text = ":" + ByteToHex(count) + ByteToHex(uint8_t(address >> 8)) + ByteToHex(uint8_t(address)) +
                       ByteToHex(type);
    uint8_t sum = uint8_t(count + (address >> 8) + (address & 0xFF) + type);
    for (uint8_t b : data) {
        text += ByteToHex(b);
        sum = uint8_t(sum + b);
    }
    return text + ByteToHex(uint8_t(-sum));
}

std::vector<std::string> BlockTableRecords(const FirmwareImage& image)
{
    std::vector<std::string> records;
    records.reserve(image.BlockTable.size());
    for (const FlashBlock& block : image.BlockTable)
        records.push_back(HexRecordText(block.address, block.type, block.data));
    return records;
}

std::string HexFileText(const FirmwareImage& image)
{
    std::string text;
    for (const std::string& record : BlockTableRecords(image))
        text += record + "\r\n";
    return text;
}

}  // namespace kovrin
