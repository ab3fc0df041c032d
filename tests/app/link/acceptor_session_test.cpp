#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/config/eeprom_map.h"
#include "app/link/acceptor_session.h"
#include "tests/app/link/fake_link.h"
#include "tests/support/reply_frame.h"

namespace kovrin {
namespace {

using test::HexBytes;
using test::ReplyFrame;

// Records what the session asks of the window, one line per call.
class FakeHost : public AcceptorSessionHost {
public:
    std::vector<std::string> calls;
    bool dayCount = false;
    LocalTime now{2024, 3, 9, 14, 25};

    LocalTime LocalNow() const override { return now; }
    bool DateStampUsesDayCount() const override { return dayCount; }

    // One line for each part of what was found, in the order the window shows them.
    void ShowIdentification(const IdentifiedAcceptor& a) override
    {
        Call("name " + a.name);
        if (a.programMode) {
            EXPECT_TRUE(a.serial.empty() && a.info.empty() && a.software.empty() && a.version.empty());
            Call("program mode");
        } else {
            Call(std::string(a.restricted ? "restricted " : "unit ") + a.serial + "|" + a.info + "|" + a.software +
                 "|" + a.version);
        }
        if (const auto& c = a.controls) {
            const auto text = [](std::optional<bool> shown) { return shown ? (*shown ? "show" : "hide") : "keep"; };
            Call(std::string("controls ") + text(c->billHoldAndCcTalk) + " " + text(c->escrowTime));
        }
        Call("hardware found");
    }
    void ShowFactoryRevisions(const std::string& setup, const std::string& calibration) override
    {
        Call("revisions " + setup + " " + calibration);
    }
    void ShowCalibration(bool calibrated) override { Call(calibrated ? "calibrated" : "not calibrated"); }
    void ShowConfiguration() override { Call("show configuration"); }
    void ShowConfigurationRead() override { Call("configuration read"); }
    void ReportShortConfiguration(int received, int needed) override
    {
        Call("short configuration " + std::to_string(received) + " of " + std::to_string(needed));
    }
    void ConfigurationWriteRefused() override { Call("write refused"); }
    void WaitForReboot(int ms) override { Call("reboot wait " + std::to_string(ms)); }
    void ShowAuditReply(const Bytes& frame) override { Call("audit " + HexBytes(frame)); }
    void ShowDeviceProgrammed() override { Call("device programmed"); }
    void ShowStatus(const std::string& text) override { Call("status " + text); }
    void ShowProgress(int percent) override { Call("progress " + std::to_string(percent)); }
    void ShowDeviceChecksum(const std::string& hex) override { Call("checksum " + hex); }
    void CountBlockRetry() override { Call("block retry"); }
    void CountBootstrapRetry() override { Call("bootstrap retry"); }
    void ButtonsBusy() override { Call("buttons busy"); }
    void UpdateVerified() override { Call("update verified"); }
    void ReportFlashResult(int32_t result, int32_t blockNo) override
    {
        Call("result " + std::to_string(result) + " at " + std::to_string(blockNo));
    }
    void UpdateAbandoned() override { Call("update abandoned"); }
    void ShowLinkLost() override { Call("link lost"); }
    void Reconnect() override
    {
        Call("reconnect");
        if (reconnect)
            reconnect();
    }
    void OpenPortFlashSpeed() override
    {
        Call("flash speed");
        if (openFlashSpeed)
            openFlashSpeed();
    }
    void PollTickChecked() override { Call("update button"); }

    // What the window does for the link when it reconnects or reopens at the boot loader's speed.
    std::function<void()> reconnect, openFlashSpeed;

private:
    void Call(const std::string& line) { calls.push_back(line); }
};

using Calls = std::vector<std::string>;

// An identification reply: variant, unit state, serial, memory address, info,
// software and version at their places; `length` is the whole frame's.
Bytes Identification(uint8_t variant, uint8_t state, uint16_t memory = 0, size_t length = 47,
                     const std::string& version = "0043")
{
    Bytes f = ReplyFrame(CmdPoll, Bytes(length - FrameHeaderLength, '-'));
    const auto put = [&](size_t at, const std::string& text) {
        for (size_t i = 0; i < text.size() && at + i + 1 < f.size(); ++i)
            f[at + i] = uint8_t(text[i]);
    };
    f[5] = variant;
    f[6] = state;
    put(7, "SER0123456X");
    f[18] = uint8_t(memory >> 8);
    f[19] = uint8_t(memory & 0xFF);
    put(20, "INFO012345");
    put(30, "SOFTWARE01S");
    put(length > 47 - 1 ? 42 : 40, version);
    return ReplyFrame(CmdPoll, Bytes(f.begin() + 5, f.end() - 1));  // check byte again
}

// A memory-read reply of `n` data bytes, counting up from `first`.
Bytes MemoryPage(size_t n, uint8_t first)
{
    Bytes data(n);
    for (size_t i = 0; i < n; ++i)
        data[i] = uint8_t(first + i);
    return ReplyFrame(CmdReadMemory, data);
}

class SessionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // As the window routes its timers' events.
        poll.fire = [this] { session->OnPollTimer(serial); };
        guard.fire = [this] { session->OnGuardTimer(); };
    }

