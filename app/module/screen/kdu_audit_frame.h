#pragma once
// "Audit Data stored on KDU": the records of one module audit file in the
// list ListViewAudit, and the button that saves the list as text.

#include <QGroupBox>
#include <QLocale>
#include <cstdint>
#include <span>

#include "app/module/audit_records.h"

class QLabel;
class QPushButton;
class QTreeView;

namespace kovrin {

class AuditTableModel;

class KduAuditFrame : public QGroupBox {
    Q_OBJECT
public:
    explicit KduAuditFrame(QWidget* parent = nullptr, const QLocale& locale = QLocale());

    // Fills the list from a whole audit file (leading byte included), fits the
    // frame to the list's columns and shows it. A tail too short for a record
    // is not shown as a row; the status line says so.
    void ShowAuditFile(std::span<const uint8_t> file, AuditFileKind kind);

    QTreeView* ListViewAudit = nullptr;
    QPushButton* cmdSaveAuditData = nullptr;
    QLabel* lblAuditStatus = nullptr;
    AuditTableModel* AuditRows = nullptr;

public slots:
    void cmdSaveAuditData_Click();

private:
    void FitToColumns();
};

}  // namespace kovrin
