#pragma once
// Where the settings file and the COMn links are. In a program folder the
// user may write (a build, or an installation of the user's own), both stay
// beside the program. In one the user may not write (an installation owned by
// root), the settings file is $XDG_CONFIG_HOME/kovrin/Kovrin.ini
// (~/.config/kovrin/ when unset), read from the program folder's copy until
// the user's own is written, and COMn links are looked for in that folder
// first, then beside the program.

#include <functional>
#include <string>
#include <vector>

namespace kovrin {

struct SettingsPlace {
    std::string File;
    // Read while File does not exist yet; empty when there is none.
    std::string Fallback;
    std::vector<std::string> LinkFolders;
};

// Whether the user may create and replace files in `folder`.
using FolderWritable = std::function<bool(const std::string& folder)>;
bool UserMayWrite(const std::string& folder);

SettingsPlace ChooseSettingsPlace(const std::string& programFolder, const std::string& xdgConfigHome,
                                  const std::string& home, const FolderWritable& writable = UserMayWrite);

}  // namespace kovrin
