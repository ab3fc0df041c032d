#include "app/settings/program_settings.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "app/settings/program_folder.h"
#include "app/settings/settings.h"
#include "app/settings/settings_place.h"

namespace kovrin {

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

void FillSettingsFilePath(ProgramSettings& settings)
{
    if (settings.SettingsFilePath.empty())
        settings.SettingsFilePath = Place().File;
}

}  // namespace

void LoadSettings(ProgramSettings& settings)
{
    FillSettingsFilePath(settings);
    std::string path = settings.SettingsFilePath;
    const SettingsPlace place = Place();
    std::error_code error;
    if (!place.Fallback.empty() && path == place.File && !std::filesystem::exists(path, error))
        path = place.Fallback;  // the program folder's copy, until the user's own is written
    const SettingsValues v = ReadSettingsFile(path, ProgramFolder().toStdString());
    settings.SettingsComPort = v.SettingsComPort;
    settings.FirmwareFilePath = v.FirmwareFilePath;
    settings.ConfigFilePath = v.ConfigFilePath;
}

void SaveSettings(ProgramSettings& settings)
{
    FillSettingsFilePath(settings);
    const std::string& path = settings.SettingsFilePath;
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
    if (WriteSettingsFile(path, {settings.SettingsComPort, settings.FirmwareFilePath, settings.ConfigFilePath}))
        return;
    static bool told = false;
    if (!told)
        std::fprintf(stderr, "Kovrin: cannot write %s; the settings are kept until Kovrin ends\n",
                     path.c_str());
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
