#include "app/link/audit_counters.h"

#include "app/core/acceptor_variants.h"

namespace kovrin {

const std::array<AuditBitField, 9> AuditCounterFields{{
    {&AuditCounterBlock::MotorStarts, 0, 20},
    {&AuditCounterBlock::PreEscrows, 20, 19},
    {&AuditCounterBlock::Stacked, 39, 19},
    {&AuditCounterBlock::Rejects, 58, 19},
    {&AuditCounterBlock::Returns, 77, 19},
    {&AuditCounterBlock::Cheats, 96, 19},
    {&AuditCounterBlock::Jams, 115, 19},
    {&AuditCounterBlock::PowerUps, 134, 14},
    {&AuditCounterBlock::DaysSince2010, 148, 12},
}};

namespace {

constexpr size_t ReplyBlockStart = 5;
constexpr const char* NotAvailable = "N/A";

uint32_t ReadBits(std::span<const uint8_t> bytes, int firstBit, int width)
{
    uint32_t value = 0;
    for (int bit = 0; bit < width; ++bit) {
        const int at = firstBit + bit;
        if ((bytes[size_t(at / 8)] >> (at % 8)) & 1u)
            value |= uint32_t(1) << bit;
    }
    return value;
}

QString Decimal(uint32_t value)
{
    return QString::number(value);
}

QString TwoDigits(uint8_t value)
{
    return QString("%1").arg(value, 2, 10, QChar('0'));
}

uint32_t BigEndian32(const Bytes& frame, size_t at)
{
    return (uint32_t(frame[at]) << 24) | (uint32_t(frame[at + 1]) << 16) | (uint32_t(frame[at + 2]) << 8) |
           uint32_t(frame[at + 3]);
}

uint32_t BigEndian24(const uint8_t* bytes)
{
    return (uint32_t(bytes[0]) << 16) | (uint32_t(bytes[1]) << 8) | uint32_t(bytes[2]);
}

// The data bytes up to `lastIndex` are there, with the check byte after them.
bool FrameReaches(const Bytes& frame, size_t lastIndex)
{
    return frame.size() >= lastIndex + 2;
}

}  // namespace

std::optional<AuditCounterBlock> DecodeAuditCounterBlock(std::span<const uint8_t> bytes)
{
    if (bytes.size() < AuditCounterBlockLength)
        return std::nullopt;
    AuditCounterBlock block;
    for (const AuditBitField& f : AuditCounterFields)
        block.*f.field = ReadBits(bytes, f.firstBit, f.width);
    return block;
}

QDate AuditDate(uint32_t DaysSince2010)
{
    return QDate(2010, 1, 1).addDays(qint64(DaysSince2010));
}

QString AuditStampText(uint8_t a, uint8_t b, uint8_t c, uint8_t d, uint8_t e)
{
    return TwoDigits(a) + "/" + TwoDigits(b) + "/" + TwoDigits(c) + " " + TwoDigits(d) + ":" + TwoDigits(e);
}

QString AuditTimestampText(uint32_t DaysSince2010, const QLocale& locale)
{
    return locale.toString(AuditDate(DaysSince2010), QLocale::ShortFormat);
}

AuditBoxTexts AuditTextsFromBlock(const AuditCounterBlock& block, const QLocale& locale)
{
    AuditBoxTexts t;
    t.txtMotStarts = Decimal(block.MotorStarts);
    t.txtPreEscrows = Decimal(block.PreEscrows);
    t.txtStacked = Decimal(block.Stacked);
    t.txtRejects = Decimal(block.Rejects);
    t.txtReturns = Decimal(block.Returns);
    t.txtCheats = Decimal(block.Cheats);
    t.txtJams = Decimal(block.Jams);
    t.txtPowerUp = Decimal(block.PowerUps);
    t.txtTimestamp = AuditTimestampText(block.DaysSince2010, locale);
    return t;
}

bool IsOlderAuditReply(const std::string& FirmwareVersionText)
{
    return FirmwareVersionText < std::string("0017");
}

bool IsOlderAuditRecord(const std::string& FirmwareVersionText)
{
    return FirmwareVersionText < std::string("0043");
}

std::optional<AuditBoxTexts> AuditTextsFromReply(const Bytes& frame, const std::string& FirmwareVersionText,
                                                 const QLocale& locale)
{
    if (!IsOlderAuditReply(FirmwareVersionText)) {
        if (!FrameReaches(frame, ReplyBlockStart + AuditCounterBlockLength - 1))
            return std::nullopt;
        const auto block = DecodeAuditCounterBlock(
            std::span<const uint8_t>(frame.data() + ReplyBlockStart, AuditCounterBlockLength));
        return AuditTextsFromBlock(*block, locale);
    }
    if (!FrameReaches(frame, 36))
        return std::nullopt;
    AuditBoxTexts t;
    t.txtTimestamp = AuditStampText(frame[13], frame[14], frame[12], frame[15], frame[16]);
    t.txtMotStarts = Decimal(BigEndian32(frame, 17));
    t.txtStacked = Decimal(BigEndian32(frame, 21));
    t.txtRejects = Decimal(BigEndian32(frame, 25));
    t.txtCheats = Decimal(BigEndian32(frame, 29));
    t.txtPowerUp = Decimal(BigEndian32(frame, 33));
    t.txtPreEscrows = t.txtReturns = t.txtJams = NotAvailable;
    return t;
}

AuditBoxTexts AuditTextsFromRecord(const EepromRecord& record, const std::string& FirmwareVersionText,
                                   const QLocale& locale)
{
    const auto& a = record.AuditCounters;
    if (!IsOlderAuditRecord(FirmwareVersionText))
        return AuditTextsFromBlock(*DecodeAuditCounterBlock(std::span<const uint8_t>(a.data(), 20)), locale);
    // Older firmware keeps three bytes per counter, high byte first like the rest of the memory.
    AuditBoxTexts t;
    t.txtMotStarts = Decimal(BigEndian24(&a[0]));
    t.txtStacked = Decimal(BigEndian24(&a[3]));
    t.txtRejects = Decimal(BigEndian24(&a[6]));
    t.txtCheats = Decimal(BigEndian24(&a[9]));
    t.txtPowerUp = Decimal(BigEndian24(&a[12]));
    t.txtTimestamp = AuditStampText(a[15], a[16], a[17], a[18], a[19]);
    return t;
}

AuditLoadTexts AuditTextsOnLoad(uint8_t AcceptorVariant, int32_t ConfigSource, const EepromRecord& record,
                                const std::string& FirmwareVersionText, const QLocale& locale)
{
    AuditLoadTexts load;
    if (!VariantRow(AcceptorVariant).AuditInConfiguration)
        return load;
    if (ConfigSource != ConfigFromAcceptor) {
        load.note = AuditNotReadText;
        return load;
    }
    load.boxes = AuditTextsFromRecord(record, FirmwareVersionText, locale);
    return load;
}

}  // namespace kovrin
