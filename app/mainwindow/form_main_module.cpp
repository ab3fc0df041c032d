// The programming module in the main window: the units the USB library
// reports, the module's file list and erase, and what the module session
// shows of its flows.

#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>
#include <array>
#include <cstring>
#include <memory>

#include "app/config/eeprom_map.h"
#include "app/mainwindow/form_main.h"
#include "app/module/kdu_file_list_model.h"
#include "app/widgets/message_seam.h"
#include "app/module/module_texts.h"

namespace kovrin {

namespace {

constexpr int32_t Green = 0xFF00;

QString Text(const std::string& s)
{
    return QString::fromStdString(s);
}

}  // namespace

void FormMain::BuildModuleControls(QWidget* central)
{
    // Beside the acceptor's panel, inside the main panel, so the scroll bars reach it.
    FrameKDU = new QFrame(Frame5);
    FrameKDU->setObjectName("FrameKDU");
    FrameKDU->setGeometry(1052, 0, 560, 620);
    FrameKDU->setFrameShape(QFrame::StyledPanel);
    FrameKDU->setAutoFillBackground(true);
    FrameKDU->setAccessibleName("Programming module");

    kduFileRows_ = new KduFileListModel(this);
    ListKDU = new QTreeView(FrameKDU);
    ListKDU->setObjectName("ListKDU");
    ListKDU->setAccessibleName("Module files");
    ListKDU->setGeometry(16, 16, 528, 484);
    ListKDU->setModel(kduFileRows_);
    ListKDU->setRootIsDecorated(false);
    ListKDU->setUniformRowHeights(true);
    ListKDU->setAllColumnsShowFocus(true);
    ListKDU->setSelectionMode(QAbstractItemView::SingleSelection);
    ListKDU->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListKDU->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Where the list's tab stops stood: number, name, type, size.
    ListKDU->header()->resizeSection(KduFileListModel::NumberColumn, 50);
    ListKDU->header()->resizeSection(KduFileListModel::NameColumn, 230);
    ListKDU->header()->resizeSection(KduFileListModel::TypeColumn, 150);
    ListKDU->header()->setStretchLastSection(true);

    CommandKDUErase = new QPushButton("Erase", FrameKDU);
    CommandKDUErase->setObjectName("CommandKDUErase");
    CommandKDUErase->setAccessibleName("Erase");
    CommandKDUErase->setGeometry(16, 514, 120, 36);
    connect(CommandKDUErase, &QPushButton::clicked, this, &FormMain::CommandKDUErase_Click);
    cmdViewAudit = new QPushButton("View Audit", FrameKDU);
    cmdViewAudit->setObjectName("cmdViewAudit");
    cmdViewAudit->setAccessibleName("View Audit");
    cmdViewAudit->setGeometry(150, 514, 180, 36);
    connect(cmdViewAudit, &QPushButton::clicked, this, &FormMain::cmdViewAudit_Click);
    FrameKDU->hide();
    frmKDUAuditData = new KduAuditFrame(central);
    frmKDUAuditData->setGeometry(8, 636, 1612, 264);
    frmKDUAuditData->setAutoFillBackground(true);
    frmKDUAuditData->hide();

    // The units attached, shown while the "USB" entry is in use.
    ComboPortCaption = new QLabel("USB unit", Frame5);
    ComboPortCaption->setGeometry(740, 196, 280, 20);
    ComboPort = new QComboBox(Frame5);
    ComboPort->setObjectName("ComboPort");
    ComboPort->setAccessibleName("USB unit");
    ComboPort->setGeometry(740, 218, 280, 30);
    ComboPortCaption->setBuddy(ComboPort);
    ComboPortCaption->hide();
    ComboPort->hide();
    connect(ComboPort, &QComboBox::activated, this, &FormMain::ComboPort_Click);

    SetDeviceChangeListener(
        [this](UsbDevice handle, int32_t event, int32_t unitType) { DeviceChangeCallback(handle, event, unitType); });
}

// ---- what the module session shows

class ModuleWindowHost final : public ModuleSessionHost {
public:
    explicit ModuleWindowHost(FormMain& form) : f(form) {}

