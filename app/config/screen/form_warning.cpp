#include "app/config/screen/form_warning.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

namespace kovrin {

namespace {

std::function<void(FormWarning&)>& Handler()
{
    static std::function<void(FormWarning&)> handler;
    return handler;
}

}  // namespace

FormWarning::FormWarning(QWidget* parent) : QDialog(parent)
{
    setObjectName("FormWarning");
    setWindowTitle("Warning!");
    setAccessibleName("Warning!");
    setModal(true);
    setFixedSize(460, 190);
    LabelWarning = new QLabel(this);
    LabelWarning->setObjectName("LabelWarning");
    LabelWarning->setGeometry(16, 14, 428, 80);
    LabelWarning->setWordWrap(true);
    CheckWarningDontShowMessage = new QCheckBox("Don't Show this message again.", this);
    CheckWarningDontShowMessage->setObjectName("CheckWarningDontShowMessage");
    CheckWarningDontShowMessage->setAccessibleName("Don't Show this message again.");
    CheckWarningDontShowMessage->setGeometry(16, 100, 428, 26);
    ButtonOk = new QPushButton("OK", this);
    ButtonOk->setObjectName("ButtonOk");
    ButtonOk->setAccessibleName("OK");
    ButtonOk->setGeometry(228, 140, 100, 34);
    ButtonCancel = new QPushButton("Cancel", this);
    ButtonCancel->setObjectName("ButtonCancel");
    ButtonCancel->setAccessibleName("Cancel");
    ButtonCancel->setGeometry(344, 140, 100, 34);
    ButtonCancel->setDefault(true);
    connect(ButtonOk, &QPushButton::clicked, this, &FormWarning::ButtonOk_Click);
    connect(ButtonCancel, &QPushButton::clicked, this, &FormWarning::ButtonCancel_Click);
    Form_Load();
}

void FormWarning::Form_Load()
{
    LabelWarning->setText("Warning!  You are about to configure the EEPROM with application default values."
                          "  This could cause problems.  Press OK to continue or CANCEL to abort.");
    LabelWarning->setAccessibleName(LabelWarning->text());
}

bool FormWarning::Form_Activate()
{
    if (!CheckWarningDontShowMessage->isChecked())
        return false;
    hide();
    return true;
}

void FormWarning::ButtonOk_Click()
{
    WarningAccepted = true;
    hide();
}

void FormWarning::ButtonCancel_Click()
{
    WarningAccepted = false;
    hide();
}

void FormWarning::reject()
{
    WarningAccepted = false;
    QDialog::reject();
}

bool AskDefaultsWarning(QPointer<FormWarning>& form, QWidget* parent)
{
    if (!form)
        form = new FormWarning(parent ? parent->window() : nullptr);
    if (!form->Form_Activate()) {
        if (Handler())
            Handler()(*form);
        else
            form->exec();
    }
    return form && form->WarningAccepted;
}

void SetWarningHandler(std::function<void(FormWarning&)> handler)
{
    Handler() = std::move(handler);
}

}  // namespace kovrin
