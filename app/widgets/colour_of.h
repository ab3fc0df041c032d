#pragma once
// The program's colour values (0x00BBGGRR, app/config/colours.h) as Qt colours.

#include <QColor>
#include <cstdint>

namespace kovrin {

inline QColor ColourOf(int32_t bgr)
{
    return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
}

}  // namespace kovrin
