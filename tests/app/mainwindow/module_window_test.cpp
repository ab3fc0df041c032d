// The main window with programming modules: units arriving and leaving, the
// file list, erase, and the firmware and configuration downloads, end to end
// through the USB library to the emulated units.

#include <QComboBox>
#include <QLineEdit>
#include <QItemSelectionModel>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeView>

#include "app/module/kdu_file_list_model.h"
#include "app/module/module_downloads.h"
#include "tests/app/mainwindow/module_fixture.h"
#include "tests/support/accessibility_check.h"
#include "tests/support/hex_writer.h"

namespace kovrin {
namespace {

using emulator::usb::ModuleFile;

constexpr int CmdCreate = 0x36, CmdWrite = 0x37, CmdClose = 0x38;

std::vector<ModuleFile> FilesOfClass(ModuleEmulator& module, uint8_t fileClass)
{
    std::vector<ModuleFile> found;
    for (const ModuleFile& f : module.Files())
        if (f.FileClass == fileClass)
            found.push_back(f);
    return found;
}

class ModuleWindow : public ModuleWindowTest {
protected:
    // A variant-5 image whose configuration block holds the layout's defaults with a serial number.
    void LoadSarnelImage(const std::string& revision = "0043")
    {
        EepromRecord defaults;
        LoadEepromDefaults(defaults, 5);
        defaults.VariantCode = 5;
        const std::string serial = "12345678901";
        std::copy(serial.begin(), serial.end(), defaults.SerialNumber.begin());
        EepromImage eeprom{};
        ASSERT_TRUE(EncodeEepromImage(defaults, eeprom));
        QFile hex(dir + "/image.hex");
        ASSERT_TRUE(hex.open(QIODevice::WriteOnly));
        hex.write(test::HexText({{0x4000, 0, test::Description(5, revision)},
                                 {0x5000, 0, Bytes(eeprom.begin(), eeprom.begin() + 128)},
                                 {0x5080, 0, Bytes(eeprom.begin() + 128, eeprom.end())},
                                 {0x6000, 0, test::Ramp(128, 3)},
                                 test::Eof()})
                      .c_str());
        hex.close();
        form->State.Settings.FirmwareFilePath = hex.fileName().toStdString();
        form->LoadHexFile();
        ASSERT_EQ(form->HexFileLoaded, true);
    }

    // Confirms an erase of the audit file while, with the box open, another KDU
    // is taken into use (or the one in use leaves).
    void EraseWhileTheUnitChanges(bool another)
    {
        Launch();
        auto first = Module();
        const int port = Plug(first);
        ASSERT_TRUE(Connected());
        const UsbDevice unit = form->Module.KduInUse;
        auto second = Module();
        const size_t held = first->Files().size();
        ASSERT_EQ(second->Files().size(), held);
        SelectListed(*form, "TyxAuditData.bin");
        SetMessageHandler([&](const MessageRequest& m) {
            messages.push_back(m);
            if (m.buttons == MsgButtons::OkCancel) {
                if (another)
                    Plug(second);
                else
                    Unplug(port);
                EXPECT_TRUE(QTest::qWaitFor([&] { return form->Module.KduInUse != unit; }, 5000));
            }
            return MsgResult::Ok;
        });
        form->CommandKDUErase->click();
        ASSERT_EQ(messages.size(), 2u);
        EXPECT_EQ(messages[0].text, "Confirm erase file \"TyxAuditData.bin\"");
        EXPECT_EQ(messages[1].text, "The KDU that file was on is no longer the one in use; nothing was erased.");
        EXPECT_EQ(first->Files().size(), held);
        EXPECT_EQ(second->Files().size(), held);
    }

