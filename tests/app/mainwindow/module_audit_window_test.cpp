// The module's audit files in the main window, end to end through the USB
// library to the emulated KDU: enabling audit mode, viewing an audit file and
// saving the list as text.

#include <QFile>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>
#include <deque>

#include "app/module/audit_export.h"
#include "app/module/audit_files.h"
#include "tests/app/mainwindow/module_fixture.h"
#include "tests/support/module_audit_records.h"

namespace kovrin {
namespace {

using emulator::usb::ModuleFile;
using emulator::usb::ModuleFiles;
using test::AuditFileBytes;
using test::AuditRecordBytes;

constexpr uint8_t CmdCreate = 0x36, CmdWrite = 0x37, CmdClose = 0x38, CmdRead = 0x34, CmdEnum = 0x3A;

// Twenty records of both Sarnel layouts: 861 bytes, four pieces of a read.
Bytes SarnelRecords()
{
    std::vector<Bytes> records;
    Bytes file{0x00};
    for (uint8_t i = 0; i < 20; ++i) {
        const Bytes r = AuditRecordBytes(43, "TS500012345", "TYX-5-100", 0x00, i % 2 ? 0x43 : 0x42, {{25, i}});
        file.insert(file.end(), r.begin(), r.end());
    }
    return file;
}

const Bytes TekraRecords = AuditFileBytes({
    AuditRecordBytes(55, "TT700012345", "TYX-7-200", 0x00, 0x17, {{30, 10}, {31, 6}, {32, 15}, {33, 9}, {34, 5}}),
    AuditRecordBytes(55, "TT700012346", "TYX-7-200", 0x00, 0x18, {{23, 7}}),
});

class ModuleAuditWindow : public ModuleWindowTest {
protected:
    void SetUp() override
    {
        ModuleWindowTest::SetUp();
        QLocale::setDefault(test::UsLocale);
        SetFileDialogHandler([this](const FileDialogRequest&) -> std::optional<QString> {
            if (saveAnswers.empty())
                return std::nullopt;
            std::optional<QString> a = saveAnswers.front();
            saveAnswers.pop_front();
            return a;
        });
    }
    void TearDown() override
    {
        SetFileDialogHandler(nullptr);
        QLocale::setDefault(QLocale::system());
        ModuleWindowTest::TearDown();
    }

    // A KDU holding the given files (none: an empty module), in use by the window.
    std::shared_ptr<ModuleEmulator> ConnectKduWith(std::vector<ModuleFile> files)
    {
        auto kdu = std::make_shared<ModuleEmulator>();
        kdu->WithFiles([&](ModuleFiles& on) {
            for (ModuleFile& f : files)
                EXPECT_TRUE(on.Add(std::move(f)));
            return true;
        });
        Plug(kdu);
        EXPECT_TRUE(Connected());
        form->cmdViewAudit->show();  // as the access code does
        return kdu;
    }

    static ModuleFile AuditFile(AuditFileKind kind, Bytes contents)
    {
        const KduFileInfo entry = AuditFileEntry(kind);
        ModuleFile f;
        f.VariantId = entry.VariantId;
        f.DataFileKind = entry.DataFileKind;
        f.SetName(entry.FileName);
        f.Contents = std::move(contents);
        return f;
    }

    static ModuleFile ConfigFile()
    {
        ModuleFile f;
        f.VariantId = SarnelVariantId;
        f.DataFileKind = 2;
        f.SetName("Tyx_Config.bin");
        f.Contents = Bytes(176, 0x11);
        return f;
    }

    static std::vector<ModuleFile> FilesOfKind(ModuleEmulator& kdu, uint16_t kind)
    {
        std::vector<ModuleFile> found;
        for (const ModuleFile& f : kdu.Files())
            if (f.DataFileKind == kind)
                found.push_back(f);
        return found;
    }

    // The command bytes the module received since `from`.
    static std::vector<int> Commands(ModuleEmulator& kdu, size_t from = 0)
    {
        std::vector<int> commands;
        const auto requests = kdu.Requests();
        for (size_t i = from; i < requests.size(); ++i)
            commands.push_back(requests[i][0]);
        return commands;
    }

