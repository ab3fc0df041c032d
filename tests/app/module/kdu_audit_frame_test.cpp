#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeView>
#include <deque>
#include <gtest/gtest.h>

#include "app/module/audit_export.h"
#include "app/module/audit_table_model.h"
#include "app/module/screen/kdu_audit_frame.h"
#include "app/widgets/message_seam.h"
#include "tests/support/accessibility_check.h"
#include "tests/support/module_audit_records.h"

namespace kovrin {
namespace {

using namespace test;

const Bytes TwoRecords = AuditFileBytes({
    AuditRecordBytes(43, "TS500012345", "TYX-5-100", 0x00, 0x42, {{25, 4}}),
    AuditRecordBytes(43, "TS500012346", "TYX-5-100", 0x00, 0x43, {{23, 9}, {42, 1}}),
});

class KduAuditFrameTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetMessageHandler([this](const MessageRequest& m) {
            messages.push_back(m);
            return MsgResult::Ok;
        });
        SetFileDialogHandler([this](const FileDialogRequest& r) -> std::optional<QString> {
            dialogs.push_back(r);
            if (answers.empty())
                return std::nullopt;
            std::optional<QString> a = answers.front();
            answers.pop_front();
            return a;
        });
        window.setWindowTitle("Kovrin");
        window.resize(1700, 400);
        frame = new KduAuditFrame(&window, UsLocale);
        frame->setGeometry(8, 8, 1600, 380);
        frame->hide();
    }
    void TearDown() override
    {
        SetMessageHandler(nullptr);
        SetFileDialogHandler(nullptr);
    }

    QString Path(const char* name) const { return dir.filePath(name); }
    QByteArray Read(const QString& path) const
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

    QWidget window;
    KduAuditFrame* frame = nullptr;
    QTemporaryDir dir;
    std::vector<MessageRequest> messages;
    std::vector<FileDialogRequest> dialogs;
    std::deque<std::optional<QString>> answers;
};

TEST_F(KduAuditFrameTest, ShowsTheRecordsAndFitsTheFrameToTheColumns)
{
    EXPECT_EQ(frame->title(), "Audit Data stored on KDU");
    EXPECT_EQ(frame->cmdSaveAuditData->text(), "Save Audit Data");
    frame->ShowAuditFile(TwoRecords, AuditFileKind::Sarnel);
    EXPECT_FALSE(frame->isHidden());
    QAbstractItemModel* list = frame->ListViewAudit->model();
    ASSERT_EQ(list->rowCount(), 2);
    EXPECT_EQ(list->columnCount(), 12);
    EXPECT_EQ(list->data(list->index(1, ColumnSerial)).toString(), "TS500012346");
    EXPECT_EQ(list->data(list->index(1, ColumnTimestamp)).toString(), "1/17/10");
    EXPECT_TRUE(frame->lblAuditStatus->isHidden());

    // The list is as wide as its columns, and the frame as the list.
    EXPECT_GE(frame->ListViewAudit->width(), frame->ListViewAudit->header()->length());
    EXPECT_LT(frame->ListViewAudit->width(), frame->ListViewAudit->header()->length() + 60);
    EXPECT_GE(frame->width(), frame->ListViewAudit->width());
    EXPECT_LT(frame->width(), frame->ListViewAudit->width() + 60);
}

TEST_F(KduAuditFrameTest, AFileOfTheLeadingByteAloneShowsTheColumnsAndNoRow)
{
    frame->ShowAuditFile(Bytes{0x00}, AuditFileKind::Tekra);
    EXPECT_FALSE(frame->isHidden());
    EXPECT_EQ(frame->ListViewAudit->model()->rowCount(), 0);
    EXPECT_EQ(frame->ListViewAudit->model()->columnCount(), 12);
}

TEST_F(KduAuditFrameTest, ATruncatedTailIsToldInTheStatusLineAndANewFileClearsIt)
{
    Bytes truncated = TwoRecords;
    truncated.resize(truncated.size() - 10);
    frame->ShowAuditFile(truncated, AuditFileKind::Sarnel);
    EXPECT_EQ(frame->ListViewAudit->model()->rowCount(), 1);
    EXPECT_FALSE(frame->lblAuditStatus->isHidden());
    EXPECT_EQ(frame->lblAuditStatus->text(),
              "Not shown: the last 33 bytes of the file, fewer than a whole record of 43 bytes.");

    frame->ShowAuditFile(TwoRecords, AuditFileKind::Sarnel);
    EXPECT_EQ(frame->ListViewAudit->model()->rowCount(), 2);
    EXPECT_TRUE(frame->lblAuditStatus->isHidden());
}

TEST_F(KduAuditFrameTest, SaveWritesWhatTheListShows)
{
    frame->ShowAuditFile(TwoRecords, AuditFileKind::Sarnel);
    answers = {Path("audit.txt")};
    frame->cmdSaveAuditData->click();
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].kind, FileDialogKind::Save);
    EXPECT_EQ(dialogs[0].title, "Save Tyx Audit");
    EXPECT_EQ(dialogs[0].filter, "TYX Audit Files (*.txt)|*.txt|All Files (*.*)|*.*");
    EXPECT_TRUE(dialogs[0].confirmOverwrite);
    EXPECT_EQ(dialogs[0].fileName, "");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Audit data saved.");
    EXPECT_EQ(messages[0].title, "Save complete");
    EXPECT_EQ(messages[0].buttons, MsgButtons::Ok);
    const QByteArray text = Read(Path("audit.txt"));
    EXPECT_EQ(text, AuditExportText(*frame->ListViewAudit->model()));
    EXPECT_TRUE(text.contains("TS500012346,  TYX-5-100,     043,           9,"));
}

TEST_F(KduAuditFrameTest, AnEmptyNameAsksAgainAndCancelWritesNothing)
{
    frame->ShowAuditFile(TwoRecords, AuditFileKind::Sarnel);
    answers = {QString(), QString(), std::nullopt};
    frame->cmdSaveAuditData->click();
    EXPECT_EQ(dialogs.size(), 3u);
    ASSERT_EQ(messages.size(), 2u);
    for (const MessageRequest& m : messages) {
        EXPECT_EQ(m.text, "Please type in the file name.");
        EXPECT_EQ(m.title, ProgramTitle);
    }
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty());
}

TEST_F(KduAuditFrameTest, AFailedSaveIsShownAndLeavesNoFile)
{
    frame->ShowAuditFile(TwoRecords, AuditFileKind::Sarnel);
    const QString path = Path("gone/audit.txt");
    answers = {path};
    frame->cmdSaveAuditData->click();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].text.startsWith("The audit data could not be saved to \"" + path + "\""))
        << messages[0].text.toStdString();
    EXPECT_FALSE(QFile::exists(path));
}

TEST_F(KduAuditFrameTest, EveryControlIsNamedForAScreenReader)
{
    Bytes truncated = TwoRecords;
    truncated.push_back(0x54);
    frame->ShowAuditFile(truncated, AuditFileKind::Sarnel);
    EXPECT_EQ(test::AccessibilityProblems(&window), QStringList());
    EXPECT_EQ(test::HeardName(frame->ListViewAudit), "Audit records");
    EXPECT_EQ(test::HeardName(frame->lblAuditStatus), frame->lblAuditStatus->text());
}

}  // namespace
}  // namespace kovrin