    std::shared_ptr<ModuleEmulator> ConnectKdu(bool seeded = true)
    {
        auto kdu = Module("kdu", seeded);
        Plug(kdu);
        EXPECT_TRUE(Connected());
        return kdu;
    }
};

TEST_F(ModuleWindow, AKduArrivesWithItsFilesAndLeavesWithThem)
{
    Launch();
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(form->Label7[0]->text(), "DISCONNECTED");
    EXPECT_FALSE(form->ComboPort->isHidden());
    EXPECT_EQ(form->ComboPort->count(), 0);

    const int port = Plug(Module());
    ASSERT_TRUE(Connected());
    EXPECT_EQ(form->bUSBLoaded, true);
    ASSERT_EQ(form->ComboPort->count(), 1);
    EXPECT_TRUE(form->ComboPort->itemText(0).endsWith(" KDU"));
    EXPECT_EQ(form->ComboPort->currentIndex(), 0);
    EXPECT_EQ(form->ComboPort->itemText(0), QString::number(form->Module.KduInUse, 16).toUpper() + " KDU");
    EXPECT_FALSE(form->FrameKDU->isHidden());
    EXPECT_FALSE(form->ListKDU->isHidden());
    EXPECT_EQ(ListedNames(*form),
              (QStringList{"Tyx_Config.bin", "TyxAuditData.bin", "TyxTekraAuditData.bin", "Tyx_BA_Config.bin"}));
    EXPECT_EQ(form->Module.KduFiles.Lines[0].Line, "1\tTyx_Config.bin               \tConfiguration\t" +
                                                std::to_string(form->Module.KduFiles.Lines[0].Size) + " bytes");
    EXPECT_EQ(form->Module.KduFiles.AuditFileId, 2);
    EXPECT_EQ(form->Module.KduFiles.TekraAuditFileId, 3);
    EXPECT_TRUE(form->Module.KduFiles.SarnelConfigPresent);
    EXPECT_EQ(form->cmdViewAudit->text(), "View Audit Data");
    EXPECT_TRUE(form->cmdViewAudit->isHidden()) << "the access code shows it";
    EXPECT_TRUE(form->cmdCalibrate[form->State.AcceptorVariant]->isHidden());

    Unplug(port);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->Label7[0]->text() == "DISCONNECTED"; }, 5000));
    EXPECT_TRUE(form->FrameKDU->isHidden());
    EXPECT_EQ(form->ComboPort->count(), 0);
    EXPECT_EQ(form->ComboPort->currentIndex(), -1);
    EXPECT_EQ(form->Module.KduInUse, 0u);
    EXPECT_TRUE(messages.empty());
}

TEST_F(ModuleWindow, AUnitPresentAtStartIsReportedWhileTheLibraryStarts)
{
    Plug(Module("kdu", false));
    Launch();
    EXPECT_EQ(form->Label7[0]->text(), "CONNECTED TO KDU");
    EXPECT_EQ(ListedNames(*form), QStringList{"No Files found"});
    EXPECT_EQ(form->Module.KduFiles.AuditFileId, -1);
    EXPECT_EQ(form->cmdViewAudit->text(), "Enable Audit Mode");

    // Choosing a COM entry stops the library; its units go with it.
    form->mnuCom1_Click(2);
    EXPECT_EQ(form->ComboPort->count(), 0);
    EXPECT_TRUE(form->ComboPort->isHidden());
    EXPECT_TRUE(form->FrameKDU->isHidden());
    EXPECT_EQ(form->Module.KduInUse, 0u);
}

