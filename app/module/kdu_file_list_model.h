#pragma once
// The module's files as the window lists them: number, name, type and size in columns.

#include <QAbstractTableModel>
#include <vector>

#include "app/module/kdu_directory.h"

namespace kovrin {

class KduFileListModel : public QAbstractTableModel {
public:
    enum Column { NumberColumn, NameColumn, TypeColumn, SizeColumn, ColumnCount };
    using QAbstractTableModel::QAbstractTableModel;

    // The rows of a listing; a whole directory without files gives the single row "No Files found".
    void SetRows(std::vector<KduFileRow> rows, bool wholeDirectory);
    void Clear();
    const KduFileRow* Row(int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    std::vector<KduFileRow> rows_;
};

}  // namespace kovrin
