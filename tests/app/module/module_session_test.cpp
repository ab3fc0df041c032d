// The module's flows against a module in memory: the order of the library
// calls, what the user is told, and what a failure leaves on the module.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "app/config/eeprom_map.h"
#include "app/module/audit_files.h"
#include "app/module/module_session.h"
#include "tests/app/module/fake_module.h"

namespace kovrin {
namespace {

using test::Entry;
using test::FakeFile;
using test::FakeModule;
using Call = FakeModule::Call;
using Log = std::vector<std::string>;

constexpr UsbDevice Unit = 0x51;

// Writes down what the session shows, in order; answers confirmations with `confirm`.
class RecordingHost : public ModuleSessionHost {
public:
    Log Shown;
    std::vector<std::string> Messages;  // the message texts alone
    bool confirm = true;
    std::function<void()> DuringConfirm;
    EepromRecord Read{};
    Bytes AuditShown;

    void Message(const std::string& text, const std::string& title) override
    {
        Messages.push_back(text);
        Shown.push_back("message " + text + (title.empty() ? "" : " | " + title));
    }
    bool Confirm(const std::string& text) override
    {
        Shown.push_back("confirm " + text);
        if (DuringConfirm)
            DuringConfirm();
        return confirm;
    }
    void ShowUnitConnected(bool arrived) override { Shown.push_back(arrived ? "connected arrived" : "connected"); }
    void ShowModuleReady() override { Shown.push_back("ready"); }
    void ShowModuleGone() override { Shown.push_back("gone"); }
    void ShowFileList(const KduFileList& files) override { Shown.push_back("list " + std::to_string(files.Lines.size())); }
    void SetProgressRange(int maximum) override { Shown.push_back("range " + std::to_string(maximum)); }
    void SetProgress(int value) override { Shown.push_back("progress " + std::to_string(value)); }
    void ShowDownloadStatus(const std::string& text) override { Shown.push_back("status " + text); }
    void ShowConfigurationStatus(const std::string& text) override { Shown.push_back("config " + text); }
    void ShowConfigurationRead(const EepromRecord& record) override
    {
        Read = record;
        Shown.push_back("configuration read");
    }
    void ShowAuditFile(const Bytes& file, AuditFileKind kind) override
    {
        AuditShown = file;
        Shown.push_back(kind == AuditFileKind::Sarnel ? "audit Sarnel" : "audit Tekra");
    }
    void WorkStarted() override { Shown.push_back("busy"); }
    void WorkEnding() override { Shown.push_back("ending"); }
    void WorkEnded() override { Shown.push_back("idle"); }
    void KeepPainted() override {}
};

// The entries of `log` that start with `prefix`.
Log Only(const Log& log, const std::string& prefix)
{
    Log found;
    for (const std::string& s : log)
        if (s.rfind(prefix, 0) == 0)
            found.push_back(s);
    return found;
}

std::vector<Call> Without(std::vector<Call> calls, Call dropped)
{
    std::erase(calls, dropped);
    return calls;
}

struct SessionTest : ::testing::Test {
    FakeModule module;
    RecordingHost host;
    ModuleSession session{module.Exports(), host};

    // A KDU taken into use, its files listed; the logs start afterwards.
    void Arrive()
    {
        ASSERT_EQ(session.UnitArrived(Unit, USB_DEVICE_KDU), ModuleSession::Arrival::Opened);
        ASSERT_EQ(session.KduInUse, Unit);
        host.Shown.clear();
        host.Messages.clear();
        module.Log.clear();
    }

