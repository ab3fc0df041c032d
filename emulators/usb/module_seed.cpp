#include "emulators/usb/module_seed.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

namespace kovrin::emulator::usb {
namespace {

namespace fs = std::filesystem;

struct Listed {
    ModuleFile Entry;
    std::string Name;
};

bool ParseNumber(const std::string& text, uint32_t max, uint32_t& value)
{
    try {
        size_t used = 0;
        unsigned long v = std::stoul(text, &used, 0);
        if (used != text.size() || v > max)
            return false;
        value = uint32_t(v);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// One line of the directory file; false when it is not one.
bool ParseLine(const std::string& line, Listed& listed)
{
    std::istringstream in(line);
    std::string fields[5];
    uint32_t values[5];
    const uint32_t max[5] = {0xFF, 0xFFFF, 0xFFFFFFFF, 0xFFFF, 0xFFFF};
    for (int i = 0; i < 5; ++i)
        if (!(in >> fields[i]) || !ParseNumber(fields[i], max[i], values[i]))
            return false;
    std::string name;
    std::getline(in >> std::ws, name);
    while (!name.empty() && (name.back() == '\r' || name.back() == ' '))
        name.pop_back();
    if (name.empty())
        return false;
    listed.Entry.FileClass = uint8_t(values[0]);
    listed.Entry.DataFileKind = uint16_t(values[1]);
    listed.Entry.VariantId = values[2];
    listed.Entry.SetupRevision = uint16_t(values[3]);
    listed.Entry.CalibrationRevision = uint16_t(values[4]);
    listed.Name = name;
    return true;
}

std::string ReadFile(const fs::path& path, std::vector<uint8_t>& contents)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return "cannot read " + path.string();
    contents.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return {};
}

}  // namespace

std::string SeedModuleFiles(const fs::path& folder, ModuleFiles& files)
{
    std::error_code error;
    if (!fs::is_directory(folder, error))
        return "no seed folder " + folder.string();

    std::vector<Listed> listed;
    fs::path directory = folder / kSeedDirectoryFile;
    if (fs::exists(directory, error)) {
        std::ifstream in(directory);
        std::string line;
        for (int number = 1; std::getline(in, line); ++number) {
            size_t start = line.find_first_not_of(" \t\r");
            if (start == std::string::npos || line[start] == '#')
                continue;
            Listed entry;
            if (!ParseLine(line, entry))
                return directory.string() + ":" + std::to_string(number) +
                       ": expected class, kind, variant, setup and calibration numbers and a name";
            listed.push_back(std::move(entry));
        }
    }

    std::set<std::string> names;
    for (const Listed& l : listed)
        names.insert(l.Name);
    std::vector<std::string> others;
    for (const fs::directory_entry& e : fs::directory_iterator(folder, error)) {
        std::string name = e.path().filename().string();
        if (e.is_regular_file() && name != kSeedDirectoryFile && !names.count(name))
            others.push_back(name);
    }
    if (error)
        return "cannot list " + folder.string() + ": " + error.message();
    std::sort(others.begin(), others.end());
    for (const std::string& name : others) {
        Listed entry;
        entry.Name = name;
        listed.push_back(std::move(entry));
    }

    for (Listed& l : listed) {
        if (l.Name.size() > kNameLength)
            return "file name longer than " + std::to_string(kNameLength) + " bytes: " + l.Name;
        l.Entry.SetName(l.Name);
        if (std::string problem = ReadFile(folder / l.Name, l.Entry.Contents); !problem.empty())
            return problem;
        if (!files.Add(std::move(l.Entry)))
            return "the module has no room for " + l.Name;
    }
    return {};
}

}  // namespace kovrin::emulator::usb
