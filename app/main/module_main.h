#pragma once
// Start-up and the program's three remembered values.

#include <string>

namespace kovrin {

extern std::string SettingsFilePath;
extern std::string SettingsComPort;
extern std::string FirmwareFilePath;
extern std::string ConfigFilePath;

// Fills the three values from "Kovrin.ini" in the program's folder, or the defaults.
void LoadSettings();
// Writes them back; a failed write keeps the values in memory.
void SaveSettings();

}  // namespace kovrin
