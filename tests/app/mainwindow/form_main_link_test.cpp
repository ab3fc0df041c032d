// The main window against the emulated acceptor on a pseudo-terminal.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/core/hex_digits.h"
#include "tests/app/mainwindow/form_main_fixture.h"
#include "tests/support/reply_frame.h"

namespace kovrin {
namespace {

TEST_F(FormMainTest, IdentifiesASarnelAndReadsItsFactoryCopy)
{
    AcceptorOptions o;
    o.variant = 5;
    o.serial = "12345678901";
    Attach(o);
    Launch();
    ASSERT_TRUE(Identified());
    EXPECT_EQ(form->Label6[4]->text(), "Tyx Sarnel");
    EXPECT_EQ(form->windowTitle(), "Kovrin-Tyx Sarnel");
    EXPECT_EQ(form->Label6[8]->text(), "12345678901");
    EXPECT_EQ(form->txtSerial->text(), "12345678901");
    EXPECT_EQ(form->lblCMachine->text(), "Tyx Sarnel");
    EXPECT_EQ(form->Label6[7]->text().size(), 4);
    EXPECT_EQ(form->Session.State().FrameAddress, 4);
    EXPECT_EQ(form->State.CurrentRecord.VariantCode, 5);
    EXPECT_TRUE(messages.empty());

    ASSERT_TRUE(QTest::qWaitFor([&] { return form->LabelCalibrationStatus->text() == "Unit Calibrated"; }, 5000));
    EXPECT_EQ(form->State.FactoryConfigValid, true);
    const EepromRecord& factory = form->State.FactoryRecord;
    EXPECT_EQ(form->LabelFwSetupRevision->text(), QString::fromStdString(ByteToHex(factory.SetupRevision)));
    EXPECT_EQ(form->LabelEeCalRevision->text(), QString::fromStdString(ByteToHex(factory.CalibrationRevision)));
    EXPECT_EQ(form->State.FactoryRecord.VariantCode, 5) << "the factory copy decodes in the acceptor's layout";

    EXPECT_FALSE(form->cmdSend[5]->isHidden());
    EXPECT_TRUE(form->cmdSend[5]->isEnabled());
    EXPECT_TRUE(form->cmdSend[0]->isHidden());
    EXPECT_FALSE(form->cmdRefresh[5]->isHidden());
    EXPECT_EQ(form->ImageNoteAcceptor->property("pictureVariant").toInt(), 5);
}

TEST_F(FormMainTest, IdentifiesATekraAndItsVariantControls)
{
    AcceptorOptions o;
    o.variant = 7;
    o.calibrated = false;
    Attach(o);
    Launch();
    ASSERT_TRUE(Identified());
    EXPECT_EQ(form->Label6[4]->text(), "Tyx Tekra");
    EXPECT_EQ(form->Label6[8]->text().size(), 11);
    EXPECT_FALSE(form->chkBill_Hold->isHidden());
    EXPECT_FALSE(form->chkCCTalk->isHidden());
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return form->LabelCalibrationStatus->text() == "Unit Not Calibrated"; }, 5000));
    EXPECT_EQ(form->LabelCalibrationStatus->palette().color(QPalette::WindowText), QColor(255, 0, 0));
}

TEST_F(FormMainTest, ShowsProgramModeAndRestrictedUnits)
{
    AcceptorOptions o;
    o.variant = 9;
    o.unitState = 0x99;
    Attach(o);
    Launch();
    ASSERT_TRUE(Identified());
    EXPECT_EQ(form->Label10->text(), "PROGRAM MODE");
    EXPECT_TRUE(form->Label6[8]->text().isEmpty());
    EXPECT_TRUE(form->Label6[7]->text().isEmpty());
    EXPECT_EQ(form->Session.State().AcceptorCode, 0);

    emu->setUnitState(3);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->Label10->text() == "RESTRICTED UNIT"; }, 5000));
    EXPECT_EQ(form->Session.State().AcceptorCode, 3);
    EXPECT_FALSE(form->Label6[8]->text().isEmpty());
}

TEST_F(FormMainTest, NoticesTheAcceptorLeaveProbesBothSpeedsAndFindsItAgain)
{
    Attach({});
    Launch();
    ASSERT_TRUE(Identified());
    ASSERT_FALSE(form->Session.State().bStampDatePending);

    emu->setSilent(true);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->Label7[0]->text() == "DISCONNECTED"; }, 10000));
    EXPECT_EQ(form->windowTitle(), "Kovrin");
    EXPECT_TRUE(form->Label6[4]->text().isEmpty());
    EXPECT_TRUE(form->txtSerial->text().isEmpty());
    EXPECT_EQ(form->LabelCalibrationStatus->text(), "Unit Not Calibrated");
    EXPECT_EQ(form->State.FactoryConfigValid, false);
    EXPECT_TRUE(form->FlashInhibit & 0x02);
    EXPECT_FALSE(form->cmdSend[0]->isHidden());
    EXPECT_FALSE(form->cmdSend[0]->isEnabled());
    EXPECT_EQ(form->ImageNoteAcceptor->property("pictureVariant").toInt(), 0);

    // Probing at the boot loader's speed: the wake byte and the poll arrive at 38400. The probe goes
    // back and forth between the speeds, so each is waited for, not looked at once.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return form->Session.State().FlashMode && form->MSComm1->BaudRate() == 38400; }, 5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return emu->lastLineSpeed() == 38400; }, 5000));
    EXPECT_GT(emu->wrongSpeedByteCount(), 0);

    // Four more missed ticks bring it back to the application's speed.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->Session.State().FlashMode; }, 5000));
    EXPECT_EQ(form->MSComm1->BaudRate(), 9600);

    emu->setSilent(false);
    ASSERT_TRUE(Identified(8000));
    EXPECT_EQ(form->Label6[4]->text(), "Tyx Sarnel");
}