TEST_F(ModuleWindow, TheUnitInUseStaysSelectedWhileOthersComeAndGo)
{
    Launch();
    const int first = Plug(Module());
    ASSERT_TRUE(Connected());
    const UsbDevice kdu = form->Module.KduInUse;

    const int rdu = Plug(Module("rdu"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->ComboPort->count() == 2; }, 5000));
    EXPECT_TRUE(form->ComboPort->itemText(1).endsWith(" RDU"));
    EXPECT_EQ(form->ComboPort->currentData().value<UsbDevice>(), kdu);

    Plug(std::make_shared<emulator::usb::KnurlEmulator>());
    ASSERT_TRUE(MessageShown("Error - Invalid command for product"));
    ASSERT_EQ(form->ComboPort->count(), 3);
    EXPECT_TRUE(form->ComboPort->itemText(2).endsWith(" Knurl"));
    EXPECT_EQ(form->ComboPort->currentData().value<UsbDevice>(), kdu);

    Unplug(rdu);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->ComboPort->count() == 2; }, 5000));
    EXPECT_EQ(form->Label7[0]->text(), "CONNECTED TO KDU") << "another unit left, not the one in use";
    EXPECT_FALSE(form->FrameKDU->isHidden());
    EXPECT_EQ(form->ComboPort->currentData().value<UsbDevice>(), kdu);

    // A second KDU is taken into use; the first one's leaving then changes nothing on the screen.
    Plug(Module("kdu", false));
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->Module.KduInUse != kdu && form->Module.KduInUse != 0; }, 5000));
    const UsbDevice second = form->Module.KduInUse;
    EXPECT_EQ(form->ComboPort->currentData().value<UsbDevice>(), second);
    EXPECT_EQ(ListedNames(*form), QStringList{"No Files found"});
    Unplug(first);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->ComboPort->count() == 2; }, 5000));
    EXPECT_EQ(form->Module.KduInUse, second);
    EXPECT_EQ(form->Label7[0]->text(), "CONNECTED TO KDU");

    // Choosing the Knurl in the unit list leaves the module in use.
    const int knurl = form->ComboPort->findText(" Knurl", Qt::MatchEndsWith);
    form->ComboPort->setCurrentIndex(knurl);
    form->ComboPort_Click(knurl);
    EXPECT_EQ(form->ComboPort->currentData().value<UsbDevice>(), second);
}

TEST_F(ModuleWindow, ChoosingTheUnitAgainKeepsTheAuditButtonAsTheAccessCodeLeftIt)
{
    Launch();
    ConnectKdu();
    EXPECT_TRUE(form->cmdViewAudit->isHidden());
    form->cmdViewAudit->show();  // as the administrator's access code does
    form->ComboPort_Click(form->ComboPort->currentIndex());
    EXPECT_FALSE(form->cmdViewAudit->isHidden());
    form->cmdViewAudit->hide();  // as any other code does
    form->ComboPort_Click(form->ComboPort->currentIndex());
    EXPECT_TRUE(form->cmdViewAudit->isHidden());

    // A unit arriving hides it, as it does on its own.
    form->cmdViewAudit->show();
    const UsbDevice first = form->Module.KduInUse;
    Plug(Module("kdu", false));
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->Module.KduInUse != first; }, 5000));
    EXPECT_TRUE(form->cmdViewAudit->isHidden());
}

TEST_F(ModuleWindow, AModuleWithOldSoftwareIsRefusedAndThePortMenuGoesBackToCom1)
{
    Launch();
    Plug(Module("kdu-old"));
    // The caption changes once COM 1 has opened, after the menu has moved to it.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return form->ComPort == 1 && form->cmdFlashRqt->text() == "&UPDATE BA"; }, 5000))
        << "COM " << form->ComPort << ", " << form->cmdFlashRqt->text().toStdString();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages[0].text, "KDU software needs to be updated.  Cannot connect to KDU.");
    EXPECT_EQ(messages[0].title, "Old KDU App software");
    EXPECT_TRUE(form->mnuCom1[1]->isChecked());
    EXPECT_EQ(form->ComboPort->count(), 0);
    EXPECT_EQ(form->Module.KduInUse, 0u);
    EXPECT_EQ(form->cmdFlashRqt->text(), "&UPDATE BA");
}

