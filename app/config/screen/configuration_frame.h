#pragma once
// The configuration screen: the frame that shows the state's CurrentRecord, lets the user
// edit it, checks it, and loads, saves and resets it.

#include <QFrame>
#include <array>
#include <cstdint>

#include "app/config/eeprom_record.h"
#include "app/config/program_state.h"
#include "app/config/screen_values.h"
#include "app/core/acceptor_variants.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kovrin {

// What the configuration screen needs from the main window.
struct ConfigHost {
    virtual ~ConfigHost() = default;
    // The configuration edited is the loaded firmware image's, for the programming module, not the
    // attached acceptor's: it starts from the image's factory block and the module list comes back on close.
    virtual bool ConfiguresLoadedImage() const = 0;
    // Paints the configuration frame in `colour` (0x00BBGGRR) for a moment and beeps.
    virtual void FlashConfigFrame(int32_t colour) = 0;
    // A valid firmware file is loaded (HexFileLoaded).
    virtual bool FirmwareImageLoaded() const = 0;
    // Takes the loaded firmware image's configuration block into FactoryRecord
    // and sets AcceptorVariant from the image; false when the image holds none.
    virtual bool ExtractConfigFromImage() = 0;
    // Model name of the loaded firmware (the caption of Label6(0)).
    virtual QString FirmwareModelName() const = 0;
    // Shows or hides the module file list ListKDU.
    virtual void ShowModuleList(bool shown) = 0;
    // Hides the module audit frame frmKDUAuditData.
    virtual void HideModuleAuditData() = 0;
};

class ConfigurationFrame : public QFrame {
    Q_OBJECT
public:
    static constexpr int DesignWidth = 1640;
    static constexpr int DesignHeight = 1000;

    ConfigurationFrame(ConfigHost& host, ProgramState& state, QWidget* parent = nullptr);

    // ---- option lists
    QComboBox* lstInterface = nullptr;
    QComboBox* lstEnable = nullptr;
    QComboBox* lstPulse = nullptr;
    QComboBox* lstAlarmSignal = nullptr;
    QComboBox* lstPullbackdetection = nullptr;
    QComboBox* lstVent = nullptr;
    QCheckBox* chkADU = nullptr;

    // ---- per channel
    std::array<QCheckBox*, 24> chkEnDis{};
    std::array<QPushButton*, 24> cmdButtonSecurity{};
    std::array<QLineEdit*, 24> TextPulse{};
    std::array<QLineEdit*, 24> txtVend{};
    std::array<QLineEdit*, 16> TextMDB{};
    QGroupBox* Frame8 = nullptr;       // the security buttons
    QGroupBox* frmAdvance2 = nullptr;  // TextPulse
    QGroupBox* frmAdvance3 = nullptr;  // txtVend
    QGroupBox* frmMDB = nullptr;       // TextMDB

    // ---- setup group
    QLineEdit* txtScaling = nullptr;
    QLineEdit* txtDecimal = nullptr;
    QLineEdit* txtMDBISO = nullptr;
    QLineEdit* txtCCAddress = nullptr;
    QLineEdit* txtCCEncry = nullptr;
    QLabel* Label1_1 = nullptr;  // "IDD or ISO Code"
    QLabel* Label4_2 = nullptr;  // "MDB Setup"
    std::array<QFrame*, 6> Line5{};

    // ---- option groups
    QGroupBox* frmPulse = nullptr;
    QLineEdit* txtPulseON = nullptr;
    QLineEdit* txtPulseOFF = nullptr;
    QGroupBox* frmEscrowTime = nullptr;
    QLineEdit* txtEscrowTime = nullptr;
    QGroupBox* frmCCTalk = nullptr;
    QCheckBox* chkNoteType = nullptr;
    QCheckBox* chkCCTalk = nullptr;
    QGroupBox* frmBillOpt = nullptr;
    QCheckBox* chkExit = nullptr;
    QCheckBox* chkBill_Hold = nullptr;

    // ---- the attached acceptor (the main window fills these)
    QLabel* lblCMachine = nullptr;
    QLabel* lblCSoftware = nullptr;
    QLabel* lblCVersion = nullptr;
    QLabel* lblCSerial = nullptr;
    QLineEdit* txtSerial = nullptr;  // shown in the service user modes only
    QLabel* LabelEeSetupRevision = nullptr;
    QLabel* LabelEeCalRevision = nullptr;

    // ---- status line and buttons
    QLabel* LabelNaStatusMessage = nullptr;
    QPushButton* cmdDefault = nullptr;
    QPushButton* cmdLoad = nullptr;
    QPushButton* cmdSave = nullptr;
    QPushButton* cmdConfigClose = nullptr;
    // One read and one write button per acceptor variant 0 to 9; the main
    // window's ManageButtonStates shows and enables them.
    std::array<QPushButton*, VariantCount> cmdSend{};
    std::array<QPushButton*, VariantCount> cmdRefresh{};

    // ---- operations
    void InitConfigLists();
    void ShowConfiguration(const EepromRecord& record, int variant);
    // Writes the screen into `record`, only when every field converted;
    // false after a message otherwise.
    bool ReadConfigurationScreen(EepromRecord& record);
    bool ValidateConfigurationFields();
    bool LoadConfigFile();

    // ---- handlers
    void cmdLoad_Click();
    void cmdSave_Click();
    void cmdDefault_Click();
    void cmdConfig_Click();
    void cmdConfigClose_Click();
    void lstInterface_Click();
    void chkCCTalk_Click();
    void cmdButtonSecurity_Click(int Index);
    void txtCCEncry_Change();
    void txtCCEncry_GotFocus();
    // The main window calls this after every new caption of lblCMachine.
    void lblCMachine_Change();

    // The screen as plain values, and back (with signals blocked).
    ConfigScreenValues CollectScreen() const;
    void ApplyScreen(const ConfigScreenValues& values);

signals:
    void sendClicked();
    void refreshClicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void BuildAcceptorGroup();
    void BuildOptionLists();
    void BuildSetupGroup();
    void BuildOptionGroups();
    void BuildChannelGroups();
    void BuildButtons();
    void ApplyVariantParts(const HiddenControls& hidden);
    void SetSecurityButton(int index, bool high);
    void ShowStatusLine(int32_t colour, const QString& text);
    void RemoveMdbEntry(int variant);
    void ShowLayoutState(int variant);
    void ShowModuleSerialAndRevisions(const EepromRecord& serialSource);

    ConfigHost& host_;
    ProgramState& state_;
};

}  // namespace kovrin
