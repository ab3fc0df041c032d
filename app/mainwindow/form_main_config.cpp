// Reading and writing the acceptor's configuration over the serial link.

#include <QLabel>
#include <QFrame>
#include <QListWidget>
#include <QScrollBar>
#include <QTimer>

#include "acceptor_variant.h"
#include "config_frames.h"
#include "eeprom_map.h"
#include "form_main.h"
#include "form_warning.h"
#include "message_seam.h"
#include "screen_values.h"

namespace kovrin {

bool FormMain::ConfigurationPossible()
{
    const std::string refusal = NoLayoutText(AcceptorVariant);
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
    ManageButtonStates(AcceptorVariant, False);
    tmrPoll->stop();
    MSComm1->Wait(20);
    Connect();
    tmrPoll->stop();  // no poll between the request and its answer
    PDTCommand(CmdReadConfiguration);
    tmrGuard->start(1500);  // polling comes back if the acceptor does not answer
}

void FormMain::cmdSend_Click()
{
    if (Label7[0]->text() == "DISCONNECTED") {
        MsgBox(this, "Device not connected");
        return;
    }
    if (!ConfigurationPossible())
        return;
    if (SerialMode() && LayoutOfVariant(CurrentRecord.VariantCode) != LayoutOfVariant(AcceptorVariant)) {
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
        ManageButtonStates(AcceptorVariant, False);
        tmrPoll->stop();
        MSComm1->Wait(20);
        Connect();
        tmrPoll->stop();  // no poll between the write and its answer
    }
    const auto giveUp = [this] {
        ManageButtonStates(AcceptorVariant, True);
        if (SerialMode())
            RestartPolling();
    };
    if (ConfigSource == ConfigFromDefaults && !AskDefaultsWarning(this)) {
        giveUp();
        return;
    }
    EepromRecord edited = CurrentRecord;
    if (!frmConfiguration->ReadConfigurationScreen(edited)) {
        giveUp();
        return;
    }
    CurrentRecord = edited;
    DownloadConfiguration(CurrentRecord);
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
        ManageButtonStates(AcceptorVariant, True);
        RestartPolling();
        return;
    }
    const EepromLayout layout = LayoutOfVariant(record.VariantCode);
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
    tmrGuard->start(1500);  // no answer refuses the write
}

void FormMain::SendConfigurationWrite(const EepromImage& image, int16_t length)
{
    EepromLength = length;
    if (!BuildConfigurationWrite(TxFrame, image, length, uint8_t(FrameAddress & 0xFF)))
        return;
    SendMessage();
    ConfigWritePending = True;
    tmrGuard->start(1500);  // polling comes back if the acceptor does not answer
}

void FormMain::FinishConfigurationWrite()
{
    ConfigWriteAwaitingCounters = false;
    EepromImage image = PendingWriteImage;
    const bool read = !RxFrame.empty() && ReplyCode == CmdReadConfiguration;
    if (!read || !SpliceAuditCounters(image, RxFrame, PendingWriteLayout)) {
        RefuseConfigurationWrite();
        return;
    }
    // The record holds what the unit will hold.
    const size_t at = AuditCountersOffset(PendingWriteLayout).value_or(0);
    std::copy(image.begin() + long(at), image.begin() + long(at + AuditCountersLength),
              CurrentRecord.AuditCounters.begin());
    SendConfigurationWrite(image, PendingWriteLength);
}

void FormMain::RefuseConfigurationWrite()
{
    ConfigWriteAwaitingCounters = false;
    ManageButtonStates(AcceptorVariant, True);
    RestartPolling();  // before the message, so the link is watched while it shows
    MsgBox(this, "The note acceptor did not report its audit counters, so its configuration was not written. "
                 "Nothing was sent.");
}

bool FormMain::ExtractConfigFromImage()
{
    const auto config = kovrin::ExtractConfigFromImage(Firmware);
    if (!config)
        return false;
    AcceptorVariant = ImageVariant;
    DecodeEepromImage(FactoryRecord, *config, 0);
    ShowModuleButtons();  // the buttons of the image's variant
    return true;
}

}  // namespace kovrin
