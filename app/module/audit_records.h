#pragma once
// The module's audit files: a leading byte, then records of 43 bytes
// ("TyxAuditData.bin") or 55 bytes ("TyxTekraAuditData.bin") in one of three
// layouts chosen by each record's revision text; and the texts of the twelve
// columns that show them.

#include <QDate>
#include <QLocale>
#include <QString>
#include <QVariant>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/link/audit_counters.h"

namespace kovrin {

enum class AuditFileKind {
    Sarnel,  // "TyxAuditData.bin", data-file kind 1
    Tekra,   // "TyxTekraAuditData.bin", data-file kind 4
};

constexpr size_t AuditLeadingBytes = 1;
constexpr size_t SarnelAuditRecordLength = 43;
constexpr size_t TekraAuditRecordLength = 55;
size_t AuditRecordLength(AuditFileKind kind);

enum class AuditLayout {
    Record24,  // five 3-byte big-endian counters, no timestamp
    Packed,    // the acceptor's packed counter block with its day count
    Record32,  // five 4-byte big-endian counters and a five-byte stamp
};

// Byte 21 then byte 22 in upper-case hexadecimal without leading zeros: 0x00 0x42 gives "042".
std::string AuditRevisionText(uint8_t first, uint8_t second);
// Compared as text, never as a number: the module's own firmware chooses its layout the same way.
AuditLayout AuditLayoutOf(AuditFileKind kind, const std::string& revisionText);

struct AuditRecord {
    std::array<uint8_t, 11> SerialNumber{};
    std::array<uint8_t, 9> PartNumber{};
    uint8_t RevisionFirst = 0;
    uint8_t RevisionSecond = 0;
    AuditLayout Layout = AuditLayout::Record24;
    // Only the fields of the layout are set; the others stay 0.
    AuditCounterBlock Counters;
    std::array<uint8_t, 5> Stamp{};  // Record32: T0..T4

    bool operator==(const AuditRecord&) const = default;
};

// One record of `kind` (at least AuditRecordLength(kind) bytes; bytes after it are not read).
AuditRecord DecodeAuditRecord(std::span<const uint8_t> record, AuditFileKind kind);

struct AuditFileRecords {
    std::vector<AuditRecord> Records;
    size_t TailBytes = 0;  // bytes after the last whole record, not decoded
};

// A whole audit file as read from the module, leading byte included.
AuditFileRecords DecodeAuditFile(std::span<const uint8_t> file, AuditFileKind kind);

// Empty when there is no tail.
QString AuditTailText(size_t tailBytes, AuditFileKind kind);

enum AuditColumn {
    ColumnSerial,
    ColumnPart,
    ColumnRevision,
    ColumnStarts,
    ColumnPreEscrows,
    ColumnStacks,
    ColumnRejects,
    ColumnHostReturns,
    ColumnCheats,
    ColumnJams,
    ColumnPowerUp,
    ColumnTimestamp,
    AuditColumnCount
};

const char* AuditColumnHeader(int column);

// What a cell shows; nothing for a cell the row does not have (the
// timestamp of a Record24 row).
std::optional<QString> AuditCellText(const AuditRecord& record, int column, const QLocale& locale);

// What a cell holds: counters as numbers, the packed timestamp as a date, the
// rest as text; invalid where the row has no cell.
QVariant AuditCellValue(const AuditRecord& record, int column);

}  // namespace kovrin
