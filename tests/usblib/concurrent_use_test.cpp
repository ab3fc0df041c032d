// Several devices in use at once, from threads of their own, while other
// devices arrive and leave and the library's thread runs the callbacks: the
// library, the driver, the platform layer and the emulated devices together,
// as the ThreadSanitizer run sees them.

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>

#include "tests/usblib/emulator_exports_fixture.h"

namespace kovrin::usblib::testing {
namespace {

// Counts the exchanges a worker has made, so that the test can wait for some.
class Progress {
public:
    void Step()
    {
        std::lock_guard<std::mutex> guard(lock_);
        ++count_;
        changed_.notify_all();
    }
    void WaitFor(int count)
    {
        std::unique_lock<std::mutex> guard(lock_);
        changed_.wait(guard, [&] { return count_ >= count; });
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    int count_ = 0;
};

// Results an exchange may end with once its device or the library may be going away.
bool EndOfUse(UsbResult result)
{
    static const std::set<UsbResult> allowed = {USB_RESULT_SUCCESS,     USB_RESULT_NOT_INITIALISED,
                                                USB_RESULT_NOT_OPEN,    USB_RESULT_BAD_HANDLE,
                                                USB_RESULT_LINK_FAILED, USB_RESULT_WRITE_FAILED,
                                                USB_RESULT_TIME_OUT};
    return allowed.count(result) != 0;
}

UsbResult ModuleExchange(UsbDevice device)
{
    uint8_t status;
    uint16_t first, second;
    uint8_t third;
    return VoskUsb_PMGetStatus(device, &status, &first, &second, &third);
}

UsbResult AcceptorExchange(UsbDevice device)
{
    uint8_t buffer[VOSKUSB_REPLY_DATA_MAX];
    uint16_t length;
    return VoskUsb_GSARequestSN(device, buffer, &length);
}

class ConcurrentUseTest : public EmulatorExportsTest {
protected:
    // Plugs a device after the start; returns its port, with its handle opened in `handle`.
    int PlugAndOpen(std::shared_ptr<UsbEmulatorDevice> device, UsbDevice& handle)
    {
        const size_t before = events_.size();
        const int port = bus_->Plug(std::move(device));
        Settle();
        EXPECT_EQ(events_.size(), before + 1);
        handle = events_.back().Device;
        EXPECT_EQ(VoskUsb_OpenDevice(handle), USB_RESULT_SUCCESS);
        return port;
    }
};

TEST_F(ConcurrentUseTest, DevicesInUseWhileOthersArriveAndLeave)
{
    const UsbDevice module = OpenEmulator(std::make_shared<ModuleEmulator>());
    UsbDevice acceptor = 0;
    ports_.push_back(PlugAndOpen(std::make_shared<KnurlEmulator>(), acceptor));

    constexpr int kExchanges = 60;
    std::atomic<int> moduleFailures{0};
    std::atomic<int> acceptorFailures{0};
    std::thread moduleUser([&] {
        for (int i = 0; i < kExchanges; ++i)
            moduleFailures += ModuleExchange(module) != USB_RESULT_SUCCESS;
    });
    std::thread acceptorUser([&] {
        for (int i = 0; i < kExchanges; ++i)
            acceptorFailures += AcceptorExchange(acceptor) != USB_RESULT_SUCCESS;
    });

    // Meanwhile further modules come, answer once and go, their callbacks on this thread.
    for (int i = 0; i < 8; ++i) {
        UsbDevice visitor = 0;
        const int port = PlugAndOpen(std::make_shared<ModuleEmulator>(), visitor);
        EXPECT_EQ(ModuleExchange(visitor), USB_RESULT_SUCCESS);
        bus_->Unplug(port);
        Settle();
        ASSERT_EQ(events_.back().Event, USB_DEVICE_REMOVED);
        EXPECT_EQ(events_.back().Device, visitor);
        EXPECT_EQ(ModuleExchange(visitor), USB_RESULT_BAD_HANDLE);
    }
    moduleUser.join();
    acceptorUser.join();
    EXPECT_EQ(moduleFailures, 0);
    EXPECT_EQ(acceptorFailures, 0);
}

TEST_F(ConcurrentUseTest, ADeviceLeavesWhileAThreadUsesIt)
{
    const UsbDevice module = OpenEmulator(std::make_shared<ModuleEmulator>());
    Progress progress;
    std::vector<UsbResult> results;
    std::thread user([&] {
        // Until the handle is gone for good; each exchange after the unplug fails at once.
        for (;;) {
            const UsbResult result = ModuleExchange(module);
            results.push_back(result);
            progress.Step();
            if (result == USB_RESULT_BAD_HANDLE)
                return;
        }
    });
    progress.WaitFor(5);
    bus_->Unplug(port_);
    Settle();  // the removal's callback; after it the handle is refused
    user.join();

    ASSERT_GE(results.size(), 5u);
    for (size_t i = 0; i < 5; ++i)
        EXPECT_EQ(results[i], USB_RESULT_SUCCESS);
    for (UsbResult result : results)
        EXPECT_TRUE(EndOfUse(result)) << result;
    EXPECT_EQ(ModuleExchange(module), USB_RESULT_BAD_HANDLE);
}

TEST_F(ConcurrentUseTest, TheLibraryStopsWhileThreadsUseItsDevices)
{
    const UsbDevice module = OpenEmulator(std::make_shared<ModuleEmulator>());
    UsbDevice acceptor = 0;
    ports_.push_back(PlugAndOpen(std::make_shared<KnurlEmulator>(), acceptor));

    Progress progress;
    std::vector<UsbResult> moduleResults, acceptorResults;
    const auto use = [&](UsbDevice device, UsbResult (*exchange)(UsbDevice), std::vector<UsbResult>& results) {
        for (;;) {
            const UsbResult result = exchange(device);
            results.push_back(result);
            progress.Step();
            if (result == USB_RESULT_NOT_INITIALISED)
                return;
        }
    };
    std::thread moduleUser(use, module, &ModuleExchange, std::ref(moduleResults));
    std::thread acceptorUser(use, acceptor, &AcceptorExchange, std::ref(acceptorResults));
    progress.WaitFor(10);
    VoskUsb_Remove();
    moduleUser.join();
    acceptorUser.join();

    for (const auto* results : {&moduleResults, &acceptorResults}) {
        ASSERT_FALSE(results->empty());
        EXPECT_EQ(results->back(), USB_RESULT_NOT_INITIALISED);
        for (UsbResult result : *results)
            EXPECT_TRUE(EndOfUse(result)) << result;
    }
    EXPECT_EQ(events_.size(), 2u) << "a stop tells the program of no removals";
}

}  // namespace
}  // namespace kovrin::usblib::testing