TEST_F(FormMainTest, GuardExpiryAtNormalSpeedOnlyRestartsPolling)
{
    Attach({});
    Launch();
    ASSERT_TRUE(Identified());
    // An old reply must not be handled again.
    form->Session.ProcessAcceptorReply(test::ReplyFrame(CmdWriteConfiguration));
    ASSERT_TRUE(form->TimerCmdResponseDelay->isActive());
    form->TimerCmdResponseDelay->stop();
    const QString status = form->LabelNaStatusMessage->text();
    form->tmrGuard_Timer();
    EXPECT_EQ(form->LabelNaStatusMessage->text(), status);
    EXPECT_FALSE(form->TimerCmdResponseDelay->isActive());
    EXPECT_TRUE(form->tmrPoll->isActive());
}

TEST_F(FormMainTest, APortThatFailsSaysSoOnceAndTheProgramKeepsTrying)
{
    QFile::link("/nonexistent/tty-of-nobody", dir + "/COM3");
    QFile settings(dir + "/Kovrin.ini");
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
    settings.write("3\r\n\r\n\r\n");
    settings.close();
    Launch();
    ASSERT_EQ(form->ComPort, 3);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].title, "Critical Error");
    EXPECT_TRUE(messages[0].text.startsWith("Communication Port error! "));
    EXPECT_TRUE(messages[0].text.endsWith(
        "\nThe serial port may be in used by other application(s) or a hardware conflict exists."));
    EXPECT_TRUE(form->tmrPoll->isActive());
    EXPECT_FALSE(form->cmdCalibrate[0]->isHidden());

    // A whole round of the watchdog: four missed ticks, a reopen at the boot loader's speed, polling again.
    QSignalSpy ticks(form->tmrPoll, &QTimer::timeout);
    ASSERT_TRUE(QTest::qWaitFor([&] { return ticks.count() >= 5; }, 10000));
    EXPECT_EQ(messages.size(), 1u) << "the watchdog's retries stay silent";

    form->mnuCom1_Click(3);  // told once already, until a port opens
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_TRUE(form->mnuCom1[3]->isChecked());
    EXPECT_TRUE(form->tmrPoll->isActive());

    Attach({});
    form->mnuCom1_Click(1);
    EXPECT_EQ(form->bPortErrorShown, false) << "a port that opens";
    form->mnuCom1_Click(3);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[1].title, "Critical Error");
}

TEST_F(FormMainTest, APortThatFailsSkipsTheRestOfTheSerialSetUp)
{
    QFile::link("/nonexistent/tty-of-nobody", dir + "/COM3");
    Attach({});
    Launch();
    form->mnuCom1_Click(FormMain::UsbEntry);  // no library here: "Failed to initialise"
    ASSERT_EQ(messages.size(), 1u);
    form->mnuCom1_Click(3);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_TRUE(messages[1].text.startsWith("Communication Port error! "));
    // The controls stay as the USB entry left them; only polling is kept alive.
    EXPECT_EQ(form->cmdFlashRqt->text(), "&UPDATE KDU");
    EXPECT_TRUE(form->LabelCalibrationStatus->isHidden());
    EXPECT_TRUE(form->tmrPoll->isActive());
    form->mnuCom1_Click(1);
    EXPECT_EQ(form->cmdFlashRqt->text(), "&UPDATE BA");
    EXPECT_FALSE(form->LabelCalibrationStatus->isHidden());
    ASSERT_TRUE(Identified());
}

TEST_F(FormMainTest, ChoosingAPortRemembersItAndUsbWithoutLibraryFails)
{
    Attach({});
    Launch();
    form->mnuCom1_Click(FormMain::UsbEntry);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Failed to initialise");
    EXPECT_EQ(messages[0].title, "Kovrin");
    EXPECT_FALSE(form->tmrPoll->isActive());
    EXPECT_EQ(form->cmdFlashRqt->text(), "&UPDATE KDU");
    EXPECT_TRUE(form->LabelCalibrationStatus->isHidden());
    QFile settings(dir + "/Kovrin.ini");
    ASSERT_TRUE(settings.open(QIODevice::ReadOnly));
    EXPECT_TRUE(settings.readAll().startsWith("9\r\n"));

    form->mnuCom1_Click(1);
    ASSERT_TRUE(Identified());
    EXPECT_EQ(form->cmdFlashRqt->text(), "&UPDATE BA");
}


