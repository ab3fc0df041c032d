// The acceptor's audit counters: the packed block, the 0x35 reply in both
// layouts and the record's counters. Input: a selector byte (which firmware
// text), then the reply frame (whose first 30 bytes also serve as the record's
// counters). Every box is checked against a decoding written here from the
// block's bit table, its day zero and the older layouts' byte positions.

#include "app/link/audit_counters.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/serial_reference.h"

using namespace kovrin;
using kovrin::fuzz::Input;

namespace {

// Firmware texts on both sides of each threshold, and odd ones.
const std::string kVersions[] = {"0016", "0017", "0042", "0043", "", "9999", "001", "00170", "\xff\xff"};

bool Counter(const QString& text)
{
    bool ok = false;
    text.toUInt(&ok);
    return ok;
}

// The block's 160 bits, the first byte's lowest bit first; a field's lowest bit is its first.
// Fields by first bit and width: motor starts 0/20, pre-escrows 20/19, stacked 39/19, rejected 58/19,
// returned 77/19, cheats 96/19, jams 115/19, power-ups 134/14, days 148/12.
uint32_t Bits(const uint8_t* block, int first, int width)
{
    uint32_t v = 0;
    for (int k = 0; k < width; ++k) {
        const int bit = first + k;
        v |= uint32_t((block[bit / 8] >> (bit % 8)) & 1) << k;
    }
    return v;
}

struct Fields {
    uint32_t motorStarts, preEscrows, stacked, rejected, returned, cheats, jams, powerUps, days;
};

Fields Unpack(const uint8_t* block)
{
    return {Bits(block, 0, 20),   Bits(block, 20, 19),  Bits(block, 39, 19),
            Bits(block, 58, 19),  Bits(block, 77, 19),  Bits(block, 96, 19),
            Bits(block, 115, 19), Bits(block, 134, 14), Bits(block, 148, 12)};
}

// Day zero is 1 January 2010.
QDate DayAfter2010(uint32_t days)
{
    const fuzz::CalendarDate d = fuzz::DateAfter2010(long(days));
    return QDate(d.year, d.month, d.day);
}

QString N(uint32_t v)
{
    return QString::number(v);
}

QString Two(uint8_t b)
{
    return QString::number(b).rightJustified(2, '0');
}

uint32_t BigEndian(const uint8_t* bytes, int width)
{
    uint32_t v = 0;
    for (int k = 0; k < width; ++k)
        v = v << 8 | bytes[k];
    return v;
}

void CheckPacked(const AuditBoxTexts& t, const uint8_t* block, const QLocale& locale)
{
    const Fields f = Unpack(block);
    FUZZ_CHECK(t.txtMotStarts == N(f.motorStarts));
    FUZZ_CHECK(t.txtPreEscrows == N(f.preEscrows));
    FUZZ_CHECK(t.txtStacked == N(f.stacked));
    FUZZ_CHECK(t.txtRejects == N(f.rejected));
    FUZZ_CHECK(t.txtReturns == N(f.returned));
    FUZZ_CHECK(t.txtCheats == N(f.cheats));
    FUZZ_CHECK(t.txtJams == N(f.jams));
    FUZZ_CHECK(t.txtPowerUp == N(f.powerUps));
    FUZZ_CHECK(t.txtTimestamp == locale.toString(DayAfter2010(f.days), QLocale::ShortFormat));
}

// A reply from firmware below "0017": the stamp from bytes 12 to 16 as
// 13/14/12 15:16, five counters of 4 bytes from 17, high byte first.
void CheckOlderReply(const AuditBoxTexts& t, const Bytes& f)
{
    FUZZ_CHECK(t.txtTimestamp == Two(f[13]) + "/" + Two(f[14]) + "/" + Two(f[12]) + " " + Two(f[15]) + ":" + Two(f[16]));
    FUZZ_CHECK(t.txtMotStarts == N(BigEndian(&f[17], 4)));
    FUZZ_CHECK(t.txtStacked == N(BigEndian(&f[21], 4)));
    FUZZ_CHECK(t.txtRejects == N(BigEndian(&f[25], 4)));
    FUZZ_CHECK(t.txtCheats == N(BigEndian(&f[29], 4)));
    FUZZ_CHECK(t.txtPowerUp == N(BigEndian(&f[33], 4)));
    FUZZ_CHECK(t.txtPreEscrows == "N/A" && t.txtReturns == "N/A" && t.txtJams == "N/A");
}

// A record from firmware below "0043": five counters of 3 bytes, high byte
// first, then the stamp [15]/[16]/[17] [18]:[19]; three boxes stay empty.
void CheckOlderRecord(const AuditBoxTexts& t, const std::array<uint8_t, 20>& a)
{
    FUZZ_CHECK(t.txtMotStarts == N(BigEndian(&a[0], 3)));
    FUZZ_CHECK(t.txtStacked == N(BigEndian(&a[3], 3)));
    FUZZ_CHECK(t.txtRejects == N(BigEndian(&a[6], 3)));
    FUZZ_CHECK(t.txtCheats == N(BigEndian(&a[9], 3)));
    FUZZ_CHECK(t.txtPowerUp == N(BigEndian(&a[12], 3)));
    FUZZ_CHECK(t.txtTimestamp == Two(a[15]) + "/" + Two(a[16]) + "/" + Two(a[17]) + " " + Two(a[18]) + ":" + Two(a[19]));
    FUZZ_CHECK(t.txtPreEscrows.isEmpty() && t.txtReturns.isEmpty() && t.txtJams.isEmpty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input in(data, size);
    const std::string& version = kVersions[in.Byte() % std::size(kVersions)];
    const Bytes frame = in.Rest();
    const QLocale locale = QLocale::c();

    // The block, field by field.
    const auto block = DecodeAuditCounterBlock(frame);
    FUZZ_CHECK(block.has_value() == (frame.size() >= 20));
    if (block) {
        const Fields f = Unpack(frame.data());
        FUZZ_CHECK(block->MotorStarts == f.motorStarts);
        FUZZ_CHECK(block->PreEscrows == f.preEscrows);
        FUZZ_CHECK(block->Stacked == f.stacked);
        FUZZ_CHECK(block->Rejects == f.rejected);
        FUZZ_CHECK(block->Returns == f.returned);
        FUZZ_CHECK(block->Cheats == f.cheats);
        FUZZ_CHECK(block->Jams == f.jams);
        FUZZ_CHECK(block->PowerUps == f.powerUps);
        FUZZ_CHECK(block->DaysSince2010 == f.days);
        FUZZ_CHECK(AuditDate(block->DaysSince2010) == DayAfter2010(f.days));
        CheckPacked(AuditTextsFromBlock(*block, locale), frame.data(), locale);
    }

    // The reply: read only when it holds the bytes of its layout and its check byte.
    const bool olderReply = version < std::string("0017");
    FUZZ_CHECK(IsOlderAuditReply(version) == olderReply);
    const auto reply = AuditTextsFromReply(frame, version, locale);
    FUZZ_CHECK(reply.has_value() == (frame.size() >= (olderReply ? 38u : 26u)));
    if (reply) {
        for (const QString* text : {&reply->txtMotStarts, &reply->txtStacked, &reply->txtRejects, &reply->txtCheats,
                                    &reply->txtPowerUp})
            FUZZ_CHECK(Counter(*text));
        if (olderReply)
            CheckOlderReply(*reply, frame);
        else
            CheckPacked(*reply, frame.data() + 5, locale);
    }

    // The record's counters: packed from "0043" on.
    EepromRecord record;
    std::copy_n(frame.begin(), std::min(frame.size(), record.AuditCounters.size()), record.AuditCounters.begin());
    std::array<uint8_t, 20> counters{};
    std::copy_n(record.AuditCounters.begin(), 20, counters.begin());
    const bool olderRecord = version < std::string("0043");
    FUZZ_CHECK(IsOlderAuditRecord(version) == olderRecord);
    const AuditBoxTexts texts = AuditTextsFromRecord(record, version, locale);
    if (olderRecord)
        CheckOlderRecord(texts, counters);
    else
        CheckPacked(texts, counters.data(), locale);
    return 0;
}
