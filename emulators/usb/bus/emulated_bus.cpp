#include "emulators/usb/bus/emulated_bus.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/kernel/level.h"
#include "platform/usb/descriptors.h"
#include "platform/usb/urb.h"

namespace kovrin::platform::usb {

struct EmulatedBus::Endpoint {
    uint8_t Address = 0;
    uint16_t MaximumPacketSize = 64;
    struct Packet {
        std::vector<uint8_t> Data;
        uint64_t Frame = 0;  // with the frame clock: the first frame that may carry it
    };
    std::deque<Packet> InPackets;
    std::deque<TransferPtr> Pending;
    std::deque<TransferPtr> Sending;  // with the frame clock: OUT transfers whose packets are moving
    bool Halted = false;
    bool NoReply = false;
    int ClearHalts = 0;
    std::vector<size_t> OutPacketSizes;

    bool In() const { return (Address & 0x80) != 0; }
};

struct EmulatedBus::Port {
    int Number = 0;
    std::shared_ptr<EmulatedDevice> Device;
    std::shared_ptr<PortBackend> Backend;
    bool Plugged = true;
    bool Enabled = true;
    bool Suspended = false;
    bool FailPower = false;
    bool FailClearHalt = false;
    bool FailPortReset = false;
    bool Hold = false;
    std::map<uint8_t, Endpoint> Endpoints;
    std::vector<ControlRecord> Control;
    int Resets = 0;
    std::chrono::milliseconds Delay{0};
    std::vector<std::function<void()>> Held;
    UnplugPoint UnplugWhen = UnplugPoint::None;
    int UnplugCountdown = 0;
    std::function<void()> RemoteWake;
};

// What the bus driver holds for one plugged device.
class EmulatedBus::PortBackend : public DeviceBackend {
public:
    PortBackend(EmulatedBus& bus, int port, std::string instanceId, std::vector<uint8_t> descriptor,
                PowerCapabilities power)
        : bus_(bus), port_(port), instanceId_(std::move(instanceId)), descriptor_(std::move(descriptor)),
          power_(power)
    {
    }
    std::string InstanceId() const override { return instanceId_; }
    std::vector<uint8_t> CachedDeviceDescriptor() const override { return descriptor_; }
    PowerCapabilities Power() const override { return power_; }
    void Submit(const TransferPtr& transfer) override { bus_.Submit(port_, transfer); }
    void Cancel(const TransferPtr& transfer) override { bus_.Cancel(port_, transfer); }
    TransferStatus ClearHalt(uint8_t endpoint) override { return bus_.ClearHalt(port_, endpoint); }
    TransferStatus ResetDevice() override { return bus_.ResetDevice(port_); }
    uint32_t PortStatus() override { return bus_.PortStatus(port_); }
    void Suspend(std::function<void(TransferStatus)> done) override { bus_.Power(port_, false, std::move(done)); }
    void Resume(std::function<void(TransferStatus)> done) override { bus_.Power(port_, true, std::move(done)); }
    void SetRemoteWakeHandler(std::function<void()> handler) override
    {
        bus_.SetRemoteWakeHandler(port_, std::move(handler));
    }

private:
    EmulatedBus& bus_;
    const int port_;
    const std::string instanceId_;
    const std::vector<uint8_t> descriptor_;
    const PowerCapabilities power_;
};

// The device's hands on the bus during a callback; the bus is locked.
class EmulatedBus::Side : public DeviceSide {
public:
    Side(EmulatedBus& bus, Port& port) : bus_(bus), port_(port) {}
    void SendIn(uint8_t endpoint, const std::vector<uint8_t>& data, bool zlpAfterFull) override
    {
        auto it = port_.Endpoints.find(endpoint);
        if (it != port_.Endpoints.end() && it->second.In())
            bus_.QueueInLocked(port_, it->second, data, zlpAfterFull);
    }
    void Stall(uint8_t endpoint) override
    {
        auto it = port_.Endpoints.find(endpoint);
        if (it == port_.Endpoints.end())
            return;
        it->second.Halted = true;
        for (auto* queue : {&it->second.Pending, &it->second.Sending}) {
            while (!queue->empty()) {
                bus_.FinishLocked(port_, queue->front(), TransferStatus::Stall);
                queue->pop_front();
            }
        }
    }
    void Unplug() override { unplug_ = true; }
    bool UnplugAsked() const { return unplug_; }

private:
    EmulatedBus& bus_;
    Port& port_;
    bool unplug_ = false;
};

EmulatedBus::EmulatedBus() : thread_([this] { Run(); }) {}

EmulatedBus::~EmulatedBus()
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopping_ = true;
        activity_ = nullptr;
    }
    changed_.notify_all();
    thread_.join();
}

