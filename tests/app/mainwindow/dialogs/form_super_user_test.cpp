#include "app/mainwindow/form_super_user.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyle>
#include <QTimer>
#include <QtTest>
#include <gtest/gtest.h>

#include "tests/support/accessibility_check.h"

namespace kovrin {
namespace {

enum class Answer { Ok, Cancel };

// The main window's controls that a code changes.
struct MainControls {
    QWidget window;
    QLabel* lblCSerial = new QLabel("12345678901", &window);
    QLineEdit* txtSerial = new QLineEdit(&window);
    QPushButton* cmdViewAudit = new QPushButton("View Audit", &window);
    QAction* mnuAudit = new QAction("Audit", &window);
    int16_t SuperUserMode = 0;

    MainControls()
    {
        txtSerial->hide();
        txtSerial->setReadOnly(true);
        cmdViewAudit->hide();
        mnuAudit->setVisible(false);
        window.show();
    }
};

class SuperUserTest : public ::testing::Test {
protected:
    FormSuperUser dialog;
    MainControls main;
    int warningsShown = 0;
    Answer answer = Answer::Ok;
    bool tickDontShow = false;

    void SetUp() override
    {
        dialog.RunWarning = [this](FormSuperUserWarning& w) {
            ++warningsShown;
            EXPECT_EQ(w.LabelWarning->text(), AdminWarningText);
            w.CheckWarningDontShowMessage->setChecked(tickDontShow);
            (answer == Answer::Ok ? w.ButtonOk : w.ButtonCancel)->click();
        };
        QObject::connect(&dialog, &FormSuperUser::AccessCodeEntered, &main.window, [this](const AccessCodeEffect& e) {
            ApplyAccessCodeEffect(e, main.SuperUserMode, main.txtSerial, main.lblCSerial, main.mnuAudit,
                                  main.cmdViewAudit);
        });
    }