    QAbstractItemModel* AuditList() { return form->frmKDUAuditData->ListViewAudit->model(); }

    std::deque<std::optional<QString>> saveAnswers;
};

TEST_F(ModuleAuditWindow, EnablingAuditModeCreatesBothFilesWithTheirLeadingByte)
{
    Launch();
    auto kdu = ConnectKduWith({});
    ASSERT_EQ(form->cmdViewAudit->text(), "Enable Audit Mode");
    const size_t before = kdu->Requests().size();
    form->cmdViewAudit->click();
    EXPECT_TRUE(messages.empty());

    const auto files = kdu->Files();
    ASSERT_EQ(files.size(), 2u);
    const struct {
        const char* name;
        uint32_t variant;
        uint16_t kind;
    } expected[] = {{"TyxAuditData.bin", SarnelVariantId, 1}, {"TyxTekraAuditData.bin", TekraVariantId, 4}};
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(files[i].NameText(), expected[i].name);
        EXPECT_EQ(files[i].VariantId, expected[i].variant);
        EXPECT_EQ(files[i].DataFileKind, expected[i].kind);
        EXPECT_EQ(files[i].FileClass, 0);
        EXPECT_EQ(files[i].Contents, Bytes{0x00});
    }
    // The listing made on arrival holds: each file created, given its byte and closed; then listed again.
    std::vector<int> commands = Commands(*kdu, before);
    ASSERT_GE(commands.size(), 7u);
    EXPECT_EQ(commands.front(), CmdCreate);
    EXPECT_EQ(commands.back(), CmdEnum);
    commands.erase(std::remove(commands.begin(), commands.end(), CmdEnum), commands.end());
    EXPECT_EQ(commands, (std::vector<int>{CmdCreate, CmdWrite, CmdClose, CmdCreate, CmdWrite, CmdClose}));
    EXPECT_EQ(ListedNames(*form), (QStringList{"TyxAuditData.bin", "TyxTekraAuditData.bin"}));
    EXPECT_EQ(form->cmdViewAudit->text(), "View Audit Data");
    EXPECT_FALSE(form->Module.ModuleBusy);

    // The next click views the new file: the columns and no row.
    SelectListed(*form, "TyxAuditData.bin");
    form->cmdViewAudit->click();
    EXPECT_TRUE(messages.empty());
    EXPECT_FALSE(form->frmKDUAuditData->isHidden());
    EXPECT_EQ(AuditList()->rowCount(), 0);
    EXPECT_EQ(AuditList()->columnCount(), 12);
}

TEST_F(ModuleAuditWindow, OnlyAMissingFileIsCreatedSoNoRecordsAreHidden)
{
    Launch();
    auto kdu = ConnectKduWith({AuditFile(AuditFileKind::Tekra, TekraRecords)});
    form->EnableAuditMode();
    EXPECT_TRUE(messages.empty());
    ASSERT_EQ(FilesOfKind(*kdu, 4).size(), 1u) << "the Tekra file with its records stays the only one";
    EXPECT_EQ(FilesOfKind(*kdu, 4)[0].Contents, TekraRecords);
    ASSERT_EQ(FilesOfKind(*kdu, 1).size(), 1u);
    EXPECT_EQ(FilesOfKind(*kdu, 1)[0].Contents, Bytes{0x00});

    // With the Sarnel file listed, nothing at all is sent.
    const size_t before = kdu->Requests().size();
    form->EnableAuditMode();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Audit mode already enabled!");
    EXPECT_EQ(messages[0].title, "Audit Mode");
    EXPECT_EQ(kdu->Requests().size(), before);
    EXPECT_EQ(kdu->Files().size(), 2u);

    // Without a unit the listing is gone with it, and the unit is what is missing.
    form->Module.KduInUse = 0;
    form->Module.KduFiles = {};
    messages.clear();
    form->EnableAuditMode();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "No USB Handle");
}

