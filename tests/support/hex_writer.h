#pragma once
// Writes small Intel HEX texts for the tests and the benchmark.

#include <cstdio>
#include <string>
#include <vector>

#include "app/link/serial_frame.h"

namespace kovrin::test {

// One record line; the deltas spoil its count or checksum on purpose.
struct HexRecordLine {
    uint16_t address;
    uint8_t type;
    Bytes data;
    int countDelta = 0;     // a wrong byte count
    int checksumDelta = 0;  // a wrong checksum
};

inline std::string HexLine(const HexRecordLine& s, bool lower = false)
{
    const uint8_t count = uint8_t(s.data.size() + s.countDelta);
    Bytes bytes = {count, uint8_t(s.address >> 8), uint8_t(s.address & 0xFF), s.type};
    bytes.insert(bytes.end(), s.data.begin(), s.data.end());
    uint8_t sum = 0;
    for (uint8_t b : bytes)
        sum = uint8_t(sum + b);
    bytes.push_back(uint8_t(-sum + s.checksumDelta));
    std::string line = ":";
    char digits[3];
    for (uint8_t b : bytes) {
        std::snprintf(digits, sizeof digits, lower ? "%02x" : "%02X", b);
        line += digits;
    }
    return line;
}

inline std::string HexText(const std::vector<HexRecordLine>& lines, const char* eol = "\r\n", bool lower = false)
{
    std::string text;
    for (const auto& l : lines)
        text += HexLine(l, lower) + eol;
    return text;
}

inline HexRecordLine Eof() { return {0, 0x01, {}}; }
inline HexRecordLine Bank(uint8_t code) { return {0, 0x02, {code, 0x00}}; }

inline Bytes Ramp(size_t n, uint8_t first, uint8_t step = 1)
{
    Bytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = uint8_t(first + i * step);
    return b;
}

// The image's description page start: variant, names, revision, code, revisions, EEPROM address.
inline Bytes Description(uint8_t variant, const std::string& revision = "0043", uint8_t code = 0x21,
                         uint16_t eeprom = 0x5000)
{
    Bytes d = {variant};
    for (char c : std::string("SARNELAPP")) d.push_back(uint8_t(c));
    for (char c : std::string("TYX SARNEL ")) d.push_back(uint8_t(c));
    for (char c : revision) d.push_back(uint8_t(c));
    d.push_back(code);
    d.push_back(0x02);
    d.push_back(0x04);
    d.push_back(uint8_t(eeprom >> 8));
    d.push_back(uint8_t(eeprom & 0xFF));
    return d;  // 30 bytes, 0x4000 to 0x401D
}

}  // namespace kovrin::test