void EmulatedBus::Run()
{
    std::unique_lock<std::mutex> guard(lock_);
    for (;;) {
        while (!timed_.empty() && timed_.begin()->first <= Clock::now()) {
            ready_.push_back(std::move(timed_.begin()->second));
            timed_.erase(timed_.begin());
        }
        if (!ready_.empty()) {
            std::function<void()> run = std::move(ready_.front());
            ready_.pop_front();
            guard.unlock();
            {
                DispatchLevelScope level;  // completions stand for interrupt-time work
                run();
            }
            run = nullptr;
            guard.lock();
            if (activity_)
                activity_->Done();
            continue;
        }
        if (stopping_)
            return;
        Clock::time_point wake = timed_.empty() ? Clock::time_point::max() : timed_.begin()->first;
        if (frameClock_ && FrameWorkLocked()) {
            // Frames that ended while the thread was late are lost, as on a busy bus.
            uint64_t current = FrameNowLocked();
            if (current > nextFrame_) {
                CarryFrameLocked(current - 1);
                nextFrame_ = current;
                TellLeaving(guard);
                continue;
            }
            wake = std::min(wake, frameEpoch_ + Clock::duration(kFrameLength * int64_t(nextFrame_ + 1)));
        }
        if (wake == Clock::time_point::max())
            changed_.wait(guard);
        else
            changed_.wait_until(guard, wake);
    }
}

void EmulatedBus::ScheduleLocked(Port& port, std::function<void()> run)
{
    if (port.Hold) {
        port.Held.push_back(std::move(run));
        return;
    }
    if (activity_)
        activity_->Add();
    if (port.Delay.count() > 0)
        timed_.emplace(Clock::now() + port.Delay, std::move(run));
    else
        ready_.push_back(std::move(run));
    changed_.notify_all();
}

void EmulatedBus::FinishLocked(Port& port, const TransferPtr& transfer, TransferStatus status)
{
    transfer->State = Transfer::Stage::Finished;
    uint32_t actual = transfer->Actual;
    ScheduleLocked(port, [transfer, status, actual] {
        auto done = std::move(transfer->Done);
        transfer->Done = nullptr;
        if (done)
            done(status, actual);
    });
}

EmulatedBus::Port* EmulatedBus::PortLocked(int port)
{
    auto it = ports_.find(port);
    return it == ports_.end() ? nullptr : it->second.get();
}

bool EmulatedBus::ReachedLocked(Port& port, UnplugPoint point)
{
    if (port.UnplugWhen != point || --port.UnplugCountdown > 0)
        return false;
    port.UnplugWhen = UnplugPoint::None;
    return true;
}

void EmulatedBus::UnplugLocked(Port& port)
{
    if (!port.Plugged)
        return;
    port.Plugged = false;
    for (auto& [address, endpoint] : port.Endpoints) {
        FinishAllLocked(port, endpoint, TransferStatus::NoDevice);
        endpoint.InPackets.clear();
    }
}

void EmulatedBus::TellLeft(Port& port)
{
    if (listener_)
        listener_->DeviceLeft(port.Backend);
}

