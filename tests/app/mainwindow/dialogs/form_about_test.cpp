#include "app/mainwindow/form_about.h"

#include <QLabel>
#include <QPushButton>
#include <QtTest>
#include <gtest/gtest.h>

#include "app/widgets/message_seam.h"

namespace kovrin {
namespace {

// A look-up whose answers and start results the test chooses; it records what was started.
struct FakeSystem {
    std::optional<QString> path;
    std::optional<QString> folder;
    QStringList files;
    bool startWorks = true;
    QStringList started;

    SystemInfoTool Tool()
    {
        SystemInfoTool t;
        t.ToolPath = [this] { return path; };
        t.ToolFolder = [this] { return folder; };
        t.ToolFileName = "hardinfo";
        t.FileExists = [this](const QString& p) { return files.contains(p); };
        t.Start = [this](const QString& p) {
            started << p;
            return startWorks;
        };
        return t;
    }
};

class FormAboutTest : public ::testing::Test {
protected:
    QStringList messages;
    void SetUp() override
    {
        SetMessageHandler([this](const MessageRequest& m) {
            EXPECT_EQ(m.buttons, MsgButtons::Ok);
            messages << m.text;
            return MsgResult::Ok;
        });
    }
    void TearDown() override { SetMessageHandler(nullptr); }
};

TEST_F(FormAboutTest, ThreeOutcomesOfTheLookUp)
{
    struct Case {
        const char* name;
        std::optional<QString> path, folder;
        QStringList files;
        SysInfoOutcome outcome;
        QStringList started;
    };
    const Case cases[] = {
        {"path found", "/opt/x/hardinfo", "/usr/bin", {"/usr/bin/hardinfo"}, SysInfoOutcome::StartedFromPath,
         {"/opt/x/hardinfo"}},
        {"folder with the file", std::nullopt, "/usr/bin", {"/usr/bin/hardinfo"},
         SysInfoOutcome::StartedFromFolder, {"/usr/bin/hardinfo"}},
        {"folder without the file", std::nullopt, "/usr/bin", {"/usr/bin/other"}, SysInfoOutcome::Unavailable, {}},
        {"nothing found", std::nullopt, std::nullopt, {}, SysInfoOutcome::Unavailable, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        messages.clear();
        FakeSystem sys;
        sys.path = c.path;
        sys.folder = c.folder;
        sys.files = c.files;
        EXPECT_EQ(StartSysInfo(nullptr, sys.Tool()), c.outcome);
        EXPECT_EQ(sys.started, c.started);
        const QStringList expected =
            c.outcome == SysInfoOutcome::Unavailable ? QStringList{SystemInfoUnavailableText} : QStringList{};
        EXPECT_EQ(messages, expected);
    }
}

TEST_F(FormAboutTest, AToolFoundThatCannotStartEndsWithoutAMessage)
{
    for (bool fromPath : {true, false}) {
        messages.clear();
        FakeSystem sys;
        if (fromPath)
            sys.path = "/missing/hardinfo";
        sys.folder = "/usr/bin";
        sys.files = {"/usr/bin/hardinfo"};
        sys.startWorks = false;
        EXPECT_EQ(StartSysInfo(nullptr, sys.Tool()), SysInfoOutcome::StartFailed);
        EXPECT_EQ(sys.started.size(), 1);  // no second try after a failed start
        EXPECT_TRUE(messages.isEmpty());
    }
}

TEST_F(FormAboutTest, BoxShowsNameVersionAndButtons)
{
    FakeSystem sys;
    sys.path = "/usr/bin/hardinfo";
    FormAbout* box = FormAbout::ShowAbout(nullptr, sys.Tool());
    ASSERT_TRUE(box);
    EXPECT_TRUE(box->isVisible());
    EXPECT_FALSE(box->isModal());
    EXPECT_EQ(box->windowTitle(), "About");
    EXPECT_EQ(box->Label1->text(), "Kovrin 4.1.2");
    EXPECT_FALSE(box->Label3->text().isEmpty());
    EXPECT_FALSE(box->Label4->text().isEmpty());
    EXPECT_FALSE(box->Label5->text().isEmpty());
    EXPECT_FALSE(box->Image1->pixmap().isNull());
    EXPECT_EQ(box->cmdInfo->text(), "&System Info");
    EXPECT_EQ(box->cmdExit->text(), "&OK");
    for (QWidget* w : box->findChildren<QWidget*>())
        EXPECT_FALSE(w->accessibleName().isEmpty()) << w->objectName().toStdString();
    EXPECT_EQ(FormAbout::ShowAbout(nullptr, sys.Tool()), box);  // one box at a time

    box->cmdInfo->click();
    EXPECT_EQ(sys.started, QStringList{"/usr/bin/hardinfo"});
    EXPECT_TRUE(messages.isEmpty());

    QPointer<FormAbout> watch(box);
    box->cmdExit->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(watch.isNull());
}

TEST_F(FormAboutTest, DefaultToolLooksOnThePathFirst)
{
    const SystemInfoTool tool = DefaultSystemInfoTool();
    EXPECT_EQ(tool.ToolFileName, "hardinfo");
    EXPECT_TRUE(SystemInfoPrograms.contains("hardinfo"));
    // Whatever this machine has, the answer is a path that exists, or none.
    if (const auto path = tool.ToolPath()) {
        EXPECT_TRUE(tool.FileExists(*path));
    }
}

}  // namespace
}  // namespace kovrin
