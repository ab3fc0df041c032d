// Reading, editing and writing an acceptor's configuration through the main window.

#include <gtest/gtest.h>

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <set>

#include "app/config/config_file.h"
#include "app/config/screen/form_warning.h"
#include "tests/app/mainwindow/form_main_fixture.h"

namespace kovrin {
namespace {

class ConfigurationTest : public FormMainTest {
protected:
    void SetUp() override
    {
        FormMainTest::SetUp();
        // Unanswered, the warning would wait for a click for ever; a test that meets it
        // unasked fails at once instead.
        SetWarningHandler([](FormWarning& w) {
            ADD_FAILURE() << "the defaults warning was shown";
            w.ButtonCancel_Click();
        });
    }

    void TearDown() override
    {
        SetWarningHandler(nullptr);
        SetFileDialogHandler(nullptr);
        FormMainTest::TearDown();
    }

    // Started, identified, and the factory read (if any) over.
    void Ready(AcceptorOptions o)
    {
        Attach(o);
        Launch();
        ASSERT_TRUE(Identified());
        if (o.factoryCopy) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return form->State.FactoryConfigValid; }, 5000));
        }
        form->cmdConfig_Click();
        ASSERT_FALSE(form->frmConfiguration->isHidden());
    }

    void ReadFromAcceptor()
    {
        form->State.ConfigSource = ConfigFromDefaults;
        ASSERT_TRUE(WaitUntilIdle());
        form->cmdRefresh_Click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return form->State.ConfigSource == ConfigFromAcceptor; }, 15000));
        ASSERT_TRUE(Identified()) << "polling found the acceptor again after the port was reopened";
    }

    // Messages are answered as before; each notes whether polling ran while it showed.
    void WatchPollingAtMessages()
    {
        pollingAtMessage = false;
        SetMessageHandler([this](const MessageRequest& m) {
            messages.push_back(m);
            pollingAtMessage = form->tmrPoll->isActive();
            return MsgResult::Ok;
        });
    }
    bool pollingAtMessage = false;

    // Sends, waits out the reboot, and returns the bytes of the acceptor's memory that changed.
    std::set<int> SendAndCompare(const emulator::Eeprom& before)
    {
        const int writes = emu->commandCount(CmdWriteConfiguration);
        EXPECT_TRUE(WaitUntilIdle());
        form->cmdSend_Click();
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return form->LabelNaStatusMessage->text() == "Waiting for note acceptor to reboot."; }, 15000))
            << form->LabelNaStatusMessage->text().toStdString();
        EXPECT_EQ(emu->commandCount(CmdWriteConfiguration), writes + 1);
        for (const MessageRequest& m : messages)
            ADD_FAILURE() << "message: " << m.text.toStdString();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !emu->rebooting(); }, 5000));
        form->TimerCmdResponseDelay_Timer();  // the reboot wait is over
        EXPECT_EQ(form->State.ConfigSource, ConfigFromAcceptor);
        const emulator::Eeprom after = emu->eeprom();
        std::set<int> changed;
        for (int i = 0; i < 256; ++i)
            if (after[size_t(i)] != before[size_t(i)])
                changed.insert(i);
        return changed;
    }
};

TEST_F(ConfigurationTest, ASarnelIsReadEditedAndWrittenBack)
{
    AcceptorOptions o;
    o.variant = 5;
    ASSERT_NO_FATAL_FAILURE(Ready(o));
    ASSERT_NO_FATAL_FAILURE(ReadFromAcceptor());
    EXPECT_EQ(form->frmConfiguration->txtScaling->text().toInt(), emu->eeprom()[11] * 256 + emu->eeprom()[12]);
    // A first write unchanged: fields the screen derives (the ccTalk serial
    // from the serial number) take their screen values.
    SendAndCompare(emu->eeprom());
    ASSERT_TRUE(Identified());
    const emulator::Eeprom before = emu->eeprom();

    form->frmConfiguration->txtScaling->setText("250");
    form->frmConfiguration->txtVend[2]->setText("7");
    const std::set<int> changed = SendAndCompare(before);
    const emulator::Eeprom after = emu->eeprom();
    EXPECT_EQ(after[11], 0x00);
    EXPECT_EQ(after[12], 250);
    EXPECT_EQ(after[66], 7);
    std::set<int> expected;
    for (int i : {11, 12, 66})
        if (before[size_t(i)] != after[size_t(i)])
            expected.insert(i);
    EXPECT_EQ(changed, expected) << "only the edited fields change";
}