void EmulatedBus::QueueInLocked(Port& port, Endpoint& endpoint, const std::vector<uint8_t>& data, bool zlpAfterFull)
{
    if (!port.Plugged)
        return;
    // A reply the device makes while a frame is carried goes out from the next frame on.
    uint64_t frame = inFrame_ ? carriedFrame_ + 1 : FrameNowLocked();
    size_t size = endpoint.MaximumPacketSize;
    for (size_t at = 0; at < data.size(); at += size)
        endpoint.InPackets.push_back({{data.begin() + at, data.begin() + std::min(data.size(), at + size)}, frame});
    if (data.empty() || (zlpAfterFull && data.size() % size == 0))
        endpoint.InPackets.push_back({{}, frame});
    ServiceInLocked(port, endpoint);
}

void EmulatedBus::FinishAllLocked(Port& port, Endpoint& endpoint, TransferStatus status)
{
    for (auto* queue : {&endpoint.Pending, &endpoint.Sending}) {
        for (auto& transfer : *queue)
            FinishLocked(port, transfer, status);
        queue->clear();
    }
}

EmulatedBus::Step EmulatedBus::StepInLocked(Port& port, Endpoint& endpoint, uint64_t frame)
{
    if (endpoint.Pending.empty() || endpoint.NoReply)
        return Step::Blocked;
    TransferPtr transfer = endpoint.Pending.front();
    if (endpoint.Halted) {
        endpoint.Pending.pop_front();
        FinishLocked(port, transfer, TransferStatus::Stall);
        return Step::Finished;
    }
    if (endpoint.InPackets.empty() || endpoint.InPackets.front().Frame > frame || transfer->Frame > frame)
        return Step::Blocked;
    std::vector<uint8_t> packet = std::move(endpoint.InPackets.front().Data);
    endpoint.InPackets.pop_front();
    uint32_t room = transfer->Length - transfer->Actual;
    if (packet.size() > room) {
        // Babble: more than the buffer holds.
        std::memcpy(transfer->Buffer + transfer->Actual, packet.data(), room);
        transfer->Actual += room;
        endpoint.Pending.pop_front();
        FinishLocked(port, transfer, TransferStatus::Overflow);
        return Step::Packet;
    }
    if (!packet.empty())
        std::memcpy(transfer->Buffer + transfer->Actual, packet.data(), packet.size());
    transfer->Actual += uint32_t(packet.size());
    bool shortPacket = packet.size() < endpoint.MaximumPacketSize;
    if (shortPacket || transfer->Actual == transfer->Length) {
        endpoint.Pending.pop_front();
        bool tooShort = shortPacket && !transfer->ShortOk && transfer->Actual < transfer->Length;
        FinishLocked(port, transfer, tooShort ? TransferStatus::Error : TransferStatus::Completed);
    }
    return Step::Packet;
}

EmulatedBus::Step EmulatedBus::StepOutLocked(Port& port, Endpoint& endpoint, uint64_t frame)
{
    if (endpoint.Sending.empty() || endpoint.Sending.front()->Frame > frame)
        return Step::Blocked;
    TransferPtr transfer = endpoint.Sending.front();
    // A zero-length transfer is one zero-length packet.
    transfer->Actual += std::min<uint32_t>(endpoint.MaximumPacketSize, transfer->Length - transfer->Actual);
    if (transfer->Actual == transfer->Length) {
        endpoint.Sending.pop_front();
        if (DeliverOutLocked(port, endpoint, transfer))
            leaving_.push_back(&port);
    }
    return Step::Packet;
}

void EmulatedBus::ServiceInLocked(Port& port, Endpoint& endpoint)
{
    if (frameClock_) {
        changed_.notify_all();  // the frames carry it
        return;
    }
    while (StepInLocked(port, endpoint, kAnyFrame) != Step::Blocked) {
    }
}

