#pragma once
// 32-bit device handles: a slot index and the slot's generation, so that a
// handle whose record is gone, or one that was never given out, finds nothing.

#include <cstdint>
#include <memory>
#include <vector>

#include "usblib/qel_usb.h"

namespace kovrin::usblib {

struct UsbDeviceRecord;

class HandleTable {
public:
    // 0 when every slot is taken.
    UsbDevice Add(std::shared_ptr<UsbDeviceRecord> record);
    std::shared_ptr<UsbDeviceRecord> Find(UsbDevice handle) const;
    void Remove(UsbDevice handle);

private:
    static constexpr unsigned kIndexBits = 12;
    static constexpr uint32_t kIndexMask = (1u << kIndexBits) - 1;
    static constexpr uint32_t kGenerations = 1u << (32 - kIndexBits);

    struct Slot {
        uint32_t Generation = 1;  // never 0, so that no handle is 0
        std::shared_ptr<UsbDeviceRecord> Record;
    };
    const Slot* SlotOf(UsbDevice handle) const;

    std::vector<Slot> slots_;
    std::vector<uint32_t> free_;
};

}  // namespace kovrin::usblib