TEST_F(ModuleWindow, EraseAsksFirstAndCancelKeepsTheFile)
{
    Launch();
    auto kdu = ConnectKdu();

    form->CommandKDUErase_Click();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "No file selected");

    SelectListed(*form, "TyxAuditData.bin");
    answer = MsgResult::Cancel;
    form->CommandKDUErase->click();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[1].text, "Confirm erase file \"TyxAuditData.bin\"");
    EXPECT_EQ(messages[1].buttons, MsgButtons::OkCancel);
    EXPECT_EQ(kdu->Files().size(), 4u);

    answer = MsgResult::Ok;
    form->CommandKDUErase->click();
    ASSERT_EQ(kdu->Files().size(), 3u);
    EXPECT_EQ(ListedNames(*form), (QStringList{"Tyx_Config.bin", "TyxTekraAuditData.bin", "Tyx_BA_Config.bin"}));
    EXPECT_EQ(form->Module.KduFiles.AuditFileId, -1);

    for (const QString name : {"Tyx_Config.bin", "TyxTekraAuditData.bin", "Tyx_BA_Config.bin"}) {
        SelectListed(*form, name);
        form->CommandKDUErase->click();
    }
    EXPECT_TRUE(kdu->Files().empty());
    EXPECT_EQ(ListedNames(*form), QStringList{"No Files found"});
    EXPECT_EQ(form->cmdViewAudit->text(), "Enable Audit Mode");
    // The "No Files found" line names no file.
    form->ListKDU->selectionModel()->select(form->ListKDU->model()->index(0, 0),
                                            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    const size_t before = messages.size();
    form->CommandKDUErase->click();
    ASSERT_EQ(messages.size(), before + 1);
    EXPECT_EQ(messages.back().text, "No file selected");
}

// The module may have erased the file though its reply was lost: the list is read again.
TEST_F(ModuleWindow, AnEraseWhoseReplyIsLostListsTheModuleAgain)
{
    const struct {
        UsbFault fault;
        QString why;
    } cases[] = {
        {{UsbFaultKind::NoReply}, "Error - Link Time out "},
        {{UsbFaultKind::StallReply}, "Error - Link Failed"},
    };
    ShortTimeLimits();
    Launch();
    auto kdu = ConnectKdu();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why.toStdString());
        const QString name = ListedNames(*form).front();
        const size_t held = kdu->Files().size();
        kdu->AddFault(0x39, c.fault);
        SelectListed(*form, name);
        messages.clear();
        form->CommandKDUErase->click();
        ASSERT_EQ(messages.size(), 2u);
        EXPECT_EQ(messages[1].text, c.why);
        ASSERT_EQ(kdu->Files().size(), held - 1);
        EXPECT_FALSE(ListedNames(*form).contains(name));
        EXPECT_FALSE(form->Module.KduListStale);
    }
}

TEST_F(ModuleWindow, AnEraseConfirmedAfterAnotherKduWasTakenIntoUseErasesNothing)
{
    EraseWhileTheUnitChanges(true);
}

TEST_F(ModuleWindow, AnEraseConfirmedAfterTheKduLeftErasesNothing)
{
    EraseWhileTheUnitChanges(false);
}

TEST_F(ModuleWindow, AFirmwareFileOnTheModuleIsTheImageAsHexText)
{
    Launch();
    auto kdu = ConnectKdu();
    LoadSarnelImage();
    form->cmdFlashRqt_Click();
    EXPECT_EQ(form->lblDisplay->text(), "Download complete");
    const auto firmware = FilesOfClass(*kdu, 3);
    ASSERT_EQ(firmware.size(), 1u);
    EXPECT_EQ(firmware[0].NameText(), "Ver   067 TYX_FW.HEX");
    EXPECT_EQ(firmware[0].VariantId, SarnelVariantId);

    // Every block, then the checksum record; the date record last.
    std::string expected;
    for (const std::string& r : ModuleFirmwareRecords(form->Firmware, {}))
        expected += r;
    const std::string stored(firmware[0].Contents.begin(), firmware[0].Contents.end());
    ASSERT_EQ(stored.size(), expected.size());
    EXPECT_EQ(stored.substr(0, stored.size() - 21), expected.substr(0, expected.size() - 21));
    EXPECT_EQ(stored.substr(stored.size() - 21, 9), ":05000009");
    // Every write held at most 126 characters and never two records.
    for (const auto& request : kdu->Requests()) {
        if (request[0] == CmdWrite) {
            EXPECT_LE(request.size(), 127u);
        }
    }

    ASSERT_NE(form->Module.KduFiles.Find(uint16_t(firmware[0].Number)), nullptr);
    EXPECT_EQ(form->Module.KduFiles.Find(uint16_t(firmware[0].Number))->Type, "Application (Sarnel)");
    EXPECT_TRUE(ListedNames(*form).contains("Ver   043 TYX_FW.HEX"));

    form->cmdFlashRqt_Click();
    EXPECT_EQ(messages.back().text, "Cannot have more than one firmware file for a Tyx BA");
    EXPECT_EQ(messages.back().title, "Firmware already loaded");
    EXPECT_EQ(FilesOfClass(*kdu, 3).size(), 1u);
}

