// Firmware files and the update over the serial link.

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include "acceptor_variant.h"
#include "eeprom_map.h"
#include "form_main.h"
#include "identification.h"
#include "message_seam.h"
#include "module_main.h"
#include "settings.h"
#include "update_frames.h"

namespace kovrin {

namespace {

QString Latin1(const std::string& s)
{
    return QString::fromLatin1(s.data(), qsizetype(s.size()));
}

// Firmware files are a few hundred kilobytes; anything far larger is not one.
constexpr qint64 MaxHexFileSize = 16 * 1024 * 1024;

}  // namespace

void FormMain::SetFirmwareButtons()
{
    cmdOpenHex->setEnabled(!Busy());
    if (Busy())
        cmdFlashRqt->setEnabled(false);
}

bool FormMain::ImageNamedAsAcceptor() const
{
    return Label6[0]->text() == Label6[4]->text();
}

void FormMain::EndUpdate()
{
    UpdateRunning = false;
    tmrGuard->stop();
    Flash.FlashStep = 0;
    Flash.FlashRetryCount = 0;
    SetFirmwareButtons();
}

void FormMain::cmdOpenHex_Click()
{
    if (Busy())
        return;
    if (!SerialMode() && HexFileLoaded == True) {
        MsgBox(this, "Exit Kovrin and restart in order to load another file", MsgButtons::Ok, MsgIcon::None,
               "File already loaded");
        cmdOpenHex->setEnabled(false);
        return;
    }
    FileDialogRequest request;
    request.title = "Kovrin - Load Hex File";
    request.filter = "Hex file (*.hex)|*.hex|All files (*.*)|*.*";
    const QString current = QString::fromStdString(FirmwareFilePath);
    request.folder = QFileInfo(current).isDir() ? current : QFileInfo(current).path();
    request.fileName = QString::fromStdString(FileNameFromPath(FirmwareFilePath));
    for (;;) {
        const std::optional<QString> chosen = FileDialog(this, request);
        if (!chosen)
            return;
        if (chosen->isEmpty())
            continue;
        if (!QFileInfo(*chosen).isFile()) {
            MsgBox(this, "File not found!", MsgButtons::OkCancel, MsgIcon::Exclamation);
            continue;
        }
        FirmwareFilePath = chosen->toStdString();
        break;
    }
    lblHexFile->setText(QString::fromStdString(FirmwareFilePath));
    SaveSettings();
    LoadHexFile();
}

void FormMain::LoadHexFile()
{
    HexLoading = true;
    SetFirmwareButtons();
    const QString previousDisplay = lblDisplay->text();
    lblDisplay->setText("Loading . . .");
    QApplication::setOverrideCursor(Qt::WaitCursor);
    FlashInhibit |= 0x01;
    ProgressBar1->setValue(0);
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);

    const auto finish = [&](const QString& display) {
        QApplication::restoreOverrideCursor();
        lblDisplay->setText(display);
        ProgressBar1->setValue(0);
        HexLoading = false;
        SetFirmwareButtons();
    };

    QFile file(QString::fromStdString(FirmwareFilePath));
    QByteArray text;
    if (file.size() > MaxHexFileSize) {
        finish(previousDisplay);
        MsgBox(this, "The firmware file \"" + file.fileName() + "\" is too large to be an Intel HEX file.");
        return;
    }
    if (!file.open(QIODevice::ReadOnly) || (text = file.readAll(), file.error() != QFileDevice::NoError)) {
        finish(previousDisplay);
        MsgBox(this, "The firmware file \"" + file.fileName() + "\" cannot be read: " + file.errorString());
        return;
    }
    const HexParseResult parsed = ParseHexText(std::string_view(text.constData(), size_t(text.size())));
    if (!parsed.error.empty()) {
        finish(previousDisplay);
        MsgBox(this, QString::fromStdString(parsed.error) + "\nThe file was not loaded.");
        return;
    }
    ProgressBar1->setValue(100);
    lblDisplay->setText("Analyzing . . .");
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);

    // The new image replaces the old one only now that the whole file is good.
    Firmware = AnalyzeHexRecords(parsed.records);
    ImageVariant = Firmware.ImageVariant;
    ShowImageDescription();
    if (Firmware.analysed)
        FlashInhibit &= ~0x01;
    HexFileLoaded = True;
    finish("");
    if (!SerialMode()) {
        if (ImageVariant == 5 || ImageVariant == 7)
            cmdFlashRqt->setEnabled(true);
        else
            HexFileLoaded = False;
    }
}

