#include "app/core/hex_digits.h"

#include <cctype>

namespace kovrin {

std::string ByteToHex(uint8_t value)
{
    static const char digits[] = "0123456789ABCDEF";
    return {digits[value >> 4], digits[value & 0x0F]};
}

namespace {

// The leading decimal number of a text, 0 if there is none (leading blanks
// and a sign allowed; the rest of the text ignored).
long LeadingNumber(const std::string& text)
{
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    long value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > 32767)  // a BCD group never comes near this; stop before overflow
            break;
    }
    return negative ? -value : value;
}

}  // namespace

int16_t DecToBcd(std::string& text)
{
    const long v = LeadingNumber(text);
    const auto result = static_cast<int16_t>((v / 10) * 16 + (v % 10));
    text = std::to_string(result);
    return result;
}

}  // namespace kovrin
