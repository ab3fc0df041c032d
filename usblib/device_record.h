#pragma once
// What the library keeps per device.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/user/user_io.h"
#include "usblib/qel_usb.h"

namespace kovrin::usblib {

namespace user = platform::user;
using platform::IsSuccess;
using platform::Status;

// The device's open handles; closed when the last user lets go, so that a
// transfer on another thread never meets a handle closed under it.
struct DeviceFiles {
    user::Handle Device = user::kInvalidHandle;
    user::Handle Out = user::kInvalidHandle;
    user::Handle In = user::kInvalidHandle;
    // Set when the device is let go: a transfer that starts after it cancels itself.
    std::atomic<bool> Closing{false};

    DeviceFiles() = default;
    DeviceFiles(const DeviceFiles&) = delete;
    DeviceFiles& operator=(const DeviceFiles&) = delete;
    ~DeviceFiles();
    bool AllOpen() const;
};

struct UsbDeviceRecord {
    UsbDevice Handle = 0;
    DeviceType Type = 0;
    std::string Path;
    // The fields below are guarded by the library's lock.
    bool Listed = false;
    bool Open = false;
    std::shared_ptr<DeviceFiles> Files;  // null once the handles are let go
    int HandleNotification = 0;
    uint64_t NoticeToken = 0;  // ties handle notices to this registration
    // Something may be left in the IN pipe (a late or an unread part of a
    // reply): the next exchange empties the pipe first.
    std::atomic<bool> InPipeDirty{false};
};

}  // namespace kovrin::usblib
