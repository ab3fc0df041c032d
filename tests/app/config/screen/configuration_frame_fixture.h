#pragma once
// A configuration frame on a fake main window, with scripted message boxes
// and file dialogs, and a program state of its own.

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <deque>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <vector>

#include "app/config/eeprom_map.h"
#include "app/config/program_state.h"
#include "app/config/screen/configuration_frame.h"
#include "app/settings/program_settings.h"
#include "app/widgets/message_seam.h"

namespace kovrin::test {

struct FakeHost : ConfigHost {
    explicit FakeHost(ProgramState& s) : state(s) {}
    ProgramState& state;
    bool serial = true;
    bool firmwareLoaded = false;
    bool imageHoldsConfig = false;
    uint8_t imageVariant = 5;
    std::vector<int32_t> flashes;
    std::vector<bool> moduleList;
    int auditHidden = 0;

    bool ConfiguresLoadedImage() const override { return !serial; }
    void FlashConfigFrame(int32_t colour) override { flashes.push_back(colour); }
    bool FirmwareImageLoaded() const override { return firmwareLoaded; }
    bool ExtractConfigFromImage() override
    {
        if (!imageHoldsConfig)
            return false;
        state.AcceptorVariant = imageVariant;
        state.FactoryRecord = {};
        state.FactoryRecord.SetupRevision = 2;
        state.FactoryRecord.CalibrationRevision = 4;
        const char serial[] = "TK98765432X";
        std::copy(serial, serial + 11, state.FactoryRecord.SerialNumber.begin());
        return true;
    }
    QString FirmwareModelName() const override { return "TYX Sarnel"; }
    void ShowModuleList(bool shown) override { moduleList.push_back(shown); }
    void HideModuleAuditData() override { ++auditHidden; }
};

class FrameTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        state.Settings.SettingsFilePath = Path("Kovrin.ini").toStdString();
        state.LoadEepromDefaults(state.CurrentRecord);
        SetMessageHandler([this](const MessageRequest& m) {
            messages.push_back(m);
            return m.buttons == MsgButtons::OkCancel ? MsgResult::Cancel : MsgResult::Ok;
        });
        SetFileDialogHandler([this](const FileDialogRequest& r) -> std::optional<QString> {
            dialogs.push_back(r);
            if (answers.empty())
                return std::nullopt;  // cancelled
            const std::optional<QString> a = answers.front();
            answers.pop_front();
            return a;
        });
        window = std::make_unique<QWidget>();
        frame = new ConfigurationFrame(host, state, window.get());
        frame->InitConfigLists();
    }

    void TearDown() override
    {
        window.reset();
        SetMessageHandler(nullptr);
        SetFileDialogHandler(nullptr);
    }

    QString Path(const QString& name) const { return QDir(dir.path()).filePath(name); }

    std::vector<QString> MessageTexts() const
    {
        std::vector<QString> out;
        for (const MessageRequest& m : messages)
            out.push_back(m.text);
        return out;
    }

    static EepromRecord DefaultsOf(uint8_t variant)
    {
        EepromRecord r;
        LoadEepromDefaults(r, variant);
        return r;
    }

    QTemporaryDir dir;
    ProgramState state;
    FakeHost host{state};
    std::unique_ptr<QWidget> window;  // the main window's place
    ConfigurationFrame* frame = nullptr;
    std::vector<MessageRequest> messages;
    std::vector<FileDialogRequest> dialogs;
    std::deque<std::optional<QString>> answers;
};

}  // namespace kovrin::test