TEST_F(ConfigurationTest, ATekraIsWrittenInItsOwnLayout)
{
    AcceptorOptions o;
    o.variant = 7;
    ASSERT_NO_FATAL_FAILURE(Ready(o));
    ASSERT_NO_FATAL_FAILURE(ReadFromAcceptor());
    EXPECT_EQ(form->State.EepromLength, 143);
    SendAndCompare(emu->eeprom());
    ASSERT_TRUE(Identified());
    const emulator::Eeprom before = emu->eeprom();
    form->frmConfiguration->TextPulse[0]->setText("9");  // one byte per channel here
    form->frmConfiguration->txtVend[23]->setText("3");
    const std::set<int> changed = SendAndCompare(before);
    const emulator::Eeprom after = emu->eeprom();
    EXPECT_EQ(after[16], 9);
    EXPECT_EQ(after[63], 3);
    for (int i : changed)
        EXPECT_TRUE(i == 16 || i == 63) << "byte " << i << " changed";
    for (int i = 143; i < 250; ++i)
        EXPECT_EQ(after[size_t(i)], before[size_t(i)]);
}

TEST_F(ConfigurationTest, ApplicationDefaultsAreSentOnlyAfterTheWarning)
{
    AcceptorOptions o;
    o.variant = 5;
    o.factoryCopy = false;  // nothing but the application defaults to fall back on
    ASSERT_NO_FATAL_FAILURE(Ready(o));
    form->frmConfiguration->cmdDefault_Click();
    EXPECT_EQ(form->State.ConfigSource, ConfigFromDefaults);

    int asked = 0;
    SetWarningHandler([&](FormWarning& w) {
        ++asked;
        w.ButtonCancel_Click();
    });
    form->cmdSend_Click();
    EXPECT_EQ(asked, 1);
    ASSERT_NE(form->frmWarning, nullptr);
    EXPECT_EQ(form->frmWarning->WarningAccepted, false);
    ASSERT_TRUE(LaterPollsHeard());
    EXPECT_EQ(emu->commandCount(CmdWriteConfiguration), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return form->tmrPoll->isActive(); }, 5000)) << "polling goes on";

    SetWarningHandler([&](FormWarning& w) {
        ++asked;
        w.ButtonOk_Click();
    });
    ASSERT_TRUE(Identified());
    const emulator::Eeprom before = emu->eeprom();
    SendAndCompare(before);
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(emu->eeprom()[14], 0x92) << "the defaults' option flags arrived";
}

TEST_F(ConfigurationTest, AFileSavedIsLoadedBackAndABadOneIsRefused)
{
    AcceptorOptions o;
    o.variant = 9;
    ASSERT_NO_FATAL_FAILURE(Ready(o));
    ASSERT_NO_FATAL_FAILURE(ReadFromAcceptor());
    const QString path = dir + "/bench.tyx";
    int dialogs = 0;
    SetFileDialogHandler([&](const FileDialogRequest&) -> std::optional<QString> {
        return dialogs++ == 0 ? std::optional<QString>(path) : std::nullopt;
    });
    form->frmConfiguration->cmdSave_Click();
    ASSERT_TRUE(QFile::exists(path));
    EXPECT_EQ(QFile(path).size(), 601);
    const EepromRecord saved = form->State.CurrentRecord;

    form->State.LoadEepromDefaults(form->State.CurrentRecord);
    form->State.CurrentRecord.ScalingFactor = 1;
    dialogs = 0;
    form->frmConfiguration->cmdLoad_Click();
    EXPECT_EQ(form->State.CurrentRecord, saved);
    EXPECT_EQ(form->State.ConfigSource, ConfigFromFile);

    QFile bad(dir + "/short.tyx");
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write(QByteArray(600, '\0'));
    bad.close();
    messages.clear();
    SetFileDialogHandler([&](const FileDialogRequest&) -> std::optional<QString> {
        return dialogs++ == 0 ? std::optional<QString>(bad.fileName()) : std::nullopt;
    });
    dialogs = 0;
    form->frmConfiguration->cmdLoad_Click();
    EXPECT_EQ(form->State.CurrentRecord, saved) << "a refused file changes nothing";
    ASSERT_FALSE(messages.empty());
    EXPECT_TRUE(messages[0].text.contains("short.tyx"));
}

TEST_F(ConfigurationTest, AcceptorsWithoutALayoutAreRefused)
{
    AcceptorOptions o;
    o.variant = 4;
    ASSERT_NO_FATAL_FAILURE(Ready(o));
    messages.clear();
    form->cmdRefresh_Click();
    form->cmdSend_Click();
    ASSERT_EQ(messages.size(), 2u);
    ASSERT_TRUE(LaterPollsHeard());
    EXPECT_EQ(emu->commandCount(CmdReadConfiguration), 0);
    EXPECT_EQ(emu->commandCount(CmdWriteConfiguration), 0);
}

