#include "settings.h"

#include <cstdint>
#include <cstdio>
#include <fstream>

namespace kovrin {

SettingsValues ReadSettingsFile(const std::string& path, const std::string& programFolder)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return {"1", programFolder, programFolder + "/Config.tyx"};
    SettingsValues v;
    std::string* lines[] = {&v.SettingsComPort, &v.FirmwareFilePath, &v.ConfigFilePath};
    for (std::string* line : lines) {
        if (!std::getline(in, *line))
            break;
        if (!line->empty() && line->back() == '\r')
            line->pop_back();
    }
    return v;
}

bool WriteSettingsFile(const std::string& path, const SettingsValues& values)
{
    const std::string temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << values.SettingsComPort << "\r\n"
            << values.FirmwareFilePath << "\r\n"
            << values.ConfigFilePath << "\r\n";
        out.flush();
        if (!out) {
            out.close();
            std::remove(temp.c_str());
            return false;
        }
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

int16_t ComPortFromSetting(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t");
    const size_t last = text.find_last_not_of(" \t");
    if (first == std::string::npos)
        return 1;
    int value = 0;
    for (size_t i = first; i <= last; ++i) {
        if (text[i] < '0' || text[i] > '9' || value > 9)
            return 1;
        value = value * 10 + (text[i] - '0');
    }
    return value >= 1 && value <= 9 ? static_cast<int16_t>(value) : int16_t(1);
}

std::string FileNameFromPath(const std::string& path)
{
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace kovrin
