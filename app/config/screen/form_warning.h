#pragma once
// The confirmation asked before application defaults are written.

#include <QDialog>
#include <cstdint>
#include <functional>

class QCheckBox;
class QLabel;
class QPushButton;

namespace kovrin {

// The last answer given in FormWarning.
extern bool WarningAccepted;

class FormWarning : public QDialog {
    Q_OBJECT
public:
    explicit FormWarning(QWidget* parent = nullptr);

    QLabel* LabelWarning = nullptr;
    QPushButton* ButtonOk = nullptr;
    QPushButton* ButtonCancel = nullptr;
    QCheckBox* CheckWarningDontShowMessage = nullptr;

    void Form_Load();
    // True when the form hid itself at once because the user asked not to be asked again.
    bool Form_Activate();
    void ButtonOk_Click();
    void ButtonCancel_Click();

    void reject() override;  // the close box and Escape answer Cancel
};

// Shows FormWarning modally (created on first use, afterwards only hidden)
// and returns whether WarningAccepted is set.
bool AskDefaultsWarning(QWidget* parent);

// Tests answer the form through `handler` instead of a modal loop (nullptr
// restores the modal form). The handler gets the form as the user would see it.
void SetWarningHandler(std::function<void(FormWarning&)> handler);

// The form once it has been created, else nullptr.
FormWarning* ExistingFormWarning();

}  // namespace kovrin
