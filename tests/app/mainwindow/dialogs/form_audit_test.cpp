#include "app/mainwindow/form_audit.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#include <gtest/gtest.h>

#include "tests/support/accessibility_check.h"
#include "tests/support/audit_frames.h"

namespace kovrin {
namespace {

using test::ReplyFrame;

class FormAuditTest : public ::testing::Test {
protected:
    FormAudit form;
    ProgramState state;

    void SetUp() override
    {
        form.setLocale(QLocale(QLocale::English, QLocale::UnitedStates));
        state.AcceptorVariant = 7;
    }

    static Bytes PackedReply(uint32_t motorStarts)
    {
        test::Block b{};
        test::PutBits(b, 0, 20, motorStarts);
        return ReplyFrame(0x35, {b.begin(), b.end()});
    }
};

TEST_F(FormAuditTest, CaptionsLabelsAndAccessibleNames)
{
    EXPECT_EQ(form.windowTitle(), "Audit Data");
    EXPECT_EQ(form.CancelButton->text(), "Cancel");
    EXPECT_EQ(form.OKButton->text(), "Change");
    const std::pair<QLineEdit*, const char*> boxes[] = {
        {form.txtPreEscrows, "PRE-ESCROWS"}, {form.txtJams, "JAMS"},       {form.txtReturns, "RETURNED"},
        {form.txtTimestamp, "TIMESTAMP"},    {form.txtPowerUp, "POWER UP"}, {form.txtCheats, "CHEATS"},
        {form.txtRejects, "REJECTED"},       {form.txtStacked, "STACKED"},  {form.txtMotStarts, "MOTOR STARTS"},
    };
    for (const auto& [box, caption] : boxes) {
        EXPECT_EQ(box->accessibleName(), caption);
        bool labelled = false;
        for (QLabel* l : form.findChildren<QLabel*>())
            labelled = labelled || (l->buddy() == box && l->text() == caption);
        EXPECT_TRUE(labelled) << caption;
    }
    for (QWidget* w : form.findChildren<QWidget*>()) {
        if (w != form.lblAuditNote) {  // heard as the note it shows
            EXPECT_FALSE(w->accessibleName().isEmpty()) << w->objectName().toStdString();
        }
    }
    for (const QString& p : test::AccessibilityProblems(&form))
        ADD_FAILURE() << p.toStdString();
}

TEST_F(FormAuditTest, VariantSevenShowsEmptyBoxesUntilTheReply)
{
    form.ShowAudit(state, "0017");
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.BoxTexts(), AuditBoxTexts{});
    EXPECT_FALSE(form.lblAuditNote->isVisible());
    form.FillFromReply(PackedReply(1048575), state, "0017");
    EXPECT_EQ(form.txtMotStarts->text(), "1048575");
    EXPECT_EQ(form.txtTimestamp->text(), "1/1/10");
}

TEST_F(FormAuditTest, OlderReplyShowsUnsignedCountersAndNotAvailable)
{
    form.ShowAudit(state, "0016");
    form.FillFromReply(ReplyFrame(0x35, test::OlderReplyData({10, 6, 30, 23, 59}, {0xFFFFFFFF, 2, 3, 4, 5})),
                       state, "0016");
    EXPECT_EQ(form.txtMotStarts->text(), "4294967295");
    EXPECT_EQ(form.txtTimestamp->text(), "06/30/10 23:59");
    EXPECT_EQ(form.txtJams->text(), "N/A");
}

TEST_F(FormAuditTest, ShortReplyLeavesTheBoxesAsTheyWere)
{
    form.FillFromReply(PackedReply(42), state, "0017");
    Bytes shortFrame = PackedReply(7);
    shortFrame.resize(20);
    form.FillFromReply(shortFrame, state, "0017");
    EXPECT_EQ(form.txtMotStarts->text(), "42");
}

TEST_F(FormAuditTest, VariantFiveShowsTheRecordOnlyWhenReadFromTheAcceptor)
{
    state.AcceptorVariant = 5;
    state.CurrentRecord.AuditCounters[0] = 0x39;  // 57 motor starts
    state.CurrentRecord.AuditCounters[18] = 0x10;  // bit 148: one day
    state.ConfigSource = ConfigFromAcceptor;
    form.ShowAudit(state, "0043");
    EXPECT_EQ(form.txtMotStarts->text(), "57");
    EXPECT_EQ(form.txtTimestamp->text(), "1/2/10");
    EXPECT_FALSE(form.lblAuditNote->isVisible());

    form.CancelButton->click();
    for (int32_t source : {ConfigFromDefaults, ConfigFromFile, ConfigFromFactory}) {
        state.ConfigSource = source;
        form.ShowAudit(state, "0043");
        EXPECT_EQ(form.BoxTexts(), AuditBoxTexts{}) << source;
        EXPECT_TRUE(form.lblAuditNote->isVisible());
        EXPECT_EQ(form.lblAuditNote->text(), AuditNotReadText);
        EXPECT_EQ(test::HeardName(form.lblAuditNote), AuditNotReadText);
        EXPECT_EQ(test::HeardDescription(form.lblAuditNote), "Audit note");
        form.Unload();
    }
}

TEST_F(FormAuditTest, VariantFiveOlderFirmwareLeavesThreeBoxesEmpty)
{
    state.AcceptorVariant = 5;
    state.ConfigSource = ConfigFromAcceptor;
    const uint8_t stamp[5] = {1, 31, 11, 8, 30};
    std::copy(std::begin(stamp), std::end(stamp), state.CurrentRecord.AuditCounters.begin() + 15);
    state.CurrentRecord.AuditCounters[2] = 5;
    form.ShowAudit(state, "0042");
    EXPECT_EQ(form.txtTimestamp->text(), "01/31/11 08:30");
    EXPECT_EQ(form.txtMotStarts->text(), "5");
    EXPECT_TRUE(form.txtPreEscrows->text().isEmpty());
    EXPECT_TRUE(form.txtReturns->text().isEmpty());
    EXPECT_TRUE(form.txtJams->text().isEmpty());
}

TEST_F(FormAuditTest, OtherVariantsGetAnEmptyWindow)
{
    state.AcceptorVariant = 6;
    state.ConfigSource = ConfigFromAcceptor;
    state.CurrentRecord.AuditCounters.fill(0xFF);
    form.ShowAudit(state, "0043");
    EXPECT_EQ(form.BoxTexts(), AuditBoxTexts{});
    EXPECT_FALSE(form.lblAuditNote->isVisible());
}

TEST_F(FormAuditTest, HiddenWindowKeepsItsValuesAndCancelUnloadsIt)
{
    form.ShowAudit(state, "0017");
    form.FillFromReply(PackedReply(99), state, "0017");
    form.Form_Deactivate();
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(form.IsLoaded());
    form.ShowAudit(state, "0017");
    EXPECT_EQ(form.txtMotStarts->text(), "99");

    form.CancelButton->click();
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(form.IsLoaded());
    EXPECT_TRUE(form.txtMotStarts->text().isEmpty());
}

TEST_F(FormAuditTest, ReplyToAnUnloadedWindowLoadsItWithoutShowing)
{
    state.AcceptorVariant = 5;
    state.ConfigSource = ConfigFromDefaults;
    form.FillFromReply(PackedReply(3), state, "0017");
    EXPECT_TRUE(form.IsLoaded());
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.txtMotStarts->text(), "3");
    // Loaded already: showing it does not load it again.
    form.ShowAudit(state, "0017");
    EXPECT_EQ(form.txtMotStarts->text(), "3");
}

TEST_F(FormAuditTest, HidesWhenAnotherProgramWindowIsActivated)
{
    QWidget other;
    other.show();
    form.ShowAudit(state, "0017");
    QApplication::setActiveWindow(&form);
    ASSERT_TRUE(form.isActiveWindow());
    QApplication::setActiveWindow(&other);
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(form.IsLoaded());
}

TEST(FormAuditDefaultTest, OneWindowForTheRun)
{
    EXPECT_EQ(&FormAudit::Default(), &FormAudit::Default());
}

}  // namespace
}  // namespace kovrin