bool EmulatedBus::DeliverOutLocked(Port& port, Endpoint& endpoint, const TransferPtr& transfer)
{
    Side side(*this, port);
    OutResult result = port.Device->OnOutTransfer(
        endpoint.Address, std::span<const uint8_t>(transfer->Buffer, transfer->Length), side);
    switch (result) {
    case OutResult::Accept:
        transfer->Actual = transfer->Length;
        FinishLocked(port, transfer, TransferStatus::Completed);
        break;
    case OutResult::Stall:
        endpoint.Halted = true;
        FinishLocked(port, transfer, TransferStatus::Stall);
        break;
    case OutResult::Nak:
        endpoint.Pending.push_back(transfer);
        break;
    }
    if (!side.UnplugAsked())
        return false;
    UnplugLocked(port);
    return true;
}

void EmulatedBus::TellLeaving(std::unique_lock<std::mutex>& guard)
{
    std::vector<Port*> leaving = std::exchange(leaving_, {});
    if (leaving.empty())
        return;
    guard.unlock();
    for (Port* port : leaving)
        TellLeft(*port);
    guard.lock();
}

uint64_t EmulatedBus::FrameNowLocked() const
{
    if (!frameClock_)
        return kAnyFrame;
    return uint64_t((Clock::now() - frameEpoch_) / kFrameLength);
}

bool EmulatedBus::FrameWorkLocked()
{
    for (auto& [number, port] : ports_)
        for (auto& [address, endpoint] : port->Endpoints)
            if (!endpoint.Sending.empty() ||
                (endpoint.In() && !endpoint.Pending.empty() && (endpoint.Halted || !endpoint.InPackets.empty())))
                return true;
    return false;
}

void EmulatedBus::CarryFrameLocked(uint64_t frame)
{
    inFrame_ = true;
    carriedFrame_ = frame;
    int budget = kPacketsPerFrame;
    bool progressed = true;
    // One packet per endpoint per round, so that every endpoint gets its share.
    while (budget > 0 && progressed) {
        progressed = false;
        for (auto& [number, port] : ports_) {
            if (!port->Plugged)
                continue;
            for (auto& [address, endpoint] : port->Endpoints) {
                if (budget == 0)
                    break;
                Step step = endpoint.In() ? StepInLocked(*port, endpoint, frame) : StepOutLocked(*port, endpoint, frame);
                if (step == Step::Packet)
                    --budget;
                progressed = progressed || step != Step::Blocked;
            }
        }
    }
    inFrame_ = false;
}

void EmulatedBus::ServiceAllInLocked(Port& port)
{
    for (auto& [address, endpoint] : port.Endpoints)
        if (endpoint.In())
            ServiceInLocked(port, endpoint);
}

void EmulatedBus::ControlLocked(Port& port, const TransferPtr& transfer, bool& unplugged)
{
    const auto& s = transfer->Setup;
    ControlRecord record{s[0], s[1], uint16_t(s[2] | s[3] << 8), uint16_t(s[4] | s[5] << 8),
                         uint16_t(s[6] | s[7] << 8)};
    port.Control.push_back(record);
    if (record.RequestType == 0x80 && record.Request == 0x06) {
        if (ReachedLocked(port, UnplugPoint::DescriptorRequest)) {
            UnplugLocked(port);
            unplugged = true;
            FinishLocked(port, transfer, TransferStatus::NoDevice);
            return;
        }
        uint8_t type = uint8_t(record.Value >> 8);
        std::vector<uint8_t> data;
        if (type == DescriptorTypeDevice)
            data = port.Device->DeviceDescriptor();
        else if (type == DescriptorTypeConfiguration)
            data = port.Device->ConfigurationDescriptor();
        if (data.empty()) {
            FinishLocked(port, transfer, TransferStatus::Stall);
            return;
        }
        size_t n = std::min<size_t>({record.Length, data.size(), transfer->Length});
        if (n)
            std::memcpy(transfer->Buffer, data.data(), n);
        transfer->Actual = uint32_t(n);
        FinishLocked(port, transfer, TransferStatus::Completed);
        return;
    }
    if (record.RequestType == 0x00 && record.Request == 0x09) {
        if (ReachedLocked(port, UnplugPoint::SetConfiguration)) {
            UnplugLocked(port);
            unplugged = true;
            FinishLocked(port, transfer, TransferStatus::NoDevice);
            return;
        }
        port.Device->OnConfigured(uint8_t(record.Value));
        for (auto& [address, endpoint] : port.Endpoints)
            endpoint.Halted = false;
        FinishLocked(port, transfer, TransferStatus::Completed);
        return;
    }
    FinishLocked(port, transfer, TransferStatus::Stall);
}

