#include "emulators/acceptor/command_line.h"

#include <fstream>
#include <functional>
#include <iterator>
#include <stdexcept>

namespace kovrin::emulator {

namespace {

int toNumber(const std::string& text, int lowest, int highest, const std::string& option)
{
    size_t used = 0;
    int value = 0;
    try {
        value = std::stoi(text, &used, 0);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used != text.size() || text.empty() || value < lowest || value > highest)
        throw std::invalid_argument(option + " wants a number from " + std::to_string(lowest) + " to " +
                                    std::to_string(highest) + ", not \"" + text + "\"");
    return value;
}

Eeprom readEepromFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::invalid_argument("cannot read " + path);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    Eeprom image{};
    if (bytes.size() != image.size())
        throw std::invalid_argument(path + " holds " + std::to_string(bytes.size()) + " bytes, not 256");
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(bytes[i]);
    return image;
}

struct Option {
    const char* name;
    const char* value;  // nullptr: a switch
    const char* help;
    std::function<void(CommandLine&, const std::string&)> apply;
};

const std::vector<Option>& options()
{
    static const std::vector<Option> table = {
        {"--variant", "N", "variant code 1 to 9 (default 5)",
         [](CommandLine& c, const std::string& v) { c.options.variant = toNumber(v, 0, 255, "--variant"); }},
        {"--serial", "TEXT", "serial number (11 characters for variants 5, 7, 9, else 10)",
         [](CommandLine& c, const std::string& v) { c.options.serial = v; }},
        {"--software", "TEXT", "software text of the identification reply",
         [](CommandLine& c, const std::string& v) { c.options.softwareText = v; }},
        {"--version", "TEXT", "four-character firmware version, e.g. 0043",
         [](CommandLine& c, const std::string& v) { c.options.versionText = v; }},
        {"--info", "TEXT", "ten-character information text",
         [](CommandLine& c, const std::string& v) { c.options.infoText = v; }},
        {"--short-identification", nullptr, "variants 5 and 7: the older 46-byte identification reply",
         [](CommandLine& c, const std::string&) { c.options.longIdentification = false; }},
        {"--program-mode", nullptr, "report unit state 0x99 (program mode)",
         [](CommandLine& c, const std::string&) { c.options.unitState = 0x99; }},
        {"--restricted", "CODE", "report this restriction code (1 to 255)",
         [](CommandLine& c, const std::string& v) {
             c.options.unitState = static_cast<uint8_t>(toNumber(v, 1, 255, "--restricted"));
         }},
        {"--uncalibrated", nullptr, "the unit is not calibrated",
         [](CommandLine& c, const std::string&) { c.options.calibrated = false; }},
        {"--no-factory", nullptr, "the unit holds no factory copy of its configuration",
         [](CommandLine& c, const std::string&) { c.options.factoryCopy = false; }},
        {"--eeprom", "FILE", "initial configuration memory, a 256-byte file",
         [](CommandLine& c, const std::string& v) { c.options.eeprom = readEepromFile(v); }},
        {"--boot-loader", nullptr, "start in the boot loader at 38400, as after a failed update",
         [](CommandLine& c, const std::string&) { c.options.startInBootLoader = true; }},
        {"--no-pacing", nullptr, "write replies at once instead of at the line speed (9600 or 38400)",
         [](CommandLine& c, const std::string&) { c.options.pacing = false; }},
        {"--reboot-ms", "N", "silence after a configuration write (default 3000)",
         [](CommandLine& c, const std::string& v) {
             c.options.rebootTime = std::chrono::milliseconds(toNumber(v, 0, 600000, "--reboot-ms"));
         }},
        {"--help", nullptr, "show this text",
         [](CommandLine& c, const std::string&) { c.helpWanted = true; }},
    };
    return table;
}

}  // namespace

CommandLine parseCommandLine(const std::vector<std::string>& arguments)
{
    CommandLine line;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument.rfind("--", 0) != 0) {
            if (!line.linkPath.empty()) throw std::invalid_argument("more than one link path: " + argument);
            line.linkPath = argument;
            continue;
        }
        const Option* option = nullptr;
        for (const Option& o : options())
            if (argument == o.name) option = &o;
        if (!option) throw std::invalid_argument("unknown option " + argument);
        std::string value;
        if (option->value) {
            if (i + 1 >= arguments.size()) throw std::invalid_argument(argument + " needs " + option->value);
            value = arguments[++i];
        }
        option->apply(line, value);
    }
    if (line.linkPath.empty() && !line.helpWanted) throw std::invalid_argument("the link path is missing");
    return line;
}

std::string usageText()
{
    std::string text = "usage: acceptor-emulator LINK [options]\n"
                       "Emulates a Tyx bill acceptor on a pseudo-terminal linked as LINK (e.g. bin/COM1).\n";
    for (const Option& o : options()) {
        std::string left = std::string("  ") + o.name + (o.value ? std::string(" ") + o.value : "");
        left.resize(28, ' ');
        text += left + o.help + "\n";
    }
    return text;
}

}  // namespace kovrin::emulator
