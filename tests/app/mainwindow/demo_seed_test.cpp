// The demo that `scripts/run --usb` starts: its KDU's configuration reads back
// into the configuration screen once the demo's firmware file is loaded.

#include <QLineEdit>
#include <QPushButton>

#include "app/config/screen/configuration_frame.h"
#include "tests/app/mainwindow/module_fixture.h"

namespace kovrin {
namespace {

TEST_F(ModuleWindowTest, TheDemoKdusConfigurationReadsBackWithTheDemoFirmware)
{
    Launch();
    Plug(Module());
    ASSERT_TRUE(Connected());
    form->State.Settings.FirmwareFilePath = DEMO_FIRMWARE;
    form->LoadHexFile();
    ASSERT_EQ(form->HexFileLoaded, true);
    EXPECT_EQ(form->Label7[1]->text(), "SOFTWARE LOADED");
    EXPECT_TRUE(form->cmdFlashRqt->isEnabled());

    form->cmdConfig->click();
    ASSERT_FALSE(form->frmConfiguration->isHidden()) << (messages.empty() ? "" : messages[0].text.toStdString());
    EXPECT_EQ(form->State.FactoryRecord.SetupRevision, 0x12);
    EXPECT_EQ(form->State.FactoryRecord.CalibrationRevision, 0x2A);
    QFile seeded(DEMO_SEED "/Tyx_BA_Config.bin");
    ASSERT_TRUE(seeded.open(QIODevice::ReadOnly));
    const QByteArray file = seeded.readAll();
    ASSERT_EQ(file.size(), 176);
    const uint8_t escrow = uint8_t(file[106]);
    form->State.CurrentRecord.EscrowTime = uint8_t(escrow + 1);  // so the read can be seen to replace it

    messages.clear();
    form->cmdRefresh[form->State.AcceptorVariant]->click();
    EXPECT_TRUE(messages.empty()) << messages[0].text.toStdString();
    EXPECT_EQ(form->State.ConfigSource, ConfigFromAcceptor);
    EXPECT_EQ(form->lblCSerial->text(), "TS50001239") << "the first ten characters of the module's file";
    const auto& serial = form->State.CurrentRecord.SerialNumber;
    EXPECT_EQ(std::string(serial.begin(), serial.begin() + 11), "TS500012399");
    EXPECT_EQ(form->State.CurrentRecord.EscrowTime, escrow);
}

}  // namespace
}  // namespace kovrin
