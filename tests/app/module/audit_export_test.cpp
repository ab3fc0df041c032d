#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "app/module/audit_export.h"
#include "app/module/audit_table_model.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/module_audit_records.h"

namespace kovrin {
namespace {

using namespace test;

// One Record24 row and one packed row, written out by hand below.
Bytes SmallSarnelFile()
{
    return AuditFileBytes({
        AuditRecordBytes(43, "TS500012345", "TYX-5-100", 0x00, 0x42,
                         {{23, 0x01}, {24, 0x02}, {25, 0x03}, {28, 7}, {30, 1}, {32, 1}, {37, 3}}),
        AuditRecordBytes(43, "TS500012399", "TYX-5-110", 0x00, 0x43, {{23, 5}, {28, 0x01}, {41, 0x10}}),
    });
}

const char* const HeaderLine =
    "SERIAL #,     Part #,        FW Rev,        Starts,        Pre-Escrows,   Stacks,        Rejects,       "
    "Host Returns,  Cheats,        Jams,          Power Up,      Timestamp\r\n";

const char* const SmallSarnelText =
    "SERIAL #,     Part #,        FW Rev,        Starts,        Pre-Escrows,   Stacks,        Rejects,       "
    "Host Returns,  Cheats,        Jams,          Power Up,      Timestamp\r\n"
    "\r\n"
    "TS500012345,  TYX-5-100,     042,           66051,         n/a,           7,             256,           "
    "n/a,           65536,         n/a,           3\r\n"
    "TS500012399,  TYX-5-110,     043,           5,             0,             2,             0,             "
    "0,             0,             0,             0,             1/2/10\r\n";

AuditTableModel* ModelOf(const Bytes& file, AuditFileKind kind, QObject* parent)
{
    auto* model = new AuditTableModel(parent, UsLocale);
    model->SetRecords(DecodeAuditFile(file, kind).Records);
    return model;
}

TEST(AuditTextLine, FieldsBeginEveryFifteenColumns)
{
    const struct {
        const char* what;
        QStringList fields;
        const char* line;
    } cases[] = {
        {"one field", {"only"}, "only\r\n"},
        {"two short fields", {"a", "b"}, "a,            b\r\n"},
        {"a first field of 12 fits", {"ABCDEFGHIJKL", "x"}, "ABCDEFGHIJKL, x\r\n"},
        {"a first field of 13 breaks the line", {"ABCDEFGHIJKLM", "x"}, "ABCDEFGHIJKLM, \r\n              x\r\n"},
        {"a later field of 13 fits", {"a", "ABCDEFGHIJKLM", "y"}, "a,            ABCDEFGHIJKLM, y\r\n"},
        {"a later field of 14 breaks the line", {"a", "ABCDEFGHIJKLMN", "y"},
         "a,            ABCDEFGHIJKLMN, \r\n                             y\r\n"},
        {"empty fields keep their columns", {"", "", "z"}, ",             ,              z\r\n"},
        {"one byte per character", {QString::fromUtf8("\u00E9"), QString::fromUtf8("\u20AC")}, "\xE9,            ?\r\n"},
        {"a line break inside a field", {"a\rb", "c\nd"}, "a?b,          c?d\r\n"},
    };
    for (const auto& c : cases) {
        QByteArray text = "before\r\n";
        AppendAuditTextLine(text, c.fields);
        EXPECT_EQ(text, QByteArray("before\r\n") + c.line) << c.what;
    }
}

TEST(AuditTextLine, TheTwelveHeadersMakeALineOf173Characters)
{
    QStringList headers;
    for (int c = 0; c < AuditColumnCount; ++c)
        headers << AuditColumnHeader(c);
    QByteArray text;
    AppendAuditTextLine(text, headers);
    EXPECT_EQ(text, QByteArray(HeaderLine));
    EXPECT_EQ(text.size(), 173 + 2);
}

TEST(AuditExport, SmallListByteForByte)
{
    QObject owner;
    const AuditTableModel* model = ModelOf(SmallSarnelFile(), AuditFileKind::Sarnel, &owner);
    EXPECT_EQ(AuditExportText(*model), QByteArray(SmallSarnelText));
}

TEST(AuditExport, TekraRowsEndAfterTheirTimestamp)
{
    QObject owner;
    const Bytes file = AuditFileBytes({
        AuditRecordBytes(55, "TT700012345", "TYX-7-200", 0x00, 0x17,
                         {{30, 10}, {31, 6}, {32, 15}, {33, 9}, {34, 5}, {38, 12}, {54, 1}}),
    });
    const AuditTableModel* model = ModelOf(file, AuditFileKind::Tekra, &owner);
    EXPECT_EQ(AuditExportText(*model),
              QByteArray(HeaderLine) +
                  "\r\n"
                  "TT700012345,  TYX-7-200,     017,           12,            n/a,           0,             0,  "
                  "           n/a,           0,             n/a,           1,             06/15/10 09:05\r\n");
}

TEST(AuditExport, NoRowsGiveTheHeaderAndAnEmptyLine)
{
    QObject owner;
    const AuditTableModel* model = ModelOf({0x00}, AuditFileKind::Sarnel, &owner);
    EXPECT_EQ(AuditExportText(*model), QByteArray(HeaderLine) + "\r\n");
}

TEST(AuditExport, SerialBytesOfAnyValueAreWrittenAsTheyAre)
{
    QObject owner;
    const Bytes file = AuditFileBytes({AuditRecordBytes(43, "\xE9\0\x01" "ABCDEFGH", "\xFF\x80PART-9X", 0x00, 0x30)});
    const QByteArray text = AuditExportText(*ModelOf(file, AuditFileKind::Sarnel, &owner));
    const QByteArray row = text.mid(QByteArray(HeaderLine).size() + 2);
    EXPECT_EQ(row.left(29), QByteArray("\xE9\0\x01" "ABCDEFGH,  \xFF\x80PART-9X,     ", 29));
}

class AuditTextFile : public ::testing::Test {
protected:
    QString Path(const char* name) const { return dir.filePath(name); }
    QByteArray Read(const QString& path) const
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

    QTemporaryDir dir;
};

TEST_F(AuditTextFile, SavedWholeAndReplacingAnOldFile)
{
    {
        QFile old(Path("audit.txt"));
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("an older and longer export that must not survive in part");
    }
    EXPECT_EQ(SaveAuditText(Path("audit.txt"), SmallSarnelText), "");
    EXPECT_EQ(Read(Path("audit.txt")), QByteArray(SmallSarnelText));
}

TEST_F(AuditTextFile, AFailedWriteKeepsTheOldFileAndLeavesNothingElse)
{
    {
        QFile old(Path("audit.txt"));
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old");
    }
    QString error;
    {
        const test::FileSizeLimit limit(100);  // the export is longer
        error = SaveAuditText(Path("audit.txt"), SmallSarnelText);
    }
    EXPECT_TRUE(error.contains("audit.txt")) << error.toStdString();
    EXPECT_EQ(Read(Path("audit.txt")), QByteArray("old"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"audit.txt"});
}

TEST_F(AuditTextFile, AFolderThatIsNotThereIsReported)
{
    const QString path = Path("no such folder/audit.txt");
    const QString error = SaveAuditText(path, SmallSarnelText);
    EXPECT_TRUE(error.startsWith("The audit data could not be saved to \"" + path + "\"")) << error.toStdString();
    EXPECT_FALSE(QFile::exists(path));
}

}  // namespace
}  // namespace kovrin
