// What a screen reader hears from the main window, its firmware panel and the configuration screen.

#include <gtest/gtest.h>

#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "tests/app/mainwindow/form_main_fixture.h"
#include "tests/support/accessibility_check.h"
#include "tests/support/hex_writer.h"
#include "tests/support/reply_frame.h"

namespace kovrin {
namespace {

using test::AccessibilityProblems;
using test::HeardDescription;
using test::HeardName;

class AccessibilityTest : public FormMainTest {
protected:
    void ExpectNoProblems()
    {
        for (const QString& p : AccessibilityProblems(form.get()))
            ADD_FAILURE() << p.toStdString();
    }
};

TEST_F(AccessibilityTest, EveryControlHasAMeaningfulNameBeforeAndAfterAnAcceptorIsFound)
{
    Attach({});
    Launch();
    form->show();
    EXPECT_EQ(HeardName(form.get()), "Kovrin");
    ExpectNoProblems();

    ASSERT_TRUE(Identified());
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->State.FactoryConfigValid; }, 5000));
    form->cmdConfig_Click();
    EXPECT_EQ(HeardName(form.get()), "Kovrin-Tyx Sarnel");
    ExpectNoProblems();
}

TEST_F(AccessibilityTest, ValueLabelsAreHeardAsTheValuesTheyShow)
{
    AcceptorOptions o;
    o.variant = 5;
    o.serial = "12345678901";
    o.versionText = "0043";
    Attach(o);
    Launch();
    // Empty, a value label is heard as nothing, not as its caption; the caption describes it.
    for (QLabel* empty : {form->Label6[0], form->Label6[7], form->lblCSerial}) {
        SCOPED_TRACE(empty->objectName().toStdString());
        ASSERT_TRUE(empty->text().isEmpty());
        EXPECT_EQ(HeardName(empty), "");
    }
    EXPECT_EQ(HeardDescription(form->Label6[0]), "Image for");
    EXPECT_EQ(HeardDescription(form->lblCSerial), "Serial number");

    ASSERT_TRUE(Identified());
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->State.FactoryConfigValid; }, 5000));
    ASSERT_TRUE(WaitUntilIdle());
    form->cmdRefresh_Click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->State.ConfigSource == ConfigFromAcceptor; }, 5000));

    QFile hex(dir + "/image.hex");
    ASSERT_TRUE(hex.open(QIODevice::WriteOnly));
    hex.write(test::HexText({{0x4000, 0, test::Description(5)}, test::Eof()}).c_str());
    hex.close();
    form->State.Settings.FirmwareFilePath = hex.fileName().toStdString();
    form->LoadHexFile();

    // The answer to a date stamp shows in the update status.
    form->Session.ProcessAcceptorReply(test::ReplyFrame(CmdDateStamp));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return form->lblDisplay->text() == "Device Programmed Successfully"; }, 5000));
    ASSERT_TRUE(Identified()) << "the poll after the stamp finds the acceptor again";

    const struct {
        QLabel* label;
        QString shows;
        QString caption;  // heard as its description
    } cases[] = {
        {form->Label7[0], "HARDWARE FOUND", "Link status"},
        {form->Label6[4], "Tyx Sarnel", "Variant"},
        {form->Label6[7], "0043", "Version"},
        {form->Label6[8], "12345678901", "SERIAL NO"},
        {form->LabelCalibrationStatus, "Unit Calibrated", "Calibration status"},
        {form->lblCMachine, "Tyx Sarnel", "Acceptor"},
        {form->lblCVersion, "0043", "Version"},
        {form->lblCSerial, "12345678901", "Serial number"},
        {form->LabelNaStatusMessage, "Current attached note acceptor configuration settings loaded.",
         "Configuration status"},
        {form->Label7[1], "SOFTWARE LOADED", "Firmware status"},
        {form->Label6[3], "0043", "Image revision"},
        {form->lblHexChk, form->lblHexChk->text(), "Image checksum"},
        {form->lblDisplay, "Device Programmed Successfully", "Update status"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label->objectName().toStdString());
        EXPECT_EQ(c.label->text(), c.shows);
        EXPECT_FALSE(c.shows.isEmpty());
        EXPECT_EQ(HeardName(c.label), c.shows);
        EXPECT_EQ(HeardDescription(c.label), c.caption);
    }
    ExpectNoProblems();

    // Lost, the labels are heard as what they show now.
    emu->setSilent(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->Label7[0]->text() == "DISCONNECTED"; }, 5000));
    EXPECT_EQ(HeardName(form->Label7[0]), "DISCONNECTED");
    EXPECT_EQ(HeardName(form->LabelCalibrationStatus), "Unit Not Calibrated");
    EXPECT_EQ(HeardName(form->Label6[7]), "");
}

TEST_F(AccessibilityTest, ASecurityButtonIsHeardWithItsChannelAndState)
{
    test::SilentPort com1;
    ASSERT_TRUE(com1.LinkAs(dir + "/COM1"));
    Launch();
    QPushButton* third = form->frmConfiguration->cmdButtonSecurity[2];
    EXPECT_EQ(HeardName(third), "Security of channel 3: L");
    third->setEnabled(true);
    third->click();
    EXPECT_EQ(third->text(), "H");
    EXPECT_EQ(HeardName(third), "Security of channel 3: H");
    third->click();
    EXPECT_EQ(HeardName(third), "Security of channel 3: L");
}

}  // namespace
}  // namespace kovrin
