// Opening and closing the frame, defaults, and configuration files.

#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>

#include "app/config/colours.h"
#include "app/config/config_file.h"
#include "app/config/eeprom_map.h"
#include "app/config/screen/configuration_frame.h"
#include "app/core/acceptor_variants.h"
#include "app/settings/program_settings.h"
#include "app/settings/settings.h"
#include "app/widgets/message_seam.h"

namespace kovrin {

namespace {

QString Preset(const std::string& path)
{
    return path.empty() ? QString() : QFileInfo(QString::fromStdString(path)).absolutePath();
}

// The first ten bytes of a serial number, one character per byte.
QString SerialText10(const EepromRecord& record)
{
    QString text;
    for (size_t i = 0; i < 10; ++i)
        text += QChar(record.SerialNumber[i]);
    return text;
}

}  // namespace

void ConfigurationFrame::ShowModuleSerialAndRevisions(const EepromRecord& serialSource)
{
    lblCMachine->setText(host_.FirmwareModelName());
    lblCMachine_Change();
    LabelEeSetupRevision->setText(QString::number(state_.FactoryRecord.SetupRevision));
    LabelEeCalRevision->setText(QString::number(state_.FactoryRecord.CalibrationRevision));
    txtSerial->clear();
    txtSerial->setText(SerialText10(serialSource));
    lblCSerial->setText(txtSerial->text());
}

void ConfigurationFrame::cmdConfig_Click()
{
    if (host_.ConfiguresLoadedImage()) {
        if (!host_.FirmwareImageLoaded()) {
            MsgBox(this, "Must load a valid Tyx firmware file first");
            return;
        }
        if (!host_.ExtractConfigFromImage()) {
            MsgBox(this, "The loaded firmware file holds no note acceptor configuration.");
            return;
        }
        if (const CodecResult defaults = state_.LoadEepromDefaults(state_.CurrentRecord); !defaults) {
            MsgBox(this, QString::fromStdString(NoLayoutText(state_.AcceptorVariant)));
            return;
        }
        state_.ConfigSource = ConfigFromDefaults;  // so a send asks before writing defaults
        if (VariantRow(state_.CurrentRecord.VariantCode).ModuleFirmwareId != 0)
            ShowModuleSerialAndRevisions(state_.FactoryRecord);
    }
    ShowConfiguration(state_.CurrentRecord, state_.AcceptorVariant);
    host_.ShowModuleList(false);
    show();
    raise();
    host_.HideModuleAuditData();
}

void ConfigurationFrame::cmdConfigClose_Click()
{
    hide();
    if (host_.ConfiguresLoadedImage())
        host_.ShowModuleList(true);
}

void ConfigurationFrame::cmdDefault_Click()
{
    // An acceptor without a layout has neither factory values nor defaults we could show.
    if (const std::string noLayout = NoLayoutText(state_.AcceptorVariant); !noLayout.empty()) {
        MsgBox(this, QString::fromStdString(noLayout));
        return;
    }
    if (state_.FactoryConfigValid) {
        state_.CurrentRecord = state_.FactoryRecord;
        state_.ConfigSource = ConfigFromFactory;
        host_.FlashConfigFrame(ColourYellow);
    } else {
        state_.LoadEepromDefaults(state_.CurrentRecord);
        state_.ConfigSource = ConfigFromDefaults;
        host_.FlashConfigFrame(ColourRed);
    }
    ShowConfiguration(state_.CurrentRecord, state_.AcceptorVariant);
}

void ConfigurationFrame::cmdLoad_Click()
{
    LoadConfigFile();
}

bool ConfigurationFrame::LoadConfigFile()
{
    for (;;) {
        FileDialogRequest request;
        request.kind = FileDialogKind::Open;
        request.title = "Load Tyx Configuration File";
        request.filter = "Tyx Config File (*.tyx)|*.tyx|All files (*.*)|*.*";
        request.folder = Preset(state_.Settings.ConfigFilePath);
        request.fileName = QString::fromStdString(FileNameFromPath(state_.Settings.ConfigFilePath));
        const std::optional<QString> chosen = FileDialog(this, request);
        if (!chosen)
            return false;
        // The remembered path changes only once the file has been taken.
        const std::string path = chosen->toStdString();
        if (path.empty()) {
            MsgBox(this, "File not found!", MsgButtons::OkCancel, MsgIcon::Exclamation, "Open File Error");
            continue;
        }
        if (!QFileInfo(*chosen).isFile()) {
            MsgBox(this, "File not found!");
            continue;
        }
        const ConfigFileResult file = ReadConfigFile(path);
        if (!file.record) {
            MsgBox(this, QString::fromStdString(file.error));
            continue;
        }
        if (state_.AcceptorVariant != 0 && file.record->VariantCode != state_.AcceptorVariant) {
            MsgBox(this, "Config file does not match attached note acceptor.");
            continue;
        }
        state_.CurrentRecord = *file.record;
        state_.ConfigSource = ConfigFromFile;
        state_.Settings.ConfigFilePath = path;
        ShowConfiguration(state_.CurrentRecord, state_.AcceptorVariant);
        SaveSettings(state_.Settings);
        host_.FlashConfigFrame(ColourYellow);
        if (host_.ConfiguresLoadedImage() && VariantRow(state_.CurrentRecord.VariantCode).ModuleFirmwareId != 0)
            ShowModuleSerialAndRevisions(state_.CurrentRecord);
        return true;
    }
}

void ConfigurationFrame::cmdSave_Click()
{
    std::string path;
    for (;;) {
        FileDialogRequest request;
        request.kind = FileDialogKind::Save;
        request.title = "Save Tyx Configuration";
        request.filter = "TYX Config Files (*.tyx)|*.tyx|All Files (*.*)|*.*";
        request.folder = Preset(state_.Settings.ConfigFilePath);
        request.fileName = QString::fromStdString(FileNameFromPath(state_.Settings.ConfigFilePath));
        request.confirmOverwrite = true;
        const std::optional<QString> chosen = FileDialog(this, request);
        if (!chosen)
            return;
        if (chosen->isEmpty()) {
            MsgBox(this, "Please type in the file name.");
            continue;
        }
        path = chosen->toStdString();
        break;
    }
    if (!ValidateConfigurationFields())
        return;
    // A record of a variant without a layout would make a file that no one can load.
    if (const std::string noLayout = NoLayoutText(state_.CurrentRecord.VariantCode); !noLayout.empty()) {
        MsgBox(this, QString::fromStdString(noLayout));
        return;
    }
    EepromRecord edited = state_.CurrentRecord;
    if (!ReadConfigurationScreen(edited))
        return;
    if (const std::string error = WriteConfigFile(path, edited); !error.empty()) {
        MsgBox(this, QString::fromStdString(error));
        return;
    }
    state_.CurrentRecord = edited;
    state_.Settings.ConfigFilePath = path;
    SaveSettings(state_.Settings);
}

}  // namespace kovrin
