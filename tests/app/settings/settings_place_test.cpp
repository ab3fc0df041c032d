// Where the settings file and the COMn links are, and that a port choice made
// where the program folder cannot be written survives a restart.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "app/link/comm_port.h"
#include "app/settings/program_settings.h"
#include "app/settings/program_folder.h"
#include "app/settings/settings_place.h"

namespace kovrin {
namespace {

TEST(SettingsPlace, BesideAWritableProgramElseInTheUsersConfigurationFolder)
{
    struct Case {
        bool writable;
        const char* xdg;
        SettingsPlace expected;
    };
    const Case cases[] = {
        {true, "/x", {"/opt/k/Kovrin.ini", "", {"/opt/k"}}},
        {false, "/x", {"/x/kovrin/Kovrin.ini", "/opt/k/Kovrin.ini", {"/x/kovrin", "/opt/k"}}},
        {false, "", {"/home/u/.config/kovrin/Kovrin.ini", "/opt/k/Kovrin.ini", {"/home/u/.config/kovrin", "/opt/k"}}},
        // A relative XDG_CONFIG_HOME does not count.
        {false, "cfg", {"/home/u/.config/kovrin/Kovrin.ini", "/opt/k/Kovrin.ini", {"/home/u/.config/kovrin", "/opt/k"}}},
    };
    for (const Case& c : cases) {
        std::string asked;
        SettingsPlace got = ChooseSettingsPlace("/opt/k", c.xdg, "/home/u", [&](const std::string& folder) {
            asked = folder;
            return c.writable;
        });
        EXPECT_EQ(asked, "/opt/k");
        EXPECT_EQ(got.File, c.expected.File) << c.writable << c.xdg;
        EXPECT_EQ(got.Fallback, c.expected.Fallback) << c.writable << c.xdg;
        EXPECT_EQ(got.LinkFolders, c.expected.LinkFolders) << c.writable << c.xdg;
    }
}

std::string Contents(const QString& path)
{
    std::ifstream in(path.toStdString(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class ReadOnlyProgramFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        program = dir.path() + "/program";
        config = dir.path() + "/config";
        ASSERT_TRUE(QDir().mkpath(program));
        SetProgramFolderForTesting(program);
        setenv("XDG_CONFIG_HOME", config.toUtf8().constData(), 1);
        SetFolderWritableForTesting([this](const std::string& folder) {
            return QString::fromStdString(folder) != program;
        });
        Restart();
    }
    void TearDown() override
    {
        SetFolderWritableForTesting(nullptr);
        SetProgramFolderForTesting({});
        unsetenv("XDG_CONFIG_HOME");
    }
    // What a new run of the program starts from.
    void Restart()
    {
        settings = {};
        LoadSettings(settings);
    }

    QTemporaryDir dir;
    QString program, config;
    ProgramSettings settings;
};

TEST_F(ReadOnlyProgramFolder, ThePortChoiceSurvivesARestartInTheUsersFolder)
{
    {
        std::ofstream seed((program + "/Kovrin.ini").toStdString(), std::ios::binary);
        seed << "3\r\n/fw\r\n/cfg.tyx\r\n";
    }
    Restart();
    EXPECT_EQ(settings.SettingsComPort, "3");  // the program folder's copy, until the user's own exists
    EXPECT_EQ(settings.FirmwareFilePath, "/fw");
    EXPECT_FALSE(QFile::exists(config + "/kovrin/Kovrin.ini"));  // nothing written at start-up

    settings.SettingsComPort = "9";
    SaveSettings(settings);
    EXPECT_EQ(Contents(config + "/kovrin/Kovrin.ini"), "9\r\n/fw\r\n/cfg.tyx\r\n");
    EXPECT_EQ(Contents(program + "/Kovrin.ini"), "3\r\n/fw\r\n/cfg.tyx\r\n");

    Restart();
    EXPECT_EQ(settings.SettingsComPort, "9");
}

TEST_F(ReadOnlyProgramFolder, WithoutAnyFileTheDefaultsAndTheFirstChoiceGoesToTheUsersFolder)
{
    EXPECT_EQ(settings.SettingsComPort, "1");
    settings.SettingsComPort = "2";
    SaveSettings(settings);
    Restart();
    EXPECT_EQ(settings.SettingsComPort, "2");
    EXPECT_FALSE(QFile::exists(program + "/Kovrin.ini"));
}

TEST_F(ReadOnlyProgramFolder, AWritableProgramFolderKeepsTheFileBesideTheProgram)
{
    SetFolderWritableForTesting([](const std::string&) { return true; });
    Restart();
    settings.SettingsComPort = "4";
    SaveSettings(settings);
    EXPECT_EQ(Contents(program + "/Kovrin.ini").substr(0, 3), "4\r\n");
    EXPECT_FALSE(QFile::exists(config + "/kovrin/Kovrin.ini"));
    EXPECT_EQ(ComLinkFolders(), QStringList{program});
}

TEST_F(ReadOnlyProgramFolder, ComLinksInTheUsersFolderComeFirst)
{
    const QString own = config + "/kovrin";
    ASSERT_TRUE(QDir().mkpath(own));
    ASSERT_TRUE(QFile::link("/dev/ttyUSB7", own + "/COM2"));
    ASSERT_TRUE(QFile::link("/dev/ttyUSB1", program + "/COM2"));
    ASSERT_TRUE(QFile::link("/dev/ttyACM0", program + "/COM3"));
    EXPECT_EQ(ComLinkFolders(), (QStringList{own, program}));
    EXPECT_EQ(ResolveComPort(2, ComLinkFolders()), "/dev/ttyUSB7");
    EXPECT_EQ(ResolveComPort(3, ComLinkFolders()), "/dev/ttyACM0");
    EXPECT_EQ(ResolveComPort(4, ComLinkFolders()), "/dev/ttyS3");
}

}  // namespace
}  // namespace kovrin
