#pragma once
// The confirmation asked before application defaults are written.

#include <QDialog>
#include <QPointer>
#include <cstdint>
#include <functional>

class QCheckBox;
class QLabel;
class QPushButton;

namespace kovrin {

class FormWarning : public QDialog {
    Q_OBJECT
public:
    explicit FormWarning(QWidget* parent = nullptr);

    QLabel* LabelWarning = nullptr;
    QPushButton* ButtonOk = nullptr;
    QPushButton* ButtonCancel = nullptr;
    QCheckBox* CheckWarningDontShowMessage = nullptr;
    // The last answer given.
    bool WarningAccepted = false;

    void Form_Load();
    // True when the form hid itself at once because the user asked not to be asked again.
    bool Form_Activate();
    void ButtonOk_Click();
    void ButtonCancel_Click();

    void reject() override;  // the close box and Escape answer Cancel
};

// Shows `form` modally (created on first use, afterwards only hidden, so that
// its answers last as long as its owner) and returns whether WarningAccepted is set.
bool AskDefaultsWarning(QPointer<FormWarning>& form, QWidget* parent);

// Tests answer the form through `handler` instead of a modal loop (nullptr
// restores the modal form). The handler gets the form as the user would see it.
void SetWarningHandler(std::function<void(FormWarning&)> handler);

}  // namespace kovrin
