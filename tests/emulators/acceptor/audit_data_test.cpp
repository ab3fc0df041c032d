#include <gtest/gtest.h>

#include "emulators/acceptor/audit_data.h"

namespace kovrin::emulator {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes block(std::initializer_list<std::pair<size_t, uint8_t>> set)
{
    Bytes b(20, 0);
    for (auto [at, value] : set) b[at] = value;
    return b;
}

TEST(AuditCounters, PackedFieldsSitAtTheirBits)
{
    struct Case {
        AuditCounters counters;
        Bytes packed;
    };
    const Case cases[] = {
        {{1048575, 0, 0, 0, 0, 0, 0, 0, 0}, block({{0, 0xFF}, {1, 0xFF}, {2, 0x0F}})},
        {{0, 1, 0, 0, 0, 0, 0, 0, 0}, block({{2, 0x10}})},
        {{0, 0, 0, 0, 0, 0, 0, 0, 1}, block({{18, 0x10}})},
        {{0, 0, 0, 0, 0, 0, 0, 0, 4095}, block({{18, 0xF0}, {19, 0xFF}})},
        {{0, 0, 0, 0, 0, 0, 0, 16383, 0}, block({{16, 0xC0}, {17, 0xFF}, {18, 0x0F}})},
        {{0, 0, 1, 0, 0, 0, 0, 0, 0}, block({{4, 0x80}})},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(packAuditCounters(c.counters), c.packed);
        const AuditCounters back = unpackAuditCounters(c.packed);
        EXPECT_EQ(packAuditCounters(back), c.packed);
    }
}

TEST(AuditCounters, AValueTooWideKeepsItsLowBitsAndSparesItsNeighbours)
{
    AuditCounters wide{};
    wide.preEscrows = 0xFFFFFFFF;
    const AuditCounters back = unpackAuditCounters(packAuditCounters(wide));
    EXPECT_EQ(back.preEscrows, (1u << 19) - 1);
    EXPECT_EQ(back.motorStarts, 0u);
    EXPECT_EQ(back.stacked, 0u);
}

}  // namespace
}  // namespace kovrin::emulator
