#pragma once
// The acceptor's side of the serial link, without widgets: the frames the
// program sends, what it sends on each poll tick, and what every reply means,
// for the acceptor's application and for its boot loader during an update.
// It speaks through the port and paces itself with the poll and guard timers;
// the window keeps the labels and is the host.

#include <optional>
#include <string>

#include "app/config/eeprom_map.h"
#include "app/config/program_state.h"
#include "app/link/acceptor_variant.h"
#include "app/link/flash_update.h"
#include "app/link/identification.h"
#include "app/link/link_timer.h"
#include "app/link/rx_assembler.h"
#include "app/link/serial_frame.h"
#include "app/link/serial_port.h"
#include "app/link/update_frames.h"

namespace kovrin {

// ---- timing and settings of the link
constexpr const char* NormalSpeedSettings = "9600, N, 8, 1";
constexpr const char* BootLoaderSpeedSettings = "38400, N, 8, 1";
constexpr int PollIntervalMs = 500;
constexpr int ExchangeGuardMs = 1500;     // how long a command's reply is waited for
constexpr int ProbeGuardMs = 500;         // how long a boot loader probed for at 38400 is waited for
constexpr int ReceiveWaitMs = 20;         // the rest of a frame arrives meanwhile
constexpr int PortCloseWaitMs = 500;      // the port stays open this long before it closes
constexpr int16_t MaxMissedReplies = 3;   // one more and the acceptor is lost

// What an identification found, for the window to show at once.
struct IdentifiedAcceptor {
    std::string name;          // the variant's name, as the window shows it and compares it
    bool programMode = false;  // the unit is in program mode: it has no texts to show
    bool restricted = false;   // the unit reports an acceptor code of its own
    std::string serial, info, software, version;
    // The configuration screen's controls for the variant; a boot loader's answer says nothing of them.
    std::optional<VariantControls> controls;
};

// What the session needs of the window.
class AcceptorSessionHost : public FlashUpdateDisplay {
public:
    virtual ~AcceptorSessionHost() = default;

    // ---- what the link asks of the window
    // The acceptor stopped answering: what was shown of it goes.
    virtual void ShowLinkLost() = 0;
    // Back to the normal speed (the window's Connect), or over to the boot loader's, while probing.
    virtual void Reconnect() = 0;
    virtual void OpenPortFlashSpeed() = 0;
    // A poll tick is about to send: the update button follows what is known now.
    virtual void PollTickChecked() = 0;
    virtual LocalTime LocalNow() const = 0;
    // Whether the loaded firmware image's acceptor takes the date stamp as a day count; asked as an
    // update starts, so that the stamp after it follows the image flashed, whatever is loaded meanwhile.
    virtual bool DateStampUsesDayCount() const = 0;

    // ---- an identification
    // An acceptor, or its boot loader, answered a poll: the update may go on, its buttons and picture show.
    virtual void ShowIdentification(const IdentifiedAcceptor& acceptor) = 0;
    virtual void ShowFactoryRevisions(const std::string& setupHex, const std::string& calibrationHex) = 0;
    virtual void ShowCalibration(bool calibrated) = 0;

    // ---- the configuration
    // The state's CurrentRecord changed: the configuration screen shows it.
    virtual void ShowConfiguration() = 0;
    // The acceptor's configuration was read into the state's CurrentRecord.
    virtual void ShowConfigurationRead() = 0;
    // A configuration read held fewer bytes than the layout needs; nothing changed.
    virtual void ReportShortConfiguration(int received, int needed) = 0;
    // The write waited for the unit's own audit counters and did not get them; nothing was sent.
    virtual void ConfigurationWriteRefused() = 0;
    // The write was taken: the acceptor reboots for `ms` milliseconds before polling goes on.
    virtual void WaitForReboot(int ms) = 0;

