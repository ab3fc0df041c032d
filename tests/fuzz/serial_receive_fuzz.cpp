// The receive path with the reply dispatcher: bytes of successive receive
// events go to the acceptor session, which assembles them and handles each
// frame with a good check byte; an assembler of its own beside it says what
// each event should have completed. Between them the window's timers and
// buttons do what they do.
//
// Input: a flags byte (bit 0: the header repair is armed, bit 1: the port is
// at the boot loader's speed, bit 2: the factory copy was read), then events:
// a receive event is a length byte (below 0xFC) and that many bytes; 0xFF the
// port reopening, 0xFE the guard running out, 0xFD a poll tick, 0xFC a command
// from the window (a byte says which, then its arguments).

#include <algorithm>
#include <string>
#include <utility>

#include "app/link/acceptor_session.h"
#include "app/link/rx_assembler.h"
#include "tests/fuzz/checked_display.h"
#include "tests/fuzz/fuzz_support.h"

using namespace kovrin;
using kovrin::fuzz::Input;

namespace {

enum : uint8_t { kCommand = 0xFC, kPollTick = 0xFD, kGuardExpiry = 0xFE, kReopen = 0xFF };

// The window as the session sees it: whether the link is watched, and every byte written.
class WatchingHost : public fuzz::CheckedDisplay<AcceptorSessionHost>, public SerialPort {
public:
    // A timer of the link: whether it runs.
    class Timer : public LinkTimer {
    public:
        explicit Timer(bool& running) : running_(running) {}
        void Start() override { running_ = true; }
        void Start(int ms) override
        {
            FUZZ_CHECK(ms > 0);
            running_ = true;
        }
        void Stop() override { running_ = false; }

    private:
        bool& running_;
    };

    bool Open(int, const char* settings) override
    {
        FUZZ_CHECK(settings == std::string(NormalSpeedSettings) || settings == std::string(BootLoaderSpeedSettings));
        return true;
    }
    void Close() override {}
    bool PortOpen() const override { return true; }
    Bytes Input() override { return std::exchange(arrived, {}); }
    bool Output(const Bytes& bytes) override
    {
        // A frame whole and right, or the lone wake byte.
        if (bytes.size() == 1) {
            FUZZ_CHECK(bytes[0] == WakeByte);
        } else {
            FUZZ_CHECK(bytes.size() >= FrameHeaderLength && bytes[0] == FrameStartByte);
            FUZZ_CHECK(bytes[2] == bytes.size() && bytes[2] + bytes[3] == 256);
            FUZZ_CHECK(bytes[1] == 0 || bytes[1] == 4);
            FUZZ_CHECK(XorOfBytes1To(bytes.data(), bytes.size()) == 0);
        }
        written.push_back(bytes);
        return true;
    }
    void Wait(int ms) override { FUZZ_CHECK(ms > 0 && ms <= 1000); }
    LocalTime LocalNow() const override { return {2024, 2, 29, 23, 59}; }
    bool DateStampUsesDayCount() const override { return false; }

    void ShowIdentification(const IdentifiedAcceptor& acceptor) override
    {
        FUZZ_CHECK(!acceptor.name.empty());
        FUZZ_CHECK(!acceptor.programMode || !acceptor.restricted);
    }
    void ShowFactoryRevisions(const std::string& setupHex, const std::string& calibrationHex) override
    {
        FUZZ_CHECK(setupHex.size() == 2 && calibrationHex.size() == 2);
    }
    void ShowCalibration(bool) override {}
    void ShowConfiguration() override {}
    void ShowConfigurationRead() override {}
    void ReportShortConfiguration(int received, int needed) override
    {
        FUZZ_CHECK(received > 0 && received < needed);
        shortConfiguration = true;
    }
    void ConfigurationWriteRefused() override { writeRefused = true; }
    void WaitForReboot(int ms) override
    {
        FUZZ_CHECK(ms > 0);
        rebootWait = true;
    }
    void ShowAuditReply(const Bytes& frame) override { FUZZ_CHECK(frame.size() >= FrameHeaderLength); }
    void ShowDeviceProgrammed() override {}
    // The window goes back to the normal speed and polls.
    void UpdateVerified() override
    {
        polling = true;
        verified = true;
    }
    void ReportFlashResult(int32_t result, int32_t) override
    {
        FUZZ_CHECK(result >= FlashEraseFailed && result <= FlashPowerCycleNeeded);
    }
    void UpdateAbandoned() override {}
    void ShowLinkLost() override {}
    void Reconnect() override {}
    void OpenPortFlashSpeed() override {}
    void PollTickChecked() override {}