TEST_F(ModuleAuditWindow, NothingIsCreatedWithoutAWholeListing)
{
    ShortTimeLimits();
    Launch();
    auto kdu = ConnectKduWith({AuditFile(AuditFileKind::Tekra, TekraRecords)});
    // The listings break off before they reach the Tekra file: the last one and the one made again.
    kdu->AddFault(CmdEnum, {UsbFaultKind::NoReply, 2, 0});
    form->RefreshKduFileList(form->Module.KduInUse);
    ASSERT_TRUE(form->Module.KduListStale);
    messages.clear();
    const size_t before = kdu->Requests().size();
    form->EnableAuditMode();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].text, "Error - Link Time out ");
    EXPECT_EQ(messages[1].text, "The list of files on the KDU could not be read, so nothing was written to it.");
    for (int command : Commands(*kdu, before))
        EXPECT_EQ(command, CmdEnum);
    ASSERT_EQ(kdu->Files().size(), 1u);
    EXPECT_EQ(kdu->Files()[0].Contents, TekraRecords);
}

TEST_F(ModuleAuditWindow, ARefusedCreateWritesNothingAndTheOtherFileIsStillMade)
{
    Launch();
    auto kdu = ConnectKduWith({});
    kdu->AddFault(CmdCreate, {UsbFaultKind::Status, 1, 0, 1, 2});
    const size_t before = kdu->Requests().size();
    form->cmdViewAudit->click();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Could not create file: No Space\nNothing of the file was left on the KDU.");
    // The close follows the refused create too.
    std::vector<int> commands = Commands(*kdu, before);
    commands.erase(std::remove(commands.begin(), commands.end(), CmdEnum), commands.end());
    EXPECT_EQ(commands, (std::vector<int>{CmdCreate, CmdClose, CmdCreate, CmdWrite, CmdClose}));
    ASSERT_EQ(kdu->Files().size(), 1u);
    EXPECT_EQ(kdu->Files()[0].NameText(), "TyxTekraAuditData.bin");
    EXPECT_EQ(form->cmdViewAudit->text(), "View Audit Data");
}

TEST_F(ModuleAuditWindow, AFailedByteLeavesNoEmptyFileBehind)
{
    Launch();
    auto kdu = ConnectKduWith({});
    kdu->AddFault(CmdWrite, {UsbFaultKind::Status, 1, 0, 1, 2});
    form->cmdViewAudit->click();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Error writing to KDU: No Space\nNothing of the file was left on the KDU.");
    ASSERT_EQ(kdu->Files().size(), 1u);
    EXPECT_EQ(kdu->Files()[0].NameText(), "TyxTekraAuditData.bin");
    EXPECT_EQ(kdu->Files()[0].Contents, Bytes{0x00});
}

TEST_F(ModuleAuditWindow, AWrongListingBeforeKeepsTheCleanUpFromErasingAFileThatWasThere)
{
    Launch();
    auto kdu = ConnectKduWith({AuditFile(AuditFileKind::Tekra, TekraRecords)});
    // Entry 0 answered as if past the last entry: the listing shows no file.
    kdu->AddFault(CmdEnum, {UsbFaultKind::Status, 1, 0, 1, 5});
    form->RefreshKduFileList(form->Module.KduInUse);
    ASSERT_EQ(ListedNames(*form), QStringList{"No Files found"});
    // The Tekra file's byte fails: two Tekra files now fit its entry.
    kdu->AddFault(CmdWrite, {UsbFaultKind::Status, 1, 1, 1, 2});
    form->EnableAuditMode();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Error writing to KDU: No Space\nSome of the file may still be on the KDU: erase it there.");
    const auto tekra = FilesOfKind(*kdu, 4);
    ASSERT_EQ(tekra.size(), 2u) << "nothing erased";
    EXPECT_EQ(tekra[0].Contents, TekraRecords);
}