    void Add(const KduFileInfo& info, Bytes data = {})
    {
        module.Files.push_back({info, std::move(data)});
    }
};

// ---- units

TEST_F(SessionTest, AKduArrivingIsOpenedCheckedAndListed)
{
    Add(Entry(1, 0, 1, SarnelVariantId, "TyxAuditData.bin"), {0});
    EXPECT_EQ(session.UnitArrived(Unit, USB_DEVICE_KDU), ModuleSession::Arrival::Opened);
    EXPECT_EQ(session.KduInUse, Unit);
    EXPECT_FALSE(session.KduListStale);
    EXPECT_EQ(session.KduFiles.AuditFileId, 1);
    // A file left open by an unplug is closed before anything else.
    EXPECT_EQ(module.Log, (std::vector<Call>{Call::OpenDevice, Call::GetFWRev, Call::Close, Call::Enum, Call::Enum}));
    EXPECT_EQ(host.Shown, (Log{"connected arrived", "list 1", "ready"}));
}

TEST_F(SessionTest, AUnitThatCannotBeUsedIsNotTakenIntoUse)
{
    const struct {
        const char* what;
        int32_t type;
        uint8_t software;
        Call spoilt;
        UsbResult result;
        ModuleSession::Arrival arrival;
        Log shown;
        std::vector<Call> calls;
    } cases[] = {
        {"old software", USB_DEVICE_KDU, 4, Call::Enum, 0, ModuleSession::Arrival::Refused,
         {"message KDU software needs to be updated.  Cannot connect to KDU. | Old KDU App software"},
         {Call::OpenDevice, Call::GetFWRev, Call::CloseDevice}},
        {"open fails", USB_DEVICE_KDU, 5, Call::OpenDevice, USB_RESULT_OPEN_FAILED, ModuleSession::Arrival::NotOpened,
         {"message Error - Open Failed"}, {Call::OpenDevice}},
        {"a Knurl", USB_DEVICE_KNURL, 5, Call::GetFWRev, USB_RESULT_WRONG_DEVICE_TYPE, ModuleSession::Arrival::Opened,
         {"message Error - Invalid command for product"}, {Call::OpenDevice, Call::GetFWRev}},
        {"an RDU", USB_DEVICE_RDU, 5, Call::Enum, 0, ModuleSession::Arrival::Opened, {}, {Call::OpenDevice, Call::GetFWRev}},
    };
    for (const auto& c : cases) {
        FakeModule m;
        RecordingHost h;
        ModuleSession s{m.Exports(), h};
        m.Software = c.software;
        if (c.result)
            m.Spoils[{c.spoilt, 1}] = {c.result, 0};
        EXPECT_EQ(s.UnitArrived(Unit, c.type), c.arrival) << c.what;
        EXPECT_EQ(s.KduInUse, 0u) << c.what;
        EXPECT_EQ(h.Shown, c.shown) << c.what;
        EXPECT_EQ(m.Log, c.calls) << c.what;
        EXPECT_FALSE(s.ChooseUnit(Unit)) << c.what;
    }
}

TEST_F(SessionTest, OnlyTheUnitInUseTakesTheModuleScreenWithIt)
{
    Arrive();
    session.UnitRemoved(Unit + 1);
    EXPECT_EQ(session.KduInUse, Unit);
    EXPECT_TRUE(host.Shown.empty());

    // A failed close is reported, and the unit is gone all the same.
    module.Spoils[{Call::CloseDevice, 2}] = {USB_RESULT_BAD_HANDLE, 0};
    session.UnitRemoved(Unit);
    EXPECT_EQ(host.Shown, (Log{"message Error - Bad Handle", "gone"}));
    EXPECT_EQ(session.KduInUse, 0u);
    EXPECT_TRUE(session.KduListStale);
    EXPECT_EQ(session.KduFiles.AuditFileId, -1);
    EXPECT_FALSE(session.ChooseUnit(Unit));
}

TEST_F(SessionTest, ChoosingAUnitAgainListsItAgainUnlessATransferRuns)
{
    Arrive();
    EXPECT_TRUE(session.ChooseUnit(Unit));
    EXPECT_EQ(host.Shown, (Log{"connected", "list 0", "ready"}));
    session.ModuleBusy = true;
    EXPECT_FALSE(session.ChooseUnit(Unit));
    session.ModuleBusy = false;
    session.LibraryStopped();
    EXPECT_EQ(session.KduInUse, 0u);
    EXPECT_FALSE(session.ChooseUnit(Unit));
}

// ---- erase

TEST_F(SessionTest, EraseAsksFirstThenErasesAndListsAgain)
{
    Add(Entry(7, 0, 2, SarnelVariantId, "Tyx_Config.bin"), {1, 2});
    Arrive();
    const KduFileRow line = session.KduFiles.Lines.at(0);

    host.confirm = false;
    session.ConfirmEraseKduFile(line);
    EXPECT_EQ(host.Shown, (Log{"confirm Confirm erase file \"Tyx_Config.bin\""}));
    EXPECT_TRUE(module.Log.empty());

    host.confirm = true;
    host.Shown.clear();
    session.ConfirmEraseKduFile(line);
    EXPECT_EQ(Without(module.Log, Call::Enum), (std::vector<Call>{Call::Delete}));
    EXPECT_EQ(host.Shown, (Log{"confirm Confirm erase file \"Tyx_Config.bin\"", "list 0"}));
    EXPECT_TRUE(module.Files.empty());
}

TEST_F(SessionTest, AnEraseAnsweredAfterTheUnitChangedErasesNothing)
{
    Add(Entry(7, 0, 2, SarnelVariantId, "Tyx_Config.bin"), {1, 2});
    Arrive();
    host.DuringConfirm = [&] { session.UnitRemoved(Unit); };
    session.ConfirmEraseKduFile(session.KduFiles.Lines.at(0));
    EXPECT_EQ(host.Messages,
              (std::vector<std::string>{"The KDU that file was on is no longer the one in use; nothing was erased."}));
    EXPECT_EQ(module.Calls[Call::Delete], 0);
    EXPECT_EQ(module.Files.size(), 1u);
}

// Whatever the reply, the module may have erased the file: an erase that did not report success lists it again.
TEST_F(SessionTest, AnEraseThatDidNotReportSuccessSaysSoAndListsTheModuleAgain)
{
    const struct {
        const char* what;
        FakeModule::Spoil spoil;
        std::string message;
        size_t left;
    } cases[] = {
        {"refused", {0, 5}, "File Delete Error", 1},
        {"reply lost, not erased", {USB_RESULT_TIME_OUT, 0}, "Error - Link Time out ", 1},
        {"reply lost, erased", {USB_RESULT_TIME_OUT, 0, true}, "Error - Link Time out ", 0},
        {"transfer failed, erased", {USB_RESULT_LINK_FAILED, 0, true}, "Error - Link Failed", 0},
    };
    for (const auto& c : cases) {
        FakeModule m;
        RecordingHost h;
        ModuleSession s{m.Exports(), h};
        m.Files.push_back({Entry(3, 0, 2, SarnelVariantId, "Tyx_Config.bin"), {1}});
        s.UnitArrived(Unit, USB_DEVICE_KDU);
        ASSERT_TRUE(s.KduFiles.SarnelConfigPresent) << c.what;
        h.Shown.clear();
        m.Log.clear();
        m.Spoils[{Call::Delete, 1}] = c.spoil;
        s.DeleteKduFile(3);
        EXPECT_EQ(h.Shown, (Log{"message " + c.message, "list " + std::to_string(c.left)})) << c.what;
        EXPECT_EQ(m.Log.front(), Call::Delete) << c.what;
        EXPECT_EQ(Without(m.Log, Call::Delete), std::vector<Call>(c.left + 1, Call::Enum)) << c.what;
        EXPECT_EQ(s.KduFiles.SarnelConfigPresent, c.left == 1) << c.what;
        EXPECT_FALSE(s.KduListStale) << c.what;
    }
}

// ---- firmware

FirmwareImage SarnelImage(const std::string& revision = "0043")
{
    FirmwareImage image;
    image.ImageVariant = 5;
    image.revision = revision;
    image.ImageChecksum = 0x1234;
    image.analysed = true;
    image.BlockTable = {{0, 0x02, {0x10, 0x00}}, {0x4000, 0x00, Bytes(128, 0xA5)}, {0, 0x01, {}}};
    return image;
}

TEST_F(SessionTest, TheFirmwareBecomesOneHexFileNamedAfterItsRevision)
{
    Arrive();
    session.DownloadFirmwareToKdu(SarnelVariantId, SarnelImage(), {2012, 3, 5, 14, 7});
    ASSERT_EQ(module.Files.size(), 1u);
    const FakeFile& file = module.Files[0];
    EXPECT_EQ(std::string(file.Info.FileName), "Ver   067 TYX_FW.HEX");
    EXPECT_EQ(file.Info.VariantId, SarnelVariantId);
    const std::string text(file.Data.begin(), file.Data.end());
    EXPECT_EQ(text.substr(0, 15), ":020000021000EC");
    // Revision 0043 of a Sarnel image is dated by the day count: 794 days after 1 January 2010.
    EXPECT_EQ(text.substr(text.size() - 36), ":020000011234B7:050000091A03000000D5");
    // One create, the writes of 126 characters at most, one close; then the list again.
    std::vector<Call> calls = Without(module.Log, Call::Enum);
    EXPECT_EQ(calls.front(), Call::Create);
    EXPECT_EQ(calls.back(), Call::Close);
    EXPECT_EQ(module.Calls[Call::Write], 1 + 3 + 1 + 1 + 1);
    EXPECT_EQ(module.Log.back(), Call::Enum);
    EXPECT_EQ(Only(host.Shown, "status"), (Log{"status Downloading to KDU...", "status Download complete"}));
    EXPECT_EQ(Only(host.Shown, "progress"),
              (Log{"progress 0", "progress 1", "progress 2", "progress 2", "progress 2", "progress 3", "progress 3",
                   "progress 3", "progress 100"}));
    EXPECT_EQ(Only(host.Shown, "range"), (Log{"range 3", "range 100"}));
    EXPECT_TRUE(host.Messages.empty());
    EXPECT_TRUE(session.KduFiles.SarnelFirmwarePresent);
    EXPECT_FALSE(session.ModuleBusy);
}

TEST_F(SessionTest, AFirmwareDownloadIsRefusedBeforeAnythingIsSent)
{
    const struct {
        const char* what;
        uint32_t variantId;
        std::string revision;
        std::string message;
    } cases[] = {
        {"a second file of the variant", SarnelVariantId, "0043",
         "Cannot have more than one firmware file for a Tyx BA | Firmware already loaded"},
        {"a revision beyond three digits", TekraVariantId, "03E8",
         "The firmware revision 03E8 does not fit the three digits of the module's file name; nothing was written."},
    };
    for (const auto& c : cases) {
        FakeModule m;
        RecordingHost h;
        ModuleSession s{m.Exports(), h};
        m.Files.push_back({Entry(1, KduApplication, 0, SarnelVariantId, "Ver   067 TYX_FW.HEX"), {}});
        s.UnitArrived(Unit, USB_DEVICE_KDU);
        m.Log.clear();
        s.DownloadFirmwareToKdu(c.variantId, SarnelImage(c.revision), {2020, 1, 1, 0, 0});
        EXPECT_EQ(h.Shown.back(), "message " + c.message) << c.what;
        EXPECT_TRUE(m.Log.empty()) << c.what;
    }
}

TEST_F(SessionTest, AFailedFirmwareDownloadErasesItsPartialFile)
{
    Arrive();
    module.Spoils[{Call::Write, 3}] = {USB_RESULT_WRITE_FAILED, 0};
    session.DownloadFirmwareToKdu(SarnelVariantId, SarnelImage(), {2020, 1, 1, 0, 0});
    EXPECT_TRUE(module.Files.empty());
    // The file is closed, closed again before the clean-up looks for it, and erased.
    EXPECT_EQ(Without(module.Log, Call::Enum), (std::vector<Call>{Call::Create, Call::Write, Call::Write, Call::Write,
                                                                  Call::Close, Call::Close, Call::Delete}));
    EXPECT_EQ(Only(host.Shown, "status").back(), "status Download failed");
    ASSERT_EQ(host.Messages.size(), 1u);
    EXPECT_EQ(host.Messages[0].substr(0, 20), "Error - Write Failed");
    // The box comes once the window is free again, and the list follows it.
    const auto idle = std::find(host.Shown.begin(), host.Shown.end(), "idle");
    const auto message = std::find(host.Shown.begin(), host.Shown.end(), "message " + host.Messages[0]);
    EXPECT_LT(idle, message);
    EXPECT_LT(message, host.Shown.end());
    EXPECT_EQ(host.Shown.back(), "list 0");
}

TEST_F(SessionTest, NoFileIsWrittenWithoutAUnitOrAWholeListing)
{
    session.DownloadFirmwareToKdu(SarnelVariantId, SarnelImage(), {2020, 1, 1, 0, 0});
    EXPECT_EQ(host.Messages, std::vector<std::string>{"No USB Handle"});

    Arrive();
    session.KduListStale = true;
    module.Spoils[{Call::Enum, module.Calls[Call::Enum] + 1}] = {USB_RESULT_TIME_OUT, 0};
    session.EnableAuditMode();
    EXPECT_EQ(host.Messages, (std::vector<std::string>{"Error - Link Time out ",
                                                       "The list of files on the KDU could not be read, so nothing "
                                                       "was written to it."}));
    EXPECT_EQ(module.Log, std::vector<Call>{Call::Enum});
}

// ---- configuration

EepromRecord SarnelRecord()
{
    EepromRecord record{};
    EXPECT_TRUE(LoadEepromDefaults(record, 5));
    record.VariantCode = 5;
    return record;
}

TEST_F(SessionTest, TheConfigurationBecomesTheModulesConfigurationFile)
{
    Arrive();
    session.DownloadConfigurationToKdu(SarnelRecord(), {5, 0x12, 0x34});
    ASSERT_EQ(module.Files.size(), 1u);
    const FakeFile& file = module.Files[0];
    EXPECT_EQ(std::string(file.Info.FileName), "Tyx_Config.bin");
    EXPECT_EQ(file.Info.SetupRevision, 0x12);
    EXPECT_EQ(file.Info.CalibrationRevision, 0x34);
    EXPECT_EQ(file.Data.size(), 176u);
    EXPECT_EQ(file.Data[0], 0x62);
    EXPECT_EQ(Without(module.Log, Call::Enum), (std::vector<Call>{Call::Create, Call::Write, Call::Write, Call::Close}));
    EXPECT_EQ(Only(host.Shown, "config"), (Log{"config Loading configuration settings to KDU device",
                                               "config Current configuration settings downloaded to KDU device."}));
    EXPECT_TRUE(session.KduFiles.SarnelConfigPresent);

    // A second one for the variant is refused without a call.
    module.Log.clear();
    host.Shown.clear();
    session.DownloadConfigurationToKdu(SarnelRecord(), {5, 0x12, 0x34});
    EXPECT_EQ(host.Shown,
              (Log{"message Cannot have more than one config file for a Tyx BA | Configuration already loaded"}));
    EXPECT_TRUE(module.Log.empty());
}

TEST_F(SessionTest, ARefusedConfigurationWriteLeavesNoFile)
{
    Arrive();
    module.Spoils[{Call::Write, 2}] = {0, 2};
    session.DownloadConfigurationToKdu(SarnelRecord(), {5, 0, 0});
    EXPECT_TRUE(module.Files.empty());
    EXPECT_EQ(Only(host.Shown, "config").back(), "config The configuration was not written to the KDU.");
    ASSERT_EQ(host.Messages.size(), 1u);
    EXPECT_EQ(host.Messages[0].substr(0, 28), "Error writing to KDU: No Spa");
}

TEST_F(SessionTest, TheConfigurationFileOfTheLoadedRevisionIsReadBack)
{
    EepromImage image{};
    EepromRecord written = SarnelRecord();
    written.SerialNumber[0] = 'Q';
    ASSERT_TRUE(EncodeEepromImage(written, image));
    Add(Entry(4, 0, KduReadableConfigKind, SarnelVariantId, "Tyx_Config.bin"), Bytes(image.begin(), image.begin() + 176));
    module.Files[0].Info.SetupRevision = 0x12;
    module.Files[0].Info.CalibrationRevision = 0x34;
    Arrive();

    session.RefreshConfigurationFromKdu({5, 0x12, 0x13}, 5, EepromRecord{});
    EXPECT_EQ(host.Shown, (Log{"message No configuration file found on BA for currently loaded revision"}));

    host.Shown.clear();
    session.RefreshConfigurationFromKdu({5, 0x12, 0x34}, 5, EepromRecord{});
    EXPECT_EQ(host.Shown, (Log{"configuration read"}));
    EXPECT_EQ(host.Read.SerialNumber[0], 'Q');
    EXPECT_EQ(Without(module.Log, Call::Read), (std::vector<Call>{Call::Open, Call::Close}));

    // A file too short for the acceptor's layout is not decoded.
    module.Files[0].Data.resize(100);
    host.Shown.clear();
    session.RefreshConfigurationFromKdu({5, 0x12, 0x34}, 5, EepromRecord{});
    EXPECT_EQ(host.Messages.back(),
              "The configuration file on the KDU holds 100 bytes, too few for a configuration; nothing was loaded.");
    EXPECT_EQ(Only(host.Shown, "configuration"), Log{});
}

// ---- audit files

TEST_F(SessionTest, EnablingAuditModeCreatesOnlyTheMissingFiles)
{
    Add(Entry(3, 0, KduTekraAuditKind, TekraVariantId, "TyxTekraAuditData.bin"), {0, 9, 9});
    Arrive();
    session.EnableAuditMode();
    EXPECT_TRUE(host.Messages.empty());
    EXPECT_EQ(Without(module.Log, Call::Enum), (std::vector<Call>{Call::Create, Call::Write, Call::Close}));
    ASSERT_EQ(module.Files.size(), 2u);
    EXPECT_EQ(std::string(module.Files[1].Info.FileName), "TyxAuditData.bin");
    EXPECT_EQ(module.Files[1].Data, Bytes{0x00});
    EXPECT_EQ(module.Files[0].Data, (Bytes{0, 9, 9}));

    module.Log.clear();
    session.EnableAuditMode();
    EXPECT_EQ(host.Shown.back(), "message Audit mode already enabled! | Audit Mode");
    EXPECT_TRUE(module.Log.empty());
}

TEST_F(SessionTest, AFailedAuditFileIsErasedAndTheOtherStillMade)
{
    Arrive();
    module.Spoils[{Call::Write, 1}] = {0, 2};
    session.EnableAuditMode();
    ASSERT_EQ(module.Files.size(), 1u);
    EXPECT_EQ(std::string(module.Files[0].Info.FileName), "TyxTekraAuditData.bin");
    EXPECT_EQ(host.Messages,
              std::vector<std::string>{"Error writing to KDU: No Space\nNothing of the file was left on the KDU."});
    // The message waits until the window is free.
    const auto ended = std::find(host.Shown.begin(), host.Shown.end(), "idle");
    const auto message = std::find(host.Shown.begin(), host.Shown.end(), "message " + host.Messages[0]);
    EXPECT_LT(ended, message);
}

// A listing stopped by a status on entry 1 misses the file held there; a create that then fails
// without making a file leaves that file alone and says so.
TEST_F(SessionTest, AFailedCreateAfterAListingCutShortErasesNoHeldFile)
{
    EepromRecord record = SarnelRecord();
    const struct {
        const char* what;
        KduFileInfo held;
        std::function<void(ModuleSession&)> create;
    } cases[] = {
        {"enabling audit mode", Entry(8, 0, KduAuditKind, SarnelVariantId, "TyxAuditData.bin"),
         [](ModuleSession& s) { s.EnableAuditMode(); }},
        {"a configuration download", Entry(8, 0, 2, SarnelVariantId, "Tyx_Config.bin"),
         [&](ModuleSession& s) { s.DownloadConfigurationToKdu(record, {5, 0, 0}); }},
    };
    for (const auto& c : cases) {
        FakeModule m;
        RecordingHost h;
        ModuleSession s{m.Exports(), h};
        const Bytes contents(1 + 3 * 43, 0x33);
        m.Files.push_back({Entry(2, 0, KduTekraAuditKind, TekraVariantId, "TyxTekraAuditData.bin"), {0}});
        m.Files.push_back({c.held, contents});
        m.Spoils[{Call::Enum, 2}] = {0, 1};
        s.UnitArrived(Unit, USB_DEVICE_KDU);
        ASSERT_EQ(s.KduFiles.Lines.size(), 1u) << c.what;
        ASSERT_FALSE(s.KduListStale) << c.what;
        m.Spoils[{Call::Create, 1}] = {USB_RESULT_WRITE_FAILED, 0};
        h.Messages.clear();
        c.create(s);
        EXPECT_EQ(h.Messages, std::vector<std::string>{"Error - Write Failed\nSome of the file may still be on the KDU: "
                                                       "erase it there."})
            << c.what;
        EXPECT_EQ(m.Calls[Call::Delete], 0) << c.what;
        EXPECT_TRUE(m.Find(8) && m.Find(8)->Data == contents) << c.what << ": the held file stays";
    }
}

// After a listing that broke off, only the fresh listing says which audit files are missing.
TEST_F(SessionTest, AfterABrokenListingAuditModeCreatesOnlyWhatTheFreshListingLacks)
{
    const struct {
        const char* what;
        bool tekraHeld;
        Log messages;
        std::vector<std::string> created;
    } cases[] = {
        {"both held", true, {"message Audit mode already enabled! | Audit Mode"}, {}},
        {"only the Sarnel file held", false, {}, {"TyxTekraAuditData.bin"}},
    };
    for (const auto& c : cases) {
        FakeModule m;
        RecordingHost h;
        ModuleSession s{m.Exports(), h};
        m.Files.push_back({Entry(4, 0, KduAuditKind, SarnelVariantId, "TyxAuditData.bin"), {0, 7, 7}});
        if (c.tekraHeld)
            m.Files.push_back({Entry(5, 0, KduTekraAuditKind, TekraVariantId, "TyxTekraAuditData.bin"), {0}});
        m.Spoils[{Call::Enum, 1}] = {USB_RESULT_TIME_OUT, 0};
        s.UnitArrived(Unit, USB_DEVICE_KDU);
        ASSERT_TRUE(s.KduListStale) << c.what;
        ASSERT_EQ(s.KduFiles.AuditFileId, -1) << c.what;
        h.Shown.clear();
        s.EnableAuditMode();
        EXPECT_EQ(Only(h.Shown, "message"), c.messages) << c.what;
        std::vector<std::string> created;
        for (size_t i = c.tekraHeld ? 2 : 1; i < m.Files.size(); ++i)
            created.push_back(m.Files[i].Info.FileName);
        EXPECT_EQ(created, c.created) << c.what;
        EXPECT_EQ(m.Files[0].Data, (Bytes{0, 7, 7})) << c.what;
        EXPECT_EQ(s.KduFiles.AuditFileId, 4) << c.what;
    }
}

TEST_F(SessionTest, ViewingReadsTheSelectedAuditFile)
{
    Bytes sarnel(1 + 2 * 43, 0x30);
    Add(Entry(2, 0, KduAuditKind, SarnelVariantId, "TyxAuditData.bin"), sarnel);
    Add(Entry(5, 0, 2, SarnelVariantId, "Tyx_Config.bin"), {1});
    Arrive();
    const struct {
        const char* what;
        int line;  // -1: none selected
        Log shown;
    } refused[] = {
        {"none selected", -1, {"message Please select a file. | No file selected"}},
        {"not an audit file", 1, {"message Not a valid audit file. | Invalid file"}},
    };
    for (const auto& c : refused) {
        host.Shown.clear();
        session.ViewKduAudit(c.line < 0 ? nullptr : &session.KduFiles.Lines.at(size_t(c.line)));
        EXPECT_EQ(host.Shown, c.shown) << c.what;
    }
    EXPECT_TRUE(module.Log.empty());

    host.Shown.clear();
    session.ViewKduAudit(&session.KduFiles.Lines.at(0));
    EXPECT_EQ(host.Shown, (Log{"range 87", "progress 0", "busy", "progress 87", "ending", "idle", "progress 87",
                               "audit Sarnel"}));
    EXPECT_EQ(host.AuditShown, sarnel);

    module.Spoils[{Call::Read, 3}] = {0, 6};
    host.Shown.clear();
    host.Messages.clear();
    session.ViewKduAudit(&session.KduFiles.Lines.at(0));
    EXPECT_EQ(host.Messages, (std::vector<std::string>{"Error reading BA: File corrupt - Format KDU",
                                                       "Could not read file from KDU"}));
    EXPECT_EQ(host.Shown.back(), "message Could not read file from KDU | Read failed");
    EXPECT_EQ(Only(host.Shown, "progress").back(), "progress 0");
}

}  // namespace
}  // namespace kovrin
