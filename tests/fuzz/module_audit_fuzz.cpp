// The module's audit files: records in three layouts, the list's cells and
// the text export. Input: a selector byte (bit 0: the Tekra file), then the
// file as read from the module, leading byte included.

#include <algorithm>

#include "app/module/audit_export.h"
#include "app/module/audit_records.h"
#include "app/module/audit_table_model.h"
#include "tests/fuzz/fuzz_support.h"

using namespace kovrin;
using kovrin::fuzz::Input;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input in(data, size);
    const AuditFileKind kind = (in.Byte() & 1) ? AuditFileKind::Tekra : AuditFileKind::Sarnel;
    const Bytes file = in.Rest();
    const size_t length = AuditRecordLength(kind);

    // Whole records only, each as decoded alone; what is left over is counted, never read.
    const AuditFileRecords decoded = DecodeAuditFile(file, kind);
    const size_t body = file.size() > AuditLeadingBytes ? file.size() - AuditLeadingBytes : 0;
    FUZZ_CHECK(decoded.Records.size() == body / length);
    FUZZ_CHECK(decoded.TailBytes == body % length);
    FUZZ_CHECK(AuditTailText(decoded.TailBytes, kind).isEmpty() == (decoded.TailBytes == 0));
    const QLocale locale = QLocale::c();
    for (size_t i = 0; i < decoded.Records.size(); ++i) {
        const AuditRecord& record = decoded.Records[i];
        const auto bytes = std::span<const uint8_t>(file).subspan(AuditLeadingBytes + i * length, length);
        FUZZ_CHECK(DecodeAuditRecord(bytes, kind) == record);
        FUZZ_CHECK(std::equal(record.SerialNumber.begin(), record.SerialNumber.end(), bytes.begin()));
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
    FUZZ_CHECK(text.endsWith("\r\n"));
    const qsizetype lines = text.count("\r\n");
    FUZZ_CHECK(lines >= qsizetype(2 + decoded.Records.size()));
    FUZZ_CHECK(text.count('\n') == lines && text.count('\r') == lines);
    return 0;
}
