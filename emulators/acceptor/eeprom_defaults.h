#pragma once
// The configuration memory a unit leaves the factory with, one image per layout.

#include <array>
#include <cstdint>
#include <string>

#include "emulators/acceptor/audit_data.h"

namespace kovrin::emulator {

// Byte where the serial number (11 bytes, blank padded) sits in the variant's layout.
size_t serialNumberOffset(int variant);
// Byte where the packed audit counters sit, or -1 when the layout has no audit area.
int auditAreaOffset(int variant);
// Bytes the unit delivers for a configuration read (0x20).
size_t configurationLength(int variant);

// The built-in image for this variant, carrying its serial number and audit counters.
std::array<uint8_t, 256> defaultEeprom(int variant, const std::string& serial, const AuditCounters& audit);

}  // namespace kovrin::emulator
