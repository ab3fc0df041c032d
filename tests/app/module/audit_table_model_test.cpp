#include <gtest/gtest.h>

#include "app/module/audit_table_model.h"
#include "tests/support/module_audit_records.h"

namespace kovrin {
namespace {

using namespace test;

TEST(AuditTableModel, TwelveColumnsOneRowPerRecordAndNoCellWhereTheRowEnds)
{
    AuditTableModel model(nullptr, UsLocale);
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(model.columnCount(), 12);
    const QStringList headers = {"SERIAL #", "Part #",       "FW Rev", "Starts", "Pre-Escrows", "Stacks",
                                 "Rejects",  "Host Returns", "Cheats", "Jams",   "Power Up",    "Timestamp"};
    for (int c = 0; c < 12; ++c)
        EXPECT_EQ(model.headerData(c, Qt::Horizontal).toString(), headers[c]);

    model.SetRecords(DecodeAuditFile(AuditFileBytes({
                                         AuditRecordBytes(43, "TS500012345", "TYX-5-100", 0x00, 0x42, {{25, 4}}),
                                         AuditRecordBytes(43, "TS500012346", "TYX-5-100", 0x00, 0x43, {{23, 9}}),
                                     }),
                                     AuditFileKind::Sarnel)
                         .Records);
    ASSERT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.data(model.index(0, ColumnSerial)).toString(), "TS500012345");
    EXPECT_EQ(model.data(model.index(0, ColumnStarts)).toString(), "4");
    EXPECT_FALSE(model.data(model.index(0, ColumnTimestamp)).isValid());
    EXPECT_EQ(model.data(model.index(0, ColumnTimestamp), Qt::AccessibleTextRole).toString(), "No timestamp");
    EXPECT_EQ(model.data(model.index(1, ColumnTimestamp)).toString(), "1/1/10");

    // Counters are held as numbers and the packed timestamp as a date.
    const QVariant starts = model.data(model.index(1, ColumnStarts), AuditTableModel::ValueRole);
    EXPECT_EQ(starts.typeId(), QMetaType::UInt);
    EXPECT_EQ(starts.toUInt(), 9u);
    const QVariant date = model.data(model.index(1, ColumnTimestamp), AuditTableModel::ValueRole);
    EXPECT_EQ(date.typeId(), QMetaType::QDate);
    EXPECT_EQ(date.toDate(), QDate(2010, 1, 1));
    EXPECT_EQ(model.data(model.index(0, ColumnJams), AuditTableModel::ValueRole).toString(), "n/a");

    model.SetRecords({});
    EXPECT_EQ(model.rowCount(), 0);
}

}  // namespace
}  // namespace kovrin
