#include "app/link/acceptor_session.h"

#include <algorithm>
#include <utility>

#include "app/core/hex_digits.h"
#include "app/link/config_frames.h"

namespace kovrin {

namespace {

// Memory reads of the factory copy and the calibration state.
constexpr int32_t FactoryPageLength = 128;
constexpr int32_t CalibrationStateAddress = 0x02FA;
constexpr uint8_t CalibrationStateLength = 6;
// A page reply holds its 128 bytes at 5 to 132 and its check byte; a state reply at least one byte.
constexpr size_t FactoryPageReplyLength = 134;
constexpr size_t CalibrationReplyLength = 7;
constexpr size_t ReplyDataStart = 5;

// Pauses, in milliseconds.
constexpr int RebootWaitMs = 7000;
constexpr int WakePauseMs = 100;
constexpr int StampPauseMs = 1000;

}  // namespace

// ---- the port

void AcceptorSession::ClosePort()
{
    if (port_.PortOpen()) {
        port_.Wait(PortCloseWaitMs);
        port_.Close();
    }
    rx_.Clear();
}

bool AcceptorSession::OpenPort(int number, bool bootLoaderSpeed)
{
    const bool opened = port_.Open(number, bootLoaderSpeed ? BootLoaderSpeedSettings : NormalSpeedSettings);
    rx_.Clear();
    if (opened)
        FlashMode = bootLoaderSpeed;
    return opened;
}

void AcceptorSession::Shutdown()
{
    poll_.Stop();
    guard_.Stop();
    port_.Close();
}

void AcceptorSession::OnComm(int event)
{
    if (event != SerialPort::comEvReceive) {
        port_.Input();  // line errors: what came with them is not trusted
        return;
    }
    if (ReplyCode != ReplyAcknowledge)
        port_.Wait(ReceiveWaitMs);  // let the rest of the frame arrive
    const auto frame = rx_.Feed(port_.Input(), ReplyCode);
    if (!frame || !frame->checksumOk)
        return;
    MissedReplyCount = 0;
    ProcessAcceptorReply(frame->bytes);
}

void AcceptorSession::OnGuardTimer()
{
    guard_.Stop();
    ReplyTimedOut = true;
    ProcessAcceptorReply({});
}

void AcceptorSession::OnPollTimer(bool serial)
{
    if (!serial) {
        poll_.Stop();
        return;
    }
    guard_.Stop();
    Flash.FlashStep = 0;
    host_.UpdateAbandoned();  // polling again means no update is under way any more
    if (++MissedReplyCount > MaxMissedReplies) {
        AcceptorFound = false;
        host_.ShowLinkLost();
        state_.FactoryConfigValid = false;
        // A pending date stamp stays: an acceptor that takes long to start
        // after its update still gets it once it answers again.
        if (FlashMode) {
            host_.Reconnect();
            MissedReplyCount = 0;
            poll_.Start();
        } else {
            host_.OpenPortFlashSpeed();
            guard_.Start(ProbeGuardMs);
            MissedReplyCount = 0;
            poll_.Stop();
        }
    }
    host_.PollTickChecked();
    PollTick();
}

// ---- exchanges the window starts

void AcceptorSession::ReadConfiguration()
{
    poll_.Stop();
    PDTCommand(CmdReadConfiguration);
    guard_.Start(ExchangeGuardMs);
}

void AcceptorSession::Calibrate()
{
    poll_.Stop();  // the calibration's answer comes before the next poll
    PDTCommand(CmdCalibrate);
    guard_.Start(ExchangeGuardMs);
}

void AcceptorSession::StartUpdate(const std::vector<FlashBlock>* table, uint32_t ImageChecksum, bool sameVariant)
{
    PDTCommand(CmdStartUpdate);
    StampUsesDayCount = host_.DateStampUsesDayCount();
    Flash.Start(table, ImageChecksum, sameVariant);
    poll_.Stop();
    guard_.Start(ExchangeGuardMs);
}

// ---- sending

void AcceptorSession::PDTCommand(int16_t code)
{
    if (BuildFixedFrame(TxFrame, code, Address()))
        SendMessage();
}

void AcceptorSession::SendMessage()
{
    LastCommand = TxFrame[4];
    const Bytes frame = CompleteFrame(TxFrame);
    if (frame.empty() || !port_.PortOpen())
        return;
    if (port_.Output(frame))
        ReplyTimedOut = false;
}

void AcceptorSession::SendWakeByte()
{
    port_.Output({WakeByte});
    port_.Wait(WakePauseMs);
}

void AcceptorSession::ReadEepromBlock(int32_t kind)
{
    int32_t address = 0;
    uint8_t count = 0;
    switch (kind) {
    case 1:
        address = MemoryReadAddress;
        count = FactoryPageLength;
        break;
    case 2:
        address = MemoryReadAddress + FactoryPageLength;
        count = FactoryPageLength;
        break;
    case 3:
        address = CalibrationStateAddress;
        count = CalibrationStateLength;
        break;
    default:
        return;
    }
    TxFrame[5] = 0;
    TxFrame[6] = static_cast<uint8_t>((address / 256) & 0xFF);
    TxFrame[7] = static_cast<uint8_t>(address % 256);
    TxFrame[8] = count;
    PDTCommand(CmdReadMemory);
}

void AcceptorSession::SendStatusDateTime()
{
    const auto data = DateStampData(host_.LocalNow(), StampUsesDayCount);
    constexpr int n = int(FrameHeaderLength + data.size());
    TxFrame[0] = FrameStartByte;
    TxFrame[1] = Address();
    TxFrame[2] = n;
    TxFrame[3] = 256 - n;
    TxFrame[4] = CmdDateStamp;
    std::copy(data.begin(), data.end(), TxFrame.begin() + ReplyDataStart);
    SendMessage();
}

void AcceptorSession::PollTick()
{
    if (FlashMode && port_.PortOpen() && !AcceptorFound)
        SendWakeByte();
    if (AuditRequestPending) {
        // Sent in place of a poll, when no other exchange is under way; no
        // poll until it is answered, the guard brings polling back if not.
        AuditRequestPending = false;
        poll_.Stop();
        PDTCommand(CmdReadAudit);
        guard_.Start(ExchangeGuardMs);
        return;
    }
    // The stamp goes while the acceptor answers; when the last exchange went
    // unanswered, a poll looks for it instead.
    if (!bStampDatePending || MissedReplyCount > 1) {
        PDTCommand(CmdPoll);
        return;
    }
    // Only stamps to an identified acceptor count: one that ignores the stamp
    // is then left alone, one that is still starting is waited for.
    if (AcceptorFound && ++StampDateAttempts > MaxStampDateAttempts) {
        bStampDatePending = false;  // the acceptor never confirmed; poll as usual
        StampDateAttempts = 0;
        PDTCommand(CmdPoll);
        return;
    }
    port_.Wait(StampPauseMs);
    SendStatusDateTime();
}

void AcceptorSession::WriteConfiguration(const EepromImage& image, int16_t length, EepromLayout layout)
{
    if (!WriteCarriesAuditCounters(layout)) {
        SendConfigurationWrite(image, length);
        return;
    }
    // The audit counters are the unit's own: whatever the record carries (defaults, another
    // unit's file, a read before it counted more notes) would overwrite them. Read them now.
    PendingWriteImage = image;
    PendingWriteLength = length;
    PendingWriteLayout = layout;
    ConfigWriteAwaitingCounters = true;
    PDTCommand(CmdReadConfiguration);
    guard_.Start(ExchangeGuardMs);  // no answer refuses the write
}

void AcceptorSession::SendConfigurationWrite(const EepromImage& image, int16_t length)
{
    state_.EepromLength = length;
    if (!BuildConfigurationWrite(TxFrame, image, length, Address()))
        return;
    SendMessage();
    ConfigWritePending = true;
    guard_.Start(ExchangeGuardMs);  // polling comes back if the acceptor does not answer
}

void AcceptorSession::FinishConfigurationWrite(const Bytes& frame)
{
    ConfigWriteAwaitingCounters = false;
    EepromImage image = PendingWriteImage;
    const bool read = !frame.empty() && ReplyCode == CmdReadConfiguration;
    if (!read || !SpliceAuditCounters(image, frame, PendingWriteLayout)) {
        RestartPolling();  // before the message, so the link is watched while it shows
        host_.ConfigurationWriteRefused();
        return;
    }
    // The record holds what the unit will hold.
    const size_t at = AuditCountersOffset(PendingWriteLayout).value_or(0);
    std::copy(image.begin() + long(at), image.begin() + long(at + AuditCountersLength),
              state_.CurrentRecord.AuditCounters.begin());
    SendConfigurationWrite(image, PendingWriteLength);
}

// ---- the step machine's senders

void AcceptorSession::SendFixed(void (*build)(TxBuffer&, uint8_t))
{
    build(TxFrame, Address());
    SendMessage();
}

void AcceptorSession::SendEraseMemory()
{
    SendFixed(BuildEraseMemory);
}

void AcceptorSession::SendUpdateBootstrap()
{
    SendFixed(BuildUpdateBootstrap);
}

void AcceptorSession::SendVerifyChecksum()
{
    SendFixed(BuildVerifyChecksum);
}

void AcceptorSession::SendResetAuditData()
{
    SendFixed(BuildResetAuditData);
}

bool AcceptorSession::SendFlashBlock(const FlashBlock& block, uint8_t FlashBank)
{
    const Bytes frame = FlashBlockFrame(block, FlashBank, Address());
    LastCommand = CmdFlashBlock;
    if (!port_.Output(frame))
        return false;
    ReplyTimedOut = false;
    return true;
}

void AcceptorSession::UpdateVerified()
{
    SendResetAuditData();
    bStampDatePending = true;
    StampDateAttempts = 0;
    guard_.Stop();
    MissedReplyCount = 0;
    host_.UpdateVerified();
}

// ---- receiving

void AcceptorSession::RestartPolling()
{
    MissedReplyCount = 0;
    poll_.Start();
}

void AcceptorSession::AbandonUpdate()
{
    guard_.Stop();
    Flash.FlashStep = 0;
    Flash.FlashRetryCount = 0;
}

void AcceptorSession::ProcessAcceptorReply(const Bytes& RxFrame)
{
    poll_.Stop();
    guard_.Stop();
    if (RxFrame.size() >= FrameHeaderLength)
        ReplyCode = RxFrame[4];  // as the receive path found it
    if (FlashMode) {
        ProcessFlashModeReply(RxFrame);
        return;
    }
    if (!RxFrame.empty() && ReplyCode == ReplyAcknowledge)
        ReplyCode = LastCommand;
    if (ConfigWriteAwaitingCounters) {
        FinishConfigurationWrite(RxFrame);
        return;
    }
    if (RxFrame.empty()) {
        // A guard expiry at normal speed has no reply to handle.
        RestartPolling();
        return;
    }
    switch (ReplyCode) {
    case CmdPoll:
        Identify(RxFrame);
        break;
    case CmdCalibrate:
        state_.FactoryConfigValid = false;
        RestartPolling();
        break;
    case CmdReadConfiguration:
        ConfigurationRead(RxFrame);
        break;
    case CmdWriteConfiguration:
        host_.WaitForReboot(RebootWaitMs);  // polling goes on after the reboot
        break;
    case CmdReadMemory:
        PagedRead(RxFrame);
        break;
    case CmdDateStamp:
        host_.ShowDeviceProgrammed();
        bStampDatePending = false;
        StampDateAttempts = 0;
        RestartPolling();
        break;
    case CmdReadAudit:
        host_.ShowAuditReply(RxFrame);
        RestartPolling();
        break;
    default:
        RestartPolling();
        break;
    }
}

void AcceptorSession::ProcessFlashModeReply(const Bytes& frame)
{
    const uint8_t code = ReplyTimedOut ? uint8_t(ReplyTimeOut)
                         : ReplyCode == ReplyAcknowledge ? LastCommand
                                                         : ReplyCode;
    if (LastCommand == CmdPoll) {
        IdentifyBootLoader(frame);
        return;
    }
    if (LastCommand < CmdStartUpdate || LastCommand > CmdUpdateBootstrap || Flash.FlashStep == 0) {
        // A late or foreign answer: keep the link alive.
        host_.UpdateAbandoned();
        Flash.FlashStep = 0;
        Flash.FlashResult = FlashNoResult;
        RestartPolling();
        return;
    }
    Flash.OnReply(code, frame, ConfigWritePending);
    if (Flash.FlashResult == FlashNoResult)
        return;
    host_.ReportFlashResult(Flash.FlashResult, Flash.FlashBlockNo);
    AbandonUpdate();
    RestartPolling();
}

void AcceptorSession::IdentifyBootLoader(const Bytes& frame)
{
    if (!ReplyTimedOut) {
        if (const auto reply = ParseIdentification(frame, false)) {
            state_.LoadEepromDefaults(state_.CurrentRecord);
            state_.ConfigSource = ConfigFromDefaults;
            TakeIdentificationTexts(*reply);
            state_.AcceptorVariant = reply->variant;  // kept as received, also when unknown
            state_.CurrentRecord.VariantCode = state_.AcceptorVariant;
            host_.ShowIdentification(TakeIdentity(reply->unitState, std::nullopt));
        }
    }
    guard_.Stop();
    Flash.FlashStep = 0;
    RestartPolling();
}

void AcceptorSession::TakeIdentificationTexts(const IdentificationReply& reply)
{
    AcceptorSerialText = reply.serial;
    SoftwareNameText = reply.software;
    FirmwareVersionText = reply.version;
    MemoryReadAddress = reply.memoryReadAddress;
    AcceptorInfoText = reply.info;
}

IdentifiedAcceptor AcceptorSession::TakeIdentity(uint8_t unitState, std::optional<VariantControls> controls)
{
    FrameAddress = FrameAddressOf(state_.AcceptorVariant);
    IdentifiedAcceptor acceptor;
    acceptor.name = VariantName(state_.AcceptorVariant);
    acceptor.programMode = unitState == UnitStateProgramMode;
    AcceptorCode = acceptor.programMode ? 0 : unitState;
    acceptor.restricted = AcceptorCode != 0;
    if (!acceptor.programMode) {
        acceptor.serial = AcceptorSerialText;
        acceptor.info = AcceptorInfoText;
        acceptor.software = SoftwareNameText;
        acceptor.version = FirmwareVersionText;
    }
    acceptor.controls = std::move(controls);
    AcceptorFound = true;
    return acceptor;
}

void AcceptorSession::Identify(const Bytes& frame)
{
    if (ConfigWritePending) {
        ConfigWritePending = false;
        RestartPolling();
        return;
    }
    const auto reply = ParseIdentification(frame);
    if (!reply) {
        RestartPolling();  // too short to hold what it should
        return;
    }
    TakeIdentificationTexts(*reply);
    if (state_.ConfigSource == ConfigFromFile && state_.AcceptorVariant != reply->variant) {
        state_.LoadEepromDefaults(state_.CurrentRecord);  // still in the layout of the acceptor before
        state_.ConfigSource = ConfigFromDefaults;
    }
    state_.AcceptorVariant = static_cast<uint8_t>(KnownVariantOr0(reply->variant));
    state_.CurrentRecord.VariantCode = state_.AcceptorVariant;
    const bool programMode = reply->unitState == UnitStateProgramMode;
    host_.ShowIdentification(
        TakeIdentity(reply->unitState, VariantControlsFor(state_.AcceptorVariant, programMode ? "" : FirmwareVersionText)));

    if (MemoryReadAddress != 0) {
        if (!state_.FactoryConfigValid) {
            PagedReadState = 1;
            ReadEepromBlock(1);
            host_.ShowConfiguration();
        } else {
            PagedReadState = 3;
            ReadEepromBlock(3);
        }
    }
    RestartPolling();
}

void AcceptorSession::PagedRead(const Bytes& frame)
{
    const auto copyPage = [&](size_t at) {
        if (frame.size() < FactoryPageReplyLength)
            return false;
        std::copy(frame.begin() + ReplyDataStart, frame.begin() + ReplyDataStart + FactoryPageLength,
                  FactoryImage.begin() + long(at));
        return true;
    };
    switch (PagedReadState) {
    case 1:
        if (!copyPage(0)) {
            PagedReadState = 0;
            break;
        }
        ReadEepromBlock(2);
        PagedReadState = 2;
        break;
    case 2:
        if (!copyPage(FactoryPageLength)) {
            PagedReadState = 0;
            break;
        }
        state_.DecodeEepromImage(state_.FactoryRecord, FactoryImage, 0);
        host_.ShowFactoryRevisions(ByteToHex(state_.FactoryRecord.SetupRevision),
                                   ByteToHex(state_.FactoryRecord.CalibrationRevision));
        ReadEepromBlock(3);
        PagedReadState = 3;
        break;
    case 3:
        PagedReadState = 0;
        if (frame.size() < CalibrationReplyLength)
            break;
        UnitCalibrated = frame[ReplyDataStart];
        host_.ShowCalibration(UnitCalibrated != 0);
        state_.FactoryConfigValid = true;
        break;
    default:
        PagedReadState = 0;
        break;
    }
    RestartPolling();
}

void AcceptorSession::ConfigurationRead(const Bytes& frame)
{
    // The bytes between the code and the check byte.
    const int dataBytes = int(frame.size()) - int(FrameHeaderLength);
    const int16_t needed = EepromLengthOfLayout(LayoutOfVariant(state_.AcceptorVariant));
    // Before any message: a box left open must not stop the link being watched.
    RestartPolling();
    if (dataBytes <= 0 || needed <= 0)
        return;
    if (dataBytes < needed) {
        // Decoding a short image would mix the acceptor's bytes with stale ones.
        host_.ReportShortConfiguration(dataBytes, needed);
        return;
    }
    state_.EepromLength = static_cast<int16_t>(dataBytes);
    const size_t n = std::min<size_t>(size_t(dataBytes), ConfigImage.size());
    std::copy(frame.begin() + ReplyDataStart, frame.begin() + long(ReplyDataStart + n), ConfigImage.begin());
    state_.DecodeEepromImage(state_.CurrentRecord, ConfigImage, 1);
    state_.ConfigSource = ConfigFromAcceptor;
    host_.ShowConfigurationRead();
}

}  // namespace kovrin