TEST_F(ModuleAuditWindow, AListingCutShortByAStatusKeepsTheCleanUpFromErasingTheHeldAuditFile)
{
    Launch();
    const Bytes held = AuditFileBytes({AuditRecordBytes(43, "TS500012345", "TYX-5-100", 0x00, 0x42, {{25, 1}}),
                                       AuditRecordBytes(43, "TS500012346", "TYX-5-100", 0x00, 0x43, {{25, 2}}),
                                       AuditRecordBytes(43, "TS500012347", "TYX-5-100", 0x00, 0x42, {{25, 3}})});
    auto kdu = ConnectKduWith({AuditFile(AuditFileKind::Tekra, TekraRecords), AuditFile(AuditFileKind::Sarnel, held)});
    // Entry 1 is answered "Unable to respond": the listing stops before the Sarnel file.
    kdu->AddFault(CmdEnum, {UsbFaultKind::Status, 1, 1, 1, 1});
    form->RefreshKduFileList(form->Module.KduInUse);
    ASSERT_EQ(ListedNames(*form), QStringList{"TyxTekraAuditData.bin"});
    // The create of the Sarnel file is never taken, so it makes no file.
    kdu->AddFault(CmdCreate, {UsbFaultKind::StallRequest});
    form->EnableAuditMode();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Error - Write Failed\nSome of the file may still be on the KDU: erase it there.");
    const auto sarnel = FilesOfKind(*kdu, 1);
    ASSERT_EQ(sarnel.size(), 1u) << "the held audit file stays";
    EXPECT_EQ(sarnel[0].Contents, held);
    ASSERT_EQ(FilesOfKind(*kdu, 4).size(), 1u);
    EXPECT_EQ(form->cmdViewAudit->text(), "View Audit Data");
}

// A listing that broke off is made again before anything is created, and only what it shows missing is made.
TEST_F(ModuleAuditWindow, AfterABrokenListingOnlyTheAuditFilesTheModuleLacksAreCreated)
{
    const struct {
        const char* what;
        bool tekraHeld;
        std::vector<QString> shown;
        size_t sarnelFiles, tekraFiles;
    } cases[] = {
        {"both held", true, {"Audit mode already enabled!"}, 1, 1},
        {"the Sarnel file held", false, {}, 1, 1},
    };
    ShortTimeLimits();
    Launch();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<ModuleFile> files = {AuditFile(AuditFileKind::Sarnel, SarnelRecords())};
        if (c.tekraHeld)
            files.push_back(AuditFile(AuditFileKind::Tekra, TekraRecords));
        auto kdu = ConnectKduWith(std::move(files));
        // The first entry never answers: the listing holds nothing, and audit mode looks off.
        kdu->AddFault(CmdEnum, {UsbFaultKind::NoReply, 1, 0});
        form->RefreshKduFileList(form->Module.KduInUse);
        ASSERT_TRUE(form->Module.KduListStale);
        ASSERT_EQ(form->Module.KduFiles.AuditFileId, -1);
        messages.clear();
        const size_t before = kdu->Requests().size();
        form->EnableAuditMode();
        std::vector<QString> shown;
        for (const MessageRequest& m : messages)
            shown.push_back(m.text);
        ASSERT_EQ(shown, c.shown);
        if (!c.shown.empty()) {
            EXPECT_EQ(messages[0].title, "Audit Mode");
        }
        const auto sarnel = FilesOfKind(*kdu, 1);
        ASSERT_EQ(sarnel.size(), c.sarnelFiles);
        EXPECT_EQ(sarnel[0].Contents, SarnelRecords()) << "the records collected stay the ones to view";
        EXPECT_EQ(FilesOfKind(*kdu, 4).size(), c.tekraFiles);
        if (c.tekraHeld) {
            for (int command : Commands(*kdu, before))
                EXPECT_EQ(command, CmdEnum);
        }
        EXPECT_EQ(form->Module.KduFiles.AuditFileId, int32_t(sarnel[0].Number));
        Unplug(ports.back());
        ASSERT_TRUE(QTest::qWaitFor([&] { return form->Module.KduInUse == 0; }, 5000));
    }
}

TEST_F(ModuleAuditWindow, RecordsCollectedSinceTheListingAreReadToo)
{
    Launch();
    auto kdu = ConnectKduWith({AuditFile(AuditFileKind::Sarnel, {0x00})});
    // The module collects records after the listing: its entry lags behind the data.
    const Bytes sarnel = SarnelRecords();
    kdu->WithFiles([&](ModuleFiles& files) {
        for (const ModuleFile& f : files.Files())
            if (f.DataFileKind == 1) {
                ModuleFile grown = f;
                grown.Contents = sarnel;
                files.Delete(f.Number);
                return files.Add(grown);
            }
        return false;
    });
    SelectListed(*form, "TyxAuditData.bin");
    form->cmdViewAudit->click();
    EXPECT_TRUE(messages.empty());
    ASSERT_FALSE(form->frmKDUAuditData->isHidden());
    EXPECT_EQ(AuditList()->rowCount(), 20);
}

