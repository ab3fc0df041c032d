#include "app/mainwindow/form_super_user.h"

#include <QAction>
#include <QCheckBox>
#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace kovrin {

namespace {

QPushButton* NewButton(QWidget* parent, const char* name, const char* caption, const char* what)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setAccessibleName(what);
    button->setAutoDefault(false);
    return button;
}

void CentreOnScreen(QWidget* w)
{
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect s = screen->geometry();
        w->move(s.x() + (s.width() - w->width()) / 2, s.y() + (s.height() - w->height()) / 2);
    }
}

}  // namespace

// ---- warning

FormSuperUserWarning::FormSuperUserWarning(QWidget* parent) : QDialog(parent)
{
    setObjectName("FormSuperUserWarning");
    setWindowTitle("Danger!");
    setAccessibleName("Danger!");
    LabelWarning = new QLabel(this);
    LabelWarning->setObjectName("LabelWarning");
    LabelWarning->setAccessibleDescription("Warning");  // heard as the warning it shows
    LabelWarning->setWordWrap(true);
    LabelWarning->setMinimumWidth(360);
    CheckWarningDontShowMessage = new QCheckBox("Don't Show this message again.", this);
    CheckWarningDontShowMessage->setObjectName("CheckWarningDontShowMessage");
    CheckWarningDontShowMessage->setAccessibleName("Don't Show this message again.");
    ButtonOk = NewButton(this, "ButtonOk", "OK", "OK");
    ButtonCancel = NewButton(this, "ButtonCancel", "Cancel", "Cancel");
    connect(ButtonOk, &QPushButton::clicked, this, &FormSuperUserWarning::ButtonOk_Click);
    connect(ButtonCancel, &QPushButton::clicked, this, &FormSuperUserWarning::ButtonCancel_Click);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ButtonOk);
    buttons->addWidget(ButtonCancel);
    auto* all = new QVBoxLayout(this);
    all->addWidget(LabelWarning);
    all->addWidget(CheckWarningDontShowMessage);
    all->addLayout(buttons);
    LabelWarning->setText(AdminWarningText);
}

bool FormSuperUserWarning::DontShowAgain() const
{
    return CheckWarningDontShowMessage->isChecked();
}

void FormSuperUserWarning::ButtonOk_Click()
{
    AdminWarningAccepted = true;
    hide();
}

void FormSuperUserWarning::ButtonCancel_Click()
{
    AdminWarningAccepted = false;
    hide();
}

void FormSuperUserWarning::reject()
{
    ButtonCancel_Click();
}

void FormSuperUserWarning::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (DontShowAgain())
        hide();
    else
        LabelWarning->setText(AdminWarningText);
}

void FormSuperUserWarning::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && DontShowAgain())
        hide();
}

// ---- access-code dialog

FormSuperUser::FormSuperUser(QWidget* parent) : QDialog(parent)
{
    setObjectName("FormSuperUser");
    setWindowTitle("Super User Authentication");
    setAccessibleName("Super User Authentication");
    setAttribute(Qt::WA_QuitOnClose, false);

    Label1 = new QLabel("Enter Code", this);
    Label1->setObjectName("Label1");
    Label1->setAccessibleName("Enter Code");
    txtCode = new QLineEdit(this);
    txtCode->setObjectName("txtCode");
    txtCode->setAccessibleName("Access code");
    txtCode->setEchoMode(QLineEdit::Password);
    txtCode->setStyleSheet("lineedit-password-character: 42;");  // "*" whatever the style's own mark
    Label1->setBuddy(txtCode);
    cmdCodeOk = NewButton(this, "cmdCodeOk", "&OK", "OK");
    cmdCancelCode = NewButton(this, "cmdCancelCode", "&Cancel", "Cancel");
    connect(cmdCodeOk, &QPushButton::clicked, this, &FormSuperUser::cmdCodeOk_Click);
    connect(cmdCancelCode, &QPushButton::clicked, this, &FormSuperUser::cmdCancelCode_Click);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdCodeOk);
    buttons->addWidget(cmdCancelCode);
    auto* all = new QVBoxLayout(this);
    all->addWidget(Label1);
    all->addWidget(txtCode);
    all->addLayout(buttons);
    setMinimumWidth(300);

    Warning = new FormSuperUserWarning(this);
    RunWarning = [](FormSuperUserWarning& w) { w.exec(); };
}

FormSuperUser& FormSuperUser::Default()
{
    static QPointer<FormSuperUser> instance;
    if (!instance) {
        instance = new FormSuperUser;
        QObject::connect(qApp, &QCoreApplication::aboutToQuit, instance.data(), &QObject::deleteLater);
    }
    return *instance;
}

void FormSuperUser::Form_Load()
{
    adjustSize();
    CentreOnScreen(this);
    cmdCodeOk->setDefault(true);
    loaded_ = true;
}

void FormSuperUser::Open()
{
    if (!loaded_)
        Form_Load();
    show();
    raise();
    activateWindow();
    txtCode->setFocus();
}

AccessCodeEffect FormSuperUser::cmdCodeOk_Click()
{
    const QString code = txtCode->text();
    if (ClassifyAccessCode(code) == AccessCode::Administrator && !Warning->DontShowAgain()) {
        Warning->LabelWarning->setText(AdminWarningText);
        RunWarning(*Warning);
    }
    const AccessCodeEffect effect = EffectOfAccessCode(code, Warning->AdminWarningAccepted);
    emit AccessCodeEntered(effect);
    if (effect.CloseDialog)
        hide();
    return effect;
}

void FormSuperUser::cmdCancelCode_Click()
{
    hide();
}

void FormSuperUser::reject()
{
    cmdCancelCode_Click();
}

void ApplyAccessCodeEffect(const AccessCodeEffect& effect, int16_t& SuperUserMode, QLineEdit* txtSerial,
                           QLabel* lblCSerial, QAction* mnuAudit, QWidget* cmdViewAudit)
{
    if (effect.SuperUserMode)
        SuperUserMode = int16_t(*effect.SuperUserMode);
    if (effect.SerialEditable) {
        const bool editable = *effect.SerialEditable;
        if (txtSerial) {
            if (editable && lblCSerial)
                txtSerial->setText(lblCSerial->text());
            txtSerial->setReadOnly(!editable);
            txtSerial->setVisible(editable);
        }
        if (lblCSerial)
            lblCSerial->setVisible(!editable);
    }
    if (effect.AuditMenuAvailable && mnuAudit)
        mnuAudit->setVisible(*effect.AuditMenuAvailable);
    if (effect.ViewAuditShown && cmdViewAudit)
        cmdViewAudit->setVisible(*effect.ViewAuditShown);
}

}  // namespace kovrin
