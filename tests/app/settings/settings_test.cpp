#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <unistd.h>

#include "app/settings/settings.h"
#include "tests/support/file_size_limit.h"

namespace kovrin {
namespace {

namespace fs = std::filesystem;

class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("kovrin-settings-" + std::to_string(::getpid()));
        fs::create_directories(dir);
        file = (dir / "Kovrin.ini").string();
    }
    void TearDown() override { fs::remove_all(dir); }
    void Write(const std::string& content) { std::ofstream(file, std::ios::binary) << content; }
    std::string Read()
    {
        std::ifstream in(file, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    fs::path dir;
    std::string file;
};

TEST_F(SettingsFile, NoFileGivesTheDefaultsAndWritesNothing)
{
    const SettingsValues v = ReadSettingsFile(file, "/opt/kovrin");
    EXPECT_EQ(v.SettingsComPort, "1");
    EXPECT_EQ(v.FirmwareFilePath, "/opt/kovrin");
    EXPECT_EQ(v.ConfigFilePath, "/opt/kovrin/Config.tyx");
    EXPECT_FALSE(fs::exists(file));
}

TEST_F(SettingsFile, LinesByPosition)
{
    struct Case {
        const char* content;
        const char* port;
        const char* firmware;
        const char* config;
    };
    const Case cases[] = {
        {"3\r\n", "3", "", ""},
        {"3", "3", "", ""},
        {"2\r\n/a/b.hex\r\n/a/c.tyx\r\n", "2", "/a/b.hex", "/a/c.tyx"},
        {"2\n/a/b.hex\n/a/c.tyx\n", "2", "/a/b.hex", "/a/c.tyx"},
        {"9\r\n\r\n\r\nextra\r\n", "9", "", ""},
        {"", "", "", ""},
    };
    for (const Case& c : cases) {
        Write(c.content);
        const SettingsValues v = ReadSettingsFile(file, "/opt/kovrin");
        EXPECT_EQ(v.SettingsComPort, c.port) << c.content;
        EXPECT_EQ(v.FirmwareFilePath, c.firmware) << c.content;
        EXPECT_EQ(v.ConfigFilePath, c.config) << c.content;
    }
}

TEST_F(SettingsFile, WritesThreeCrLfLinesEvenWhenEmpty)
{
    ASSERT_TRUE(WriteSettingsFile(file, {"9", "", "/x/Config.tyx"}));
    EXPECT_EQ(Read(), "9\r\n\r\n/x/Config.tyx\r\n");
    ASSERT_TRUE(WriteSettingsFile(file, {"1", "", ""}));
    EXPECT_EQ(Read(), "1\r\n\r\n\r\n");
    EXPECT_FALSE(fs::exists(file + ".tmp"));
}

TEST_F(SettingsFile, AFailedWriteKeepsTheOldFileAndLeavesNothing)
{
    ASSERT_TRUE(WriteSettingsFile(file, {"4", "a", "b"}));
    {
        const test::FileSizeLimit limit(4);  // the new file cannot be written whole
        EXPECT_FALSE(WriteSettingsFile(file, {"5", "/some/firmware.hex", "/some/Config.tyx"}));
    }
    EXPECT_EQ(Read(), "4\r\na\r\nb\r\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1) << "nothing left behind";
    EXPECT_FALSE(WriteSettingsFile((dir / "no-folder" / "Kovrin.ini").string(), {"1", "", ""}));
}

TEST_F(SettingsFile, AValueWithALineBreakIsRefusedAndTheOldFileKept)
{
    ASSERT_TRUE(WriteSettingsFile(file, {"4", "a", "b"}));
    const SettingsValues refused[] = {
        {"5\n", "a", "b"},
        {"5", "/home/tech/odd\nname.hex", "b"},
        {"5", "a", "/home/tech/Config.tyx\r\n"},
    };
    for (const SettingsValues& values : refused) {
        EXPECT_FALSE(WriteSettingsFile(file, values));
        EXPECT_EQ(Read(), "4\r\na\r\nb\r\n");
    }
    // A carriage return alone reads back as it was written.
    ASSERT_TRUE(WriteSettingsFile(file, {"5", "a\r", "\rb"}));
    const SettingsValues v = ReadSettingsFile(file, "/opt/kovrin");
    EXPECT_EQ(v.FirmwareFilePath, "a\r");
    EXPECT_EQ(v.ConfigFilePath, "\rb");
}

TEST_F(SettingsFile, WritingKeepsTheUsersOwnFilesLinksAndPermissions)
{
    std::ofstream(file + ".tmp") << "the user's own";
    const fs::path real = dir / "real.ini";
    std::ofstream(real) << "old";
    fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write);
    const std::string link = (dir / "linked.ini").string();
    fs::create_symlink(real, link);

    ASSERT_TRUE(WriteSettingsFile(file, {"2", "", ""}));
    ASSERT_TRUE(WriteSettingsFile(link, {"3", "", ""}));
    std::ifstream own(file + ".tmp");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(own), {}), "the user's own");
    EXPECT_TRUE(fs::is_symlink(link)) << "the link stays a link";
    std::ifstream written(real);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(written), {}), "3\r\n\r\n\r\n");
    EXPECT_EQ(fs::status(real).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
}

TEST(ComPortFromSetting, OneToNineElseOne)
{
    const std::pair<const char*, int> cases[] = {
        {"1", 1}, {"3", 3}, {"9", 9}, {" 4 ", 4}, {"03", 3}, {"0", 1}, {"10", 1},
        {"", 1},  {"x", 1}, {"2x", 1}, {"-2", 1}, {"99999999999", 1},
    };
    for (auto [text, port] : cases)
        EXPECT_EQ(ComPortFromSetting(text), port) << text;
}

TEST(FileNameFromPath, EitherSlash)
{
    EXPECT_EQ(FileNameFromPath("C:\\a\\b.hex"), "b.hex");
    EXPECT_EQ(FileNameFromPath("/a/b.hex"), "b.hex");
    EXPECT_EQ(FileNameFromPath("b.hex"), "b.hex");
    EXPECT_EQ(FileNameFromPath("C:\\a\\"), "");
    EXPECT_EQ(FileNameFromPath("/a/"), "");
}

}  // namespace
}  // namespace kovrin
