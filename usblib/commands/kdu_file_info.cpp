#include "usblib/commands/kdu_file_info.h"

#include <cstring>

namespace kovrin::usblib::commands {
namespace {

using namespace kdu_file_info;

enum class FieldKind { Number, SignedByte, Text };

// One field: where it sits in the record, how wide it is on the wire, and
// where it sits in the enumeration entry and in the create request (-1: not sent).
struct Field {
    size_t Record;
    size_t RecordWidth;
    size_t WireWidth;
    size_t Entry;
    int Create;
    FieldKind Kind;
};

constexpr Field kFields[] = {
    {kFileNumber, 4, 2, 0, -1, FieldKind::Number},
    {kVariantId, 4, 4, 2, 0, FieldKind::Number},
    {kValue1, 4, 4, 6, 4, FieldKind::Number},
    {kValue2, 4, 4, 10, 8, FieldKind::Number},
    {kDataFileKind, 2, 2, 14, 12, FieldKind::Number},
    {kSetupRevision, 2, 2, 16, 14, FieldKind::Number},
    {kCalibrationRevision, 2, 2, 18, 16, FieldKind::Number},
    {kValue3, 2, 2, 20, 18, FieldKind::Number},
    {kValue4, 2, 2, 22, 20, FieldKind::Number},
    {kFileClass, 2, 1, 24, 22, FieldKind::SignedByte},
    {kFileName, kWireNameLength, kWireNameLength, 25, 23, FieldKind::Text},
    {kValue5, 4, 4, 54, -1, FieldKind::Number},
    {kFileSize, 4, 4, 58, -1, FieldKind::Number},
};

uint32_t BigEndian(const uint8_t* p, size_t width)
{
    uint32_t value = 0;
    for (size_t i = 0; i < width; ++i)
        value = value << 8 | p[i];
    return value;
}

}  // namespace

void FillFileInfoFromEntry(std::span<const uint8_t, kEntryLength> entry, std::span<uint8_t, kSize> record)
{
    for (const Field& f : kFields) {
        const uint8_t* from = entry.data() + f.Entry;
        uint8_t* to = record.data() + f.Record;
        switch (f.Kind) {
        case FieldKind::Text:
            std::memcpy(to, from, f.WireWidth);
            break;
        case FieldKind::SignedByte: {
            uint16_t value = uint16_t(int16_t(int8_t(from[0])));
            to[0] = uint8_t(value);
            to[1] = uint8_t(value >> 8);
            break;
        }
        case FieldKind::Number: {
            // Only the wire's bytes are written: a narrower wire field leaves the record's upper bytes.
            uint32_t value = BigEndian(from, f.WireWidth);
            for (size_t i = 0; i < f.WireWidth; ++i)
                to[i] = uint8_t(value >> (8 * i));
            break;
        }
        }
    }
}

std::array<uint8_t, kCreateLength> CreateEntryFromFileInfo(std::span<const uint8_t, kSize> record)
{
    std::array<uint8_t, kCreateLength> entry{};
    for (const Field& f : kFields) {
        if (f.Create < 0)
            continue;
        const uint8_t* from = record.data() + f.Record;
        uint8_t* to = entry.data() + f.Create;
        if (f.Kind == FieldKind::Text) {
            std::memcpy(to, from, f.WireWidth);
            continue;
        }
        uint32_t value = 0;
        for (size_t i = 0; i < f.RecordWidth; ++i)
            value |= uint32_t(from[i]) << (8 * i);
        for (size_t i = 0; i < f.WireWidth; ++i)
            to[i] = uint8_t(value >> (8 * (f.WireWidth - 1 - i)));
    }
    return entry;
}

}  // namespace kovrin::usblib::commands
