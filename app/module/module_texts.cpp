#include "app/module/module_texts.h"

#include <array>
#include <cstdio>

namespace kovrin {

std::string UsbErrorText(int32_t result)
{
    static constexpr std::array<const char*, 16> texts = {
        "Error - Unknown",
        "Error - Driver Not Installed",
        "Error - Port Not Open",
        "Error - Bad Handle",
        "Error - Already open",
        "Error - Open Failed",
        "Error - Link Failed",
        "Error - Write Failed",
        "Error - Invalid command for product",
        "Error - Invalid reply from product",
        "Error - Invalid parameter",
        "Error - Link Time out ",
        "Error - Received Nak ",
        "Error - Command not supported (99)",
        "Error - Data overload ",
        "Error - Knurl being a pain",
    };
    const auto low = static_cast<uint16_t>(result);
    return low < texts.size() ? texts[low] : texts[0];
}

std::string KduReplyText(uint8_t status)
{
    switch (status) {
    case 0: return "OK";
    case 1: return "Unable to respond";
    case 2: return "No Space";
    case 3: return "File Already Open";
    case 5: return "Invalid File";
    case 6: return "File corrupt - Format KDU";
    default: return "";
    }
}

std::string UnitName(int32_t unitType)
{
    static constexpr std::array<const char*, 4> names = {"Unknown", "Knurl", "KDU", "RDU"};
    return unitType >= 0 && unitType < int32_t(names.size()) ? names[size_t(unitType)] : names[0];
}

std::string HexPad(int32_t value, uint8_t width)
{
    char digits[16];
    std::snprintf(digits, sizeof digits, "%X", static_cast<uint32_t>(value));
    std::string text = digits;
    if (text.size() < width)
        return std::string(width - text.size(), '0') + text;
    return text.substr(text.size() - width);
}

}  // namespace kovrin
