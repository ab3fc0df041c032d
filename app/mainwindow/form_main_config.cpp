// Reading and writing the acceptor's configuration over the serial link.

#include <QLabel>
#include <QFrame>
#include <QListWidget>
#include <QScrollBar>
#include <QTimer>

#include "app/config/eeprom_map.h"
#include "app/config/screen/form_warning.h"
#include "app/config/screen_values.h"
#include "app/link/acceptor_variant.h"
#include "app/mainwindow/form_main.h"
#include "app/widgets/message_seam.h"

namespace kovrin {

bool FormMain::ConfigurationPossible()
{
    const std::string refusal = NoLayoutText(State.AcceptorVariant);
    if (refusal.empty())
        return true;
    MsgBox(this, QString::fromStdString(refusal));
    return false;
}

void FormMain::cmdConfig_Click()
{
    frmConfiguration->cmdConfig_Click();
    // The scroll bars stay above the frame that now lies over the panel.
    HScroll1->raise();
    VScroll1->raise();
    Frame9->raise();
}

void FormMain::cmdRefresh_Click()
{
    if (!SerialMode()) {
        RefreshConfigurationFromKdu();
        return;
    }
    if (!ConfigurationPossible())
        return;
    ManageButtonStates(State.AcceptorVariant, false);
    Session.StopPolling();
    Session.Wait(ReceiveWaitMs);
    Connect();
    Session.ReadConfiguration();
}

void FormMain::cmdSend_Click()
{
    if (!DeviceConnected()) {
        MsgBox(this, "Device not connected");
        return;
    }
    if (!ConfigurationPossible())
        return;
    if (SerialMode() && LayoutOfVariant(State.CurrentRecord.VariantCode) != LayoutOfVariant(State.AcceptorVariant)) {
        // Bytes of one layout would land in the wrong places of the other.
        MsgBox(this, "The configuration being edited is for another kind of acceptor than the one attached; "
                     "nothing was sent.");
        return;
    }
    if (!frmConfiguration->ValidateConfigurationFields()) {
        MsgBox(this, "Invalid configuration");
        return;
    }
    if (SerialMode()) {
        ManageButtonStates(State.AcceptorVariant, false);
        Session.StopPolling();
        Session.Wait(ReceiveWaitMs);
        Connect();
        Session.StopPolling();  // no poll between the write and its answer
    }
    const auto giveUp = [this] {
        ManageButtonStates(State.AcceptorVariant, true);
        if (SerialMode())
            Session.RestartPolling();
    };
    if (State.ConfigSource == ConfigFromDefaults && !AskDefaultsWarning(frmWarning, this)) {
        giveUp();
        return;
    }
    EepromRecord edited = State.CurrentRecord;
    if (!frmConfiguration->ReadConfigurationScreen(edited)) {
        giveUp();
        return;
    }
    State.CurrentRecord = edited;
    DownloadConfiguration(State.CurrentRecord);
}

void FormMain::DownloadConfiguration(EepromRecord& record)
{
    if (!SerialMode()) {
        DownloadConfigurationToKdu(record);
        return;
    }
    EepromImage image{};
    const CodecResult encoded = EncodeEepromImage(record, image);
    // The record's own layout decides how many bytes go, never a length left by another acceptor.
    const int16_t length = EepromLengthOf(record);
    if (!encoded || length == 0) {
        MsgBox(this, QString::fromStdString(encoded ? NoLayoutText(record.VariantCode) : encoded.message) +
                         "\nNothing was sent.");
        ManageButtonStates(State.AcceptorVariant, true);
        Session.RestartPolling();
        return;
    }
    Session.WriteConfiguration(image, length, LayoutOfVariant(record.VariantCode));
}

void FormMain::ConfigurationWriteRefused()
{
    ManageButtonStates(State.AcceptorVariant, true);
    MsgBox(this, "The note acceptor did not report its audit counters, so its configuration was not written. "
                 "Nothing was sent.");
}

bool FormMain::ExtractConfigFromImage()
{
    const auto config = kovrin::ExtractConfigFromImage(Firmware);
    if (!config)
        return false;
    State.AcceptorVariant = ImageVariant;
    State.DecodeEepromImage(State.FactoryRecord, *config, 0);
    ShowModuleButtons();  // the buttons of the image's variant
    return true;
}

}  // namespace kovrin
