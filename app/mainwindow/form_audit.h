#pragma once
// The audit window: nine counters of the attached acceptor. One instance for
// the whole run; "unloading" it empties it, and the next use loads it again.

#include <QWidget>
#include <string>

#include "app/config/program_state.h"
#include "app/link/audit_counters.h"
#include "app/link/serial_frame.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace kovrin {

class FormAudit : public QWidget {
    Q_OBJECT
public:
    explicit FormAudit(QWidget* parent = nullptr);

    // The program's one audit window, created on first use (not yet loaded).
    static FormAudit& Default();

    // Audit menu: loads the window when it is not loaded, then shows it modeless.
    void ShowAudit(const ProgramState& state, const std::string& FirmwareVersionText);
    // Reply 0x35 (the whole frame): loads the window when it is not loaded
    // (without showing it) and fills the boxes. A frame too short for its
    // layout changes nothing.
    void FillFromReply(const Bytes& frame, const ProgramState& state, const std::string& FirmwareVersionText);

    // The load step: fills the boxes from the state's CurrentRecord for a
    // variant-5 acceptor, reading its AcceptorVariant and ConfigSource.
    void Form_Load(const ProgramState& state, const std::string& FirmwareVersionText);
    // Empties the window and hides it; the next use loads it again.
    void Unload();
    bool IsLoaded() const { return loaded_; }

    // The texts the boxes show now.
    AuditBoxTexts BoxTexts() const;

    QLineEdit* txtPreEscrows = nullptr;
    QLineEdit* txtJams = nullptr;
    QLineEdit* txtReturns = nullptr;
    QLineEdit* txtTimestamp = nullptr;
    QLineEdit* txtPowerUp = nullptr;
    QLineEdit* txtCheats = nullptr;
    QLineEdit* txtRejects = nullptr;
    QLineEdit* txtStacked = nullptr;
    QLineEdit* txtMotStarts = nullptr;
    QLabel* lblAuditNote = nullptr;  // says when the counters have not been read
    QPushButton* CancelButton = nullptr;
    QPushButton* OKButton = nullptr;

public slots:
    void CancelButton_Click();
    void Form_Deactivate();

protected:
    void changeEvent(QEvent* event) override;

private:
    void SetBoxTexts(const AuditBoxTexts& texts);
    void SetNote(const QString& note);

    bool loaded_ = false;
};

}  // namespace kovrin