TEST_F(ModuleWindow, AFailedFirmwareDownloadLeavesNoFileAndSaysWhy)
{
    ShortTimeLimits();
    const struct {
        int command;
        UsbFault fault;
        QString why;
    } cases[] = {
        {CmdWrite, {UsbFaultKind::Status, 1, 2, 1, 2}, "Error writing to KDU: No Space"},
        {CmdWrite, {UsbFaultKind::NoReply, 1, 1}, "Error - Link Time out "},
        {CmdWrite, {UsbFaultKind::ShortReply, 1, 0, 1}, "Error - Invalid reply from product"},
        {CmdClose, {UsbFaultKind::Status, 1, 0, 1, 1}, "Could not close file: Unable to respond"},
        {CmdCreate, {UsbFaultKind::Status, 1, 0, 1, 6}, "Could not create file: File corrupt - Format KDU"},
    };
    Launch();
    auto kdu = ConnectKdu();
    LoadSarnelImage();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why.toStdString());
        messages.clear();
        kdu->AddFault(c.command, c.fault);
        form->cmdFlashRqt_Click();
        EXPECT_EQ(form->lblDisplay->text(), "Download failed");
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].text.section('\n', 0, 0), c.why);
        EXPECT_TRUE(FilesOfClass(*kdu, 3).empty());
        EXPECT_EQ(kdu->Files().size(), 4u);
        EXPECT_FALSE(form->Module.ModuleBusy);
        kdu->ClearFaults();
    }
    // The module took the next download whole.
    messages.clear();
    form->cmdFlashRqt_Click();
    EXPECT_EQ(form->lblDisplay->text(), "Download complete");
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(FilesOfClass(*kdu, 3).size(), 1u);
}

TEST_F(ModuleWindow, AWrongListingBeforeADownloadKeepsTheFirmwareFileThatWasThere)
{
    Launch();
    auto kdu = ConnectKdu(false);
    LoadSarnelImage();
    ModuleFile held;
    held.SetName("Ver   067 TYX_FW.HEX");
    held.FileClass = 3;
    held.VariantId = SarnelVariantId;
    held.Contents = Bytes(300, 0x3A);
    kdu->WithFiles([&](emulator::usb::ModuleFiles& files) { return files.Add(held); });
    // Entry 0 answered as if past the last entry: the listing shows no file, so the download goes ahead.
    kdu->AddFault(0x3A, {UsbFaultKind::Status, 1, 0, 1, 5});
    form->RefreshKduFileList(form->Module.KduInUse);
    ASSERT_EQ(ListedNames(*form), QStringList{"No Files found"});
    kdu->AddFault(CmdWrite, {UsbFaultKind::Status, 1, 1, 1, 2});
    form->cmdFlashRqt_Click();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Error writing to KDU: No Space\nSome of the file may still be on the KDU: erase it there.");
    const auto firmware = FilesOfClass(*kdu, 3);
    ASSERT_EQ(firmware.size(), 2u) << "nothing erased";
    EXPECT_EQ(firmware[0].Contents, held.Contents);
}

TEST_F(ModuleWindow, AFirmwareRevisionBeyondThreeDigitsIsRefused)
{
    Launch();
    auto kdu = ConnectKdu();
    LoadSarnelImage("03E8");
    form->cmdFlashRqt_Click();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.startsWith("The firmware revision 03E8 does not fit"));
    EXPECT_TRUE(FilesOfClass(*kdu, 3).empty());
}

