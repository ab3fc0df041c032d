#pragma once
// The ".tyx" configuration file: one EepromRecord, field after field, 601 bytes,
// 32-bit values low byte first.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "app/config/eeprom_record.h"

namespace kovrin {

constexpr size_t ConfigFileLength = 601;
using ConfigFileBytes = std::array<uint8_t, ConfigFileLength>;

ConfigFileBytes RecordToConfigFile(const EepromRecord& record);

struct ConfigFileResult {
    std::optional<EepromRecord> record;  // set when the bytes were accepted
    std::string error;                   // why not, otherwise
};

// Checks the bytes (at least one record; values that the record's layout
// holds) and decodes the first record; `fileName` names the file in the
// error text.
ConfigFileResult ConfigFileToRecord(std::span<const uint8_t> bytes, const std::string& fileName);

// Reads and checks a configuration file. Nothing else is changed.
ConfigFileResult ReadConfigFile(const std::string& path);

// Writes the record's 601 bytes to a new file beside `path` and puts it in
// place of `path` only once complete: a failed write leaves any old file as it
// was and nothing else behind; the old file's permissions are kept and a link
// at `path` is followed. Returns an error text, empty on success.
std::string WriteConfigFile(const std::string& path, const EepromRecord& record);

}  // namespace kovrin
