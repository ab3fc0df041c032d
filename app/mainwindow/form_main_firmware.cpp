// Firmware files, the update, and what the serial programmer has the window do.

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include "app/config/colours.h"
#include "app/config/eeprom_map.h"
#include "app/core/acceptor_variants.h"
#include "app/core/hex_digits.h"
#include "app/link/acceptor_variant.h"
#include "app/link/flash_inhibit.h"
#include "app/settings/program_settings.h"
#include "app/settings/settings.h"
#include "app/mainwindow/form_main.h"
#include "app/widgets/message_seam.h"

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
    Session.AbandonUpdate();
    SetFirmwareButtons();
}

void FormMain::cmdOpenHex_Click()
{
    if (Busy())
        return;
    if (programmer_->KeepsFirstImage() && HexFileLoaded) {
        MsgBox(this, "Exit Kovrin and restart in order to load another file", MsgButtons::Ok, MsgIcon::None,
               "File already loaded");
        cmdOpenHex->setEnabled(false);
        return;
    }
    FileDialogRequest request;
    request.title = "Kovrin - Load Hex File";
    request.filter = "Hex file (*.hex)|*.hex|All files (*.*)|*.*";
    const QString current = QString::fromStdString(State.Settings.FirmwareFilePath);
    request.folder = QFileInfo(current).isDir() ? current : QFileInfo(current).path();
    request.fileName = QString::fromStdString(FileNameFromPath(State.Settings.FirmwareFilePath));
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
        State.Settings.FirmwareFilePath = chosen->toStdString();
        break;
    }
    lblHexFile->setText(QString::fromStdString(State.Settings.FirmwareFilePath));
    SaveSettings(State.Settings);
    LoadHexFile();
}

void FormMain::LoadHexFile()
{
    HexLoading = true;
    SetFirmwareButtons();
    const QString previousDisplay = lblDisplay->text();
    lblDisplay->setText("Loading . . .");
    QApplication::setOverrideCursor(Qt::WaitCursor);
    FlashInhibit |= InhibitNoFirmwareFile;
    ProgressBar1->setValue(0);
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);

    const auto finish = [&](const QString& display) {
        QApplication::restoreOverrideCursor();
        lblDisplay->setText(display);
        ProgressBar1->setValue(0);
        HexLoading = false;
        SetFirmwareButtons();
    };

    const auto refuse = [&](const QString& why) {
        ForgetFirmwareImage();
        finish(previousDisplay);
        MsgBox(this, why);
    };
    QFile file(QString::fromStdString(State.Settings.FirmwareFilePath));
    QByteArray text;
    if (file.size() > MaxHexFileSize) {
        refuse("The firmware file \"" + file.fileName() + "\" is too large to be an Intel HEX file.");
        return;
    }
    if (!file.open(QIODevice::ReadOnly) || (text = file.readAll(), file.error() != QFileDevice::NoError)) {
        refuse("The firmware file \"" + file.fileName() + "\" cannot be read: " + file.errorString());
        return;
    }
    const HexParseResult parsed = ParseHexText(std::string_view(text.constData(), size_t(text.size())));
    if (!parsed.error.empty()) {
        refuse(QString::fromStdString(parsed.error) + "\nThe file was not loaded.");
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
        FlashInhibit &= ~InhibitNoFirmwareFile;
    HexFileLoaded = true;
    finish("");
    switch (programmer_->UseOfLoadedImage(ImageVariant)) {
    case Programmer::ImageUse::Ready:
        cmdFlashRqt->setEnabled(true);
        break;
    case Programmer::ImageUse::Unusable:
        HexFileLoaded = false;
        break;
    case Programmer::ImageUse::FollowsAcceptor:
        break;
    }
}

