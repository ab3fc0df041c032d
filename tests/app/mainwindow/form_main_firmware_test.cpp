// Firmware updates of the emulated acceptor through the main window.

#include <gtest/gtest.h>

#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <optional>

#include "app/core/date_stamp.h"
#include "tests/app/mainwindow/form_main_fixture.h"
#include "tests/support/hex_writer.h"

namespace kovrin {
namespace {

using emulator::Fault;
using emulator::FaultKind;

QByteArray HexLine(uint16_t address, uint8_t type, const Bytes& data)
{
    return QByteArray::fromStdString(test::HexText({{address, type, data}}));
}

// Four pages from 0x4000 describing an image of `variant`, revision "0043".
Bytes ImageBytes(uint8_t variant)
{
    Bytes memory(512);
    for (size_t i = 0; i < memory.size(); ++i)
        memory[i] = uint8_t((i * 13 + 5) & 0x7F);
    const std::string head = std::string(1, char(variant)) + "SARNELAPP" + "TYX SARNEL " + "0043";
    std::copy(head.begin(), head.end(), memory.begin());
    memory[0x19] = 0;  // image code: for any unrestricted unit
    return memory;
}

class FirmwareTest : public FormMainTest {
protected:
    // An acceptor of `acceptorVariant` identified, and an image of `imageVariant` loaded.
    void Ready(uint8_t acceptorVariant, uint8_t imageVariant)
    {
        AcceptorOptions o;
        o.variant = acceptorVariant;
        o.pacing = false;
        Attach(o);
        emu->setPacing(false);
        image = ImageBytes(imageVariant);
        Launch();
        ASSERT_TRUE(Identified());
        form->State.Settings.FirmwareFilePath = WriteFile("image.hex", HexOf(image));
        form->LoadHexFile();
        ASSERT_TRUE(form->Firmware.analysed);
        ASSERT_EQ(form->Firmware.BlockTable.size(), 5u);
        ASSERT_EQ(form->Label7[1]->text(), "SOFTWARE LOADED");
    }

    void Update()
    {
        messages.clear();
        ASSERT_TRUE(WaitUntilIdle());
        form->cmdFlashRqt_Click();
    }

    static QByteArray HexOf(const Bytes& memory)
    {
        QByteArray text;
        for (size_t i = 0; i < memory.size(); i += 32)
            text += HexLine(uint16_t(0x4000 + i), 0, Bytes(memory.begin() + long(i), memory.begin() + long(i) + 32));
        return text + HexLine(0, 1, {});
    }

    std::string WriteFile(const QString& name, const QByteArray& text)
    {
        QFile file(dir + "/" + name);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
        return file.fileName().toStdString();
    }

    // An update verified on a unit that then takes its time to start; meanwhile the user loads
    // `text`. The stamp the unit gets at last.
    std::optional<emulator::DateStamp> StampAfterLoadingMeanwhile(const QByteArray& text)
    {
        emu->setStartUpTime(std::chrono::hours(1));  // until the test lets it start
        Update();
        EXPECT_TRUE(QTest::qWaitFor([&] { return form->Session.State().bStampDatePending; }, 20000));
        EXPECT_TRUE(QTest::qWaitFor([&] { return form->cmdOpenHex->isEnabled(); }, 20000))
            << "another file may be picked";
        form->State.Settings.FirmwareFilePath = WriteFile("meanwhile.hex", text);
        form->LoadHexFile();
        emu->finishStartUp();
        EXPECT_TRUE(QTest::qWaitFor([&] { return emu->lastDateStamp().has_value(); }, 20000));
        return emu->lastDateStamp();
    }

    bool Shows(const QString& text, int timeoutMs = 15000)
    {
        return QTest::qWaitFor([&] { return form->lblDisplay->text() == text; }, timeoutMs);
    }

