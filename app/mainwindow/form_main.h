#pragma once
// The main window: the acceptor link's handlers and what they show.

#include <QMainWindow>
#include <array>
#include <functional>
#include <memory>
#include <set>
#include <vector>

#include "comm_port.h"
#include "configuration_frame.h"
#include "eeprom_map.h"
#include "eeprom_record.h"
#include "flash_update.h"
#include "hex_file.h"
#include "identification.h"
#include "kdu_directory.h"
#include "picture_sequence.h"
#include "qel_usb_client.h"
#include "rx_assembler.h"
#include "serial_frame.h"

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

namespace kovrin {

class KduFileListModel;

class FormMain : public QMainWindow, private FlashUpdateHost, private ConfigHost {
    Q_OBJECT
public:
    FormMain();
    ~FormMain() override;

    // The load sequence; runs once, from Main, before the window shows.
    void Form_Load();

    // ---- link state (program-wide in the original design; one window owns it)
    int16_t ComPort = 1;
    int16_t FlashMode = False;
    int16_t bUSBLoaded = False;
    int16_t bPortErrorShown = False;
    int16_t MissedReplyCount = 0;
    int16_t ReplyTimedOut = False;
    uint8_t ReplyCode = 0;
    uint8_t LastCommand = 0;
    int32_t FrameAddress = 0;
    uint8_t FlashInhibit = 0;
    int16_t HexFileLoaded = False;
    uint8_t ImageVariant = 0;
    uint16_t ImageCode = 0;
    int16_t SuperUserMode = 0;
    int16_t bStampDatePending = False;
    int16_t ConfigWritePending = False;
    int16_t AcceptorCode = 0;
    std::string AcceptorSerialText;
    std::string AcceptorInfoText;
    std::string SoftwareNameText;
    std::string FirmwareVersionText;
    int32_t MemoryReadAddress = 0;
    int32_t PagedReadState = 0;
    uint8_t UnitCalibrated = 0;
    EepromImage ConfigImage{};
    EepromImage FactoryImage{};
    TxBuffer TxFrame{};
    RxAssembler Rx;
    Bytes RxFrame;  // the frame being dispatched

    // Date stamps sent to an identified acceptor without an answer; bounded
    // so one that ignores the stamp is polled as usual again.
    int StampDateAttempts = 0;
    // The audit counters were asked for; the next poll tick sends the request.
    bool AuditRequestPending = false;
    static constexpr int MaxStampDateAttempts = 5;
    // A configuration write waits for the unit's own audit counters, read
    // just before it; the image to send once they are in.
    bool ConfigWriteAwaitingCounters = false;
    EepromImage PendingWriteImage{};
    int16_t PendingWriteLength = 0;
    EepromLayout PendingWriteLayout = EepromLayout::None;

    CommPort* MSComm1 = nullptr;

    // ---- controls
    QFrame* Frame5 = nullptr;
    QFrame* frmKDUAuditData = nullptr;
    ConfigurationFrame* frmConfiguration = nullptr;
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
    std::array<QPushButton*, 10> cmdCalibrate{};
    std::array<QPushButton*, 10> cmdSend{};
    std::array<QPushButton*, 10> cmdRefresh{};
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
    FlashUpdate Flash{*this};
    bool HexLoading = false;     // a firmware file is being read
    bool UpdateRunning = false;  // an update over the serial link is under way
    bool Busy() const { return HexLoading || UpdateRunning || ModuleBusy; }
    void LoadHexFile();
    void StartAcceptorUpdate();
    // Whatever ended the update, the window is ready for the next one.
    void EndUpdate();
    // The names shown for the image and the acceptor are the same (never for variant 6).
    bool ImageNamedAsAcceptor() const;

    // ---- link operations
    void Connect();
    void OpenPortFlashSpeed();
    void PDTCommand(int16_t code);
    void SendMessage();
    void SendWakeByte() override;
    void ReadEepromBlock(int32_t kind);
    void SendStatusDateTime();
    void PollTick();
    // Dispatches the frame in RxFrame; with none (the guard timer) only the
    // update machine has something to do.
    void ProcessAcceptorReply();

    void ManageButtonStates(int MachineId, int16_t state);
    void ManageImages(int variant);
    void FlashConfigFrame(int32_t colour) override;
    void RestoreConfigFrameColour();
    void ShowConfiguration(const EepromRecord& record, int variant);
    // The acceptor model name changed: the configuration screen follows it.
    void SetMachineName(const QString& name);
    void DownloadConfiguration(EepromRecord& record);
    void SendConfigurationWrite(const EepromImage& image, int16_t length);
    // The read before a write answered (or did not): send the write or refuse it.
    void FinishConfigurationWrite();
    void RefuseConfigurationWrite();

