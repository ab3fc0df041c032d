#pragma once
// The program's remembered settings: the three values of "Kovrin.ini" and
// where that file is.

#include <QStringList>
#include <string>

#include "app/settings/settings_place.h"

namespace kovrin {

struct ProgramSettings {
    std::string SettingsFilePath;  // empty until the settings are first read or written
    std::string SettingsComPort;
    std::string FirmwareFilePath;
    std::string ConfigFilePath;
};

// Fills the three values from "Kovrin.ini", or the defaults. The file is in the
// program's folder, or in the user's configuration folder where the user may
// not write the program's (app/settings/settings_place.h).
void LoadSettings(ProgramSettings& settings);
// Writes them back; a failed write keeps the values in memory and is told on
// stderr once.
void SaveSettings(ProgramSettings& settings);
// The folders where COMn links are looked for, in order.
QStringList ComLinkFolders();
// Tests stand in for the check whether the user may write the program's folder
// (null: the real check).
void SetFolderWritableForTesting(FolderWritable writable);

}  // namespace kovrin
