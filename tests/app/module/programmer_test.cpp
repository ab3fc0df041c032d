// The two programmers behind the window's read, write and update actions:
// what each does on its device, in order, and what it refuses before
// anything is sent.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/config/eeprom_map.h"
#include "app/config/screen_values.h"
#include "app/module/programmer.h"
#include "tests/app/link/fake_link.h"
#include "tests/app/module/fake_module.h"

namespace kovrin {
namespace {

using Log = std::vector<std::string>;

// The session's own displays play no part here.
class QuietSessionHost : public AcceptorSessionHost {
public:
    void ShowLinkLost() override {}
    void Reconnect() override {}
    void OpenPortFlashSpeed() override {}
    void PollTickChecked() override {}
    LocalTime LocalNow() const override { return {2024, 3, 9, 14, 25}; }
    bool DateStampUsesDayCount() const override { return false; }
    void ShowIdentification(const IdentifiedAcceptor&) override {}
    void ShowFactoryRevisions(const std::string&, const std::string&) override {}
    void ShowCalibration(bool) override {}
    void ShowConfiguration() override {}
    void ShowConfigurationRead() override {}
    void ReportShortConfiguration(int, int) override {}
    void ConfigurationWriteRefused() override {}
    void WaitForReboot(int) override {}
    void ShowAuditReply(const Bytes&) override {}
    void ShowDeviceProgrammed() override {}
    void UpdateVerified() override {}
    void ReportFlashResult(int32_t, int32_t) override {}
    void UpdateAbandoned() override {}
    void ShowStatus(const std::string&) override {}
    void ShowProgress(int) override {}
    void ShowDeviceChecksum(const std::string&) override {}
    void CountBlockRetry() override {}
    void CountBootstrapRetry() override {}
    void ButtonsBusy() override {}
};

// Writes what the programmer has the window do into the same log as the port and the timers.
class LoggingWindow : public SerialProgrammerHost {
public:
    LoggingWindow(Log& log, AcceptorSession& session) : log_(log), session_(session) {}

