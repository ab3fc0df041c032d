// One run of the program's start-up and port choice against an installed
// program folder, with the real check whether the user may write it:
//   settings-restart-check FOLDER choose N   starts, chooses port entry N, ends
//   settings-restart-check FOLDER expect N   starts; exits 0 when entry N is chosen
// The install test runs it as a user who cannot write FOLDER.

#include <cstdio>
#include <string>

#include "app/settings/program_settings.h"
#include "app/settings/program_folder.h"

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: settings-restart-check FOLDER choose|expect N\n");
        return 2;
    }
    kovrin::SetProgramFolderForTesting(QString::fromLocal8Bit(argv[1]));
    kovrin::ProgramSettings settings;
    kovrin::LoadSettings(settings);
    const std::string action = argv[2];
    if (action == "choose") {
        settings.SettingsComPort = argv[3];
        kovrin::SaveSettings(settings);
        return 0;
    }
    if (settings.SettingsComPort != argv[3]) {
        std::fprintf(stderr, "port entry %s after the restart, %s expected (settings file %s)\n",
                     settings.SettingsComPort.c_str(), argv[3], settings.SettingsFilePath.c_str());
        return 1;
    }
    return 0;
}
