#pragma once
// The main window: the handlers of the acceptor link, its timers and what it
// shows. What is said on the link is the acceptor session's.

#include <QMainWindow>
#include <array>
#include <functional>
#include <memory>
#include <set>
#include <vector>

#include "app/config/eeprom_record.h"
#include "app/config/program_state.h"
#include "app/config/screen/configuration_frame.h"
#include "app/config/screen/form_warning.h"
#include "app/core/acceptor_variants.h"
#include "app/link/acceptor_session.h"
#include "app/link/comm_port.h"
#include "app/link/qt_link_timer.h"
#include "app/core/firmware_image.h"
#include "app/module/kdu_directory.h"
#include "app/module/module_session.h"
#include "app/module/module_transfers.h"
#include "app/module/programmer.h"
#include "app/module/qel_usb_client.h"
#include "app/module/screen/kdu_audit_frame.h"
#include "app/mainwindow/picture_sequence.h"

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QScrollBar;
class QTimer;
class QTreeView;
class QWheelEvent;

namespace kovrin {

class KduFileListModel;

class FormMain : public QMainWindow, private AcceptorSessionHost, private ConfigHost {
    Q_OBJECT
public:
    explicit FormMain(ProgramState state);
    ~FormMain() override;

    // Everything the program holds while it runs; the session and the screens are handed it.
    ProgramState State;

    // The load sequence; runs once, from Main, before the window shows.
    void Form_Load();

    // ---- the link: the port, what arrives on it, and the session that speaks on it
    int16_t ComPort = 1;
    bool bUSBLoaded = false;
    bool bPortErrorShown = false;
    uint8_t FlashInhibit = 0;  // FlashInhibitBit reasons
    bool HexFileLoaded = false;
    uint8_t ImageVariant = 0;
    uint16_t ImageCode = 0;
    int16_t SuperUserMode = 0;
    CommPort* MSComm1 = nullptr;  // made first: the session speaks through it
    QtLinkTimer pollLink_, guardLink_;  // tmrPoll and tmrGuard, as the session drives them
    AcceptorSession Session{*MSComm1, pollLink_, guardLink_, *this, State};

    // ---- controls
    QFrame* Frame5 = nullptr;
    KduAuditFrame* frmKDUAuditData = nullptr;
    ConfigurationFrame* frmConfiguration = nullptr;
    QPointer<FormWarning> frmWarning;  // made on the first send of defaults, then only hidden
    QFrame* Frame9 = nullptr;
    QFrame* FrameKDU = nullptr;
    QScrollBar* HScroll1 = nullptr;
    QScrollBar* VScroll1 = nullptr;
    std::array<QLabel*, 1> Label1{};
    std::array<QLabel*, 9> Label6{};
    std::array<QLabel*, 2> Label7{};
    QLabel* Label10 = nullptr;
    QLabel* Label56 = nullptr;  // the "SERIAL NO" caption
    QLabel* LabelCalibrationStatus = nullptr;
    QLabel* LabelFwSetupRevision = nullptr;
    QLabel* LabelFwCalRevision = nullptr;
    QLabel* LabelEeSetupRevision = nullptr;
    QLabel* LabelEeCalRevision = nullptr;
    QLabel* lblCMachine = nullptr;
    QLabel* lblCSoftware = nullptr;
    QLabel* lblCVersion = nullptr;
    QLabel* lblCSerial = nullptr;
    QLabel* lblDisplay = nullptr;
    QLabel* lblDeviceChk = nullptr;
    QLabel* LabelNaStatusMessage = nullptr;
    QLabel* ImageNoteAcceptor = nullptr;
    QLineEdit* txtSerial = nullptr;
    QCheckBox* chkBill_Hold = nullptr;
    QCheckBox* chkCCTalk = nullptr;
    QGroupBox* frmEscrowTime = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QPushButton* cmdFlashRqt = nullptr;
    QPushButton* cmdOpenHex = nullptr;
    QPushButton* cmdConfig = nullptr;
    QLabel* lblHexFile = nullptr;
    QLabel* lblHexChk = nullptr;
    QLabel* LabelRomSetupRevision = nullptr;
    QLabel* LabelRomCalRevision = nullptr;
    QLabel* Label59 = nullptr;
    QLabel* Label60 = nullptr;  // block retries
    QLabel* Label61 = nullptr;  // boot-strap retries
    QLabel* Label62 = nullptr;
    QPushButton* CommandKDUErase = nullptr;
    QPushButton* cmdViewAudit = nullptr;
    QTreeView* ListKDU = nullptr;
    QComboBox* ComboPort = nullptr;  // the attached units; item data is the unit's handle
    QLabel* ComboPortCaption = nullptr;
    std::array<QPushButton*, VariantCount> cmdCalibrate{};
    std::array<QPushButton*, VariantCount> cmdSend{};
    std::array<QPushButton*, VariantCount> cmdRefresh{};
    std::array<QAction*, 10> mnuCom1{};  // entries 1 to 9
    QAction* mnuAudit = nullptr;
    QAction* Help = nullptr;
    QAction* exit = nullptr;
    QTimer* tmrPoll = nullptr;
    QTimer* tmrGuard = nullptr;
    QTimer* TimerCmdResponseDelay = nullptr;
    QTimer* TimerScreenFlashRestore = nullptr;