TEST_F(ModuleWindow, AStaleFileListRefusesNewFilesUntilItIsReadAgain)
{
    ShortTimeLimits();
    Launch();
    auto kdu = Module();
    kdu->AddFault(0x3A, {UsbFaultKind::NoReply, 1, 1});  // the second entry of the first listing
    Plug(kdu);
    ASSERT_TRUE(Connected());
    ASSERT_TRUE(MessageShown("Error - Link Time out "));
    EXPECT_TRUE(form->Module.KduListStale);
    EXPECT_EQ(ListedNames(*form), QStringList{"Tyx_Config.bin"});

    // The next download lists the files first; with the module answering again it goes ahead.
    FullTimeLimits();
    LoadSarnelImage();
    messages.clear();
    form->cmdFlashRqt_Click();
    EXPECT_FALSE(form->Module.KduListStale);
    EXPECT_EQ(form->lblDisplay->text(), "Download complete");
    EXPECT_EQ(FilesOfClass(*kdu, 3).size(), 1u);

    // A listing that keeps failing: nothing is created.
    ShortTimeLimits();
    kdu->AddFault(0x3A, {UsbFaultKind::NoReply, 2, 0});
    SelectListed(*form, "Ver   043 TYX_FW.HEX");
    form->CommandKDUErase->click();
    ASSERT_TRUE(FilesOfClass(*kdu, 3).empty());
    EXPECT_TRUE(form->Module.KduListStale);
    messages.clear();
    form->cmdFlashRqt_Click();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back().text, "The list of files on the KDU could not be read, so nothing was written to it.");
    EXPECT_TRUE(FilesOfClass(*kdu, 3).empty());
}

TEST_F(ModuleWindow, TheEditedConfigurationBecomesTheModulesConfigurationFile)
{
    Launch();
    auto kdu = ConnectKdu(false);
    LoadSarnelImage();
    form->cmdConfig_Click();
    ASSERT_FALSE(form->frmConfiguration->isHidden());
    EXPECT_TRUE(form->ListKDU->isHidden());
    ASSERT_TRUE(form->cmdSend[5]->isEnabled());
    form->State.ConfigSource = ConfigFromFile;

    form->cmdSend_Click();
    EXPECT_EQ(form->LabelNaStatusMessage->text(), "Current configuration settings downloaded to KDU device.");
    const auto config = FilesOfClass(*kdu, 0);
    ASSERT_EQ(config.size(), 1u);
    EXPECT_EQ(config[0].NameText(), "Tyx_Config.bin");
    EXPECT_EQ(config[0].VariantId, SarnelVariantId);
    EXPECT_EQ(config[0].DataFileKind, 2);
    EXPECT_EQ(config[0].SetupRevision, form->State.FactoryRecord.SetupRevision);
    EXPECT_EQ(config[0].CalibrationRevision, form->State.FactoryRecord.CalibrationRevision);
    EepromImage image{};
    ASSERT_TRUE(EncodeEepromImage(form->State.CurrentRecord, image));
    EXPECT_EQ(config[0].Contents, ModuleConfigContents(image, 176));
    EXPECT_EQ(config[0].Contents[0], 0x62);
    EXPECT_TRUE(messages.empty());

    form->cmdSend_Click();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Cannot have more than one config file for a Tyx BA");
    EXPECT_EQ(messages[0].title, "Configuration already loaded");
    EXPECT_EQ(FilesOfClass(*kdu, 0).size(), 1u);
}

TEST_F(ModuleWindow, ARefusedConfigurationWriteSaysSoAndLeavesNoFile)
{
    Launch();
    auto kdu = ConnectKdu(false);
    LoadSarnelImage();
    form->cmdConfig_Click();
    form->State.ConfigSource = ConfigFromFile;
    kdu->AddFault(CmdWrite, {UsbFaultKind::Status, 1, 1, 1, 2});
    form->cmdSend_Click();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Error writing to KDU: No Space\nNothing of the file was left on the KDU.");
    EXPECT_NE(form->LabelNaStatusMessage->text(), "Current configuration settings downloaded to KDU device.");
    EXPECT_TRUE(kdu->Files().empty());
    EXPECT_EQ(ListedNames(*form), QStringList{"No Files found"});
}