void FormMain::ShowImageDescription()
{
    Label6[0]->setText(QString::fromStdString(ImageVariantName(ImageVariant)));
    if (ImageVariant == 0) {
        for (int i = 1; i <= 3; ++i)
            Label6[i]->clear();
        LabelRomSetupRevision->clear();
        LabelRomCalRevision->clear();
        lblHexChk->clear();
        Label7[1]->clear();
        ImageCode = 0;
        return;
    }
    Label6[1]->setText(Latin1(Firmware.name));
    Label6[2]->setText(Latin1(Firmware.description));
    Label6[3]->setText(Latin1(Firmware.revision));
    ImageCode = Firmware.ImageCode;
    LabelRomSetupRevision->setText(QString::fromStdString(ByteToHex(Firmware.setupRevision)));
    LabelRomCalRevision->setText(QString::fromStdString(ByteToHex(Firmware.calibrationRevision)));
    if (Firmware.analysed) {
        lblHexChk->setText(QString::fromStdString(ByteToHex(uint8_t(Firmware.ImageChecksum >> 8)) +
                                                  ByteToHex(uint8_t(Firmware.ImageChecksum & 0xFF))));
        Label7[1]->setText("SOFTWARE LOADED");
    } else {
        // An image without a block table cannot be sent; say so instead of "loaded".
        lblHexChk->clear();
        Label7[1]->setText("NO UPDATE FOR THIS IMAGE");
    }
}

void FormMain::cmdFlashRqt_Click()
{
    if (Label7[0]->text() == "DISCONNECTED") {
        MsgBox(this, "No device connected!", MsgButtons::Ok, MsgIcon::None, "Disconnected");
        return;
    }
    if (!SerialMode()) {
        if (Label6[3]->text().size() != 4)
            MsgBox(this, "Bad Firmware revision");
        else if (Busy() || !Firmware.analysed || Firmware.BlockTable.empty())
            return;
        else if (ImageVariant == 5)
            DownloadFirmwareToKdu(SarnelVariantId);
        else if (ImageVariant == 7)
            DownloadFirmwareToKdu(TekraVariantId);
        return;
    }
    if (Busy() || !Firmware.analysed || Firmware.BlockTable.empty())
        return;  // never an update without a whole block table
    tmrPoll->stop();
    cmdFlashRqt->setEnabled(false);
    ManageButtonStates(AcceptorVariant, False);
    MSComm1->Wait(500);
    FlashInhibit |= 0x08;
    FlashInhibit |= 0x02;
    Rx.InsertRxHeader = true;
    SetBackground(lblDisplay, 0xFFC0C0);
    SetTextColour(lblDisplay, 0);
    lblDisplay->setText("Initializing ...");
    lblDeviceChk->clear();
    lblDeviceChk->hide();
    UpdateRunning = true;
    SetFirmwareButtons();
    StartAcceptorUpdate();
    OpenPortFlashSpeed();
    if (FlashMode != True) {
        // The port did not reopen at the boot loader's speed: the update is over before it began.
        tmrGuard->stop();
        EndUpdate();
        lblDisplay->setText("The port could not be opened at 38400 baud; the update did not start.");
        RestartPolling();
        return;
    }
    ManageImages(AcceptorVariant);
}

void FormMain::StartAcceptorUpdate()
{
    PDTCommand(CmdStartUpdate);
    Flash.Start(&Firmware.BlockTable, Firmware.ImageChecksum, ImageNamedAsAcceptor());
    tmrPoll->stop();
    tmrGuard->start(1500);
    for (QLabel* l : {Label59, Label60, Label61, Label62})
        l->setText("0");
}