TEST_F(FormMainTest, CalibrateThenReadsTheFactoryCopyAndStateAnew)
{
    AcceptorOptions o;
    o.calibrated = false;
    Attach(o);
    Launch();
    ASSERT_TRUE(Identified());
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->State.FactoryConfigValid; }, 5000));
    EXPECT_EQ(form->LabelCalibrationStatus->text(), "Unit Not Calibrated");
    const int readsBefore = emu->commandCount(CmdReadMemory);

    ASSERT_TRUE(WaitUntilIdle());
    form->cmdCalibrate[5]->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return emu->commandCount(CmdCalibrate) == 1; }, 5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->LabelCalibrationStatus->text() == "Unit Calibrated"; }, 5000));
    EXPECT_EQ(form->State.FactoryConfigValid, true);
    // Both pages of the factory copy and the state were read again.
    EXPECT_GE(emu->commandCount(CmdReadMemory) - readsBefore, 3);
    EXPECT_TRUE(emu->calibrated());
}

TEST_F(FormMainTest, AuditOfATekraComesFromItsReply)
{
    AcceptorOptions o;
    o.variant = 7;
    o.audit.stacked = 523000;
    o.audit.motorStarts = 1048575;  // the widest counter at its maximum
    o.audit.jams = 7;
    Attach(o);
    Launch();
    ASSERT_TRUE(Identified());
    FormAudit& audit = FormAudit::Default();

    // The window's own events in order: each poll tick (the one that takes the request out marked), the
    // guard giving up on a reply, and the reply filling the window.
    std::vector<std::string> events;
    bool requested = false;
    QObject::connect(form->tmrPoll, &QTimer::timeout, form.get(), [&] {
        const bool sentTheRequest = requested && !form->Session.State().AuditRequestPending;
        if (sentTheRequest)
            requested = false;
        events.push_back(sentTheRequest ? "request" : "poll");
    });
    QObject::connect(form->tmrGuard, &QTimer::timeout, form.get(), [&] { events.push_back("guard"); });
    QObject::connect(audit.txtStacked, &QLineEdit::textChanged, form.get(), [&] { events.push_back("reply"); });

    const auto trail = [&] {
        std::string t;
        for (const std::string& e : events)
            t += e + " ";
        return t;
    };
    const auto after = [&](const char* first, const char* then) {
        const auto at = std::find(events.begin(), events.end(), first);
        return at != events.end() && std::find(at, events.end(), then) != events.end();
    };

    // The acceptor keeps its answer until the guard has given up on it: no poll goes out before that.
    emu->holdNextReply(CmdReadAudit);
    requested = true;
    form->mnuAudit_Click();
    EXPECT_TRUE(audit.isVisible());
    ASSERT_TRUE(QTest::qWaitFor([&] { return after("request", "guard"); }, 5000)) << trail();
    ASSERT_TRUE(emu->replyHeld());
    const auto request = std::find(events.begin(), events.end(), "request");
    EXPECT_EQ(request[1], "guard") << "no poll while the audit request is out: " << trail();
    EXPECT_TRUE(audit.txtStacked->text().isEmpty()) << "empty until the reply comes";

    // Answered late, the counters still arrive, and polling goes on after them.
    emu->releaseHeldReply();
    ASSERT_TRUE(QTest::qWaitFor([&] { return audit.txtStacked->text() == "523000"; }, 5000)) << trail();
    EXPECT_EQ(audit.txtMotStarts->text(), "1048575");
    EXPECT_EQ(audit.txtJams->text(), "7");
    EXPECT_TRUE(QTest::qWaitFor([&] { return after("reply", "poll"); }, 5000)) << trail();
    EXPECT_EQ(emu->commandCount(CmdReadAudit), 1);
}

TEST_F(FormMainTest, AuditOfASarnelComesFromItsConfiguration)
{
    AcceptorOptions o;
    o.variant = 5;
    o.audit.rejected = 4242;
    Attach(o);
    Launch();
    ASSERT_TRUE(Identified());
    FormAudit& audit = FormAudit::Default();
    form->mnuAudit_Click();
    EXPECT_EQ(emu->commandCount(CmdReadAudit), 0);
    EXPECT_TRUE(audit.txtRejects->text().isEmpty()) << "nothing read from the acceptor yet";
    EXPECT_FALSE(audit.lblAuditNote->text().isEmpty());
    audit.Unload();

    ASSERT_TRUE(WaitUntilIdle());
    form->cmdRefresh_Click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->State.ConfigSource == ConfigFromAcceptor; }, 5000));
    form->mnuAudit_Click();
    EXPECT_EQ(audit.txtRejects->text(), "4242");
}

}  // namespace
}  // namespace kovrin