// The audit counters a write leaves on a Sarnel are the ones it counted, whatever the record held.
TEST_F(ConfigurationTest, AWriteKeepsTheUnitsOwnAuditCounters)
{
    struct Case {
        const char* name;
        std::function<void()> prepare;  // after the unit was read
    };
    const Case cases[] = {
        {"notes counted after the read", [this] { emu->stackNotes(7); }},
        {"application defaults",
         [this] {
             form->frmConfiguration->cmdDefault_Click();
             ASSERT_EQ(form->State.ConfigSource, ConfigFromDefaults);
             SetWarningHandler([](FormWarning& w) { w.ButtonOk_Click(); });
         }},
        {"another unit's file",
         [this] {
             EepromRecord other = form->State.CurrentRecord;
             other.AuditCounters.fill(0x5A);
             const QString path = dir + "/other.tyx";
             ASSERT_EQ(WriteConfigFile(path.toStdString(), other), "");
             SetFileDialogHandler([path](const FileDialogRequest&) -> std::optional<QString> { return path; });
             form->frmConfiguration->cmdLoad_Click();
             ASSERT_EQ(form->State.ConfigSource, ConfigFromFile);
             ASSERT_EQ(form->State.CurrentRecord.AuditCounters[0], 0x5A);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        messages.clear();
        AcceptorOptions o;
        o.variant = 5;
        o.factoryCopy = false;  // "defaults" are the application's
        o.audit.stacked = 1000;
        o.audit.motorStarts = 2000;
        o.audit.daysSince2010 = 4000;
        ASSERT_NO_FATAL_FAILURE(Ready(o));
        ASSERT_NO_FATAL_FAILURE(ReadFromAcceptor());
        c.prepare();
        const emulator::AuditCounters counted = emu->auditCounters();
        form->frmConfiguration->txtScaling->setText("250");
        SendAndCompare(emu->eeprom());
        const emulator::Eeprom after = emu->eeprom();
        EXPECT_EQ(emulator::unpackAuditCounters(std::vector<uint8_t>(after.begin() + 143, after.begin() + 163)).stacked,
                  counted.stacked);
        EXPECT_EQ(emu->auditCounters().motorStarts, counted.motorStarts);
        EXPECT_EQ(emu->auditCounters().daysSince2010, counted.daysSince2010);
        EXPECT_EQ(after[12], 250) << "the edited field is sent as edited";
        const auto& held = form->State.CurrentRecord.AuditCounters;
        EXPECT_TRUE(std::equal(after.begin() + 143, after.begin() + 163, held.begin()))
            << "the record holds what the unit holds";
        TearDown();
        SetUp();
    }
}

TEST_F(ConfigurationTest, AWriteWhoseCountersCannotBeReadSendsNothing)
{
    emulator::Fault noReply;
    noReply.kind = emulator::FaultKind::NoReply;
    emulator::Fault shortReply;
    shortReply.kind = emulator::FaultKind::ShortData;
    shortReply.dataKept = 20;
    for (const emulator::Fault& fault : {noReply, shortReply}) {
        SCOPED_TRACE(int(fault.kind));
        messages.clear();
        AcceptorOptions o;
        o.variant = 5;
        ASSERT_NO_FATAL_FAILURE(Ready(o));
        ASSERT_NO_FATAL_FAILURE(ReadFromAcceptor());
        const emulator::Eeprom before = emu->eeprom();
        const int reads = emu->commandCount(CmdReadConfiguration);
        form->frmConfiguration->txtScaling->setText("250");
        emu->failNextReplies(CmdReadConfiguration, fault);
        WatchPollingAtMessages();
        form->cmdSend_Click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !messages.empty(); }, 15000));
        EXPECT_EQ(messages[0].text,
                  "The note acceptor did not report its audit counters, so its configuration was not written. "
                  "Nothing was sent.");
        EXPECT_TRUE(pollingAtMessage);
        EXPECT_EQ(emu->commandCount(CmdReadConfiguration), reads + 1);
        EXPECT_EQ(emu->commandCount(CmdWriteConfiguration), 0);
        EXPECT_EQ(emu->eeprom(), before);
        EXPECT_TRUE(form->cmdSend[5]->isEnabled());
        ASSERT_TRUE(Identified());
        TearDown();
        SetUp();
    }
}

TEST_F(ConfigurationTest, AShortConfigurationReplyKeepsTheLinkWatched)
{
    AcceptorOptions o;
    o.variant = 5;
    ASSERT_NO_FATAL_FAILURE(Ready(o));
    emulator::Fault shortReply;
    shortReply.kind = emulator::FaultKind::ShortData;
    shortReply.dataKept = 20;
    emu->failNextReplies(CmdReadConfiguration, shortReply);
    const EepromRecord before = form->State.CurrentRecord;
    WatchPollingAtMessages();
    form->cmdRefresh_Click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !messages.empty(); }, 5000));
    EXPECT_EQ(messages[0].text, "The acceptor sent 20 of the 176 bytes of its configuration; nothing was changed.");
    EXPECT_TRUE(pollingAtMessage) << "polls go on while the box is open";
    EXPECT_EQ(form->State.CurrentRecord, before);
}

}  // namespace
}  // namespace kovrin
