#pragma once
// The unit's audit counters and the two ways its firmware reports them.

#include <cstdint>
#include <vector>

namespace kovrin::emulator {

struct AuditCounters {
    uint32_t motorStarts = 0;
    uint32_t preEscrows = 0;
    uint32_t stacked = 0;
    uint32_t rejected = 0;
    uint32_t returned = 0;
    uint32_t cheats = 0;
    uint32_t jams = 0;
    uint32_t powerUps = 0;
    uint32_t daysSince2010 = 0;  // date of the audit data
};

// The packed 20-byte block: a little-endian bit string; values too wide for a field keep their low bits.
std::vector<uint8_t> packAuditCounters(const AuditCounters& counters);
AuditCounters unpackAuditCounters(const std::vector<uint8_t>& block);

// Data of the 0x35 reply of firmware before "0017": a calendar date and five 32-bit counters.
std::vector<uint8_t> olderAuditReplyData(const AuditCounters& counters);

}  // namespace kovrin::emulator
