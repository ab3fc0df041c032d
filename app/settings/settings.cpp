#include "app/settings/settings.h"

#include <cstdint>
#include <QSaveFile>
#include <QString>
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
    // A line break in a value (a path may hold one) would move the lines after it.
    for (const std::string* value : {&values.SettingsComPort, &values.FirmwareFilePath, &values.ConfigFilePath})
        if (value->find('\n') != std::string::npos)
            return false;
    const std::string text =
        values.SettingsComPort + "\r\n" + values.FirmwareFilePath + "\r\n" + values.ConfigFilePath + "\r\n";
    // Without a commit the new file is thrown away and `path` stays as it was. Unbuffered, a
    // short write shows at once; a buffered one could be committed cut short.
    QSaveFile file(QString::fromStdString(path));
    return file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) &&
           file.write(text.data(), qint64(text.size())) == qint64(text.size()) && file.commit();
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