    // The frame arrives in one receive event; the wait for the rest of it (none after an
    // acknowledgement at the boot loader's speed) is not looked at here.
    void Receive(const Bytes& frame)
    {
        port.arrived = frame;
        const size_t from = host.calls.size();
        session->OnComm(SerialPort::comEvReceive);
        if (host.calls.size() > from && host.calls[from] == "pause 20")
            host.calls.erase(host.calls.begin() + long(from));
    }
    // The expiry stops the guard before anything else; what follows is looked at.
    void GuardExpires()
    {
        DropFirstOf("guard off", [&] { guard.Tick(); });
    }
    template <class Action>
    void DropFirstOf(const std::string& line, Action action)
    {
        const size_t from = host.calls.size();
        action();
        ASSERT_GT(host.calls.size(), from);
        ASSERT_EQ(host.calls[from], line);
        host.calls.erase(host.calls.begin() + long(from));
    }
    // Everything the host was asked since the last look.
    Calls Taken()
    {
        Calls c = host.calls;
        host.calls.clear();
        return c;
    }

    // A session that knows nothing yet, as when the window starts.
    void Fresh() { session = std::make_unique<AcceptorSession>(port, poll, guard, host, program); }
    const AcceptorLinkState& State() const { return session->State(); }
    // An acceptor of `variant` answers a poll at the normal speed; variant 5's frames go to address 4.
    void Identified(uint8_t variant = 5, uint16_t memory = 0)
    {
        Receive(Identification(variant, 0, memory));
        Taken();
    }
    // A small image is updated up to its matching checksum, and the window goes back to the normal
    // speed: the date stamp is due, no stamp has been tried yet.
    void StampDue()
    {
        session->OpenPort(1, true);
        session->StartUpdate(&smallImage, 0x1234, true);
        GuardExpires();  // the start command is not answered: the erase goes
        for (int step = 0; step < 3; ++step)
            Receive(ReplyFrame(ReplyAcknowledge));  // erased, block written, boot strap updated
        Receive(ReplyFrame(CmdVerifyChecksum, {0x12, 0x34}));
        ASSERT_TRUE(State().bStampDatePending);
        session->OpenPort(1, false);
        session->StartPolling();
        Taken();
    }
    // The paged read of the factory copy stands at `state` (0 to 3), the factory record not yet valid.
    void PagedReadAt(int32_t state)
    {
        if (state >= 1)
            Identified(5, 0x5180);
        if (state >= 2)
            Receive(MemoryPage(128, 0));
        if (state >= 3)
            Receive(MemoryPage(128, 128));
        Taken();
        ASSERT_EQ(State().PagedReadState, state);
    }

    bool serial = true;  // the port menu names a serial port
    const std::vector<FlashBlock> smallImage = {{0x4000, HexData, Bytes(2, 0xAB)}, {0, HexEndOfFile, {}}};
    FakeHost host;
    test::LoggingPort port{host.calls};
    test::LoggingTimer poll{host.calls, "poll"};
    test::LoggingTimer guard{host.calls, "guard"};
    ProgramState program;  // what the program holds, which the link reads and sets
    std::unique_ptr<AcceptorSession> session = std::make_unique<AcceptorSession>(port, poll, guard, host, program);
};

// ---- sending

TEST_F(SessionTest, MemoryReadsAskForTheFactoryPagesAndTheCalibrationState)
{
    struct Case {
        int32_t kind;
        Calls sent;
    };
    const Case cases[] = {
        {1, {"write 27 04 0A F6 24 00 51 80 80 8D"}},  // 128 bytes at the factory copy
        {2, {"write 27 04 0A F6 24 00 52 00 80 0E"}},  // the next 128
        {3, {"write 27 04 0A F6 24 00 02 FA 06 22"}},  // six bytes at 0x02FA
        {0, {}},
        {4, {}},
    };
    Identified(5, 0x5180);  // frames go to address 4, the factory copy lies at 0x5180
    for (const Case& c : cases) {
        session->ReadEepromBlock(c.kind);
        EXPECT_EQ(Taken(), c.sent) << "kind " << c.kind;
    }
}

TEST_F(SessionTest, DateStampCarriesTheCalendarOrTheDayCount)
{
    Identified();
    host.dayCount = false;
    StampDue();
    session->SendStatusDateTime();
    EXPECT_EQ(Taken(), Calls{"write 27 04 0B F5 34 18 03 09 0E 19 CB"});
    EXPECT_EQ(State().LastCommand, CmdDateStamp);

    host.dayCount = true;  // 2024-03-09 is day 5181 (0x143D) since 2010-01-01, low byte first
    StampDue();
    session->SendStatusDateTime();
    EXPECT_EQ(Taken(), Calls{"write 27 04 0B F5 34 3D 14 00 00 00 E7"});
}

