#include <QCheckBox>
#include <QFocusEvent>
#include <QGroupBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "app/config/option_lists.h"
#include "tests/app/config/screen/configuration_frame_fixture.h"
#include "tests/support/accessibility_check.h"

namespace kovrin {
namespace {

using test::FrameTest;

int32_t TextColour(const QLabel* label)
{
    return label->property("textColour").toInt();
}

void ExpectListIs(const QComboBox* list, std::span<const OptionEntry> table)
{
    ASSERT_EQ(list->count(), int(table.size())) << list->objectName().toStdString();
    for (int i = 0; i < list->count(); ++i) {
        EXPECT_EQ(list->itemText(i).toStdString(), table[size_t(i)].text);
        EXPECT_EQ(list->itemData(i).toInt(), table[size_t(i)].code);
    }
    EXPECT_EQ(list->currentIndex(), -1);
    EXPECT_EQ(list->placeholderText(), "Please Select");
}

TEST_F(FrameTest, InitConfigListsFillsTheListsWithoutSelectionTwiceTheSame)
{
    for (int round = 0; round < 2; ++round) {
        ExpectListIs(frame->lstInterface, InterfaceOptions());
        ExpectListIs(frame->lstEnable, EnableOptions());
        ExpectListIs(frame->lstPulse, PulseOptions());
        ExpectListIs(frame->lstAlarmSignal, AlarmSignalOptions());
        ExpectListIs(frame->lstPullbackdetection, PullbackDetectionOptions());
        ExpectListIs(frame->lstVent, VentOptions());
        for (size_t i = 0; i < 24; ++i) {
            EXPECT_EQ(frame->cmdButtonSecurity[i]->text(), "L");
            EXPECT_EQ(frame->cmdButtonSecurity[i]->property("backColour").toInt(), 0xFFC0C0);
            EXPECT_FALSE(frame->chkEnDis[i]->isChecked());
        }
        frame->cmdButtonSecurity[3]->click();
        frame->chkEnDis[4]->setChecked(true);
        frame->lstInterface->setCurrentIndex(2);
        frame->InitConfigLists();
    }
}

TEST_F(FrameTest, ShowsARecordWithItsVariantsParts)
{
    EepromRecord r = DefaultsOf(7);
    r.InterfaceType = 7;
    r.OptionFlags = 0x10 | 0x08;
    r.SignalFlags = 0x80 | 0x40 | 0x03;
    r.SecurityMask = {0x80, 0, 0x01};
    r.ChannelEnableMask = {0xC0, 0, 0x02};
    r.ScalingFactor = 250;
    r.CcTalkEncryptionCode = {0x21, 0x43, 0x65};
    state.ConfigSource = ConfigFromAcceptor;
    frame->ShowConfiguration(r, 7);

    EXPECT_EQ(frame->lstInterface->currentText(), "ccTalk");
    EXPECT_EQ(frame->lstEnable->currentText(), "Active High Enabled");
    EXPECT_EQ(frame->lstPullbackdetection->currentText(), "HIGH Security");
    EXPECT_EQ(frame->txtScaling->text(), "250");
    EXPECT_EQ(frame->txtCCEncry->text(), "563412");
    EXPECT_EQ(frame->txtCCEncry->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(frame->chkCCTalk->isChecked());
    EXPECT_TRUE(frame->chkBill_Hold->isChecked());
    EXPECT_EQ(frame->cmdButtonSecurity[0]->text(), "H");
    EXPECT_EQ(frame->cmdButtonSecurity[0]->property("backColour").toInt(), 0x8080FF);
    EXPECT_EQ(frame->cmdButtonSecurity[1]->text(), "L");
    EXPECT_EQ(frame->cmdButtonSecurity[23]->text(), "H");
    EXPECT_TRUE(frame->chkEnDis[1]->isChecked());
    EXPECT_TRUE(frame->chkEnDis[23]->isChecked());
    EXPECT_TRUE(frame->chkEnDis[23]->isHidden());
    EXPECT_TRUE(frame->chkEnDis[22]->isHidden());
    EXPECT_FALSE(frame->chkEnDis[21]->isHidden());
    EXPECT_EQ(frame->LabelNaStatusMessage->text(), "Current attached note acceptor configuration settings loaded.");
    EXPECT_EQ(TextColour(frame->LabelNaStatusMessage), 0x00FF00);
    // ccTalk rules with the encryption box ticked.
    EXPECT_TRUE(frame->txtCCEncry->isEnabled());
    EXPECT_FALSE(frame->TextPulse[0]->isEnabled());
    for (QWidget* w : std::initializer_list<QWidget*>{frame->chkADU, frame->txtMDBISO, frame->frmMDB, frame->Frame8})
        EXPECT_FALSE(w->isHidden()) << w->objectName().toStdString();

    frame->ShowConfiguration(r, 5);
    for (QWidget* w : std::initializer_list<QWidget*>{frame->chkADU, frame->txtMDBISO, frame->Label1_1, frame->frmMDB,
                                                      frame->Label4_2, frame->Line5[0], frame->Line5[4],
                                                      frame->Line5[5], frame->Frame8})
        EXPECT_TRUE(w->isHidden()) << w->objectName().toStdString();
    EXPECT_FALSE(frame->cmdButtonSecurity[23]->isHidden());
}

TEST_F(FrameTest, InterfaceSelectionAppliesItsRowToEveryControl)
{
    frame->ShowConfiguration(DefaultsOf(7), 7);
    const auto check = [&](const std::string& text) {
        const FieldRule& rule = FieldRuleFor(text);
        EXPECT_EQ(frame->txtVend[23]->isEnabled(), rule.txtVend) << text;
        EXPECT_EQ(frame->TextPulse[0]->isEnabled(), rule.TextPulse) << text;
        EXPECT_EQ(frame->TextMDB[15]->isEnabled(), rule.TextMDB) << text;
        EXPECT_EQ(frame->txtMDBISO->isEnabled(), rule.txtMDBISO) << text;
        EXPECT_EQ(frame->txtDecimal->isEnabled(), rule.ScalingDecimal) << text;
        EXPECT_EQ(frame->lstEnable->isEnabled(), rule.AlarmEnable) << text;
        EXPECT_EQ(frame->lstVent->isEnabled(), rule.PulseVent) << text;
        EXPECT_EQ(frame->chkADU->isEnabled(), rule.chkADU) << text;
        EXPECT_EQ(frame->txtCCAddress->isEnabled(), rule.CcTalk) << text;
        EXPECT_EQ(frame->chkNoteType->isEnabled(), rule.CcTalk) << text;
        EXPECT_EQ(frame->txtPulseOFF->isEnabled(), rule.PulseTiming) << text;
        EXPECT_EQ(frame->txtEscrowTime->isEnabled(), rule.txtEscrowTime) << text;
    };
    for (int i = 0; i < frame->lstInterface->count(); ++i) {
        frame->lstInterface->setCurrentIndex(i);  // as the user's choice does
        check(frame->lstInterface->currentText().toStdString());
    }
    frame->lstInterface->setCurrentIndex(-1);
    check("Please Select");
    EXPECT_TRUE(frame->TextPulse[0]->isEnabled());
}

TEST_F(FrameTest, EncryptionCodeFollowsTheCcTalkBoxOnlyForCcTalk)
{
    EepromRecord r = DefaultsOf(7);
    r.OptionFlags = 0;
    r.InterfaceType = 0;
    frame->ShowConfiguration(r, 7);
    frame->lstInterface->setCurrentIndex(frame->lstInterface->findText("ccTalk"));
    EXPECT_TRUE(frame->txtCCEncry->isEnabled());  // the rule row, whatever the box says
    frame->chkCCTalk->setChecked(true);
    EXPECT_TRUE(frame->txtCCEncry->isEnabled());
    frame->chkCCTalk->setChecked(false);
    EXPECT_FALSE(frame->txtCCEncry->isEnabled());

    frame->lstInterface->setCurrentIndex(frame->lstInterface->findText("Pulse"));
    EXPECT_FALSE(frame->txtCCEncry->isEnabled());
    frame->chkCCTalk->setChecked(true);
    EXPECT_FALSE(frame->txtCCEncry->isEnabled());
}

TEST_F(FrameTest, EncryptionCodeMaskingAndFocus)
{
    frame->ShowConfiguration(DefaultsOf(7), 7);
    EXPECT_EQ(frame->txtCCEncry->echoMode(), QLineEdit::Normal);  // the default code shows plain
    const struct {
        const char* text;
        QLineEdit::EchoMode mode;
    } steps[] = {{"12345", QLineEdit::Normal}, {"123456", QLineEdit::Password}, {"1234567", QLineEdit::Normal},
                 {"507913", QLineEdit::Normal}};
    for (const auto& s : steps) {
        frame->txtCCEncry->setText(s.text);
        EXPECT_EQ(frame->txtCCEncry->echoMode(), s.mode) << s.text;
    }
    frame->txtCCEncry->setText("123456");
    QFocusEvent back(QEvent::FocusIn, Qt::ActiveWindowFocusReason);  // a message box closed
    QApplication::sendEvent(frame->txtCCEncry, &back);
    EXPECT_EQ(frame->txtCCEncry->text(), "123456");
    QFocusEvent in(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(frame->txtCCEncry, &in);
    EXPECT_EQ(frame->txtCCEncry->text(), "");
    EXPECT_EQ(frame->txtCCEncry->echoMode(), QLineEdit::Normal);
}

TEST_F(FrameTest, SecurityButtonsToggle)
{
    frame->ShowConfiguration(DefaultsOf(7), 7);
    QPushButton* b = frame->cmdButtonSecurity[5];
    b->click();
    EXPECT_EQ(b->text(), "H");
    EXPECT_EQ(b->property("backColour").toInt(), 0x8080FF);
    EXPECT_EQ(frame->cmdButtonSecurity[4]->text(), "L");
    b->click();
    EXPECT_EQ(b->text(), "L");
    EXPECT_EQ(b->property("backColour").toInt(), 0xFFC0C0);
}

TEST_F(FrameTest, EditedScreenReadsBackKeepingWhatItDoesNotShowButUnshownOptionBits)
{
    state.AcceptorVariant = 7;
    EepromRecord r = DefaultsOf(7);
    r.OptionFlags = 0x01 | 0x20;  // bits no control shows: they become 0
    r.SignalFlags = 0x0C;
    r.EscrowTime = 30;
    frame->lblCSerial->setText("AB12345678C");
    frame->ShowConfiguration(r, 7);
    frame->lstInterface->setCurrentIndex(frame->lstInterface->findText("MDB (NAMA)"));
    frame->txtScaling->setText("500");
    frame->txtVend[2]->setText("");
    frame->TextPulse[1]->setText("200");
    frame->cmdButtonSecurity[8]->click();
    frame->chkEnDis[0]->setChecked(false);
    frame->chkExit->setChecked(true);
    frame->lstVent->setCurrentIndex(1);
    frame->txtCCEncry->setText("123456");

    ASSERT_TRUE(frame->ValidateConfigurationFields()) << (messages.empty() ? "" : messages[0].text.toStdString());
    EepromRecord got = r;
    ASSERT_TRUE(frame->ReadConfigurationScreen(got));
    EXPECT_EQ(got.InterfaceType, 4);
    EXPECT_EQ(got.ScalingFactor, 500);
    EXPECT_EQ(got.ChannelVendAssignment[2], 0);
    EXPECT_EQ(frame->txtVend[2]->text(), "0");
    EXPECT_EQ(got.ChannelPulseAssignment[1], 200);
    EXPECT_EQ(got.SecurityMask, (std::array<uint8_t, 3>{0, 0x01, 0}));
    EXPECT_EQ(got.ChannelEnableMask[2] & 0x01, 0);
    EXPECT_EQ(got.OptionFlags, 0x80);
    EXPECT_EQ(got.SignalFlags, 0x10);  // pull-back "OFF", vend active high
    EXPECT_EQ(got.CcTalkEncryptionCode, (std::array<uint8_t, 3>{0x65, 0x43, 0x21}));
    EXPECT_EQ(got.CcTalkSerialNumber, (std::array<uint8_t, 3>{0x4E, 0x61, 0xBC}));
    EXPECT_EQ(std::string(got.SerialNumber.begin(), got.SerialNumber.end()), "AB12345678C");
    EXPECT_TRUE(frame->chkNoteType->isHidden());
    got.InterfaceType = r.InterfaceType;  // the rest is as it was
    EXPECT_EQ(got.EscrowTime, 30);
    EXPECT_EQ(got.Block176, r.Block176);
}

TEST_F(FrameTest, FieldCheckFailureShowsItsMessageAndHiddenFieldsAreSkipped)
{
    state.AcceptorVariant = 5;
    EepromRecord r = DefaultsOf(5);
    r.IsoCode = {0x1A, 0x23};  // would never pass as four digits
    frame->ShowConfiguration(r, 5);
    frame->txtDecimal->setText("256");
    EXPECT_FALSE(frame->ValidateConfigurationFields());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Decimal Place cannot be more than 255.");
    EXPECT_EQ(messages[0].title, "Kovrin");

    frame->txtDecimal->setText("2");
    frame->frmEscrowTime->hide();  // older Sarnel firmware
    frame->txtEscrowTime->setText("0");
    EXPECT_TRUE(frame->ValidateConfigurationFields());
    EepromRecord got = r;
    ASSERT_TRUE(frame->ReadConfigurationScreen(got));
    EXPECT_EQ(got.IsoCode, r.IsoCode);
    EXPECT_EQ(got.EscrowTime, r.EscrowTime);

    frame->txtSerial->show();
    frame->txtSerial->setText("AB-9087065");
    EXPECT_FALSE(frame->ValidateConfigurationFields());
    EXPECT_EQ(messages.back().text, "Serial number can only contain alphanumeric values.");
    EXPECT_EQ(messages.back().title, "Bad serial number format");
}

TEST_F(FrameTest, SarnelLosesTheMdbEntryOnce)
{
    EepromRecord r = DefaultsOf(5);
    r.InterfaceType = 4;
    frame->ShowConfiguration(r, 7);
    EXPECT_EQ(frame->lstInterface->currentText(), "MDB (NAMA)");
    state.AcceptorVariant = 5;
    frame->lblCMachine->setText("Tyx Sarnel");
    frame->lblCMachine_Change();
    EXPECT_EQ(frame->lstInterface->count(), 9);
    EXPECT_EQ(frame->lstInterface->findText("MDB (NAMA)"), -1);
    frame->ShowConfiguration(r, 5);
    EXPECT_EQ(frame->lstInterface->count(), 9);
    EXPECT_EQ(frame->lstInterface->currentText(), "Pulse");
    EXPECT_FALSE(frame->TextMDB[0]->isEnabled());  // the rules of "Pulse"
}

TEST_F(FrameTest, VariantWithoutALayoutShowsNothingLoaded)
{
    state.AcceptorVariant = 3;
    state.ConfigSource = ConfigFromAcceptor;
    frame->ShowConfiguration(state.CurrentRecord, 3);
    EXPECT_FALSE(frame->LabelNaStatusMessage->text().contains("loaded"));
    EXPECT_TRUE(frame->LabelNaStatusMessage->text().contains("no configuration memory layout"));
    EXPECT_TRUE(frame->cmdDefault->toolTip().contains("no configuration memory layout"));
    EXPECT_TRUE(frame->cmdSend[3]->toolTip().contains("no configuration memory layout"));
    EXPECT_EQ(frame->cmdSend[7]->toolTip(), "Send the configuration to the acceptor");
}

TEST_F(FrameTest, DefaultsFlashRedFactoryValuesYellow)
{
    state.AcceptorVariant = 7;
    state.CurrentRecord = DefaultsOf(7);
    state.CurrentRecord.ScalingFactor = 999;
    frame->cmdDefault_Click();
    EXPECT_EQ(state.CurrentRecord.ScalingFactor, 100);
    EXPECT_EQ(state.ConfigSource, ConfigFromDefaults);
    EXPECT_EQ(host.flashes, std::vector<int32_t>{255});
    EXPECT_EQ(frame->LabelNaStatusMessage->text(), "Warning!  Application default configuration settings loaded.");
    EXPECT_EQ(TextColour(frame->LabelNaStatusMessage), 0x0000FF);

    state.FactoryRecord = DefaultsOf(7);
    state.FactoryRecord.ScalingFactor = 321;
    state.FactoryConfigValid = true;
    frame->cmdDefault_Click();
    EXPECT_TRUE(state.CurrentRecord == state.FactoryRecord);
    EXPECT_EQ(state.ConfigSource, ConfigFromFactory);
    EXPECT_EQ(host.flashes, (std::vector<int32_t>{255, 0xFFFF}));
    EXPECT_EQ(frame->txtScaling->text(), "321");
    EXPECT_EQ(frame->LabelNaStatusMessage->text(), "Factory default configuration settings from note acceptor loaded.");
    EXPECT_EQ(TextColour(frame->LabelNaStatusMessage), 0x00FFFF);
}

TEST_F(FrameTest, DefaultsRefusedForAVariantWithoutALayout)
{
    state.AcceptorVariant = 8;
    state.FactoryConfigValid = true;
    const EepromRecord before = state.CurrentRecord;
    state.ConfigSource = ConfigFromAcceptor;
    frame->cmdDefault_Click();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.contains("variant 8"));
    EXPECT_TRUE(state.CurrentRecord == before);
    EXPECT_EQ(state.ConfigSource, ConfigFromAcceptor);
    EXPECT_TRUE(host.flashes.empty());
}

TEST_F(FrameTest, OpeningAndClosingOnASerialPort)
{
    state.CurrentRecord.ScalingFactor = 77;
    frame->hide();
    frame->cmdConfig_Click();
    EXPECT_FALSE(frame->isHidden());
    EXPECT_EQ(frame->txtScaling->text(), "77");
    EXPECT_EQ(host.moduleList, std::vector<bool>{false});
    EXPECT_EQ(host.auditHidden, 1);
    frame->cmdConfigClose_Click();
    EXPECT_TRUE(frame->isHidden());
    EXPECT_EQ(host.moduleList, std::vector<bool>{false});  // the module list stays hidden
}

TEST_F(FrameTest, OpeningInUsbMode)
{
    host.serial = false;
    frame->hide();
    frame->cmdConfig_Click();
    EXPECT_TRUE(frame->isHidden());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Must load a valid Tyx firmware file first");

    host.firmwareLoaded = true;
    frame->cmdConfig_Click();
    EXPECT_TRUE(frame->isHidden());
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[1].text, "The loaded firmware file holds no note acceptor configuration.");

    host.imageHoldsConfig = true;
    state.ConfigSource = ConfigFromFile;
    frame->cmdConfig_Click();
    EXPECT_FALSE(frame->isHidden());
    EXPECT_EQ(state.ConfigSource, ConfigFromDefaults);  // so sending them asks first
    EXPECT_EQ(state.CurrentRecord.VariantCode, 5);
    EXPECT_EQ(frame->lblCMachine->text(), "TYX Sarnel");
    EXPECT_EQ(frame->lblCSerial->text(), "TK98765432");
    EXPECT_EQ(frame->txtSerial->text(), "TK98765432");
    EXPECT_EQ(frame->LabelEeSetupRevision->text(), "2");
    EXPECT_EQ(frame->LabelEeCalRevision->text(), "4");
    EXPECT_EQ(frame->lstInterface->findText("MDB (NAMA)"), -1);
    frame->cmdConfigClose_Click();
    EXPECT_EQ(host.moduleList.back(), true);
}

TEST_F(FrameTest, ReadAndWriteButtonsRaiseTheirSignals)
{
    QSignalSpy send(frame, &ConfigurationFrame::sendClicked);
    QSignalSpy refresh(frame, &ConfigurationFrame::refreshClicked);
    for (size_t v = 0; v < 10; ++v) {
        EXPECT_EQ(frame->cmdSend[v]->accessibleName(), "Send the configuration to the acceptor");
        EXPECT_EQ(frame->cmdRefresh[v]->accessibleName(), "Read the configuration from the acceptor");
        EXPECT_FALSE(frame->cmdSend[v]->icon().isNull());
        frame->cmdSend[v]->setEnabled(true);
        frame->cmdRefresh[v]->setEnabled(true);
    }
    frame->cmdSend[7]->click();
    frame->cmdRefresh[5]->click();
    frame->cmdRefresh[0]->click();
    EXPECT_EQ(send.count(), 1);
    EXPECT_EQ(refresh.count(), 2);
}

TEST_F(FrameTest, EveryControlHasAnAccessibleName)
{
    const QList<QWidget*> widgets = frame->findChildren<QWidget*>();
    int named = 0;
    for (QWidget* w : widgets) {
        if (qobject_cast<QLineEdit*>(w) || qobject_cast<QComboBox*>(w) || qobject_cast<QAbstractButton*>(w) ||
            qobject_cast<QGroupBox*>(w) || qobject_cast<QLabel*>(w)) {
            if (w->parent() && qobject_cast<QComboBox*>(w->parent()))
                continue;  // a list's own line edit
            // A label that shows nothing yet is heard by its caption, or not at all.
            if (!qobject_cast<QLabel*>(w) || !static_cast<QLabel*>(w)->text().isEmpty()) {
                EXPECT_FALSE(test::HeardName(w).isEmpty()) << w->metaObject()->className() << " "
                                                           << w->objectName().toStdString();
            }
            ++named;
        }
    }
    EXPECT_GT(named, 200);
    for (const QString& p : test::AccessibilityProblems(frame))
        ADD_FAILURE() << p.toStdString();
    // Everything lies inside the frame's design size.
    for (QWidget* w : widgets) {
        if (w->parentWidget() == frame) {
            EXPECT_TRUE(QRect(0, 0, 1640, 1000).contains(w->geometry())) << w->objectName().toStdString();
        }
    }
}

}  // namespace
}  // namespace kovrin
