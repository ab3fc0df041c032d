#include "app/module/audit_export.h"

#include <QSaveFile>

namespace kovrin {

namespace {

constexpr const char* LineEnd = "\r\n";
constexpr const char* FieldSeparator = ", ";

// The list's texts come from bytes of any value and from plain digits and
// letters: one byte per character keeps the serial numbers as the module holds them,
// apart from a line break in one, which would split its row.
void AppendLatin1(QByteArray& text, QStringView field)
{
    const qsizetype at = text.size();
    text.resize(at + field.size());
    char* out = text.data() + at;
    for (QChar c : field)
        *out++ = c.unicode() <= 0xFF && c != u'\r' && c != u'\n' ? char(c.unicode()) : '?';
}

// Writes the fields of one line, each at its column.
class LineWriter {
public:
    explicit LineWriter(QByteArray& text) : text_(text), lineStart_(text.size()) {}

    // A field with more after it.
    void Field(QStringView field)
    {
        AppendLatin1(text_, field);
        text_ += FieldSeparator;
        const qsizetype next = AuditTextColumnWidth * ++fields_;
        const qsizetype column = text_.size() - lineStart_ + 1;
        if (column < next) {
            text_.resize(text_.size() + next - column, ' ');
        } else if (column > next) {
            text_ += LineEnd;
            lineStart_ = text_.size();
            text_.resize(text_.size() + next - 1, ' ');
        }
    }

    void LastField(QStringView field)
    {
        AppendLatin1(text_, field);
        text_ += LineEnd;
    }

private:
    QByteArray& text_;
    qsizetype lineStart_;
    qsizetype fields_ = 0;
};

}  // namespace

void AppendAuditTextLine(QByteArray& text, const QStringList& fields)
{
    LineWriter line(text);
    for (qsizetype k = 0; k + 1 < fields.size(); ++k)
        line.Field(fields[k]);
    line.LastField(fields.isEmpty() ? QString() : fields.last());
}

QByteArray AuditExportText(const QAbstractItemModel& model)
{
    const int columns = model.columnCount();
    QByteArray text;
    // About a full line of columns per row, so the text grows in few steps.
    text.reserve(qsizetype(model.rowCount() + 3) * AuditTextColumnWidth * columns);
    QStringList headers;
    for (int c = 0; c < columns; ++c)
        headers << model.headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
    AppendAuditTextLine(text, headers);
    text += LineEnd;
    for (int r = 0; r < model.rowCount(); ++r) {
        // A row ends at its last cell: a field is written once the next is known.
        LineWriter line(text);
        QVariant cell = model.data(model.index(r, 0), Qt::DisplayRole);
        for (int c = 1;; ++c) {
            const QVariant next = c < columns ? model.data(model.index(r, c), Qt::DisplayRole) : QVariant();
            if (!next.isValid()) {
                line.LastField(cell.toString());
                break;
            }
            line.Field(cell.toString());
            cell = next;
        }
    }
    return text;
}

QString SaveAuditText(const QString& path, const QByteArray& text)
{
    QSaveFile file(path);
    const auto failed = [&](const char* what) {
        return QString("The audit data could not be saved to \"%1\" (%2: %3).").arg(path, what, file.errorString());
    };
    // Unbuffered, a short write shows at once rather than at a commit that would keep it.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return failed("create");
    if (file.write(text) != text.size() || !file.commit())
        return failed("write");
    return {};
}

}  // namespace kovrin