    void Message(const std::string& text, const std::string& title) override
    {
        f.ModuleMessage(Text(text), Text(title));
    }
    bool Confirm(const std::string& text) override
    {
        return MsgBox(&f, Text(text), MsgButtons::OkCancel) == MsgResult::Ok;
    }
    void ShowUnitConnected(bool arrived) override
    {
        if (arrived)
            f.cmdViewAudit->hide();  // a unit arriving hides it; the access code shows it
        f.SelectUnitInUse();
        f.Label7[0]->setText("CONNECTED TO KDU");
    }
    void ShowModuleReady() override
    {
        f.ManageImages(8);
        f.FrameKDU->show();
        f.CommandKDUErase->show();
        f.ListKDU->setVisible(!f.frmConfiguration->isVisible());
        f.ShowModuleButtons();
    }
    void ShowModuleGone() override
    {
        f.ShowDisconnected();
        f.ManageImages(0);
        f.FrameKDU->hide();
        f.ListKDU->hide();
        f.CommandKDUErase->hide();
        f.cmdViewAudit->hide();
        f.frmKDUAuditData->hide();
        f.kduFileRows_->Clear();
        f.ShowModuleButtons();
    }
    void ShowFileList(const KduFileList& files) override
    {
        f.kduFileRows_->SetRows(files.Lines, files.Complete);
        f.ListKDU->setFirstColumnSpanned(0, {}, files.Complete && files.Lines.empty());
        const bool audit = files.AuditFileId >= 0 || files.TekraAuditFileId >= 0;
        f.cmdViewAudit->setText(audit ? "View Audit Data" : "Enable Audit Mode");
        f.cmdViewAudit->setAccessibleName(f.cmdViewAudit->text());
    }
    void SetProgressRange(int maximum) override { f.ProgressBar1->setRange(0, maximum); }
    void SetProgress(int value) override { f.ProgressBar1->setValue(value); }
    void ShowDownloadStatus(const std::string& text) override { f.lblDisplay->setText(Text(text)); }
    void ShowConfigurationStatus(const std::string& text) override { f.LabelNaStatusMessage->setText(Text(text)); }
    void ShowConfigurationRead(const EepromRecord& record) override
    {
        f.State.CurrentRecord = record;
        f.State.ConfigSource = ConfigFromAcceptor;
        f.ShowConfiguration(f.State.CurrentRecord, f.State.AcceptorVariant);
        const auto* serial = reinterpret_cast<const char*>(f.State.CurrentRecord.SerialNumber.data());
        const QString serial10 = QString::fromLatin1(serial, qsizetype(strnlen(serial, 10)));
        f.lblCSerial->setText(serial10);
        f.txtSerial->setText(serial10);
        f.FlashConfigFrame(Green);
    }
    void ShowAuditFile(const Bytes& file, AuditFileKind kind) override { f.frmKDUAuditData->ShowAuditFile(file, kind); }
    void WorkStarted() override
    {
        f.SetFirmwareButtons();
        for (QWidget* w : Blocked())
            w->setEnabled(false);
        QApplication::setOverrideCursor(Qt::WaitCursor);
    }
    void WorkEnding() override
    {
        // Clicks made meanwhile meet the disabled controls and go.
        QApplication::processEvents(QEventLoop::ExcludeSocketNotifiers);
        QApplication::restoreOverrideCursor();
        for (QWidget* w : Blocked())
            w->setEnabled(true);
    }
    void WorkEnded() override { f.SetFirmwareButtons(); }
    void KeepPainted() override
    {
        // No user input and no device notices meanwhile.
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::ExcludeSocketNotifiers);
    }

private:
    // No other module operation, port change or download starts during a transfer.
    std::array<QWidget*, 4> Blocked() const { return {f.FrameKDU, f.ComboPort, f.menuBar(), f.frmConfiguration}; }

    FormMain& f;
};

std::unique_ptr<ModuleSessionHost> FormMain::MakeModuleHost()
{
    return std::make_unique<ModuleWindowHost>(*this);
}

// ---- the library and its units

int32_t FormMain::StartUsbLibrary()
{
    usbStarted_ = true;
    ComboPortCaption->show();
    ComboPort->show();
    return VoskUsb_Initialise(&kovrin::DeviceChangeCallback);
}

