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
    programmer_->ReadConfiguration(ModuleConfigTarget(), AcceptorVariant, CurrentRecord);
}

void FormMain::cmdSend_Click()
{
    if (!DeviceConnected()) {
        MsgBox(this, "Device not connected");
        return;
    }
    if (!ConfigurationPossible())
        return;
    if (const std::string refusal = programmer_->RecordRefusal(CurrentRecord.VariantCode, AcceptorVariant);
        !refusal.empty()) {
        MsgBox(this, QString::fromStdString(refusal));
        return;
    }
    if (!frmConfiguration->ValidateConfigurationFields()) {
        MsgBox(this, "Invalid configuration");
        return;
    }
    programmer_->BeginConfigurationWrite();
    const auto giveUp = [this] {
        ManageButtonStates(AcceptorVariant, true);
        programmer_->AbandonConfigurationWrite();
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
    programmer_->WriteConfiguration(record, ModuleConfigTarget());
}

void FormMain::ConfigurationWriteRefused()
{
    ManageButtonStates(AcceptorVariant, true);
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