    void Enter(const QString& code)
    {
        dialog.Open();
        dialog.txtCode->setText(code);
        dialog.cmdCodeOk->click();
    }
};

TEST_F(SuperUserTest, DialogCaptionsAndHiddenTyping)
{
    EXPECT_EQ(dialog.windowTitle(), "Super User Authentication");
    EXPECT_EQ(dialog.Label1->text(), "Enter Code");
    EXPECT_EQ(dialog.cmdCodeOk->text(), "&OK");
    EXPECT_EQ(dialog.cmdCancelCode->text(), "&Cancel");
    EXPECT_EQ(dialog.txtCode->echoMode(), QLineEdit::Password);
    EXPECT_EQ(dialog.txtCode->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, dialog.txtCode),
              '*');
    EXPECT_EQ(dialog.Warning->windowTitle(), "Danger!");
    EXPECT_EQ(dialog.Warning->CheckWarningDontShowMessage->text(), "Don't Show this message again.");
    EXPECT_EQ(dialog.Warning->ButtonOk->text(), "OK");
    EXPECT_EQ(dialog.Warning->ButtonCancel->text(), "Cancel");
    EXPECT_EQ(QString(AdminWarningText).left(9), "Danger!  ");
    dialog.Open();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_FALSE(dialog.isModal());
    EXPECT_TRUE(dialog.cmdCodeOk->isDefault());
    for (QWidget* w : dialog.findChildren<QWidget*>())
        if (w->isVisibleTo(&dialog)) {
            EXPECT_FALSE(w->accessibleName().isEmpty()) << w->objectName().toStdString();
        }
}

TEST_F(SuperUserTest, TheWarningIsHeardAsTheTextItShows)
{
    EXPECT_EQ(test::HeardName(dialog.Warning), "Danger!");
    EXPECT_EQ(test::HeardName(dialog.Warning->LabelWarning), AdminWarningText);
    for (const QString& p : test::AccessibilityProblems(dialog.Warning))
        ADD_FAILURE() << p.toStdString();
}

TEST_F(SuperUserTest, EnterKeyConfirmsTheCode)
{
    dialog.Open();
    dialog.txtCode->setText("plovern");
    QTest::keyClick(dialog.txtCode, Qt::Key_Return);
    EXPECT_EQ(main.SuperUserMode, 1);
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(SuperUserTest, SerialCodeMakesTheSerialNumberEditable)
{
    Enter("plovern");
    EXPECT_EQ(main.SuperUserMode, 1);
    EXPECT_TRUE(main.txtSerial->isVisible());
    EXPECT_FALSE(main.txtSerial->isReadOnly());
    EXPECT_EQ(main.txtSerial->text(), "12345678901");
    EXPECT_FALSE(main.lblCSerial->isVisible());
    EXPECT_FALSE(main.cmdViewAudit->isVisible());
    EXPECT_FALSE(main.mnuAudit->isVisible());
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(warningsShown, 0);
}

TEST_F(SuperUserTest, NearMissesReturnToNormalModeSilently)
{
    for (const char* code : {"Plovern", "plovern ", "", "daxsupport"}) {
        Enter("DaxSupport");
        ASSERT_EQ(main.SuperUserMode, 2);
        Enter(code);
        EXPECT_EQ(main.SuperUserMode, 0) << code;
        EXPECT_FALSE(main.txtSerial->isVisible());
        EXPECT_TRUE(main.lblCSerial->isVisible());
        EXPECT_FALSE(main.cmdViewAudit->isVisible());
        EXPECT_FALSE(main.mnuAudit->isVisible());
        EXPECT_FALSE(dialog.isVisible());
    }
}

TEST_F(SuperUserTest, AuditCodeShowsTheMenuAndKeepsTheMode)
{
    Enter("plovern");
    Enter("PalCountZTR");
    EXPECT_EQ(main.SuperUserMode, 1);
    EXPECT_TRUE(main.mnuAudit->isVisible());
    EXPECT_TRUE(main.txtSerial->isVisible());
    Enter("plovern");
    EXPECT_FALSE(main.mnuAudit->isVisible());
    Enter("PalCountZTR");
    EXPECT_TRUE(main.mnuAudit->isVisible());
    Enter("DaxSupport");
    EXPECT_EQ(main.SuperUserMode, 2);
    EXPECT_FALSE(main.mnuAudit->isVisible());
}

TEST_F(SuperUserTest, AdministratorCodeAcceptedShowsTheModuleAuditButton)
{
    Enter("DaxSupport");
    EXPECT_EQ(warningsShown, 1);
    EXPECT_EQ(dialog.Warning->AdminWarningAccepted, true);
    EXPECT_EQ(main.SuperUserMode, 2);
    EXPECT_TRUE(main.txtSerial->isVisible());
    EXPECT_FALSE(main.lblCSerial->isVisible());
    EXPECT_TRUE(main.cmdViewAudit->isVisible());
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(SuperUserTest, CancelledWarningKeepsModeAndDialogButHidesTheAuditMenu)
{
    Enter("plovern");
    Enter("PalCountZTR");
    answer = Answer::Cancel;
    Enter("DaxSupport");
    EXPECT_EQ(dialog.Warning->AdminWarningAccepted, false);
    EXPECT_EQ(main.SuperUserMode, 1);
    EXPECT_TRUE(main.txtSerial->isVisible());
    EXPECT_FALSE(main.cmdViewAudit->isVisible());
    EXPECT_FALSE(main.mnuAudit->isVisible());
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.txtCode->text(), "DaxSupport");
}

TEST_F(SuperUserTest, DontShowAgainWithOkSwitchesLaterWithoutAsking)
{
    tickDontShow = true;
    Enter("DaxSupport");
    EXPECT_EQ(main.SuperUserMode, 2);
    Enter("other");
    answer = Answer::Cancel;  // would refuse, were it asked
    Enter("DaxSupport");
    EXPECT_EQ(warningsShown, 1);
    EXPECT_EQ(main.SuperUserMode, 2);
}

TEST_F(SuperUserTest, DontShowAgainWithCancelRefusesLaterCodesSilently)
{
    tickDontShow = true;
    answer = Answer::Cancel;
    Enter("DaxSupport");
    answer = Answer::Ok;
    for (int i = 0; i < 2; ++i) {
        Enter("DaxSupport");
        EXPECT_EQ(main.SuperUserMode, 0);
        EXPECT_TRUE(dialog.isVisible());
    }
    EXPECT_EQ(warningsShown, 1);
}

TEST_F(SuperUserTest, CancelHidesAndKeepsTheTypedCode)
{
    dialog.Open();
    dialog.txtCode->setText("plov");
    QSignalSpy spy(&dialog, &FormSuperUser::AccessCodeEntered);
    dialog.cmdCancelCode->click();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(spy.count(), 0);
    dialog.Open();
    EXPECT_EQ(dialog.txtCode->text(), "plov");
}

// The warning really shown modally, answered by clicking its button.
TEST(SuperUserWarningModalTest, ModalWarningAnsweredByItsButtons)
{
    for (bool ok : {true, false}) {
        FormSuperUser dialog;
        dialog.Open();
        dialog.txtCode->setText("DaxSupport");
        bool sawModal = false;
        QTimer::singleShot(0, [&] {
            auto* w = qobject_cast<FormSuperUserWarning*>(QApplication::activeModalWidget());
            sawModal = w == dialog.Warning && w->isVisible();
            (ok ? dialog.Warning->ButtonOk : dialog.Warning->ButtonCancel)->click();
        });
        QTimer::singleShot(5000, dialog.Warning, [&] { dialog.Warning->hide(); });  // never hang
        const AccessCodeEffect e = dialog.cmdCodeOk_Click();
        EXPECT_TRUE(sawModal);
        EXPECT_FALSE(dialog.Warning->isVisible());
        EXPECT_EQ(e.SuperUserMode, ok ? std::optional<int32_t>(2) : std::nullopt);
        EXPECT_EQ(dialog.isVisible(), !ok);
    }
}

TEST(SuperUserDefaultTest, OneDialogForTheRun)
{
    EXPECT_EQ(&FormSuperUser::Default(), &FormSuperUser::Default());
}

}  // namespace
}  // namespace kovrin
