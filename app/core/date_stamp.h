#pragma once
// The date and time stamp that a programmed acceptor and a module firmware
// file carry: the calendar, or the days since 1 January 2010.

#include <array>
#include <cstdint>

namespace kovrin {

struct LocalTime {
    int year, month, day, hour, minute;
};
// The computer's local date and time, to the minute.
LocalTime LocalTimeNow();

// The five data bytes: year - 2000, month, day, hour, minute; or the day
// count, low byte first, then three zeros.
std::array<uint8_t, 5> DateStampData(const LocalTime& now, bool dayCount);

}  // namespace kovrin