    Bytes image;
};

TEST_F(FirmwareTest, AGoodUpdateProgramsTheImageAndStampsTheDate)
{
    Ready(5, 5);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->cmdFlashRqt->isEnabled(); }, 5000))
        << "an acceptor of the image's variant may be updated";
    Update();
    ASSERT_TRUE(Shows("Device Programmed Successfully"));
    const auto memory = emu->flashMemory();
    ASSERT_EQ(memory.size(), image.size());
    for (size_t i = 0; i < image.size(); ++i)
        EXPECT_EQ(memory.at(emulator::FlashAddress(0x4000 + i)), image[i]) << "address " << 0x4000 + i;
    ASSERT_TRUE(emu->lastDateStamp().has_value());
    EXPECT_EQ(emu->commandCount(CmdEraseMemory), 1);
    EXPECT_EQ(emu->commandCount(CmdResetAuditData), 1);
    EXPECT_EQ(form->Session.State().FlashMode, false);
    EXPECT_TRUE(messages.empty());
}

TEST_F(FirmwareTest, EachFailureEndsWithItsResult)
{
    struct Case {
        const char* name;
        uint8_t acceptor, image;
        uint8_t command;
        Fault fault;
        const char* display;
        bool powerCycleMessage;
    };
    const auto fault = [](FaultKind kind, int times, int skip = 0) {
        Fault f;
        f.kind = kind;
        f.times = times;
        f.skip = skip;
        return f;
    };
    const Case cases[] = {
        {"erase", 5, 5, CmdEraseMemory, fault(FaultKind::WrongReplyCode, 4), "Memory Erase Failed!", false},
        {"block", 5, 5, CmdFlashBlock, fault(FaultKind::WrongReplyCode, 4, 2), "Program Failed at Block #2", false},
        {"boot strap", 5, 5, CmdUpdateBootstrap, fault(FaultKind::WrongReplyCode, 4),
         "Bootstrap Corrupted. Memory Error!", false},
        {"checksum", 5, 5, CmdVerifyChecksum, fault(FaultKind::WrongChecksum, 1), "Memory Checksum Error!", false},
        {"other variant", 5, 7, CmdUpdateBootstrap, fault(FaultKind::WrongReplyCode, 4), "Please power-cycle BA...",
         true},
        // The image calls variant 6 "Orvel Plus", the acceptor "Orvxel Plus": never the same variant.
        {"variant 6", 6, 6, CmdUpdateBootstrap, fault(FaultKind::WrongReplyCode, 4), "Please power-cycle BA...",
         true},
        {"variant 6 checksum", 6, 6, CmdVerifyChecksum, fault(FaultKind::WrongReplyCode, 4),
         "Please power-cycle BA...", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Ready(c.acceptor, c.image);
        form->SuperUserMode = 2;  // lets an image of another variant go
        emu->failNextReplies(c.command, c.fault);
        Update();
        EXPECT_TRUE(Shows(c.display));
        if (c.powerCycleMessage) {
            ASSERT_EQ(messages.size(), 1u);
            EXPECT_EQ(messages[0].title, "Power cycle needed");
            EXPECT_EQ(messages[0].text,
                      "Flash upgrade complete.  Please power cycle the Bill Acceptor to resume normal operation");
        } else {
            EXPECT_TRUE(messages.empty());
            EXPECT_EQ(form->lblDisplay->palette().color(QPalette::Window), QColor(255, 0, 0));
        }
        EXPECT_FALSE(emu->lastDateStamp().has_value());
        EXPECT_TRUE(form->tmrPoll->isActive()) << "polling goes on at the boot loader's speed";
        EXPECT_EQ(form->Session.State().FlashMode, true);
        EXPECT_TRUE(form->cmdOpenHex->isEnabled()) << "ready for the next file";
        TearDown();
        SetUp();
    }
}

TEST_F(FirmwareTest, ABlockThatFailsThreeTimesSucceedsOnItsLastRetry)
{
    Ready(5, 5);
    Fault f;
    f.kind = FaultKind::NoReply;
    f.times = 3;
    f.skip = 1;
    emu->failNextReplies(CmdFlashBlock, f);
    Update();
    ASSERT_TRUE(Shows("Device Programmed Successfully", 20000));
    EXPECT_EQ(form->Label60->text(), "3");
    EXPECT_EQ(emu->flashMemory().size(), image.size());
}

TEST_F(FirmwareTest, TheBootLoadersFirstReplyWithoutItsHeaderIsRepaired)
{
    Ready(5, 5);
    Fault f;
    f.kind = FaultKind::MissingHeader;
    f.times = 1;
    emu->failNextReplies(CmdEraseMemory, f);
    Update();
    ASSERT_TRUE(Shows("Device Programmed Successfully"));
    EXPECT_EQ(emu->commandCount(CmdEraseMemory), 1) << "the repaired reply counted, no erase retry";
}

TEST_F(FirmwareTest, AnImageWithoutABlockTableNeverStartsAnUpdate)
{
    Ready(5, 5);
    QFile file(dir + "/variant2.hex");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    const Bytes head = ImageBytes(2);
    file.write(HexLine(0x4000, 0, Bytes(head.begin(), head.begin() + 32)) + HexLine(0, 1, {}));
    file.close();
    form->State.Settings.FirmwareFilePath = file.fileName().toStdString();
    form->LoadHexFile();
    EXPECT_FALSE(form->Firmware.analysed);
    EXPECT_TRUE(form->FlashInhibit & 0x01);
    form->SuperUserMode = 2;
    Update();
    ASSERT_TRUE(LaterPollsHeard());
    EXPECT_EQ(emu->commandCount(CmdStartUpdate), 0);
}

TEST_F(FirmwareTest, ARefusedFileAfterAGoodOneLeavesNoImageToSend)
{
    Ready(5, 5);
    const QString good = QString::fromStdString(form->State.Settings.FirmwareFilePath);
    QFile bad(dir + "/bad.hex");
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write(HexLine(0x4000, 0, {1, 2, 3}) + ":03401000010203F1\r\n" + HexLine(0, 1, {}));
    bad.close();
    QFile empty(dir + "/empty.hex");
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.close();
    struct Case {
        QString path;
        QString message;  // how the message begins
    } cases[] = {
        {bad.fileName(), "Line 2 "},
        {empty.fileName(), ""},
    };
    // The dialog chooses the file once; asked again, it is cancelled.
    std::optional<QString> chosen;
    SetFileDialogHandler([&](const FileDialogRequest&) { return std::exchange(chosen, std::nullopt); });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        form->SuperUserMode = 0;
        form->State.Settings.FirmwareFilePath = good.toStdString();
        form->LoadHexFile();
        ASSERT_EQ(form->Label7[1]->text(), "SOFTWARE LOADED");
        ASSERT_TRUE(QTest::qWaitFor([&] { return form->cmdFlashRqt->isEnabled(); }, 5000));

        messages.clear();
        chosen = c.path;
        form->cmdOpenHex_Click();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_TRUE(messages[0].text.startsWith(c.message)) << messages[0].text.toStdString();
        // The refused file is named, and kept for the next start, as any chosen file.
        EXPECT_EQ(form->lblHexFile->text(), c.path);
        EXPECT_EQ(form->State.Settings.FirmwareFilePath, c.path.toStdString());
        EXPECT_NE(form->Label7[1]->text(), "SOFTWARE LOADED");
        EXPECT_TRUE(form->Label7[1]->text().contains("REFUSED")) << form->Label7[1]->text().toStdString();
        for (QLabel* l : {form->Label6[0], form->Label6[1], form->Label6[3], form->lblHexChk,
                          form->LabelRomSetupRevision})
            EXPECT_TRUE(l->text().isEmpty()) << l->objectName().toStdString() << ": " << l->text().toStdString();
        EXPECT_TRUE(form->FlashInhibit & 0x01);
        EXPECT_EQ(form->HexFileLoaded, true) << "a load that does not finish keeps the value";
        EXPECT_FALSE(form->cmdFlashRqt->isEnabled());
        EXPECT_TRUE(form->cmdOpenHex->isEnabled());

        // Not even the administrator's mode sends the image shown before.
        form->SuperUserMode = 2;
        ASSERT_TRUE(LaterPollsHeard());
        EXPECT_FALSE(form->cmdFlashRqt->isEnabled());
        Update();
        ASSERT_TRUE(LaterPollsHeard());
        EXPECT_EQ(emu->commandCount(CmdStartUpdate), 0);
    }
    SetFileDialogHandler(nullptr);
}

