#pragma once
// The program's main window against the emulated acceptor on a pseudo-terminal.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTest>
#include <memory>

#include "app/config/eeprom_map.h"
#include "app/settings/program_folder.h"
#include "app/settings/program_settings.h"
#include "app/main/start_up.h"
#include "app/mainwindow/form_audit.h"
#include "app/mainwindow/form_main.h"
#include "app/widgets/message_seam.h"
#include "emulators/acceptor/acceptor_emulator.h"
#include "tests/app/mainwindow/window_test_start.h"

namespace kovrin {

using emulator::AcceptorEmulator;
using emulator::AcceptorOptions;

class FormMainTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = test::NewProgramFolder("form");
        SetMessageHandler([this](const MessageRequest& m) {
            messages.push_back(m);
            return MsgResult::Ok;
        });
    }

    void TearDown() override
    {
        form.reset();
        emu.reset();
        FormAudit::Default().Unload();
        SetMessageHandler(nullptr);
        QDir(dir).removeRecursively();
    }

    void Attach(AcceptorOptions options)
    {
        options.pacing = true;
        options.rebootTime = std::chrono::milliseconds(500);
        emu = std::make_unique<AcceptorEmulator>(options);
        emu->start((dir + "/COM1").toStdString());
    }

    // Starts the program as its entry point does.
    void Launch() { form = Main(); }

    bool Identified(int timeoutMs = 5000)
    {
        return QTest::qWaitFor([&] { return form->Label7[0]->text() == "HARDWARE FOUND"; }, timeoutMs);
    }

    // Waits for a moment with no request out (a reply restarts the poll timer, and only a memory read
    // may follow it): a command that reopens the port then cannot meet a late reply to an earlier one,
    // which the receive path would take for noise together with the command's own reply.
    bool WaitUntilIdle(int timeoutMs = 5000)
    {
        return QTest::qWaitFor(
            [&] { return form->Session.State().MissedReplyCount == 0 && form->Session.State().PagedReadState == 0; }, timeoutMs);
    }

    // Waits until the acceptor has heard two more polls (one may already be on its way): a frame the
    // window sent before now has arrived by then, so a count taken afterwards is final.
    bool LaterPollsHeard(int timeoutMs = 5000)
    {
        const int polls = emu->pollCount();
        return QTest::qWaitFor([&] { return emu->pollCount() >= polls + 2; }, timeoutMs);
    }

    QString dir;
    std::vector<MessageRequest> messages;
    std::unique_ptr<AcceptorEmulator> emu;
    std::unique_ptr<FormMain> form;
};

}  // namespace kovrin
