#pragma once
// The acceptor's audit counters: the packed 20-byte block, the older 0x35
// reply layout and the texts of the audit window's nine boxes.

#include <QDate>
#include <QLocale>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "app/config/eeprom_record.h"
#include "app/link/serial_frame.h"

namespace kovrin {

constexpr size_t AuditCounterBlockLength = 20;

// The 160-bit little-endian bit string, unpacked.
struct AuditCounterBlock {
    uint32_t MotorStarts = 0;    // bits 0..19
    uint32_t PreEscrows = 0;     // bits 20..38
    uint32_t Stacked = 0;        // bits 39..57
    uint32_t Rejects = 0;        // bits 58..76
    uint32_t Returns = 0;        // bits 77..95
    uint32_t Cheats = 0;         // bits 96..114
    uint32_t Jams = 0;           // bits 115..133
    uint32_t PowerUps = 0;       // bits 134..147
    uint32_t DaysSince2010 = 0;  // bits 148..159

    bool operator==(const AuditCounterBlock&) const = default;
};

// Where each field lies in the bit string.
struct AuditBitField {
    uint32_t AuditCounterBlock::*field;
    int firstBit;
    int width;
};
extern const std::array<AuditBitField, 9> AuditCounterFields;

// Decodes the first 20 bytes; nothing when fewer are given.
std::optional<AuditCounterBlock> DecodeAuditCounterBlock(std::span<const uint8_t> bytes);

// 1 January 2010 plus the day count.
QDate AuditDate(uint32_t DaysSince2010);
// The older layouts' stamp: "a/b/c d:e", each byte in decimal with at least two digits.
QString AuditStampText(uint8_t a, uint8_t b, uint8_t c, uint8_t d, uint8_t e);
// That date in the locale's short date format.
QString AuditTimestampText(uint32_t DaysSince2010, const QLocale& locale);

// What the nine boxes of the audit window show; an empty text leaves a box empty.
struct AuditBoxTexts {
    QString txtPreEscrows;
    QString txtJams;
    QString txtReturns;
    QString txtTimestamp;
    QString txtPowerUp;
    QString txtCheats;
    QString txtRejects;
    QString txtStacked;
    QString txtMotStarts;

    bool operator==(const AuditBoxTexts&) const = default;
};

AuditBoxTexts AuditTextsFromBlock(const AuditCounterBlock& block, const QLocale& locale);

// True when a firmware text selects the older layouts (compared as text).
bool IsOlderAuditReply(const std::string& FirmwareVersionText);   // below "0017"
bool IsOlderAuditRecord(const std::string& FirmwareVersionText);  // below "0043"

// The boxes for a 0x35 reply frame (the whole frame, check byte last); nothing
// when the frame ends before the bytes its layout needs.
std::optional<AuditBoxTexts> AuditTextsFromReply(const Bytes& frame, const std::string& FirmwareVersionText,
                                                 const QLocale& locale);

// The boxes for the audit counters of a configuration record.
AuditBoxTexts AuditTextsFromRecord(const EepromRecord& record, const std::string& FirmwareVersionText,
                                   const QLocale& locale);

// What the audit window shows when it is loaded.
struct AuditLoadTexts {
    AuditBoxTexts boxes;
    QString note;  // shown above the boxes when not empty
};

// Shown for a variant-5 acceptor whose current configuration has not been read.
inline const char* AuditNotReadText =
    "The audit counters have not been read from the acceptor yet. Read the acceptor's configuration first.";

// Only a variant-5 acceptor has its counters in the record, and only a record
// read from the acceptor holds real values.
AuditLoadTexts AuditTextsOnLoad(uint8_t AcceptorVariant, int32_t ConfigSource, const EepromRecord& record,
                                const std::string& FirmwareVersionText, const QLocale& locale);

}  // namespace kovrin