TEST_F(SessionTest, TheStampTakesTheFormOfTheImageTheUpdateFlashed)
{
    // Another file picked while the unit restarts (or one refused, which leaves no image) must not
    // change what the unit just flashed is stamped with.
    for (const bool flashedTakesDayCount : {true, false}) {
        Identified();
        host.dayCount = flashedTakesDayCount;
        StampDue();
        host.dayCount = !flashedTakesDayCount;
        poll.Tick();
        const Calls sent = Taken();
        ASSERT_FALSE(sent.empty());
        EXPECT_EQ(sent.back(), flashedTakesDayCount ? "write 27 04 0B F5 34 3D 14 00 00 00 E7"
                                                    : "write 27 04 0B F5 34 18 03 09 0E 19 CB");
    }
}

TEST_F(SessionTest, AClosedPortTakesNothingButTheCommandIsStillTheLastOne)
{
    port.portOpen = false;
    session->ReadConfiguration();
    GuardExpires();  // no reply came
    Taken();
    ASSERT_TRUE(State().ReplyTimedOut);
    session->PDTCommand(CmdPoll);
    EXPECT_EQ(Taken(), Calls{});
    EXPECT_EQ(State().LastCommand, CmdPoll);
    EXPECT_EQ(State().ReplyTimedOut, true);

    port.portOpen = true;
    session->PDTCommand(CmdPoll);
    EXPECT_EQ(Taken(), Calls{"write 27 00 06 FA 06 FA"});
    EXPECT_EQ(State().ReplyTimedOut, false);
}

TEST_F(SessionTest, EachPollTickSendsWhatIsDue)
{
    struct Case {
        const char* name;
        bool flashMode, found, audit, stamp;
        int16_t missed;
        int attempts;
        Calls sent;
        int attemptsAfter;
        int16_t stampAfter;
    };
    const std::string pollFrame = "write 27 04 06 FA 06 FE";
    const std::string stamp = "write 27 04 0B F5 34 18 03 09 0E 19 CB";
    const Case cases[] = {
        {"a plain poll", false, true, false, false, 0, 0, {pollFrame}, 0, false},
        {"probing for a boot loader wakes it first", true, false, false, false, 0, 0,
         {"write 37", "pause 100", pollFrame}, 0, false},
        {"a boot loader found needs no wake byte", true, true, false, false, 0, 0, {pollFrame}, 0, false},
        {"the audit request goes in the poll's place", false, true, true, false, 0, 0,
         {"poll off", "write 27 04 06 FA 35 CD", "guard 1500"}, 0, false},
        {"the stamp goes in the poll's place", false, true, false, true, 0, 0, {"pause 1000", stamp}, 1, true},
        {"the stamp waits for an unidentified acceptor without counting", false, false, false, true, 1, 3,
         {"pause 1000", stamp}, 3, true},
        {"an unanswered exchange polls instead of stamping", false, true, false, true, 2, 1, {pollFrame}, 1, true},
        {"the sixth stamp to an identified acceptor gives up", false, true, false, true, 0, 5, {pollFrame}, 0, false},
    };
    for (const Case& c : cases) {
        // The case's state, reached the way the acceptor and the window reach it.
        Fresh();
        Identified();  // frames go to address 4
        if (c.stamp)
            StampDue();
        // Ticks without a reply; the first of them, still counting as answered, tries the stamp.
        for (int i = 0; i < c.missed; ++i)
            poll.Tick();
        const int triedOnTicks = c.stamp && c.missed > 0 ? 1 : 0;
        for (int i = triedOnTicks; i < c.attempts; ++i)
            session->PollTick();
        if (!c.found)
            session->ForgetAcceptor();
        if (c.flashMode)
            session->OpenPort(1, true);
        if (c.audit)
            session->RequestAudit();
        Taken();
        ASSERT_EQ(State().MissedReplyCount, c.missed) << c.name;
        ASSERT_EQ(State().StampDateAttempts, c.attempts) << c.name;

        session->PollTick();
        EXPECT_EQ(Taken(), c.sent) << c.name;
        EXPECT_EQ(State().StampDateAttempts, c.attemptsAfter) << c.name;
        EXPECT_EQ(State().bStampDatePending, c.stampAfter) << c.name;
        EXPECT_FALSE(State().AuditRequestPending) << c.name;
    }
}

// ---- the receive event

