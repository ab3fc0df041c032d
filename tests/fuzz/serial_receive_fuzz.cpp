// The receive path with the reply dispatcher: bytes of successive receive
// events go to the acceptor session, which assembles them and handles each
// frame with a good check byte; an assembler written here from the receive
// steps, with a check byte of its own, says what each event should have
// completed and whether it was to be handled. Between them the window's
// timers and buttons do what they do. Every frame the session writes is
// compared with the frame's byte list and a check byte computed here.
//
// Input: a flags byte (bit 0: the header repair is armed, bit 1: the port is
// at the boot loader's speed, bit 2: the factory copy was read), then events:
// a receive event is a length byte (below 0xFB) and that many bytes; 0xFF the
// port reopening, 0xFE the guard running out, 0xFD a poll tick, 0xFC a command
// from the window (a byte says which, then its arguments), 0xFB a reply laid
// out here (a code, a data length and the data, a byte that spoils its check
// byte unless 0, and where it is cut in two receive events).

#include <algorithm>
#include <string>
#include <utility>

#include "app/link/acceptor_session.h"
#include "tests/fuzz/checked_display.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/serial_reference.h"

using namespace kovrin;
using kovrin::fuzz::Input;

namespace {

enum : uint8_t { kBuiltReply = 0xFB, kCommand = 0xFC, kPollTick = 0xFD, kGuardExpiry = 0xFE, kReopen = 0xFF };

// A reply's header: 0x27, 0x08, N and 256 - N, N at least the six bytes of a frame without data.
bool ReplyHeader(const Bytes& b)
{
    return b.size() >= 6 && b[0] == 0x27 && b[1] == 0x08 && b[2] + b[3] == 256 && b[2] >= 6;
}

// The receive steps: the bytes of an event replace what is held unless a
// header was found, when they are appended. The header is looked for at the
// start, then one byte on, then (once, when armed) with 0x27 0x08 put in
// front of what came; else everything held goes. N bytes after a header make
// a frame, which may be handled when the XOR of its bytes 1 to N - 1 is 0;
// bytes beyond N go with it.
class Receiver {
public:
    struct Frame {
        Bytes bytes;
        bool checksumOk;
    };

    std::optional<Frame> Feed(const Bytes& bytes, uint8_t& code)
    {
        if (RxHeaderFound)
            held_.insert(held_.end(), bytes.begin(), bytes.end());
        else
            held_ = bytes;
        // With the repair armed, four bytes may already be a reply that lost its first two.
        if (!RxHeaderFound && held_.size() >= (InsertRxHeader ? 4u : 6u))
            Search(code);
        if (!RxHeaderFound || held_.size() < held_[2])
            return std::nullopt;
        Frame frame{Bytes(held_.begin(), held_.begin() + held_[2]), false};
        uint8_t x = 0;
        for (size_t i = 1; i < frame.bytes.size(); ++i)
            x ^= frame.bytes[i];
        frame.checksumOk = x == 0;
        Clear();
        return frame;
    }
    void Clear()
    {
        held_.clear();
        RxHeaderFound = false;
    }
    const Bytes& RxFrame() const { return held_; }

    bool RxHeaderFound = false;
    bool InsertRxHeader = false;

private:
    void Search(uint8_t& code)
    {
        const Bytes came = held_;
        if (!ReplyHeader(held_)) {
            held_.erase(held_.begin());
            if (!ReplyHeader(held_) && InsertRxHeader) {
                InsertRxHeader = false;
                held_ = {0x27, 0x08};
                held_.insert(held_.end(), came.begin(), came.end());
            }
        }
        if (!ReplyHeader(held_)) {
            held_.clear();
            return;
        }
        RxHeaderFound = true;
        code = held_[4];
    }

