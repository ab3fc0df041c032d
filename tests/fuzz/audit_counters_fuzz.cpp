// The acceptor's audit counters: the packed block, the 0x35 reply in both
// layouts and the record's counters. Input: a selector byte (which firmware
// text), then the reply frame (whose first 30 bytes also serve as the record's counters).

#include "app/link/audit_counters.h"
#include "tests/fuzz/fuzz_support.h"

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input in(data, size);
    const std::string& version = kVersions[in.Byte() % std::size(kVersions)];
    const Bytes frame = in.Rest();
    const QLocale locale = QLocale::c();

    // The block: 160 bits, every one of them in exactly one field.
    const auto block = DecodeAuditCounterBlock(frame);
    FUZZ_CHECK(block.has_value() == (frame.size() >= AuditCounterBlockLength));
    if (block) {
        std::array<uint8_t, AuditCounterBlockLength> packed{};
        for (const AuditBitField& f : AuditCounterFields) {
            const uint32_t value = (*block).*f.field;
            FUZZ_CHECK(value < (uint32_t(1) << f.width));
            for (int bit = 0; bit < f.width; ++bit)
                if ((value >> bit) & 1u)
                    packed[size_t((f.firstBit + bit) / 8)] |= uint8_t(1u << ((f.firstBit + bit) % 8));
        }
        FUZZ_CHECK(std::equal(packed.begin(), packed.end(), frame.begin()));
        FUZZ_CHECK(AuditDate(block->DaysSince2010).isValid());
    }

    // The reply: read only when it holds the bytes of its layout and its check byte.
    const auto reply = AuditTextsFromReply(frame, version, locale);
    const size_t needed = IsOlderAuditReply(version) ? 38 : 26;
    FUZZ_CHECK(reply.has_value() == (frame.size() >= needed));
    if (reply) {
        for (const QString* text : {&reply->txtMotStarts, &reply->txtStacked, &reply->txtRejects, &reply->txtCheats,
                                    &reply->txtPowerUp})
            FUZZ_CHECK(Counter(*text));
        FUZZ_CHECK(!reply->txtTimestamp.isEmpty());
    }

    EepromRecord record;
    std::copy_n(frame.begin(), std::min(frame.size(), record.AuditCounters.size()), record.AuditCounters.begin());
    const AuditBoxTexts texts = AuditTextsFromRecord(record, version, locale);
    FUZZ_CHECK(Counter(texts.txtMotStarts) && Counter(texts.txtPowerUp) && !texts.txtTimestamp.isEmpty());
    return 0;
}
