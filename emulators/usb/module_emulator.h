#pragma once
// The emulated programming module (KDU, RDU): every command of the module's
// command set, answered from its filing system, revision bytes, unit records,
// items and error log. A malformed request (unknown command, wrong length)
// is answered with status 1 "Unable to respond" and noted in the error log.

#include <array>
#include <deque>
#include <vector>

#include "emulators/usb/module_files.h"
#include "emulators/usb/usb_emulator_device.h"

namespace kovrin::emulator::usb {

struct ModuleOptions {
    uint16_t ProductId = 0x0200;  // 0x0200 KDU, 0x0300 RDU
    // The revision reply's bytes 1 to 6; a module whose first byte is below 5 has old software.
    std::array<uint8_t, 6> Revision{5, 2, 0, 1, 0, 0};
    uint32_t Capacity = 512 * 1024;
};

class ModuleEmulator : public UsbEmulatorDevice {
public:
    explicit ModuleEmulator(ModuleOptions options = {});

    // The filing system, for seeding and for looking at it; hold no reference across requests.
    template <class Action>
    auto WithFiles(Action action)
    {
        std::lock_guard<std::mutex> guard(lock_);
        return action(files_);
    }
    std::vector<ModuleFile> Files() const;

protected:
    int CommandOf(std::span<const uint8_t> request) const override;
    std::vector<Bytes> Answer(std::span<const uint8_t> request) override;
    Bytes Refusal(std::span<const uint8_t> request, uint8_t status) const override;

private:
    struct Handler;
    static const Handler* HandlerOf(uint8_t command);

    // The handlers: each takes a request of a length its row accepts and gives the reply.
    Bytes Status(std::span<const uint8_t> request);
    Bytes Revision(std::span<const uint8_t> request);
    Bytes GetUnitData(std::span<const uint8_t> request);
    Bytes SetUnitData(std::span<const uint8_t> request);
    Bytes GetErrorLog(std::span<const uint8_t> request);
    Bytes ClearErrorLog(std::span<const uint8_t> request);
    Bytes ClearPowerCount(std::span<const uint8_t> request);
    Bytes GetItem(std::span<const uint8_t> request);
    Bytes SetItem(std::span<const uint8_t> request);
    Bytes Check(std::span<const uint8_t> request);
    Bytes Format(std::span<const uint8_t> request);
    Bytes Open(std::span<const uint8_t> request);
    Bytes Read(std::span<const uint8_t> request);
    Bytes Create(std::span<const uint8_t> request);
    Bytes Write(std::span<const uint8_t> request);
    Bytes Close(std::span<const uint8_t> request);
    Bytes Delete(std::span<const uint8_t> request);
    Bytes Enumerate(std::span<const uint8_t> request);
    Bytes Capacity(std::span<const uint8_t> request);
    Bytes Accept(std::span<const uint8_t> request);
    Bytes Utility(std::span<const uint8_t> request);

    const ModuleOptions options_;
    ModuleFiles files_;
    std::array<std::array<uint8_t, 16>, 8> unitRecords_{};
    std::array<uint8_t, 256> items_{};
    std::deque<uint8_t> errorLog_;  // command bytes of refused requests, newest last
    uint16_t powerCount_ = 1;
};

}  // namespace kovrin::emulator::usb