    Bytes held_;
};


// A small image to update with: two pages, a bank change, a third page, the end.
const std::vector<FlashBlock> kTable = {
    {0x4000, HexData, Bytes(128, 0x11)},
    {0x4080, HexData, Bytes(16, 0x22)},
    {0, HexSegmentAddress, {0x10, 0x00}},
    {0x8000, HexData, Bytes(64, 0x33)},
    {0, HexEndOfFile, {}},
};

// Its data blocks as frames 0x12, each with the bank the address records before it select.
bool IsBlockOfTable(const Bytes& frame, uint8_t address)
{
    return frame == fuzz::LaidOutBlockFrame(address, 0, 0x4000, kTable[0].data) ||
           frame == fuzz::LaidOutBlockFrame(address, 0, 0x4080, kTable[1].data) ||
           frame == fuzz::LaidOutBlockFrame(address, 1, 0x8000, kTable[3].data);
}

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
        void Stop() override
        {
            running_ = false;
            ++stops;
        }
        int stops = 0;  // the dispatcher stops polling first thing, and only it does while a reply comes in

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
            CheckFrameSent(bytes);
        }
        written.push_back(bytes);
        return true;
    }
    // The frame by the command table: 0x27, the acceptor's address, N, 256 - N, the code, its data, and
    // the XOR of bytes 1 to N - 2.
    void CheckFrameSent(const Bytes& f) const
    {
        FUZZ_CHECK(f.size() >= 6 && f[0] == 0x27);
        if (f.size() < 6)
            return;
        FUZZ_CHECK(f[2] == f.size() && f[2] + f[3] == 256);
        FUZZ_CHECK(f.back() == fuzz::CheckByteOf(f, f.size()));
        const uint8_t address = uint8_t(session->State().FrameAddress);
        FUZZ_CHECK(f[1] == address && (address == 0 || address == 4));
        const Bytes data(f.begin() + 5, f.end() - 1);
        switch (f[4]) {
        case 0x02:
        case 0x06:
        case 0x13:
        case 0x1F:
        case 0x20:
        case 0x35:
            FUZZ_CHECK(data.empty());
            break;
        case 0x11:
            FUZZ_CHECK(data == (Bytes{0x55, 0xA0, 0x55, 0x88}));
            break;
        case 0x14:
        case 0x15:
            FUZZ_CHECK(data == (Bytes{0x55, 0xA0}));
            break;
        case 0x12:
            FUZZ_CHECK(IsBlockOfTable(f, address));
            break;
        case 0x24: {
            // A factory page at the address the identification gave, or the calibration state.
            FUZZ_CHECK(data.size() == 4 && data[0] == 0);
            if (data.size() != 4)
                break;
            const uint32_t at = data[1] * 256u + data[2];
            const uint32_t page = uint32_t(session->State().MemoryReadAddress);
            FUZZ_CHECK((data[3] == 128 && (at == page % 65536 || at == (page + 128) % 65536)) ||
                       (data[3] == 6 && at == 0x02FA));
            break;
        }
        case 0x34: {
            // Days since 1 January 2010 low byte first, or the calendar from year - 2000 on.
            const long d = fuzz::DaysSince2010(now.year, now.month, now.day);
            const Bytes stamp = stampDayCount ? Bytes{uint8_t(d % 256), uint8_t(d / 256 % 256), 0, 0, 0}
                                         : Bytes{uint8_t(now.year - 2000), uint8_t(now.month), uint8_t(now.day),
                                                 uint8_t(now.hour), uint8_t(now.minute)};
            FUZZ_CHECK(data == stamp);
            break;
        }
        case 0x21:
            FUZZ_CHECK(!data.empty() && data[0] == 0x62);
            break;
        default:
            FUZZ_CHECK(!"a command the program does not send");
        }
    }
    void Wait(int ms) override { FUZZ_CHECK(ms > 0 && ms <= 1000); }
    LocalTime LocalNow() const override { return now; }
    bool DateStampUsesDayCount() const override { return dayCount; }

    void ShowIdentification(const IdentifiedAcceptor& acceptor) override
    {
        FUZZ_CHECK(!acceptor.name.empty());
        FUZZ_CHECK(!acceptor.programMode || !acceptor.restricted);
        identifiedAs = acceptor.name;
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

    const AcceptorSession* session = nullptr;
    LocalTime now{2024, 2, 29, 23, 59};
    bool dayCount = false;       // what the loaded image says now
    bool stampDayCount = false;  // what it said when the last update started: the stamp follows that
    std::optional<std::string> identifiedAs;  // the name an identification showed
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

// What the window's buttons and menus start.
void WindowCommand(AcceptorSession& session, WatchingHost& host, Receiver& rx, Input& in)
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
        host.stampDayCount = host.dayCount;
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
    case 6: {
        // The date stamp, as a poll tick sends it once an update is verified, on a date of the input's;
        // the image loaded meanwhile changes for the next update, not for this stamp.
        LocalTime& now = host.now;
        now.year = 2010 + in.Byte() % 200;
        now.month = 1 + in.Byte() % 12;
        now.day = 1 + in.Byte() % fuzz::DaysInMonth(now.year, now.month);
        now.hour = in.Byte() % 24;
        now.minute = in.Byte() % 60;
        host.dayCount = in.Byte() & 1;
        session.SendStatusDateTime();
        break;
    }
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
    host.session = &session;
    if (flags & 2)
        session.OpenPort(1, true);
    Receiver rx;       // what the session's own should hold
    uint8_t code = 0;  // the reply code it found
    rx.InsertRxHeader = flags & 1;
    if (rx.InsertRxHeader)
        session.ExpectHeaderlessReply();
    Bytes stream;           // what arrived since the last frame or reopening
    bool repaired = false;  // the frame being held got 0x27 0x08 put in front

    // One receive event. The session holds what the receiver here holds, and
    // handles a frame exactly when the receiver says it is to be handled.
    const auto receive = [&](const Bytes& bytes) -> std::optional<Receiver::Frame> {
        stream.insert(stream.end(), bytes.begin(), bytes.end());
        const bool repairArmed = rx.InsertRxHeader;
        const auto frame = rx.Feed(bytes, code);
        host.arrived = bytes;
        const int stopsBefore = host.pollTimer.stops;
        session.OnComm(SerialPort::comEvReceive);
        const bool handled = host.pollTimer.stops != stopsBefore;
        FUZZ_CHECK(host.arrived.empty());
        FUZZ_CHECK(handled == (frame && frame->checksumOk));
        FUZZ_CHECK(session.Receiver().RxHeaderFound == rx.RxHeaderFound);
        FUZZ_CHECK(session.Receiver().RxFrame() == rx.RxFrame());
        FUZZ_CHECK(session.Receiver().InsertRxHeader == rx.InsertRxHeader);
        FUZZ_CHECK(!rx.InsertRxHeader || repairArmed);  // armed only from outside
        if (repairArmed && !rx.InsertRxHeader && (frame || rx.RxHeaderFound))
            repaired = true;

        if (!frame) {
            // Held bytes are a header's start, or a frame still short of its length.
            if (rx.RxHeaderFound) {
                FUZZ_CHECK(ReplyHeader(rx.RxFrame()));
                FUZZ_CHECK(rx.RxFrame().size() < rx.RxFrame()[2]);
                FUZZ_CHECK(code == rx.RxFrame()[4]);
                FUZZ_CHECK(session.State().ReplyCode == code);
            } else {
                FUZZ_CHECK(rx.RxFrame().size() < FrameHeaderLength);
            }
            return std::nullopt;
        }
        const Bytes& f = frame->bytes;
        FUZZ_CHECK(ReplyHeader(f));
        FUZZ_CHECK(f.size() == f[2]);
        FUZZ_CHECK(code == f[4]);
        FUZZ_CHECK(!rx.RxHeaderFound && rx.RxFrame().empty());
        // Every byte of the frame arrived, apart from the two a repair puts in front.
        FUZZ_CHECK(Contains(stream, f.begin() + (repaired ? 2 : 0), f.end()));
        stream.clear();
        repaired = false;
        return frame;
    };

    while (!in.Empty()) {
        const uint8_t event = in.Byte();
        const EepromRecord recordBefore = state.CurrentRecord;
        const bool flashMode = session.State().FlashMode;
        host.shortConfiguration = false;
        host.writeRefused = false;
        host.rebootWait = false;
        host.verified = false;
        host.identifiedAs.reset();
        const size_t writtenBefore = host.written.size();
        bool dispatched = false;
        std::optional<Receiver::Frame> frame;

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
            WindowCommand(session, host, rx, in);
        } else if (event == kBuiltReply) {
            // A reply laid out here, its check byte right or spoilt, in one or two receive events.
            static const uint8_t kCodes[] = {0x06, 0x02, 0x20, 0x21, 0x24, 0x34, 0x35, 0x99, 0x11, 0x12, 0x13, 0x14, 0x15};
            const uint8_t pick = in.Byte();
            const uint8_t replyCode = pick < 0xF0 ? kCodes[pick % std::size(kCodes)] : pick;
            const Bytes replyData = in.Bytes(in.Byte() % 250);
            const uint8_t spoil = in.Byte();
            Bytes built = fuzz::LaidOutFrame(0x08, replyCode, replyData);
            built.back() ^= spoil;
            const size_t cut = 6 + in.Byte() % (built.size() - 5);
            const bool fresh = !rx.RxHeaderFound;
            frame = receive(Bytes(built.begin(), built.begin() + long(cut)));
            if (!frame && cut < built.size())
                frame = receive(Bytes(built.begin() + long(cut), built.end()));
            if (fresh) {
                FUZZ_CHECK(frame && frame->bytes == built);
                FUZZ_CHECK(frame && frame->checksumOk == (spoil == 0));
            }
            dispatched = frame && frame->checksumOk;
        } else {
            frame = receive(in.Bytes(event));
            dispatched = frame && frame->checksumOk;
        }
        if (!dispatched)
            continue;

        // After every reply the link is watched: polling, a guard, or the reboot wait that restarts polling.
        FUZZ_CHECK(host.polling || host.guard || host.rebootWait);
        FUZZ_CHECK(session.State().FrameAddress == 0 || session.State().FrameAddress == 4);
        CheckConfigurationRead(host, recordBefore, state.CurrentRecord);
        // An identification takes the variant of byte 5, its name and its frame address from the table;
        // the boot loader's keeps a code outside the table as it came.
        if (host.identifiedAs && frame) {
            const uint8_t v = frame->bytes[5];
            FUZZ_CHECK(*host.identifiedAs == fuzz::VariantByCode(v).name);
            FUZZ_CHECK(session.State().FrameAddress == fuzz::VariantByCode(v).frameAddress);
            FUZZ_CHECK(state.AcceptorVariant == (flashMode || (v >= 1 && v <= 9) ? v : 0));
        }
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
