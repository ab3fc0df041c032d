#include <QFile>
#include <QPushButton>

#include "app/config/config_file.h"
#include "app/settings/settings.h"
#include "tests/app/config/screen/configuration_frame_fixture.h"

namespace kovrin {
namespace {

using test::FrameTest;

class ConfigFileFlow : public FrameTest {
protected:
    // Saves the screen of a variant-5 acceptor to `name`; returns the saved record.
    EepromRecord SaveFromVariant5(const QString& name)
    {
        state.AcceptorVariant = 5;
        state.CurrentRecord = DefaultsOf(5);
        state.CurrentRecord.Block176[0] = 42;  // no control shows it
        frame->ShowConfiguration(state.CurrentRecord, 5);
        frame->txtScaling->setText("250");
        answers = {Path(name)};
        frame->cmdSave->click();
        EXPECT_TRUE(messages.empty()) << messages.front().text.toStdString();
        return state.CurrentRecord;
    }

    QByteArray FileBytes(const QString& path)
    {
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        return f.readAll();
    }
};

TEST_F(ConfigFileFlow, SaveWritesTheScreenAndRemembersThePath)
{
    const EepromRecord saved = SaveFromVariant5("Shop.tyx");
    EXPECT_EQ(saved.ScalingFactor, 250);
    EXPECT_EQ(saved.Block176[0], 42);
    EXPECT_EQ(state.Settings.ConfigFilePath, Path("Shop.tyx").toStdString());
    const QByteArray bytes = FileBytes(Path("Shop.tyx"));
    ASSERT_EQ(bytes.size(), 601);
    const ConfigFileBytes expected = RecordToConfigFile(saved);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), reinterpret_cast<const uint8_t*>(bytes.data())));
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0].kind, FileDialogKind::Save);
    EXPECT_EQ(dialogs[0].title, "Save Tyx Configuration");
    EXPECT_EQ(dialogs[0].filter, "TYX Config Files (*.tyx)|*.tyx|All Files (*.*)|*.*");
    EXPECT_TRUE(dialogs[0].confirmOverwrite);
    // The settings file remembers it too.
    EXPECT_EQ(ReadSettingsFile(state.Settings.SettingsFilePath, dir.path().toStdString()).ConfigFilePath,
              state.Settings.ConfigFilePath);
}

TEST_F(ConfigFileFlow, SavedFileLoadsWithoutAcceptorAndWithVariant5NotWithVariant9)
{
    const EepromRecord saved = SaveFromVariant5("Five.tyx");
    for (uint8_t variant : {0, 5}) {
        state.AcceptorVariant = variant;
        state.CurrentRecord = DefaultsOf(variant);
        state.ConfigSource = ConfigFromDefaults;
        host.flashes.clear();
        answers = {Path("Five.tyx")};
        EXPECT_TRUE(frame->LoadConfigFile()) << int(variant);
        EXPECT_TRUE(state.CurrentRecord == saved) << int(variant);
        EXPECT_EQ(state.ConfigSource, ConfigFromFile);
        EXPECT_EQ(host.flashes, std::vector<int32_t>{0xFFFF});
        EXPECT_EQ(frame->LabelNaStatusMessage->text(), "Configuration settings loaded from file Five.tyx.");
        EXPECT_EQ(frame->txtScaling->text(), "250");
    }
    ASSERT_EQ(dialogs.back().kind, FileDialogKind::Open);
    EXPECT_EQ(dialogs.back().title, "Load Tyx Configuration File");
    EXPECT_EQ(dialogs.back().filter, "Tyx Config File (*.tyx)|*.tyx|All files (*.*)|*.*");
    EXPECT_EQ(dialogs.back().fileName, "Five.tyx");

    state.AcceptorVariant = 9;
    state.Settings.ConfigFilePath = "/elsewhere/Before.tyx";
    state.CurrentRecord = DefaultsOf(9);
    const EepromRecord before = state.CurrentRecord;
    answers = {Path("Five.tyx")};  // then the dialog is cancelled
    EXPECT_FALSE(frame->LoadConfigFile());
    EXPECT_EQ(messages.back().text, "Config file does not match attached note acceptor.");
    EXPECT_TRUE(state.CurrentRecord == before);
    EXPECT_EQ(state.Settings.ConfigFilePath, "/elsewhere/Before.tyx");
}