TEST_F(ModuleWindow, AListingCutShortByAStatusKeepsTheCleanUpFromErasingTheHeldConfiguration)
{
    Launch();
    auto kdu = ConnectKdu(false);
    ModuleFile audit;
    audit.SetName("TyxTekraAuditData.bin");
    audit.VariantId = TekraVariantId;
    audit.DataFileKind = 4;
    audit.Contents = {0x00};
    kdu->WithFiles([&](emulator::usb::ModuleFiles& files) { return files.Add(audit); });
    LoadSarnelImage();
    form->cmdConfig_Click();
    form->State.ConfigSource = ConfigFromFile;
    form->cmdSend_Click();
    ASSERT_EQ(FilesOfClass(*kdu, 0).size(), 2u);
    const Bytes held = kdu->Files()[1].Contents;
    ASSERT_EQ(kdu->Files()[1].NameText(), "Tyx_Config.bin");
    // Entry 1 is answered "Unable to respond": the listing stops before the configuration file.
    kdu->AddFault(0x3A, {UsbFaultKind::Status, 1, 1, 1, 1});
    form->RefreshKduFileList(form->Module.KduInUse);
    ASSERT_EQ(ListedNames(*form), QStringList{"TyxTekraAuditData.bin"});
    // The create is never taken, so it makes no file.
    kdu->AddFault(CmdCreate, {UsbFaultKind::StallRequest});
    messages.clear();
    form->cmdSend_Click();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Error - Write Failed\nSome of the file may still be on the KDU: erase it there.");
    ASSERT_EQ(kdu->Files().size(), 2u) << "the held configuration stays";
    EXPECT_EQ(kdu->Files()[1].NameText(), "Tyx_Config.bin");
    EXPECT_EQ(kdu->Files()[1].Contents, held);
    EXPECT_TRUE(form->Module.KduFiles.SarnelConfigPresent);
}

TEST_F(ModuleWindow, AConfigurationFileOfTheLoadedRevisionIsReadBack)
{
    Launch();
    auto kdu = ConnectKdu(false);
    LoadSarnelImage();
    form->cmdConfig_Click();
    form->cmdRefresh_Click();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "No configuration file found on BA for currently loaded revision");

    // A readable configuration of the image's revisions, with a number the old table had no room for.
    EepromRecord onModule = form->State.FactoryRecord;
    onModule.VariantCode = 5;
    const std::string serial = "98765432109";
    std::copy(serial.begin(), serial.end(), onModule.SerialNumber.begin());
    EepromImage image{};
    form->State.AcceptorVariant = 5;
    ASSERT_TRUE(EncodeEepromImage(onModule, image));
    kdu->WithFiles([&](emulator::usb::ModuleFiles& files) {
        for (int i = 0; i < 25; ++i) {
            ModuleFile filler;
            filler.SetName("filler");
            files.Add(filler);
        }
        ModuleFile readable;
        readable.SetName("Tyx_Config.bin");
        readable.VariantId = SarnelVariantId;
        readable.DataFileKind = 3;
        readable.SetupRevision = form->State.FactoryRecord.SetupRevision;
        readable.CalibrationRevision = form->State.FactoryRecord.CalibrationRevision;
        readable.Contents.assign(image.begin(), image.begin() + 176);
        return files.Add(readable);
    });
    form->ComboPort_Click(form->ComboPort->currentIndex());  // lists the module's files again
    ASSERT_EQ(form->Module.KduFiles.RevisionTable.count(26), 1u);

    messages.clear();
    form->cmdRefresh_Click();
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(form->State.ConfigSource, ConfigFromAcceptor);
    EXPECT_EQ(form->State.CurrentRecord.SerialNumber, onModule.SerialNumber);
    EXPECT_EQ(form->lblCSerial->text(), "9876543210");
    EXPECT_EQ(form->txtSerial->text(), "9876543210");
}

