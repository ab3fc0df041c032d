#pragma once
// Audit records written by hand: the head, then chosen bytes at their record offsets.

#include <QLocale>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <utility>
#include <vector>

namespace kovrin::test {

using Bytes = std::vector<uint8_t>;

// Dates in the tests read month/day/two-digit year.
inline const QLocale UsLocale(QLocale::English, QLocale::UnitedStates);

// A record of `length` bytes: serial (11 bytes) at 0, part (9) at 11, byte 20
// 0xEE (never read), the revision at 21 and 22, then `at` (offset, byte)
// pairs; every other byte is `fill`.
inline Bytes AuditRecordBytes(size_t length, const char* serial, const char* part, uint8_t first, uint8_t second,
                              std::initializer_list<std::pair<size_t, uint8_t>> at = {}, uint8_t fill = 0)
{
    Bytes r(length, fill);
    std::memcpy(r.data(), serial, 11);
    std::memcpy(r.data() + 11, part, 9);
    r[20] = 0xEE;
    r[21] = first;
    r[22] = second;
    for (const auto& [offset, value] : at)
        r[offset] = value;
    return r;
}

// An audit file: the leading 0x00, then the records.
inline Bytes AuditFileBytes(std::initializer_list<Bytes> records)
{
    Bytes file{0x00};
    for (const Bytes& r : records)
        file.insert(file.end(), r.begin(), r.end());
    return file;
}

}  // namespace kovrin::test
