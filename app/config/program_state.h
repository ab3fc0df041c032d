#pragma once
// What the program holds while it runs: the configuration being edited, what is
// known of the attached acceptor, and the remembered settings. Main() makes the
// one instance and hands it down; nothing else keeps any of it.

#include <cstdint>
#include <string>

#include "app/config/eeprom_map.h"
#include "app/config/eeprom_record.h"
#include "app/settings/program_settings.h"

namespace kovrin {

struct ProgramState {
    EepromRecord CurrentRecord;
    EepromRecord FactoryRecord;
    int32_t ConfigSource = ConfigFromDefaults;  // where CurrentRecord came from
    bool FactoryConfigValid = false;
    // Image bytes in use: what the last decode, defaults or write of the configuration took.
    int16_t EepromLength = 0;
    // Variant of the identified acceptor, 0 while none is; the link sets it, the
    // configuration's decoding and defaults go by it.
    uint8_t AcceptorVariant = 0;
    // The serial number text that the field checks prepare.
    std::string SerialNumberText;
    ProgramSettings Settings;

    // The layout procedures for the attached acceptor, keeping EepromLength.
    CodecResult DecodeEepromImage(EepromRecord& record, const EepromImage& image, int32_t PartialDecode);
    CodecResult LoadEepromDefaults(EepromRecord& record);
};

}  // namespace kovrin
