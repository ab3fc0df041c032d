#include "audit_export.h"

#include <QSaveFile>

namespace kovrin {

namespace {

constexpr const char* LineEnd = "\r\n";
constexpr const char* FieldSeparator = ", ";

}  // namespace

void AppendAuditTextLine(QString& text, const QStringList& fields)
{
    qsizetype lineStart = text.size();
    for (qsizetype k = 1; k < fields.size(); ++k) {
        text += fields[k - 1];
        text += FieldSeparator;
        const qsizetype next = AuditTextColumnWidth * k;
        const qsizetype column = text.size() - lineStart + 1;
        if (column < next) {
            text += QString(next - column, ' ');
        } else if (column > next) {
            text += LineEnd;
            lineStart = text.size();
            text += QString(next - 1, ' ');
        }
    }
    if (!fields.isEmpty())
        text += fields.last();
    text += LineEnd;
}

QByteArray AuditExportText(const QAbstractItemModel& model)
{
    QString text;
    QStringList fields;
    for (int c = 0; c < model.columnCount(); ++c)
        fields << model.headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
    AppendAuditTextLine(text, fields);
    text += LineEnd;
    for (int r = 0; r < model.rowCount(); ++r) {
        fields.clear();
        for (int c = 0; c < model.columnCount(); ++c) {
            const QVariant cell = model.data(model.index(r, c), Qt::DisplayRole);
            if (!cell.isValid())
                break;
            fields << cell.toString();
        }
        AppendAuditTextLine(text, fields);
    }
    // The list's texts come from bytes of any value and from plain digits and
    // letters: one byte per character keeps the serial numbers as the module holds them.
    return text.toLatin1();
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
