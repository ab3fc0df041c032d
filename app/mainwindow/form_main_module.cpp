// The programming module in the main window: the units the USB library
// reports, the module's file list and erase, and the downloads of the
// firmware and the configuration to it.

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

#include "app/config/eeprom_map.h"
#include "app/mainwindow/form_main.h"
#include "app/module/kdu_file_list_model.h"
#include "app/widgets/message_seam.h"
#include "app/module/module_downloads.h"
#include "app/module/module_texts.h"
#include "app/module/module_transfers.h"
#include "app/link/update_frames.h"

namespace kovrin {

namespace {

// A module below this software revision (revision byte 1) is refused.
constexpr uint8_t MinimumKduSoftware = 5;
constexpr size_t RevisionBufferLength = 10;
constexpr int32_t Green = 0xFF00;

QString Text(const std::string& s)
{
    return QString::fromStdString(s);
}

}  // namespace

QString FormMain::Lines(const std::vector<std::string>& lines)
{
    QStringList all;
    for (const std::string& l : lines)
        all << Text(l);
    return all.join('\n');
}

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
    usableUnits_.clear();
    ComboPort->clear();
    if (KduInUse) {
        KduInUse = 0;
        ResetModuleScreen();
    }
    ComboPortCaption->hide();
    ComboPort->hide();
}

void FormMain::DeviceChangeCallback(UsbDevice handle, int32_t event, int32_t unitType)
{
    if (!usbStarted_)
        return;
    ++deviceNoticeDepth_;
    const auto done = [this] {
        SelectUnitInUse();
        if (--deviceNoticeDepth_ == 0 && !afterDeviceNotice_.empty())
            QTimer::singleShot(0, this, &FormMain::RunAfterDeviceNotice);
    };
    const ModuleExports& usb = QelUsbExports();
    if (event == USB_DEVICE_REMOVED) {
        if (const UsbResult closed = usb.CloseDevice(handle))
            ShowUsbError(closed);
        usableUnits_.erase(handle);
        // Only the unit in use takes the module screen with it.
        if (handle == KduInUse) {
            KduInUse = 0;
            ResetModuleScreen();
        }
        const int entry = ComboPort->findData(QVariant::fromValue(handle));
        if (entry >= 0)
            ComboPort->removeItem(entry);
        done();
        return;
    }
    if (event != USB_DEVICE_ARRIVED) {
        done();
        return;
    }
    ComboPort->addItem(QString::number(handle, 16).toUpper() + " " + Text(UnitName(unitType)),
                       QVariant::fromValue(handle));
    if (const UsbResult opened = usb.OpenDevice(handle)) {
        ShowUsbError(opened);
        done();
        return;
    }
    bUSBLoaded = true;
    uint8_t revision[RevisionBufferLength] = {};
    if (const UsbResult result = usb.PMGetFWRev(handle, revision)) {
        ShowUsbError(result);
        done();
        return;
    }
    if (revision[1] < MinimumKduSoftware) {
        ModuleMessage("KDU software needs to be updated.  Cannot connect to KDU.", "Old KDU App software");
        usb.CloseDevice(handle);
        // Not while the library is still reporting: stopping it is part of the switch.
        AfterDeviceNotice([this] { mnuCom1_Click(1); });
        done();
        return;
    }
    if (unitType == USB_DEVICE_KDU) {
        // A transfer cut short by an unplug may have left a file open on the module, which then
        // refuses every new file and the erase of that one; a close with none open does no harm.
        uint8_t closeStatus = 0;
        usb.PMCloseFile(handle, &closeStatus);
        usableUnits_.insert(handle);
        cmdViewAudit->hide();  // a unit arriving hides it; the access code shows it
        TakeKduIntoUse(handle);
    }
    done();
}

void FormMain::TakeKduIntoUse(UsbDevice handle)
{
    KduInUse = handle;
    SelectUnitInUse();
    Label7[0]->setText("CONNECTED TO KDU");
    RefreshKduFileList(handle);
    ManageImages(8);
    FrameKDU->show();
    CommandKDUErase->show();
    ListKDU->setVisible(!frmConfiguration->isVisible());
    ShowModuleButtons();
}

