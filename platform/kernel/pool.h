#pragma once
// Tagged pool memory, with accounting per tag and failure injection.
//
// Failure injection counts the allocations that a driver makes or has the
// layer make on its behalf (pool blocks, requests, work items, power requests,
// device objects); the nth of them from the time of arming fails once.

#include <cstddef>
#include <cstdint>

namespace kovrin::platform {

// A four-character tag, first character in the low byte: MakePoolTag("Wdm ").
constexpr uint32_t MakePoolTag(const char (&text)[5])
{
    return uint32_t(uint8_t(text[0])) | uint32_t(uint8_t(text[1])) << 8 | uint32_t(uint8_t(text[2])) << 16 |
           uint32_t(uint8_t(text[3])) << 24;
}

// Non-paged pool: usable at any level. The contents are not zeroed.
void* AllocatePool(size_t bytes, uint32_t tag);
void FreePool(void* block);

size_t OutstandingPoolBlocks();
size_t OutstandingPoolBlocks(uint32_t tag);

// Counts one allocation made on a driver's behalf; false when it is to fail.
bool TakeAllocation();

namespace pool_faults {
// The nth (1-based) counted allocation from now fails; 0 disarms.
void FailAllocationNumber(int nth);
// Counted allocations since the last Reset.
int CountedAllocations();
void Reset();
}  // namespace pool_faults

}  // namespace kovrin::platform
