#include "emulators/acceptor/audit_data.h"

#include <chrono>

namespace kovrin::emulator {

namespace {

constexpr size_t kBlockLength = 20;

struct BitField {
    uint32_t AuditCounters::*counter;
    unsigned firstBit;
    unsigned width;
};

constexpr BitField kFields[] = {
    {&AuditCounters::motorStarts, 0, 20},   {&AuditCounters::preEscrows, 20, 19},
    {&AuditCounters::stacked, 39, 19},      {&AuditCounters::rejected, 58, 19},
    {&AuditCounters::returned, 77, 19},     {&AuditCounters::cheats, 96, 19},
    {&AuditCounters::jams, 115, 19},        {&AuditCounters::powerUps, 134, 14},
    {&AuditCounters::daysSince2010, 148, 12},
};

void putBigEndian32(std::vector<uint8_t>& out, uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

}  // namespace

std::vector<uint8_t> packAuditCounters(const AuditCounters& counters)
{
    std::vector<uint8_t> block(kBlockLength, 0);
    for (const BitField& field : kFields) {
        const uint32_t value = counters.*field.counter;
        for (unsigned bit = 0; bit < field.width; ++bit) {
            if ((value >> bit) & 1u) {
                const unsigned at = field.firstBit + bit;
                block[at / 8] |= static_cast<uint8_t>(1u << (at % 8));
            }
        }
    }
    return block;
}

AuditCounters unpackAuditCounters(const std::vector<uint8_t>& block)
{
    AuditCounters counters;
    if (block.size() < kBlockLength) return counters;
    for (const BitField& field : kFields) {
        uint32_t value = 0;
        for (unsigned bit = 0; bit < field.width; ++bit) {
            const unsigned at = field.firstBit + bit;
            if ((block[at / 8] >> (at % 8)) & 1u) value |= 1u << bit;
        }
        counters.*field.counter = value;
    }
    return counters;
}

std::vector<uint8_t> olderAuditReplyData(const AuditCounters& counters)
{
    using namespace std::chrono;
    const year_month_day date{sys_days{year{2010} / January / 1} + days{counters.daysSince2010}};
    // Frame bytes 5 to 11 carry nothing this firmware reports; the date starts at byte 12.
    std::vector<uint8_t> data(7, 0);
    data.push_back(static_cast<uint8_t>(int(date.year()) - 2000));
    data.push_back(static_cast<uint8_t>(unsigned(date.month())));
    data.push_back(static_cast<uint8_t>(unsigned(date.day())));
    data.push_back(0);  // hour
    data.push_back(0);  // minute
    for (uint32_t value : {counters.motorStarts, counters.stacked, counters.rejected, counters.cheats,
                           counters.powerUps})
        putBigEndian32(data, value);
    return data;
}

}  // namespace kovrin::emulator
