#pragma once
// The serial link's frames, variants and dates as the fuzz targets lay them
// out for themselves, from the frame's byte list, the variant table and the
// calendar, so that what the program builds and reads is compared with
// something it did not compute.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kovrin::fuzz {

// The check byte of a frame of `n` bytes: the XOR of bytes 1 to n - 2.
inline uint8_t CheckByteOf(const std::vector<uint8_t>& frame, size_t n)
{
    uint8_t x = 0;
    for (size_t i = 1; i + 1 < n; ++i)
        x ^= frame[i];
    return x;
}

// 0x27, address, N, 256 - N, code, data, check byte; N counts them all.
inline std::vector<uint8_t> LaidOutFrame(uint8_t address, uint8_t code, const std::vector<uint8_t>& data)
{
    const size_t n = data.size() + 6;
    std::vector<uint8_t> f = {0x27, address, uint8_t(n), uint8_t(256 - n), code};
    f.insert(f.end(), data.begin(), data.end());
    f.push_back(0);
    f.back() = CheckByteOf(f, n);
    return f;
}

// A block as frame 0x12: bank, address high, address low, then the block's data.
inline std::vector<uint8_t> LaidOutBlockFrame(uint8_t address, uint8_t bank, uint16_t blockAddress,
                                              const std::vector<uint8_t>& blockData)
{
    std::vector<uint8_t> data = {bank, uint8_t(blockAddress / 256), uint8_t(blockAddress % 256)};
    data.insert(data.end(), blockData.begin(), blockData.end());
    return LaidOutFrame(address, 0x12, data);
}

// The acceptor variants by code: the name shown and byte 1 of the frames
// sent; codes outside 1 to 9 are unknown and addressed as 0.
struct VariantEntry {
    const char* name;
    uint8_t frameAddress;
};

inline VariantEntry VariantByCode(uint8_t code)
{
    switch (code) {
    case 1: return {"Orvel", 0};
    case 2: return {"Dastin", 0};
    case 3: return {"Production", 4};
    case 4: return {"Dastin Plus", 4};
    case 5: return {"Tyx Sarnel", 4};
    case 6: return {"Orvxel Plus", 4};
    case 7: return {"Tyx Tekra", 4};
    case 8: return {"Pellot", 0};
    case 9: return {"Dastin ++", 4};
    default: return {"UNKNOWN", 0};
    }
}

// An extended-address record's first data byte names the bank; other values leave it.
inline uint8_t BankNamed(uint8_t code, uint8_t bank)
{
    return code == 0x00 ? 0 : code == 0x10 ? 1 : code == 0x20 ? 2 : code == 0x30 ? 3 : bank;
}

inline bool LeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

inline int DaysInMonth(int year, int month)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && LeapYear(year) ? 29 : days[month - 1];
}

// Days from 1 January 2010 to a later date, counted by calendar.
inline long DaysSince2010(int year, int month, int day)
{
    long n = 0;
    for (int y = 2010; y < year; ++y)
        n += LeapYear(y) ? 366 : 365;
    for (int m = 1; m < month; ++m)
        n += DaysInMonth(year, m);
    return n + day - 1;
}

struct CalendarDate {
    int year, month, day;
};

// The date `days` after 1 January 2010.
inline CalendarDate DateAfter2010(long days)
{
    CalendarDate d{2010, 1, 1};
    while (days >= (LeapYear(d.year) ? 366 : 365))
        days -= LeapYear(d.year++) ? 366 : 365;
    while (days >= DaysInMonth(d.year, d.month))
        days -= DaysInMonth(d.year, d.month++);
    d.day = int(days) + 1;
    return d;
}

}  // namespace kovrin::fuzz
