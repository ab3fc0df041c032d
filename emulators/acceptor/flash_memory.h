#pragma once
// The unit's program memory as its boot loader sees it: banks of 64 KiB, erased bytes read 0xFF.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kovrin::emulator {

// Address of a byte in program memory: bank × 0x10000 + address in the bank.
using FlashAddress = uint32_t;
inline constexpr FlashAddress flashAddress(uint8_t bank, uint16_t address)
{
    return FlashAddress(bank) << 16 | address;
}

inline constexpr int kFlashBanks = 4;
inline constexpr uint16_t kImageStart = 0x4000;       // below: configuration memory and registers
inline constexpr uint16_t kBootLoaderStart = 0xF600;  // bank 0 from here: the boot loader itself
inline constexpr uint16_t kFlashPage = 128;

// What an image at 0x4000 of bank 0 says about itself.
struct ImageIdentity {
    uint8_t variant = 0;
    std::string softwareText;  // 11 characters from 0x400A
    std::string versionText;   // the four revision characters from 0x4015
    uint8_t imageCode = 0;     // 0x4019
};

class FlashMemory {
public:
    void erase();
    // Programs one block within one page; false, with nothing written, for a block the boot loader refuses.
    bool program(uint8_t bank, uint16_t address, const std::vector<uint8_t>& data);
    // The checksum of the programmed memory: the sum, modulo 65536, of every byte programmed since the
    // last erase. Erased bytes between blocks are no part of it, as a file's gaps are no part of its sum.
    uint16_t checksum() const;
    // Every programmed byte.
    const std::map<FlashAddress, uint8_t>& programmed() const { return bytes_; }
    uint8_t at(FlashAddress address) const;
    // The identity of the image at 0x4000, if its description bytes are programmed.
    std::optional<ImageIdentity> imageIdentity() const;

private:
    std::map<FlashAddress, uint8_t> bytes_;
};

}  // namespace kovrin::emulator
