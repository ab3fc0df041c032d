#pragma once
// The emulated USB bus: emulated devices plugged into numbered ports, transfers
// split into packets, completions delivered on the bus's own thread, and
// failure injection per port: stall, delay, hold, no reply, unplug at a point.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "emulators/usb/bus/emulated_device.h"
#include "platform/usb/backend.h"

namespace kovrin::platform::usb {

enum class UnplugPoint {
    None,
    DescriptorRequest,  // a GET_DESCRIPTOR control request
    SetConfiguration,
    OutTransfer,
    InTransfer,
    PowerUp,
};

struct ControlRecord {
    uint8_t RequestType;
    uint8_t Request;
    uint16_t Value;
    uint16_t Index;
    uint16_t Length;
};

class EmulatedBus : public BusBackend {
public:
    EmulatedBus();
    ~EmulatedBus() override;
    EmulatedBus(const EmulatedBus&) = delete;
    EmulatedBus& operator=(const EmulatedBus&) = delete;

    void Start(HotplugListener* listener, ActivityCounter* activity) override;
    void Stop() override;

    // Returns the port number.
    int Plug(std::shared_ptr<EmulatedDevice> device);
    void Unplug(int port);
    std::shared_ptr<DeviceBackend> BackendOf(int port);

    // Data the device sends on an IN endpoint (see DeviceSide::SendIn).
    void SendIn(int port, uint8_t endpoint, const std::vector<uint8_t>& data, bool zeroLengthPacketAfterFull = true);

    // ---- failure injection
    // Halts the endpoint now: its transfers fail with a stall until it is cleared.
    void Stall(int port, uint8_t endpoint);
    // Transfers on the endpoint never complete (the device NAKs) until cancelled.
    void SetNoReply(int port, uint8_t endpoint, bool on);
    // Full-speed timing: bulk packets move in 1 ms frames, at most
    // kPacketsPerFrame per frame across the bus, in turn between endpoints; a
    // device's reply goes out from the frame after the request's last packet.
    void SetFrameClock(bool on);
    static constexpr int kPacketsPerFrame = 19;
    static constexpr std::chrono::milliseconds kFrameLength{1};

    // Completions of the port's transfers are delivered this much later.
    void SetCompletionDelay(int port, std::chrono::milliseconds delay);
    // While held, the port's completions wait; releasing delivers them in order.
    void HoldCompletions(int port, bool hold);
    // The device is unplugged when it meets the nth such point from now.
    void UnplugAt(int port, UnplugPoint point, int occurrence = 1);
    void FailPowerTransitions(int port, bool on);
    // Clearing a halt, or resetting the port, fails while on.
    void FailClearHalt(int port, bool on);
    void FailPortReset(int port, bool on);
    // The port is connected but not enabled until the next port reset.
    void DisablePort(int port);
    void RemoteWake(int port);

    // ---- what happened
    std::vector<ControlRecord> ControlRequests(int port);
    int ClearHaltCount(int port, uint8_t endpoint);
    int PortResetCount(int port);
    std::vector<size_t> OutPacketSizes(int port, uint8_t endpoint);
    size_t PendingTransfers(int port);
    bool Suspended(int port);

private:
    struct Endpoint;
    struct Port;
    class PortBackend;
    class Side;
    using Clock = std::chrono::steady_clock;

    void Run();
    Port* PortLocked(int port);
    void ScheduleLocked(Port& port, std::function<void()> run);
    void FinishLocked(Port& port, const TransferPtr& transfer, TransferStatus status);
    bool ReachedLocked(Port& port, UnplugPoint point);
    // Marks the port unplugged and fails its transfers; the listener is told by the caller.
    void UnplugLocked(Port& port);
    void ServiceInLocked(Port& port, Endpoint& endpoint);
    void FinishAllLocked(Port& port, Endpoint& endpoint, TransferStatus status);
    // True when the device asked to leave the bus: it is unplugged, and the
    // caller tells the listener once the bus is unlocked.
    bool DeliverOutLocked(Port& port, Endpoint& endpoint, const TransferPtr& transfer);
    // Tells the listener of the ports in `leaving_`, with the bus unlocked meanwhile.
    void TellLeaving(std::unique_lock<std::mutex>& guard);
    // One packet of the endpoint's first transfer, if `frame` may carry it.
    enum class Step { Blocked, Packet, Finished };
    Step StepInLocked(Port& port, Endpoint& endpoint, uint64_t frame);
    Step StepOutLocked(Port& port, Endpoint& endpoint, uint64_t frame);
    uint64_t FrameNowLocked() const;
    bool FrameWorkLocked();
    void CarryFrameLocked(uint64_t frame);
    void ServiceAllInLocked(Port& port);
    void QueueInLocked(Port& port, Endpoint& endpoint, const std::vector<uint8_t>& data, bool zlpAfterFull);
    void SubmitLocked(Port& port, const TransferPtr& transfer, bool& unplugged);
    void ControlLocked(Port& port, const TransferPtr& transfer, bool& unplugged);
    void TellLeft(Port& port);

    // Calls from the port backends.
    void Submit(int port, const TransferPtr& transfer);
    void Cancel(int port, const TransferPtr& transfer);
    TransferStatus ClearHalt(int port, uint8_t endpoint);
    TransferStatus ResetDevice(int port);
    uint32_t PortStatus(int port);
    void Power(int port, bool resume, std::function<void(TransferStatus)> done);
    void SetRemoteWakeHandler(int port, std::function<void()> handler);

    std::mutex lock_;
    std::condition_variable changed_;
    std::deque<std::function<void()>> ready_;
    std::multimap<Clock::time_point, std::function<void()>> timed_;
    std::map<int, std::unique_ptr<Port>> ports_;
    std::vector<Port*> leaving_;  // devices that left while the bus thread carried a frame
    HotplugListener* listener_ = nullptr;
    ActivityCounter* activity_ = nullptr;
    int nextPort_ = 1;
    bool stopping_ = false;
    static constexpr uint64_t kAnyFrame = UINT64_MAX;  // without the frame clock
    bool frameClock_ = false;
    Clock::time_point frameEpoch_;
    uint64_t nextFrame_ = 0;  // the first frame not carried yet
    bool inFrame_ = false;
    uint64_t carriedFrame_ = 0;
    std::thread thread_;
};

}  // namespace kovrin::platform::usb
