#include <gtest/gtest.h>

#include "app/module/audit_records.h"
#include "tests/support/module_audit_records.h"

namespace kovrin {
namespace {

using namespace test;

QString Cell(const AuditRecord& r, int column)
{
    return AuditCellText(r, column, UsLocale).value_or("<no cell>");
}

AuditRecord Sarnel(const Bytes& bytes)
{
    return DecodeAuditRecord(bytes, AuditFileKind::Sarnel);
}

AuditRecord Tekra(const Bytes& bytes)
{
    return DecodeAuditRecord(bytes, AuditFileKind::Tekra);
}

TEST(AuditRevision, HexDigitsOfEachByteWithoutLeadingZeros)
{
    const struct {
        uint8_t first, second;
        const char* text;
    } cases[] = {
        {0x00, 0x42, "042"}, {0x01, 0x05, "15"},  {0x00, 0x0A, "0A"},   {0x00, 0x00, "00"},
        {0x10, 0x00, "100"}, {0xAB, 0xCD, "ABCD"}, {0xFF, 0xFF, "FFFF"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AuditRevisionText(c.first, c.second), c.text) << int(c.first) << " " << int(c.second);
}

TEST(AuditRevision, LayoutChosenByComparingTextsNotNumbers)
{
    const struct {
        AuditFileKind kind;
        uint8_t first, second;
        AuditLayout layout;
    } cases[] = {
        {AuditFileKind::Sarnel, 0x00, 0x42, AuditLayout::Record24},  // "042"
        {AuditFileKind::Sarnel, 0x00, 0x41, AuditLayout::Record24},  // "041"
        {AuditFileKind::Sarnel, 0x00, 0x04, AuditLayout::Record24},  // "04", a beginning of "042"
        {AuditFileKind::Sarnel, 0x00, 0x00, AuditLayout::Record24},  // "00"
        {AuditFileKind::Sarnel, 0x00, 0x43, AuditLayout::Packed},    // "043"
        {AuditFileKind::Sarnel, 0x00, 0x0A, AuditLayout::Packed},    // "0A": A follows 4
        {AuditFileKind::Sarnel, 0x01, 0x00, AuditLayout::Packed},    // "10"
        {AuditFileKind::Sarnel, 0x01, 0x05, AuditLayout::Packed},    // "15"
        {AuditFileKind::Tekra, 0x00, 0x17, AuditLayout::Record32},   // "017"
        {AuditFileKind::Tekra, 0x00, 0x01, AuditLayout::Record32},   // "01", a beginning of "018"
        {AuditFileKind::Tekra, 0x00, 0x12, AuditLayout::Record32},   // "012"
        {AuditFileKind::Tekra, 0x00, 0x18, AuditLayout::Packed},     // "018"
        {AuditFileKind::Tekra, 0x00, 0x09, AuditLayout::Packed},     // "09"
        {AuditFileKind::Tekra, 0x00, 0x02, AuditLayout::Packed},     // "02"
        {AuditFileKind::Tekra, 0x00, 0x0A, AuditLayout::Packed},     // "0A"
    };
    for (const auto& c : cases) {
        const Bytes bytes = AuditRecordBytes(AuditRecordLength(c.kind), "SSSSSSSSSSS", "PPPPPPPPP", c.first, c.second);
        EXPECT_EQ(DecodeAuditRecord(bytes, c.kind).Layout, c.layout)
            << AuditRevisionText(c.first, c.second) << (c.kind == AuditFileKind::Sarnel ? " Sarnel" : " Tekra");
    }
}

TEST(AuditRecord24, CountersAreThreeBigEndianBytesAtTheirOffsets)
{
    const AuditRecord r = Sarnel(AuditRecordBytes(43, "TS500012345", "TYX-5-100", 0x00, 0x42,
                                                  {{23, 0x01}, {24, 0x02}, {25, 0x03},  // starts
                                                   {26, 0x00}, {27, 0x00}, {28, 0x07},  // stacks
                                                   {29, 0x00}, {30, 0x01}, {31, 0x00},  // rejects
                                                   {32, 0x01}, {33, 0x00}, {34, 0x00},  // cheats
                                                   {35, 0xFF}, {36, 0xFF}, {37, 0xFF},  // power-ups
                                                   {38, 0xFF}, {39, 0xFF}, {40, 0xFF}, {41, 0xFF}, {42, 0xFF}}));
    EXPECT_EQ(r.Layout, AuditLayout::Record24);
    const QStringList expected = {"TS500012345", "TYX-5-100", "042", "66051", "n/a",      "7",
                                  "256",         "n/a",       "65536", "n/a",  "16777215", "<no cell>"};
    for (int c = 0; c < AuditColumnCount; ++c)
        EXPECT_EQ(Cell(r, c), expected[c]) << AuditColumnHeader(c);
    EXPECT_FALSE(AuditCellValue(r, ColumnTimestamp).isValid());
}

TEST(AuditRecord24, ByteTwentyAndTheUnreadTailNeverChangeTheRow)
{
    const Bytes plain = AuditRecordBytes(43, "TS500012345", "TYX-5-100", 0x00, 0x30, {{25, 9}});
    Bytes noisy = plain;
    noisy[20] = 0x5A;
    for (size_t i = 38; i < 43; ++i)
        noisy[i] = 0xFF;
    EXPECT_EQ(Sarnel(plain), Sarnel(noisy));
    EXPECT_EQ(Cell(Sarnel(noisy), ColumnStarts), "9");
}

// Each field of the packed layout at its maximum, written as the bytes that hold it.
TEST(AuditRecordPacked, EachFieldAtItsMaximumTouchesNoOther)
{
    const struct {
        int column;
        std::initializer_list<std::pair<size_t, uint8_t>> bytes;
        const char* shown;
    } cases[] = {
        {ColumnStarts, {{23, 0xFF}, {24, 0xFF}, {25, 0x0F}}, "1048575"},
        {ColumnPreEscrows, {{25, 0xF0}, {26, 0xFF}, {27, 0x7F}}, "524287"},
        {ColumnStacks, {{27, 0x80}, {28, 0xFF}, {29, 0xFF}, {30, 0x03}}, "524287"},
        {ColumnRejects, {{30, 0xFC}, {31, 0xFF}, {32, 0x1F}}, "524287"},
        {ColumnHostReturns, {{32, 0xE0}, {33, 0xFF}, {34, 0xFF}}, "524287"},
        {ColumnCheats, {{35, 0xFF}, {36, 0xFF}, {37, 0x07}}, "524287"},
        {ColumnJams, {{37, 0xF8}, {38, 0xFF}, {39, 0x3F}}, "524287"},
        {ColumnPowerUp, {{39, 0xC0}, {40, 0xFF}, {41, 0x0F}}, "16383"},
        {ColumnTimestamp, {{41, 0xF0}, {42, 0xFF}}, "3/19/21"},
    };
    for (const auto& c : cases) {
        const AuditRecord r = Sarnel(AuditRecordBytes(43, "TS500012345", "TYX-5-100", 0x00, 0x43, c.bytes));
        ASSERT_EQ(r.Layout, AuditLayout::Packed);
        for (int column = ColumnStarts; column < AuditColumnCount; ++column) {
            const QString zero = column == ColumnTimestamp ? "1/1/10" : "0";
            EXPECT_EQ(Cell(r, column), column == c.column ? c.shown : zero)
                << "set " << AuditColumnHeader(c.column) << ", read " << AuditColumnHeader(column);
        }
    }
}

TEST(AuditRecordPacked, AllOnesAndAllZerosInBothFiles)
{
    for (AuditFileKind kind : {AuditFileKind::Sarnel, AuditFileKind::Tekra}) {
        const size_t length = AuditRecordLength(kind);
        const uint8_t revision = kind == AuditFileKind::Sarnel ? 0x43 : 0x18;
        const AuditRecord ones = DecodeAuditRecord(
            AuditRecordBytes(length, "TS500012345", "TYX-5-100", 0x00, revision, {}, 0xFF), kind);
        // The revision bytes are ours; every other byte is 0xFF.
        ASSERT_EQ(ones.Layout, AuditLayout::Packed);
        const QStringList full = {"1048575", "524287", "524287", "524287", "524287",
                                  "524287",  "524287", "16383",  "3/19/21"};
        const QStringList zero = {"0", "0", "0", "0", "0", "0", "0", "0", "1/1/10"};
        const AuditRecord zeros =
            DecodeAuditRecord(AuditRecordBytes(length, "TS500012345", "TYX-5-100", 0x00, revision), kind);
        for (int c = ColumnStarts; c < AuditColumnCount; ++c) {
            EXPECT_EQ(Cell(ones, c), full[c - ColumnStarts]) << AuditColumnHeader(c);
            EXPECT_EQ(Cell(zeros, c), zero[c - ColumnStarts]) << AuditColumnHeader(c);
        }
        EXPECT_EQ(AuditCellValue(ones, ColumnTimestamp).toDate(), QDate(2021, 3, 19));
        EXPECT_EQ(AuditCellValue(zeros, ColumnTimestamp).toDate(), QDate(2010, 1, 1));
    }
}

TEST(AuditRecordPacked, TekraBytesAfterTheBlockAreNotRead)
{
    const Bytes plain = AuditRecordBytes(55, "TT700012345", "TYX-7-200", 0x00, 0x20, {{23, 5}});
    Bytes noisy = plain;
    for (size_t i = 43; i < 55; ++i)
        noisy[i] = 0xFF;
    EXPECT_EQ(Tekra(plain), Tekra(noisy));
    EXPECT_EQ(Cell(Tekra(noisy), ColumnStarts), "5");
}

TEST(AuditRecord32, CountersAreFourBigEndianBytesAndTheStampIsText)
{
    const AuditRecord r = Tekra(AuditRecordBytes(55, "TT700012345", "TYX-7-200", 0x00, 0x17,
                                                 {{30, 10}, {31, 6}, {32, 15}, {33, 9}, {34, 5},       // stamp
                                                  {35, 0xFF}, {36, 0xFF}, {37, 0xFF}, {38, 0xFF},      // starts
                                                  {39, 0x00}, {40, 0x00}, {41, 0x00}, {42, 0x02},      // stacks
                                                  {43, 0x00}, {44, 0x00}, {45, 0x03}, {46, 0x00},      // rejects
                                                  {47, 0x00}, {48, 0x04}, {49, 0x00}, {50, 0x00},      // cheats
                                                  {51, 0x05}, {52, 0x00}, {53, 0x00}, {54, 0x00}},     // power-ups
                                                 0xFF));  // bytes 23 to 29 are not read
    EXPECT_EQ(r.Layout, AuditLayout::Record32);
    const QStringList expected = {"TT700012345", "TYX-7-200", "017", "4294967295", "n/a",      "2",
                                  "768",         "n/a",       "262144", "n/a",      "83886080", "06/15/10 09:05"};
    for (int c = 0; c < AuditColumnCount; ++c)
        EXPECT_EQ(Cell(r, c), expected[c]) << AuditColumnHeader(c);
    EXPECT_EQ(AuditCellValue(r, ColumnStarts).toUInt(), 4294967295u);
}

TEST(AuditRecord32, StampBytesOfOneHundredAndMoreKeepTheirDigits)
{
    const AuditRecord r = Tekra(AuditRecordBytes(55, "TT700012345", "TYX-7-200", 0x00, 0x10,
                                                 {{30, 255}, {31, 100}, {32, 0}, {33, 7}, {34, 200}}));
    EXPECT_EQ(Cell(r, ColumnTimestamp), "100/00/255 07:200");
}

TEST(AuditRecordHead, SerialAndPartKeepEveryByteAsOneCharacter)
{
    Bytes bytes = AuditRecordBytes(43, "AB\0\x01 \xFFXYZ12", "\x7F\0P-9    ", 0x00, 0x30);
    const AuditRecord r = Sarnel(bytes);
    const QString serial = Cell(r, ColumnSerial);
    const QString part = Cell(r, ColumnPart);
    ASSERT_EQ(serial.size(), 11);
    ASSERT_EQ(part.size(), 9);
    for (int i = 0; i < 11; ++i)
        EXPECT_EQ(serial[i].unicode(), bytes[size_t(i)]) << i;
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(part[i].unicode(), bytes[size_t(11 + i)]) << i;
}

TEST(AuditFile, OnlyWholeRecordsAfterTheLeadingByte)
{
    const Bytes sarnel = AuditRecordBytes(43, "TS500012345", "TYX-5-100", 0x00, 0x42, {{25, 1}});
    const Bytes tekra = AuditRecordBytes(55, "TT700012345", "TYX-7-200", 0x00, 0x18, {{23, 1}});
    const struct {
        const char* what;
        AuditFileKind kind;
        Bytes file;
        size_t rows, tail;
    } cases[] = {
        {"nothing at all", AuditFileKind::Sarnel, {}, 0, 0},
        {"the leading byte alone", AuditFileKind::Sarnel, {0x00}, 0, 0},
        {"130 bytes", AuditFileKind::Sarnel, AuditFileBytes({sarnel, sarnel, sarnel}), 3, 0},
        {"111 bytes", AuditFileKind::Tekra, AuditFileBytes({tekra, tekra}), 2, 0},
        {"a record and 20 bytes", AuditFileKind::Sarnel,
         AuditFileBytes({sarnel, Bytes(sarnel.begin(), sarnel.begin() + 20)}), 1, 20},
        {"42 bytes of a record", AuditFileKind::Sarnel, AuditFileBytes({Bytes(sarnel.begin(), sarnel.end() - 1)}), 0,
         42},
        {"a Tekra record and one byte", AuditFileKind::Tekra, AuditFileBytes({tekra, Bytes{0x54}}), 1, 1},
    };
    for (const auto& c : cases) {
        const AuditFileRecords decoded = DecodeAuditFile(c.file, c.kind);
        EXPECT_EQ(decoded.Records.size(), c.rows) << c.what;
        EXPECT_EQ(decoded.TailBytes, c.tail) << c.what;
        for (const AuditRecord& r : decoded.Records)
            EXPECT_EQ(Cell(r, ColumnStarts), "1") << c.what;
    }
}

TEST(AuditFile, TailIsReportedInPlainWords)
{
    EXPECT_EQ(AuditTailText(0, AuditFileKind::Sarnel), "");
    EXPECT_EQ(AuditTailText(20, AuditFileKind::Sarnel),
              "Not shown: the last 20 bytes of the file, fewer than a whole record of 43 bytes.");
    EXPECT_EQ(AuditTailText(1, AuditFileKind::Tekra),
              "Not shown: the last 1 byte of the file, fewer than a whole record of 55 bytes.");
}

}  // namespace
}  // namespace kovrin