void FormMain::StopUsbLibrary()
{
    if (usbStarted_) {
        VoskUsb_Remove();
        usbStarted_ = false;
    }
    bUSBLoaded = false;
    // The library has let go of every handle: no entry may keep one.
    ComboPort->clear();
    Module.LibraryStopped();
    ComboPortCaption->hide();
    ComboPort->hide();
}

void FormMain::DeviceChangeCallback(UsbDevice handle, int32_t event, int32_t unitType)
{
    if (!usbStarted_)
        return;
    ++deviceNoticeDepth_;
    if (event == USB_DEVICE_REMOVED) {
        Module.UnitRemoved(handle);
        const int entry = ComboPort->findData(QVariant::fromValue(handle));
        if (entry >= 0)
            ComboPort->removeItem(entry);
    } else if (event == USB_DEVICE_ARRIVED) {
        ComboPort->addItem(QString::number(handle, 16).toUpper() + " " + Text(UnitName(unitType)),
                           QVariant::fromValue(handle));
        const ModuleSession::Arrival arrival = Module.UnitArrived(handle, unitType);
        if (arrival != ModuleSession::Arrival::NotOpened)
            bUSBLoaded = true;
        // Not while the library is still reporting: stopping it is part of the switch.
        if (arrival == ModuleSession::Arrival::Refused)
            AfterDeviceNotice([this] { mnuCom1_Click(1); });
    }
    SelectUnitInUse();
    if (--deviceNoticeDepth_ == 0 && !afterDeviceNotice_.empty())
        QTimer::singleShot(0, this, &FormMain::RunAfterDeviceNotice);
}

void FormMain::SelectUnitInUse()
{
    ComboPort->setCurrentIndex(Module.KduInUse ? ComboPort->findData(QVariant::fromValue(Module.KduInUse)) : -1);
}

void FormMain::ShowModuleButtons()
{
    if (!SerialMode())
        ManageButtonStates(State.AcceptorVariant, Module.KduInUse != 0);
}

void FormMain::ComboPort_Click(int index)
{
    if (!Module.ChooseUnit(ComboPort->itemData(index).value<UsbDevice>()))
        SelectUnitInUse();
}

void FormMain::ModuleMessage(const QString& text, const QString& title)
{
    const QString shownTitle = title.isEmpty() ? QString(ProgramTitle) : title;
    if (deviceNoticeDepth_ == 0) {
        MsgBox(this, text, MsgButtons::Ok, MsgIcon::None, shownTitle);
        return;
    }
    // A message box inside the library's call would run device notices inside it.
    AfterDeviceNotice([this, text, shownTitle] { MsgBox(this, text, MsgButtons::Ok, MsgIcon::None, shownTitle); });
}

void FormMain::AfterDeviceNotice(std::function<void()> action)
{
    afterDeviceNotice_.push_back(std::move(action));
}

void FormMain::RunAfterDeviceNotice()
{
    std::vector<std::function<void()>> actions;
    actions.swap(afterDeviceNotice_);
    for (auto& action : actions)
        action();
}

// ---- the file list and erase

void FormMain::RefreshKduFileList(UsbDevice handle)
{
    Module.RefreshKduFileList(handle);
}

void FormMain::CommandKDUErase_Click()
{
    if (Module.ModuleBusy || kduFileRows_->rowCount() == 0)
        return;
    const QModelIndexList selected = ListKDU->selectionModel()->selectedRows();
    const KduFileRow* line = selected.isEmpty() ? nullptr : kduFileRows_->Row(selected.front().row());
    // "No Files found" names no file.
    if (!line || !line->Number) {
        MsgBox(this, "No file selected");
        return;
    }
    ConfirmEraseKduFile(*line);
}

void FormMain::ConfirmEraseKduFile(const KduFileRow& line)
{
    Module.ConfirmEraseKduFile(line);
}

// ---- downloads and the read-back

KduConfigTarget FormMain::ModuleConfigTarget() const
{
    return {ImageVariant, State.FactoryRecord.SetupRevision, State.FactoryRecord.CalibrationRevision};
}

}  // namespace kovrin
