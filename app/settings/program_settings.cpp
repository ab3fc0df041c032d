#include "app/settings/program_settings.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "app/settings/program_folder.h"
#include "app/settings/settings.h"
#include "app/settings/settings_place.h"

namespace kovrin {

std::string SettingsFilePath;
std::string SettingsComPort;
std::string FirmwareFilePath;
std::string ConfigFilePath;

namespace {

std::string Environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

FolderWritable& WritableCheck()
{
    static FolderWritable check;
    return check;
}

SettingsPlace Place()
{
    return ChooseSettingsPlace(ProgramFolder().toStdString(), Environment("XDG_CONFIG_HOME"), Environment("HOME"),
                               WritableCheck() ? WritableCheck() : FolderWritable(UserMayWrite));
}

void FillSettingsFilePath()
{
    if (SettingsFilePath.empty())
        SettingsFilePath = Place().File;
}

}  // namespace

void LoadSettings()
{
    FillSettingsFilePath();
    std::string path = SettingsFilePath;
    const SettingsPlace place = Place();
    std::error_code error;
    if (!place.Fallback.empty() && path == place.File && !std::filesystem::exists(path, error))
        path = place.Fallback;  // the program folder's copy, until the user's own is written
    const SettingsValues v = ReadSettingsFile(path, ProgramFolder().toStdString());
    SettingsComPort = v.SettingsComPort;
    FirmwareFilePath = v.FirmwareFilePath;
    ConfigFilePath = v.ConfigFilePath;
}

void SaveSettings()
{
    FillSettingsFilePath();
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(SettingsFilePath).parent_path(), error);
    if (WriteSettingsFile(SettingsFilePath, {SettingsComPort, FirmwareFilePath, ConfigFilePath}))
        return;
    static bool told = false;
    if (!told)
        std::fprintf(stderr, "Kovrin: cannot write %s; the settings are kept until Kovrin ends\n",
                     SettingsFilePath.c_str());
    told = true;
}

QStringList ComLinkFolders()
{
    QStringList folders;
    for (const std::string& folder : Place().LinkFolders)
        folders << QString::fromStdString(folder);
    return folders;
}

void SetFolderWritableForTesting(FolderWritable writable) { WritableCheck() = std::move(writable); }

}  // namespace kovrin
