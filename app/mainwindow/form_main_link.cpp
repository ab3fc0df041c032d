// The serial link of the main window: connection, receive path, poll and
// guard timers, and the reply dispatcher of the acceptor's application.

#include <QCheckBox>
#include <QDate>
#include <QDateTime>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QTreeView>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include "acceptor_variant.h"
#include "eeprom_map.h"
#include "form_audit.h"
#include "form_main.h"
#include "identification.h"
#include "message_seam.h"
#include "module_main.h"
#include "qel_usb_client.h"
#include "update_frames.h"

namespace kovrin {

namespace {

QString Latin1(const std::string& s)
{
    return QString::fromLatin1(s.data(), qsizetype(s.size()));
}

}  // namespace

// ---- connection

void FormMain::SetPortSettings(const char* settings)
{
    MSComm1->CommPortNumber = ComPort;
    MSComm1->Settings = settings;
    MSComm1->InputLen = 0;
    MSComm1->RThreshold = 1;
    MSComm1->DTREnable = true;
    MSComm1->RTSEnable = true;
}

void FormMain::Connect()
{
    // The buttons shown for the last acceptor may not fit the next one.
    buttonsKnown_ = false;
    // Reopening the port ends whatever exchange was under way: an update
    // leaves the window ready for the next, a write waiting for the unit's
    // counters sends nothing.
    if (UpdateRunning)
        EndUpdate();
    ConfigWriteAwaitingCounters = false;
    if (MSComm1->PortOpen()) {
        MSComm1->Wait(500);
        MSComm1->SetPortOpen(false);
    }
    Rx.Clear();

    // A library left running would report units to a window that no longer shows them.
    StopUsbLibrary();
    QString error;
    if (SerialMode()) {
        Label7[0]->setText("DISCONNECTED");
        SetPortSettings("9600, N, 8, 1");
        const bool opened = MSComm1->SetPortOpen(true);
        Rx.Clear();
        if (opened) {
            bPortErrorShown = False;
            LabelCalibrationStatus->show();
            for (QPushButton* b : cmdCalibrate)
                b->hide();
            cmdCalibrate[0]->show();
            FrameKDU->hide();
            CommandKDUErase->hide();
            cmdViewAudit->hide();
            frmKDUAuditData->hide();
            ListKDU->hide();
            cmdFlashRqt->setText("&UPDATE BA");
            cmdFlashRqt->setAccessibleName("UPDATE BA");
            FlashMode = False;
        } else {
            error = MSComm1->ErrorDescription();
        }
        // Also after a failure, so the poll timer keeps trying the port.
        tmrPoll->start();
    } else {
        tmrPoll->stop();
        Label7[0]->setText("DISCONNECTED");
        cmdFlashRqt->setText("&UPDATE KDU");
        cmdFlashRqt->setAccessibleName("UPDATE KDU");
        for (int i = 4; i <= 8; ++i)
            Label6[i]->clear();
        Label10->clear();
        LabelFwSetupRevision->clear();
        LabelFwCalRevision->clear();
        LabelCalibrationStatus->hide();
        for (QPushButton* b : cmdCalibrate)
            b->hide();
        if (StartUsbLibrary() == 1) {
            bPortErrorShown = True;
        } else {
            bUSBLoaded = False;
            MsgBox(this, "Failed to initialise");
        }
        FlashMode = False;
    }
    if (error.isEmpty() || bPortErrorShown)
        return;
    bPortErrorShown = True;
    ManageButtonStates(0, False);
    ManageImages(0);
    MsgBox(this,
           "Communication Port error! " + error +
               "\nThe serial port may be in used by other application(s) or a hardware conflict exists.",
           MsgButtons::Ok, MsgIcon::Critical, "Critical Error");
}

void FormMain::OpenPortFlashSpeed()
{
    tmrPoll->stop();
    if (MSComm1->PortOpen()) {
        MSComm1->Wait(500);
        MSComm1->SetPortOpen(false);
    }
    SetPortSettings("38400, N, 8, 1");
    const bool opened = MSComm1->SetPortOpen(true);
    Rx.Clear();
    if (!opened) {
        ManageButtonStates(0, False);
        ManageImages(0);
        return;
    }
    FlashMode = True;
    bPortErrorShown = False;
}

void FormMain::mnuCom1_Click(int16_t index)
{
    if (ModuleBusy)
        return;  // the download addresses the unit of this connection
    for (int i = 1; i <= UsbEntry; ++i)
        mnuCom1[i]->setChecked(i == index);
    ComPort = index;
    SettingsComPort = std::to_string(index);
    SaveSettings();
    if (index == UsbEntry && frmConfiguration->isVisible())
        frmConfiguration->hide();
    Connect();
}

// ---- sending

void FormMain::PDTCommand(int16_t code)
{
    if (BuildFixedFrame(TxFrame, code, static_cast<uint8_t>(FrameAddress & 0xFF)))
        SendMessage();
}

void FormMain::SendMessage()
{
    LastCommand = TxFrame[4];
    const Bytes frame = CompleteFrame(TxFrame);
    if (frame.empty() || !MSComm1->PortOpen())
        return;
    if (MSComm1->Output(frame))
        ReplyTimedOut = False;
}

void FormMain::SendWakeByte()
{
    MSComm1->Output({WakeByte});
    MSComm1->Wait(100);
}

void FormMain::ReadEepromBlock(int32_t kind)
{
    int32_t address = 0;
    uint8_t count = 0;
    switch (kind) {
    case 1:
        address = MemoryReadAddress;
        count = 128;
        break;
    case 2:
        address = MemoryReadAddress + 128;
        count = 128;
        break;
    case 3:
        address = 0x02FA;
        count = 6;
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

void FormMain::SendStatusDateTime()
{
    TxFrame[0] = FrameStartByte;
    TxFrame[1] = static_cast<uint8_t>(FrameAddress & 0xFF);
    TxFrame[2] = 11;
    TxFrame[3] = 245;
    TxFrame[4] = CmdDateStamp;
    const QDateTime now = QDateTime::currentDateTime();
    const LocalTime local{now.date().year(), now.date().month(), now.date().day(), now.time().hour(),
                          now.time().minute()};
    const auto data = DateStampData(local, DateStampUsesDayCount(ImageVariant, Label6[3]->text().toStdString()));
    std::copy(data.begin(), data.end(), TxFrame.begin() + 5);
    SendMessage();
}

// ---- receive path and timers

void FormMain::MSComm1_OnComm()
{
    if (MSComm1->CommEvent != CommPort::comEvReceive) {
        MSComm1->Input();  // line errors: what came with them is not trusted
        return;
    }
    if (ReplyCode != ReplyAcknowledge)
        MSComm1->Wait(20);  // let the rest of the frame arrive
    const Bytes bytes = MSComm1->Input();
    const auto frame = Rx.Feed(bytes, ReplyCode);
    if (!frame || !frame->checksumOk)
        return;
    MissedReplyCount = 0;
    RxFrame = frame->bytes;
    ProcessAcceptorReply();
    RxFrame.clear();
}

void FormMain::tmrPoll_Timer()
{
    if (!SerialMode()) {
        tmrPoll->stop();
        return;
    }
    tmrGuard->stop();
    FlashInhibit &= ~0x08;
    Flash.FlashStep = 0;
    if (UpdateRunning)
        EndUpdate();  // polling again means no update is under way any more
    if (++MissedReplyCount > 3) {
        Label7[0]->setText("DISCONNECTED");
        txtSerial->clear();
        if (lblDisplay->text() != "Analyzing . . ." && lblDisplay->text() != "Loading . . .") {
            lblDisplay->clear();
            ProgressBar1->setValue(0);
        }
        ManageButtonStates(0, False);
        ManageImages(0);
        FactoryConfigValid = False;
        ClearIdentification();
        LabelCalibrationStatus->setText("Unit Not Calibrated");
        SetTextColour(LabelCalibrationStatus, 255);
        setWindowTitle(ProgramTitle);
        FlashInhibit |= 0x02;
        // A pending date stamp stays: an acceptor that takes long to start
        // after its update still gets it once it answers again.
        if (FlashMode == True) {
            Connect();
            MissedReplyCount = 0;
            tmrPoll->start();
        } else {
            OpenPortFlashSpeed();
            tmrGuard->start(500);
            MissedReplyCount = 0;
            tmrPoll->stop();
        }
    }
    if (AcceptorCode == 0 || AcceptorCode == ImageCode)
        FlashInhibit &= ~0x04;
    else
        FlashInhibit |= 0x04;
    if (Label10->text() == "PROGRAM MODE" || ImageNamedAsAcceptor() || SuperUserMode == 2)
        FlashInhibit &= ~0x10;
    else
        FlashInhibit |= 0x10;
    if ((FlashInhibit != 0 && SuperUserMode != 2) || Busy())
        cmdFlashRqt->setEnabled(false);
    else if (HexFileLoaded == True)
        cmdFlashRqt->setEnabled(true);
    PollTick();
}

void FormMain::PollTick()
{
    if (FlashMode == True && MSComm1->PortOpen() && Label7[0]->text() == "DISCONNECTED")
        SendWakeByte();
    if (AuditRequestPending) {
        // Sent in place of a poll, when no other exchange is under way; no
        // poll until it is answered, the guard brings polling back if not.
        AuditRequestPending = false;
        tmrPoll->stop();
        PDTCommand(CmdReadAudit);
        tmrGuard->start(1500);
        return;
    }
    // The stamp goes while the acceptor answers; when the last exchange went
    // unanswered, a poll looks for it instead.
    if (bStampDatePending != True || MissedReplyCount > 1) {
        PDTCommand(CmdPoll);
        return;
    }
    // Only stamps to an identified acceptor count: one that ignores the stamp
    // is then left alone, one that is still starting is waited for.
    if (Label7[0]->text() == "HARDWARE FOUND" && ++StampDateAttempts > MaxStampDateAttempts) {
        bStampDatePending = False;  // the acceptor never confirmed; poll as usual
        StampDateAttempts = 0;
        PDTCommand(CmdPoll);
        return;
    }
    MSComm1->Wait(1000);
    SendStatusDateTime();
}

void FormMain::tmrGuard_Timer()
{
    tmrGuard->stop();
    ReplyTimedOut = True;
    RxFrame.clear();
    ProcessAcceptorReply();
}

void FormMain::TimerCmdResponseDelay_Timer()
{
    TimerCmdResponseDelay->stop();
    ConfigSource = ConfigFromAcceptor;
    ShowConfiguration(CurrentRecord, AcceptorVariant);
    FlashConfigFrame(65280);
    RestartPolling();
}

// ---- dispatcher

void FormMain::RestartPolling()
{
    MissedReplyCount = 0;
    tmrPoll->start();
}

void FormMain::ProcessAcceptorReply()
{
    tmrPoll->stop();
    tmrGuard->stop();
    if (FlashMode == True) {
        ProcessFlashModeReply();
        return;
    }
    if (!RxFrame.empty() && ReplyCode == ReplyAcknowledge)
        ReplyCode = LastCommand;
    if (ConfigWriteAwaitingCounters) {
        FinishConfigurationWrite();
        return;
    }
    if (RxFrame.empty()) {
        // A guard expiry at normal speed has no reply to handle.
        RestartPolling();
        return;
    }
    switch (ReplyCode) {
    case CmdPoll:
        Identify();
        break;
    case CmdCalibrate:
        FactoryConfigValid = False;
        RestartPolling();
        break;
    case CmdReadConfiguration:
        ConfigurationRead();
        break;
    case CmdWriteConfiguration:
        SetTextColour(LabelNaStatusMessage, 65535);
        LabelNaStatusMessage->setText("Waiting for note acceptor to reboot.");
        TimerCmdResponseDelay->start(7000);
        break;
    case CmdReadMemory:
        PagedRead();
        break;
    case CmdDateStamp:
        lblDisplay->setText("Device Programmed Successfully");
        Label10->clear();
        bStampDatePending = False;
        StampDateAttempts = 0;
        RestartPolling();
        break;
    case CmdReadAudit:
        HandleAuditReply();
        break;
    default:
        RestartPolling();
        break;
    }
}

void FormMain::ClearIdentification()
{
    for (int i = 4; i <= 8; ++i)
        Label6[i]->clear();
    for (QLabel* l : {lblCSoftware, lblCVersion, lblCSerial, LabelFwSetupRevision, LabelFwCalRevision,
                      LabelEeSetupRevision, LabelEeCalRevision})
        l->clear();
    SetMachineName("");
}

void FormMain::TakeIdentificationTexts(const IdentificationReply& reply)
{
    AcceptorSerialText = reply.serial;
    SoftwareNameText = reply.software;
    FirmwareVersionText = reply.version;
    MemoryReadAddress = reply.memoryReadAddress;
    AcceptorInfoText = reply.info;
}

void FormMain::ShowAcceptorName()
{
    FrameAddress = FrameAddressOf(AcceptorVariant);
    Label6[4]->setText(QString::fromStdString(VariantName(AcceptorVariant)));
    SetMachineName(Label6[4]->text());
    setWindowTitle(QString(ProgramTitle) + "-" + Label6[4]->text());
}

void FormMain::ShowUnitState(uint8_t unitState)
{
    if (unitState == UnitStateProgramMode) {
        Label10->setText("PROGRAM MODE");
        for (int i = 5; i <= 8; ++i)
            Label6[i]->clear();
        for (QLabel* l : {lblCSoftware, lblCVersion, lblCSerial, LabelFwSetupRevision, LabelFwCalRevision,
                          LabelEeSetupRevision, LabelEeCalRevision})
            l->clear();
        AcceptorCode = 0;
        return;
    }
    AcceptorCode = unitState;
    Label10->setText(AcceptorCode != 0 ? "RESTRICTED UNIT" : "");
    Label6[8]->setText(Latin1(AcceptorSerialText));
    lblCSerial->setText(Label6[8]->text());
    if (txtSerial->text().isEmpty())  // an edited serial number survives later polls
        txtSerial->setText(Label6[8]->text());
    Label6[5]->setText(Latin1(AcceptorInfoText));
    Label6[6]->setText(Latin1(SoftwareNameText));
    lblCSoftware->setText(Label6[6]->text());
    Label6[7]->setText(Latin1(FirmwareVersionText));
    lblCVersion->setText(Label6[7]->text());
}

void FormMain::ShowHardwareFound()
{
    FlashInhibit &= ~0x02;
    Label7[0]->setText("HARDWARE FOUND");
    ManageButtonStates(AcceptorVariant, True);
    ManageImages(AcceptorVariant);
}

void FormMain::Identify()
{
    if (ConfigWritePending == True) {
        ConfigWritePending = False;
        RestartPolling();
        return;
    }
    const auto reply = ParseIdentification(RxFrame);
    if (!reply) {
        RestartPolling();  // too short to hold what it should
        return;
    }
    TakeIdentificationTexts(*reply);
    if (ConfigSource == ConfigFromFile && AcceptorVariant != reply->variant) {
        LoadEepromDefaults(CurrentRecord);  // still in the layout of the acceptor before
        ConfigSource = ConfigFromDefaults;
    }
    AcceptorVariant = static_cast<uint8_t>(KnownVariantOr0(reply->variant));
    ShowAcceptorName();
    CurrentRecord.VariantCode = AcceptorVariant;
    ShowUnitState(reply->unitState);
    UpdateVariantControls();
    ShowHardwareFound();

    if (MemoryReadAddress != 0) {
        if (FactoryConfigValid != True) {
            PagedReadState = 1;
            ReadEepromBlock(1);
            ShowConfiguration(CurrentRecord, AcceptorVariant);
        } else {
            PagedReadState = 3;
            ReadEepromBlock(3);
        }
    }
    RestartPolling();
}

void FormMain::UpdateVariantControls()
{
    const QString version = lblCVersion->text();
    if (AcceptorVariant == 5) {
        if (version.isEmpty()) {
            chkBill_Hold->hide();
            chkCCTalk->hide();
            frmEscrowTime->hide();
            return;
        }
        if (version >= "0038") {
            chkBill_Hold->show();
            chkCCTalk->show();
        }
        if (version >= "0040")
            frmEscrowTime->show();
        if (version <= "0037") {
            chkBill_Hold->hide();
            chkCCTalk->hide();
        }
        if (version <= "0039")
            frmEscrowTime->hide();
    } else if (AcceptorVariant == 7) {
        chkBill_Hold->show();
        chkCCTalk->show();
    }
}

void FormMain::PagedRead()
{
    // A page holds 128 bytes at 5 to 132 and its check byte; a status reply at least one byte.
    const auto copyPage = [this](size_t at) {
        if (RxFrame.size() < 134)
            return false;
        std::copy(RxFrame.begin() + 5, RxFrame.begin() + 133, FactoryImage.begin() + at);
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
        if (!copyPage(128)) {
            PagedReadState = 0;
            break;
        }
        DecodeEepromImage(FactoryRecord, FactoryImage, 0);
        LabelFwSetupRevision->setText(QString::fromStdString(ByteToHex(FactoryRecord.SetupRevision)));
        LabelEeSetupRevision->setText(LabelFwSetupRevision->text());
        LabelFwCalRevision->setText(QString::fromStdString(ByteToHex(FactoryRecord.CalibrationRevision)));
        LabelEeCalRevision->setText(LabelFwCalRevision->text());
        ReadEepromBlock(3);
        PagedReadState = 3;
        break;
    case 3:
        PagedReadState = 0;
        if (RxFrame.size() < 7)
            break;
        UnitCalibrated = RxFrame[5];
        if (UnitCalibrated != 0) {
            LabelCalibrationStatus->setText("Unit Calibrated");
            SetTextColour(LabelCalibrationStatus, 0);
        } else {
            LabelCalibrationStatus->setText("Unit Not Calibrated");
            SetTextColour(LabelCalibrationStatus, 255);
        }
        FactoryConfigValid = True;
        break;
    default:
        PagedReadState = 0;
        break;
    }
    RestartPolling();
}

void FormMain::ConfigurationRead()
{
    // The bytes between the code and the check byte.
    const int dataBytes = int(RxFrame.size()) - 6;
    const int16_t needed = EepromLengthOfLayout(LayoutOfVariant(AcceptorVariant));
    // Before any message: a box left open must not stop the link being watched.
    RestartPolling();
    if (dataBytes <= 0 || needed <= 0)
        return;
    if (dataBytes < needed) {
        // Decoding a short image would mix the acceptor's bytes with stale ones.
        MsgBox(this, QString("The acceptor sent %1 of the %2 bytes of its configuration; nothing was changed.")
                         .arg(dataBytes)
                         .arg(needed));
        return;
    }
    EepromLength = static_cast<int16_t>(dataBytes);
    const size_t n = std::min<size_t>(size_t(dataBytes), ConfigImage.size());
    std::copy(RxFrame.begin() + 5, RxFrame.begin() + 5 + long(n), ConfigImage.begin());
    DecodeEepromImage(CurrentRecord, ConfigImage, 1);
    ConfigSource = ConfigFromAcceptor;
    ShowConfiguration(CurrentRecord, AcceptorVariant);
    FlashConfigFrame(65280);
}

void FormMain::HandleAuditReply()
{
    FormAudit::Default().FillFromReply(RxFrame, FirmwareVersionText);
    RestartPolling();
}

}  // namespace kovrin
