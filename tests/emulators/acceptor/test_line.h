#pragma once
// The host's end of the emulated cable, as a test drives it.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "emulators/acceptor/acceptor_emulator.h"

namespace kovrin::emulator::test {

using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

// A host frame with its check byte, built here independently of the emulator.
Bytes hostFrame(uint8_t address, uint8_t command, const Bytes& data = {});

// Options of a quick unit: replies written at once, a short reboot.
AcceptorOptions fastOptions(int variant = 5);

// Waits until the condition holds; false after the timeout.
bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 5000ms);

class TestLine {
public:
    explicit TestLine(const std::filesystem::path& path, int baud = 9600);
    ~TestLine();
    TestLine(const TestLine&) = delete;
    TestLine& operator=(const TestLine&) = delete;

    void setSpeed(int baud);
    void send(const Bytes& bytes);
    // Exactly count bytes, or fewer if the timeout passes first.
    Bytes read(size_t count, std::chrono::milliseconds timeout = 5000ms);
    // One reply frame read by its length byte; empty when none comes.
    Bytes readFrame(std::chrono::milliseconds timeout = 5000ms);
    // Whatever arrives within the window.
    Bytes drain(std::chrono::milliseconds window);

private:
    int fd_ = -1;
};

// An emulator started on a link in a fresh folder, with a line open to it; pacing off unless asked.
class EmulatorRig {
public:
    explicit EmulatorRig(AcceptorOptions options = fastOptions());
    ~EmulatorRig();
    AcceptorEmulator& unit() { return *unit_; }
    TestLine& line() { return *line_; }
    const std::filesystem::path& link() const { return link_; }
    // Sends a frame at the unit's own address and reads the reply.
    Bytes ask(uint8_t command, const Bytes& data = {});
    uint8_t address() const { return address_; }

private:
    std::filesystem::path folder_;
    std::filesystem::path link_;
    std::unique_ptr<AcceptorEmulator> unit_;
    std::unique_ptr<TestLine> line_;
    uint8_t address_ = 0;
};

}  // namespace kovrin::emulator::test