TEST_F(SessionTest, TheReceiveEventDropsWhatCameWithALineErrorAndCompletesASplitFrame)
{
    const Bytes audit = ReplyFrame(CmdReadAudit, Bytes(20, 0x11));
    port.arrived = audit;
    session->OnComm(SerialPort::comEventFrame);
    EXPECT_TRUE(port.arrived.empty()) << "read and thrown away";
    EXPECT_EQ(Taken(), Calls{});

    port.arrived.assign(audit.begin(), audit.begin() + 10);
    session->OnComm(SerialPort::comEvReceive);
    EXPECT_EQ(Taken(), Calls{"pause 20"});
    EXPECT_TRUE(session->Receiver().RxHeaderFound);
    port.arrived.assign(audit.begin() + 10, audit.end());
    session->OnComm(SerialPort::comEvReceive);
    EXPECT_EQ(Taken(), (Calls{"pause 20", "poll off", "guard off", "audit " + HexBytes(audit), "poll on"}));
    EXPECT_FALSE(session->Receiver().RxHeaderFound);
}

TEST_F(SessionTest, TheFourthTickWithoutAReplyGivesTheAcceptorUpAndProbesTheOtherSpeed)
{
    host.openFlashSpeed = [&] { session->OpenPort(1, true); };
    host.reconnect = [&] {
        session->ClosePort();
        session->OpenPort(1, false);
    };
    const std::string pollFrame = "write 27 00 06 FA 06 FA";
    Receive(Identification(8, 0));  // a Pellot answers, at address 0
    Taken();
    program.FactoryConfigValid = true;
    const Calls quietTick = {"guard off", "update abandoned", "update button", pollFrame};
    for (int i = 1; i <= 3; ++i) {
        poll.Tick();
        EXPECT_EQ(Taken(), quietTick) << "tick " << i;
    }
    EXPECT_TRUE(State().AcceptorFound);
    EXPECT_TRUE(program.FactoryConfigValid);

    // Over to the boot loader's speed: the guard waits for it, its poll goes after the wake byte.
    poll.Tick();
    EXPECT_EQ(Taken(), (Calls{"guard off", "update abandoned", "link lost", "flash speed", "open 1 38400, N, 8, 1",
                              "guard 500", "poll off", "update button", "write 37", "pause 100", pollFrame}));
    EXPECT_FALSE(State().AcceptorFound);
    EXPECT_FALSE(program.FactoryConfigValid);
    EXPECT_TRUE(State().FlashMode);
    EXPECT_EQ(State().MissedReplyCount, 0);

    // No boot loader answers: polling goes on at 38400, and four ticks later back to 9600.
    GuardExpires();
    EXPECT_EQ(Taken(), (Calls{"poll off", "guard off", "guard off", "poll on"}));
    const Calls probeTick = {"guard off", "update abandoned", "update button", "write 37", "pause 100", pollFrame};
    for (int i = 1; i <= 3; ++i) {
        poll.Tick();
        EXPECT_EQ(Taken(), probeTick) << "tick " << i;
    }
    poll.Tick();
    EXPECT_EQ(Taken(), (Calls{"guard off", "update abandoned", "link lost", "reconnect", "pause 500", "close",
                              "open 1 9600, N, 8, 1", "poll on", "update button", pollFrame}));
    EXPECT_FALSE(State().FlashMode);
    EXPECT_EQ(State().MissedReplyCount, 0);
}

TEST_F(SessionTest, WithTheModuleChosenTheFirstTickStopsPolling)
{
    serial = false;
    session->StartPolling();
    Taken();
    poll.Tick();
    EXPECT_EQ(Taken(), Calls{"poll off"});
}

// ---- replies in normal mode

TEST_F(SessionTest, EachReplyCodeIsHandledByItsCode)
{
    struct Case {
        const char* name;
        Bytes frame;
        uint8_t lastCommand;
        Calls taken;  // after the timers are stopped
    };
    const Bytes audit = ReplyFrame(CmdReadAudit, Bytes(20, 0x11));
    const Case cases[] = {
        {"calibration", ReplyFrame(CmdCalibrate), CmdCalibrate, {"poll on"}},
        {"configuration written: the reboot wait, no polling", ReplyFrame(CmdWriteConfiguration),
         CmdWriteConfiguration, {"reboot wait 7000"}},
        {"date stamp", ReplyFrame(CmdDateStamp), CmdDateStamp, {"device programmed", "poll on"}},
        {"audit counters", audit, CmdReadAudit, {"audit " + HexBytes(audit), "poll on"}},
        {"acknowledgement of a stamp", ReplyFrame(ReplyAcknowledge), CmdDateStamp, {"device programmed", "poll on"}},
        {"acknowledgement of a calibration", ReplyFrame(ReplyAcknowledge), CmdCalibrate, {"poll on"}},
        {"memory read with none asked for", MemoryPage(128, 0), CmdReadMemory, {"poll on"}},
        {"an unknown code", ReplyFrame(0x50, {1, 2}), CmdPoll, {"poll on"}},
        {"an acknowledgement of a command without a handler", ReplyFrame(ReplyAcknowledge), CmdStartUpdate,
         {"poll on"}},
    };
    for (const Case& c : cases) {
        // A stamp due and tried three times, two ticks without a reply, then the command.
        Fresh();
        Identified();
        StampDue();
        session->PollTick();
        session->PollTick();
        poll.Tick();
        poll.Tick();
        if (c.lastCommand == CmdWriteConfiguration)
            session->WriteConfiguration(EepromImage{}, 3, EepromLayout::V6);
        else if (c.lastCommand == CmdDateStamp)
            session->SendStatusDateTime();
        else
            session->PDTCommand(c.lastCommand);
        Taken();
        ASSERT_EQ(State().LastCommand, c.lastCommand) << c.name;
        ASSERT_EQ(State().StampDateAttempts, 3) << c.name;
        ASSERT_EQ(State().MissedReplyCount, 2) << c.name;
        program.FactoryConfigValid = true;
        session->ProcessAcceptorReply(c.frame);
        Calls expected = {"poll off", "guard off"};
        expected.insert(expected.end(), c.taken.begin(), c.taken.end());
        EXPECT_EQ(Taken(), expected) << c.name;
        const uint8_t handled = c.frame[4] == ReplyAcknowledge ? c.lastCommand : c.frame[4];
        EXPECT_EQ(State().ReplyCode, handled) << c.name;
        EXPECT_EQ(program.FactoryConfigValid, handled != CmdCalibrate) << c.name;
        EXPECT_EQ(State().bStampDatePending, handled != CmdDateStamp) << c.name;
        EXPECT_EQ(State().MissedReplyCount, handled == CmdWriteConfiguration ? 2 : 0) << c.name;
    }
}

