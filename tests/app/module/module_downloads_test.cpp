// What is stored on a module: the firmware's HEX text, its file name, the configuration file.

#include <gtest/gtest.h>

#include <numeric>

#include "app/module/kdu_directory.h"
#include "app/module/module_downloads.h"
#include "app/link/update_frames.h"

namespace kovrin {
namespace {

std::string Text(const Bytes& b)
{
    return std::string(b.begin(), b.end());
}

TEST(ModuleDownloads, HexRecordTexts)
{
    Bytes page(128);
    std::iota(page.begin(), page.end(), uint8_t(0));
    const struct {
        uint16_t address;
        uint8_t type;
        Bytes data;
        std::string text;
    } cases[] = {
        {0x0000, 0x01, {}, ":00000001FF"},
        {0x0000, 0x01, {0x12, 0x34}, ":020000011234B7"},
        {0x0000, 0x02, {0x10, 0x00}, ":020000021000EC"},
        {0x4000, 0x00, {0x05, 0xFF}, ":0240000005FFBA"},
        {0x0000, 0x09, {0x0C, 0x03, 0x05, 0x0E, 0x07}, ":050000090C03050E07C9"},
        {0x0000, 0x09, {0x2C, 0x01, 0x00, 0x00, 0x00}, ":050000092C01000000C5"},
        {0x0000, 0x00, {0x00}, ":0100000000FF"},
        {0xFFFF, 0x00, {0xFE}, ":01FFFF00FE03"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HexRecordText(c.address, c.type, c.data), c.text);
    EXPECT_EQ(HexRecordText(0x4080, 0, page).size(), 267u);
}

TEST(ModuleDownloads, ARecordIsWrittenInPiecesOfAtMost126Characters)
{
    Bytes page(128, 0x5A);
    const std::string record = HexRecordText(0x4080, 0, page);
    const std::vector<Bytes> writes = RecordWrites(record);
    ASSERT_EQ(writes.size(), 3u);
    EXPECT_EQ(writes[0].size(), 126u);
    EXPECT_EQ(writes[1].size(), 126u);
    EXPECT_EQ(writes[2].size(), 15u);
    EXPECT_EQ(Text(writes[0]) + Text(writes[1]) + Text(writes[2]), record);
    ASSERT_EQ(RecordWrites(":00000001FF").size(), 1u);
}

TEST(ModuleDownloads, FirmwareTextIsTheBlocksThenChecksumThenDate)
{
    FirmwareImage image;
    image.BlockTable = {{0, 0x02, {0x10, 0x00}}, {0x4000, 0x00, {0x05, 0xFF}}, {0, 0x01, {}}};
    image.ImageChecksum = 0x1234;
    const auto records = ModuleFirmwareRecords(image, DateStampData({2012, 3, 5, 14, 7}, false));
    const std::vector<std::string> expected = {":020000021000EC", ":0240000005FFBA", ":00000001FF",
                                               ":020000011234B7", ":050000090C03050E07C9"};
    EXPECT_EQ(records, expected);
    // 300 days after the day count's start
    EXPECT_EQ(ModuleFirmwareRecords(image, DateStampData({2010, 10, 28, 9, 0}, true)).back(),
              ":050000092C01000000C5");
}

TEST(ModuleDownloads, DateRecordEncodingByImageAndRevision)
{
    const struct {
        const char* variant;
        const char* revision;
        bool calendar;
    } cases[] = {
        {"Tyx Tekra", "0016", true},  {"Tyx Tekra", "0017", false}, {"Tyx Tekra", "0100", false},
        {"Tyx Sarnel", "0042", true}, {"Tyx Sarnel", "0043", false}, {"Tyx Sarnel", "004A", false},
        {"Dastin Plus", "0001", false}, {"", "0000", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ModuleDateUsesCalendar(c.variant, c.revision), c.calendar) << c.variant << " " << c.revision;
}

TEST(ModuleDownloads, FirmwareFileNameHoldsTheRevisionInThreeDecimalDigits)
{
    const struct {
        const char* revision;
        std::optional<std::string> name;
    } cases[] = {
        {"0043", "Ver   067 TYX_FW.HEX"}, {"0017", "Ver   023 TYX_FW.HEX"}, {"0000", "Ver   000 TYX_FW.HEX"},
        {"03E7", "Ver   999 TYX_FW.HEX"}, {"03E8", std::nullopt},           {"00G1", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FirmwareFileName(c.revision), c.name) << c.revision;

    const KduFileInfo entry = FirmwareFileEntry(TekraVariantId, "Ver   023 TYX_FW.HEX");
    EXPECT_EQ(entry.VariantId, TekraVariantId);
    EXPECT_EQ(entry.FileClass, KduApplication);
    EXPECT_EQ(entry.DataFileKind, 0);
    EXPECT_EQ(std::string(entry.FileName), "Ver   023 TYX_FW.HEX");
    EXPECT_EQ(entry.FileName[29], 0);
}

TEST(ModuleDownloads, ConfigurationFileByImageVariant)
{
    const struct {
        uint8_t variant;
        const char* name;
        uint32_t id;
    } cases[] = {{5, "Tyx_Config.bin", SarnelVariantId}, {7, "Tyx_WS_Config.bin", TekraVariantId},
                 {9, "Tyx_WS_Config.bin", TekraVariantId}};
    for (const auto& c : cases) {
        const KduFileInfo entry = ConfigFileEntry(c.variant, 0x12, 0x34);
        EXPECT_EQ(std::string(entry.FileName), c.name);
        EXPECT_EQ(entry.VariantId, c.id);
        EXPECT_EQ(entry.DataFileKind, KduConfigKind);
        EXPECT_EQ(entry.FileClass, KduDataFile);
        EXPECT_EQ(entry.SetupRevision, 0x12);
        EXPECT_EQ(entry.CalibrationRevision, 0x34);
    }
    EepromImage image{};
    std::iota(image.begin(), image.end(), uint8_t(1));
    const Bytes contents = ModuleConfigContents(image, 176);
    ASSERT_EQ(contents.size(), 176u);
    EXPECT_EQ(contents[0], 0x62);
    EXPECT_EQ(contents[175], 176);
    const auto pieces = Pieces(contents, ConfigWriteLength);
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(pieces[0].size(), 128u);
    EXPECT_EQ(pieces[1].size(), 48u);
    EXPECT_EQ(Pieces(ModuleConfigContents(image, 100), 128).size(), 1u);
}

}  // namespace
}  // namespace kovrin
