#pragma once
// The rows of the module audit list: one per record, the twelve columns, the
// texts made when the view asks for them so that large files fill at once.

#include <QAbstractTableModel>
#include <QLocale>
#include <vector>

#include "app/module/audit_records.h"

namespace kovrin {

class AuditTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // What a cell holds (a number, a date or a text), beside the text it shows.
    static constexpr int ValueRole = Qt::UserRole;

    explicit AuditTableModel(QObject* parent = nullptr, const QLocale& locale = QLocale());

    void SetRecords(std::vector<AuditRecord> records);
    const std::vector<AuditRecord>& Records() const { return records_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    // A cell the row does not have gives no display text.
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    QLocale locale_;
    std::vector<AuditRecord> records_;
};

}  // namespace kovrin