void FormMain::ProcessFlashModeReply()
{
    const uint8_t code = ReplyTimedOut == True ? uint8_t(ReplyTimeOut)
                         : ReplyCode == ReplyAcknowledge ? LastCommand
                                                         : ReplyCode;
    if (LastCommand == CmdPoll) {
        IdentifyBootLoader();
        return;
    }
    if (LastCommand < CmdStartUpdate || LastCommand > CmdUpdateBootstrap || Flash.FlashStep == 0) {
        // A late or foreign answer: keep the link alive.
        if (UpdateRunning)
            EndUpdate();
        Flash.FlashStep = 0;
        Flash.FlashResult = FlashNoResult;
        RestartPolling();
        return;
    }
    Flash.OnReply(code, RxFrame, ConfigWritePending);
    if (Flash.FlashResult != FlashNoResult)
        ReportFlashResult();
}

void FormMain::ReportFlashResult()
{
    const int32_t result = Flash.FlashResult;
    if (result == FlashPowerCycleNeeded) {
        MsgBox(this, "Flash upgrade complete.  Please power cycle the Bill Acceptor to resume normal operation",
               MsgButtons::Ok, MsgIcon::None, "Power cycle needed");
        lblDisplay->setText("Please power-cycle BA...");
        Label10->clear();
    } else {
        SetBackground(lblDisplay, 255);
        lblDisplay->setText(QString::fromStdString(FlashResultText(result, Flash.FlashBlockNo)));
    }
    EndUpdate();
    MissedReplyCount = 0;
    tmrPoll->start();
    tmrGuard->stop();
}

void FormMain::IdentifyBootLoader()
{
    if (ReplyTimedOut != True) {
        if (const auto reply = ParseIdentification(RxFrame, false)) {
            LoadEepromDefaults(CurrentRecord);
            ConfigSource = ConfigFromDefaults;
            TakeIdentificationTexts(*reply);
            AcceptorVariant = reply->variant;  // kept as received, also when unknown
            CurrentRecord.VariantCode = AcceptorVariant;
            ShowAcceptorName();
            ShowUnitState(reply->unitState);
            ShowHardwareFound();
        }
    }
    tmrGuard->stop();
    Flash.FlashStep = 0;
    RestartPolling();
}

// ---- the step machine's senders

void FormMain::SendEraseMemory()
{
    BuildEraseMemory(TxFrame, uint8_t(FrameAddress & 0xFF));
    SendMessage();
}

void FormMain::SendUpdateBootstrap()
{
    BuildUpdateBootstrap(TxFrame, uint8_t(FrameAddress & 0xFF));
    SendMessage();
}

void FormMain::SendVerifyChecksum()
{
    BuildVerifyChecksum(TxFrame, uint8_t(FrameAddress & 0xFF));
    SendMessage();
}

void FormMain::SendResetAuditData()
{
    BuildResetAuditData(TxFrame, uint8_t(FrameAddress & 0xFF));
    SendMessage();
}

bool FormMain::SendFlashBlock(const FlashBlock& block, uint8_t FlashBank)
{
    const Bytes frame = FlashBlockFrame(block, FlashBank, uint8_t(FrameAddress & 0xFF));
    LastCommand = CmdFlashBlock;
    if (!MSComm1->Output(frame))
        return false;
    ReplyTimedOut = False;
    return true;
}

void FormMain::Pause(int ms)
{
    MSComm1->Wait(ms);
}

void FormMain::ArmGuard(int ms)
{
    tmrGuard->start(ms);
}

void FormMain::ShowStatus(const std::string& text)
{
    lblDisplay->setText(QString::fromStdString(text));
}

void FormMain::ShowProgress(int percent)
{
    ProgressBar1->setValue(percent);
}

void FormMain::ShowDeviceChecksum(const std::string& hexDigits)
{
    lblDeviceChk->setText(QString::fromStdString(hexDigits));
    lblDeviceChk->show();
}

void FormMain::CountBlockRetry()
{
    Label60->setText(QString::number(Label60->text().toInt() + 1));
}

void FormMain::CountBootstrapRetry()
{
    Label61->setText(QString::number(Label61->text().toInt() + 1));
}

void FormMain::ButtonsBusy()
{
    ManageButtonStates(AcceptorVariant, False);
}

void FormMain::UpdateVerified()
{
    Label10->clear();
    SendResetAuditData();
    bStampDatePending = True;
    StampDateAttempts = 0;
    tmrGuard->stop();
    MissedReplyCount = 0;
    // The step stays where it is until the next poll tick, as after any success.
    UpdateRunning = false;
    SetFirmwareButtons();
    Connect();
    tmrPoll->start();
}

}  // namespace kovrin