TEST_F(SessionTest, AGuardExpiryAtNormalSpeedOnlyRestartsPolling)
{
    session->ReadConfiguration();
    Taken();
    GuardExpires();
    EXPECT_EQ(Taken(), (Calls{"poll off", "guard off", "poll on"}));
}

TEST_F(SessionTest, IdentificationShowsTheAcceptorAndReadsItsFactoryCopyOnce)
{
    Receive(Identification(5, 0, 0x5180));
    EXPECT_EQ(Taken(), (Calls{"poll off", "guard off", "name Tyx Sarnel",
                              "unit SER0123456X|INFO012345|SOFTWARE01S|0043", "controls show show", "hardware found",
                              "write 27 04 0A F6 24 00 51 80 80 8D", "show configuration", "poll on"}));
    EXPECT_EQ(program.AcceptorVariant, 5);
    EXPECT_EQ(program.CurrentRecord.VariantCode, 5);
    EXPECT_EQ(State().FrameAddress, 4);
    EXPECT_EQ(State().AcceptorCode, 0);
    EXPECT_TRUE(State().AcceptorFound);
    EXPECT_EQ(State().PagedReadState, 1);

    Receive(MemoryPage(128, 0));
    EXPECT_EQ(Taken(), (Calls{"poll off", "guard off", "write 27 04 0A F6 24 00 52 00 80 0E", "poll on"}));
    EXPECT_EQ(State().PagedReadState, 2);
    Receive(MemoryPage(128, 128));
    // Bytes 251 and 253 of the factory copy are its setup and calibration revisions.
    EXPECT_EQ(Taken(), (Calls{"poll off", "guard off", "revisions FB FD", "write 27 04 0A F6 24 00 02 FA 06 22",
                              "poll on"}));
    EXPECT_EQ(program.FactoryRecord.SetupRevision, 0xFB);
    EXPECT_EQ(State().PagedReadState, 3);
    Receive(MemoryPage(6, 1));
    EXPECT_EQ(Taken(), (Calls{"poll off", "guard off", "calibrated", "poll on"}));
    EXPECT_EQ(program.FactoryConfigValid, true);
    EXPECT_EQ(State().UnitCalibrated, 1);

    // Later polls read only the calibration state.
    Receive(Identification(5, 0, 0x5180));
    const Calls later = Taken();
    EXPECT_EQ(later[later.size() - 2], "write 27 04 0A F6 24 00 02 FA 06 22");
    EXPECT_EQ(State().PagedReadState, 3);
}

