// The module's audit files in the main window: enabling audit mode, and
// reading an audit file into the audit list of frmKDUAuditData.

#include <QItemSelectionModel>
#include <QPushButton>
#include <QTreeView>

#include "app/mainwindow/form_main.h"
#include "app/module/kdu_file_list_model.h"

namespace kovrin {

void FormMain::cmdViewAudit_Click()
{
    if (Module.ModuleBusy)
        return;
    if (cmdViewAudit->text() == "View Audit Data")
        ViewKduAudit();
    else
        EnableAuditMode();
}

void FormMain::EnableAuditMode()
{
    Module.EnableAuditMode();
}

void FormMain::ViewKduAudit()
{
    if (kduFileRows_->rowCount() == 0)
        return;
    const QModelIndexList selected = ListKDU->selectionModel()->selectedRows();
    Module.ViewKduAudit(selected.isEmpty() ? nullptr : kduFileRows_->Row(selected.front().row()));
}

}  // namespace kovrin