TEST_F(ModuleAuditWindow, ViewingReadsTheFileWithProgressAndShowsEveryRecord)
{
    Launch();
    const Bytes sarnel = SarnelRecords();
    ConnectKduWith({ConfigFile(), AuditFile(AuditFileKind::Sarnel, sarnel),
                    AuditFile(AuditFileKind::Tekra, TekraRecords)});
    ASSERT_EQ(form->cmdViewAudit->text(), "View Audit Data");
    SelectListed(*form, "TyxAuditData.bin");

    std::vector<int> shown;
    QObject::connect(form->ProgressBar1, &QProgressBar::valueChanged, [&](int v) { shown.push_back(v); });
    // Posted before the read: it runs before the last piece only if the window keeps handling its events.
    bool handledDuringRead = false;
    QTimer::singleShot(0, form.get(), [&] {
        handledDuringRead = form->Module.ModuleBusy && form->ProgressBar1->value() < form->ProgressBar1->maximum();
    });
    form->cmdViewAudit->click();
    EXPECT_TRUE(messages.empty());
    EXPECT_TRUE(handledDuringRead);
    EXPECT_EQ(form->ProgressBar1->maximum(), int(sarnel.size()));
    EXPECT_EQ(shown, (std::vector<int>{255, 510, 765, 861}));

    ASSERT_FALSE(form->frmKDUAuditData->isHidden());
    ASSERT_EQ(AuditList()->rowCount(), 20);
    EXPECT_EQ(AuditList()->index(0, ColumnSerial).data().toString(), "TS500012345");
    EXPECT_EQ(AuditList()->index(0, ColumnRevision).data().toString(), "042");
    EXPECT_EQ(AuditList()->index(0, ColumnPreEscrows).data().toString(), "n/a");
    EXPECT_FALSE(AuditList()->index(0, ColumnTimestamp).data().isValid());
    // Record 19 is packed: byte 25 (0x13) holds starts bits 16 to 19 and pre-escrows bits 0 to 3.
    EXPECT_EQ(AuditList()->index(19, ColumnStarts).data().toString(), "196608");
    EXPECT_EQ(AuditList()->index(19, ColumnPreEscrows).data().toString(), "1");
    EXPECT_EQ(AuditList()->index(18, ColumnStarts).data().toString(), "18");
    EXPECT_EQ(AuditList()->index(19, ColumnTimestamp).data().toString(), "1/1/10");
    EXPECT_TRUE(form->frmKDUAuditData->lblAuditStatus->isHidden());

    SelectListed(*form, "TyxTekraAuditData.bin");
    form->cmdViewAudit->click();
    ASSERT_EQ(AuditList()->rowCount(), 2);
    EXPECT_EQ(AuditList()->index(0, ColumnTimestamp).data().toString(), "06/15/10 09:05");
    EXPECT_EQ(AuditList()->index(1, ColumnStarts).data().toString(), "7");
}

TEST_F(ModuleAuditWindow, TheDemoModulesAuditFileShowsItsThreeRecords)
{
    Launch();
    auto kdu = Module();
    Plug(kdu);
    ASSERT_TRUE(Connected());
    SelectListed(*form, "TyxAuditData.bin");
    form->cmdViewAudit_Click();
    EXPECT_TRUE(messages.empty());
    ASSERT_EQ(AuditList()->rowCount(), 3);
    EXPECT_EQ(AuditList()->index(2, ColumnSerial).data().toString(), "TS500012399");
}

