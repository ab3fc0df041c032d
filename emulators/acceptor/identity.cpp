#include "emulators/acceptor/identity.h"

#include <algorithm>

namespace kovrin::emulator {

namespace {

struct VariantDefaults {
    int variant;
    const char* softwareText;
    const char* versionText;
};

// Software names and firmware versions a unit of each variant leaves the factory with.
constexpr VariantDefaults kDefaults[] = {
    {1, "ORVEL APP ", "0017"},  {2, "DASTIN APP", "0017"}, {3, "PROD TEST ", "0017"},
    {4, "DASTIN+APP", "0017"},  {5, "SARNEL APP ", "0043"}, {6, "ORVXEL+APP", "0017"},
    {7, "TEKRA APP  ", "0018"}, {8, "PELLOT APP", "0017"}, {9, "DASTIN++AP", "0017"},
};

constexpr size_t kFirstDataByte = 5;

const VariantDefaults* defaultsOf(int variant)
{
    for (const VariantDefaults& d : kDefaults)
        if (d.variant == variant) return &d;
    return nullptr;
}

bool hasLongSoftwareText(int variant) { return variant == 5 || variant == 7; }

std::string fitted(std::string text, size_t length)
{
    text.resize(length, ' ');
    return text;
}

void putText(std::vector<uint8_t>& data, size_t frameByte, const std::string& text)
{
    const size_t at = frameByte - kFirstDataByte;
    if (data.size() < at + text.size()) data.resize(at + text.size(), 0);
    std::copy(text.begin(), text.end(), data.begin() + static_cast<std::ptrdiff_t>(at));
}

}  // namespace

uint8_t ownFrameAddress(int variant)
{
    switch (variant) {
    case 3: case 4: case 5: case 6: case 7: case 9: return 4;
    default: return 0;
    }
}

size_t serialLength(int variant)
{
    return (variant == 5 || variant == 7 || variant == 9) ? 11 : 10;
}

size_t softwareTextLength(int variant)
{
    return hasLongSoftwareText(variant) ? 11 : 10;
}

EepromLayout layoutOf(int variant)
{
    return (variant == 6 || variant == 7) ? EepromLayout::Layout6And7 : EepromLayout::Layout5And9;
}

std::string defaultSerial(int variant)
{
    // Digits only, as the configuration screen insists; the variant is the fourth digit.
    std::string serial = "230" + std::to_string(variant % 10) + "0001234";
    serial.resize(serialLength(variant), '5');
    return serial;
}

std::string defaultSoftwareText(int variant)
{
    const VariantDefaults* d = defaultsOf(variant);
    return fitted(d ? d->softwareText : "TYX APP", softwareTextLength(variant));
}

std::string defaultVersionText(int variant)
{
    const VariantDefaults* d = defaultsOf(variant);
    return d ? d->versionText : "0017";
}

std::vector<uint8_t> identificationData(const Identity& identity)
{
    const int variant = identity.variant;
    std::vector<uint8_t> data{static_cast<uint8_t>(variant), identity.unitState};
    putText(data, 7, fitted(identity.serial, serialLength(variant)));
    data.resize(18 - kFirstDataByte, 0);
    data.push_back(static_cast<uint8_t>(identity.memoryAddress >> 8));
    data.push_back(static_cast<uint8_t>(identity.memoryAddress & 0xFF));
    putText(data, 20, fitted(identity.infoText, kInfoTextLength));
    const std::string version = fitted(identity.versionText, kVersionTextLength);
    if (hasLongSoftwareText(variant) && identity.longFrame) {
        putText(data, 30, fitted(identity.softwareText, 11));
        data.push_back(0);  // byte 41: spare
        putText(data, 42, version);
    } else {
        // The older frame has room for ten characters; an eleventh would share byte 40 with the version.
        putText(data, 30, fitted(identity.softwareText, 10));
        putText(data, 40, version);
        data.push_back(0);  // byte 44: spare
    }
    return data;
}

}  // namespace kovrin::emulator
