#pragma once
// The audit list as a text file: the column headers, an empty line and one
// line per row, the fields separated by ", " and aligned to columns 15
// characters apart, every line ended by CR LF, one byte per character.

#include <QAbstractItemModel>
#include <QByteArray>
#include <QString>
#include <QStringList>

namespace kovrin {

constexpr int AuditTextColumnWidth = 15;

// Appends one line: field k + 1 begins at column 15 × k (columns counted from
// 1); a field that runs past its column ends the line, and the next field
// begins on a new line at its column after blanks. A character beyond one
// byte, and a line break inside a field, is written as '?'.
void AppendAuditTextLine(QByteArray& text, const QStringList& fields);

// What the list shows, read back from its model: the horizontal headers,
// then each row's display texts up to its first missing cell.
QByteArray AuditExportText(const QAbstractItemModel& model);

// Writes the whole text or nothing: empty when saved, else why not (a file
// already at `path` is then left as it was).
QString SaveAuditText(const QString& path, const QByteArray& text);

}  // namespace kovrin
