#pragma once
// "Kovrin.ini" beside the program: port entry, last firmware file, last
// configuration file, one per line, CR LF.

#include <cstdint>
#include <string>

namespace kovrin {

struct SettingsValues {
    std::string SettingsComPort;
    std::string FirmwareFilePath;
    std::string ConfigFilePath;
};

// The values of the file at `path`, or, when there is no file, the defaults
// for a program in `programFolder`. Reads CR LF and LF lines.
SettingsValues ReadSettingsFile(const std::string& path, const std::string& programFolder);

// Writes the three lines to a new file beside `path` and puts it in place of
// `path` only once complete: a failed write leaves the old file and nothing
// else; the old file's permissions are kept and a link at `path` is followed.
// False when it could not be written, or when a value holds a line break,
// which the file cannot keep (then the file is left as it was).
bool WriteSettingsFile(const std::string& path, const SettingsValues& values);

// The port menu entry named by line 1; 1 when it names none of 1 to 9.
int16_t ComPortFromSetting(const std::string& text);

// The part of a path after its last '/' or '\'.
std::string FileNameFromPath(const std::string& path);

}  // namespace kovrin
