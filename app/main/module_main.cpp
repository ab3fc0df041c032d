#include "app/main/module_main.h"

#include "app/main/program_folder.h"
#include "app/main/settings.h"

namespace kovrin {

std::string SettingsFilePath;
std::string SettingsComPort;
std::string FirmwareFilePath;
std::string ConfigFilePath;

namespace {
void FillSettingsFilePath()
{
    if (SettingsFilePath.empty())
        SettingsFilePath = ProgramFolder().toStdString() + "/Kovrin.ini";
}
}  // namespace

void LoadSettings()
{
    FillSettingsFilePath();
    const SettingsValues v = ReadSettingsFile(SettingsFilePath, ProgramFolder().toStdString());
    SettingsComPort = v.SettingsComPort;
    FirmwareFilePath = v.FirmwareFilePath;
    ConfigFilePath = v.ConfigFilePath;
}

void SaveSettings()
{
    FillSettingsFilePath();
    WriteSettingsFile(SettingsFilePath, {SettingsComPort, FirmwareFilePath, ConfigFilePath});
}

}  // namespace kovrin
