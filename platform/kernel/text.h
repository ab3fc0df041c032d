#pragma once
// Names are ASCII in practice; user mode sees them as narrow text.

#include <string>

namespace kovrin::platform {

inline std::u16string WidenText(const std::string& text)
{
    std::u16string wide;
    wide.reserve(text.size());
    for (unsigned char c : text)
        wide.push_back(char16_t(c));
    return wide;
}

inline std::string NarrowText(const std::u16string& text)
{
    std::string narrow;
    narrow.reserve(text.size());
    for (char16_t c : text)
        narrow.push_back(c < 0x80 ? char(c) : '?');
    return narrow;
}

}  // namespace kovrin::platform