void FormMain::ForgetFirmwareImage()
{
    // The image shown before is not the chosen file's: it is no longer sent, and the panel says so.
    Firmware = FirmwareImage{};
    ImageVariant = 0;
    ImageCode = 0;
    for (QLabel* l :
         {Label6[0], Label6[1], Label6[2], Label6[3], LabelRomSetupRevision, LabelRomCalRevision, lblHexChk})
        l->clear();
    Label7[1]->setText("NO SOFTWARE LOADED: THE FILE WAS REFUSED");
    cmdFlashRqt->setEnabled(false);
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
    if (!DeviceConnected()) {
        MsgBox(this, "No device connected!", MsgButtons::Ok, MsgIcon::None, "Disconnected");
        return;
    }
    if (const std::string refusal = programmer_->FirmwareRefusal(Firmware, ImageVariant); !refusal.empty()) {
        MsgBox(this, QString::fromStdString(refusal));
        return;
    }
    if (Busy() || !Firmware.analysed || Firmware.BlockTable.empty())
        return;  // never an update without a whole block table
    programmer_->WriteFirmware(Firmware, ImageVariant, ImageNamedAsAcceptor());
}

// ---- what the serial programmer has the window do

class SerialWindowHost final : public SerialProgrammerHost {
public:
    explicit SerialWindowHost(FormMain& form) : f(form) {}

    void Message(const std::string& text) override { MsgBox(&f, QString::fromStdString(text)); }
    void EnableButtons(bool enabled) override { f.ManageButtonStates(f.State.AcceptorVariant, enabled); }
    void Reconnect() override { f.Connect(); }
    void UpdateStarting() override
    {
        f.cmdFlashRqt->setEnabled(false);
        f.ManageButtonStates(f.State.AcceptorVariant, false);
        f.FlashInhibit |= InhibitUpdateRequested;
        f.FlashInhibit |= InhibitNoAcceptor;
        f.SetBackground(f.lblDisplay, ColourLightBlue);
        f.SetTextColour(f.lblDisplay, ColourBlack);
        f.lblDisplay->setText("Initializing ...");
        f.lblDeviceChk->clear();
        f.lblDeviceChk->hide();
        f.UpdateRunning = true;
        f.SetFirmwareButtons();
        f.blockRetries_ = f.bootstrapRetries_ = 0;
        for (QLabel* l : {f.Label59, f.Label60, f.Label61, f.Label62})
            l->setText("0");
    }
    void OpenPortFlashSpeed() override { f.OpenPortFlashSpeed(); }
    void UpdateDidNotStart() override
    {
        f.EndUpdate();
        f.lblDisplay->setText("The port could not be opened at 38400 baud; the update did not start.");
    }
    void UpdateUnderWay() override { f.ManageImages(f.State.AcceptorVariant); }

private:
    FormMain& f;
};

std::unique_ptr<SerialProgrammerHost> FormMain::MakeSerialHost()
{
    return std::make_unique<SerialWindowHost>(*this);
}

// ---- what the update has the window show

void FormMain::ReportFlashResult(int32_t result, int32_t blockNo)
{
    if (result == FlashPowerCycleNeeded) {
        MsgBox(this, "Flash upgrade complete.  Please power cycle the Bill Acceptor to resume normal operation",
               MsgButtons::Ok, MsgIcon::None, "Power cycle needed");
        lblDisplay->setText("Please power-cycle BA...");
        ShowUnitMode(UnitMode::None);
    } else {
        SetBackground(lblDisplay, ColourRed);
        lblDisplay->setText(QString::fromStdString(FlashResultText(result, blockNo)));
    }
    UpdateRunning = false;
    SetFirmwareButtons();
}

void FormMain::UpdateAbandoned()
{
    if (UpdateRunning)
        EndUpdate();
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
    Label60->setText(QString::number(++blockRetries_));
}

void FormMain::CountBootstrapRetry()
{
    Label61->setText(QString::number(++bootstrapRetries_));
}

void FormMain::ButtonsBusy()
{
    ManageButtonStates(State.AcceptorVariant, false);
}

void FormMain::UpdateVerified()
{
    ShowUnitMode(UnitMode::None);
    // The step stays where it is until the next poll tick, as after any success.
    UpdateRunning = false;
    SetFirmwareButtons();
    Connect();
    Session.StartPolling();
}

}  // namespace kovrin
