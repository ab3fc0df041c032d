#include "usblib/handle_table.h"

namespace kovrin::usblib {

UsbDevice HandleTable::Add(std::shared_ptr<UsbDeviceRecord> record)
{
    uint32_t index;
    if (!free_.empty()) {
        index = free_.back();
        free_.pop_back();
    } else if (slots_.size() <= kIndexMask) {
        index = uint32_t(slots_.size());
        slots_.emplace_back();
    } else {
        return 0;
    }
    Slot& slot = slots_[index];
    slot.Record = std::move(record);
    return slot.Generation << kIndexBits | index;
}

const HandleTable::Slot* HandleTable::SlotOf(UsbDevice handle) const
{
    uint32_t index = handle & kIndexMask;
    if (index >= slots_.size())
        return nullptr;
    const Slot& slot = slots_[index];
    if (!slot.Record || slot.Generation != handle >> kIndexBits)
        return nullptr;
    return &slot;
}

std::shared_ptr<UsbDeviceRecord> HandleTable::Find(UsbDevice handle) const
{
    const Slot* slot = SlotOf(handle);
    return slot ? slot->Record : nullptr;
}

void HandleTable::Remove(UsbDevice handle)
{
    if (!SlotOf(handle))
        return;
    uint32_t index = handle & kIndexMask;
    Slot& slot = slots_[index];
    slot.Record.reset();
    slot.Generation = slot.Generation + 1 < kGenerations ? slot.Generation + 1 : 1;
    free_.push_back(index);
}

}  // namespace kovrin::usblib