    // ---- service replies
    virtual void ShowAuditReply(const Bytes& frame) = 0;
    // The date stamp after an update was taken.
    virtual void ShowDeviceProgrammed() = 0;

    // ---- the firmware update (its progress shows through FlashUpdateDisplay)
    // The checksum matched and the audit data reset was sent: back to the normal speed.
    virtual void UpdateVerified() = 0;
    // The update ended with `result` (FlashResultCode) at block `blockNo`.
    virtual void ReportFlashResult(int32_t result, int32_t blockNo) = 0;
    // An update under way met a reply that is no part of it, and is over.
    virtual void UpdateAbandoned() = 0;
};

// What the session knows of the link and the acceptor. The session alone
// changes it; the window and the tests read it.
struct AcceptorLinkState {
    // ---- the link
    bool FlashMode = false;       // the port is open at the boot loader's speed
    int16_t MissedReplyCount = 0;    // poll ticks since the last valid reply
    bool ReplyTimedOut = false;   // the guard expired since the last frame sent
    uint8_t ReplyCode = 0;           // byte 4 of the frame being received
    uint8_t LastCommand = 0;         // byte 4 of the last frame sent
    int32_t FrameAddress = 0;        // byte 1 of every frame sent
    bool AcceptorFound = false;      // an acceptor answered since the port opened or it was lost
    TxBuffer TxFrame{};

    // ---- the identified acceptor
    int16_t AcceptorCode = 0;
    std::string AcceptorSerialText;
    std::string AcceptorInfoText;
    std::string SoftwareNameText;
    std::string FirmwareVersionText;
    int32_t MemoryReadAddress = 0;
    int32_t PagedReadState = 0;
    uint8_t UnitCalibrated = 0;
    EepromImage ConfigImage{};
    EepromImage FactoryImage{};

    // ---- exchanges that span several replies
    bool bStampDatePending = false;
    // The form of that stamp, decided by the image the update flashed.
    bool StampUsesDayCount = false;
    // Date stamps sent to an identified acceptor without an answer; bounded
    // so one that ignores the stamp is polled as usual again.
    int StampDateAttempts = 0;
    static constexpr int MaxStampDateAttempts = 5;
    // The audit counters were asked for; the next poll tick sends the request.
    bool AuditRequestPending = false;
    bool ConfigWritePending = false;
    // A configuration write waits for the unit's own audit counters, read
    // just before it; the image to send once they are in.
    bool ConfigWriteAwaitingCounters = false;
    EepromImage PendingWriteImage{};
    int16_t PendingWriteLength = 0;
    EepromLayout PendingWriteLayout = EepromLayout::None;
};

class AcceptorSession : private FlashUpdateHost, private AcceptorLinkState {
    // First: the step machine below is built with them.
    SerialPort& port_;
    LinkTimer& poll_;
    LinkTimer& guard_;
    AcceptorSessionHost& host_;
    // The configuration and the attached acceptor's variant, which the link reads and sets.
    ProgramState& state_;

public:
    AcceptorSession(SerialPort& port, LinkTimer& poll, LinkTimer& guard, AcceptorSessionHost& host,
                    ProgramState& state)
        : port_(port), poll_(poll), guard_(guard), host_(host), state_(state)
    {
    }

