#include "app/core/date_stamp.h"

#include <QDateTime>
#include <chrono>

namespace kovrin {

LocalTime LocalTimeNow()
{
    const QDateTime now = QDateTime::currentDateTime();
    return {now.date().year(), now.date().month(), now.date().day(), now.time().hour(), now.time().minute()};
}

std::array<uint8_t, 5> DateStampData(const LocalTime& now, bool dayCount)
{
    if (!dayCount)
        return {uint8_t(now.year - 2000), uint8_t(now.month), uint8_t(now.day), uint8_t(now.hour),
                uint8_t(now.minute)};
    using namespace std::chrono;
    const sys_days today{year{now.year} / month{unsigned(now.month)} / day{unsigned(now.day)}};
    const sys_days epoch{year{2010} / January / 1};
    const auto d = (today - epoch).count();
    return {uint8_t(d & 0xFF), uint8_t((d >> 8) & 0xFF), 0, 0, 0};
}

}  // namespace kovrin
