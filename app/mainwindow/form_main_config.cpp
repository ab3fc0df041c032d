// Reading and writing the configuration, on whichever device the port menu chose.

#include <QLabel>
#include <QFrame>
#include <QScrollBar>

#include "app/config/eeprom_map.h"
#include "app/config/screen/form_warning.h"
#include "app/config/screen_values.h"
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
    programmer_->ReadConfiguration(ModuleConfigTarget(), State.AcceptorVariant, State.CurrentRecord);
}

void FormMain::cmdSend_Click()
{
    if (!DeviceConnected()) {
        MsgBox(this, "Device not connected");
        return;
    }
    if (!ConfigurationPossible())
        return;
    if (const std::string refusal = programmer_->RecordRefusal(State.CurrentRecord.VariantCode, State.AcceptorVariant);
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
        ManageButtonStates(State.AcceptorVariant, true);
        programmer_->AbandonConfigurationWrite();
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
    programmer_->WriteConfiguration(record, ModuleConfigTarget());
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
