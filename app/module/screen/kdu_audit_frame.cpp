#include "app/module/screen/kdu_audit_frame.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTreeView>
#include <QVBoxLayout>

#include "app/module/audit_export.h"
#include "app/module/audit_table_model.h"
#include "app/widgets/message_seam.h"
#include "app/widgets/value_label.h"

namespace kovrin {

KduAuditFrame::KduAuditFrame(QWidget* parent, const QLocale& locale) : QGroupBox("Audit Data stored on KDU", parent)
{
    setObjectName("frmKDUAuditData");
    AuditRows = new AuditTableModel(this, locale);

    ListViewAudit = new QTreeView(this);
    ListViewAudit->setObjectName("ListViewAudit");
    ListViewAudit->setAccessibleName("Audit records");
    ListViewAudit->setRootIsDecorated(false);
    ListViewAudit->setItemsExpandable(false);
    ListViewAudit->setAllColumnsShowFocus(true);
    // Rows of one height let the view lay out tens of thousands of records at once.
    ListViewAudit->setUniformRowHeights(true);
    ListViewAudit->header()->setStretchLastSection(false);
    ListViewAudit->setModel(AuditRows);

    lblAuditStatus = new QLabel(this);
    lblAuditStatus->setObjectName("lblAuditStatus");
    MakeValueLabel(lblAuditStatus, "Audit file status");
    lblAuditStatus->setWordWrap(true);
    lblAuditStatus->hide();

    cmdSaveAuditData = new QPushButton("Save Audit Data", this);
    cmdSaveAuditData->setObjectName("cmdSaveAuditData");
    cmdSaveAuditData->setAccessibleName("Save Audit Data");
    connect(cmdSaveAuditData, &QPushButton::clicked, this, &KduAuditFrame::cmdSaveAuditData_Click);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdSaveAuditData);
    auto* all = new QVBoxLayout(this);
    all->addWidget(ListViewAudit, 1);
    all->addWidget(lblAuditStatus);
    all->addLayout(buttons);
}

void KduAuditFrame::ShowAuditFile(std::span<const uint8_t> file, AuditFileKind kind)
{
    AuditFileRecords decoded = DecodeAuditFile(file, kind);
    AuditRows->SetRecords(std::move(decoded.Records));
    const QString tail = AuditTailText(decoded.TailBytes, kind);
    lblAuditStatus->setText(tail);
    lblAuditStatus->setVisible(!tail.isEmpty());
    FitToColumns();
    show();
}

void KduAuditFrame::FitToColumns()
{
    const int listWidth = ListViewAudit->header()->length() + 2 * ListViewAudit->frameWidth() +
                          ListViewAudit->verticalScrollBar()->sizeHint().width();
    ListViewAudit->setFixedWidth(listWidth);
    const QMargins margins = contentsMargins() + layout()->contentsMargins();
    resize(listWidth + margins.left() + margins.right(), height());
}

void KduAuditFrame::cmdSaveAuditData_Click()
{
    QString path;
    for (;;) {
        FileDialogRequest request;
        request.kind = FileDialogKind::Save;
        request.title = "Save Tyx Audit";
        request.filter = "TYX Audit Files (*.txt)|*.txt|All Files (*.*)|*.*";
        request.confirmOverwrite = true;
        const std::optional<QString> chosen = FileDialog(this, request);
        if (!chosen)
            return;
        if (!chosen->isEmpty()) {
            path = *chosen;
            break;
        }
        MsgBox(this, "Please type in the file name.");
    }
    if (const QString error = SaveAuditText(path, AuditExportText(*ListViewAudit->model())); !error.isEmpty()) {
        MsgBox(this, error);
        return;
    }
    MsgBox(this, "Audit data saved.", MsgButtons::Ok, MsgIcon::None, "Save complete");
}

}  // namespace kovrin