    // ---- the port
    // Closes the port once what it sends has left; what was held of a reply goes with it.
    void ClosePort();
    // Opens port `number` at the normal or the boot loader's speed; on failure the speed stays as it was.
    bool OpenPort(int number, bool bootLoaderSpeed);
    // The port is given up for the module: the next serial connection starts at the normal speed.
    void LeaveBootLoaderSpeed() { FlashMode = false; }
    // The next reply may come without its first two bytes (the boot loader's first, after an update start).
    void ExpectHeaderlessReply() { rx_.InsertRxHeader = true; }
    // The port's receive event: every complete frame with a right check byte is handled.
    void OnComm(int event);
    // The guard ran out before a reply came.
    void OnGuardTimer();
    // The poll timer's tick: counts a missed reply, gives the acceptor up after too many and probes
    // the other speed, then polls. `serial`: the port menu names a serial port, not the module.
    void OnPollTimer(bool serial);
    const RxAssembler& Receiver() const { return rx_; }
    const AcceptorLinkState& State() const { return *this; }
    // The update's step machine: where it stands.
    const FlashUpdate& Update() const { return Flash; }
    // The window goes: nothing more is sent or waited for.
    void Shutdown();
    // The window shows no acceptor any more: the next one found is found anew.
    void ForgetAcceptor() { AcceptorFound = false; }
    // A configuration write waiting for the unit's counters sends nothing (the port is reopened).
    void CancelPendingWrite() { ConfigWriteAwaitingCounters = false; }
    // The audit counters are asked for on the next poll tick, so the request never meets an exchange under way.
    void RequestAudit() { AuditRequestPending = true; }

    // ---- polling
    void StartPolling() { poll_.Start(); }
    void StopPolling() { poll_.Stop(); }
    // Blocks for `ms` milliseconds while the port takes in what is on its way.
    void Wait(int ms) { port_.Wait(ms); }

    // ---- exchanges the window starts; each stops polling, and the guard brings it back if no reply comes
    void ReadConfiguration();
    void Calibrate();
    // The update of `table` starts with its command, before the window reopens the port at the boot
    // loader's speed. `sameVariant`: the image is for the attached acceptor's variant.
    void StartUpdate(const std::vector<FlashBlock>* table, uint32_t ImageChecksum, bool sameVariant);

    // ---- sending
    void PDTCommand(int16_t code);
    void SendMessage();
    void SendWakeByte() override;
    // Kind 1: the first page of the factory copy, 2: its second page, 3: the calibration state.
    void ReadEepromBlock(int32_t kind);
    void SendStatusDateTime();
    // The poll, or what goes in its place: the audit request, the date stamp.
    void PollTick();
    // Writes the leading `length` bytes of `image`; a layout that holds the
    // unit's audit counters first reads them from the unit.
    void WriteConfiguration(const EepromImage& image, int16_t length, EepromLayout layout);

    // ---- receiving
    // One valid frame from the receive path, or none when the guard expired; a frame's code is its byte 4.
    void ProcessAcceptorReply(const Bytes& RxFrame);
    // No exchange is under way any more: polling goes on.
    void RestartPolling();
    // An update ends without its result: the step machine starts from nothing next time.
    void AbandonUpdate();

private:
    FlashUpdate Flash{*this, host_};
    RxAssembler rx_;

    void ProcessFlashModeReply(const Bytes& frame);
    void IdentifyBootLoader(const Bytes& frame);
    void Identify(const Bytes& frame);
    void TakeIdentificationTexts(const IdentificationReply& reply);
    // AcceptorVariant answered in `unitState`: the link now addresses it and counts it as found.
    IdentifiedAcceptor TakeIdentity(uint8_t unitState, std::optional<VariantControls> controls);
    void PagedRead(const Bytes& frame);
    void ConfigurationRead(const Bytes& frame);
    void SendConfigurationWrite(const EepromImage& image, int16_t length);
    void FinishConfigurationWrite(const Bytes& frame);
    void SendFixed(void (*build)(TxBuffer&, uint8_t));

    // The step machine's side of the link.
    void SendEraseMemory() override;
    void SendUpdateBootstrap() override;
    void SendVerifyChecksum() override;
    void SendResetAuditData();
    bool SendFlashBlock(const FlashBlock& block, uint8_t FlashBank) override;
    void Pause(int ms) override { port_.Wait(ms); }
    void ArmGuard(int ms) override { guard_.Start(ms); }
    void UpdateVerified() override;

    uint8_t Address() const { return static_cast<uint8_t>(FrameAddress & 0xFF); }
};

}  // namespace kovrin
