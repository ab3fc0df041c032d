// The settings file. Input: a mode byte; mode 0 gives the file's bytes, any
// other mode three values (separated by 0 bytes) that the program writes.
// What is read is written back the same way and read again unchanged; a
// written value reads back as it was, or the write is refused and the file
// stays as it was.

#include <fstream>
#include <sstream>

#include "app/settings/settings.h"
#include "tests/fuzz/fuzz_support.h"

using namespace kovrin;
using kovrin::fuzz::Input;

namespace {

std::string FileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool Same(const SettingsValues& a, const SettingsValues& b)
{
    return a.SettingsComPort == b.SettingsComPort && a.FirmwareFilePath == b.FirmwareFilePath &&
           a.ConfigFilePath == b.ConfigFilePath;
}

void CheckValue(const std::string& value)
{
    const int16_t port = ComPortFromSetting(value);
    FUZZ_CHECK(port >= 1 && port <= 9);
    const std::string name = FileNameFromPath(value);
    FUZZ_CHECK(name.find_first_of("/\\") == std::string::npos);
    FUZZ_CHECK(value.size() >= name.size() && value.compare(value.size() - name.size(), name.size(), name) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const fuzz::ScratchFolder folder;
    const std::string path = folder.File("Kovrin.ini");
    Input in(data, size);
    const uint8_t mode = in.Byte();
    const std::string rest = in.Text(in.Left());

    SettingsValues values;
    if (mode == 0) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << rest;
        values = ReadSettingsFile(path, "/program");
        for (const std::string* v : {&values.SettingsComPort, &values.FirmwareFilePath, &values.ConfigFilePath})
            FUZZ_CHECK(v->find('\n') == std::string::npos);
    } else {
        std::istringstream fields(rest);
        std::getline(fields, values.SettingsComPort, '\0');
        std::getline(fields, values.FirmwareFilePath, '\0');
        std::getline(fields, values.ConfigFilePath, '\0');
        std::ofstream(path, std::ios::binary | std::ios::trunc) << "7\r\nold\r\nold.tyx\r\n";
    }
    for (const std::string* v : {&values.SettingsComPort, &values.FirmwareFilePath, &values.ConfigFilePath})
        CheckValue(*v);

    const std::string before = FileText(path);
    if (!WriteSettingsFile(path, values)) {
        FUZZ_CHECK(mode != 0);  // what was read can always be written back
        FUZZ_CHECK(FileText(path) == before);
        return 0;
    }
    FUZZ_CHECK(Same(ReadSettingsFile(path, "/program"), values));
    return 0;
}
