#pragma once
// The access-code dialog and the administrator-mode warning. Both are created
// once and only hidden after use, so they keep the typed code and the check box.

#include <QDialog>
#include <functional>

#include "app/config/eeprom_record.h"
#include "app/mainwindow/access_codes.h"

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kovrin {

inline const char* AdminWarningText =
    "Danger!  Using administrator mode can seriously effect note acceptor operation if improper settings are "
    "made. Press OK to continue or CANCEL to abort.";

class FormSuperUserWarning : public QDialog {
    Q_OBJECT
public:
    explicit FormSuperUserWarning(QWidget* parent = nullptr);

    bool AdminWarningAccepted = false;

    QLabel* LabelWarning = nullptr;
    QCheckBox* CheckWarningDontShowMessage = nullptr;
    QPushButton* ButtonOk = nullptr;
    QPushButton* ButtonCancel = nullptr;

    bool DontShowAgain() const;

public slots:
    void ButtonOk_Click();
    void ButtonCancel_Click();

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void reject() override;  // Escape and the title-bar button answer Cancel
};

class FormSuperUser : public QDialog {
    Q_OBJECT
public:
    explicit FormSuperUser(QWidget* parent = nullptr);

    // The program's one access-code dialog, created on first use.
    static FormSuperUser& Default();

    // Shows the dialog modeless (the "SERIAL NO" caption and the serial number open it).
    void Open();

    // How the warning is shown modally; tests replace it to answer without a user.
    std::function<void(FormSuperUserWarning&)> RunWarning;

    QLabel* Label1 = nullptr;  // "Enter Code"
    QLineEdit* txtCode = nullptr;
    QPushButton* cmdCodeOk = nullptr;
    QPushButton* cmdCancelCode = nullptr;
    FormSuperUserWarning* Warning = nullptr;

public slots:
    // Compares the code, emits the effect for the main window to apply, and
    // hides the dialog unless the warning was refused.
    AccessCodeEffect cmdCodeOk_Click();
    void cmdCancelCode_Click();

signals:
    void AccessCodeEntered(const kovrin::AccessCodeEffect& effect);

protected:
    void reject() override;

private:
    void Form_Load();
    bool loaded_ = false;
};

// Applies an effect to the main window's controls: the mode, the editable
// serial number (filled from lblCSerial when it opens), the audit menu (hidden
// when unavailable) and the module-audit button. Null controls are skipped.
void ApplyAccessCodeEffect(const AccessCodeEffect& effect, int16_t& SuperUserMode, QLineEdit* txtSerial,
                           QLabel* lblCSerial, QAction* mnuAudit, QWidget* cmdViewAudit);

}  // namespace kovrin
