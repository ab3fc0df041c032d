// The module's audit files: records in three layouts, the list's cells and
// the text export. Input: a selector byte (bit 0: the Tekra file), then the
// file as read from the module, leading byte included. Every cell is checked
// against a decoding of the record written here from the record tables by
// offset and bit, and the export is read back by its columns and compared,
// byte for byte, with a text laid out here, step by step, from those cells.
// The same bytes, cut at each tab, are also laid out as one line of fields of
// any length, which the records never give.

#include <algorithm>
#include <optional>
#include <span>

#include "app/module/audit_export.h"
#include "app/module/audit_records.h"
#include "app/module/audit_table_model.h"
#include "tests/fuzz/fuzz_support.h"

using namespace kovrin;
using kovrin::fuzz::Input;

namespace {

QString Hex(uint8_t b) { return QString::number(b, 16).toUpper(); }

uint32_t BigEndian(std::span<const uint8_t> r, size_t at, size_t width)
{
    uint32_t v = 0;
    for (size_t k = 0; k < width; ++k)
        v = v << 8 | r[at + k];
    return v;
}

// Stream bits of record bytes 23 to 42, least significant bit first.
uint32_t Bits(std::span<const uint8_t> r, size_t first, size_t width)
{
    uint32_t v = 0;
    for (size_t k = 0; k < width; ++k) {
        const size_t i = first + k;
        v |= uint32_t((r[23 + i / 8] >> (i % 8)) & 1) << k;
    }
    return v;
}

QString Two(uint8_t b) { return QString::number(b).rightJustified(2, '0'); }

// The cells a record shows, by the tables; the timestamp of a packed record is its day count.
struct Expected {
    QStringList cells;  // "SERIAL #" to "Power Up", and the Record32 stamp
    std::optional<uint32_t> day;
};

Expected Decode(std::span<const uint8_t> r, bool tekra)
{
    Expected e;
    QString serial, part;
    for (size_t i = 0; i < 11; ++i)
        serial += QChar(r[i]);
    for (size_t i = 11; i < 20; ++i)
        part += QChar(r[i]);
    const QString revision = Hex(r[21]) + Hex(r[22]);
    const std::string rev = revision.toStdString();
    e.cells << serial << part << revision;
    const auto n = [](uint32_t v) { return QString::number(v); };
    if (!tekra && rev <= "042") {
        e.cells << n(BigEndian(r, 23, 3)) << "n/a" << n(BigEndian(r, 26, 3)) << n(BigEndian(r, 29, 3)) << "n/a"
                << n(BigEndian(r, 32, 3)) << "n/a" << n(BigEndian(r, 35, 3));
    } else if (!tekra || rev >= "018") {
        e.cells << n(Bits(r, 0, 20)) << n(Bits(r, 20, 19)) << n(Bits(r, 39, 19)) << n(Bits(r, 58, 19))
                << n(Bits(r, 77, 19)) << n(Bits(r, 96, 19)) << n(Bits(r, 115, 19)) << n(Bits(r, 134, 14));
        e.day = Bits(r, 148, 12);
    } else {
        e.cells << n(BigEndian(r, 35, 4)) << "n/a" << n(BigEndian(r, 39, 4)) << n(BigEndian(r, 43, 4)) << "n/a"
                << n(BigEndian(r, 47, 4)) << "n/a" << n(BigEndian(r, 51, 4));
        e.cells << Two(r[31]) + "/" + Two(r[32]) + "/" + Two(r[30]) + " " + Two(r[33]) + ":" + Two(r[34]);
    }
    return e;
}

// A field as the export writes it: one byte per character, '?' for what has none or would break the line.
QByteArray Written(const QString& field)
{
    QByteArray out;
    for (QChar c : field)
        out += (c.unicode() > 0xFF || c == '\r' || c == '\n') ? '?' : char(c.unicode());
    return out;
}

// Whether no field of the line overruns its column: with ", " the first fits in 14 characters, the others in 15.
bool Fits(const QStringList& fields)
{
    for (qsizetype k = 0; k + 1 < fields.size(); ++k)
        if (fields[k].size() > (k == 0 ? 12 : 13))
            return false;
    return true;
}

// The fields of a line that no field overruns: field k + 1 begins at column 15 k, counted from 1.
void CheckLine(const QByteArray& line, const QStringList& fields)
{
    for (qsizetype k = 0; k < fields.size(); ++k) {
        const qsizetype at = k == 0 ? 0 : 15 * k - 1;
        const QByteArray f = Written(fields[k]);
        FUZZ_CHECK(line.mid(at, f.size()) == f);
        if (k + 1 < fields.size()) {
            FUZZ_CHECK(line.mid(at + f.size(), 2) == ", ");
            FUZZ_CHECK(line.mid(at + f.size() + 2, 15 * (k + 1) - 1 - at - f.size() - 2).trimmed().isEmpty());
        } else {
            FUZZ_CHECK(line.size() == at + f.size());
        }
    }
}

// A line laid out step by step: each field but the last, ", ", then on to column 15 k (blanks up to it, or,
// past it, CR LF and 15 k - 1 blanks); the last field and CR LF.
QByteArray LaidOut(const QStringList& fields)
{
    QByteArray text;
    qsizetype lineStart = 0;
    for (qsizetype k = 1; k <= fields.size(); ++k) {
        text += Written(fields[k - 1]);
        if (k == fields.size())
            break;
        text += ", ";
        const qsizetype column = text.size() - lineStart + 1, next = 15 * k;
        if (column < next) {
            text += QByteArray(next - column, ' ');
        } else if (column > next) {
            text += "\r\n";
            lineStart = text.size();
            text += QByteArray(next - 1, ' ');
        }
    }
    return text + "\r\n";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input in(data, size);
    const AuditFileKind kind = (in.Byte() & 1) ? AuditFileKind::Tekra : AuditFileKind::Sarnel;
    const Bytes file = in.Rest();

    // Any fields, long ones too, by the export's layout: the file's bytes cut at each tab, one character per byte,
    // written after a line already there.
    {
        QStringList fields;
        for (const QByteArray& piece : QByteArray(reinterpret_cast<const char*>(file.data()), qsizetype(file.size())).split('\t'))
            fields << QString::fromLatin1(piece);
        QByteArray text = "Before\r\n";
        AppendAuditTextLine(text, fields);
        FUZZ_CHECK(text == "Before\r\n" + LaidOut(fields));
    }
    // The file's table: one leading byte, then records of 43 bytes (Sarnel) or 55 (Tekra).
    const size_t length = kind == AuditFileKind::Tekra ? 55 : 43;
    FUZZ_CHECK(AuditRecordLength(kind) == length);

    // Whole records only, each as decoded alone; what is left over is counted, never read.
    const AuditFileRecords decoded = DecodeAuditFile(file, kind);
    const size_t body = file.size() > 1 ? file.size() - 1 : 0;
    FUZZ_CHECK(decoded.Records.size() == body / length);
    FUZZ_CHECK(decoded.TailBytes == body % length);
    FUZZ_CHECK(AuditTailText(decoded.TailBytes, kind).isEmpty() == (decoded.TailBytes == 0));
    const QLocale locale = QLocale::c();
    QByteArray exported = LaidOut({"SERIAL #", "Part #", "FW Rev", "Starts", "Pre-Escrows", "Stacks", "Rejects",
                                   "Host Returns", "Cheats", "Jams", "Power Up", "Timestamp"}) + "\r\n";
    for (size_t i = 0; i < decoded.Records.size(); ++i) {
        const AuditRecord& record = decoded.Records[i];
        const auto bytes = std::span<const uint8_t>(file).subspan(1 + i * length, length);
        FUZZ_CHECK(DecodeAuditRecord(bytes, kind) == record);
        FUZZ_CHECK(std::equal(record.SerialNumber.begin(), record.SerialNumber.end(), bytes.begin()));
        const Expected expected = Decode(bytes, kind == AuditFileKind::Tekra);
        for (int column = 0; column < expected.cells.size(); ++column)
            FUZZ_CHECK(AuditCellText(record, column, locale) == expected.cells[column]);
        QStringList fields = expected.cells;
        if (expected.day) {
            const QDate date = QDate(2010, 1, 1).addDays(*expected.day);
            FUZZ_CHECK(AuditCellValue(record, ColumnTimestamp) == QVariant(date));
            fields << locale.toString(date, QLocale::ShortFormat);
        }
        exported += LaidOut(fields);
        if (expected.cells.size() == ColumnTimestamp && !expected.day)
            FUZZ_CHECK(!AuditCellText(record, ColumnTimestamp, locale).has_value());
        for (int column = 0; column < AuditColumnCount; ++column) {
            const auto text = AuditCellText(record, column, locale);
            FUZZ_CHECK(text.has_value() == AuditCellValue(record, column).isValid());
            if (column == ColumnTimestamp)
                FUZZ_CHECK(text.has_value() == (record.Layout != AuditLayout::Record24));
        }
    }

    // The export: the headers, an empty line, a line (or more) per record; CR LF ends every line.
    AuditTableModel model(nullptr, locale);
    model.SetRecords(decoded.Records);
    FUZZ_CHECK(size_t(model.rowCount()) == decoded.Records.size());
    const QByteArray text = AuditExportText(model);
    FUZZ_CHECK(text == exported);
    FUZZ_CHECK(text.endsWith("\r\n"));
    const qsizetype lines = text.count("\r\n");
    FUZZ_CHECK(lines >= qsizetype(2 + decoded.Records.size()));
    FUZZ_CHECK(text.count('\n') == lines && text.count('\r') == lines);

    // Read back: the headers, an empty line, and while no field overruns its column, one line per record.
    const QList<QByteArray> written = text.split('\n');
    FUZZ_CHECK(written.size() >= 3);
    CheckLine(written[0].chopped(1), {"SERIAL #", "Part #", "FW Rev", "Starts", "Pre-Escrows", "Stacks", "Rejects",
                                      "Host Returns", "Cheats", "Jams", "Power Up", "Timestamp"});
    FUZZ_CHECK(written[1] == "\r");
    for (size_t i = 0; i < decoded.Records.size(); ++i) {
        QStringList fields;
        for (int column = 0; column < AuditColumnCount; ++column)
            if (const auto cell = AuditCellText(decoded.Records[i], column, locale))
                fields << *cell;
        if (!Fits(fields))
            break;
        FUZZ_CHECK(qsizetype(2 + i) < written.size());
        CheckLine(written[qsizetype(2 + i)].chopped(1), fields);
    }
    return 0;
}