    // ---- programming module (form_main_module.cpp)
    // The unit the module operations address (0: none); ComboPort's selection follows it.
    UsbDevice KduInUse = 0;
    // What the last listing of its files found (AuditFileId, the present flags, RevisionTable).
    KduFileList KduFiles;
    // The last listing failed: no file is created until a listing succeeds.
    bool KduListStale = true;
    bool ModuleBusy = false;  // a download to the module is under way
    void DeviceChangeCallback(UsbDevice handle, int32_t event, int32_t unitType);
    void RefreshKduFileList(UsbDevice handle);
    void ShowUsbError(UsbResult result);
    // Reads a module file whole into `data`; 0 when it was read and closed, else its messages were shown.
    uint8_t ReadKduFile(uint16_t fileNo, Bytes& data);
    void DeleteKduFile(uint16_t fileNo);
    void ConfirmEraseKduFile(const KduFileRow& line);
    void DownloadFirmwareToKdu(uint32_t variantId);
    void DownloadConfigurationToKdu(const EepromRecord& record);
    void RefreshConfigurationFromKdu();
    // Starts the USB library (VoskUsb_Initialise's result); units already attached are reported during it.
    int32_t StartUsbLibrary();
    // Stops the USB library if it was started and forgets its units.
    void StopUsbLibrary();

public slots:
    void CommandKDUErase_Click();
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
    void TakeKduIntoUse(UsbDevice handle);
    void ResetModuleScreen();
    void SelectUnitInUse();
    void ShowModuleButtons();
    // A unit is in use and its file list is whole (listed again if it was not); else says why not.
    bool KduReadyForNewFile();
    // A download runs: no other module operation, port change or download starts meanwhile.
    void BeginModuleWork();
    void EndModuleWork();
    // Keeps the window painted during a download without taking user input or device notices.
    void KeepWindowPainted();
    // Messages of a device notice wait until the library's call has returned.
    void ModuleMessage(const QString& text, const QString& title = {});
    void AfterDeviceNotice(std::function<void()> action);
    void RunAfterDeviceNotice();
    void BuildMenus();
    void Form_Resize();
    void Form_Unload();
    void HscrollMove(int distance);
    void VscrollMove(int distance);
    void Identify();
    void TakeIdentificationTexts(const IdentificationReply& reply);
    void ShowAcceptorName();
    void ShowUnitState(uint8_t unitState);
    void ShowHardwareFound();
    void PagedRead();
    void ConfigurationRead();
    void HandleAuditReply();
    void ProcessFlashModeReply();
    // False, with a message, when the attached acceptor has no configuration layout.
    bool ConfigurationPossible();
    void IdentifyBootLoader();
    void ReportFlashResult();
    void ShowImageDescription();
    void SetFirmwareButtons();

    // The step machine's side of the link and the window.
    void SendEraseMemory() override;
    void SendUpdateBootstrap() override;
    void SendVerifyChecksum() override;
    void SendResetAuditData() override;
    bool SendFlashBlock(const FlashBlock& block, uint8_t FlashBank) override;
    void Pause(int ms) override;
    void ArmGuard(int ms) override;
    void ShowStatus(const std::string& text) override;
    void ShowProgress(int percent) override;
    void ShowDeviceChecksum(const std::string& hexDigits) override;
    void CountBlockRetry() override;
    void CountBootstrapRetry() override;
    void ButtonsBusy() override;
    void UpdateVerified() override;

    // The configuration screen's side of the window.
    bool SerialMode() const override { return ComPort < UsbEntry; }
    bool FirmwareImageLoaded() const override { return HexFileLoaded == True; }
    bool ExtractConfigFromImage() override;
    QString FirmwareModelName() const override;
    void ShowModuleList(bool shown) override;
    void HideModuleAuditData() override;
    void RestartPolling();
    void ClearIdentification();
    void UpdateVariantControls();
    void SetPortSettings(const char* settings);
    void SetTextColour(QLabel* label, int32_t colour);
    void SetBackground(QWidget* widget, int32_t colour);

    PictureSequence pictures_;
    int buttonVariant_ = 0;
    int16_t buttonState_ = False;
    bool buttonsKnown_ = true;  // false: the next ManageButtonStates always applies
    int32_t storedFrameColour_ = 0;
    double horizontalScale_ = 1, verticalScale_ = 1;
    int contentWidth_ = 0, contentHeight_ = 0;
    QPoint frame5Position_, auditFramePosition_;
    int lastHorizontal_ = 1, lastVertical_ = 1;
    bool unloaded_ = false;
    bool usbStarted_ = false;
    int deviceNoticeDepth_ = 0;
    std::vector<std::function<void()>> afterDeviceNotice_;
    std::set<UsbDevice> usableUnits_;  // opened KDUs with current software
    KduFileListModel* kduFileRows_ = nullptr;
};

}  // namespace kovrin
