// The module's audit files in the main window: enabling audit mode, and
// reading an audit file into the audit list of frmKDUAuditData.

#include <QItemSelectionModel>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeView>
#include <algorithm>
#include <climits>

#include "app/mainwindow/form_main.h"
#include "app/module/audit_files.h"
#include "app/module/kdu_file_list_model.h"
#include "app/widgets/message_seam.h"

namespace kovrin {

void FormMain::cmdViewAudit_Click()
{
    if (ModuleBusy)
        return;
    if (cmdViewAudit->text() == "View Audit Data")
        ViewKduAudit();
    else
        EnableAuditMode();
}

void FormMain::EnableAuditMode()
{
    // The listing is rebuilt after every change to the module, so what it last
    // showed answers this without asking the module.
    if (KduFiles.AuditFileId != -1) {
        MsgBox(this, "Audit mode already enabled!", MsgButtons::Ok, MsgIcon::None, "Audit Mode");
        return;
    }
    // Only a listing that reached the end of the directory tells a missing
    // audit file from one it did not get to, and a second file of a kind would
    // hide the records the module collected in the first.
    if (!KduReadyForNewFile())
        return;
    std::vector<AuditFileKind> missing = {AuditFileKind::Sarnel};
    if (KduFiles.TekraAuditFileId == -1)
        missing.push_back(AuditFileKind::Tekra);
    const UsbDevice handle = KduInUse;
    const std::set<uint16_t> numbersBefore = KduFiles.Numbers();
    QStringList failures;
    BeginModuleWork();
    for (AuditFileKind kind : missing) {
        // A refused create writes nothing: the leading byte would land in whatever file the module has open.
        const KduFileWrite made =
            WriteKduFile(QelUsbExports(), handle, AuditFileEntry(kind), {NewAuditFileContents}, numbersBefore);
        if (!made.Written)
            failures << Lines(made.Messages);
    }
    EndModuleWork();
    for (const QString& failure : failures)
        MsgBox(this, failure);
    if (KduInUse == handle)
        RefreshKduFileList(handle);
}

void FormMain::ViewKduAudit()
{
    if (kduFileRows_->rowCount() == 0)
        return;
    const QModelIndexList selected = ListKDU->selectionModel()->selectedRows();
    if (selected.isEmpty()) {
        MsgBox(this, "Please select a file.", MsgButtons::Ok, MsgIcon::None, "No file selected");
        return;
    }
    const KduFileRow* line = kduFileRows_->Row(selected.front().row());
    const std::optional<AuditFileKind> kind =
        line && line->Number ? AuditFileKindOf(KduFiles, *line->Number) : std::nullopt;
    if (!kind) {
        MsgBox(this, "Not a valid audit file.", MsgButtons::Ok, MsgIcon::None, "Invalid file");
        return;
    }
    if (!KduInUse) {
        MsgBox(this, "No USB Handle");
        return;
    }
    const uint16_t number = *line->Number;
    ProgressBar1->setRange(0, int(std::clamp<uint32_t>(line->Size, 1, INT_MAX)));
    ProgressBar1->setValue(0);
    BeginModuleWork();
    KduFileRead read = ReadListedKduFile(number, [this](size_t done) {
        ProgressBar1->setValue(int(std::min<size_t>(done, size_t(ProgressBar1->maximum()))));
        KeepWindowPainted();
    });
    EndModuleWork();
    ProgressBar1->setValue(read.Status == 0 ? ProgressBar1->maximum() : 0);
    for (const std::string& message : read.Messages)
        MsgBox(this, QString::fromStdString(message));
    if (read.Status != 0) {
        MsgBox(this, "Could not read file from KDU", MsgButtons::Ok, MsgIcon::None, "Read failed");
        return;
    }
    frmKDUAuditData->ShowAuditFile(read.Data, *kind);
}

}  // namespace kovrin
