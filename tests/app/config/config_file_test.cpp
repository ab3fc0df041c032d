#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "app/config/config_file.h"
#include "app/config/eeprom_map.h"
#include "tests/app/config/image_fixture.h"
#include "tests/support/file_size_limit.h"

namespace kovrin {
namespace {

namespace fs = std::filesystem;

// A record with a different value in every field, taken from the pattern image.
EepromRecord PatternRecord(uint8_t variant)
{
    EepromRecord r;
    DecodeEepromImage(r, test::PatternImage(), 0, variant);
    r.VariantCode = variant;
    r.AuditCounters[29] = 0xA5;
    r.ExtraBytes[9] = 0x5A;
    r.ExtraByte = 0x77;
    r.SpareBlock[127] = 0x99;
    return r;
}

uint32_t Le32(const ConfigFileBytes& b, size_t at)
{
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}

TEST(ConfigFileFormat, FieldsSitAtTheirOffsets)
{
    EepromRecord r = PatternRecord(5);
    r.ScalingFactor = 0x1234;
    r.ChannelPulseAssignment[1] = 0xABCD;
    r.EndWord = 0xBEEF;
    const ConfigFileBytes b = RecordToConfigFile(r);
    EXPECT_EQ(b[0], r.HeaderByte);
    EXPECT_EQ(b[9], r.IsoCode[0]);
    EXPECT_EQ(Le32(b, 11), 0x1234u);
    EXPECT_EQ(b[15], r.DecimalPlaces);
    EXPECT_EQ(Le32(b, 18 + 4 * 1), 0xABCDu);
    EXPECT_EQ(b[114], r.ChannelVendAssignment[0]);
    EXPECT_EQ(b[137], r.ChannelVendAssignment[23]);
    EXPECT_EQ(b[154], 0);  // Word80
    EXPECT_EQ(b[160], r.EscrowTime);
    EXPECT_EQ(b[186], r.SerialNumber[0]);
    EXPECT_EQ(b[226], 0xA5);  // AuditCounters[29]
    EXPECT_EQ(b[317], 0x5A);  // ExtraBytes[9]
    EXPECT_EQ(b[318], 0x77);  // ExtraByte
    EXPECT_EQ(b[339], 5);     // VariantCode
    EXPECT_EQ(Le32(b, 341), 0xBEEFu);
    EXPECT_EQ(b[345], r.ExtendedBlock[0]);
    EXPECT_EQ(b[600], 0x99);  // SpareBlock[127]
}

TEST(ConfigFileFormat, RoundTripKeepsEveryField)
{
    for (uint8_t variant : {5, 6, 7, 9}) {
        EepromRecord r = PatternRecord(variant);
        if (variant == 6 || variant == 7)
            for (int& v : r.ChannelPulseAssignment)
                v &= 0xFF;
        const ConfigFileBytes b = RecordToConfigFile(r);
        const ConfigFileResult back = ConfigFileToRecord(b, "x.tyx");
        ASSERT_TRUE(back.record) << back.error;
        EXPECT_EQ(*back.record, r) << int(variant);
        EXPECT_EQ(RecordToConfigFile(*back.record), b);
    }
}

TEST(ConfigFileFormat, RecordOfNoAcceptorIsAccepted)
{
    EepromRecord r;
    LoadEepromDefaults(r, 0);
    EXPECT_TRUE(ConfigFileToRecord(RecordToConfigFile(r), "Config.tyx").record);
}

TEST(ConfigFileFormat, ALongerFileIsReadAsItsFirstRecord)
{
    const EepromRecord r = PatternRecord(5);
    const ConfigFileBytes b = RecordToConfigFile(r);
    for (size_t extra : {1u, 99u, 601u}) {
        std::vector<uint8_t> longer(b.begin(), b.end());
        longer.insert(longer.end(), extra, 0xEE);
        const ConfigFileResult back = ConfigFileToRecord(longer, "x.tyx");
        ASSERT_TRUE(back.record) << extra << ": " << back.error;
        EXPECT_EQ(*back.record, r);
    }
}

TEST(ConfigFileFormat, VariantsWithoutALayoutAreRead)
{
    for (uint8_t variant : {1, 3, 4, 8, 200}) {
        EepromRecord r = PatternRecord(5);
        r.VariantCode = variant;
        r.ScalingFactor = 70000;  // no layout, no limit
        const ConfigFileResult back = ConfigFileToRecord(RecordToConfigFile(r), "x.tyx");
        ASSERT_TRUE(back.record) << int(variant) << ": " << back.error;
        EXPECT_EQ(*back.record, r);
    }
}

TEST(ConfigFileFormat, BadFilesAreRefusedWithTheirReason)
{
    const ConfigFileBytes good = RecordToConfigFile(PatternRecord(5));
    const auto spoiled = [&](std::function<void(std::vector<uint8_t>&)> f) {
        std::vector<uint8_t> b(good.begin(), good.end());
        f(b);
        return b;
    };
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        const char* reason;
    };
    const Case cases[] = {
        {"empty", {}, "0 bytes"},
        {"600 bytes", spoiled([](auto& b) { b.pop_back(); }), "600 bytes"},
        {"scaling above 65535", spoiled([](auto& b) { b[13] = 1; }), "scaling factor"},
        {"negative pulse value", spoiled([](auto& b) { b[18 + 4 * 2 + 3] = 0xFF; }), "channel 3"},
        {"layout 6/7 pulse above 255", spoiled([](auto& b) { b[339] = 7; b[19] = 1; }), "channel 1"},
    };
    for (const Case& c : cases) {
        const ConfigFileResult result = ConfigFileToRecord(c.bytes, "bench.tyx");
        EXPECT_FALSE(result.record) << c.name;
        EXPECT_NE(result.error.find("bench.tyx"), std::string::npos) << c.name << ": " << result.error;
        EXPECT_NE(result.error.find(c.reason), std::string::npos) << c.name << ": " << result.error;
    }
}

class ConfigFileOnDisk : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("kovrin-config-" + std::to_string(::getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    fs::path dir;
};

TEST_F(ConfigFileOnDisk, SaveReplacesALongerFileWithExactly601Bytes)
{
    const fs::path file = dir / "Config.tyx";
    std::ofstream(file, std::ios::binary) << std::string(700, 'x');
    const EepromRecord r = PatternRecord(9);
    ASSERT_EQ(WriteConfigFile(file.string(), r), "");
    EXPECT_EQ(fs::file_size(file), 601u);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1) << "nothing left behind";

    const ConfigFileResult back = ReadConfigFile(file.string());
    ASSERT_TRUE(back.record) << back.error;
    EXPECT_EQ(*back.record, r);
}

TEST_F(ConfigFileOnDisk, AFailedSaveKeepsTheOldFileAndLeavesNothing)
{
    const fs::path file = dir / "Config.tyx";
    const EepromRecord old = PatternRecord(5);
    ASSERT_EQ(WriteConfigFile(file.string(), old), "");
    std::string error;
    {
        const test::FileSizeLimit limit(100);  // the new file cannot be written whole
        error = WriteConfigFile(file.string(), PatternRecord(9));
    }
    EXPECT_NE(error.find("Config.tyx"), std::string::npos) << error;
    const ConfigFileResult back = ReadConfigFile(file.string());
    ASSERT_TRUE(back.record) << back.error;
    EXPECT_EQ(*back.record, old);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1) << "nothing left behind";
}

