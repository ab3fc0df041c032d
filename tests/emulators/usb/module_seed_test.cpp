// A module's first files from a folder, with and without a directory file,
// and the folders it refuses.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "emulators/usb/module_emulator.h"
#include "emulators/usb/module_seed.h"
#include "emulators/usb/usb_emulators.h"

namespace kovrin::emulator::usb {
namespace {

namespace fs = std::filesystem;

class SeedTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder_ = fs::temp_directory_path() /
                  ("kovrin-seed-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    void Write(const std::string& name, const std::string& contents)
    {
        std::ofstream(folder_ / name, std::ios::binary) << contents;
    }

    fs::path folder_;
};

TEST_F(SeedTest, ListedFilesFirstWithTheirEntries)
{
    Write("directory.txt",
          "# class kind variant setup calibration name\n"
          "0 4 0x08000000 0 0 TyxTekraAuditData.bin\n"
          "\n"
          "3 0 0x04000000 0 0 Ver   067 TYX_FW.HEX\r\n"
          "0 2 0x04000000 0x2A 5 Tyx_Config.bin\n");
    Write("Tyx_Config.bin", std::string(176, 'c'));
    Write("TyxTekraAuditData.bin", std::string(1, '\0'));
    Write("Ver   067 TYX_FW.HEX", ":00000001FF");
    Write("zz.txt", "z");
    Write("aa.bin", "aa");
    fs::create_directory(folder_ / "sub");

    MadeEmulator made = MakeUsbEmulator("kdu", folder_.string());
    ASSERT_TRUE(made.Device) << made.Error;
    auto module = std::dynamic_pointer_cast<ModuleEmulator>(made.Device);
    std::vector<ModuleFile> files = module->Files();
    ASSERT_EQ(files.size(), 5u);
    struct Expected {
        uint16_t Number;
        std::string Name;
        uint8_t Class;
        uint16_t Kind;
        uint32_t Variant;
        uint16_t Setup;
        uint16_t Calibration;
        size_t Size;
    };
    const Expected expected[] = {
        {1, "TyxTekraAuditData.bin", 0, 4, 0x08000000, 0, 0, 1},
        {2, "Ver   067 TYX_FW.HEX", 3, 0, 0x04000000, 0, 0, 11},
        {3, "Tyx_Config.bin", 0, 2, 0x04000000, 0x2A, 5, 176},
        {4, "aa.bin", 0, 0, 0, 0, 0, 2},
        {5, "zz.txt", 0, 0, 0, 0, 0, 1},
    };
    for (size_t i = 0; i < files.size(); ++i) {
        const Expected& e = expected[i];
        const ModuleFile& f = files[i];
        EXPECT_EQ(f.Number, e.Number) << e.Name;
        EXPECT_EQ(f.NameText(), e.Name);
        EXPECT_EQ(f.FileClass, e.Class) << e.Name;
        EXPECT_EQ(f.DataFileKind, e.Kind) << e.Name;
        EXPECT_EQ(f.VariantId, e.Variant) << e.Name;
        EXPECT_EQ(f.SetupRevision, e.Setup) << e.Name;
        EXPECT_EQ(f.CalibrationRevision, e.Calibration) << e.Name;
        EXPECT_EQ(f.Contents.size(), e.Size) << e.Name;
    }
}

TEST_F(SeedTest, FoldersThatCannotSeedAModule)
{
    struct Case {
        const char* What;
        std::string Directory;
        std::string ExtraFile;
        std::string ErrorPart;
    };
    const Case cases[] = {
        {"too few numbers", "0 1 TyxAuditData.bin\n", "", "directory.txt:1: expected class"},
        {"a word for a number", "0 one 0 0 0 a.bin\n", "", "directory.txt:1: expected class"},
        {"a class above a byte", "256 0 0 0 0 a.bin\n", "", "directory.txt:1: expected class"},
        {"no name", "# names\n0 0 0 0 0\n", "", "directory.txt:2: expected class"},
        {"a listed file that is not there", "0 0 0 0 0 missing.bin\n", "", "cannot read"},
        {"a name longer than 29 bytes", "", "a-name-that-is-thirty-bytes-x", "file name longer than 29 bytes"},
    };
    for (const Case& c : cases) {
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        if (!c.Directory.empty())
            Write("directory.txt", c.Directory);
        if (!c.ExtraFile.empty())
            Write(c.ExtraFile + "x", "1");
        MadeEmulator made = MakeUsbEmulator("kdu", folder_.string());
        EXPECT_FALSE(made.Device) << c.What;
        EXPECT_NE(made.Error.find(c.ErrorPart), std::string::npos) << c.What << ": " << made.Error;
    }
    MadeEmulator missing = MakeUsbEmulatorFromText("rdu:" + (folder_ / "nowhere").string());
    EXPECT_FALSE(missing.Device);
    EXPECT_EQ(missing.Error, "rdu: no seed folder " + (folder_ / "nowhere").string());
}

TEST_F(SeedTest, FilesLargerThanTheModuleAreRefused)
{
    Write("huge.bin", std::string(600, 'h'));
    ModuleFiles files(500);
    EXPECT_EQ(SeedModuleFiles(folder_, files), "the module has no room for huge.bin");
}

TEST(DemoSeed, HoldsTwoConfigurationsAndBothAuditFiles)
{
    MadeEmulator made = MakeUsbEmulator("kdu", DEMO_SEED);
    ASSERT_TRUE(made.Device) << made.Error;
    std::vector<ModuleFile> files = std::dynamic_pointer_cast<ModuleEmulator>(made.Device)->Files();
    ASSERT_EQ(files.size(), 4u);
    EXPECT_EQ(files[0].NameText(), "Tyx_Config.bin");
    EXPECT_EQ(files[0].Contents.size(), 176u);
    EXPECT_EQ(files[0].Contents[0], 0x62);
    EXPECT_EQ(files[1].DataFileKind, 1);
    EXPECT_EQ((files[1].Contents.size() - 1) % 43, 0u);
    EXPECT_EQ(files[2].DataFileKind, 4);
    EXPECT_EQ(files[2].Contents, std::vector<uint8_t>{0});
    // One the module read from a Tyx Sarnel, with the revisions of the demo firmware's configuration block.
    EXPECT_EQ(files[3].DataFileKind, 3);
    EXPECT_EQ(files[3].VariantId, 0x04000000u);
    EXPECT_EQ(files[3].SetupRevision, 0x12);
    EXPECT_EQ(files[3].CalibrationRevision, 0x2A);
    EXPECT_EQ(files[3].Contents.size(), 176u);
    EXPECT_EQ(files[3].Contents[0], 0x62);
}

}  // namespace
}  // namespace kovrin::emulator::usb