TEST_F(SessionTest, IdentificationByVariantAndUnitState)
{
    struct Case {
        const char* name;
        Bytes frame;
        const char* shown;  // the name
        const char* unit;
        const char* controls;
        uint8_t variant;
        int32_t address;
        int16_t code;
    };
    const Case cases[] = {
        {"Tekra", Identification(7, 0), "name Tyx Tekra", "unit SER0123456X|INFO012345|SOFTWARE01S|0043",
         "controls show keep", 7, 4, 0},
        {"Pellot, ten-character serial", Identification(8, 0), "name Pellot",
         "unit SER0123456|INFO012345|SOFTWARE01|S-00", "controls keep keep", 8, 0, 0},
        {"an unknown variant stands for none", Identification(12, 0), "name UNKNOWN",
         "unit SER0123456|INFO012345|SOFTWARE01|S-00", "controls keep keep", 0, 0, 0},
        {"restricted unit", Identification(5, 3), "name Tyx Sarnel",
         "restricted SER0123456X|INFO012345|SOFTWARE01S|0043", "controls show show", 5, 4, 3},
        {"program mode hides the version's controls", Identification(5, UnitStateProgramMode), "name Tyx Sarnel",
         "program mode", "controls hide hide", 5, 4, 0},
        {"Sarnel 0037", Identification(5, 0, 0, 47, "0037"), "name Tyx Sarnel",
         "unit SER0123456X|INFO012345|SOFTWARE01S|0037", "controls hide hide", 5, 4, 0},
        {"Sarnel 0039", Identification(5, 0, 0, 47, "0039"), "name Tyx Sarnel",
         "unit SER0123456X|INFO012345|SOFTWARE01S|0039", "controls show hide", 5, 4, 0},
        {"Sarnel of 46 bytes: version from byte 40", Identification(5, 0, 0, 46, "0041"), "name Tyx Sarnel",
         "unit SER0123456X|INFO012345|SOFTWARE010|0041", "controls show show", 5, 4, 0},
    };
    for (const Case& c : cases) {
        Receive(Identification(5, 9));  // a code the case's reply replaces
        Taken();
        Receive(c.frame);
        EXPECT_EQ(Taken(), (Calls{"poll off", "guard off", c.shown, c.unit, c.controls, "hardware found", "poll on"}))
            << c.name;
        EXPECT_EQ(program.AcceptorVariant, c.variant) << c.name;
        EXPECT_EQ(State().FrameAddress, c.address) << c.name;
        EXPECT_EQ(State().AcceptorCode, c.code) << c.name;
    }
}

TEST_F(SessionTest, AFileRecordGivesWayToDefaultsOnlyWhenTheVariantChanges)
{
    struct Case {
        int32_t source;
        uint8_t before, now;
        bool defaulted;
    };
    const Case cases[] = {
        {ConfigFromFile, 5, 7, true},     {ConfigFromFile, 7, 7, false},   {ConfigFromDefaults, 5, 7, false},
        {ConfigFromFactory, 5, 7, false}, {ConfigFromAcceptor, 5, 7, false},
    };
    for (const Case& c : cases) {
        program.CurrentRecord = EepromRecord{};
        program.CurrentRecord.HeaderByte = 0xAB;
        program.ConfigSource = c.source;
        program.AcceptorVariant = c.before;
        Receive(Identification(c.now, 0));
        EXPECT_EQ(program.ConfigSource, c.defaulted ? ConfigFromDefaults : c.source) << c.source << " " << int(c.before);
        // Defaults of the layout attached before, then the new variant.
        EXPECT_EQ(program.CurrentRecord.HeaderByte != 0xAB, c.defaulted) << c.source;
        EXPECT_EQ(program.CurrentRecord.VariantCode, c.now);
        Taken();
    }
}

TEST_F(SessionTest, RepliesShorterThanWhatTheirHandlerReadsAreNotRead)
{
    struct Case {
        const char* name;
        int32_t pagedState;
        Bytes frame;
        Calls taken;
        int32_t stateAfter;
    };
    const Case cases[] = {
        {"identification ending before its version", 0, ReplyFrame(CmdPoll, Bytes(38, '-')), {"poll on"}, 0},
        {"first page one byte short", 1, MemoryPage(127, 0), {"poll on"}, 0},
        {"second page one byte short", 2, MemoryPage(127, 0), {"poll on"}, 0},
        {"calibration state without data", 3, ReplyFrame(CmdReadMemory), {"poll on"}, 0},
    };
    for (const Case& c : cases) {
        Fresh();
        PagedReadAt(c.pagedState);
        const EepromRecord factory = program.FactoryRecord;
        Receive(c.frame);
        Calls expected = {"poll off", "guard off"};
        expected.insert(expected.end(), c.taken.begin(), c.taken.end());
        EXPECT_EQ(Taken(), expected) << c.name;
        EXPECT_EQ(State().PagedReadState, c.stateAfter) << c.name;
        EXPECT_EQ(program.FactoryRecord, factory) << c.name;
        EXPECT_EQ(program.FactoryConfigValid, false) << c.name;
    }
}

TEST_F(SessionTest, AMemoryReadInEachStateOfThePagedRead)
{
    struct Case {
        int32_t state;
        Bytes frame;
        Calls taken;
        int32_t next;
    };
    const Case cases[] = {
        {0, MemoryPage(128, 0), {"poll on"}, 0},
        {1, MemoryPage(128, 0), {"write 27 04 0A F6 24 00 52 00 80 0E", "poll on"}, 2},
        {2, MemoryPage(128, 128), {"revisions FB FD", "write 27 04 0A F6 24 00 02 FA 06 22", "poll on"}, 3},
        {3, MemoryPage(6, 0), {"not calibrated", "poll on"}, 0},
    };
    program.AcceptorVariant = 5;
    for (const Case& c : cases) {
        Fresh();
        PagedReadAt(c.state);  // a Sarnel at address 4, its factory copy at 0x5180
        Receive(c.frame);
        Calls expected = {"poll off", "guard off"};
        expected.insert(expected.end(), c.taken.begin(), c.taken.end());
        EXPECT_EQ(Taken(), expected) << "state " << c.state;
        EXPECT_EQ(State().PagedReadState, c.next) << "state " << c.state;
    }
}