TEST_F(ModuleWindow, AConfigurationReadBackIsCheckedAndDecodedByTheAcceptorsLayout)
{
    Launch();
    auto kdu = ConnectKdu(false);
    LoadSarnelImage();
    form->cmdConfig_Click();
    const struct {
        uint8_t image;     // variant of the loaded firmware, which names the file
        uint8_t acceptor;  // variant identified since, whose layout decodes it
        size_t length;
        bool loaded;
    } cases[] = {
        {7, 5, 152, false},  // long enough for layout 6/7, short of layout 5/9's 176 bytes
        {7, 5, 176, true},
        {5, 7, 150, true},  // layout 6/7's 143 bytes and a tail
        {5, 7, 142, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.image) << " " << int(c.acceptor) << " " << c.length);
        EepromRecord onModule;
        ASSERT_TRUE(LoadEepromDefaults(onModule, c.acceptor));
        const std::string serial = "98765432109";
        std::copy(serial.begin(), serial.end(), onModule.SerialNumber.begin());
        EepromImage image{};
        ASSERT_TRUE(EncodeEepromImage(onModule, image));
        Bytes contents(image.begin(), image.begin() + long(std::min<size_t>(c.length, image.size())));
        contents.resize(c.length, 0xEE);
        kdu->WithFiles([&](emulator::usb::ModuleFiles& files) {
            while (!files.Files().empty())
                files.Delete(files.Files().front().Number);
            ModuleFile readable;
            readable.SetName(c.image == 5 ? "Tyx_Config.bin" : "Tyx_WS_Config.bin");
            readable.VariantId = c.image == 5 ? SarnelVariantId : TekraVariantId;
            readable.DataFileKind = 3;
            readable.SetupRevision = form->State.FactoryRecord.SetupRevision;
            readable.CalibrationRevision = form->State.FactoryRecord.CalibrationRevision;
            readable.Contents = contents;
            return files.Add(readable);
        });
        form->ComboPort_Click(form->ComboPort->currentIndex());
        form->ImageVariant = c.image;
        form->State.AcceptorVariant = c.acceptor;
        form->State.CurrentRecord = EepromRecord{};
        form->lblCSerial->setText("");
        messages.clear();
        form->cmdRefresh_Click();
        if (c.loaded) {
            EXPECT_TRUE(messages.empty());
            EXPECT_EQ(form->lblCSerial->text(), "9876543210");
        } else {
            ASSERT_EQ(messages.size(), 1u);
            EXPECT_EQ(messages[0].text, QString("The configuration file on the KDU holds %1 bytes, too few for a "
                                                "configuration; nothing was loaded.")
                                            .arg(c.length));
            EXPECT_EQ(form->lblCSerial->text(), "");
            EXPECT_EQ(form->State.CurrentRecord.SerialNumber, EepromRecord{}.SerialNumber);
        }
    }
}

TEST_F(ModuleWindow, AFileLeftOpenOnTheModuleIsClosedWhenItComesBack)
{
    // As a transfer cut short by an unplug leaves it: the module refuses new files and the erase of that one.
    Launch();
    auto kdu = Module();
    const auto openFirst = [](emulator::usb::ModuleFiles& files) { return files.OpenForRead(files.Files()[0].Number); };
    ASSERT_EQ(kdu->WithFiles(openFirst), 0);
    ASSERT_EQ(kdu->Files()[0].NameText(), "Tyx_Config.bin");
    Plug(kdu);
    ASSERT_TRUE(Connected());

    SelectListed(*form, "Tyx_Config.bin");
    form->CommandKDUErase->click();
    EXPECT_EQ(kdu->Files().size(), 3u);
    LoadSarnelImage();
    form->cmdFlashRqt_Click();
    EXPECT_EQ(form->lblDisplay->text(), "Download complete");
    EXPECT_EQ(FilesOfClass(*kdu, 3).size(), 1u);
}

TEST_F(ModuleWindow, EveryModuleControlHasAMeaningfulName)
{
    Launch();
    ConnectKdu();
    form->show();
    for (const QString& p : test::AccessibilityProblems(form.get()))
        ADD_FAILURE() << p.toStdString();
    EXPECT_EQ(form->ComboPort->accessibleName(), "USB unit");
    EXPECT_EQ(test::HeardName(form->ListKDU), "Module files");
    EXPECT_EQ(test::HeardName(form->CommandKDUErase), "Erase");
}

}  // namespace
}  // namespace kovrin
