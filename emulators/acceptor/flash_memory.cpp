#include "emulators/acceptor/flash_memory.h"

namespace kovrin::emulator {

namespace {

constexpr uint8_t kErased = 0xFF;
constexpr uint16_t kSoftwareTextAt = 0x400A;
constexpr size_t kSoftwareTextLength = 11;
constexpr uint16_t kVersionTextAt = 0x4015;
constexpr size_t kVersionTextLength = 4;
constexpr uint16_t kImageCodeAt = 0x4019;

bool writable(uint8_t bank, uint16_t address)
{
    if (bank >= kFlashBanks || address < kImageStart) return false;
    return bank != 0 || address < kBootLoaderStart;
}

}  // namespace

void FlashMemory::erase()
{
    bytes_.clear();
}

bool FlashMemory::program(uint8_t bank, uint16_t address, const std::vector<uint8_t>& data)
{
    if (data.empty() || data.size() > kFlashPage) return false;
    const unsigned last = unsigned(address) + unsigned(data.size()) - 1;
    if (last / kFlashPage != address / kFlashPage) return false;  // the page buffer holds one page
    if (!writable(bank, address) || !writable(bank, static_cast<uint16_t>(last))) return false;
    // Flash only clears bits: a byte programmed before takes a new value only after an erase.
    for (size_t i = 0; i < data.size(); ++i) {
        const uint8_t now = at(flashAddress(bank, static_cast<uint16_t>(address + i)));
        if (now != kErased && now != data[i]) return false;
    }
    for (size_t i = 0; i < data.size(); ++i) bytes_[flashAddress(bank, static_cast<uint16_t>(address + i))] = data[i];
    return true;
}

uint16_t FlashMemory::checksum() const
{
    uint32_t sum = 0;
    for (const auto& [address, value] : bytes_) sum += value;
    return static_cast<uint16_t>(sum & 0xFFFF);
}

uint8_t FlashMemory::at(FlashAddress address) const
{
    const auto it = bytes_.find(address);
    return it == bytes_.end() ? kErased : it->second;
}

std::optional<ImageIdentity> FlashMemory::imageIdentity() const
{
    for (uint16_t a = kImageStart; a <= kImageCodeAt; ++a)
        if (!bytes_.count(flashAddress(0, a))) return std::nullopt;
    const auto text = [this](uint16_t from, size_t length) {
        std::string t;
        for (size_t i = 0; i < length; ++i)
            t.push_back(static_cast<char>(at(flashAddress(0, static_cast<uint16_t>(from + i)))));
        return t;
    };
    ImageIdentity identity;
    identity.variant = at(flashAddress(0, kImageStart));
    identity.softwareText = text(kSoftwareTextAt, kSoftwareTextLength);
    identity.versionText = text(kVersionTextAt, kVersionTextLength);
    identity.imageCode = at(flashAddress(0, kImageCodeAt));
    return identity;
}

}  // namespace kovrin::emulator