TEST_F(ModuleAuditWindow, ATruncatedFileShowsItsWholeRecordsAndSaysSo)
{
    Launch();
    Bytes cut = SarnelRecords();
    cut.resize(1 + 2 * 43 + 10);
    ConnectKduWith({AuditFile(AuditFileKind::Sarnel, cut)});
    SelectListed(*form, "TyxAuditData.bin");
    form->cmdViewAudit->click();
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(AuditList()->rowCount(), 2);
    EXPECT_FALSE(form->frmKDUAuditData->lblAuditStatus->isHidden());
    EXPECT_EQ(form->frmKDUAuditData->lblAuditStatus->text(),
              "Not shown: the last 10 bytes of the file, fewer than a whole record of 43 bytes.");
}

TEST_F(ModuleAuditWindow, OnlyASelectedAuditFileIsRead)
{
    Launch();
    auto kdu = ConnectKduWith({ConfigFile(), AuditFile(AuditFileKind::Sarnel, SarnelRecords())});
    const size_t before = kdu->Requests().size();
    form->cmdViewAudit->click();
    SelectListed(*form, "Tyx_Config.bin");
    form->cmdViewAudit->click();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].text, "Please select a file.");
    EXPECT_EQ(messages[0].title, "No file selected");
    EXPECT_EQ(messages[1].text, "Not a valid audit file.");
    EXPECT_EQ(messages[1].title, "Invalid file");
    EXPECT_EQ(kdu->Requests().size(), before) << "nothing was sent";
    EXPECT_TRUE(form->frmKDUAuditData->isHidden());
}

TEST_F(ModuleAuditWindow, AFailedReadKeepsWhatTheListShowed)
{
    Launch();
    auto kdu = ConnectKduWith({AuditFile(AuditFileKind::Sarnel, SarnelRecords()),
                               AuditFile(AuditFileKind::Tekra, TekraRecords)});
    SelectListed(*form, "TyxTekraAuditData.bin");
    form->cmdViewAudit->click();
    ASSERT_EQ(AuditList()->rowCount(), 2);

    kdu->AddFault(CmdRead, {UsbFaultKind::Status, 1, 2, 1, 6});
    SelectListed(*form, "TyxAuditData.bin");
    form->cmdViewAudit->click();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].text, "Error reading BA: File corrupt - Format KDU");
    EXPECT_EQ(messages[1].text, "Could not read file from KDU");
    EXPECT_EQ(messages[1].title, "Read failed");
    EXPECT_EQ(AuditList()->rowCount(), 2);
    EXPECT_EQ(AuditList()->index(0, ColumnSerial).data().toString(), "TT700012345");
    EXPECT_EQ(form->ProgressBar1->value(), 0);
    EXPECT_FALSE(form->Module.ModuleBusy);
    EXPECT_EQ(Commands(*kdu).back(), CmdClose) << "the file is closed after the failure";
}

TEST_F(ModuleAuditWindow, TheListIsSavedAsItShows)
{
    Launch();
    ConnectKduWith({AuditFile(AuditFileKind::Tekra, TekraRecords)});
    SelectListed(*form, "TyxTekraAuditData.bin");
    form->cmdViewAudit->click();
    saveAnswers = {dir + "/audit.txt"};
    form->frmKDUAuditData->cmdSaveAuditData->click();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Audit data saved.");
    QFile saved(dir + "/audit.txt");
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QByteArray text = saved.readAll();
    EXPECT_EQ(text, AuditExportText(*AuditList()));
    EXPECT_TRUE(text.endsWith("TT700012346,  TYX-7-200,     018,           7,             0,             0,      "
                              "       0,             0,             0,             0,             0,             "
                              "1/1/10\r\n"))
        << text.toStdString();
}

TEST_F(ModuleAuditWindow, TheAuditFrameGoesWithTheModule)
{
    Launch();
    auto kdu = std::make_shared<ModuleEmulator>();
    kdu->WithFiles([&](ModuleFiles& on) { return on.Add(AuditFile(AuditFileKind::Sarnel, SarnelRecords())); });
    const int port = Plug(kdu);
    ASSERT_TRUE(Connected());
    SelectListed(*form, "TyxAuditData.bin");
    form->cmdViewAudit_Click();
    ASSERT_FALSE(form->frmKDUAuditData->isHidden());
    Unplug(port);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->Label7[0]->text() == "DISCONNECTED"; }, 5000));
    EXPECT_TRUE(form->frmKDUAuditData->isHidden());
}

}  // namespace
}  // namespace kovrin
