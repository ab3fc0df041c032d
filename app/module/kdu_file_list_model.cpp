#include "app/module/kdu_file_list_model.h"

namespace kovrin {

void KduFileListModel::SetRows(std::vector<KduFileRow> rows, bool wholeDirectory)
{
    beginResetModel();
    rows_ = std::move(rows);
    if (rows_.empty() && wholeDirectory)
        rows_.push_back({std::nullopt, "No Files found", "", 0, "No Files found"});
    endResetModel();
}

void KduFileListModel::Clear()
{
    beginResetModel();
    rows_.clear();
    endResetModel();
}

const KduFileRow* KduFileListModel::Row(int row) const
{
    return row >= 0 && row < int(rows_.size()) ? &rows_[size_t(row)] : nullptr;
}

int KduFileListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(rows_.size());
}

int KduFileListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant KduFileListModel::data(const QModelIndex& index, int role) const
{
    const KduFileRow* row = Row(index.row());
    if (!row || (role != Qt::DisplayRole && role != Qt::AccessibleTextRole && role != Qt::TextAlignmentRole))
        return {};
    if (role == Qt::TextAlignmentRole)
        return index.column() == SizeColumn ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    if (!row->Number)  // the "No Files found" line
        return index.column() == NumberColumn ? QString::fromStdString(row->Line) : QString();
    switch (index.column()) {
    case NumberColumn: return QString::number(*row->Number);
    case NameColumn: {
        QString name = QString::fromLatin1(row->Name.data(), qsizetype(row->Name.size()));
        while (name.endsWith(' '))
            name.chop(1);
        return name;
    }
    case TypeColumn: return QString::fromStdString(row->Type);
    case SizeColumn: return QString::number(row->Size) + " bytes";
    default: return {};
    }
}

QVariant KduFileListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char* const titles[ColumnCount] = {"No.", "Name", "Type", "Size"};
    return section >= 0 && section < ColumnCount ? QString(titles[section]) : QVariant();
}

}  // namespace kovrin
