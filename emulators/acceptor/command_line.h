#pragma once
// The acceptor-emulator program's command line.

#include <filesystem>
#include <string>
#include <vector>

#include "emulators/acceptor/acceptor_emulator.h"

namespace kovrin::emulator {

struct CommandLine {
    std::filesystem::path linkPath;
    AcceptorOptions options;
    bool helpWanted = false;
};

// Throws std::invalid_argument with a message for the user when the arguments make no sense.
CommandLine parseCommandLine(const std::vector<std::string>& arguments);
std::string usageText();

}  // namespace kovrin::emulator
