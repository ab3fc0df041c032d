#include "app/config/eeprom_map.h"

#include <type_traits>
#include <vector>

namespace kovrin {

namespace {

// How a run of image bytes holds its field.
enum class Encoding {
    Bytes,  // copied one to one
    BE16,   // 16-bit big-endian value per 32-bit field element
    Low8,   // one byte per 32-bit field element (the value's low byte)
};

using BytesOf = uint8_t* (*)(EepromRecord&);
using LongsOf = int32_t* (*)(EepromRecord&);

template <auto Member>
uint8_t* BytesOfField(EepromRecord& r)
{
    auto& f = r.*Member;
    if constexpr (std::is_same_v<std::remove_cvref_t<decltype(f)>, uint8_t>)
        return &f;
    else
        return f.data();
}

template <auto Member>
int32_t* LongsOfField(EepromRecord& r)
{
    auto& f = r.*Member;
    if constexpr (std::is_same_v<std::remove_cvref_t<decltype(f)>, int32_t>)
        return &f;
    else
        return f.data();
}

struct MapEntry {
    int offset;  // first image byte
    int count;   // field elements
    Encoding encoding;
    BytesOf bytes;
    LongsOf longs;
    const char* label;  // how a refused value is named to the user
    bool leading;       // part of the leading decode (PartialDecode 1)
};

#define BYTES(off, n, field, lead) \
    MapEntry{off, n, Encoding::Bytes, &BytesOfField<&EepromRecord::field>, nullptr, #field, lead}
#define LONGS(off, n, enc, field, label, lead) \
    MapEntry{off, n, Encoding::enc, nullptr, &LongsOfField<&EepromRecord::field>, label, lead}

constexpr bool Lead = true;
constexpr bool Tail = false;

// Bytes 0 to 15 are the same in both layouts.
const std::vector<MapEntry> kHead = {
    BYTES(0, 1, HeaderByte, Lead),
    BYTES(1, 1, InterfaceType, Lead),
    BYTES(2, 3, SecurityMask, Lead),
    BYTES(5, 3, ChannelEnableMask, Lead),
    BYTES(8, 1, PulsesPerUnit, Lead),
    BYTES(9, 2, IsoCode, Lead),
    LONGS(11, 1, BE16, ScalingFactor, "The scaling factor", Lead),
    BYTES(13, 1, DecimalPlaces, Lead),
    BYTES(14, 1, OptionFlags, Lead),
    BYTES(15, 1, SignalFlags, Lead),
};

std::vector<MapEntry> Join(std::vector<MapEntry> a, const std::vector<MapEntry>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const std::vector<MapEntry> kMapV5 = Join(kHead, {
    LONGS(16, 24, BE16, ChannelPulseAssignment, "The pulse value of channel", Lead),
    BYTES(64, 24, ChannelVendAssignment, Lead),
    BYTES(88, 16, MdbChannelValue, Lead),
    BYTES(104, 1, PulseOnTime, Lead),
    BYTES(105, 1, PulseOffTime, Lead),
    BYTES(106, 1, EscrowTime, Lead),
    BYTES(107, 1, Byte107, Lead),
    BYTES(108, 1, CcTalkAddress, Lead),
    BYTES(109, 3, CcTalkEncryptionCode, Lead),
    BYTES(112, 3, CcTalkSerialNumber, Lead),
    BYTES(115, 1, CcTalkFlag, Lead),
    BYTES(116, 15, Block116, Lead),
    BYTES(131, 1, Byte131, Lead),
    BYTES(132, 11, SerialNumber, Lead),
    BYTES(143, 20, AuditCounters, Lead),
    BYTES(163, 13, Block163, Lead),
    BYTES(176, 6, Block176, Tail),
    BYTES(182, 6, Block182, Tail),
    BYTES(188, 6, Block188, Tail),
    BYTES(194, 7, Block194, Tail),
    BYTES(201, 7, Block201, Tail),
    BYTES(208, 12, Block208, Tail),
    BYTES(220, 12, Block220, Tail),
    BYTES(232, 6, Bytes232, Tail),
    BYTES(238, 6, Block238, Tail),
    BYTES(244, 6, Block244, Tail),
    BYTES(250, 1, Byte250, Tail),
    BYTES(251, 1, SetupRevision, Tail),
    BYTES(252, 1, VariantCode, Tail),
    BYTES(253, 1, CalibrationRevision, Tail),
    LONGS(254, 1, BE16, EndWord, "The end word", Tail),
});

// Bytes 143 to 249 are not part of this layout; encoding keeps them.
const std::vector<MapEntry> kMapV6 = Join(kHead, {
    LONGS(16, 24, Low8, ChannelPulseAssignment, "The pulse value of channel", Lead),
    BYTES(40, 24, ChannelVendAssignment, Lead),
    BYTES(64, 16, MdbChannelValue, Lead),
    LONGS(80, 1, BE16, Word80, "The word at bytes 80-81", Lead),
    BYTES(82, 1, EscrowTime, Lead),
    BYTES(83, 1, Byte107, Lead),
    BYTES(84, 1, CcTalkAddress, Lead),
    BYTES(85, 3, CcTalkEncryptionCode, Lead),
    BYTES(88, 3, CcTalkSerialNumber, Lead),
    BYTES(91, 1, Byte131, Lead),
    BYTES(92, 11, SerialNumber, Lead),
    BYTES(103, 1, PulseOnTime, Lead),
    BYTES(104, 1, PulseOffTime, Lead),
    BYTES(105, 38, ExtendedBlock, Lead),
    BYTES(250, 1, Byte250, Tail),
    BYTES(251, 1, SetupRevision, Tail),
    BYTES(252, 1, VariantCode, Tail),
    BYTES(253, 1, CalibrationRevision, Tail),
    LONGS(254, 1, BE16, EndWord, "The end word", Tail),
});

#undef BYTES
#undef LONGS

const std::vector<MapEntry>& MapOf(EepromLayout layout)
{
    return layout == EepromLayout::V5 ? kMapV5 : kMapV6;
}

void Decode(const std::vector<MapEntry>& map, EepromRecord& record, const EepromImage& image,
            int32_t PartialDecode)
{
    for (const MapEntry& e : map) {
        if (PartialDecode == 1 && !e.leading)
            continue;
        for (int i = 0; i < e.count; ++i) {
            switch (e.encoding) {
            case Encoding::Bytes:
                e.bytes(record)[i] = image.at(e.offset + i);
                break;
            case Encoding::BE16:
                e.longs(record)[i] = image.at(e.offset + 2 * i) * 256 + image.at(e.offset + 2 * i + 1);
                break;
            case Encoding::Low8:
                e.longs(record)[i] = image.at(e.offset + i);
                break;
            }
        }
    }
}

CodecResult OutOfRange(const MapEntry& e, int index, int32_t value, int32_t max)
{
    std::string what = e.label;
    if (e.count > 1)
        what += " " + std::to_string(index + 1);
    return {CodecStatus::ValueOutOfRange,
            what + " is " + std::to_string(value) + "; the acceptor's configuration memory holds 0 to " +
                std::to_string(max) + " there."};
}

CodecResult Check(const std::vector<MapEntry>& map, const EepromRecord& record)
{
    auto& r = const_cast<EepromRecord&>(record);  // the accessors only read here
    for (const MapEntry& e : map) {
        if (e.encoding == Encoding::Bytes)
            continue;
        const int32_t max = e.encoding == Encoding::BE16 ? 65535 : 255;
        for (int i = 0; i < e.count; ++i) {
            const int32_t v = e.longs(r)[i];
            if (v < 0 || v > max)
                return OutOfRange(e, i, v, max);
        }
    }
    return {};
}

// Refuses before writing anything, so a refused record leaves the image as it was.
CodecResult Encode(const std::vector<MapEntry>& map, const EepromRecord& record, EepromImage& image)
{
    if (CodecResult fits = Check(map, record); !fits)
        return fits;
    auto& r = const_cast<EepromRecord&>(record);  // the accessors only read here
    for (const MapEntry& e : map) {
        for (int i = 0; i < e.count; ++i) {
            switch (e.encoding) {
            case Encoding::Bytes:
                image.at(e.offset + i) = e.bytes(r)[i];
                break;
            case Encoding::BE16: {
                const int32_t v = e.longs(r)[i];
                image.at(e.offset + 2 * i) = static_cast<uint8_t>(v / 256);
                image.at(e.offset + 2 * i + 1) = static_cast<uint8_t>(v % 256);
                break;
            }
            case Encoding::Low8:
                image.at(e.offset + i) = static_cast<uint8_t>(e.longs(r)[i]);
                break;
            }
        }
    }
    return {};
}

// One default: the values of a field's first elements, the last value
// repeated up to `count` elements.
struct DefaultEntry {
    BytesOf bytes;
    LongsOf longs;
    int count;
    std::vector<int> values;
};

#define DEF_BYTES(field, n, ...) DefaultEntry{&BytesOfField<&EepromRecord::field>, nullptr, n, {__VA_ARGS__}}
#define DEF_LONGS(field, n, ...) DefaultEntry{nullptr, &LongsOfField<&EepromRecord::field>, n, {__VA_ARGS__}}

// The default ccTalk encryption code 507913, last digits first as packed BCD.
#define DEFAULT_ENCRYPTION_CODE 0x31, 0x97, 0x05

const std::vector<DefaultEntry> kCommonDefaults = {
    DEF_BYTES(HeaderByte, 1, 0x55),
    DEF_BYTES(InterfaceType, 1, 7),
    DEF_BYTES(SecurityMask, 3, 0),
    DEF_BYTES(ChannelEnableMask, 3, 255),
    DEF_BYTES(PulsesPerUnit, 1, 1),
    DEF_BYTES(IsoCode, 2, 0x00, 0x01),
    DEF_LONGS(ScalingFactor, 1, 100),
    DEF_BYTES(DecimalPlaces, 1, 2),
    DEF_LONGS(ChannelPulseAssignment, 24, 1, 5, 10, 20, 50, 100, 0),
    DEF_BYTES(ChannelVendAssignment, 24, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19,
              20, 21, 22, 23, 24),
    DEF_BYTES(MdbChannelValue, 16, 1, 5, 10, 20, 50, 100, 0),
    DEF_BYTES(PulseOnTime, 1, 50),
    DEF_BYTES(PulseOffTime, 1, 50),
    // Layout 6/7 names no escrow time of its own; defaults must not depend on
    // the record loaded before, so both layouts use 30.
    DEF_BYTES(EscrowTime, 1, 30),
    DEF_BYTES(Byte107, 1, 0),
    DEF_BYTES(CcTalkAddress, 1, 40),
    DEF_BYTES(CcTalkEncryptionCode, 3, DEFAULT_ENCRYPTION_CODE),
    DEF_BYTES(CcTalkSerialNumber, 3, 0x30),
    DEF_BYTES(CcTalkFlag, 1, 0),
    DEF_BYTES(Block116, 15, 0),
    DEF_BYTES(Byte131, 1, 0),
    DEF_BYTES(SerialNumber, 11, 0x30),
    DEF_BYTES(Block163, 13, 0),
    DEF_BYTES(Block176, 6, 250),
    DEF_BYTES(Block182, 6, 51),
    DEF_BYTES(Block188, 6, 136),
    DEF_BYTES(Block194, 7, 120, 120, 120, 120, 120, 120, 155),
    DEF_BYTES(Block201, 7, 120, 120, 120, 120, 120, 120, 155),
    DEF_BYTES(Byte250, 1, 0),
    DEF_LONGS(EndWord, 1, 0),
};

const std::vector<DefaultEntry> kDefaultsV5 = {
    DEF_BYTES(OptionFlags, 1, 0x92),
    DEF_BYTES(SignalFlags, 1, 0x02),
    DEF_BYTES(AuditCounters, 20, 0),
    DEF_BYTES(Block208, 12, 160),
    DEF_BYTES(Block220, 12, 51),
    DEF_BYTES(Bytes232, 6, 119, 119, 119, 119, 0),
    DEF_BYTES(Block238, 6, 128),
    DEF_BYTES(Block244, 6, 255),
    DEF_BYTES(SetupRevision, 1, 2),
    DEF_BYTES(CalibrationRevision, 1, 4),
};

const std::vector<DefaultEntry> kDefaultsV6 = {
    DEF_BYTES(OptionFlags, 1, 0x03),
    DEF_BYTES(SignalFlags, 1, 0x82),
    DEF_LONGS(Word80, 1, 0),
    DEF_BYTES(ExtendedBlock, 128, 0),
    DEF_BYTES(Block208, 18, 160, 160, 160, 160, 160, 160, 47, 47, 47, 47, 47, 47, 0),
    DEF_BYTES(Block220, 18, 51, 51, 51, 51, 51, 51, 103, 103, 103, 103, 103, 103, 0),
    DEF_BYTES(ExtraBytes, 10, 0),
    DEF_BYTES(ExtraByte, 1, 127),
    DEF_BYTES(SpareBlock, 128, 0),
    DEF_BYTES(SetupRevision, 1, 1),
    DEF_BYTES(CalibrationRevision, 1, 1),
};

#undef DEF_BYTES
#undef DEF_LONGS
#undef DEFAULT_ENCRYPTION_CODE

void ApplyDefaults(const std::vector<DefaultEntry>& defaults, EepromRecord& record)
{
    for (const DefaultEntry& d : defaults) {
        for (int i = 0; i < d.count; ++i) {
            const int v = d.values[std::min<size_t>(i, d.values.size() - 1)];
            if (d.bytes)
                d.bytes(record)[i] = static_cast<uint8_t>(v);
            else
                d.longs(record)[i] = v;
        }
    }
}

CodecResult Done(int16_t length)
{
    CodecResult done;
    done.length = length;
    return done;
}

CodecResult NoLayout(const char* what, int variant)
{
    return {CodecStatus::NoLayout, std::string("There is no ") + what + " for acceptor variant " +
                                       std::to_string(variant) + "."};
}

}  // namespace

EepromLayout LayoutOfVariant(int variant)
{
    return VariantRow(variant).Layout;
}

EepromLayout DefaultsLayoutOfVariant(int variant)
{
    return variant == 0 ? EepromLayout::V5 : LayoutOfVariant(variant);
}

int16_t EepromLengthOfLayout(EepromLayout layout)
{
    switch (layout) {
    case EepromLayout::V5:
        return 176;
    case EepromLayout::V6:
        return 143;
    case EepromLayout::None:
        break;
    }
    return 0;
}

int16_t EepromLengthOf(const EepromRecord& record)
{
    return EepromLengthOfLayout(LayoutOfVariant(record.VariantCode));
}

std::optional<size_t> AuditCountersOffset(EepromLayout layout)
{
    if (layout == EepromLayout::V5)
        return 143;
    return std::nullopt;
}

CodecResult CheckRecordFitsLayout(const EepromRecord& record, EepromLayout layout)
{
    if (layout == EepromLayout::None)
        return NoLayout("configuration layout", record.VariantCode);
    return Check(MapOf(layout), record);
}

int16_t DecodeEepromImageV5(EepromRecord& record, const EepromImage& image, int32_t PartialDecode)
{
    Decode(kMapV5, record, image, PartialDecode);
    return EepromLengthOfLayout(EepromLayout::V5);
}

CodecResult EncodeEepromImageV5(const EepromRecord& record, EepromImage& image)
{
    return Encode(kMapV5, record, image);
}

int16_t LoadEepromDefaultsV5(EepromRecord& record, uint8_t variant)
{
    ApplyDefaults(kCommonDefaults, record);
    ApplyDefaults(kDefaultsV5, record);
    record.VariantCode = variant;
    return EepromLengthOfLayout(EepromLayout::V5);
}

int16_t DecodeEepromImageV6(EepromRecord& record, const EepromImage& image, int32_t PartialDecode)
{
    Decode(kMapV6, record, image, PartialDecode);
    return 0;  // the length stays what the defaults or the last read made it
}

CodecResult EncodeEepromImageV6(const EepromRecord& record, EepromImage& image)
{
    return Encode(kMapV6, record, image);
}

int16_t LoadEepromDefaultsV6(EepromRecord& record, uint8_t variant)
{
    ApplyDefaults(kCommonDefaults, record);
    ApplyDefaults(kDefaultsV6, record);
    record.VariantCode = variant;
    return EepromLengthOfLayout(EepromLayout::V6);
}

CodecResult DecodeEepromImage(EepromRecord& record, const EepromImage& image, int32_t PartialDecode,
                              uint8_t variant)
{
    switch (LayoutOfVariant(variant)) {
    case EepromLayout::V5:
        return Done(DecodeEepromImageV5(record, image, PartialDecode));
    case EepromLayout::V6:
        return Done(DecodeEepromImageV6(record, image, PartialDecode));
    case EepromLayout::None:
        break;
    }
    return NoLayout("configuration layout", variant);
}

CodecResult EncodeEepromImage(const EepromRecord& record, EepromImage& image)
{
    switch (LayoutOfVariant(record.VariantCode)) {
    case EepromLayout::V5:
        return EncodeEepromImageV5(record, image);
    case EepromLayout::V6:
        return EncodeEepromImageV6(record, image);
    case EepromLayout::None:
        break;
    }
    return NoLayout("configuration layout", record.VariantCode);
}

CodecResult LoadEepromDefaults(EepromRecord& record, uint8_t variant)
{
    switch (DefaultsLayoutOfVariant(variant)) {
    case EepromLayout::V5:
        return Done(LoadEepromDefaultsV5(record, variant));
    case EepromLayout::V6:
        return Done(LoadEepromDefaultsV6(record, variant));
    case EepromLayout::None:
        break;
    }
    return NoLayout("default configuration", variant);
}

}  // namespace kovrin
