#pragma once
// The emulated USB acceptor ("Knurl"): checks each request frame (start
// byte, length field, CRC) and answers from a script that the test writes.
// A request that finds the script empty is acknowledged (code 0x00); a
// malformed request is refused (code 0xFF).

#include <deque>

#include "emulators/usb/usb_emulator_device.h"

namespace kovrin::emulator::usb {

struct ScriptedReply {
    enum class Form { Frame, Dru, Raw };
    Form Kind = Form::Frame;
    uint8_t Code = 0x00;
    Bytes Data;              // Frame, Dru: after the code (a Dru reply's after its echo)
    Bytes Frame;             // Raw: the bytes as they go out
    bool NotReadyFirst = false;

    static ScriptedReply Ack(Bytes data = {});
    // A reply with this code (0x99, 0xE0 to 0xE4, 0xFF, or any data reply's code).
    static ScriptedReply WithCode(uint8_t code, Bytes data = {});
    // 0xAA and the request's class and sub-command, then `data`.
    static ScriptedReply Dru(Bytes data, uint8_t code = 0x00);
    static ScriptedReply Raw(Bytes frame);
    // The same reply, after a reply 0x55 "not ready".
    ScriptedReply AfterNotReady() const;
};

// The key that faults name for a Dru command; GSA commands are named by their command byte.
constexpr int DruKey(uint8_t cls, uint8_t sub) { return 0x10000 | cls << 8 | sub; }

class KnurlEmulator : public UsbEmulatorDevice {
public:
    KnurlEmulator();

    // The reply to the next request that finds no earlier reply waiting.
    void Script(ScriptedReply reply);
    // Requests refused because their start byte, length field or CRC was wrong.
    int BadFrames() const;

protected:
    int CommandOf(std::span<const uint8_t> request) const override;
    std::vector<Bytes> Answer(std::span<const uint8_t> request) override;
    Bytes Refusal(std::span<const uint8_t> request, uint8_t status) const override;

private:
    std::deque<ScriptedReply> script_;
    int badFrames_ = 0;
};

}  // namespace kovrin::emulator::usb
