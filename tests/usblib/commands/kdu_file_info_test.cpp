// The 68-byte record against hand-written bytes: every field's offset, the
// big-endian wire order, and the bytes that are never written.

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "usblib/commands/kdu_file_info.h"

namespace kovrin::usblib::commands {
namespace {

// Enumeration entry (reply bytes 1 to 62).
const std::array<uint8_t, 62> kEntry = {
    0x12, 0x34,                                            // file number
    0x08, 0x00, 0x00, 0x01,                                // variant identifier
    0x01, 0x02, 0x03, 0x04,                                // value 1
    0x05, 0x06, 0x07, 0x08,                                // value 2
    0x00, 0x04,                                            // data-file kind
    0x00, 0x2A,                                            // setup revision
    0x01, 0x05,                                            // calibration revision
    0xA1, 0xA2,                                            // value 3
    0xB1, 0xB2,                                            // value 4
    0xFE,                                                  // file class
    'T', 'y', 'x', 'A', 'u', 'd', 'i', 't', 'D', 'a', 't', 'a', '.', 'b', 'i', 'n',
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 'Z',               // name bytes 16 to 28
    0xC1, 0xC2, 0xC3, 0xC4,                                // value 5
    0x00, 0x00, 0x01, 0x2C,                                // file size 300
};

// The record those bytes give, starting from a record of 0xEE bytes.
const std::array<uint8_t, 68> kRecord = {
    0x34, 0x12, 0xEE, 0xEE,                                // 0 file number: low 16 bits only
    0x01, 0x00, 0x00, 0x08,                                // 4 variant identifier
    0x04, 0x03, 0x02, 0x01,                                // 8 value 1
    0x08, 0x07, 0x06, 0x05,                                // 12 value 2
    0x04, 0x00,                                            // 16 data-file kind
    0x2A, 0x00,                                            // 18 setup revision
    0x05, 0x01,                                            // 20 calibration revision
    0xA2, 0xA1,                                            // 22 value 3
    0xB2, 0xB1,                                            // 24 value 4
    0xFE, 0xFF,                                            // 26 file class, sign-extended
    'T', 'y', 'x', 'A', 'u', 'd', 'i', 't', 'D', 'a', 't', 'a', '.', 'b', 'i', 'n',
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 'Z', 0xEE,         // 28 name; byte 29 kept
    0xEE, 0xEE,                                            // 58 gap, never written
    0xC4, 0xC3, 0xC2, 0xC1,                                // 60 value 5
    0x2C, 0x01, 0x00, 0x00,                                // 64 file size
};

TEST(KduFileInfo, EntryFillsEveryFieldAtItsOffset)
{
    std::array<uint8_t, 68> record;
    record.fill(0xEE);
    FillFileInfoFromEntry(kEntry, record);
    EXPECT_EQ(record, kRecord);
}

TEST(KduFileInfo, NamedOffsetsMatchTheFixture)
{
    using namespace kdu_file_info;
    EXPECT_EQ(kRecord[kFileNumber], 0x34);
    EXPECT_EQ(kRecord[kVariantId + 3], 0x08);
    EXPECT_EQ(kRecord[kValue1], 0x04);
    EXPECT_EQ(kRecord[kValue2], 0x08);
    EXPECT_EQ(kRecord[kDataFileKind], 0x04);
    EXPECT_EQ(kRecord[kSetupRevision], 0x2A);
    EXPECT_EQ(kRecord[kCalibrationRevision + 1], 0x01);
    EXPECT_EQ(kRecord[kValue3], 0xA2);
    EXPECT_EQ(kRecord[kValue4], 0xB2);
    EXPECT_EQ(kRecord[kFileClass], 0xFE);
    EXPECT_EQ(kRecord[kFileName], 'T');
    EXPECT_EQ(kRecord[kValue5], 0xC4);
    EXPECT_EQ(kRecord[kFileSize], 0x2C);
    EXPECT_EQ(kSize, kRecord.size());
}

TEST(KduFileInfo, PositiveClassIsNotSignExtended)
{
    std::array<uint8_t, 62> entry = kEntry;
    entry[24] = 0x03;
    std::array<uint8_t, 68> record{};
    FillFileInfoFromEntry(entry, record);
    EXPECT_EQ(record[kdu_file_info::kFileClass], 0x03);
    EXPECT_EQ(record[kdu_file_info::kFileClass + 1], 0x00);
}

TEST(KduFileInfo, CreateEntryIsTheWireFormOfTheRecord)
{
    std::array<uint8_t, 68> record = kRecord;
    record[kdu_file_info::kFileClass] = 0x03;  // file class 0x0103: only its low byte is sent
    record[kdu_file_info::kFileClass + 1] = 0x01;
    std::array<uint8_t, 52> expected = {
        0x08, 0x00, 0x00, 0x01, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08,
        0x00, 0x04, 0x00, 0x2A, 0x01, 0x05, 0xA1, 0xA2, 0xB1, 0xB2,
        0x03,
        'T', 'y', 'x', 'A', 'u', 'd', 'i', 't', 'D', 'a', 't', 'a', '.', 'b', 'i', 'n',
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 'Z',  // name byte 29 (0xEE) is not sent
    };
    EXPECT_EQ(CreateEntryFromFileInfo(record), expected);
}

}  // namespace
}  // namespace kovrin::usblib::commands
