#include "app/settings/settings_place.h"

#include <unistd.h>

namespace kovrin {

bool UserMayWrite(const std::string& folder)
{
    return access(folder.c_str(), W_OK | X_OK) == 0;
}

SettingsPlace ChooseSettingsPlace(const std::string& programFolder, const std::string& xdgConfigHome,
                                  const std::string& home, const FolderWritable& writable)
{
    const std::string besideProgram = programFolder + "/Kovrin.ini";
    if (writable(programFolder))
        return {besideProgram, {}, {programFolder}};
    // A relative XDG_CONFIG_HOME is to be ignored, as the base directory rules say.
    const std::string config = !xdgConfigHome.empty() && xdgConfigHome[0] == '/' ? xdgConfigHome : home + "/.config";
    const std::string own = config + "/kovrin";
    return {own + "/Kovrin.ini", besideProgram, {own, programFolder}};
}

}  // namespace kovrin