void FormMain::ResetModuleScreen()
{
    ShowDisconnected();
    ManageImages(0);
    FrameKDU->hide();
    ListKDU->hide();
    CommandKDUErase->hide();
    cmdViewAudit->hide();
    frmKDUAuditData->hide();
    kduFileRows_->Clear();
    KduFiles = {};
    KduListStale = true;
    ShowModuleButtons();
}

void FormMain::SelectUnitInUse()
{
    ComboPort->setCurrentIndex(KduInUse ? ComboPort->findData(QVariant::fromValue(KduInUse)) : -1);
}

void FormMain::ShowModuleButtons()
{
    if (!SerialMode())
        ManageButtonStates(AcceptorVariant, KduInUse != 0);
}

void FormMain::ComboPort_Click(int index)
{
    const UsbDevice chosen = ComboPort->itemData(index).value<UsbDevice>();
    // Choosing a module again lists its files again.
    if (!ModuleBusy && usableUnits_.count(chosen))
        TakeKduIntoUse(chosen);
    else
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

void FormMain::ShowUsbError(UsbResult result)
{
    ModuleMessage(Text(UsbErrorText(result)));
}

// ---- the file list and erase

void FormMain::RefreshKduFileList(UsbDevice handle)
{
    KduFiles = EnumerateKduFiles(QelUsbExports(), handle);
    KduListStale = !KduFiles.Complete;
    kduFileRows_->SetRows(KduFiles.Lines, KduFiles.Complete);
    ListKDU->setFirstColumnSpanned(0, {}, KduFiles.Complete && KduFiles.Lines.empty());
    const bool audit = KduFiles.AuditFileId >= 0 || KduFiles.TekraAuditFileId >= 0;
    cmdViewAudit->setText(audit ? "View Audit Data" : "Enable Audit Mode");
    cmdViewAudit->setAccessibleName(cmdViewAudit->text());
    if (KduFiles.Failure)
        ShowUsbError(KduFiles.Failure);
    else if (KduFiles.Capped)
        ModuleMessage(QString("The KDU reported more than %1 files; the list stops there.").arg(MaxKduDirectoryEntries));
}

void FormMain::CommandKDUErase_Click()
{
    if (ModuleBusy || kduFileRows_->rowCount() == 0)
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
    QString name = QString::fromLatin1(line.Name.data(), qsizetype(line.Name.size()));
    while (name.endsWith(' '))
        name.chop(1);
    const uint16_t number = *line.Number;  // the row goes with the list's refresh
    // The number names a file on this unit only; another may be taken into use while the box is open.
    const UsbDevice unit = KduInUse;
    if (MsgBox(this, "Confirm erase file \"" + name + "\"", MsgButtons::OkCancel) != MsgResult::Ok)
        return;
    if (!unit || KduInUse != unit) {
        MsgBox(this, "The KDU that file was on is no longer the one in use; nothing was erased.");
        return;
    }
    DeleteKduFile(number);
}

void FormMain::DeleteKduFile(uint16_t fileNo)
{
    if (!KduInUse)
        return;
    const KduFileDelete deleted = kovrin::DeleteKduFile(QelUsbExports(), KduInUse, fileNo);
    if (deleted.Result)
        ShowUsbError(deleted.Result);
    else if (deleted.Status == 0)
        RefreshKduFileList(KduInUse);
    else
        MsgBox(this, "File Delete Error");
}

KduFileRead FormMain::ReadListedKduFile(uint16_t fileNo, const std::function<void(size_t)>& progress)
{
    // The directory's size may lag behind the data; only a read that never ends is refused.
    return kovrin::ReadKduFile(QelUsbExports(), KduInUse, fileNo, KduFileReadLimit, progress);
}

uint8_t FormMain::ReadKduFile(uint16_t fileNo, Bytes& data)
{
    data.clear();
    if (!KduInUse) {
        MsgBox(this, "No USB Handle");
        return 1;
    }
    KduFileRead read = ReadListedKduFile(fileNo);
    for (const std::string& message : read.Messages)
        ModuleMessage(Text(message));
    data = std::move(read.Data);
    return read.Status;
}

// ---- downloads

bool FormMain::KduReadyForNewFile()
{
    if (!KduInUse) {
        MsgBox(this, "No USB Handle");
        return false;
    }
    if (KduListStale)
        RefreshKduFileList(KduInUse);
    if (!KduListStale)
        return true;
    MsgBox(this, "The list of files on the KDU could not be read, so nothing was written to it.");
    return false;
}

void FormMain::BeginModuleWork()
{
    ModuleBusy = true;
    SetFirmwareButtons();
    for (QWidget* w : {static_cast<QWidget*>(FrameKDU), static_cast<QWidget*>(ComboPort),
                       static_cast<QWidget*>(menuBar()), static_cast<QWidget*>(frmConfiguration)})
        w->setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void FormMain::EndModuleWork()
{
    // Clicks made meanwhile meet the disabled controls and go.
    QApplication::processEvents(QEventLoop::ExcludeSocketNotifiers);
    QApplication::restoreOverrideCursor();
    for (QWidget* w : {static_cast<QWidget*>(FrameKDU), static_cast<QWidget*>(ComboPort),
                       static_cast<QWidget*>(menuBar()), static_cast<QWidget*>(frmConfiguration)})
        w->setEnabled(true);
    ModuleBusy = false;
    SetFirmwareButtons();
}

void FormMain::KeepWindowPainted()
{
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::ExcludeSocketNotifiers);
}

void FormMain::DownloadFirmwareToKdu(uint32_t variantId)
{
    if (ModuleBusy)
        return;
    if (!KduReadyForNewFile())
        return;
    if ((variantId == SarnelVariantId && KduFiles.SarnelFirmwarePresent) ||
        (variantId == TekraVariantId && KduFiles.TekraFirmwarePresent)) {
        MsgBox(this, "Cannot have more than one firmware file for a Tyx BA", MsgButtons::Ok, MsgIcon::None,
               "Firmware already loaded");
        return;
    }
    const std::string revision = Label6[3]->text().toStdString();
    const std::optional<std::string> name = FirmwareFileName(revision);
    if (!name) {
        MsgBox(this, "The firmware revision " + Label6[3]->text() +
                         " does not fit the three digits of the module's file name; nothing was written.");
        return;
    }
    const auto date = DateStampData(LocalTimeNow(), !ModuleDateUsesCalendar(Label6[0]->text().toStdString(), revision));
    const std::vector<std::string> records = ModuleFirmwareRecords(Firmware, date);
    const size_t blockCount = Firmware.BlockTable.size();
    std::vector<Bytes> writes;
    std::vector<size_t> blocksDone;  // by write: the blocks wholly written once it is
    for (size_t r = 0; r < records.size(); ++r)
        for (Bytes& piece : RecordWrites(records[r])) {
            writes.push_back(std::move(piece));
            blocksDone.push_back(std::min(r + 1, blockCount));
        }

    ProgressBar1->setRange(0, int(std::max<size_t>(blockCount, 1)));
    ProgressBar1->setValue(0);
    lblDisplay->setText("Downloading to KDU...");
    BeginModuleWork();
    const UsbDevice handle = KduInUse;
    const KduFileWrite outcome =
        WriteKduFile(QelUsbExports(), handle, FirmwareFileEntry(variantId, *name), writes, KduFiles.Numbers(),
                     [&](size_t written) {
                         ProgressBar1->setValue(int(blocksDone[written - 1]));
                         KeepWindowPainted();
                     });
    EndModuleWork();
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(outcome.Written ? 100 : 0);
    lblDisplay->setText(outcome.Written ? "Download complete" : "Download failed");
    if (!outcome.Written)
        MsgBox(this, Lines(outcome.Messages));
    if (KduInUse == handle)
        RefreshKduFileList(handle);
}

void FormMain::DownloadConfigurationToKdu(const EepromRecord& record)
{
    if (ModuleBusy)
        return;
    EepromImage image{};
    const CodecResult encoded = EncodeEepromImage(record, image);
    const int16_t length = EepromLengthOf(record);
    if (!encoded || length == 0) {
        MsgBox(this, Text(encoded ? NoLayoutText(record.VariantCode) : encoded.message) + "\nNothing was sent.");
        return;
    }
    if (!KduReadyForNewFile())
        return;
    const KduFileInfo entry = ConfigFileEntry(ImageVariant, FactoryRecord.SetupRevision, FactoryRecord.CalibrationRevision);
    // One configuration file per variant identifier: the module could not tell two apart.
    if (entry.VariantId == SarnelVariantId ? KduFiles.SarnelConfigPresent : KduFiles.TekraConfigPresent) {
        MsgBox(this, "Cannot have more than one config file for a Tyx BA", MsgButtons::Ok, MsgIcon::None,
               "Configuration already loaded");
        return;
    }
    LabelNaStatusMessage->setText("Loading configuration settings to KDU device");
    EepromLength = length;
    BeginModuleWork();
    const UsbDevice handle = KduInUse;
    const KduFileWrite outcome = WriteKduFile(QelUsbExports(), handle, entry,
                                              Pieces(ModuleConfigContents(image, length), ConfigWriteLength), KduFiles.Numbers());
    EndModuleWork();
    if (outcome.Written) {
        LabelNaStatusMessage->setText("Current configuration settings downloaded to KDU device.");
    } else {
        LabelNaStatusMessage->setText("The configuration was not written to the KDU.");
        MsgBox(this, Lines(outcome.Messages));
    }
    if (KduInUse == handle)
        RefreshKduFileList(handle);
}

void FormMain::RefreshConfigurationFromKdu()
{
    if (ModuleBusy)
        return;
    if (KduInUse && KduListStale)
        RefreshKduFileList(KduInUse);
    std::optional<uint16_t> found;
    for (const auto& [number, entry] : KduFiles.RevisionTable)
        if (entry.Variant == ImageVariant && entry.SetupRevision == FactoryRecord.SetupRevision &&
            entry.CalibrationRevision == FactoryRecord.CalibrationRevision) {
            found = number;
            break;
        }
    if (!found) {
        MsgBox(this, "No configuration file found on BA for currently loaded revision");
        return;
    }
    Bytes data;
    if (ReadKduFile(*found, data) != 0)
        return;
    // The file is decoded by the attached acceptor's layout, so its length is checked against that
    // one, and every byte decoded comes from the file.
    const EepromLayout layout = LayoutOfVariant(AcceptorVariant);
    if (layout == EepromLayout::None) {
        MsgBox(this, Text(NoLayoutText(AcceptorVariant)) + "\nNothing was loaded.");
        return;
    }
    const int16_t needed = EepromLengthOfLayout(layout);
    if (data.size() < size_t(needed)) {
        MsgBox(this, QString("The configuration file on the KDU holds %1 bytes, too few for a configuration; "
                             "nothing was loaded.")
                         .arg(data.size()));
        return;
    }
    EepromImage image{};
    std::copy_n(data.begin(), std::min(data.size(), image.size()), image.begin());
    EepromRecord read = CurrentRecord;
    if (const CodecResult decoded = DecodeEepromImage(read, image, 1); !decoded) {
        MsgBox(this, Text(decoded.message) + "\nNothing was loaded.");
        return;
    }
    CurrentRecord = read;
    ConfigSource = ConfigFromAcceptor;
    ShowConfiguration(CurrentRecord, AcceptorVariant);
    const auto* serial = reinterpret_cast<const char*>(CurrentRecord.SerialNumber.data());
    const QString serial10 = QString::fromLatin1(serial, qsizetype(strnlen(serial, 10)));
    lblCSerial->setText(serial10);
    txtSerial->setText(serial10);
    FlashConfigFrame(Green);
}

}  // namespace kovrin
