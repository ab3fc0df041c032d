// Plug and play: query-stop and cancel-stop, stop and start again, query-remove,
// surprise removal with a read outstanding, and pool failure during start.

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <thread>

#include "platform/kernel/io_internal.h"
#include "platform/kernel/system.h"
#include "tests/driver/driver_fixture.h"

namespace kovrin::qelusb::testing {
namespace {

class PnpTest : public DriverTest {
protected:
    void OpenAll()
    {
        path_ = OnlyInterface();
        device_handle_ = OpenOk(path_);
        out_ = OpenOk(path_ + "\\0");
        in_ = OpenOk(path_ + "\\1");
    }
    void CloseAll()
    {
        Close(in_);
        Close(out_);
        Close(device_handle_);
    }
    // What a caller sees of the device: create, read, write, control.
    void ExpectRefused()
    {
        EXPECT_EQ(OpenStatus(path_ + "\\0"), Status::DeletePending);
        std::vector<uint8_t> buffer(64);
        size_t bytes = 0;
        EXPECT_EQ(ReadSync(in_, buffer.data(), buffer.size(), &bytes), Status::DeletePending);
        EXPECT_EQ(WriteSync(out_, buffer.data(), 1, &bytes), Status::DeletePending);
        EXPECT_EQ(DeviceIoControl(device_handle_, IOCTL_QELUSB_GET_DEVICE_DESCRIPTOR, nullptr, 0, buffer.data(), 18,
                                  &bytes),
                  Status::DeletePending);
    }
    // Until a new open is refused: the query has set its pending flag.
    void WaitUntilOpensAreRefused()
    {
        while (OpenStatus(path_) != Status::DeletePending)
            std::this_thread::yield();
    }

