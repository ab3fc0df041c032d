#include "emulators/usb/knurl_emulator.h"

#include "driver/qelusb_public.h"
#include "usblib/commands/acceptor_frame.h"
#include "usblib/commands/crc16_xmodem.h"

namespace kovrin::emulator::usb {
namespace {

namespace commands = usblib::commands;

constexpr uint8_t kNotReady = 0x55;
constexpr uint8_t kRefused = 0xFF;

Bytes FrameOf(uint8_t code, const Bytes& data)
{
    Bytes payload{code};
    payload.insert(payload.end(), data.begin(), data.end());
    Bytes frame;
    commands::BuildAcceptorFrame(payload, frame);
    return frame;
}

bool WellFormed(std::span<const uint8_t> r)
{
    if (r.size() < commands::kFrameOverhead + 1 || r[0] != commands::kFrameStart)
        return false;
    if (size_t(r[1] << 8 | r[2]) != r.size())
        return false;
    uint16_t crc = commands::Crc16Xmodem(r.first(r.size() - 2));
    return r[r.size() - 2] == uint8_t(crc >> 8) && r[r.size() - 1] == uint8_t(crc);
}

bool IsDru(std::span<const uint8_t> r)
{
    return r.size() >= 9 && r[3] == commands::kDruMarker[0] && r[4] == commands::kDruMarker[1];
}

}  // namespace

ScriptedReply ScriptedReply::Ack(Bytes data) { return WithCode(0x00, std::move(data)); }

ScriptedReply ScriptedReply::WithCode(uint8_t code, Bytes data)
{
    ScriptedReply reply;
    reply.Code = code;
    reply.Data = std::move(data);
    return reply;
}

ScriptedReply ScriptedReply::Dru(Bytes data, uint8_t code)
{
    ScriptedReply reply = WithCode(code, std::move(data));
    reply.Kind = Form::Dru;
    return reply;
}

ScriptedReply ScriptedReply::Raw(Bytes frame)
{
    ScriptedReply reply;
    reply.Kind = Form::Raw;
    reply.Frame = std::move(frame);
    return reply;
}

ScriptedReply ScriptedReply::AfterNotReady() const
{
    ScriptedReply reply = *this;
    reply.NotReadyFirst = true;
    return reply;
}

KnurlEmulator::KnurlEmulator() : UsbEmulatorDevice(qelusb::ProductUsbAcceptor) {}

void KnurlEmulator::Script(ScriptedReply reply)
{
    std::lock_guard<std::mutex> guard(lock_);
    script_.push_back(std::move(reply));
}

int KnurlEmulator::BadFrames() const
{
    std::lock_guard<std::mutex> guard(lock_);
    return badFrames_;
}

int KnurlEmulator::CommandOf(std::span<const uint8_t> request) const
{
    if (!WellFormed(request))
        return kAnyCommand;
    return IsDru(request) ? DruKey(request[5], request[6]) : request[3];
}

std::vector<Bytes> KnurlEmulator::Answer(std::span<const uint8_t> request)
{
    if (!WellFormed(request)) {
        ++badFrames_;
        return {FrameOf(kRefused, {})};
    }
    ScriptedReply reply;
    if (!script_.empty()) {
        reply = std::move(script_.front());
        script_.pop_front();
    }
    std::vector<Bytes> out;
    if (reply.NotReadyFirst)
        out.push_back(FrameOf(kNotReady, {}));
    switch (reply.Kind) {
    case ScriptedReply::Form::Frame:
        out.push_back(FrameOf(reply.Code, reply.Data));
        break;
    case ScriptedReply::Form::Dru: {
        Bytes data{commands::kDruEcho, 0x00, 0x00};
        if (IsDru(request)) {
            data[1] = request[5];
            data[2] = request[6];
        }
        data.insert(data.end(), reply.Data.begin(), reply.Data.end());
        out.push_back(FrameOf(reply.Code, data));
        break;
    }
    case ScriptedReply::Form::Raw:
        out.push_back(reply.Frame);
        break;
    }
    return out;
}

Bytes KnurlEmulator::Refusal(std::span<const uint8_t>, uint8_t status) const { return FrameOf(status, {}); }

}  // namespace kovrin::emulator::usb