    Bytes arrived;  // what the next receive event reads
    bool polling = true;
    bool guard = false;
    Timer pollTimer{polling};
    Timer guardTimer{guard};
    bool rebootWait = false;
    bool shortConfiguration = false;
    bool writeRefused = false;
    bool verified = false;
    std::vector<Bytes> written;
};

bool Contains(const Bytes& stream, Bytes::const_iterator first, Bytes::const_iterator last)
{
    return first == last || std::search(stream.begin(), stream.end(), first, last) != stream.end();
}

// A small image to update with: two pages, a bank change, a third page, the end.
const std::vector<FlashBlock> kTable = {
    {0x4000, HexData, Bytes(128, 0x11)},
    {0x4080, HexData, Bytes(16, 0x22)},
    {0, HexSegmentAddress, {0x10, 0x00}},
    {0x8000, HexData, Bytes(64, 0x33)},
    {0, HexEndOfFile, {}},
};

// What the window's buttons and menus start.
void WindowCommand(AcceptorSession& session, RxAssembler& rx, Input& in)
{
    switch (in.Byte() % 9) {
    case 0:
        session.ReadConfiguration();
        break;
    case 1:
        session.Calibrate();
        break;
    case 2:
        session.RequestAudit();
        break;
    case 3: {
        EepromImage image;
        for (uint8_t& b : image)
            b = in.Byte();
        const EepromLayout layout = EepromLayout(in.Byte() % 3);
        session.WriteConfiguration(image, EepromLengthOfLayout(layout), layout);
        break;
    }
    case 4: {
        // The update button: the start command, then the port at the boot loader's speed.
        const uint16_t checksum = in.Word();
        const bool sameVariant = in.Byte() & 1;
        session.StartUpdate(&kTable, checksum, sameVariant);
        session.OpenPort(1, true);
        session.ExpectHeaderlessReply();
        rx.Clear();
        rx.InsertRxHeader = true;
        break;
    }
    case 5:
        // The speed probe or the way back from it.
        session.OpenPort(1, !session.State().FlashMode);
        rx.Clear();
        session.ForgetAcceptor();
        break;
    case 6:
        // The date stamp, as a poll tick sends it once an update is verified.
        session.SendStatusDateTime();
        break;
    case 7:
        session.ReadEepromBlock(in.Byte() % 5);
        break;
    default:
        session.PDTCommand(CmdPoll);
        break;
    }
}

// A configuration read that is too short changes nothing of the record.
void CheckConfigurationRead(const WatchingHost& host, const EepromRecord& before, const EepromRecord& after)
{
    if (host.shortConfiguration)
        FUZZ_CHECK(after == before);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input in(data, size);
    const uint8_t flags = in.Byte();
    ProgramState state;
    LoadEepromDefaults(state.CurrentRecord, 0);
    state.FactoryConfigValid = (flags & 4) != 0;

    WatchingHost host;
    AcceptorSession session(host, host.pollTimer, host.guardTimer, host, state);
    if (flags & 2)
        session.OpenPort(1, true);
    RxAssembler rx;  // what the session's own should hold
    uint8_t code = 0;  // the reply code it found
    rx.InsertRxHeader = flags & 1;
    if (rx.InsertRxHeader)
        session.ExpectHeaderlessReply();
    Bytes stream;           // what arrived since the last frame or reopening
    bool repaired = false;  // the frame being held got 0x27 0x08 put in front

    while (!in.Empty()) {
        const uint8_t event = in.Byte();
        const EepromRecord recordBefore = state.CurrentRecord;
        host.shortConfiguration = false;
        host.writeRefused = false;
        host.rebootWait = false;
        host.verified = false;
        const size_t writtenBefore = host.written.size();
        bool dispatched = false;

        if (event == kReopen) {
            session.ClosePort();
            session.OpenPort(1, session.State().FlashMode);
            rx.Clear();
            stream.clear();
            repaired = false;
            FUZZ_CHECK(!rx.RxHeaderFound && rx.RxFrame().empty());
        } else if (event == kGuardExpiry) {
            session.OnGuardTimer();
            dispatched = true;
        } else if (event == kPollTick) {
            session.OnPollTimer(true);
        } else if (event == kCommand) {
            WindowCommand(session, rx, in);
        } else {
            const Bytes bytes = in.Bytes(event);
            stream.insert(stream.end(), bytes.begin(), bytes.end());
            const bool repairArmed = rx.InsertRxHeader;
            const auto frame = rx.Feed(bytes, code);
            host.arrived = bytes;
            session.OnComm(SerialPort::comEvReceive);
            FUZZ_CHECK(host.arrived.empty());
            // The session holds what the assembler beside it holds.
            FUZZ_CHECK(session.Receiver().RxHeaderFound == rx.RxHeaderFound);
            FUZZ_CHECK(session.Receiver().RxFrame() == rx.RxFrame());
            FUZZ_CHECK(session.Receiver().InsertRxHeader == rx.InsertRxHeader);
            FUZZ_CHECK(!rx.InsertRxHeader || repairArmed);  // armed only from outside
            if (repairArmed && !rx.InsertRxHeader && (frame || rx.RxHeaderFound))
                repaired = true;

            if (!frame) {
                // Held bytes are a header's start, or a frame still short of its length.
                if (rx.RxHeaderFound) {
                    FUZZ_CHECK(IsReplyHeader(rx.RxFrame()));
                    FUZZ_CHECK(rx.RxFrame().size() < rx.RxFrame()[2]);
                    FUZZ_CHECK(code == rx.RxFrame()[4]);
                    FUZZ_CHECK(session.State().ReplyCode == code);
                } else {
                    FUZZ_CHECK(rx.RxFrame().size() < FrameHeaderLength);
                }
                continue;
            }
            const Bytes& f = frame->bytes;
            FUZZ_CHECK(IsReplyHeader(f));
            FUZZ_CHECK(f.size() == f[2]);
            FUZZ_CHECK(code == f[4]);
            FUZZ_CHECK(frame->checksumOk == (XorOfBytes1To(f.data(), f.size()) == 0));
            FUZZ_CHECK(!rx.RxHeaderFound && rx.RxFrame().empty());
            // Every byte of the frame arrived, apart from the two a repair puts in front.
            FUZZ_CHECK(Contains(stream, f.begin() + (repaired ? 2 : 0), f.end()));
            stream.clear();
            repaired = false;
            if (!frame->checksumOk)
                continue;  // dropped without a word
            dispatched = true;
        }
        if (!dispatched)
            continue;

        // After every reply the link is watched: polling, a guard, or the reboot wait that restarts polling.
        FUZZ_CHECK(host.polling || host.guard || host.rebootWait);
        FUZZ_CHECK(session.State().FrameAddress == 0 || session.State().FrameAddress == 4);
        CheckConfigurationRead(host, recordBefore, state.CurrentRecord);
        // A configuration write whose counters did not come sends nothing.
        if (host.writeRefused)
            FUZZ_CHECK(host.written.size() == writtenBefore);
        if (host.verified) {
            host.verified = false;
            session.ClosePort();
            session.OpenPort(1, false);
            rx.Clear();
        }
    }
    return 0;
}
