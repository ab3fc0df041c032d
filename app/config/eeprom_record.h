#pragma once
// The acceptor's configuration memory and the record it is edited in.

#include <array>
#include <cstdint>
#include <string>

#include "app/core/eeprom_image.h"

namespace kovrin {

struct EepromRecord {
    uint8_t HeaderByte = 0;
    uint8_t InterfaceType = 0;
    std::array<uint8_t, 3> SecurityMask{};
    std::array<uint8_t, 3> ChannelEnableMask{};
    uint8_t PulsesPerUnit = 0;
    std::array<uint8_t, 2> IsoCode{};
    int32_t ScalingFactor = 0;
    uint8_t DecimalPlaces = 0;
    uint8_t OptionFlags = 0;
    uint8_t SignalFlags = 0;
    std::array<int32_t, 24> ChannelPulseAssignment{};
    std::array<uint8_t, 24> ChannelVendAssignment{};
    std::array<uint8_t, 16> MdbChannelValue{};
    int32_t Word80 = 0;
    uint8_t PulseOnTime = 0;
    uint8_t PulseOffTime = 0;
    uint8_t EscrowTime = 0;
    uint8_t Byte107 = 0;
    uint8_t CcTalkAddress = 0;
    std::array<uint8_t, 3> CcTalkEncryptionCode{};
    std::array<uint8_t, 3> CcTalkSerialNumber{};
    uint8_t CcTalkFlag = 0;
    std::array<uint8_t, 15> Block116{};
    uint8_t Byte131 = 0;
    std::array<uint8_t, 11> SerialNumber{};
    std::array<uint8_t, 30> AuditCounters{};
    std::array<uint8_t, 13> Block163{};
    std::array<uint8_t, 6> Block176{};
    std::array<uint8_t, 6> Block182{};
    std::array<uint8_t, 6> Block188{};
    std::array<uint8_t, 7> Block194{};
    std::array<uint8_t, 7> Block201{};
    std::array<uint8_t, 18> Block208{};
    std::array<uint8_t, 18> Block220{};
    std::array<uint8_t, 10> ExtraBytes{};
    uint8_t ExtraByte = 0;
    std::array<uint8_t, 6> Bytes232{};
    std::array<uint8_t, 6> Block238{};
    std::array<uint8_t, 6> Block244{};
    uint8_t Byte250 = 0;
    uint8_t SetupRevision = 0;
    uint8_t VariantCode = 0;
    uint8_t CalibrationRevision = 0;
    int32_t EndWord = 0;
    std::array<uint8_t, 128> ExtendedBlock{};
    std::array<uint8_t, 128> SpareBlock{};

    bool operator==(const EepromRecord&) const = default;
};

// Where CurrentRecord came from.
enum ConfigSourceCode : int32_t {
    ConfigFromDefaults = 0,
    ConfigFromFile = 1,
    ConfigFromFactory = 2,
    ConfigFromAcceptor = 3,
};

}  // namespace kovrin
