#pragma once
// The two EEPROM layouts: decoding an image into a record, encoding it back,
// and each layout's application defaults.

#include <optional>
#include <string>

#include "app/config/eeprom_record.h"
#include "app/core/acceptor_variants.h"

namespace kovrin {

// Layout of an acceptor variant (its row of the variant table).
EepromLayout LayoutOfVariant(int variant);
// Layout whose defaults apply; with no acceptor identified (0) that is V5.
EepromLayout DefaultsLayoutOfVariant(int variant);
// Image bytes in use (and written back) for a layout: 176, 143, or 0.
int16_t EepromLengthOfLayout(EepromLayout layout);
// The length to write for a record, by the record's own variant.
int16_t EepromLengthOf(const EepromRecord& record);

// Where a layout keeps the unit's packed audit counters (AuditCounters[0..19])
// in the image; layout 6/7 has none.
constexpr size_t AuditCountersLength = 20;
std::optional<size_t> AuditCountersOffset(EepromLayout layout);

enum class CodecStatus { Ok, NoLayout, ValueOutOfRange };

struct CodecResult {
    CodecStatus status = CodecStatus::Ok;
    std::string message;  // empty when Ok
    // Image bytes in use that a decode or defaults imply; 0 where the layout leaves the length alone.
    int16_t length = 0;
    explicit operator bool() const { return status == CodecStatus::Ok; }
};

// Why a record cannot be written into a layout's image bytes, or Ok.
CodecResult CheckRecordFitsLayout(const EepromRecord& record, EepromLayout layout);

// Layout procedures. PartialDecode 1 decodes only the leading part. The
// defaults give the record `variant` as its VariantCode. Decode and defaults
// return the image length they imply (0: the layout 6/7 decoder implies none).
int16_t DecodeEepromImageV5(EepromRecord& record, const EepromImage& image, int32_t PartialDecode);
CodecResult EncodeEepromImageV5(const EepromRecord& record, EepromImage& image);
int16_t LoadEepromDefaultsV5(EepromRecord& record, uint8_t variant);
int16_t DecodeEepromImageV6(EepromRecord& record, const EepromImage& image, int32_t PartialDecode);
CodecResult EncodeEepromImageV6(const EepromRecord& record, EepromImage& image);
int16_t LoadEepromDefaultsV6(EepromRecord& record, uint8_t variant);

// Dispatchers. Decode and defaults go by the attached acceptor's `variant`,
// encode by the record's own VariantCode. NoLayout means nothing was changed;
// otherwise `length` is what the layout procedure returned.
CodecResult DecodeEepromImage(EepromRecord& record, const EepromImage& image, int32_t PartialDecode,
                              uint8_t variant);
CodecResult EncodeEepromImage(const EepromRecord& record, EepromImage& image);
CodecResult LoadEepromDefaults(EepromRecord& record, uint8_t variant);

}  // namespace kovrin
