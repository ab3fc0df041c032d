#include "emulators/usb/usb_emulator_device.h"

#include <utility>

#include "driver/qelusb_public.h"

namespace kovrin::emulator::usb {

using platform::usb::OutResult;

UsbEmulatorDevice::UsbEmulatorDevice(uint16_t productId)
{
    config_.VendorId = qelusb::UsbVendorId;
    config_.ProductId = productId;
    config_.Endpoints = {{kOutEndpoint, 64}, {kInEndpoint, 64}};
}

void UsbEmulatorDevice::AddFault(int command, const UsbFault& fault)
{
    std::lock_guard<std::mutex> guard(lock_);
    faults_.add(command, fault);
}

void UsbEmulatorDevice::ClearFaults()
{
    std::lock_guard<std::mutex> guard(lock_);
    faults_.clear();
}

std::vector<Bytes> UsbEmulatorDevice::Requests() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return requests_;
}

void UsbEmulatorDevice::ForgetRequests()
{
    std::lock_guard<std::mutex> guard(lock_);
    requests_.clear();
    requests_.shrink_to_fit();
}

std::vector<Bytes> UsbEmulatorDevice::TakeHeldReplies()
{
    std::lock_guard<std::mutex> guard(lock_);
    return std::exchange(held_, {});
}

std::vector<uint8_t> UsbEmulatorDevice::DeviceDescriptor() { return platform::usb::DeviceDescriptorOf(config_); }

std::vector<uint8_t> UsbEmulatorDevice::ConfigurationDescriptor()
{
    return platform::usb::ConfigurationDescriptorOf(config_);
}

platform::usb::PowerCapabilities UsbEmulatorDevice::Power() { return config_.Power; }

OutResult UsbEmulatorDevice::OnOutTransfer(uint8_t, std::span<const uint8_t> data, platform::usb::DeviceSide& side)
{
    std::lock_guard<std::mutex> guard(lock_);
    followUps_.clear();
    std::optional<UsbFault> fault = faults_.take(CommandOf(data));
    if (fault && fault->kind == UsbFaultKind::StallRequest)
        return OutResult::Stall;
    requests_.emplace_back(data.begin(), data.end());
    if (fault && fault->kind == UsbFaultKind::Status) {
        side.SendIn(kInEndpoint, Refusal(data, fault->status));
        return OutResult::Accept;
    }
    std::vector<Bytes> replies = Answer(data);
    auto send = [&] {
        if (replies.empty())
            return;
        side.SendIn(kInEndpoint, replies.front());
        followUps_.assign(replies.begin() + 1, replies.end());
    };
    if (!fault) {
        send();
        return OutResult::Accept;
    }
    switch (fault->kind) {
    case UsbFaultKind::NoReply:
        break;
    case UsbFaultKind::ShortReply:
    case UsbFaultKind::LongReply:
        if (!replies.empty()) {
            Bytes& last = replies.back();
            if (fault->kind == UsbFaultKind::LongReply)
                last.insert(last.end(), fault->bytes, 0x00);
            else
                last.resize(last.size() > fault->bytes ? last.size() - fault->bytes : 0);
        }
        send();
        break;
    case UsbFaultKind::LateReply:
        held_.insert(held_.end(), replies.begin(), replies.end());
        break;
    case UsbFaultKind::Unplug:
        side.Unplug();
        break;
    case UsbFaultKind::StallReply:
        side.Stall(kInEndpoint);
        break;
    case UsbFaultKind::Status:
    case UsbFaultKind::StallRequest:
        break;  // handled above
    }
    return OutResult::Accept;
}

void UsbEmulatorDevice::OnInTransfer(uint8_t endpoint, platform::usb::DeviceSide& side)
{
    std::lock_guard<std::mutex> guard(lock_);
    if (endpoint != kInEndpoint || followUps_.empty())
        return;
    side.SendIn(kInEndpoint, followUps_.front());
    followUps_.pop_front();
}

}  // namespace kovrin::emulator::usb