TEST_F(SessionTest, AConfigurationReadIsTakenWholeOrNotAtAll)
{
    program.AcceptorVariant = 5;  // layout 5/9: 176 bytes
    Receive(ReplyFrame(CmdReadConfiguration, Bytes(20, 1)));
    EXPECT_EQ(Taken(), (Calls{"poll off", "guard off", "poll on", "short configuration 20 of 176"}));
    EXPECT_EQ(program.ConfigSource, ConfigFromDefaults);
    EXPECT_EQ(program.CurrentRecord, EepromRecord{});

    session->PDTCommand(CmdReadConfiguration);
    Taken();
    Receive(ReplyFrame(ReplyAcknowledge));  // no data: nothing to take
    EXPECT_EQ(Taken(), (Calls{"poll off", "guard off", "poll on"}));
    EXPECT_EQ(program.ConfigSource, ConfigFromDefaults);

    Bytes image(176, 0);
    image[0] = 0x5A;  // the header byte
    Receive(ReplyFrame(CmdReadConfiguration, image));
    EXPECT_EQ(Taken(), (Calls{"poll off", "guard off", "poll on", "configuration read"}));
    EXPECT_EQ(program.ConfigSource, ConfigFromAcceptor);
    EXPECT_EQ(program.CurrentRecord.HeaderByte, 0x5A);
    EXPECT_EQ(program.EepromLength, 176);
}

// ---- exchanges that span several replies

TEST_F(SessionTest, TheFirstIdentificationAfterAWriteOnlyEndsTheWrite)
{
    session->WriteConfiguration(EepromImage{}, 3, EepromLayout::V6);
    Taken();
    ASSERT_TRUE(State().ConfigWritePending);
    Receive(Identification(5, 0, 0x5180));
    EXPECT_EQ(Taken(), (Calls{"poll off", "guard off", "poll on"}));
    EXPECT_EQ(State().ConfigWritePending, false);
    EXPECT_EQ(program.AcceptorVariant, 0);
    Receive(Identification(5, 0));
    EXPECT_EQ(program.AcceptorVariant, 5);
}

TEST_F(SessionTest, AWriteOfLayout67GoesAtOnce)
{
    Identified();
    EepromImage image{};
    image.fill(0x11);
    session->WriteConfiguration(image, 3, EepromLayout::V6);
    EXPECT_EQ(Taken(), (Calls{"write 27 04 09 F7 21 62 11 11 B9", "guard 1500"}));
    EXPECT_EQ(State().ConfigWritePending, true);
    EXPECT_EQ(program.EepromLength, 3);
}

TEST_F(SessionTest, AWriteOfLayout59FirstReadsTheUnitsOwnCounters)
{
    struct Case {
        const char* name;
        Bytes reply;  // empty: the guard expires
        bool written;
    };
    Bytes unit(176, 0x22);
    for (size_t i = 143; i < 163; ++i)
        unit[i] = uint8_t(i);  // the unit's counters
    const Case cases[] = {
        {"the read comes", ReplyFrame(CmdReadConfiguration, unit), true},
        {"no answer", {}, false},
        {"a short read", ReplyFrame(CmdReadConfiguration, Bytes(100, 0)), false},
        {"a plain acknowledgement", ReplyFrame(ReplyAcknowledge), false},
        {"another reply", ReplyFrame(CmdPoll, Bytes(41, 0)), false},
    };
    program.AcceptorVariant = 5;
    for (const Case& c : cases) {
        Fresh();
        Identified();
        program.CurrentRecord.AuditCounters.fill(0);
        EepromImage image{};
        image.fill(0x33);
        session->WriteConfiguration(image, 176, EepromLayout::V5);
        EXPECT_EQ(Taken(), (Calls{"write 27 04 06 FA 20 D8", "guard 1500"})) << c.name;
        EXPECT_TRUE(State().ConfigWriteAwaitingCounters) << c.name;

        if (c.reply.empty())
            GuardExpires();
        else
            Receive(c.reply);
        const Calls taken = Taken();
        EXPECT_FALSE(State().ConfigWriteAwaitingCounters) << c.name;
        ASSERT_GE(taken.size(), 3u) << c.name;
        if (!c.written) {
            EXPECT_EQ(taken, (Calls{"poll off", "guard off", "poll on", "write refused"})) << c.name;
            EXPECT_EQ(State().ConfigWritePending, false) << c.name;
            continue;
        }
        // The write carries the edited bytes and, at 143 to 162, the unit's counters.
        Bytes sent = {0x27, 0x04, 182, 74, CmdWriteConfiguration, 0x62};
        for (size_t i = 1; i < 176; ++i)
            sent.push_back(i >= 143 && i < 163 ? uint8_t(i) : 0x33);
        uint8_t x = 0;
        for (size_t i = 1; i < sent.size(); ++i)
            x ^= sent[i];
        sent.push_back(x);
        EXPECT_EQ(taken, (Calls{"poll off", "guard off", "write " + HexBytes(sent), "guard 1500"})) << c.name;
        EXPECT_EQ(State().ConfigWritePending, true) << c.name;
        EXPECT_EQ(program.CurrentRecord.AuditCounters[0], 143) << c.name;
    }
}