TEST_F(FirmwareTest, AVariantSixUnitIsNotUpdatedInNormalMode)
{
    Ready(6, 6);
    EXPECT_EQ(form->Label6[0]->text(), "Orvel Plus");
    EXPECT_EQ(form->Label6[4]->text(), "Orvxel Plus");
    ASSERT_TRUE(QTest::qWaitFor([&] { return (form->FlashInhibit & 0x10) != 0; }, 5000));
    EXPECT_FALSE(form->cmdFlashRqt->isEnabled());
}

TEST_F(FirmwareTest, APendingConfigurationWriteTakesOneBootStrapReply)
{
    Ready(5, 5);
    // A configuration write the acceptor took; the update starts while it is said to reboot.
    emu->setRebootTime(std::chrono::milliseconds(0));
    ASSERT_TRUE(WaitUntilIdle());
    form->DownloadConfiguration(form->State.CurrentRecord);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->TimerCmdResponseDelay->isActive(); }, 5000));
    form->TimerCmdResponseDelay->stop();
    ASSERT_TRUE(form->Session.State().ConfigWritePending);
    Update();
    ASSERT_TRUE(Shows("Device Programmed Successfully", 20000));
    EXPECT_EQ(emu->commandCount(CmdUpdateBootstrap), 2) << "the swallowed reply is asked for again";
    EXPECT_EQ(form->Label61->text(), "1");
    EXPECT_EQ(form->Session.State().ConfigWritePending, false);
}

