#include "emulators/acceptor/eeprom_defaults.h"

#include <algorithm>
#include <initializer_list>

#include "emulators/acceptor/identity.h"

namespace kovrin::emulator {

namespace {

struct Bytes {
    size_t at;
    std::initializer_list<uint8_t> values;
};

struct Run {
    size_t at;
    size_t count;
    uint8_t value;
};

// Factory image of layout 5/9 (16-bit channel values, audit area at 143).
const Bytes kLayout59Bytes[] = {
    {0, {0x55, 7, 0, 0, 0, 255, 255, 255, 1, 0x00, 0x01, 0, 100, 2, 0x92, 0x02}},
    {16, {0, 1, 0, 5, 0, 10, 0, 20, 0, 50, 0, 100}},
    {64, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24}},
    {88, {1, 5, 10, 20, 50, 100}},
    {104, {50, 50, 30, 0, 40, 0x31, 0x97, 0x05, 0x30, 0x30, 0x30, 0}},
    {194, {120, 120, 120, 120, 120, 120, 155, 120, 120, 120, 120, 120, 120, 155}},
    {232, {119, 119, 119, 119, 0, 0}},
    {250, {0, 2, 5, 4, 0, 0}},
};
const Run kLayout59Runs[] = {
    {176, 6, 250}, {182, 6, 51}, {188, 6, 136}, {208, 12, 160}, {220, 12, 51}, {238, 6, 128}, {244, 6, 255},
};

// Factory image of layout 6/7 (one byte per channel value, no audit area).
const Bytes kLayout67Bytes[] = {
    {0, {0x55, 7, 0, 0, 0, 255, 255, 255, 1, 0x00, 0x01, 0, 100, 2, 0x03, 0x82}},
    {16, {1, 5, 10, 20, 50, 100}},
    {40, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24}},
    {64, {1, 5, 10, 20, 50, 100}},
    {80, {0, 0, 30, 0, 40, 0x31, 0x97, 0x05, 0x30, 0x30, 0x30, 0}},
    {103, {50, 50}},
    {250, {0, 1, 7, 1, 0, 0}},
};
// Bytes 143 to 249 belong to no field of this layout: left erased.
const Run kLayout67Runs[] = {{143, 107, 0xFF}};

constexpr size_t kVariantByte = 252;

template <size_t B, size_t R>
std::array<uint8_t, 256> imageFrom(const Bytes (&bytes)[B], const Run (&runs)[R])
{
    std::array<uint8_t, 256> image{};
    for (const Bytes& b : bytes) std::copy(b.values.begin(), b.values.end(), image.begin() + b.at);
    for (const Run& r : runs) std::fill_n(image.begin() + r.at, r.count, r.value);
    return image;
}

}  // namespace

size_t serialNumberOffset(int variant)
{
    return layoutOf(variant) == EepromLayout::Layout6And7 ? 92 : 132;
}

int auditAreaOffset(int variant)
{
    return layoutOf(variant) == EepromLayout::Layout6And7 ? -1 : 143;
}

size_t configurationLength(int variant)
{
    return layoutOf(variant) == EepromLayout::Layout6And7 ? 143 : 176;
}

std::array<uint8_t, 256> defaultEeprom(int variant, const std::string& serial, const AuditCounters& audit)
{
    std::array<uint8_t, 256> image = layoutOf(variant) == EepromLayout::Layout6And7
                                         ? imageFrom(kLayout67Bytes, kLayout67Runs)
                                         : imageFrom(kLayout59Bytes, kLayout59Runs);
    image[kVariantByte] = static_cast<uint8_t>(variant);
    std::string field = serial;
    field.resize(11, ' ');
    std::copy(field.begin(), field.end(), image.begin() + serialNumberOffset(variant));
    if (const int at = auditAreaOffset(variant); at >= 0) {
        const std::vector<uint8_t> block = packAuditCounters(audit);
        std::copy(block.begin(), block.end(), image.begin() + at);
    }
    return image;
}

}  // namespace kovrin::emulator
