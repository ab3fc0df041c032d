#include "app/module/audit_records.h"

#include <algorithm>
#include <cassert>

namespace kovrin {

namespace {

constexpr size_t SerialAt = 0;
constexpr size_t PartAt = 11;
constexpr size_t RevisionAt = 21;
constexpr size_t PackedAt = 23;
constexpr size_t StampAt = 30;

// A counter stored as a big-endian number of `Width` bytes at `Offset`.
struct WideCounter {
    uint32_t AuditCounterBlock::*Field;
    size_t Offset;
};

constexpr size_t Record24Width = 3;
const WideCounter Record24Counters[] = {
    {&AuditCounterBlock::MotorStarts, 23}, {&AuditCounterBlock::Stacked, 26}, {&AuditCounterBlock::Rejects, 29},
    {&AuditCounterBlock::Cheats, 32},      {&AuditCounterBlock::PowerUps, 35},
};

constexpr size_t Record32Width = 4;
const WideCounter Record32Counters[] = {
    {&AuditCounterBlock::MotorStarts, 35}, {&AuditCounterBlock::Stacked, 39}, {&AuditCounterBlock::Rejects, 43},
    {&AuditCounterBlock::Cheats, 47},      {&AuditCounterBlock::PowerUps, 51},
};

struct ColumnRow {
    const char* Header;
    uint32_t AuditCounterBlock::*Counter;  // null: not a counter
    bool PackedOnly;                       // "n/a" in the other layouts
};

const ColumnRow Columns[AuditColumnCount] = {
    {"SERIAL #", nullptr, false},
    {"Part #", nullptr, false},
    {"FW Rev", nullptr, false},
    {"Starts", &AuditCounterBlock::MotorStarts, false},
    {"Pre-Escrows", &AuditCounterBlock::PreEscrows, true},
    {"Stacks", &AuditCounterBlock::Stacked, false},
    {"Rejects", &AuditCounterBlock::Rejects, false},
    {"Host Returns", &AuditCounterBlock::Returns, true},
    {"Cheats", &AuditCounterBlock::Cheats, false},
    {"Jams", &AuditCounterBlock::Jams, true},
    {"Power Up", &AuditCounterBlock::PowerUps, false},
    {"Timestamp", nullptr, false},
};

uint32_t BigEndian(std::span<const uint8_t> bytes, size_t at, size_t width)
{
    uint32_t value = 0;
    for (size_t i = 0; i < width; ++i)
        value = (value << 8) | bytes[at + i];
    return value;
}

void ReadCounters(std::span<const uint8_t> record, std::span<const WideCounter> counters, size_t width,
                  AuditCounterBlock& block)
{
    for (const WideCounter& c : counters)
        block.*c.Field = BigEndian(record, c.Offset, width);
}

// One character per byte, whatever its value.
QString ByteText(std::span<const uint8_t> bytes)
{
    return QString::fromLatin1(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
}

bool Valid(int column)
{
    return column >= 0 && column < AuditColumnCount;
}

}  // namespace

size_t AuditRecordLength(AuditFileKind kind)
{
    return kind == AuditFileKind::Sarnel ? SarnelAuditRecordLength : TekraAuditRecordLength;
}

std::string AuditRevisionText(uint8_t first, uint8_t second)
{
    static constexpr char Digits[] = "0123456789ABCDEF";
    char text[4];
    size_t length = 0;
    for (uint8_t b : {first, second}) {
        if (b >= 0x10)
            text[length++] = Digits[b >> 4];
        text[length++] = Digits[b & 0x0F];
    }
    return std::string(text, length);
}

AuditLayout AuditLayoutOf(AuditFileKind kind, const std::string& revisionText)
{
    if (kind == AuditFileKind::Sarnel)
        return revisionText > std::string("042") ? AuditLayout::Packed : AuditLayout::Record24;
    return revisionText >= std::string("018") ? AuditLayout::Packed : AuditLayout::Record32;
}

AuditRecord DecodeAuditRecord(std::span<const uint8_t> bytes, AuditFileKind kind)
{
    assert(bytes.size() >= AuditRecordLength(kind));
    AuditRecord r;
    std::copy_n(bytes.begin() + SerialAt, r.SerialNumber.size(), r.SerialNumber.begin());
    std::copy_n(bytes.begin() + PartAt, r.PartNumber.size(), r.PartNumber.begin());
    r.RevisionFirst = bytes[RevisionAt];
    r.RevisionSecond = bytes[RevisionAt + 1];
    r.Layout = AuditLayoutOf(kind, AuditRevisionText(r.RevisionFirst, r.RevisionSecond));
    switch (r.Layout) {
    case AuditLayout::Record24:
        ReadCounters(bytes, Record24Counters, Record24Width, r.Counters);
        break;
    case AuditLayout::Packed:
        r.Counters = *DecodeAuditCounterBlock(bytes.subspan(PackedAt, AuditCounterBlockLength));
        break;
    case AuditLayout::Record32:
        ReadCounters(bytes, Record32Counters, Record32Width, r.Counters);
        std::copy_n(bytes.begin() + StampAt, r.Stamp.size(), r.Stamp.begin());
        break;
    }
    return r;
}

AuditFileRecords DecodeAuditFile(std::span<const uint8_t> file, AuditFileKind kind)
{
    AuditFileRecords decoded;
    if (file.size() <= AuditLeadingBytes)
        return decoded;
    const std::span<const uint8_t> data = file.subspan(AuditLeadingBytes);
    const size_t length = AuditRecordLength(kind);
    decoded.Records.reserve(data.size() / length);
    size_t at = 0;
    for (; data.size() - at >= length; at += length)
        decoded.Records.push_back(DecodeAuditRecord(data.subspan(at, length), kind));
    decoded.TailBytes = data.size() - at;
    return decoded;
}

QString AuditTailText(size_t tailBytes, AuditFileKind kind)
{
    if (tailBytes == 0)
        return {};
    return QString("Not shown: the last %1 %2 of the file, fewer than a whole record of %3 bytes.")
        .arg(tailBytes)
        .arg(tailBytes == 1 ? "byte" : "bytes")
        .arg(AuditRecordLength(kind));
}

const char* AuditColumnHeader(int column)
{
    return Valid(column) ? Columns[column].Header : "";
}

QVariant AuditCellValue(const AuditRecord& r, int column)
{
    if (!Valid(column))
        return {};
    const ColumnRow& col = Columns[column];
    if (col.Counter && !(col.PackedOnly && r.Layout != AuditLayout::Packed))
        return r.Counters.*col.Counter;
    if (column == ColumnTimestamp && r.Layout == AuditLayout::Packed)
        return AuditDate(r.Counters.DaysSince2010);
    if (const auto text = AuditCellText(r, column, QLocale::c()))
        return *text;
    return {};
}

std::optional<QString> AuditCellText(const AuditRecord& r, int column, const QLocale& locale)
{
    if (!Valid(column))
        return std::nullopt;
    const ColumnRow& col = Columns[column];
    if (col.Counter) {
        if (col.PackedOnly && r.Layout != AuditLayout::Packed)
            return QStringLiteral("n/a");
        return QString::number(r.Counters.*col.Counter);
    }
    switch (column) {
    case ColumnSerial: return ByteText(r.SerialNumber);
    case ColumnPart: return ByteText(r.PartNumber);
    case ColumnRevision: return QString::fromStdString(AuditRevisionText(r.RevisionFirst, r.RevisionSecond));
    case ColumnTimestamp:
        switch (r.Layout) {
        case AuditLayout::Record24: return std::nullopt;
        case AuditLayout::Packed: return AuditTimestampText(r.Counters.DaysSince2010, locale);
        case AuditLayout::Record32:
            return AuditStampText(r.Stamp[1], r.Stamp[2], r.Stamp[0], r.Stamp[3], r.Stamp[4]);
        }
    }
    return std::nullopt;
}

}  // namespace kovrin
