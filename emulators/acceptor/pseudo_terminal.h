#pragma once
// The unit's end of the cable: a pseudo-terminal master with a symbolic link to its slave.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace kovrin::emulator {

class PseudoTerminal {
public:
    // Opens a master set to raw 9600 and links linkPath to the slave; throws std::system_error.
    explicit PseudoTerminal(const std::filesystem::path& linkPath);
    // Closes the master and removes the link if it still points at this slave.
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    const std::string& devicePath() const { return devicePath_; }
    int fd() const { return master_; }
    // The speed the host has set on its side, in baud (0 when unknown).
    int lineSpeed() const;
    // Writes what the line takes now; returns false when the host side is gone.
    bool write(const uint8_t* bytes, size_t count);

private:
    int master_ = -1;
    std::string devicePath_;
    std::filesystem::path linkPath_;
};

}  // namespace kovrin::emulator