// ---- replies at the boot loader's speed

TEST_F(SessionTest, TheBootLoaderAnswersThePoll)
{
    session->OpenPort(1, true);
    session->PDTCommand(CmdPoll);
    Taken();
    program.ConfigSource = ConfigFromAcceptor;
    program.CurrentRecord.HeaderByte = 0xAB;
    Receive(Identification(13, 0, 0, 47));
    EXPECT_EQ(Taken(), (Calls{"poll off", "guard off", "name UNKNOWN", "unit SER0123456|INFO012345|SOFTWARE01|S-00",
                              "hardware found", "guard off", "poll on"}));
    EXPECT_EQ(program.AcceptorVariant, 13) << "kept as received";
    EXPECT_EQ(program.ConfigSource, ConfigFromDefaults);
    EXPECT_EQ(State().FrameAddress, 0);

    // No boot loader answering the probe: polling goes on at this speed.
    Fresh();
    host.openFlashSpeed = [&] { session->OpenPort(1, true); };
    session->StartPolling();
    for (int tick = 0; tick <= MaxMissedReplies; ++tick)
        poll.Tick();
    Taken();
    ASSERT_TRUE(State().FlashMode);
    GuardExpires();
    EXPECT_EQ(Taken(), (Calls{"poll off", "guard off", "guard off", "poll on"}));
}

TEST_F(SessionTest, AnUpdateRunsOnTheRepliesOfItsSteps)
{
    const std::vector<FlashBlock> table = {{0x4000, HexData, Bytes(2, 0xAB)}, {0, HexEndOfFile, {}}};
    Identified();
    session->OpenPort(1, true);
    session->StartUpdate(&table, 0x1234, true);
    Taken();

    struct Step {
        Bytes reply;  // empty: the guard expires
        Calls taken;  // after the timers are stopped
    };
    const Step steps[] = {
        {{}, {"write 27 04 08 F8 14 55 A0 15", "guard 2000", "status Erasing . . . #0", "buttons busy"}},
        {ReplyFrame(ReplyAcknowledge),
         {"status Erased Successfully", "progress 100", "status Programming Block 0 of 2",
          "write 27 04 0B F5 12 00 40 00 AB AB A8", "guard 500", "progress 50"}},
        {ReplyFrame(ReplyAcknowledge),
         {"status Updating Bootstrap . . .", "write 27 04 08 F8 15 55 A0 14", "guard 2000"}},
        {ReplyFrame(ReplyAcknowledge), {"write 27 04 06 FA 13 EB", "guard 3000", "status Verifying Checksum . . ."}},
        {ReplyFrame(CmdVerifyChecksum, {0x12, 0x34}),
         {"checksum 1234", "status Resetting Audit Data . . .", "write 27 04 06 FA 1F E7", "guard off",
          "update verified"}},
    };
    for (const Step& s : steps) {
        if (s.reply.empty())
            GuardExpires();
        else
            Receive(s.reply);
        Calls expected = {"poll off", "guard off"};
        expected.insert(expected.end(), s.taken.begin(), s.taken.end());
        EXPECT_EQ(Taken(), expected) << "step " << session->Update().FlashStep;
    }
    EXPECT_EQ(State().bStampDatePending, true);
    EXPECT_EQ(State().StampDateAttempts, 0);
}

TEST_F(SessionTest, AnUpdateEndsWithItsResultOrAForeignReply)
{
    const std::vector<FlashBlock> table = {{0x4000, HexData, Bytes(2, 0xAB)}, {0, HexEndOfFile, {}}};
    session->OpenPort(1, true);

    // The erase fails four times.
    session->StartUpdate(&table, 0x1234, true);
    GuardExpires();  // the start command is not answered: the erase goes
    for (int i = 0; i < 4; ++i) {
        Taken();
        GuardExpires();
    }
    const Calls failed = Taken();
    ASSERT_GE(failed.size(), 3u);
    EXPECT_EQ((Calls{failed.end() - 3, failed.end()}), (Calls{"result 1 at 0", "guard off", "poll on"}));
    EXPECT_EQ(session->Update().FlashStep, 0);
    EXPECT_EQ(session->Update().FlashRetryCount, 0);

    // A reply to no step of an update.
    session->PDTCommand(CmdReadAudit);
    Taken();
    Receive(ReplyFrame(CmdReadAudit, Bytes(20, 0)));
    EXPECT_EQ(Taken(), (Calls{"poll off", "guard off", "update abandoned", "poll on"}));
}

}  // namespace
}  // namespace kovrin
