#pragma once
// Time limits of user-mode waits. Tests scale them down so that a wait that
// is meant to run out does so quickly; nothing else changes them.

#include <chrono>

namespace kovrin::platform::user {

// `nominal` times the scale (1 unless a test set another).
std::chrono::milliseconds ScaledTimeLimit(std::chrono::milliseconds nominal);
void SetTimeLimitScale(double scale);

}  // namespace kovrin::platform::user