TEST_F(ConfigFileFlow, BadFilesAreRefusedAndTheRecordStays)
{
    QFile shortFile(Path("Short.tyx"));
    ASSERT_TRUE(shortFile.open(QIODevice::WriteOnly));
    shortFile.write(QByteArray(100, '\x55'));
    shortFile.close();
    QFile odd(Path("Wide.tyx"));
    ASSERT_TRUE(odd.open(QIODevice::WriteOnly));
    EepromRecord r = DefaultsOf(5);
    r.ScalingFactor = 70000;  // more than the layout holds
    const ConfigFileBytes b = RecordToConfigFile(r);
    odd.write(reinterpret_cast<const char*>(b.data()), qint64(b.size()));
    odd.close();

    const struct {
        std::optional<QString> answer;
        QString message;
        QString title;
    } cases[] = {
        {Path("Short.tyx"), "\"Short.tyx\" cannot be loaded: it holds 100 bytes, a Tyx configuration file holds 601.",
         "Kovrin"},
        {Path("Wide.tyx"), "", "Kovrin"},
        {Path("Missing.tyx"), "File not found!", "Kovrin"},
        {QString(""), "File not found!", "Open File Error"},
        {dir.path(), "File not found!", "Kovrin"},  // a folder is no file
    };
    state.Settings.ConfigFilePath = "/kept/Last.tyx";
    const EepromRecord before = state.CurrentRecord;
    for (const auto& c : cases) {
        messages.clear();
        host.flashes.clear();
        answers = {c.answer};
        EXPECT_FALSE(frame->LoadConfigFile());
        ASSERT_EQ(messages.size(), 1u);
        if (!c.message.isEmpty()) {
            EXPECT_EQ(messages[0].text, c.message);
        } else {
            EXPECT_TRUE(messages[0].text.contains("cannot be loaded")) << messages[0].text.toStdString();
        }
        EXPECT_EQ(messages[0].title, c.title);
        EXPECT_TRUE(state.CurrentRecord == before);
        EXPECT_EQ(state.Settings.ConfigFilePath, "/kept/Last.tyx");
        EXPECT_TRUE(host.flashes.empty());
    }
    EXPECT_EQ(messages[0].buttons, MsgButtons::Ok);
}

TEST_F(ConfigFileFlow, AVariantWithoutALayoutLoadsOnlyWithNoAcceptor)
{
    QFile file(Path("Variant4.tyx"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    EepromRecord r = DefaultsOf(5);
    r.VariantCode = 4;
    const ConfigFileBytes b = RecordToConfigFile(r);
    file.write(reinterpret_cast<const char*>(b.data()), qint64(b.size()));
    file.close();

    state.AcceptorVariant = 5;
    const EepromRecord before = state.CurrentRecord;
    answers = {Path("Variant4.tyx"), std::nullopt};
    EXPECT_FALSE(frame->LoadConfigFile());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Config file does not match attached note acceptor.");
    EXPECT_TRUE(state.CurrentRecord == before);

    state.AcceptorVariant = 0;
    messages.clear();
    answers = {Path("Variant4.tyx")};
    EXPECT_TRUE(frame->LoadConfigFile());
    EXPECT_TRUE(messages.empty());
    EXPECT_TRUE(state.CurrentRecord == r);
    EXPECT_EQ(state.ConfigSource, ConfigFromFile);
}

TEST_F(ConfigFileFlow, SaveRefusalsLeaveRecordPathAndFiles)
{
    state.AcceptorVariant = 7;
    state.CurrentRecord = DefaultsOf(7);
    state.CurrentRecord.EscrowTime = 30;
    frame->ShowConfiguration(state.CurrentRecord, 7);
    state.Settings.ConfigFilePath = "/kept/Last.tyx";
    const EepromRecord before = state.CurrentRecord;

    answers = {};  // cancelled
    frame->cmdSave_Click();
    EXPECT_TRUE(messages.empty());

    answers = {QString(""), std::nullopt};
    frame->cmdSave_Click();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Please type in the file name.");

    frame->txtScaling->setText("0");
    answers = {Path("Invalid.tyx")};
    frame->cmdSave_Click();
    EXPECT_EQ(messages.back().text, "Scaling Factor error");
    EXPECT_FALSE(QFile::exists(Path("Invalid.tyx")));

    frame->txtScaling->setText("300");
    answers = {Path("no/such/folder/Config.tyx")};
    frame->cmdSave_Click();
    EXPECT_TRUE(messages.back().text.startsWith("The configuration could not be saved")) << messages.back().text.toStdString();

    EXPECT_TRUE(state.CurrentRecord == before);
    EXPECT_EQ(state.Settings.ConfigFilePath, "/kept/Last.tyx");
}

}  // namespace
}  // namespace kovrin