    void Message(const std::string& text) override { log_.push_back("message " + text); }
    void EnableButtons(bool enabled) override { log_.push_back(enabled ? "buttons on" : "buttons off"); }
    void Reconnect() override { log_.push_back("reconnect"); }
    void UpdateStarting() override { log_.push_back("update starting"); }
    void OpenPortFlashSpeed() override { session_.OpenPort(1, true); }
    void UpdateDidNotStart() override { log_.push_back("update did not start"); }
    void UpdateUnderWay() override { log_.push_back("update under way"); }

private:
    Log& log_;
    AcceptorSession& session_;
};

struct SerialProgrammerTest : ::testing::Test {
    Log log;
    test::LoggingPort port{log};
    test::LoggingTimer poll{log, "poll"};
    test::LoggingTimer guard{log, "guard"};
    QuietSessionHost sessionHost;
    ProgramState state;
    AcceptorSession session{port, poll, guard, sessionHost, state};
    LoggingWindow window{log, session};
    SerialProgrammer programmer{session, window};
};

EepromRecord RecordOf(uint8_t variant)
{
    EepromRecord record{};
    EXPECT_TRUE(LoadEepromDefaults(record, variant));
    record.VariantCode = variant;
    return record;
}

// What a read and a write do before the request: no poll and no old reply meets the exchange.
const Log TakingTheLink = {"buttons off", "poll off", "pause 20", "reconnect", "poll off"};

TEST_F(SerialProgrammerTest, AConfigurationReadAsksOnAFreshLinkAndWaitsForTheReply)
{
    programmer.ReadConfiguration({}, 5, EepromRecord{});
    Log expected = TakingTheLink;
    expected.insert(expected.end(), {"write 27 00 06 FA 20 DC", "guard 1500"});
    EXPECT_EQ(log, expected);
}

TEST_F(SerialProgrammerTest, AnAcceptorWithoutLayoutIsNeitherReadNorWrittenAndPollingGoesOn)
{
    const uint8_t noLayout = 1;
    ASSERT_FALSE(NoLayoutText(noLayout).empty());
    programmer.ReadConfiguration({}, noLayout, EepromRecord{});
    EXPECT_EQ(log, (Log{"message " + NoLayoutText(noLayout)}));

    log.clear();
    EepromRecord unknown{};
    unknown.VariantCode = noLayout;
    EepromImage image{};
    const CodecResult encoded = EncodeEepromImage(unknown, image);
    ASSERT_FALSE(encoded);
    programmer.WriteConfiguration(unknown, {});
    EXPECT_EQ(log, (Log{"message " + encoded.message + "\nNothing was sent.", "buttons on", "poll on"}));
}

TEST_F(SerialProgrammerTest, OnlyARecordOfTheAttachedAcceptorsLayoutIsWritten)
{
    const struct {
        uint8_t record, acceptor;
        bool refused;
    } cases[] = {{5, 5, false}, {7, 7, false}, {6, 7, false}, {5, 7, true}, {7, 5, true}, {5, 1, true}};
    for (const auto& c : cases)
        EXPECT_EQ(!programmer.RecordRefusal(c.record, c.acceptor).empty(), c.refused)
            << int(c.record) << " to " << int(c.acceptor);
    EXPECT_TRUE(log.empty());
}

TEST_F(SerialProgrammerTest, AWriteGivenUpAfterTheLinkWasTakenPollsAgain)
{
    programmer.BeginConfigurationWrite();
    EXPECT_EQ(log, TakingTheLink);
    log.clear();
    programmer.AbandonConfigurationWrite();
    EXPECT_EQ(log, (Log{"poll on"}));
}

FirmwareImage Image()
{
    FirmwareImage image;
    image.ImageVariant = 5;
    image.revision = "0043";
    image.ImageChecksum = 0x1234;
    image.analysed = true;
    image.BlockTable = {{0, 0x02, {0x10, 0x00}}, {0x4000, 0x00, Bytes(128, 0xA5)}, {0, 0x01, {}}};
    return image;
}

TEST_F(SerialProgrammerTest, AnUpdateGoesOnOnlyAtTheBootLoadersSpeed)
{
    const FirmwareImage image = Image();
    EXPECT_FALSE(programmer.KeepsFirstImage());
    EXPECT_FALSE(programmer.ConfiguresLoadedImage());
    EXPECT_EQ(programmer.UseOfLoadedImage(5), Programmer::ImageUse::FollowsAcceptor);
    EXPECT_EQ(programmer.FirmwareRefusal(FirmwareImage{}, 0), "");
    const Log start = {"poll off", "pause 500", "update starting", "write 27 00 0A F6 11 55 A0 55 88 C5",
                       "poll off", "guard 1500", "open 1 38400, N, 8, 1"};
    const struct {
        bool opens;
        Log after;
    } cases[] = {
        {true, {"update under way"}},
        {false, {"guard off", "update did not start", "poll on"}},
    };
    for (const auto& c : cases) {
        log.clear();
        port.opens = c.opens;
        programmer.WriteFirmware(image, 5, true);
        Log expected = start;
        expected.insert(expected.end(), c.after.begin(), c.after.end());
        EXPECT_EQ(log, expected) << (c.opens ? "opens" : "does not open");
        EXPECT_EQ(session.State().FlashMode, c.opens);
        session.AbandonUpdate();
        session.LeaveBootLoaderSpeed();
    }
}

// ---- the programming module

class QuietModuleHost : public ModuleSessionHost {
public:
    Log Messages;
    EepromRecord Read{};
    void Message(const std::string& text, const std::string&) override { Messages.push_back(text); }
    bool Confirm(const std::string&) override { return true; }
    void ShowUnitConnected(bool) override {}
    void ShowModuleReady() override {}
    void ShowModuleGone() override {}
    void ShowFileList(const KduFileList&) override {}
    void SetProgressRange(int) override {}
    void SetProgress(int) override {}
    void ShowDownloadStatus(const std::string&) override {}
    void ShowConfigurationStatus(const std::string&) override {}
    void ShowConfigurationRead(const EepromRecord& record) override { Read = record; }
    void ShowAuditFile(const Bytes&, AuditFileKind) override {}
    void WorkStarted() override {}
    void WorkEnding() override {}
    void WorkEnded() override {}
    void KeepPainted() override {}
};

struct ModuleProgrammerTest : ::testing::Test {
    test::FakeModule module;
    QuietModuleHost host;
    ModuleSession session{module.Exports(), host};
    ProgramState state;
    ModuleProgrammer programmer{session, state};