    static constexpr int16_t UsbEntry = 9;  // the port menu's last entry

    // ---- firmware
    FirmwareImage Firmware;  // the loaded image and its block table
    bool HexLoading = false;     // a firmware file is being read
    bool UpdateRunning = false;  // an update over the serial link is under way
    bool Busy() const { return HexLoading || UpdateRunning || Module.ModuleBusy; }
    void LoadHexFile();
    // Whatever ended the update, the window is ready for the next one.
    void EndUpdate();
    // The names shown for the image and the acceptor are the same (never for variant 6).
    bool ImageNamedAsAcceptor() const;

    // ---- link operations
    void Connect();
    void OpenPortFlashSpeed() override;

    void ManageButtonStates(int MachineId, bool state);
    void ManageImages(int variant);
    void FlashConfigFrame(int32_t colour) override;
    void RestoreConfigFrameColour();
    void ShowConfiguration(const EepromRecord& record, int variant);
    // The acceptor model name changed: the configuration screen follows it.
    void SetMachineName(const QString& name);
    void DownloadConfiguration(EepromRecord& record);

    // ---- programming module (form_main_module.cpp)
private:
    friend class ModuleWindowHost;  // what the module session shows
    std::unique_ptr<ModuleSessionHost> moduleHost_ = MakeModuleHost();
    std::unique_ptr<ModuleSessionHost> MakeModuleHost();

public:
    // The module's flows; the window hands them its values and shows what they report.
    // ComboPort's selection follows Module.KduInUse.
    ModuleSession Module{QelUsbExports(), *moduleHost_};
    void DeviceChangeCallback(UsbDevice handle, int32_t event, int32_t unitType);
    void RefreshKduFileList(UsbDevice handle);
    void ConfirmEraseKduFile(const KduFileRow& line);
    // ---- the module's audit files (form_main_module_audit.cpp)
    // Creates the audit files the module lacks, after a listing that shows it lacks them.
    void EnableAuditMode();
    // Reads the audit file selected in ListKDU and shows its records in frmKDUAuditData.
    void ViewKduAudit();
    // Starts the USB library (VoskUsb_Initialise's result); units already attached are reported during it.
    int32_t StartUsbLibrary();
    // Stops the USB library if it was started and forgets its units.
    void StopUsbLibrary();

    // ---- the device the user's reads and writes go to
private:
    friend class SerialWindowHost;  // what the serial programmer has the window do
    std::unique_ptr<SerialProgrammerHost> serialHost_ = MakeSerialHost();
    std::unique_ptr<SerialProgrammerHost> MakeSerialHost();
    SerialProgrammer serialProgrammer_{Session, *serialHost_};
    ModuleProgrammer moduleProgrammer_{Module, State};
    // Chosen by Connect from the port menu's entry.
    Programmer* programmer_ = &serialProgrammer_;

public slots:
    void CommandKDUErase_Click();
    void cmdViewAudit_Click();
    void ComboPort_Click(int index);
    void MSComm1_OnComm();
    void tmrPoll_Timer();
    void tmrGuard_Timer();
    void TimerCmdResponseDelay_Timer();
    void TimerScreenFlashRestore_Timer();
    void mnuCom1_Click(int16_t index);
    void cmdOpenHex_Click();
    void cmdFlashRqt_Click();
    void mnuAudit_Click();
    void Help_Click();
    void cmdCalibrate_Click();
    void cmdRefresh_Click();
    void cmdSend_Click();
    void cmdConfig_Click();
    void Label56_Click();
    void lblCSerial_DblClick();
    void exit_Click();
    void HScroll1_Change(int value);
    void VScroll1_Change(int value);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void BuildModuleControls(QWidget* central);
    void SelectUnitInUse();
    void ShowModuleButtons();
    // What a configuration file on the module belongs to: the loaded image and the factory revisions.
    KduConfigTarget ModuleConfigTarget() const;
    // Messages of a device notice wait until the library's call has returned.
    void ModuleMessage(const QString& text, const QString& title = {});
    void AfterDeviceNotice(std::function<void()> action);
    void RunAfterDeviceNotice();
    void BuildMenus();
    void Form_Resize();
    void Form_Unload();
    void HscrollMove(int distance);
    void VscrollMove(int distance);
    // Moves the bars so that `control`, if it lies in a scrolled frame, is inside the visible part.
    void ShowFocusedControl(QWidget* control);
    // The wheel moves VScroll1 (with Shift, HScroll1) by its small step a notch; false when no bar moves.
    bool ScrollByWheel(const QWheelEvent& wheel);
    // False, with a message, when the attached acceptor has no configuration layout.
    bool ConfigurationPossible();
    void ShowImageDescription();
    // A chosen firmware file was refused: no image is left to send (FlashInhibit and HexFileLoaded stay).
    void ForgetFirmwareImage();
    void SetFirmwareButtons();

