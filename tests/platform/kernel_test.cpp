// Events, spin locks and the execution-level marker, pool, work items.

#include <gtest/gtest.h>

#include <thread>

#include "platform/kernel/io_manager.h"
#include "platform/kernel/level.h"
#include "platform/kernel/pool.h"
#include "platform/kernel/sync.h"
#include "platform/kernel/system.h"
#include "platform/kernel/work_items.h"

namespace kovrin::platform {
namespace {

class KernelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ClearViolations();
        pool_faults::Reset();
    }
};

TEST_F(KernelTest, NotificationEventReleasesEveryWaiter)
{
    Event event;
    std::thread first([&] { event.Wait(); });
    std::thread second([&] { event.Wait(); });
    event.Set();
    first.join();
    second.join();
    EXPECT_TRUE(event.IsSet());
    event.Clear();
    EXPECT_FALSE(event.WaitFor(std::chrono::milliseconds(1)));
}

TEST_F(KernelTest, SynchronizationEventClearsItselfForOneWaiter)
{
    Event event(EventType::Synchronization, true);
    EXPECT_TRUE(event.WaitFor(std::chrono::milliseconds(0)));
    EXPECT_FALSE(event.IsSet());
    EXPECT_FALSE(event.WaitFor(std::chrono::milliseconds(0)));
}

TEST_F(KernelTest, WaitingUnderASpinLockIsCaught)
{
    SpinLock lock;
    Event event(EventType::Notification, true);
    {
        SpinLockGuard guard(lock);
        EXPECT_EQ(CurrentLevel(), ExecutionLevel::Dispatch);
        event.Wait();
    }
    EXPECT_EQ(CurrentLevel(), ExecutionLevel::Passive);
    ASSERT_EQ(ViolationCount(), 1u);
    EXPECT_NE(Violations()[0].find("dispatch level"), std::string::npos);
    ClearViolations();
    // Polling is allowed at any level.
    {
        DispatchLevelScope level;
        EXPECT_TRUE(event.WaitFor(std::chrono::milliseconds(0)));
    }
    EXPECT_EQ(ViolationCount(), 0u);
}

TEST_F(KernelTest, PoolIsCountedByTagAndFailsTheChosenAllocation)
{
    constexpr uint32_t tag = MakePoolTag("Test");
    EXPECT_EQ(tag, 0x74736554u);
    void* a = AllocatePool(10, tag);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(OutstandingPoolBlocks(tag), 1u);
    pool_faults::FailAllocationNumber(2);
    void* b = AllocatePool(10, tag);
    void* c = AllocatePool(10, tag);
    void* d = AllocatePool(10, tag);
    EXPECT_NE(b, nullptr);
    EXPECT_EQ(c, nullptr);
    EXPECT_NE(d, nullptr);
    EXPECT_EQ(pool_faults::CountedAllocations(), 4);
    FreePool(a);
    FreePool(b);
    FreePool(d);
    EXPECT_EQ(OutstandingPoolBlocks(tag), 0u);
}

void NoteLevel(DeviceObject*, void* context)
{
    *static_cast<ExecutionLevel*>(context) = CurrentLevel();
}

TEST_F(KernelTest, WorkItemRunsOnTheWorkerAtPassiveLevel)
{
    System system;
    DriverObject driver;
    DeviceObject* device = nullptr;
    ASSERT_EQ(CreateDevice(&driver, 16, nullptr, kDeviceTypeUnknown, 0, false, &device), Status::Success);
    ExecutionLevel seen = ExecutionLevel::Dispatch;
    WorkItem* item = AllocateWorkItem(device);
    ASSERT_NE(item, nullptr);
    {
        DispatchLevelScope level;  // queued from a completion, say
        QueueWorkItem(item, NoteLevel, WorkQueue::Delayed, &seen);
    }
    system.WaitIdle();
    EXPECT_EQ(seen, ExecutionLevel::Passive);
    FreeWorkItem(item);
    DeleteDevice(device);
}

}  // namespace
}  // namespace kovrin::platform
