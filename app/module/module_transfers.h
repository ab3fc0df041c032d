#pragma once
// Whole files to and from a programming module: read, write (with the partial
// file erased again when the write fails) and delete. Each result carries the
// messages the user is to see, in order.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/core/firmware_image.h"
#include "app/module/kdu_directory.h"
#include "app/module/qel_usb_client.h"

namespace kovrin {

struct KduFileRead {
    uint8_t Status = 1;  // 0 when the whole file was read and closed
    Bytes Data;
    std::vector<std::string> Messages;
};

// No module holds a file near this long; a read that runs past it is a module that never ends it.
constexpr uint64_t KduFileReadLimit = 16 * 1024 * 1024;

// Reads file `number`; a file that runs past `sizeLimit` bytes is a failure.
// `progress` is called with the number of bytes read so far after each piece.
KduFileRead ReadKduFile(const ModuleExports& exports, UsbDevice device, uint16_t number, uint64_t sizeLimit,
                        const std::function<void(size_t)>& progress = {});

struct KduFileWrite {
    bool Written = false;
    std::vector<std::string> Messages;  // why not, and whether the partial file is gone
};

// Creates the file of `entry`, writes `writes` in order (calling `progress`
// with the number written so far) and closes it; the close follows every
// create. On a failure the partial file is erased, but only where it can be
// shown to be this write's: `before` (the listing made before the create)
// shows every file of the module and not this one, it is the one file that
// fits `entry` and holds no more than was sent. Otherwise nothing is erased.
KduFileWrite WriteKduFile(const ModuleExports& exports, UsbDevice device, const KduFileInfo& entry,
                          const std::vector<Bytes>& writes, const KduFileList& before,
                          const std::function<void(size_t)>& progress = {});

struct KduFileDelete {
    UsbResult Result = USB_RESULT_SUCCESS;
    uint8_t Status = 0;
    bool Deleted() const { return Result == USB_RESULT_SUCCESS && Status == 0; }
};
KduFileDelete DeleteKduFile(const ModuleExports& exports, UsbDevice device, uint16_t number);

}  // namespace kovrin
