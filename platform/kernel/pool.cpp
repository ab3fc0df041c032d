#include "platform/kernel/pool.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

namespace kovrin::platform {

namespace {

struct alignas(16) BlockHeader {
    size_t bytes;
    uint32_t tag;
    uint32_t magic;
};
constexpr uint32_t kLiveMagic = 0x4C4F4F50;  // "POOL"

std::mutex poolLock;
std::map<uint32_t, size_t> outstandingByTag;
size_t outstanding = 0;
int counted = 0;
int failAt = 0;

}  // namespace

bool TakeAllocation()
{
    std::lock_guard<std::mutex> guard(poolLock);
    ++counted;
    if (failAt != 0 && counted == failAt) {
        failAt = 0;
        return false;
    }
    return true;
}

void* AllocatePool(size_t bytes, uint32_t tag)
{
    if (!TakeAllocation())
        return nullptr;
    auto* header = static_cast<BlockHeader*>(std::malloc(sizeof(BlockHeader) + (bytes ? bytes : 1)));
    if (!header)
        return nullptr;
    header->bytes = bytes;
    header->tag = tag;
    header->magic = kLiveMagic;
    // Pool is not zeroed; a recognisable pattern shows reliance on that.
    std::memset(header + 1, 0xA5, bytes);
    std::lock_guard<std::mutex> guard(poolLock);
    ++outstanding;
    ++outstandingByTag[tag];
    return header + 1;
}

void FreePool(void* block)
{
    if (!block)
        return;
    auto* header = static_cast<BlockHeader*>(block) - 1;
    if (header->magic != kLiveMagic)
        std::abort();  // double free or foreign block
    header->magic = 0;
    {
        std::lock_guard<std::mutex> guard(poolLock);
        --outstanding;
        --outstandingByTag[header->tag];
    }
    std::free(header);
}

size_t OutstandingPoolBlocks()
{
    std::lock_guard<std::mutex> guard(poolLock);
    return outstanding;
}

size_t OutstandingPoolBlocks(uint32_t tag)
{
    std::lock_guard<std::mutex> guard(poolLock);
    auto it = outstandingByTag.find(tag);
    return it == outstandingByTag.end() ? 0 : it->second;
}

namespace pool_faults {

void FailAllocationNumber(int nth)
{
    std::lock_guard<std::mutex> guard(poolLock);
    failAt = nth > 0 ? counted + nth : 0;
}

int CountedAllocations()
{
    std::lock_guard<std::mutex> guard(poolLock);
    return counted;
}

void Reset()
{
    std::lock_guard<std::mutex> guard(poolLock);
    counted = 0;
    failAt = 0;
}

}  // namespace pool_faults

}  // namespace kovrin::platform