void EmulatedBus::SubmitLocked(Port& port, const TransferPtr& transfer, bool& unplugged)
{
    if (!port.Plugged) {
        FinishLocked(port, transfer, TransferStatus::NoDevice);
        return;
    }
    if (transfer->CancelRequested) {
        FinishLocked(port, transfer, TransferStatus::Cancelled);
        return;
    }
    if (transfer->Kind == Transfer::Type::Control) {
        ControlLocked(port, transfer, unplugged);
        return;
    }
    auto it = port.Endpoints.find(transfer->Endpoint);
    if (it == port.Endpoints.end()) {
        FinishLocked(port, transfer, TransferStatus::Error);
        return;
    }
    Endpoint& endpoint = it->second;
    if (ReachedLocked(port, endpoint.In() ? UnplugPoint::InTransfer : UnplugPoint::OutTransfer)) {
        UnplugLocked(port);
        unplugged = true;
        FinishLocked(port, transfer, TransferStatus::NoDevice);
        return;
    }
    if (endpoint.Halted) {
        FinishLocked(port, transfer, TransferStatus::Stall);
        return;
    }
    transfer->State = Transfer::Stage::Queued;
    transfer->Frame = FrameNowLocked();
    if (endpoint.In()) {
        endpoint.Pending.push_back(transfer);
        if (endpoint.InPackets.empty()) {
            Side side(*this, port);
            port.Device->OnInTransfer(endpoint.Address, side);
            if (side.UnplugAsked()) {
                UnplugLocked(port);
                unplugged = true;
                return;
            }
        }
        ServiceInLocked(port, endpoint);
        return;
    }
    if (endpoint.NoReply) {
        endpoint.Pending.push_back(transfer);
        return;
    }
    // OUT: the packets the host sends; a zero-length transfer is one zero-length packet.
    size_t size = endpoint.MaximumPacketSize;
    if (transfer->Length == 0)
        endpoint.OutPacketSizes.push_back(0);
    for (size_t at = 0; at < transfer->Length; at += size)
        endpoint.OutPacketSizes.push_back(std::min<size_t>(size, transfer->Length - at));
    if (frameClock_) {
        endpoint.Sending.push_back(transfer);
        changed_.notify_all();
        return;
    }
    if (DeliverOutLocked(port, endpoint, transfer)) {
        unplugged = true;
        return;
    }
    ServiceAllInLocked(port);
}

// ---- the port backends' calls

void EmulatedBus::Submit(int number, const TransferPtr& transfer)
{
    bool unplugged = false;
    Port* port;
    {
        std::lock_guard<std::mutex> guard(lock_);
        port = PortLocked(number);
        if (!port)
            return;
        SubmitLocked(*port, transfer, unplugged);
    }
    if (unplugged)
        TellLeft(*port);
}

void EmulatedBus::Cancel(int number, const TransferPtr& transfer)
{
    std::lock_guard<std::mutex> guard(lock_);
    Port* port = PortLocked(number);
    if (!port)
        return;
    switch (transfer->State) {
    case Transfer::Stage::Created:
        transfer->CancelRequested = true;
        return;
    case Transfer::Stage::Finished:
        return;
    case Transfer::Stage::Queued:
        for (auto& [address, endpoint] : port->Endpoints) {
            for (auto* queue : {&endpoint.Pending, &endpoint.Sending}) {
                auto it = std::find(queue->begin(), queue->end(), transfer);
                if (it != queue->end()) {
                    queue->erase(it);
                    FinishLocked(*port, transfer, TransferStatus::Cancelled);
                    return;
                }
            }
        }
        return;
    }
}

