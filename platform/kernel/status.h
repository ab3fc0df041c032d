#pragma once
// Completion statuses of the layer's requests. Values are ours; negative means failure.

#include <cstdint>
#include <ostream>

namespace kovrin::platform {

enum class Status : int32_t {
    Success = 0,
    Pending = 0x103,
    Unsuccessful = -1,
    InsufficientResources = -2,
    InvalidParameter = -3,
    InvalidHandle = -4,
    DeletePending = -5,
    DeviceDataError = -6,
    NotSupported = -7,
    InvalidDeviceState = -8,
    Cancelled = -9,
    DeviceNotConnected = -10,
    NoSuchDevice = -11,
    InvalidDeviceRequest = -12,
    ObjectNameNotFound = -13,
    NameTooLong = -14,
    // Returned only by completion routines: the routine keeps the request.
    MoreProcessingRequired = -100,
};

constexpr bool IsSuccess(Status s) { return static_cast<int32_t>(s) >= 0; }

const char* StatusName(Status s);

inline std::ostream& operator<<(std::ostream& os, Status s) { return os << StatusName(s); }

}  // namespace kovrin::platform