    void SetUp() override { ASSERT_EQ(session.UnitArrived(0x51, USB_DEVICE_KDU), ModuleSession::Arrival::Opened); }
};

TEST_F(ModuleProgrammerTest, OnlyAnImageOfAVariantTheModuleKnowsIsKeptAndSent)
{
    EXPECT_TRUE(programmer.KeepsFirstImage());
    EXPECT_TRUE(programmer.ConfiguresLoadedImage());
    EXPECT_EQ(programmer.RecordRefusal(5, 7), "");  // the attached acceptor plays no part
    const struct {
        uint8_t variant;
        std::string revision;
        Programmer::ImageUse use;
        std::string refusal;
    } cases[] = {
        {5, "0043", Programmer::ImageUse::Ready, ""},
        {7, "0018", Programmer::ImageUse::Ready, ""},
        {6, "0018", Programmer::ImageUse::Unusable, ""},
        {5, "043", Programmer::ImageUse::Ready, "Bad Firmware revision"},
        {0, "0043", Programmer::ImageUse::Unusable, "Bad Firmware revision"},  // no variant shows no revision
    };
    for (const auto& c : cases) {
        FirmwareImage image = Image();
        image.revision = c.revision;
        EXPECT_EQ(programmer.UseOfLoadedImage(c.variant), c.use) << int(c.variant);
        EXPECT_EQ(programmer.FirmwareRefusal(image, c.variant), c.refusal) << int(c.variant) << " " << c.revision;
    }
}

TEST_F(ModuleProgrammerTest, TheFirmwareGoesAsTheFileOfTheImagesVariant)
{
    // A variant without a module file writes nothing and says nothing.
    programmer.WriteFirmware(Image(), 6, false);
    EXPECT_TRUE(module.Files.empty());
    EXPECT_TRUE(host.Messages.empty());

    programmer.WriteFirmware(Image(), 5, false);
    ASSERT_EQ(module.Files.size(), 1u);
    EXPECT_EQ(module.Files[0].Info.VariantId, SarnelVariantId);
    EXPECT_TRUE(host.Messages.empty());
}

TEST_F(ModuleProgrammerTest, TheConfigurationIsWrittenToTheModuleAndReadFromIt)
{
    // Nothing is held or released on the module around a write.
    const size_t callsBefore = module.Log.size();
    programmer.BeginConfigurationWrite();
    programmer.AbandonConfigurationWrite();
    EXPECT_EQ(module.Log.size(), callsBefore);

    programmer.WriteConfiguration(RecordOf(5), {5, 0x12, 0x34});
    ASSERT_EQ(module.Files.size(), 1u);
    EXPECT_EQ(module.Files[0].Info.SetupRevision, 0x12);
    EXPECT_EQ(module.Files[0].Info.CalibrationRevision, 0x34);
    EXPECT_EQ(state.EepromLength, 176) << "the file took the layout's bytes";

    // What the module read from its acceptor is a file of its own kind.
    EepromRecord onModule = RecordOf(5);
    onModule.SerialNumber[0] = 'Q';
    EepromImage image{};
    ASSERT_TRUE(EncodeEepromImage(onModule, image));
    module.Files.push_back({test::Entry(9, 0, KduReadableConfigKind, SarnelVariantId, "Tyx_Config.bin"),
                            Bytes(image.begin(), image.begin() + 176)});
    module.Files.back().Info.SetupRevision = 0x12;
    module.Files.back().Info.CalibrationRevision = 0x34;
    session.RefreshKduFileList(session.KduInUse);
    programmer.ReadConfiguration({5, 0x12, 0x34}, 5, EepromRecord{});
    EXPECT_EQ(host.Messages, Log{});
    EXPECT_EQ(host.Read.SerialNumber[0], 'Q');
}

}  // namespace
}  // namespace kovrin