TransferStatus EmulatedBus::ClearHalt(int number, uint8_t address)
{
    std::lock_guard<std::mutex> guard(lock_);
    Port* port = PortLocked(number);
    if (!port || !port->Plugged)
        return TransferStatus::NoDevice;
    auto it = port->Endpoints.find(address);
    if (it == port->Endpoints.end() || port->FailClearHalt)
        return TransferStatus::Error;
    it->second.Halted = false;
    // The device empties the endpoint's buffer with the halt: a late reply goes with it.
    if (it->second.In())
        it->second.InPackets.clear();
    ++it->second.ClearHalts;
    return TransferStatus::Completed;
}

TransferStatus EmulatedBus::ResetDevice(int number)
{
    std::lock_guard<std::mutex> guard(lock_);
    Port* port = PortLocked(number);
    if (!port || !port->Plugged)
        return TransferStatus::NoDevice;
    if (port->FailPortReset)
        return TransferStatus::Error;
    port->Enabled = true;
    ++port->Resets;
    for (auto& [address, endpoint] : port->Endpoints) {
        endpoint.Halted = false;
        endpoint.InPackets.clear();
        FinishAllLocked(*port, endpoint, TransferStatus::Cancelled);
    }
    port->Device->OnReset();
    return TransferStatus::Completed;
}

uint32_t EmulatedBus::PortStatus(int number)
{
    std::lock_guard<std::mutex> guard(lock_);
    Port* port = PortLocked(number);
    if (!port || !port->Plugged)
        return 0;
    return uint32_t(PortConnected) | (port->Enabled ? uint32_t(PortEnabled) : 0u);
}

void EmulatedBus::Power(int number, bool resume, std::function<void(TransferStatus)> done)
{
    bool unplugged = false;
    Port* port;
    {
        std::lock_guard<std::mutex> guard(lock_);
        port = PortLocked(number);
        if (!port)
            return;
        TransferStatus status = TransferStatus::Completed;
        if (!port->Plugged) {
            status = TransferStatus::NoDevice;
        } else if (resume && ReachedLocked(*port, UnplugPoint::PowerUp)) {
            UnplugLocked(*port);
            unplugged = true;
            status = TransferStatus::NoDevice;
        } else if (port->FailPower) {
            status = TransferStatus::Error;
        }
        ScheduleLocked(*port, [this, port, resume, status, done = std::move(done)] {
            if (status == TransferStatus::Completed) {
                std::lock_guard<std::mutex> inner(lock_);
                port->Suspended = !resume;
            }
            done(status);
        });
    }
    if (unplugged)
        TellLeft(*port);
}

void EmulatedBus::SetRemoteWakeHandler(int number, std::function<void()> handler)
{
    std::lock_guard<std::mutex> guard(lock_);
    if (Port* port = PortLocked(number))
        port->RemoteWake = std::move(handler);
}

// ---- public

void EmulatedBus::Start(HotplugListener* listener, ActivityCounter* activity)
{
    std::vector<Port*> present;
    {
        std::lock_guard<std::mutex> guard(lock_);
        listener_ = listener;
        activity_ = activity;
        for (auto& [number, port] : ports_)
            if (port->Plugged)
                present.push_back(port.get());
    }
    for (Port* port : present)
        listener->DeviceArrived(port->Backend);
}

void EmulatedBus::Stop()
{
    std::vector<Port*> left;
    {
        std::lock_guard<std::mutex> guard(lock_);
        for (auto& [number, port] : ports_) {
            port->Hold = false;
            for (auto& run : port->Held)
                ScheduleLocked(*port, std::move(run));
            port->Held.clear();
            for (auto& [address, endpoint] : port->Endpoints)
                endpoint.NoReply = false;
            if (port->Plugged) {
                UnplugLocked(*port);
                left.push_back(port.get());
            }
        }
    }
    for (Port* port : left)
        TellLeft(*port);
}

