#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <gtest/gtest.h>

#include "app/config/screen/form_warning.h"

namespace kovrin {
namespace {

class FormWarningTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        SetWarningHandler(nullptr);
        delete form;  // the next test starts as a new run would
    }
    QPointer<FormWarning> form;
    int asked = 0;
};

TEST_F(FormWarningTest, OkAndCancelSetTheAnswer)
{
    SetWarningHandler([this](FormWarning& w) {
        ++asked;
        EXPECT_EQ(w.windowTitle(), "Warning!");
        EXPECT_EQ(w.LabelWarning->text(),
                  "Warning!  You are about to configure the EEPROM with application default values."
                  "  This could cause problems.  Press OK to continue or CANCEL to abort.");
        EXPECT_EQ(w.ButtonCancel->text(), "Cancel");
        EXPECT_EQ(w.CheckWarningDontShowMessage->text(), "Don't Show this message again.");
        (asked == 1 ? w.ButtonOk : w.ButtonCancel)->click();
    });
    EXPECT_TRUE(AskDefaultsWarning(form, nullptr));
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->WarningAccepted, true);
    FormWarning* first = form;
    EXPECT_FALSE(AskDefaultsWarning(form, nullptr));
    EXPECT_EQ(form->WarningAccepted, false);
    EXPECT_EQ(form, first);  // only hidden between uses
    EXPECT_TRUE(first->isHidden());
    EXPECT_EQ(asked, 2);
}

TEST_F(FormWarningTest, DontShowAgainKeepsTheLastAnswerWithoutAsking)
{
    for (bool ok : {true, false}) {
        asked = 0;
        SetWarningHandler([this, ok](FormWarning& w) {
            ++asked;
            w.CheckWarningDontShowMessage->setChecked(true);
            (ok ? w.ButtonOk : w.ButtonCancel)->click();
        });
        EXPECT_EQ(AskDefaultsWarning(form, nullptr), ok);
        EXPECT_EQ(AskDefaultsWarning(form, nullptr), ok);
        EXPECT_EQ(AskDefaultsWarning(form, nullptr), ok);
        EXPECT_EQ(asked, 1) << ok;
        TearDown();
    }
}

TEST_F(FormWarningTest, ClosingTheWindowIsACancel)
{
    SetWarningHandler([](FormWarning& w) { w.reject(); });
    form = new FormWarning;
    form->WarningAccepted = true;
    EXPECT_FALSE(AskDefaultsWarning(form, nullptr));
}

}  // namespace
}  // namespace kovrin