    std::string path_;
    Handle device_handle_ = kInvalidHandle;
    Handle out_ = kInvalidHandle;
    Handle in_ = kInvalidHandle;
};

TEST_F(PnpTest, QueryStopThenCancelStopRefusesRequestsInBetween)
{
    int port = Plug();
    DeviceNode* node = Emulated().NodeOfPort(port);
    OpenAll();
    EXPECT_EQ(Pnp().SendRequest(node, PnpMinor::QueryStopDevice), Status::Success);
    ExpectRefused();
    EXPECT_EQ(Pnp().SendRequest(node, PnpMinor::CancelStopDevice), Status::Success);
    std::vector<uint8_t> data = Bytes(33);
    EXPECT_EQ(Exchange(out_, in_, data), data);
    EXPECT_EQ(OpenStatus(path_ + "\\1"), Status::Success);
    CloseAll();
}

TEST_F(PnpTest, QueryStopWaitsForTheReadInProgress)
{
    int port = Plug();
    DeviceNode* node = Emulated().NodeOfPort(port);
    OpenAll();
    std::vector<uint8_t> buffer(64);
    Overlapped read;
    ASSERT_EQ(Read(in_, buffer.data(), buffer.size(), read), Status::Pending);
    std::atomic<bool> readDoneWhenQueryReturned{false};
    std::thread query([&] {
        EXPECT_EQ(Pnp().SendRequest(node, PnpMinor::QueryStopDevice), Status::Success);
        readDoneWhenQueryReturned = read.Completed.load();
    });
    WaitUntilOpensAreRefused();
    Bus().SendIn(port, kIn, {7, 7});
    query.join();
    EXPECT_TRUE(readDoneWhenQueryReturned);
    EXPECT_EQ(GetOverlappedResult(read, nullptr, true), Status::Success);
    EXPECT_EQ(Pnp().SendRequest(node, PnpMinor::CancelStopDevice), Status::Success);
    CloseAll();
}

TEST_F(PnpTest, StopAndStartAgainKeepsOpenPipeHandlesAndFreesTheFirstStart)
{
    int port = Plug();
    DeviceNode* node = Emulated().NodeOfPort(port);
    OpenAll();
    size_t blocks = OutstandingPoolBlocks(kPoolTag);
    EXPECT_EQ(Pnp().SendRequest(node, PnpMinor::QueryStopDevice), Status::Success);
    EXPECT_EQ(Pnp().SendRequest(node, PnpMinor::StopDevice), Status::Success);
    EXPECT_EQ(Pnp().StateOf(node), NodeState::Stopped);
    ExpectRefused();
    EXPECT_EQ(Pnp().SendRequest(node, PnpMinor::StartDevice), Status::Success);
    EXPECT_EQ(Pnp().StateOf(node), NodeState::Started);
    EXPECT_EQ(OutstandingPoolBlocks(kPoolTag), blocks);
    std::vector<uint8_t> data = Bytes(90);
    EXPECT_EQ(Exchange(out_, in_, data), data);
    // The pipes stayed open: closing them powers the device down.
    CloseAll();
    machine_->WaitIdle();
    EXPECT_EQ(PowerState(port), uint32_t(D2));
}

TEST_F(PnpTest, QueryRemoveWaitsForTheReadInProgressAndRemovalFollowsTheLastClose)
{
    int port = Plug();
    DeviceNode* node = Emulated().NodeOfPort(port);
    OpenAll();
    DeviceObject* function = Pnp().FunctionDeviceOf(node);
    std::vector<uint8_t> buffer(64);
    Overlapped read;
    ASSERT_EQ(Read(in_, buffer.data(), buffer.size(), read), Status::Pending);
    std::atomic<bool> readDoneWhenQueryReturned{false};
    std::thread query([&] {
        EXPECT_EQ(Pnp().RequestRemoval(node), Status::Success);
        readDoneWhenQueryReturned = read.Completed.load();
    });
    WaitUntilOpensAreRefused();
    Bus().SendIn(port, kIn, {1});
    query.join();
    EXPECT_TRUE(readDoneWhenQueryReturned);
    EXPECT_TRUE(EnumerateInterfaces(QelUsbInterfaceGuid).empty());
    EXPECT_FALSE(IsDeviceDeleted(function));
    CloseAll();
    machine_->WaitIdle();
    EXPECT_TRUE(IsDeviceDeleted(function));
    EXPECT_EQ(Pnp().StateOf(node), NodeState::Removed);  // the module itself is still plugged in
}

TEST_F(PnpTest, SurpriseRemovalWithAReadOutstanding)
{
    int port = Plug();
    DeviceNode* node = Emulated().NodeOfPort(port);
    std::mutex lock;
    std::vector<InterfaceEvent> events;
    Event removed;
    int subscription = RegisterInterfaceNotification(QelUsbInterfaceGuid, [&](InterfaceEvent event, const std::string&) {
        std::lock_guard<std::mutex> guard(lock);
        events.push_back(event);
        if (event == InterfaceEvent::Removal)
            removed.Set();
    });
    OpenAll();
    Event handleGone;
    RegisterHandleNotification(device_handle_, [&](HandleEvent) { handleGone.Set(); });
    // Held by the test: the manager lets a gone device's objects go.
    DeviceObject* function = Pnp().FunctionDeviceOf(node);
    ReferenceDevice(function);
    std::vector<uint8_t> buffer(64);
    Overlapped read;
    ASSERT_EQ(Read(in_, buffer.data(), buffer.size(), read), Status::Pending);

    // The read's failure is held back by the bus, to see what waits for it.
    Bus().HoldCompletions(port, true);
    Bus().Unplug(port);
    removed.Wait();
    handleGone.Wait();
    EXPECT_FALSE(read.Completed.load());
    EXPECT_FALSE(IsDeviceDeleted(function));
    CloseAll();  // the read's handle closes only once its read has finished
    EXPECT_FALSE(IsDeviceDeleted(function));

    Bus().HoldCompletions(port, false);
    EXPECT_EQ(GetOverlappedResult(read, nullptr, true), Status::DeviceNotConnected);
    machine_->WaitIdle();
    EXPECT_TRUE(IsDeviceDeleted(function));
    EXPECT_EQ(Pnp().StateOf(node), NodeState::Gone);
    EXPECT_EQ(Pnp().FunctionDeviceOf(node), nullptr);
    DereferenceDevice(function);
    UnregisterInterfaceNotification(subscription);
    std::lock_guard<std::mutex> guard(lock);
    EXPECT_EQ(events, (std::vector<InterfaceEvent>{InterfaceEvent::Removal}));
}

TEST_F(PnpTest, PluggingInAndOutDoesNotPileUpDepartedDevices)
{
    for (int cycle = 0; cycle < 60; ++cycle) {
        SCOPED_TRACE("cycle " + std::to_string(cycle));
        int port = Plug();
        DeviceNode* node = Emulated().NodeOfPort(port);
        ASSERT_EQ(Pnp().StateOf(node), NodeState::Started);
        EXPECT_EQ(Pnp().LiveNodes(), 1u);
        EXPECT_EQ(Pnp().HeldDeviceObjects(), 2u);  // the physical and the function device
        EXPECT_EQ(Pnp().InterfaceCount(), 1u);
        // Every other cycle the module leaves with a handle still open.
        Handle handle = OpenOk(OnlyInterface());
        if (cycle % 2 == 0)
            Close(handle);
        Bus().Unplug(port);
        machine_->WaitIdle();
        if (cycle % 2 != 0) {
            EXPECT_EQ(Pnp().StateOf(node), NodeState::SurpriseRemoved);
            Close(handle);
            machine_->WaitIdle();
        }
        EXPECT_EQ(Pnp().StateOf(node), NodeState::Gone);
        EXPECT_EQ(Pnp().FunctionDeviceOf(node), nullptr);
        EXPECT_EQ(Pnp().LiveNodes(), 0u);
        EXPECT_EQ(Pnp().HeldDeviceObjects(), 0u);
        EXPECT_EQ(Pnp().InterfaceCount(), 0u);
    }
}

TEST_F(PnpTest, InterfaceArrivalIsAnnouncedAfterTheStart)
{
    std::mutex lock;
    std::vector<std::pair<InterfaceEvent, std::string>> events;
    int subscription = RegisterInterfaceNotification(QelUsbInterfaceGuid, [&](InterfaceEvent event, const std::string& path) {
        std::lock_guard<std::mutex> guard(lock);
        events.emplace_back(event, path);
    });
    int port = Plug();
    {
        std::lock_guard<std::mutex> guard(lock);
        ASSERT_EQ(events.size(), 1u);
        EXPECT_EQ(events[0].first, InterfaceEvent::Arrival);
        EXPECT_EQ(events[0].second, OnlyInterface());
    }
    Bus().Unplug(port);
    machine_->WaitIdle();
    UnregisterInterfaceNotification(subscription);
    std::lock_guard<std::mutex> guard(lock);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[1].first, InterfaceEvent::Removal);
}

TEST_F(PnpTest, UnregisterReturnsOnlyOnceNoNoticeHoldsTheCallback)
{
    // What the callback holds stands for the code of a library that unloads once unregistered.
    auto held = std::make_shared<int>(0);
    const std::weak_ptr<int> watch = held;
    int subscription =
        RegisterInterfaceNotification(QelUsbInterfaceGuid, [held](InterfaceEvent, const std::string&) {});
    held.reset();
    int port = Plug();

    // The removal's notice waits behind a job that the test holds.
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    System::Current().Notifier().Post([released] { released.wait(); });
    Bus().Unplug(port);
    System::Current().PnpThread().WaitIdle();
    System::Current().Worker().WaitIdle();

    std::promise<bool> heldAtReturn;
    std::future<bool> answer = heldAtReturn.get_future();
    std::thread unregister([&] {
        UnregisterInterfaceNotification(subscription);
        heldAtReturn.set_value(!watch.expired());
    });
    // A return while the notice still waits is the fault; an unregister that waits is let go.
    answer.wait_for(std::chrono::milliseconds(200));
    release.set_value();
    unregister.join();
    EXPECT_FALSE(answer.get()) << "a notice on its way still held the callback";
    machine_->WaitIdle();
}

// How many allocations the driver makes (or has made) from arrival to started.
int AllocationsUntilStarted()
{
    pool_faults::Reset();
    EmulatedMachine machine;
    machine.Pnp().InstallDriver(kDriverName, DriverHardwareIds());
    machine.Emulated().Plug(std::make_shared<SimpleDevice>(MinimalModule()));
    machine.WaitIdle();
    return pool_faults::CountedAllocations();
}

TEST_F(PnpTest, PoolFailureAtEachAllocationDuringStart)
{
    machine_.reset();
    int total = AllocationsUntilStarted();
    ASSERT_GT(total, 8);
    int startFailures = 0;
    for (int nth = 1; nth <= total; ++nth) {
        SCOPED_TRACE("failing allocation " + std::to_string(nth));
        pool_faults::Reset();
        EmulatedMachine machine;
        machine.Pnp().InstallDriver(kDriverName, DriverHardwareIds());
        pool_faults::FailAllocationNumber(nth);
        int port = machine.Emulated().Plug(std::make_shared<SimpleDevice>(MinimalModule()));
        machine.WaitIdle();
        DeviceNode* node = machine.NodeOfPort(port);
        NodeState state = machine.Pnp().StateOf(node);
        if (state == NodeState::Removed) {
            // The start failed for want of pool, and the device was removed again.
            EXPECT_EQ(machine.Pnp().StartStatusOf(node), Status::InsufficientResources);
            EXPECT_TRUE(EnumerateInterfaces(QelUsbInterfaceGuid).empty());
            ++startFailures;
        } else if (state == NodeState::Started) {
            // Only the capabilities query may fail without failing the start.
            Handle handle = kInvalidHandle;
            EXPECT_EQ(Open(EnumerateInterfaces(QelUsbInterfaceGuid).at(0), &handle), Status::Success);
            Close(handle);
        } else {
            EXPECT_EQ(state, NodeState::NoDriver);  // add-device failed
        }
    }
    EXPECT_GE(startFailures, 6);
}

TEST_F(PnpTest, DeviceWhoseStartFailedRefusesRequests)
{
    // Kept after a failed start (the real system removes it): what callers then get.
    machine_.reset();
    PnpManager::Options keep;
    keep.RemoveAfterFailedStart = false;
    for (int nth = 1; nth < 40; ++nth) {
        pool_faults::Reset();
        EmulatedMachine machine;
        machine.Pnp().InstallDriver(kDriverName, DriverHardwareIds());
        machine.Pnp().SetOptions(keep);
        pool_faults::FailAllocationNumber(nth);
        int port = machine.Emulated().Plug(std::make_shared<SimpleDevice>(MinimalModule()));
        machine.WaitIdle();
        DeviceNode* node = machine.NodeOfPort(port);
        if (machine.Pnp().StateOf(node) != NodeState::StartFailed)
            continue;  // the failing allocation was in add-device, or tolerated
        EXPECT_TRUE(EnumerateInterfaces(QelUsbInterfaceGuid).empty());
        std::vector<std::string> paths = machine.Pnp().InterfacePathsOf(node);
        ASSERT_EQ(paths.size(), 1u);
        EXPECT_EQ(OpenStatus(paths[0]), Status::DeletePending);
        EXPECT_EQ(OpenStatus(paths[0] + "\\0"), Status::DeletePending);
        return;
    }
    ADD_FAILURE() << "no allocation failed the start";
}

}  // namespace
}  // namespace kovrin::qelusb::testing
