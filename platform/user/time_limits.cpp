#include "platform/user/time_limits.h"

#include <atomic>

namespace kovrin::platform::user {

namespace {
std::atomic<double> scale{1.0};
}

std::chrono::milliseconds ScaledTimeLimit(std::chrono::milliseconds nominal)
{
    return std::chrono::milliseconds(static_cast<long long>(double(nominal.count()) * scale.load()));
}

void SetTimeLimitScale(double value) { scale.store(value > 0 ? value : 1.0); }

}  // namespace kovrin::platform::user
