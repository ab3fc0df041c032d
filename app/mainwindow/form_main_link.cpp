// The serial link of the main window: connection, receive path, poll and
// guard timers, and what the acceptor session has the window show.

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QTreeView>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include "app/config/colours.h"
#include "app/config/eeprom_map.h"
#include "app/link/acceptor_variant.h"
#include "app/link/flash_inhibit.h"
#include "app/link/update_frames.h"
#include "app/settings/program_settings.h"
#include "app/mainwindow/form_audit.h"
#include "app/mainwindow/form_main.h"
#include "app/widgets/message_seam.h"

namespace kovrin {

namespace {

QString Latin1(const std::string& s)
{
    return QString::fromLatin1(s.data(), qsizetype(s.size()));
}

}  // namespace

// ---- connection

void FormMain::Connect()
{
    // The buttons shown for the last acceptor may not fit the next one.
    buttonsKnown_ = false;
    // Reopening the port ends whatever exchange was under way: an update
    // leaves the window ready for the next, a write waiting for the unit's
    // counters sends nothing.
    if (UpdateRunning)
        EndUpdate();
    Session.CancelPendingWrite();
    Session.ClosePort();

    // A library left running would report units to a window that no longer shows them.
    StopUsbLibrary();
    programmer_ = SerialMode() ? static_cast<Programmer*>(&serialProgrammer_) : &moduleProgrammer_;
    QString error;
    if (SerialMode()) {
        ShowDisconnected();
        if (Session.OpenPort(ComPort, false)) {
            bPortErrorShown = false;
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
        } else {
            error = MSComm1->ErrorDescription();
        }
        // Also after a failure, so the poll timer keeps trying the port.
        Session.StartPolling();
    } else {
        Session.StopPolling();
        ShowDisconnected();
        cmdFlashRqt->setText("&UPDATE KDU");
        cmdFlashRqt->setAccessibleName("UPDATE KDU");
        for (int i = 4; i <= 8; ++i)
            Label6[i]->clear();
        ShowUnitMode(UnitMode::None);
        LabelFwSetupRevision->clear();
        LabelFwCalRevision->clear();
        LabelCalibrationStatus->hide();
        for (QPushButton* b : cmdCalibrate)
            b->hide();
        if (StartUsbLibrary() == 1) {
            bPortErrorShown = true;
        } else {
            bUSBLoaded = false;
            MsgBox(this, "Failed to initialise");
        }
        Session.LeaveBootLoaderSpeed();
    }
    if (error.isEmpty() || bPortErrorShown)
        return;
    bPortErrorShown = true;
    ManageButtonStates(0, false);
    ManageImages(0);
    MsgBox(this,
           "Communication Port error! " + error +
               "\nThe serial port may be in used by other application(s) or a hardware conflict exists.",
           MsgButtons::Ok, MsgIcon::Critical, "Critical Error");
}

void FormMain::OpenPortFlashSpeed()
{
    Session.StopPolling();
    Session.ClosePort();
    if (!Session.OpenPort(ComPort, true)) {
        ManageButtonStates(0, false);
        ManageImages(0);
        return;
    }
    bPortErrorShown = false;
}

void FormMain::mnuCom1_Click(int16_t index)
{
    if (Module.ModuleBusy)
        return;  // the download addresses the unit of this connection
    for (int i = 1; i <= UsbEntry; ++i)
        mnuCom1[i]->setChecked(i == index);
    ComPort = index;
    State.Settings.SettingsComPort = std::to_string(index);
    SaveSettings(State.Settings);
    if (index == UsbEntry && frmConfiguration->isVisible())
        frmConfiguration->hide();
    Connect();
}

// ---- receive path and timers

void FormMain::MSComm1_OnComm()
{
    Session.OnComm(MSComm1->CommEvent);
}

void FormMain::tmrPoll_Timer()
{
    Session.OnPollTimer(SerialMode());
}

void FormMain::tmrGuard_Timer()
{
    Session.OnGuardTimer();
}

void FormMain::TimerCmdResponseDelay_Timer()
{
    TimerCmdResponseDelay->stop();
    State.ConfigSource = ConfigFromAcceptor;
    ShowConfigurationRead();
    Session.RestartPolling();
}

// ---- what the session asks of the window

void FormMain::ShowLinkLost()
{
    ShowDisconnected();
    txtSerial->clear();
    if (!HexLoading) {  // a firmware file being read keeps its progress showing
        lblDisplay->clear();
        ProgressBar1->setValue(0);
    }
    ManageButtonStates(0, false);
    ManageImages(0);
    ClearIdentification();
    ShowCalibration(false);
    setWindowTitle(ProgramTitle);
    FlashInhibit |= InhibitNoAcceptor;
}

void FormMain::Reconnect()
{
    Connect();
}

void FormMain::PollTickChecked()
{
    FlashInhibit &= ~InhibitUpdateRequested;
    if (Session.State().AcceptorCode == 0 || Session.State().AcceptorCode == ImageCode)
        FlashInhibit &= ~InhibitOtherAcceptorCode;
    else
        FlashInhibit |= InhibitOtherAcceptorCode;
    if (unitMode_ == UnitMode::ProgramMode || ImageNamedAsAcceptor() || SuperUserMode == 2)
        FlashInhibit &= ~InhibitOtherVariant;
    else
        FlashInhibit |= InhibitOtherVariant;
    if ((FlashInhibit != 0 && SuperUserMode != 2) || Busy())
        cmdFlashRqt->setEnabled(false);
    else if (HexFileLoaded && Firmware.analysed)  // never for an image that cannot be sent
        cmdFlashRqt->setEnabled(true);
}

LocalTime FormMain::LocalNow() const
{
    return LocalTimeNow();
}

bool FormMain::DateStampUsesDayCount() const
{
    return kovrin::DateStampUsesDayCount(ImageVariant, Firmware.revision);
}

// ---- what the session has the window show

void FormMain::ShowDisconnected()
{
    Label7[0]->setText("DISCONNECTED");
    Session.ForgetAcceptor();
}

void FormMain::ShowUnitMode(UnitMode mode)
{
    unitMode_ = mode;
    Label10->setText(mode == UnitMode::ProgramMode ? "PROGRAM MODE"
                     : mode == UnitMode::Restricted ? "RESTRICTED UNIT"
                                                    : "");
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

void FormMain::ShowIdentification(const IdentifiedAcceptor& acceptor)
{
    Label6[4]->setText(QString::fromStdString(acceptor.name));
    SetMachineName(Label6[4]->text());
    setWindowTitle(QString(ProgramTitle) + "-" + Label6[4]->text());
    if (acceptor.programMode) {
        ShowUnitMode(UnitMode::ProgramMode);
        for (int i = 5; i <= 8; ++i)
            Label6[i]->clear();
        for (QLabel* l : {lblCSoftware, lblCVersion, lblCSerial, LabelFwSetupRevision, LabelFwCalRevision,
                          LabelEeSetupRevision, LabelEeCalRevision})
            l->clear();
    } else {
        ShowUnitMode(acceptor.restricted ? UnitMode::Restricted : UnitMode::None);
        Label6[8]->setText(Latin1(acceptor.serial));
        lblCSerial->setText(Label6[8]->text());
        if (txtSerial->text().isEmpty())  // an edited serial number survives later polls
            txtSerial->setText(Label6[8]->text());
        Label6[5]->setText(Latin1(acceptor.info));
        Label6[6]->setText(Latin1(acceptor.software));
        lblCSoftware->setText(Label6[6]->text());
        Label6[7]->setText(Latin1(acceptor.version));
        lblCVersion->setText(Label6[7]->text());
    }
    if (const auto& controls = acceptor.controls) {
        if (controls->billHoldAndCcTalk) {
            chkBill_Hold->setVisible(*controls->billHoldAndCcTalk);
            chkCCTalk->setVisible(*controls->billHoldAndCcTalk);
        }
        if (controls->escrowTime)
            frmEscrowTime->setVisible(*controls->escrowTime);
    }
    FlashInhibit &= ~InhibitNoAcceptor;
    Label7[0]->setText("HARDWARE FOUND");
    ManageButtonStates(State.AcceptorVariant, true);
    ManageImages(State.AcceptorVariant);
}

void FormMain::ShowFactoryRevisions(const std::string& setupHex, const std::string& calibrationHex)
{
    LabelFwSetupRevision->setText(QString::fromStdString(setupHex));
    LabelEeSetupRevision->setText(LabelFwSetupRevision->text());
    LabelFwCalRevision->setText(QString::fromStdString(calibrationHex));
    LabelEeCalRevision->setText(LabelFwCalRevision->text());
}

void FormMain::ShowCalibration(bool calibrated)
{
    LabelCalibrationStatus->setText(calibrated ? "Unit Calibrated" : "Unit Not Calibrated");
    SetTextColour(LabelCalibrationStatus, calibrated ? ColourBlack : ColourRed);
}

void FormMain::ShowConfiguration()
{
    ShowConfiguration(State.CurrentRecord, State.AcceptorVariant);
}

void FormMain::ShowConfigurationRead()
{
    ShowConfiguration(State.CurrentRecord, State.AcceptorVariant);
    FlashConfigFrame(ColourGreen);
}

void FormMain::ReportShortConfiguration(int received, int needed)
{
    MsgBox(this, QString("The acceptor sent %1 of the %2 bytes of its configuration; nothing was changed.")
                     .arg(received)
                     .arg(needed));
}

void FormMain::WaitForReboot(int ms)
{
    SetTextColour(LabelNaStatusMessage, ColourYellow);
    LabelNaStatusMessage->setText("Waiting for note acceptor to reboot.");
    TimerCmdResponseDelay->start(ms);
}

void FormMain::ShowAuditReply(const Bytes& frame)
{
    FormAudit::Default().FillFromReply(frame, State, Session.State().FirmwareVersionText);
}

void FormMain::ShowDeviceProgrammed()
{
    lblDisplay->setText("Device Programmed Successfully");
    ShowUnitMode(UnitMode::None);
}

}  // namespace kovrin