TEST_F(ConfigFileOnDisk, SavingKeepsTheUsersOwnFilesLinksAndPermissions)
{
    const fs::path file = dir / "Shop.tyx";
    std::ofstream(file.string() + ".tmp") << "the user's own";
    const fs::path real = dir / "real.tyx";
    std::ofstream(real) << "old";
    fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write);
    const fs::path link = dir / "linked.tyx";
    fs::create_symlink(real, link);

    const EepromRecord r = PatternRecord(7);
    ASSERT_EQ(WriteConfigFile(file.string(), r), "");
    ASSERT_EQ(WriteConfigFile(link.string(), r), "");
    std::ifstream own(file.string() + ".tmp");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(own), {}), "the user's own");
    EXPECT_TRUE(fs::is_symlink(link)) << "the link stays a link";
    EXPECT_EQ(fs::file_size(real), 601u);
    EXPECT_EQ(fs::status(real).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(ConfigFileOnDisk, FailedSaveSaysWhyAndLeavesNothing)
{
    const fs::path file = dir / "missing-folder" / "Config.tyx";
    const std::string error = WriteConfigFile(file.string(), PatternRecord(5));
    EXPECT_NE(error.find("Config.tyx"), std::string::npos) << error;
    EXPECT_FALSE(fs::exists(file));
}

TEST_F(ConfigFileOnDisk, AMissingFileFailsALongOneGivesItsFirstRecord)
{
    EXPECT_FALSE(ReadConfigFile((dir / "none.tyx").string()).record);
    const fs::path big = dir / "big.tyx";
    const EepromRecord r = PatternRecord(9);
    const ConfigFileBytes b = RecordToConfigFile(r);
    {
        std::ofstream out(big, std::ios::binary);
        out.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
        out << std::string(5000, 'x');
    }
    const ConfigFileResult result = ReadConfigFile(big.string());
    ASSERT_TRUE(result.record) << result.error;
    EXPECT_EQ(*result.record, r);
    const fs::path small = dir / "small.tyx";
    std::ofstream(small, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), 600);
    const ConfigFileResult refused = ReadConfigFile(small.string());
    EXPECT_FALSE(refused.record);
    EXPECT_NE(refused.error.find("small.tyx"), std::string::npos);
}

}  // namespace
}  // namespace kovrin