int EmulatedBus::Plug(std::shared_ptr<EmulatedDevice> device)
{
    auto port = std::make_unique<Port>();
    std::vector<uint8_t> configuration = device->ConfigurationDescriptor();
    if (configuration.size() >= sizeof(UsbConfigurationDescriptor)) {
        auto* header = reinterpret_cast<const UsbConfigurationDescriptor*>(configuration.data());
        if (const UsbInterfaceDescriptor* interface = FindFirstInterfaceDescriptor(header, configuration.size())) {
            const UsbEndpointDescriptor* found[32];
            size_t n = std::min<size_t>(32, FindEndpointDescriptors(header, configuration.size(), interface, found, 32));
            for (size_t i = 0; i < n; ++i) {
                Endpoint endpoint;
                endpoint.Address = found[i]->bEndpointAddress;
                endpoint.MaximumPacketSize = found[i]->wMaxPacketSize ? found[i]->wMaxPacketSize : 64;
                port->Endpoints[endpoint.Address] = std::move(endpoint);
            }
        }
    }
    port->Device = device;
    Port* raw = port.get();
    HotplugListener* listener;
    {
        std::lock_guard<std::mutex> guard(lock_);
        port->Number = nextPort_++;
        std::string instance = device->InstanceId();
        if (instance.empty())
            instance = "emulated-" + std::to_string(port->Number);
        port->Backend = std::make_shared<PortBackend>(*this, port->Number, instance, device->DeviceDescriptor(),
                                                      device->Power());
        ports_[port->Number] = std::move(port);
        listener = listener_;
    }
    if (listener)
        listener->DeviceArrived(raw->Backend);
    return raw->Number;
}

void EmulatedBus::Unplug(int number)
{
    Port* port;
    {
        std::lock_guard<std::mutex> guard(lock_);
        port = PortLocked(number);
        if (!port || !port->Plugged)
            return;
        UnplugLocked(*port);
    }
    TellLeft(*port);
}

std::shared_ptr<DeviceBackend> EmulatedBus::BackendOf(int number)
{
    std::lock_guard<std::mutex> guard(lock_);
    Port* port = PortLocked(number);
    return port ? port->Backend : nullptr;
}

void EmulatedBus::SendIn(int number, uint8_t address, const std::vector<uint8_t>& data, bool zlpAfterFull)
{
    std::lock_guard<std::mutex> guard(lock_);
    Port* port = PortLocked(number);
    if (!port)
        return;
    auto it = port->Endpoints.find(address);
    if (it != port->Endpoints.end() && it->second.In())
        QueueInLocked(*port, it->second, data, zlpAfterFull);
}

void EmulatedBus::Stall(int number, uint8_t address)
{
    std::lock_guard<std::mutex> guard(lock_);
    if (Port* port = PortLocked(number)) {
        Side side(*this, *port);
        side.Stall(address);
    }
}

void EmulatedBus::SetNoReply(int number, uint8_t address, bool on)
{
    std::lock_guard<std::mutex> guard(lock_);
    Port* port = PortLocked(number);
    if (!port)
        return;
    auto it = port->Endpoints.find(address);
    if (it == port->Endpoints.end())
        return;
    it->second.NoReply = on;
    if (!on && it->second.In())
        ServiceInLocked(*port, it->second);
}

