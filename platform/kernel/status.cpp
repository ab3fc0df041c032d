#include "platform/kernel/status.h"

namespace kovrin::platform {

const char* StatusName(Status s)
{
    switch (s) {
    case Status::Success: return "Success";
    case Status::Pending: return "Pending";
    case Status::Unsuccessful: return "Unsuccessful";
    case Status::InsufficientResources: return "InsufficientResources";
    case Status::InvalidParameter: return "InvalidParameter";
    case Status::InvalidHandle: return "InvalidHandle";
    case Status::DeletePending: return "DeletePending";
    case Status::DeviceDataError: return "DeviceDataError";
    case Status::NotSupported: return "NotSupported";
    case Status::InvalidDeviceState: return "InvalidDeviceState";
    case Status::Cancelled: return "Cancelled";
    case Status::DeviceNotConnected: return "DeviceNotConnected";
    case Status::NoSuchDevice: return "NoSuchDevice";
    case Status::InvalidDeviceRequest: return "InvalidDeviceRequest";
    case Status::ObjectNameNotFound: return "ObjectNameNotFound";
    case Status::NameTooLong: return "NameTooLong";
    case Status::MoreProcessingRequired: return "MoreProcessingRequired";
    }
    return "Status?";
}

}  // namespace kovrin::platform