// After an update that ended early the acceptor waits in its boot loader; the window finds it and
// programs it.
class AbandonedUpdateTest : public FirmwareTest {
protected:
    void ExpectReadyAndUpdatedAgain()
    {
        EXPECT_FALSE(form->UpdateRunning);
        EXPECT_TRUE(form->cmdOpenHex->isEnabled());
        ASSERT_TRUE(QTest::qWaitFor([&] { return form->Label10->text() == "PROGRAM MODE"; }, 20000))
            << "the boot loader is found";
        ASSERT_TRUE(QTest::qWaitFor([&] { return form->cmdFlashRqt->isEnabled(); }, 5000));
        emu->clearFaults();
        Update();
        ASSERT_TRUE(Shows("Device Programmed Successfully", 20000));
        EXPECT_EQ(emu->flashMemory().size(), image.size());
    }
};

TEST_F(AbandonedUpdateTest, ChoosingAPortDuringTheUpdate)
{
    Ready(5, 5);
    Fault never;
    never.kind = FaultKind::NoReply;
    never.times = 100;
    emu->failNextReplies(CmdEraseMemory, never);  // the update waits in its erase step
    Update();
    ASSERT_TRUE(QTest::qWaitFor([&] { return emu->eraseCount() >= 1; }, 5000));
    ASSERT_TRUE(form->UpdateRunning);
    form->mnuCom1_Click(1);
    EXPECT_EQ(form->Session.State().FlashMode, false);
    ExpectReadyAndUpdatedAgain();
}

TEST_F(AbandonedUpdateTest, APortThatDoesNotReopenAtTheBootLoadersSpeed)
{
    Ready(5, 5);
    const QString link = dir + "/COM1";
    ASSERT_TRUE(QFile::remove(link));
    ASSERT_TRUE(QFile::link("/nonexistent/tty-of-nobody", link));
    Update();
    EXPECT_EQ(form->Session.State().FlashMode, false);
    EXPECT_FALSE(form->UpdateRunning);
    EXPECT_TRUE(form->cmdOpenHex->isEnabled());
    EXPECT_TRUE(form->tmrPoll->isActive());
    EXPECT_EQ(form->lblDisplay->text(), "The port could not be opened at 38400 baud; the update did not start.");
    ASSERT_TRUE(QFile::remove(link));
    ASSERT_TRUE(QFile::link(QString::fromStdString(emu->devicePath()), link));
    ExpectReadyAndUpdatedAgain();
}