void EmulatedBus::SetFrameClock(bool on)
{
    std::unique_lock<std::mutex> guard(lock_);
    if (on == frameClock_)
        return;
    frameClock_ = on;
    if (on) {
        frameEpoch_ = Clock::now();
        nextFrame_ = 0;
        return;
    }
    // What the frames still had to carry goes at once.
    for (auto& [number, port] : ports_) {
        for (auto& [address, endpoint] : port->Endpoints) {
            while (!endpoint.Sending.empty()) {
                TransferPtr transfer = endpoint.Sending.front();
                endpoint.Sending.pop_front();
                if (DeliverOutLocked(*port, endpoint, transfer))
                    leaving_.push_back(port.get());
            }
        }
        ServiceAllInLocked(*port);
    }
    TellLeaving(guard);
}

void EmulatedBus::SetCompletionDelay(int number, std::chrono::milliseconds delay)
{
    std::lock_guard<std::mutex> guard(lock_);
    if (Port* port = PortLocked(number))
        port->Delay = delay;
}

void EmulatedBus::HoldCompletions(int number, bool hold)
{
    std::lock_guard<std::mutex> guard(lock_);
    Port* port = PortLocked(number);
    if (!port)
        return;
    port->Hold = hold;
    if (hold)
        return;
    for (auto& run : port->Held)
        ScheduleLocked(*port, std::move(run));
    port->Held.clear();
}

void EmulatedBus::UnplugAt(int number, UnplugPoint point, int occurrence)
{
    std::lock_guard<std::mutex> guard(lock_);
    if (Port* port = PortLocked(number)) {
        port->UnplugWhen = point;
        port->UnplugCountdown = occurrence;
    }
}

void EmulatedBus::FailPowerTransitions(int number, bool on)
{
    std::lock_guard<std::mutex> guard(lock_);
    if (Port* port = PortLocked(number))
        port->FailPower = on;
}

void EmulatedBus::FailClearHalt(int number, bool on)
{
    std::lock_guard<std::mutex> guard(lock_);
    if (Port* port = PortLocked(number))
        port->FailClearHalt = on;
}

void EmulatedBus::FailPortReset(int number, bool on)
{
    std::lock_guard<std::mutex> guard(lock_);
    if (Port* port = PortLocked(number))
        port->FailPortReset = on;
}

void EmulatedBus::DisablePort(int number)
{
    std::lock_guard<std::mutex> guard(lock_);
    if (Port* port = PortLocked(number))
        port->Enabled = false;
}

void EmulatedBus::RemoteWake(int number)
{
    std::function<void()> handler;
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (Port* port = PortLocked(number))
            handler = port->RemoteWake;
    }
    if (handler)
        handler();
}

std::vector<ControlRecord> EmulatedBus::ControlRequests(int number)
{
    std::lock_guard<std::mutex> guard(lock_);
    Port* port = PortLocked(number);
    return port ? port->Control : std::vector<ControlRecord>{};
}

int EmulatedBus::ClearHaltCount(int number, uint8_t address)
{
    std::lock_guard<std::mutex> guard(lock_);
    Port* port = PortLocked(number);
    if (!port || !port->Endpoints.count(address))
        return 0;
    return port->Endpoints[address].ClearHalts;
}

int EmulatedBus::PortResetCount(int number)
{
    std::lock_guard<std::mutex> guard(lock_);
    Port* port = PortLocked(number);
    return port ? port->Resets : 0;
}

std::vector<size_t> EmulatedBus::OutPacketSizes(int number, uint8_t address)
{
    std::lock_guard<std::mutex> guard(lock_);
    Port* port = PortLocked(number);
    if (!port || !port->Endpoints.count(address))
        return {};
    return port->Endpoints[address].OutPacketSizes;
}

size_t EmulatedBus::PendingTransfers(int number)
{
    std::lock_guard<std::mutex> guard(lock_);
    Port* port = PortLocked(number);
    size_t n = 0;
    if (port)
        for (auto& [address, endpoint] : port->Endpoints)
            n += endpoint.Pending.size();
    return n;
}

bool EmulatedBus::Suspended(int number)
{
    std::lock_guard<std::mutex> guard(lock_);
    Port* port = PortLocked(number);
    return port && port->Suspended;
}

}  // namespace kovrin::platform::usb
