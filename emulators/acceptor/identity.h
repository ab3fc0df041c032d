#pragma once
// What the unit says about itself in its identification reply, and what follows from its variant.

#include <cstdint>
#include <string>
#include <vector>

namespace kovrin::emulator {

enum class EepromLayout { Layout5And9, Layout6And7 };

struct Identity {
    int variant = 5;
    uint8_t unitState = 0;
    std::string serial;
    uint16_t memoryAddress = 0;  // of the factory copy; 0 when the unit has none
    std::string infoText;
    std::string softwareText;
    std::string versionText;
    bool longFrame = true;       // variants 5 and 7 only
};

uint8_t ownFrameAddress(int variant);
size_t serialLength(int variant);
size_t softwareTextLength(int variant);
inline constexpr size_t kInfoTextLength = 10;
inline constexpr size_t kVersionTextLength = 4;
EepromLayout layoutOf(int variant);

std::string defaultSerial(int variant);
std::string defaultSoftwareText(int variant);
std::string defaultVersionText(int variant);
inline constexpr const char* kDefaultInfoText = "TYX-HW-R01";

// Data bytes (frame byte 5 onwards) of the identification reply 0x06.
std::vector<uint8_t> identificationData(const Identity& identity);

}  // namespace kovrin::emulator
