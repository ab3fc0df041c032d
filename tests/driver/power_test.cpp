// Power: the power-down level from the capabilities table, idle power-down and
// power-up around pipe handles, system sleep, failed transitions, wait-wake.

#include <thread>

#include "tests/driver/driver_fixture.h"

namespace kovrin::qelusb::testing {
namespace {

SimpleDeviceConfig WithSleepMapping(uint32_t s1, uint32_t s2, uint32_t s3)
{
    SimpleDeviceConfig config = MinimalModule();
    config.Power.DeviceState[SystemSleeping1] = s1;
    config.Power.DeviceState[SystemSleeping2] = s2;
    config.Power.DeviceState[SystemSleeping3] = s3;
    return config;
}

TEST_F(DriverTest, PowerDownLevelIsTheLastSleepStateMappedShallowerThanD3)
{
    int port = Plug(WithSleepMapping(D2, D3, D1));
    Handle in = OpenOk(OnlyInterface() + "\\1");
    EXPECT_EQ(PowerState(port), uint32_t(D0));
    Close(in);
    machine_->WaitIdle();
    EXPECT_EQ(PowerState(port), uint32_t(D1));
}

TEST_F(DriverTest, AllSleepStatesMappedToD3MeansNeverPowerDownWhenIdle)
{
    int port = Plug(WithSleepMapping(D3, D3, D3));
    Handle in = OpenOk(OnlyInterface() + "\\1");
    Close(in);
    machine_->WaitIdle();
    EXPECT_EQ(PowerState(port), uint32_t(D0));
    EXPECT_FALSE(Bus().Suspended(port));
}

TEST_F(DriverTest, OpenCloseOpenCloseReachesD0EachTime)
{
    int port = Plug();
    // Waking the device takes a while, so that an open that does not wait shows.
    Bus().SetCompletionDelay(port, std::chrono::milliseconds(20));
    std::string pipe = OnlyInterface() + "\\1";
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        Handle in = OpenOk(pipe);
        EXPECT_EQ(PowerState(port), uint32_t(D0));
        EXPECT_FALSE(Bus().Suspended(port));
        Close(in);
        machine_->WaitIdle();
        EXPECT_EQ(PowerState(port), uint32_t(D2));
        EXPECT_TRUE(Bus().Suspended(port));
    }
}

TEST_F(DriverTest, TwoHandlesOnOnePipe)
{
    int port = Plug();
    std::string pipe = OnlyInterface() + "\\1";
    Handle first = OpenOk(pipe);
    Handle second = OpenOk(pipe);
    Close(first);
    machine_->WaitIdle();
    EXPECT_EQ(PowerState(port), uint32_t(D0));  // still open through the second
    Bus().SendIn(port, kIn, {5});
    std::vector<uint8_t> buffer(64);
    size_t bytes = 0;
    EXPECT_EQ(ReadSync(second, buffer.data(), buffer.size(), &bytes), Status::Success);
    Close(second);
    machine_->WaitIdle();
    EXPECT_EQ(PowerState(port), uint32_t(D2));  // the open count is back at 0
}

TEST_F(DriverTest, SystemSleepAndWake)
{
    int port = Plug();
    Handle in = OpenOk(OnlyInterface() + "\\1");
    EXPECT_EQ(Pnp().SetSystemPowerState(SystemSleeping3), Status::Success);
    EXPECT_EQ(PowerState(port), uint32_t(D3));
    EXPECT_EQ(Pnp().SetSystemPowerState(SystemWorking), Status::Success);
    EXPECT_EQ(PowerState(port), uint32_t(D0));
    Bus().SendIn(port, kIn, {1, 2});
    std::vector<uint8_t> buffer(64);
    size_t bytes = 0;
    EXPECT_EQ(ReadSync(in, buffer.data(), buffer.size(), &bytes), Status::Success);
    Close(in);
}

TEST_F(DriverTest, FailedDevicePowerTransitionCompletesTheSystemRequest)
{
    int port = Plug();
    Handle in = OpenOk(OnlyInterface() + "\\1");
    Bus().FailPowerTransitions(port, true);
    EXPECT_EQ(Pnp().SetSystemPowerState(SystemSleeping3), Status::Unsuccessful);
    Bus().FailPowerTransitions(port, false);
    Close(in);
}

TEST_F(DriverTest, DevicePowerRequestThatCannotBeIssuedCompletesTheSystemRequest)
{
    Plug();
    Handle in = OpenOk(OnlyInterface() + "\\1");
    pool_faults::FailAllocationNumber(1);  // the power manager's request
    EXPECT_EQ(Pnp().SetSystemPowerState(SystemSleeping3), Status::InsufficientResources);
    pool_faults::FailAllocationNumber(0);
    EXPECT_EQ(Pnp().SetSystemPowerState(SystemSleeping3), Status::Success);
    EXPECT_EQ(Pnp().SetSystemPowerState(SystemWorking), Status::Success);
    Close(in);
}

struct WaitWakeResult {
    Event Done;
    Status Result = Status::Pending;
};

void WaitWakeDone(DeviceObject*, PowerMinor, uint32_t, void* context, const IoStatusBlock& ioStatus)
{
    auto* result = static_cast<WaitWakeResult*>(context);
    result->Result = ioStatus.Status;
    result->Done.Set();
}

TEST_F(DriverTest, WaitWakeInD0IsRefused)
{
    int port = Plug();
    Handle in = OpenOk(OnlyInterface() + "\\1");
    DeviceObject* pdo = Pnp().PhysicalDeviceOf(Emulated().NodeOfPort(port));
    WaitWakeResult result;
    RequestPowerRequest(pdo, PowerMinor::WaitWake, SystemSleeping3, WaitWakeDone, &result);
    result.Done.Wait();
    EXPECT_EQ(result.Result, Status::InvalidDeviceState);
    Close(in);
}

TEST_F(DriverTest, WaitWakeCompletesOnRemoteWake)
{
    int port = Plug();
    Handle in = OpenOk(OnlyInterface() + "\\1");
    Close(in);
    machine_->WaitIdle();
    ASSERT_EQ(PowerState(port), uint32_t(D2));
    DeviceObject* pdo = Pnp().PhysicalDeviceOf(Emulated().NodeOfPort(port));
    WaitWakeResult result;
    // The driver's wait-wake handling blocks its caller until the wake.
    std::thread waiter([&] { RequestPowerRequest(pdo, PowerMinor::WaitWake, SystemSleeping3, WaitWakeDone, &result); });
    // A wake before the bus holds the request is lost, as on real hardware: repeat it.
    while (!result.Done.IsSet()) {
        Bus().RemoteWake(port);
        std::this_thread::yield();
    }
    result.Done.Wait();
    waiter.join();
    EXPECT_EQ(result.Result, Status::Success);
}

}  // namespace
}  // namespace kovrin::qelusb::testing