TEST_F(FirmwareTest, AnAcceptorSlowToStartAfterItsUpdateStillGetsItsStamp)
{
    Ready(5, 5);
    emu->setStartUpTime(std::chrono::hours(1));  // until the test lets it start
    Update();
    // The window gives the acceptor up and clears what it showed of it.
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->Label6[4]->text().isEmpty(); }, 20000));
    EXPECT_EQ(form->Session.State().bStampDatePending, true);
    EXPECT_FALSE(emu->lastDateStamp().has_value());
    emu->finishStartUp();
    ASSERT_TRUE(Shows("Device Programmed Successfully", 20000));
    EXPECT_TRUE(emu->lastDateStamp().has_value());
    EXPECT_EQ(form->Session.State().bStampDatePending, false);
}

TEST_F(FirmwareTest, TheStampFollowsTheFlashedImageWhenARefusedFileIsPickedMeanwhile)
{
    Ready(5, 5);  // a Sarnel "0043" image: its unit counts days
    const LocalTime before = LocalTimeNow();
    const auto stamp = StampAfterLoadingMeanwhile("not an Intel HEX file\n");
    ASSERT_EQ(form->ImageVariant, 0) << "the refused file leaves no image";
    ASSERT_TRUE(stamp.has_value());
    const emulator::DateStamp dayCount{DateStampData(before, true)}, dayCountAfter{DateStampData(LocalTimeNow(), true)};
    EXPECT_TRUE(*stamp == dayCount || *stamp == dayCountAfter) << "the day count, not a calendar date";
}

TEST_F(FirmwareTest, TheStampFollowsTheFlashedImageWhenAnotherImageIsLoadedMeanwhile)
{
    Ready(5, 5);
    Bytes older = ImageBytes(5);
    older[0x18] = '2';  // "0042": its unit takes a calendar date
    const LocalTime before = LocalTimeNow();
    const auto stamp = StampAfterLoadingMeanwhile(HexOf(older));
    ASSERT_EQ(form->Firmware.revision, "0042");
    ASSERT_TRUE(stamp.has_value());
    const emulator::DateStamp dayCount{DateStampData(before, true)}, dayCountAfter{DateStampData(LocalTimeNow(), true)};
    EXPECT_TRUE(*stamp == dayCount || *stamp == dayCountAfter) << "the day count, not a calendar date";
}

TEST_F(FirmwareTest, DateStampIsAnsweredOrGivenUpByAnAcceptorThatIgnoresIt)
{
    Ready(5, 5);
    Update();  // a verified update leaves the stamp due
    ASSERT_TRUE(QTest::qWaitFor([&] { return emu->lastDateStamp().has_value(); }, 20000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->Session.State().bStampDatePending; }, 5000));
    EXPECT_EQ(form->lblDisplay->text(), "Device Programmed Successfully");

    // An acceptor that answers polls but never the stamp: the attempts are bounded.
    ASSERT_TRUE(Identified());
    emulator::Fault ignore;
    ignore.kind = emulator::FaultKind::NoReply;
    ignore.times = 1000;
    emu->failNextReplies(CmdDateStamp, ignore);
    const int stampsBefore = emu->commandCount(CmdDateStamp);
    Update();
    ASSERT_TRUE(QTest::qWaitFor([&] { return emu->commandCount(CmdDateStamp) > stampsBefore; }, 20000))
        << "the stamp is due again";
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->Session.State().bStampDatePending; }, 30000));
    EXPECT_GE(emu->commandCount(CmdDateStamp) - stampsBefore, AcceptorLinkState::MaxStampDateAttempts);
    const int polls = emu->pollCount();
    ASSERT_TRUE(QTest::qWaitFor([&] { return emu->pollCount() > polls; }, 5000)) << "polling goes on";
}

}  // namespace
}  // namespace kovrin