    // What Label10 says of the unit.
    enum class UnitMode { None, ProgramMode, Restricted };
    void ShowUnitMode(UnitMode mode);
    // Label7(0) says that no acceptor answers.
    void ShowDisconnected();

    // What the session has the window show.
    void ShowLinkLost() override;
    void Reconnect() override;
    void PollTickChecked() override;
    LocalTime LocalNow() const override;
    bool DateStampUsesDayCount() const override;
    void ShowIdentification(const IdentifiedAcceptor& acceptor) override;
    void ShowFactoryRevisions(const std::string& setupHex, const std::string& calibrationHex) override;
    void ShowCalibration(bool calibrated) override;
    void ShowConfiguration() override;
    void ShowConfigurationRead() override;
    void ReportShortConfiguration(int received, int needed) override;
    void ConfigurationWriteRefused() override;
    void WaitForReboot(int ms) override;
    void ShowAuditReply(const Bytes& frame) override;
    void ShowDeviceProgrammed() override;
    void ShowStatus(const std::string& text) override;
    void ShowProgress(int percent) override;
    void ShowDeviceChecksum(const std::string& hexDigits) override;
    void CountBlockRetry() override;
    void CountBootstrapRetry() override;
    void ButtonsBusy() override;
    void UpdateVerified() override;
    void ReportFlashResult(int32_t result, int32_t blockNo) override;
    void UpdateAbandoned() override;

    // A COM entry of the port menu is chosen (not the USB entry).
    bool SerialMode() const { return ComPort < UsbEntry; }
    // The configuration screen's side of the window.
    bool ConfiguresLoadedImage() const override { return programmer_->ConfiguresLoadedImage(); }
    // What "DISCONNECTED" stands for: no acceptor answering, no module in use.
    bool DeviceConnected() const { return Session.State().AcceptorFound || Module.KduInUse != 0; }
    bool FirmwareImageLoaded() const override { return HexFileLoaded; }
    bool ExtractConfigFromImage() override;
    QString FirmwareModelName() const override;
    void ShowModuleList(bool shown) override;
    void HideModuleAuditData() override;
    void ClearIdentification();
    void SetTextColour(QLabel* label, int32_t colour);
    void SetBackground(QWidget* widget, int32_t colour);

    PictureSequence pictures_;
    int buttonVariant_ = 0;
    bool buttonState_ = false;
    bool buttonsKnown_ = true;  // false: the next ManageButtonStates always applies
    int32_t storedFrameColour_ = 0;
    double horizontalScale_ = 1, verticalScale_ = 1;
    int contentWidth_ = 0, contentHeight_ = 0;
    QPoint frame5Position_, auditFramePosition_;
    int lastHorizontal_ = 1, lastVertical_ = 1;
    QMetaObject::Connection focusWatch_;
    int wheelRest_ = 0;  // the part of a notch that high-resolution wheels have turned so far
    bool unloaded_ = false;
    UnitMode unitMode_ = UnitMode::None;
    int blockRetries_ = 0;      // shown in Label60
    int bootstrapRetries_ = 0;  // shown in Label61
    bool usbStarted_ = false;
    int deviceNoticeDepth_ = 0;
    std::vector<std::function<void()>> afterDeviceNotice_;
    KduFileListModel* kduFileRows_ = nullptr;
};

}  // namespace kovrin
