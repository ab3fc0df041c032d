#include "app/module/audit_table_model.h"

namespace kovrin {

AuditTableModel::AuditTableModel(QObject* parent, const QLocale& locale)
    : QAbstractTableModel(parent), locale_(locale)
{
}

void AuditTableModel::SetRecords(std::vector<AuditRecord> records)
{
    beginResetModel();
    records_ = std::move(records);
    endResetModel();
}

int AuditTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(records_.size());
}

int AuditTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : AuditColumnCount;
}

QVariant AuditTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const AuditRecord& record = records_[size_t(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        if (const auto text = AuditCellText(record, index.column(), locale_))
            return *text;
        return {};
    case Qt::AccessibleTextRole:
        // A screen reader names the missing timestamp rather than an empty cell.
        if (const auto text = AuditCellText(record, index.column(), locale_))
            return *text;
        return QString("No timestamp");
    case ValueRole: return AuditCellValue(record, index.column());
    default: return {};
    }
}

QVariant AuditTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < AuditColumnCount)
        return QString(AuditColumnHeader(section));
    return QAbstractTableModel::headerData(section, orientation, role);
}

}  // namespace kovrin
