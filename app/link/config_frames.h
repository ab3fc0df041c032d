#pragma once
// Frames that move the acceptor's configuration: the write (0x21) and the
// unit's own audit counters taken from a read (0x20) into the image to write.

#include "app/config/eeprom_map.h"
#include "app/link/serial_frame.h"

namespace kovrin {

// First byte of a configuration write's payload, in place of image byte 0.
constexpr uint8_t ConfigWriteMarker = 0x62;

// Writes the configuration write frame for the leading `length` image bytes
// into TxFrame (the sender adds the check byte); false for a length no frame holds.
bool BuildConfigurationWrite(TxBuffer& TxFrame, const EepromImage& image, int16_t length, uint8_t address);

// Whether a write of this layout sends image bytes that hold the unit's own
// audit counters, which must come from the unit itself.
bool WriteCarriesAuditCounters(EepromLayout layout);

// Copies the audit counters out of a configuration read reply (the whole
// frame) into `image`; false, with `image` unchanged, when the reply does not
// hold the layout's whole configuration.
bool SpliceAuditCounters(EepromImage& image, const Bytes& readReply, EepromLayout layout);

}  // namespace kovrin
