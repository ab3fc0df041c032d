#pragma once
// Frames of a firmware update and of the date stamp that ends it.

#include "app/core/acceptor_variants.h"
#include "app/core/date_stamp.h"
#include "app/core/firmware_image.h"
#include "app/link/serial_frame.h"

namespace kovrin {

// The fixed frames: erase (0x14) and boot strap (0x15) carry 55 A0.
void BuildEraseMemory(TxBuffer& TxFrame, uint8_t address);
void BuildUpdateBootstrap(TxBuffer& TxFrame, uint8_t address);
void BuildVerifyChecksum(TxBuffer& TxFrame, uint8_t address);
void BuildResetAuditData(TxBuffer& TxFrame, uint8_t address);

// One block as frame 0x12: bank, address high, address low, data, check byte.
Bytes FlashBlockFrame(const FlashBlock& block, uint8_t FlashBank, uint8_t address);

// Whether the loaded image's acceptor takes the day count rather than the calendar.
bool DateStampUsesDayCount(uint8_t ImageVariant, const std::string& revision);

}  // namespace kovrin
